#include "ui/blankdatabase.h"

#include "writer/blanktarget.h"

namespace ravelin::ui {

QString CreateBlankDatabase(const QString& path, const QString& userName, const QString& password)
{
    // The same creation as the command line's --create: the path is handed
    // to the client library as it is, never spliced into a statement.
    const writer::TargetLogin login{path.toStdString(), userName.toStdString(), password.toStdString()};
    return QString::fromStdString(writer::CreateBlankTarget(login));
}

}  // namespace ravelin::ui
