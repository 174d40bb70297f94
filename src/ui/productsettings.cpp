#include "ui/productsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace ravelin::ui {

namespace {
constexpr char kGroup[] = "Ravelin";
}

QStringList ProductSettings::DefaultFiles()
{
    QStringList list{QStringLiteral("/etc/ravelin/ravelin.conf")};
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!config.isEmpty())
        list << config + QStringLiteral("/ravelin/ravelin.conf");
    return list;
}

QString ProductSettings::Value(const QString& name) const
{
    QString value;
    for (const QString& file : files) {
        if (!QFileInfo::exists(file))
            continue;
        QSettings settings(file, QSettings::IniFormat);
        const QString key = QStringLiteral("%1/%2").arg(QLatin1String(kGroup), name);
        if (settings.contains(key))
            value = settings.value(key).toString();
    }
    return value;
}

bool ProductSettings::Exists() const
{
    for (const QString& file : files) {
        if (QFileInfo::exists(file))
            return true;
    }
    return false;
}

QString ProductSettings::HelpFile() const
{
    const QString path = Value(QStringLiteral("Path"));
    if (!path.isEmpty()) {
        const QString installed = QDir(path).filePath(QStringLiteral("help.html"));
        if (QFileInfo::exists(installed))
            return installed;
    }
    // Beside the program in a build tree, or in the data folder of an
    // installation (bin/../share/ravelin).
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QStringLiteral("help.html"));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(programDir.filePath(QStringLiteral("../share/ravelin/help.html")));
}

QString ProductSettings::EulaFile() const
{
    if (Exists())
        return Value(QStringLiteral("Path")) + QStringLiteral("/eula.dat");
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("rvln_Eula.dat"));
}

}  // namespace ravelin::ui
