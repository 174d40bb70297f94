#include "ui/jobcontrolimpl.h"

#include "job/messagedialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "cli/demodatabase.h"
#include "ui/blankdatabase.h"
#include "ui/cleftview.h"
#include "ui/clogwindow.h"
#include "ui/cmainframe.h"
#include "ui/cravelinview.h"
#include "ui/cribbonbar.h"
#include "ui/dialogs.h"
#include "ui/frameadapter.h"
#include "ui/productsettings.h"
#include "uiapplication.h"

using namespace ravelin;
using namespace ravelin::ui;
using ravelin::ui::testing::Application;
using ravelin::ui::testing::Sample;

namespace {

int GridColumn(const QTableWidget* grid, const QString& name)
{
    for (int column = 0; column < grid->columnCount(); ++column) {
        if (grid->horizontalHeaderItem(column)->text().compare(name, Qt::CaseInsensitive) == 0)
            return column;
    }
    return -1;
}

// One value from the target database, through the platform's isql.
QString QueryTarget(const QString& path, const QString& query)
{
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                                           QStringLiteral("-password"), QStringLiteral("masterkey"), path});
    if (!isql.waitForStarted())
        return QStringLiteral("isql-fb did not start");
    isql.write(("SET HEADING OFF; " + query + ";\n").toUtf8());
    isql.closeWriteChannel();
    isql.waitForFinished(60000);
    return QString::fromUtf8(isql.readAllStandardOutput()).simplified();
}

}  // namespace

class JobControlImplTest : public QObject {
    Q_OBJECT
private slots:
    void init() { Dialogs::SetScripted(true); }
    void cleanup() { Dialogs::SetScripted(false); }

