// ravelin-screenshots OUTPUT-FOLDER [DATABASE]: drives the real desktop
// window through a user's run on a database (default: the dbdemos sample)
// and saves what the window shows at each step as PNG files:
//   1-scan-customer.png    the main window after the scan, CUSTOMER previewed
//   2-properties.png       the Properties tab of CUSTOMER
//   3-connection.png       the connection dialog with a blank target chosen
//   4-log-after-repair.png the main window after a repair of everything
// Run it under a display server (xvfb-run) to see the toolkit's real look.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextStream>

#include "ui/blankdatabase.h"
#include "ui/clogwindow.h"
#include "ui/cravelinview.h"
#include "ui/dialogs.h"
#include "uiapplication.h"

using namespace ravelin;
using namespace ravelin::ui;

namespace {

bool Save(QWidget* widget, const QDir& folder, const QString& name)
{
    QCoreApplication::processEvents();
    const QString path = folder.filePath(name);
    const bool saved = widget->grab().save(path);
    QTextStream(stdout) << (saved ? "saved " : "could not save ") << path << '\n';
    return saved;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication qt(argc, argv);
    const QStringList arguments = qt.arguments();
    if (arguments.size() < 2) {
        QTextStream(stderr) << "usage: ravelin-screenshots OUTPUT-FOLDER [DATABASE]\n";
        return 1;
    }
    QDir folder(arguments[1]);
    folder.mkpath(QStringLiteral("."));
    const QString database = arguments.size() > 2 ? arguments[2] : testing::Sample("ods16/dbdemos.gdb");
    if (!QFileInfo::exists(database)) {
        QTextStream(stderr) << "no database at " << database << '\n';
        return 1;
    }

    Dialogs::SetScripted(true);
    testing::Application app;
    Dialogs::PushFile(database);
    app.frame.RunCommand(ID_OPEN_FILE);
    if (!app.WaitForJob())
        return 1;
    const QString table = app.Item(QStringLiteral("CUSTOMER")) ? QStringLiteral("CUSTOMER")
                                                                : app.frame.Tree()->DatabaseNode()->child(0)->child(0)->text(0);
    if (!app.ClickName(table))
        return 1;
    bool ok = Save(&app.frame, folder, QStringLiteral("1-scan-customer.png"));
    CRavelinView* view = app.frame.RightView();
    view->Tabs()->setCurrentIndex(1);
    ok = Save(&app.frame, folder, QStringLiteral("2-properties.png")) && ok;
    view->Tabs()->setCurrentIndex(0);

    QTemporaryDir scratch;
    const QString target = scratch.filePath(QStringLiteral("blank.ib"));
    if (!CreateBlankDatabase(target, QStringLiteral("SYSDBA"), QStringLiteral("masterkey")).isEmpty())
        return 1;
    {
        CConnectionDlg dialog(&app.frame, [] {}, CreateBlankDatabase);
        dialog.ChooseExisting(target);
        dialog.UserField()->setText(QStringLiteral("SYSDBA"));
        dialog.PasswordField()->setText(QStringLiteral("masterkey"));
        dialog.show();
        ok = Save(&dialog, folder, QStringLiteral("3-connection.png")) && ok;
    }

    Dialogs::PushConnection({target.toStdString(), "SYSDBA", "masterkey"}, job::kAnswerOk);
    Dialogs::PushAnswer(job::kAnswerOk);
    app.frame.RunCommand(ID_START_REPAIR);
    if (!app.WaitForJob())
        return 1;
    // The pane keeps its place; the user scrolls down to the repair's summary.
    app.frame.LogWindow()->List()->scrollToBottom();
    ok = Save(&app.frame, folder, QStringLiteral("4-log-after-repair.png")) && ok;
    return ok ? 0 : 1;
}
