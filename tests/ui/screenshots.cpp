// ravelin-screenshots OUTPUT-FOLDER [DATABASE]: drives the real desktop
// window through a user's run on a database (default: the dbdemos sample)
// and saves what the window shows at each step as PNG files:
//   1-scan-customer.png    the main window after the scan, CUSTOMER previewed
//   2-properties.png       the Properties tab of CUSTOMER
//   3-connection.png       the connection dialog with a blank target chosen
//   4-log-after-repair.png the main window after a repair of everything
//   5-file-selection.png   the file selection dialog after a folder search
//                          of the database's folder and its subfolders
//   6-update-check.png     the update wizard's check page, answered by a
//                          small update server on the loopback interface
//   7-exact-connection.png the connection dialog with the exact restore chosen
//   8-log-after-exact.png  the main window after an exact restore of a
//                          second scan into a second blank target
// Run it under a display server (xvfb-run) to see the toolkit's real look.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include "testhttpserver.h"
#include "update/cupdatepropertysheet.h"

#include "ui/blankdatabase.h"
#include "ui/cdialogfile.h"
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
    if (!app.Open(database))
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

    {
        CDialogFile dialog(&app.frame, app.jobs);
        dialog.show();
        Dialogs::PushFile(QFileInfo(database).dir().absoluteFilePath(QStringLiteral("..")));
        dialog.SelectFolderButton()->click();
        QElapsedTimer searching;
        searching.start();
        while (dialog.Search().searchRunning && searching.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (dialog.ResultList()->rowCount() > 0)
            dialog.ResultList()->selectRow(0);
        ok = Save(&dialog, folder, QStringLiteral("5-file-selection.png")) && ok;
    }

    {
        update::testing::TestHttpServer server;
        server.SetRoute("/upgrade/ravelin/ravelin.txt",
                        update::testing::Route{200, "1.0.0.6 Faster scans of large files\r\n", true, -1});
        QHash<QString, QString> values = {{QStringLiteral("Version"), QStringLiteral("1.0.0.5")},
                                          {QStringLiteral("ExeName"), QStringLiteral("ravelin")},
                                          {QStringLiteral("UpdateServer"), server.Address()}};
        update::CAutoUpdater::SettingReader reader = [&values](const QString& name) { return values.value(name); };
        update::CAutoUpdater updater(reader);
        updater.connectionAvailable = [] { return true; };
        update::UpdateState state;
        update::CUpdatePropertySheet sheet(&app.frame, updater, state, reader, [](const QUrl&) { return true; });
        sheet.startDelay = 0;
        sheet.show();
        sheet.NextButton()->click();
        QElapsedTimer checking;
        checking.start();
        while (sheet.CheckResult() == -1 && checking.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ok = Save(&sheet, folder, QStringLiteral("6-update-check.png")) && ok;
        sheet.reject();
    }

    // The same database again, restored exactly.
    if (!app.Open(database))
        return 1;
    const QString exactTarget = scratch.filePath(QStringLiteral("exact.fdb"));
    if (!CreateBlankDatabase(exactTarget, QStringLiteral("SYSDBA"), QStringLiteral("masterkey")).isEmpty())
        return 1;
    {
        CConnectionDlg dialog(&app.frame, [] {}, CreateBlankDatabase);
        dialog.ChooseExisting(exactTarget);
        dialog.UserField()->setText(QStringLiteral("SYSDBA"));
        dialog.PasswordField()->setText(QStringLiteral("masterkey"));
        dialog.ExactChoice()->setChecked(true);
        dialog.show();
        ok = Save(&dialog, folder, QStringLiteral("7-exact-connection.png")) && ok;
    }
    job::ConnectionAnswer exact{exactTarget.toStdString(), "SYSDBA", "masterkey"};
    exact.exactRestore = true;
    Dialogs::PushConnection(exact, job::kAnswerOk);
    Dialogs::PushAnswer(job::kAnswerOk);
    app.frame.RunCommand(ID_START_REPAIR);
    if (!app.WaitForJob())
        return 1;
    app.frame.LogWindow()->List()->scrollToBottom();
    ok = Save(&app.frame, folder, QStringLiteral("8-log-after-exact.png")) && ok;
    return ok ? 0 : 1;
}