    void ScanPreviewAndCloseThroughTheWindow()
    {
        const QString path = Sample("ods15/EMPLOYEE.GDB");
        if (!QFileInfo::exists(path))
            QSKIP("sample databases not present");
        Application app;
        Dialogs::PushFile(path);
        app.frame.RunCommand(ID_OPEN_FILE);
        QVERIFY(app.jobs.State().busy || !app.Log().isEmpty());
        QVERIFY(app.WaitForJob());

        const QStringList log = app.Log();
        QCOMPARE(log.value(0), QStringLiteral("Ravelin Database(s) Log Report........................."));
        QCOMPARE(log.value(1), QString(97, QLatin1Char('-')));
        QVERIFY(log.contains(QStringLiteral("File Selected: ") + path));
        QVERIFY(log.contains(QStringLiteral("File Size: %1 bytes").arg(QFileInfo(path).size())));
        QVERIFY(log.contains(QStringLiteral("Database name : EMPLOYEE.GDB")));
        const qsizetype totalAt = log.indexOf(QRegularExpression(QStringLiteral("^Total table\\(s\\)    : \\d+$")));
        QVERIFY(totalAt > 0);
        const int tables = log[totalAt].section(QLatin1Char(':'), 1).trimmed().toInt();

        // The tree holds the tables, views and indices of the schema model.
        QTreeWidgetItem* database = app.frame.Tree()->DatabaseNode();
        QVERIFY(database);
        QCOMPARE(database->text(0), QStringLiteral("EMPLOYEE.GDB"));
        const catalogue::SchemaModel& model = app.jobs.Engine().model;
        QStringList inTree;
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < database->child(c)->childCount(); ++i)
                inTree << database->child(c)->child(i)->text(0);
        }
        QStringList inModel;
        for (const auto& table : model.tables)
            inModel << QString::fromStdString(table.name);
        for (const auto& view : model.views)
            inModel << QString::fromStdString(view.name);
        for (const auto& index : model.indices)
            inModel << QString::fromStdString(index.name);
        QCOMPARE(inTree, inModel);
        QCOMPARE(database->child(0)->childCount(), static_cast<int>(model.tables.size()));
        QVERIFY(log.contains(QStringLiteral("Total View(s)     : %1").arg(model.views.size())));

        // A completed scan: the repair and the log commands come on.
        for (CommandId id : {ID_OPEN_FILE, ID_START_REPAIR, ID_SAVE_LOG, ID_CLEAR_LOG})
            QVERIFY2(app.frame.Ribbon()->Action(id)->isEnabled(), FindCommand(id)->text);
        QVERIFY(!app.frame.Ribbon()->Action(ID_STOP)->isEnabled());
        QCOMPARE(app.frame.StatusText()->text(), QStringLiteral("Ready"));
        QVERIFY(!app.frame.ProgressBar());
        QVERIFY(!app.frame.SkipDialog() || !app.frame.SkipDialog()->isVisible());

        // Save the report of this run.
        QTemporaryDir dir;
        Dialogs::PushFile(dir.filePath(QStringLiteral("run")));
        app.frame.RunCommand(ID_SAVE_LOG);
        QFile report(dir.filePath(QStringLiteral("run.log")));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray bytes = report.readAll();
        QVERIFY(bytes.startsWith(QByteArray("R\0a\0v\0e\0l\0i\0n\0", 14)));
        qsizetype units = 0;
        for (const QString& line : app.Log())
            units += line.size();
        QCOMPARE(bytes.size(), units * 2 + 4 * app.Log().size());

        // A click on a table's name previews it: the lists come from the schema.
        if (QTreeWidgetItem* employeeItem = app.Item("EMPLOYEE")) {
            QCOMPARE(tables, static_cast<int>(model.tables.size()));
            app.frame.Tree()->scrollToItem(employeeItem);
            QTest::mouseClick(app.frame.Tree()->viewport(), Qt::LeftButton, {},
                              app.frame.Tree()->LabelRect(employeeItem).center());
            QVERIFY(app.WaitForJob());
            CRavelinView* view = app.frame.RightView();
            QVERIFY(view->Filled());
            QCOMPARE(view->Tabs()->count(), 3);
            const catalogue::TableNode* employee = model.FindTable("EMPLOYEE");
            QVERIFY(employee);
            QCOMPARE(view->Grid()->columnCount(), static_cast<int>(employee->columns.size()));
            QCOMPARE(view->Properties()->rowCount(), static_cast<int>(employee->columns.size()));
            QCOMPARE(view->Properties()->item(0, 0)->text(), QString::fromStdString(employee->columns.front().name));
        } else {
            qWarning("The scan rebuilt no table columns; the preview part is not exercised.");
        }

        // Closing: asked once, Yes releases the schema.
        Dialogs::TakeShown();
        Dialogs::PushAnswer(job::kAnswerOk);
        QVERIFY(app.frame.close());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("Do you want to close Application?"));
        QVERIFY(app.jobs.Engine().model.tables.empty());
    }

    // A user's whole run on a real sample: scan, preview, repair everything
    // into a new embedded target, and the window afterwards.
    void ScanPreviewAndRepairEverythingIntoAnEmbeddedTarget()
    {
        const QString path = Sample("ods16/dbdemos.gdb");
        if (!QFileInfo::exists(path))
            QSKIP("sample databases not present");
        Application app;
        QVERIFY(app.Open(path));
        QCOMPARE(app.frame.Tree()->DatabaseNode()->child(0)->childCount(), 16);

        // ORDERS holds 205 records: the first page shows 100, in file order.
        QVERIFY(app.ClickName(QStringLiteral("ORDERS")));
        const QTableWidget* grid = app.frame.RightView()->Grid();
        QCOMPARE(grid->rowCount(), 100);
        const int orderNo = GridColumn(grid, QStringLiteral("OrderNo"));
        const int taxRate = GridColumn(grid, QStringLiteral("TaxRate"));
        const int saleDate = GridColumn(grid, QStringLiteral("SaleDate"));
        QVERIFY(orderNo >= 0 && taxRate >= 0 && saleDate >= 0);
        QCOMPARE(grid->item(0, orderNo)->text(), QStringLiteral("1003"));
        QCOMPARE(grid->item(0, taxRate)->text(), QStringLiteral("4.5"));
        QCOMPARE(grid->item(0, saleDate)->text(), QStringLiteral("04/12/1988 "));  // a timestamp at midnight
        QCOMPARE(grid->item(1, orderNo)->text(), QStringLiteral("1004"));

        // Paging through the real record walk: 100, 100, 5, and back.
        CRavelinView* view = app.frame.RightView();
        QVERIFY(view->NextButton()->isEnabled());
        QVERIFY(!view->PreviousButton()->isEnabled());
        const QString firstOfPage0 = grid->item(0, orderNo)->text();
        const QString lastOfPage0 = grid->item(99, orderNo)->text();
        QStringList firsts;
        QList<int> rows;
        for (int page = 1; page <= 2; ++page) {
            QTest::mouseClick(view->NextButton(), Qt::LeftButton);
            QVERIFY(app.WaitForJob());
            rows << grid->rowCount();
            firsts << grid->item(0, orderNo)->text();
        }
        QCOMPARE(rows, (QList<int>{100, 5}));
        QVERIFY(!view->NextButton()->isEnabled());
        QVERIFY(firsts[0] != lastOfPage0 && firsts[0] != firstOfPage0);
        QVERIFY(view->PreviousButton()->isEnabled());
        QTest::mouseClick(view->PreviousButton(), Qt::LeftButton);
        QVERIFY(app.WaitForJob());
        QCOMPARE(grid->rowCount(), 100);
        QCOMPARE(grid->item(0, orderNo)->text(), firsts[0]);
        QTest::mouseClick(view->PreviousButton(), Qt::LeftButton);
        QVERIFY(app.WaitForJob());
        QCOMPARE(grid->item(0, orderNo)->text(), firstOfPage0);
        QVERIFY(!view->PreviousButton()->isEnabled());

        // Everything is checked after a scan; the target is a new blank file.
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("blank.ib"));
        QCOMPARE(CreateBlankDatabase(target, QStringLiteral("SYSDBA"), QStringLiteral("masterkey")), QString());
        const qsizetype indices = static_cast<qsizetype>(app.jobs.Engine().model.indices.size());
        QVERIFY(indices > 0);
        Dialogs::TakeShown();
        Dialogs::PushConnection({target.toStdString(), "SYSDBA", "masterkey"}, job::kAnswerOk);
        Dialogs::PushAnswer(job::kAnswerOk);
        app.frame.RunCommand(ID_START_REPAIR);
        QVERIFY(app.WaitForJob());

        QStringList texts;
        for (const Dialogs::Shown& shown : Dialogs::TakeShown())
            texts << shown.text;
        QVERIFY2(texts.contains(QStringLiteral("Repair process completed successfully.")), qPrintable(texts.join('|')));
        const QStringList log = app.Log();
        const qsizetype ordersAt = log.indexOf(QStringLiteral("Table Recovered : ORDERS"));
        QVERIFY(ordersAt > 0);
        QCOMPARE(log.value(ordersAt + 1), QStringLiteral("Total Records Present   : 205"));
        QCOMPARE(log.value(ordersAt + 2), QStringLiteral("Total Records Recovered : 205"));
        QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^Table Recovered : "))).size(), 16);
        // Every index statement is written to its side file, none is
        // executed; the indices recovered are those of the created keys.
        QVERIFY(log.contains(QStringLiteral("Index statements written to the side file only :%1").arg(indices)));
        QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^Indices recovered :[1-9][0-9]*$"))).size(), 1);
        QVERIFY(!log.filter(QRegularExpression(QStringLiteral("^Repairing process completed on "))).isEmpty());

        // The tree and the model are emptied: the next repair needs a new scan.
        QCOMPARE(app.frame.Tree()->Root()->childCount(), 0);
        QVERIFY(app.jobs.Engine().model.tables.empty());
        QVERIFY(!app.frame.Ribbon()->Action(ID_START_REPAIR)->isEnabled());
        QVERIFY(app.frame.Ribbon()->Action(ID_OPEN_FILE)->isEnabled());

        // What landed, read back from the target.
        QCOMPARE(QueryTarget(target, QStringLiteral("SELECT COUNT(*) FROM ORDERS")), QStringLiteral("205"));
        QCOMPARE(QueryTarget(target, QStringLiteral("SELECT TAXRATE FROM ORDERS WHERE ORDERNO = 1003")).toDouble(), 4.5);
        QVERIFY(QFileInfo::exists(target + QStringLiteral("Indices.txt")));
    }

    // The exact restore chosen in the connection dialog: EMPLOYEE lands with
    // its own column types, its view from its source, every index and its
    // generators, and the job reports success.
    void ExactRestoreChosenInTheConnectionDialog()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("isql-fb")).isEmpty())
            QSKIP("isql-fb is not installed: the repair needs the Firebird utilities");
        const QString path = Sample("ods15/EMPLOYEE.GDB");
        if (!QFileInfo::exists(path))
            QSKIP("sample databases not present");
        Application app;
        QVERIFY(app.Open(path));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("exact.fdb"));
        QCOMPARE(CreateBlankDatabase(target, QStringLiteral("SYSDBA"), QStringLiteral("masterkey")), QString());
        Dialogs::TakeShown();
        job::ConnectionAnswer answer{target.toStdString(), "SYSDBA", "masterkey"};
        answer.exactRestore = true;
        Dialogs::PushConnection(answer, job::kAnswerOk);
        Dialogs::PushAnswer(job::kAnswerOk);
        app.frame.RunCommand(ID_START_REPAIR);
        QVERIFY(app.WaitForJob());

        QStringList texts;
        for (const Dialogs::Shown& shown : Dialogs::TakeShown())
            texts << shown.text;
        QVERIFY2(texts.contains(QStringLiteral("Repair process completed successfully.")), qPrintable(texts.join('|')));
        const QStringList log = app.Log();
        QVERIFY2(log.contains(QStringLiteral("Indices recovered :38")), qPrintable(log.join('\n')));
        QVERIFY(log.contains(QStringLiteral("Views recovered   :1")));
        QVERIFY(log.contains(QStringLiteral("Generators recovered : 2")));
        QCOMPARE(QueryTarget(target, QStringLiteral("SELECT COUNT(*) FROM PHONE_LIST")), QStringLiteral("42"));
        // The generator's value, and the job requirements' texts inside
        // their blob column.
        QCOMPARE(QueryTarget(target, QStringLiteral("SELECT GEN_ID(EMP_NO_GEN, 0) FROM RDB$DATABASE")),
                 QStringLiteral("145"));
        QCOMPARE(QueryTarget(target, QStringLiteral("SELECT COUNT(*) FROM JOB WHERE JOB_REQUIREMENT IS NOT NULL")),
                 QStringLiteral("29"));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("BlobData_exact.fdb"))));
    }

    // A repair through the window on the demo's synthetic database: when
    // everything landed it says so; when a table was refused (the target
    // already holds one of that name) or records were lost (the damaged
    // variant's scrambled record), it warns with each of them instead and
    // never shows the success message. The log ends with the same lines.
    void RepairWarnsOfWhatItDidNotCopy()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("isql-fb")).isEmpty())
            QSKIP("isql-fb is not installed: the repair needs the Firebird utilities");
        struct Case {
            const char* name;
            bool damaged;
            QStringList inTarget;    // tables the target holds before the repair
            QStringList shortfalls;  // in the warning and at the log's end
            QString lastTableLine;   // the line before them
        };
        const Case cases[] = {
            {"intact into a blank target", false, {}, {}, QStringLiteral("Total Records Recovered : 300")},
            {"damaged into a target holding ORDERS", true, {QStringLiteral("ORDERS")},
             {QStringLiteral("Records not copied: 1 of 40 in CUSTOMER"),
              QStringLiteral("Damaged records set aside: 1 in CUSTOMER, see %1Damaged.csv"),
              QStringLiteral("Table not created: ORDERS")},
             QStringLiteral("Total Records Recovered : 300")},
        };
        for (const Case& c : cases) {
            qInfo("%s", c.name);
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("DEMO.GDB"));
            ravelin::testing::BuildDemoDatabase(c.damaged).image.WriteTo(path.toStdString());
            const QString target = dir.filePath(QStringLiteral("target.fdb"));
            QStringList shortfalls;
            for (const QString& line : c.shortfalls)
                shortfalls << (line.contains(QStringLiteral("%1")) ? line.arg(target) : line);
            QCOMPARE(CreateBlankDatabase(target, QStringLiteral("SYSDBA"), QStringLiteral("masterkey")), QString());
            // A statement that succeeds prints nothing.
            for (const QString& table : c.inTarget)
                QCOMPARE(QueryTarget(target, QStringLiteral("CREATE TABLE %1 (OLD_ID INTEGER)").arg(table)), QString());

            Application app;
            QVERIFY(app.Open(path));
            QCOMPARE(app.frame.Tree()->DatabaseNode()->child(0)->childCount(), 3);
            Dialogs::TakeShown();
            Dialogs::PushConnection({target.toStdString(), "SYSDBA", "masterkey"}, job::kAnswerOk);
            Dialogs::PushAnswer(job::kAnswerOk);
            app.frame.RunCommand(ID_START_REPAIR);
            QVERIFY(app.WaitForJob());

            QStringList warnings;
            QStringList texts;
            for (const Dialogs::Shown& shown : Dialogs::TakeShown()) {
                texts << shown.text;
                if (shown.kind == Dialogs::Kind::Warning)
                    warnings << shown.text;
            }
            const QString success = QStringLiteral("Repair process completed successfully.");
            if (shortfalls.isEmpty()) {
                QVERIFY2(texts.contains(success), qPrintable(texts.join('|')));
                QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('|')));
            } else {
                QVERIFY2(!texts.contains(success), qPrintable(texts.join('|')));
                QCOMPARE(warnings, QStringList{QStringLiteral("Repair process finished, but not everything was copied:\n") +
                                               shortfalls.join(QLatin1Char('\n'))});
            }

            const QStringList log = app.Log();
            for (const QString& table : c.inTarget)
                QVERIFY(!log.filter(QRegularExpression(QStringLiteral("^Table not created: %1: .+").arg(table))).isEmpty());
            const qsizetype viewsAt = log.indexOf(QStringLiteral("Views recovered   :0"));
            QVERIFY(viewsAt > 0);
            const qsizetype blankAfter = shortfalls.isEmpty() ? 0 : 1;
            const qsizetype firstAt = viewsAt - blankAfter - shortfalls.size();
            QStringList ending = {c.lastTableLine, QString()};
            ending << shortfalls;
            if (!shortfalls.isEmpty())
                ending << QString();
            ending << QStringLiteral("Views recovered   :0");
            QCOMPARE(log.mid(firstAt - 2, ending.size()), ending);

            // Either way the repair has ended: the window is ready for the next scan.
            QCOMPARE(app.frame.Tree()->Root()->childCount(), 0);
            QVERIFY(!app.frame.Ribbon()->Action(ID_START_REPAIR)->isEnabled());
            QVERIFY(app.frame.Ribbon()->Action(ID_OPEN_FILE)->isEnabled());
            QVERIFY(!app.frame.Ribbon()->Action(ID_STOP)->isEnabled());
            QCOMPARE(QueryTarget(target, QStringLiteral("SELECT COUNT(*) FROM ITEMS")), QStringLiteral("300"));
        }
    }

    void InvalidFileIsReportedThroughTheMessageDialog()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("not-a-database.gdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(3000, 'x'));
        file.close();
        Application app;
        Dialogs::PushFile(path);
        Dialogs::PushAnswer(job::kAnswerOk);
        app.frame.RunCommand(ID_OPEN_FILE);
        QVERIFY(app.WaitForJob());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].kind, Dialogs::Kind::Message);
        QCOMPARE(shown[1].text, QStringLiteral("Invalid Database File."));
        // The log says why, never that the file is in use.
        QCOMPARE(app.Log().last(), QString::fromUtf8(job::kNoPageSizeText));
        QVERIFY(!app.frame.Ribbon()->Action(ID_START_REPAIR)->isEnabled());
        QVERIFY(app.frame.Ribbon()->Action(ID_OPEN_FILE)->isEnabled());
        QCOMPARE(app.frame.Tree()->Root()->childCount(), 0);
    }

    void StopDuringAScanIsReportedOnce()
    {
        const QString path = Sample("ods16/dbdemos.gdb");
        if (!QFileInfo::exists(path))
            QSKIP("sample databases not present");
        Application app;
        // Stop as soon as the scan reports its first progress.
        bool stopped = false;
        QObject::connect(app.frame.Ribbon()->Action(ID_STOP), &QAction::changed, &app.frame, [&] {
            if (!stopped && app.frame.Ribbon()->Action(ID_STOP)->isEnabled()) {
                stopped = true;
                Dialogs::PushAnswer(job::kAnswerOk);  // Yes, stop
                Dialogs::PushAnswer(job::kAnswerOk);  // OK to the abort message
                app.frame.RunCommand(ID_STOP);
            }
        });
        Dialogs::PushFile(path);
        app.frame.RunCommand(ID_OPEN_FILE);
        QVERIFY(app.WaitForJob());
        QVERIFY(stopped);
        const QStringList log = app.Log();
        QCOMPARE(log.filter(QRegularExpression(QStringLiteral("^Process aborted by user"))).size(), 1);
        QVERIFY(!log.contains(QStringLiteral("Counting table(s) records in database.....................")));
        QStringList texts;
        for (const Dialogs::Shown& shown : Dialogs::TakeShown())
            texts << shown.text;
        QCOMPARE(texts.last(), QStringLiteral("Process aborted by user."));
        QCOMPARE(app.frame.Tree()->Root()->childCount(), 0);
        QVERIFY(!app.frame.Ribbon()->Action(ID_START_REPAIR)->isEnabled());
    }
};

QTEST_MAIN(JobControlImplTest)
#include "jobcontrolimpl_test.moc"
