#include "ui/cmainframe.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "fakejobcontrol.h"
#include "job/frame.h"
#include "ui/cfindtreeitem.h"
#include "ui/cleftview.h"
#include "ui/clogwindow.h"
#include "ui/cravelinview.h"
#include "ui/cribbonbar.h"
#include "ui/dialogs.h"
#include "ui/productsettings.h"
#include "uitestmodel.h"

using namespace ravelin;
using namespace ravelin::ui;
using namespace ravelin::ui::testing;

namespace {

// One main frame over a fake job control, with scripted dialogs.
struct Window {
    FakeJobControl jobs;
    ProductSettings settings{QStringList{}};
    CMainFrame frame{jobs, settings};

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0)
    {
        return frame.HandleMessage(message, wParam, lParam);
    }
    // A completed scan of the test model.
    void Scan()
    {
        jobs.engine.model = MakeModel();
        jobs.state.databaseName = "damaged.gdb";
        Send(job::UM_FILL_TREE, 1);
        jobs.state.databaseLoaded = true;
        jobs.engine.saveLogEnabled = true;
        jobs.engine.clearLogEnabled = true;
    }
    QTreeWidgetItem* Item(const QString& text) const
    {
        const QList<QTreeWidgetItem*> found = frame.Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    // Selects a table in the tree by a click on its name.
    void ClickName(const QString& text)
    {
        frame.Tree()->expandAll();
        QTreeWidgetItem* item = Item(text);
        QTest::mouseClick(frame.Tree()->viewport(), Qt::LeftButton, {}, frame.Tree()->LabelRect(item).center());
    }
    QStringList LogLines() const { return frame.LogWindow()->List()->Lines(); }
};

QStringList ShownTexts()
{
    QStringList texts;
    for (const Dialogs::Shown& shown : Dialogs::TakeShown())
        texts << shown.text;
    return texts;
}

}  // namespace

class CMainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void init() { Dialogs::SetScripted(true); }
    void cleanup() { Dialogs::SetScripted(false); }

    void RibbonLayoutAndMenus()
    {
        Window w;
        CRibbonBar* ribbon = w.frame.Ribbon();
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("Ravelin"));
        QStringList categories;
        for (int i = 0; i < ribbon->Categories()->count(); ++i)
            categories << ribbon->Categories()->tabText(i);
        QCOMPARE(categories, (QStringList{"File", "Tools", "Help"}));
        QCOMPARE(ribbon->PanelTitles("File"), (QStringList{" File", "View"}));
        QCOMPARE(ribbon->PanelTitles("Tools"), (QStringList{"Log", "Update"}));
        QCOMPARE(ribbon->PanelTitles("Help"), (QStringList{"Support", "Help Manuals", "About"}));
        QStringList menu;
        for (QAction* action : ribbon->ApplicationMenu()->actions())
            menu << action->text();
        QCOMPARE(menu, (QStringList{"Open File", "Start Repair", "Stop", "Exit", "Save Log", "Clear Log", "Update",
                                    "KnowledgeBase", "Help", "Submit Enquiry", "About"}));
        QCOMPARE(ribbon->QuickAccessButtons().size(), 2);
        QCOMPARE(ribbon->QuickAccessButtons()[0]->defaultAction(), ribbon->Action(ID_OPEN_FILE));
        QCOMPARE(ribbon->QuickAccessButtons()[1]->defaultAction(), ribbon->Action(ID_START_REPAIR));
        // Every button has a picture; the two check boxes are check boxes.
        for (const CommandInfo& info : kRibbonCommands) {
            QWidget* widget = ribbon->CommandWidget(info.id);
            QVERIFY2(widget, info.text);
            if (info.kind == CommandKind::CheckBox) {
                QVERIFY(qobject_cast<QCheckBox*>(widget));
                QVERIFY(qobject_cast<QCheckBox*>(widget)->isChecked());
            } else {
                QVERIFY2(!ribbon->Action(info.id)->icon().isNull(), info.text);
            }
        }
    }

    void EnablingRulesFollowTheJobState_data()
    {
        QTest::addColumn<QString>("job");  // the job started through the window, if any
        QTest::addColumn<bool>("databaseLoaded");
        QTest::addColumn<bool>("logEnabled");
        QTest::addColumn<bool>("previewRequested");  // left set by an earlier preview
        QTest::addColumn<QString>("expected");       // Open File, Start Repair, Stop, Save Log, Clear Log
        QTest::newRow("after start-up") << "" << false << false << false << "on off off off off";
        QTest::newRow("scan running") << "scan" << false << false << false << "off off on off off";
        QTest::newRow("scan completed") << "" << true << true << false << "on on off on on";
        QTest::newRow("preview running") << "preview" << true << true << false << "off off off on on";
        QTest::newRow("repair running") << "repair" << true << true << false << "off off on on on";
        QTest::newRow("repair completed") << "" << false << true << false << "on off off on on";
        QTest::newRow("repair stopped") << "" << true << true << false << "on on off on on";
        QTest::newRow("a scan after a preview can be stopped") << "scan" << true << true << true << "off off on on on";
    }

    void EnablingRulesFollowTheJobState()
    {
        QFETCH(QString, job);
        QFETCH(bool, databaseLoaded);
        QFETCH(bool, logEnabled);
        QFETCH(bool, previewRequested);
        QFETCH(QString, expected);
        Window w;
        w.frame.resize(1000, 700);
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        w.Scan();
        w.jobs.startSetsBusy = true;
        w.jobs.state.databaseLoaded = databaseLoaded;
        w.jobs.state.previewRequested = previewRequested;
        w.jobs.engine.saveLogEnabled = logEnabled;
        w.jobs.engine.clearLogEnabled = logEnabled;
        if (job == "scan") {
            Dialogs::PushFile(QStringLiteral("/data/EMPLOYEE.GDB"));
            w.frame.RunCommand(ID_OPEN_FILE);
        } else if (job == "preview") {
            w.ClickName("ORDERS");
        } else if (job == "repair") {
            w.frame.RunCommand(ID_START_REPAIR);
        }
        QCOMPARE(w.jobs.starts.size(), std::size_t(job.isEmpty() ? 0 : 1));
        const CommandId ids[] = {ID_OPEN_FILE, ID_START_REPAIR, ID_STOP, ID_SAVE_LOG, ID_CLEAR_LOG};
        const auto states = [&] {
            QStringList parts;
            for (CommandId id : ids) {
                const bool action = w.frame.Ribbon()->Action(id)->isEnabled();
                const bool button = w.frame.Ribbon()->CommandWidget(id)->isEnabled();
                parts << (action != button ? QStringLiteral("mixed") : action ? QStringLiteral("on") : QStringLiteral("off"));
            }
            return parts.join(QLatin1Char(' '));
        };
        // No explicit refresh: the rules follow the state by themselves.
        QTRY_COMPARE_WITH_TIMEOUT(states(), expected, 2000);
        // The commands that are always on.
        for (CommandId id : {ID_EXIT, ID_LOG_WINDOW, ID_STATUS_BAR, ID_UPDATE, ID_KNOWLEDGE_BASE, ID_HELP, ID_ABOUT,
                             ID_SUBMIT_ENQUIRY})
            QVERIFY(w.frame.Ribbon()->Action(id)->isEnabled());
        // The job ends: the rules read the flags again.
        w.jobs.state.busy = false;
        w.jobs.state.databaseLoaded = false;
        QTRY_COMPARE_WITH_TIMEOUT(states(), QStringLiteral("on off off %1 %1").arg(logEnabled ? "on" : "off"), 2000);
    }

    void CloseConfirmation_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("closes");
        QTest::newRow("a job runs") << true << 1 << false << "Please first stop the current running process" << false;
        QTest::newRow("a job runs, Ctrl+E") << true << 1 << true << "Please first stop the current running process" << false;
        QTest::newRow("No keeps the window") << false << 2 << false << "Do you want to close Application?" << false;
        QTest::newRow("Yes closes") << false << 1 << false << "Do you want to close Application?" << true;
        QTest::newRow("Ctrl+E asks as the close box does") << false << 1 << true << "Do you want to close Application?" << true;
    }

    void CloseConfirmation()
    {
        QFETCH(bool, busy);
        QFETCH(int, answer);
        QFETCH(bool, byKey);
        QFETCH(QString, question);
        QFETCH(bool, closes);
        Window w;
        w.frame.show();
        w.jobs.state.busy = busy;
        Dialogs::PushAnswer(answer);
        if (byKey)
            QTest::keyClick(w.frame.FindPanel()->TextField(), Qt::Key_E, Qt::ControlModifier);
        else
            w.frame.close();
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, Dialogs::Kind::Message);
        QCOMPARE(shown[0].text, question);
        QCOMPARE(w.frame.isVisible(), !closes);
        QCOMPARE(w.jobs.releases, closes ? 1 : 0);
        // Ctrl+E never reaches the focused field.
        QVERIFY(w.frame.FindPanel()->TextField()->text().isEmpty());
    }

    void ExitCommandClearsTheRepairResultFirst()
    {
        Window w;
        w.frame.show();
        w.jobs.engine.repairSucceeded = true;
        Dialogs::PushAnswer(job::kAnswerNo);
        w.frame.RunCommand(ID_EXIT);
        QVERIFY(!w.jobs.engine.repairSucceeded);
        QCOMPARE(ShownTexts(), QStringList{"Do you want to close Application?"});
        QVERIFY(w.frame.isVisible());
    }

    void StopConfirmation_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("stops");
        QTest::newRow("nothing runs: Ctrl+S does nothing") << "" << 1 << false << 0;
        QTest::newRow("a preview cannot be stopped") << "preview" << 1 << false << 0;
        QTest::newRow("scan running, Yes") << "scan" << 1 << true << 1;
        QTest::newRow("scan running, No") << "scan" << 2 << true << 0;
        QTest::newRow("repair running, Yes") << "repair" << 1 << true << 1;
    }

    void StopConfirmation()
    {
        QFETCH(QString, job);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(int, stops);
        Window w;
        w.frame.resize(1000, 700);
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        w.Scan();
        w.jobs.startSetsBusy = true;
        if (job == "scan") {
            Dialogs::PushFile(QStringLiteral("/data/EMPLOYEE.GDB"));
            w.frame.RunCommand(ID_OPEN_FILE);
        } else if (job == "preview") {
            w.ClickName("ORDERS");
        } else if (job == "repair") {
            w.frame.RunCommand(ID_START_REPAIR);
        }
        Dialogs::TakeShown();
        Dialogs::PushAnswer(answer);
        QTest::keyClick(w.frame.Tree(), Qt::Key_S, Qt::ControlModifier);
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(shown[0].kind, Dialogs::Kind::Stop);
            QCOMPARE(shown[0].text, QStringLiteral("Do you want to stop current process?"));
        }
        QCOMPARE(w.jobs.stopRequests, stops);
    }

    void LateStopAnswerIsIgnored()
    {
        Window w;
        w.jobs.state.busy = true;
        // The job ends while the question is open: the Yes stops nothing.
        Dialogs::PushAnswer(job::kAnswerOk);
        Dialogs::SetShowHook([&](const Dialogs::Shown&) { w.jobs.state.busy = false; });
        w.frame.RunCommand(ID_STOP);
        QCOMPARE(Dialogs::TakeShown().size(), 1);
        QCOMPARE(w.jobs.stopRequests, 0);
    }

    void StartRepair()
    {
        Window w;
        w.Scan();
        w.frame.Tree()->ClickCheckBox(w.Item("ORDERS"));
        w.frame.Tree()->ClickCheckBox(w.Item("PK_CUSTOMERS"));
        w.frame.RightView()->NextButton()->setEnabled(true);
        w.frame.RunCommand(ID_START_REPAIR);
        QCOMPARE(w.jobs.starts.size(), std::size_t{1});
        QCOMPARE(w.jobs.starts[0].kind, std::string("repair"));
        QCOMPARE(w.jobs.starts[0].names,
                 (std::vector<std::string>{"CUSTOMERS", "ORDER_LINES", "BIG_ORDERS", "IDX_ORDERS_DATE"}));
        QVERIFY(!w.frame.RightView()->NextButton()->isEnabled());
        QVERIFY(!w.frame.RightView()->Filled());
        QVERIFY(Dialogs::TakeShown().isEmpty());
    }

    void StartRepairWithoutTablesStartsNothing()
    {
        Window w;
        w.Scan();
        w.frame.Tree()->ClickCheckBox(w.Item("Tables"));
        w.frame.RunCommand(ID_START_REPAIR);
        QVERIFY(w.jobs.starts.empty());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, Dialogs::Kind::MessageOk);
        QCOMPARE(shown[0].text, QStringLiteral("select atleast one table for repair."));
    }

    void OpenFileStartsAScan()
    {
        Window w;
        Dialogs::PushFile(QStringLiteral("/data/copies/EMPLOYEE.GDB"));
        w.frame.RunCommand(ID_OPEN_FILE);
        QCOMPARE(w.jobs.starts.size(), std::size_t{1});
        QCOMPARE(w.jobs.starts[0].detail, std::string("/data/copies/EMPLOYEE.GDB|EMPLOYEE.GDB"));
        // Cancelled: nothing starts.
        Dialogs::PushFile(QString());
        w.frame.RunCommand(ID_OPEN_FILE);
        QCOMPARE(w.jobs.starts.size(), std::size_t{1});
    }

    void ProgressBarInTheStatusPane()
    {
        Window w;
        const auto bars = [&] { return w.frame.statusBar()->findChildren<QProgressBar*>().size(); };
        // A step before a start changes nothing.
        w.Send(job::UM_PROGRESS, job::kProgressStep);
        QCOMPARE(bars(), 0);
        QCOMPARE(w.frame.StatusText()->text(), QString());

        w.jobs.state.scanning = true;
        w.Send(job::UM_PROGRESS, job::kProgressStart, 50);
        w.Send(job::UM_PROGRESS, job::kProgressStart, 20);
        QCOMPARE(bars(), 1);
        QCOMPARE(w.frame.StatusText()->text(), QStringLiteral("Scanning"));
        QCOMPARE(w.frame.ProgressBar()->minimum(), 1);
        QCOMPARE(w.frame.ProgressBar()->maximum(), 20);
        QCOMPARE(w.frame.ProgressBar()->value(), 3);
        w.Send(job::UM_PROGRESS, job::kProgressStep);
        QCOMPARE(w.frame.ProgressBar()->value(), 5);
        // Past the end the bar starts over instead of sticking.
        for (int i = 0; i < 8; ++i)
            w.Send(job::UM_PROGRESS, job::kProgressStep);
        QVERIFY(w.frame.ProgressBar()->value() >= 1 && w.frame.ProgressBar()->value() <= 20);
        w.Send(job::UM_PROGRESS, 7);
        QCOMPARE(bars(), 1);

        w.Send(job::UM_PROGRESS, job::kProgressEnd);
        QCOMPARE(bars(), 0);
        QVERIFY(!w.frame.ProgressBar());
        QCOMPARE(w.frame.StatusText()->text(), QStringLiteral("Ready"));

        const struct {
            bool scanning, repairing;
            const char* label;
        } labels[] = {{false, true, "Repairing"}, {false, false, "Processing"}, {true, true, "Scanning"}};
        for (const auto& row : labels) {
            w.jobs.state.scanning = row.scanning;
            w.jobs.state.repairing = row.repairing;
            w.Send(job::UM_PROGRESS, job::kProgressStart, 10);
            QCOMPARE(w.frame.StatusText()->text(), QString::fromLatin1(row.label));
        }
        QCOMPARE(bars(), 1);
    }

    void ClearTreeKeepsTheRoot()
    {
        Window w;
        w.Scan();
        w.ClickName("CUSTOMERS");
        w.Send(job::UM_GRID_COLUMNS);
        w.jobs.state.valueText = "1";
        w.Send(job::UM_GRID_CELL);
        QCOMPARE(w.frame.RightView()->Grid()->rowCount(), 1);
        QCOMPARE(w.Send(job::UM_CLEAR_TREE), std::intptr_t{1});
        QCOMPARE(w.frame.Tree()->topLevelItemCount(), 1);
        QCOMPARE(w.frame.Tree()->Root()->text(0), QStringLiteral("Ravelin"));
        QCOMPARE(w.frame.Tree()->Root()->childCount(), 0);
        QCOMPARE(w.frame.RightView()->Grid()->rowCount(), 0);
        QCOMPARE(w.frame.RightView()->Grid()->columnCount(), 0);
    }

    void GridColumnWidths_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("viewWidth");
        QTest::addColumn<QList<int>>("widths");  // first, last
        QTest::newRow("15 columns get 60 pixels, the last the rest") << 15 << 1500 << QList<int>{60, 1500 - 14 * 60};
        QTest::newRow("15 columns wider than the view: the last gets 50") << 15 << 700 << QList<int>{60, 50};
        // (700 - 175) / 14 = 37; the last takes 700 - 13 * 37.
        QTest::newRow("14 columns share three quarters") << 14 << 700 << QList<int>{37, 700 - 13 * 37};
        QTest::newRow("one column takes the whole width") << 1 << 640 << QList<int>{640, 640};
        QTest::newRow("no such table: no columns") << 0 << 700 << QList<int>{};
    }

    void GridColumnWidths()
    {
        QFETCH(int, columns);
        QFETCH(int, viewWidth);
        QFETCH(QList<int>, widths);
        Window w;
        std::vector<std::string> names;
        for (int c = 0; c < columns; ++c)
            names.push_back("C" + std::to_string(c + 1));
        w.jobs.engine.model.tables.push_back(MakeTable("WIDE", names));
        w.frame.RightView()->resize(viewWidth, 400);
        w.frame.RightView()->Build(CRavelinView::Kind::Table);
        w.jobs.state.selectedObjectName = columns ? "WIDE" : "NO_SUCH_TABLE";
        w.Send(job::UM_GRID_COLUMNS);
        QTableWidget* grid = w.frame.RightView()->Grid();
        QCOMPARE(grid->columnCount(), columns);
        QCOMPARE(grid->rowCount(), 0);
        if (columns == 0)
            return;
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("C1"));
        QCOMPARE(grid->horizontalHeaderItem(columns - 1)->text(), QStringLiteral("C%1").arg(columns));
        for (int c = 0; c + 1 < columns; ++c)
            QCOMPARE(grid->columnWidth(c), widths[0]);
        QCOMPARE(grid->columnWidth(columns - 1), widths[1]);
        // The table name is compared exactly.
        w.jobs.state.selectedObjectName = "wide";
        w.Send(job::UM_GRID_COLUMNS);
        QCOMPARE(grid->columnCount(), 0);
    }

    void GridCellsFillRowsAndDamagedRecordsAreMarked()
    {
        Window w;
        w.jobs.engine.model.tables.push_back(MakeTable("T", {"A", "B", "C"}));
        w.frame.RightView()->Build(CRavelinView::Kind::Table);
        w.jobs.state.selectedObjectName = "T";
        w.Send(job::UM_GRID_COLUMNS);
        QTableWidget* grid = w.frame.RightView()->Grid();
        const auto rows = [&] {
            QStringList lines;
            for (int r = 0; r < grid->rowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < grid->columnCount(); ++c)
                    cells << (grid->item(r, c) ? grid->item(r, c)->text() : QStringLiteral("-"));
                lines << cells.join(QLatin1Char(','));
            }
            return lines;
        };
        for (int i = 1; i <= 9; ++i) {
            w.jobs.state.valueText = std::to_string(i);
            w.Send(job::UM_GRID_CELL);
        }
        QCOMPARE(rows(), (QStringList{"1,2,3", "4,5,6", "7,8,9"}));

        // A damaged record's flag ends its row and marks it: a tinted row,
        // the header "Damaged"; cells it never sent stand empty.
        w.Send(job::UM_RESET_VIEW);
        w.frame.RightView()->Build(CRavelinView::Kind::Table);
        w.Send(job::UM_GRID_COLUMNS);
        grid = w.frame.RightView()->Grid();
        const char* cells[] = {"a", "b", "c", "d", "e"};
        for (int i = 0; i < 5; ++i) {
            w.jobs.state.recordDamaged = i == 1;
            w.jobs.state.valueText = cells[i];
            w.Send(job::UM_GRID_CELL);
        }
        QCOMPARE(rows(), (QStringList{"a,b,", "c,d,e"}));
        QCOMPARE(w.frame.gridRow, 2);
        QCOMPARE(w.frame.gridColumn, 0);
        const auto marked = [&](int row) {
            return grid->verticalHeaderItem(row) && grid->verticalHeaderItem(row)->text() == QStringLiteral("Damaged") &&
                   grid->item(row, 2)->background() != QBrush();
        };
        QVERIFY(marked(0));
        QVERIFY(!marked(1));

        // The flag with a row's last cell, as the walk sends it, marks that
        // row only; the next record lands right after it.
        const char* more[] = {"p", "q", "r", "s"};
        for (int i = 0; i < 4; ++i) {
            w.jobs.state.recordDamaged = i == 2;
            w.jobs.state.valueText = more[i];
            w.Send(job::UM_GRID_CELL);
        }
        QCOMPARE(rows(), (QStringList{"a,b,", "c,d,e", "p,q,r", "s,-,-"}));
        QVERIFY(marked(2));
        QCOMPARE(w.frame.gridRow, 3);
        QCOMPARE(w.frame.gridItem, 3);
    }

    void PagingState_data()
    {
        QTest::addColumn<int>("wParam");
        QTest::addColumn<int>("lParam");
        QTest::addColumn<int>("gridRow");
        QTest::addColumn<bool>("lastPage");
        QTest::addColumn<int>("slotsLeft");
        QTest::addColumn<int>("forwardSteps");
        QTest::addColumn<QString>("expected");  // next, previous, grid row after
        // Both buttons start enabled, except where noted by the expectation.
        QTest::newRow("first page of more") << 0 << 0 << 100 << false << 5 << 0 << "on off 0";
        QTest::newRow("middle page") << 0 << 1 << 100 << false << 5 << 1 << "on on 0";
        QTest::newRow("end after paging forward") << 1 << 1 << 40 << true << 0 << 2 << "off on 40";
        QTest::newRow("end of a one-page table") << 1 << 1 << 40 << true << 0 << 0 << "off off 40";
        QTest::newRow("end with slots left changes nothing") << 1 << 1 << 40 << false << 3 << 0 << "on on 40";
        QTest::newRow("end beyond 100 rows changes nothing") << 1 << 1 << 101 << true << 0 << 2 << "on on 101";
        QTest::newRow("unknown selector") << 2 << 1 << 7 << true << 0 << 0 << "on on 7";
    }

    void PagingState()
    {
        QFETCH(int, wParam);
        QFETCH(int, lParam);
        QFETCH(int, gridRow);
        QFETCH(bool, lastPage);
        QFETCH(int, slotsLeft);
        QFETCH(int, forwardSteps);
        QFETCH(QString, expected);
        Window w;
        w.frame.RightView()->NextButton()->setEnabled(true);
        w.frame.RightView()->PreviousButton()->setEnabled(true);
        w.frame.gridRow = gridRow;
        w.jobs.paging.onLastDataPage = lastPage;
        w.jobs.paging.slotsLeft = static_cast<std::uint16_t>(slotsLeft);
        w.jobs.state.forwardSteps = static_cast<std::uint16_t>(forwardSteps);
        w.Send(job::UM_PAGING_STATE, static_cast<std::uintptr_t>(wParam), lParam);
        const QString actual = QStringLiteral("%1 %2 %3")
                                   .arg(w.frame.RightView()->NextButton()->isEnabled() ? "on" : "off")
                                   .arg(w.frame.RightView()->PreviousButton()->isEnabled() ? "on" : "off")
                                   .arg(w.frame.gridRow);
        QCOMPARE(actual, expected);
    }

    void PagingEmptiesTheGridAndPagingOffDisables()
    {
        Window w;
        w.Scan();
        w.ClickName("CUSTOMERS");
        w.Send(job::UM_GRID_COLUMNS);
        for (int i = 0; i < 6; ++i)
            w.Send(job::UM_GRID_CELL);
        QCOMPARE(w.frame.RightView()->Grid()->rowCount(), 2);
        w.Send(job::UM_PAGING_STATE, 1, 0);
        QCOMPARE(w.frame.RightView()->Grid()->rowCount(), 0);
        QCOMPARE(w.frame.RightView()->Grid()->columnCount(), 3);
        w.frame.RightView()->NextButton()->setEnabled(true);
        w.frame.RightView()->PreviousButton()->setEnabled(true);
        w.Send(job::UM_PAGING_OFF);
        QVERIFY(!w.frame.RightView()->NextButton()->isEnabled());
        QVERIFY(!w.frame.RightView()->PreviousButton()->isEnabled());
    }

    void PagingButtons()
    {
        Window w;
        w.frame.resize(1000, 700);
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        w.Scan();
        w.ClickName("CUSTOMERS");
        CRavelinView* view = w.frame.RightView();
        QVERIFY(view->NextButton()->isVisible());
        QVERIFY(view->PreviousButton()->isVisible());
        w.Send(job::UM_PAGING_STATE, 0, 0);

        // Next: a forward page, Previous comes on.
        QTest::mouseClick(view->NextButton(), Qt::LeftButton);
        QCOMPARE(w.jobs.starts.back().detail, std::string("forward"));
        QVERIFY(view->PreviousButton()->isEnabled());
        // Previous on page 1 returns to page 0 and disables itself.
        QTest::mouseClick(view->PreviousButton(), Qt::LeftButton);
        QCOMPARE(w.jobs.starts.back().detail, std::string("back"));
        QCOMPARE(w.jobs.paging.previewPage, std::uint16_t{0});
        QVERIFY(!view->PreviousButton()->isEnabled());
        QVERIFY(view->NextButton()->isEnabled());

        // The Properties tab hides the buttons; Table Data shows them again.
        view->Tabs()->setCurrentIndex(1);
        QVERIFY(!view->NextButton()->isVisible());
        QVERIFY(view->Properties()->isVisible());
        QVERIFY(!view->Grid()->isVisible());
        view->Tabs()->setCurrentIndex(2);
        QVERIFY(view->Keys()->isVisible());
        QVERIFY(!view->PreviousButton()->isVisible());
        view->Tabs()->setCurrentIndex(0);
        QVERIFY(view->NextButton()->isVisible());
        QVERIFY(view->Grid()->isVisible());

        // While a job runs the buttons start nothing.
        const std::size_t started = w.jobs.starts.size();
        w.jobs.state.busy = true;
        QTest::mouseClick(view->NextButton(), Qt::LeftButton);
        QCOMPARE(w.jobs.starts.size(), started);
    }

    void NameClicksStartOnePreviewPerObject()
    {
        Window w;
        w.frame.resize(1000, 700);
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        w.Scan();
        w.ClickName("ORDERS");
        w.ClickName("ORDERS");
        QCOMPARE(w.jobs.starts.size(), std::size_t{1});
        QCOMPARE(w.jobs.starts[0].detail, std::string("table:ORDERS"));
        QVERIFY(w.jobs.state.tableSelected);
        QCOMPARE(w.jobs.state.selectedObjectName, std::string("ORDERS"));
        CRavelinView* view = w.frame.RightView();
        QCOMPARE(view->Tabs()->count(), 3);
        QCOMPARE(view->Tabs()->tabText(2), QStringLiteral("Keys and Constraints"));

        w.ClickName("BIG_ORDERS");
        QCOMPARE(w.jobs.starts.back().detail, std::string("view:BIG_ORDERS"));
        QVERIFY(w.jobs.state.viewSelected && !w.jobs.state.tableSelected);
        QCOMPARE(view->Tabs()->count(), 1);
        QCOMPARE(view->Tabs()->tabText(0), QStringLiteral("Properties"));
        QVERIFY(!view->Grid());
        QVERIFY(!view->NextButton()->isVisible());

        // A category shows the background picture and starts nothing.
        w.ClickName("Indices");
        QCOMPARE(w.jobs.starts.size(), std::size_t{2});
        QVERIFY(!view->Filled());
        QVERIFY(!w.jobs.state.rightViewFilled);

        // Once the view went back to its picture, the same object shows again.
        w.ClickName("PK_CUSTOMERS");
        QCOMPARE(w.jobs.starts.back().detail, std::string("index:PK_CUSTOMERS"));
        w.frame.RunCommand(ID_START_REPAIR);
        QCOMPARE(w.jobs.starts.back().kind, std::string("repair"));
        QVERIFY(!view->Filled());
        w.ClickName("PK_CUSTOMERS");
        QCOMPARE(w.jobs.starts.back().detail, std::string("index:PK_CUSTOMERS"));
        QCOMPARE(w.jobs.starts.size(), std::size_t{5});

        // While a job runs a click changes neither selection nor view.
        w.jobs.state.busy = true;
        QTreeWidgetItem* before = w.frame.Tree()->currentItem();
        w.ClickName("CUSTOMERS");
        QCOMPARE(w.jobs.starts.size(), std::size_t{5});
        QCOMPARE(w.frame.Tree()->currentItem(), before);
    }

    void PropertyListsFillFromTheModel()
    {
        Window w;
        w.Scan();
        catalogue::KEYSCONTRAINTS key;
        key.constraintType = "PRIMARY KEY";
        key.constraintName = "INTEG_12";
        key.indexName = "PK_CUSTOMERS";
        w.jobs.engine.model.keyConstraints.push_back(key);
        w.frame.RightView()->resize(800, 500);
        w.frame.RightView()->Build(CRavelinView::Kind::Table);
        w.jobs.state.selectedObjectName = "customers";
        w.Send(job::UM_TABLE_PROPERTIES);
        w.Send(job::UM_TABLE_KEYS);
        QTableWidget* properties = w.frame.RightView()->Properties();
        QCOMPARE(properties->rowCount(), 3);
        QCOMPARE(properties->item(1, 0)->text(), QStringLiteral("NAME"));
        QCOMPARE(properties->item(1, 1)->text(), QStringLiteral("INTEGER"));
        QCOMPARE(properties->item(1, 4)->text(), QStringLiteral("Yes"));
        QTableWidget* keys = w.frame.RightView()->Keys();
        QCOMPARE(keys->rowCount(), 1);
        QCOMPARE(keys->item(0, 0)->text(), QStringLiteral("ID"));
        QCOMPARE(keys->item(0, 1)->text(), QStringLiteral("PRIMARY KEY"));
        QCOMPARE(keys->item(0, 2)->text(), QStringLiteral(" "));
        // Properties columns: (W + 5) / 5 - 22 of the list's inner width.
        const int inner = CRavelinView::ClientWidth(properties);
        QCOMPARE(properties->columnWidth(0), (inner + 5) / 5 - 22);
        QCOMPARE(keys->columnWidth(2), (CRavelinView::ClientWidth(keys) + 5) / 5);
    }

    void MarkRepairedOnlyDuringARepair()
    {
        Window w;
        w.Scan();
        w.jobs.state.repairedTableName = "ORDERS";
        w.Send(job::UM_MARK_REPAIRED, 1, 0);
        w.Send(job::UM_MARK_REPAIRED, 0, 1);
        QCOMPARE(w.Item("ORDERS")->checkState(0), Qt::Checked);
        QCOMPARE(w.frame.Tree()->DatabaseNode()->checkState(0), Qt::Checked);
        QCOMPARE(w.jobs.state.repairedTableName, std::string("ORDERS"));

        w.jobs.state.repairing = true;
        w.Send(job::UM_MARK_REPAIRED, 1, 0);
        QCOMPARE(w.Item("ORDERS")->checkState(0), Qt::Unchecked);
        QVERIFY(w.jobs.state.repairedTableName.empty());
        w.jobs.state.repairedTableName = "CUSTOMERS";
        w.Send(job::UM_MARK_REPAIRED, 0, 1);
        QCOMPARE(w.frame.Tree()->DatabaseNode()->checkState(0), Qt::Unchecked);
        QCOMPARE(w.Item("Tables")->checkState(0), Qt::Unchecked);
        QVERIFY(w.jobs.state.repairedTableName.empty());
    }

    void FindPanelSearchesTheTree()
    {
        Window w;
        w.Scan();
        CFindTreeItem* find = w.frame.FindPanel();
        QVERIFY(!find->FindButton()->isEnabled());
        QTest::keyClicks(find->TextField(), QStringLiteral("order"));
        QVERIFY(find->FindButton()->isEnabled());
        QTest::mouseClick(find->FindButton(), Qt::LeftButton);
        QCOMPARE(w.frame.Tree()->currentItem()->text(0), QStringLiteral("ORDERS"));
        QCOMPARE(find->FindButton()->text(), QStringLiteral("Find Next"));
        QTest::mouseClick(find->FindButton(), Qt::LeftButton);
        QCOMPARE(w.frame.Tree()->currentItem()->text(0), QStringLiteral("ORDER_LINES"));
        // A selection by search starts no preview.
        QVERIFY(w.jobs.starts.empty());

        // Match Case: the lower-case text matches nothing.
        find->TextField()->setText(QStringLiteral("orders"));
        QCOMPARE(find->FindButton()->text(), QStringLiteral("Find"));
        find->MatchCase()->setChecked(true);
        QTest::mouseClick(find->FindButton(), Qt::LeftButton);
        QVERIFY(w.jobs.state.matchCase);
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, Dialogs::Kind::Message);
        QCOMPARE(shown[0].text, QStringLiteral("\r\nItem 'orders' not found, Try again."));
        QVERIFY(find->TextField()->text().isEmpty());
        QCOMPARE(find->FindButton()->text(), QStringLiteral("Find"));
        QVERIFY(!find->FindButton()->isEnabled());

        // While a job runs a failed search shows nothing but still clears the text.
        w.jobs.state.busy = true;
        find->TextField()->setText(QStringLiteral("nothing like it"));
        QTest::mouseClick(find->FindButton(), Qt::LeftButton);
        QVERIFY(Dialogs::TakeShown().isEmpty());
        QVERIFY(find->TextField()->text().isEmpty());
    }

    void RepairStateDisablesTheFindPanel()
    {
        Window w;
        CFindTreeItem* find = w.frame.FindPanel();
        find->TextField()->setText(QStringLiteral("x"));
        w.Send(job::UM_REPAIR_STATE, 1, 0);
        QVERIFY(!find->TextField()->isEnabled());
        QVERIFY(!find->MatchCase()->isEnabled());
        QVERIFY(!find->FindButton()->isEnabled());
        w.Send(job::UM_REPAIR_STATE, 0, 1);
        QVERIFY(find->TextField()->isEnabled());
        QVERIFY(find->MatchCase()->isEnabled());
        QVERIFY(!find->FindButton()->isEnabled());
        find->TextField()->setText(QStringLiteral("xy"));
        QVERIFY(find->FindButton()->isEnabled());
    }

    void SkipDialogOpensAndCloses()
    {
        Window w;
        w.Send(job::UM_SKIP_DIALOG, 1, 0);
        QPointer<QWidget> panel = w.frame.SkipDialog();
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->windowTitle(), QStringLiteral("Ravelin   "));
        QTest::mouseClick(static_cast<CSkipDialog*>(panel.data())->SkipButton(), Qt::LeftButton);
        QVERIFY(w.jobs.engine.skipCounting);
        QVERIFY(!panel->isVisible());
        w.Send(job::UM_SKIP_DIALOG, 0, 1);
        QVERIFY(!panel);
        // Closing when none is open does nothing.
        w.Send(job::UM_SKIP_DIALOG, 0, 1);
        QVERIFY(!w.frame.SkipDialog());
    }

    void LogPaneHeaderClearAndToggle()
    {
        Window w;
        QCOMPARE(w.LogLines(), QStringList{"Ravelin Database(s) Log Report........................."});
        QVERIFY(!w.frame.Ribbon()->Action(ID_SAVE_LOG)->isEnabled());
        QVERIFY(!w.frame.Ribbon()->Action(ID_CLEAR_LOG)->isEnabled());
        w.jobs.state.currentLogLine = "File Selected: /tmp/x.gdb";
        w.Send(job::UM_LOG_LINE);
        w.jobs.state.currentLogLine.clear();
        w.Send(job::UM_LOG_LINE);
        QCOMPARE(w.LogLines().size(), 3);
        QCOMPARE(w.LogLines()[2], QString());

        // Hiding and showing the pane keeps its lines.
        w.frame.show();
        w.frame.RunCommand(ID_LOG_WINDOW);
        QVERIFY(!w.frame.LogWindow()->isVisible());
        QVERIFY(!w.frame.Ribbon()->Action(ID_LOG_WINDOW)->isChecked());
        w.frame.RunCommand(ID_LOG_WINDOW);
        QVERIFY(w.frame.LogWindow()->isVisible());
        QCOMPARE(w.LogLines().size(), 3);
        w.frame.RunCommand(ID_STATUS_BAR);
        QVERIFY(!w.frame.statusBar()->isVisible());
        QVERIFY(!qobject_cast<QCheckBox*>(w.frame.Ribbon()->CommandWidget(ID_STATUS_BAR))->isChecked());
        // The ribbon's check box runs the same command.
        auto* logBox = qobject_cast<QCheckBox*>(w.frame.Ribbon()->CommandWidget(ID_LOG_WINDOW));
        QTest::mouseClick(logBox, Qt::LeftButton);
        QVERIFY(!w.frame.LogWindow()->isVisible());
        QVERIFY(!logBox->isChecked());
        QTest::mouseClick(logBox, Qt::LeftButton);
        QVERIFY(w.frame.LogWindow()->isVisible());
        QVERIFY(logBox->isChecked());
        // The pane's own close button leaves the box unchecked.
        w.frame.LogWindow()->close();
        QVERIFY(!logBox->isChecked());
        QTest::mouseClick(logBox, Qt::LeftButton);
        QVERIFY(w.frame.LogWindow()->isVisible());

        w.jobs.engine.saveLogEnabled = true;
        w.jobs.engine.clearLogEnabled = true;
        w.frame.RunCommand(ID_CLEAR_LOG);
        QCOMPARE(w.LogLines(), (QStringList{"Ravelin Database(s) Log Report.........................", ""}));
        QVERIFY(!w.jobs.engine.saveLogEnabled);
        QVERIFY(!w.jobs.engine.clearLogEnabled);
        QVERIFY(!w.frame.Ribbon()->Action(ID_CLEAR_LOG)->isEnabled());
    }

    void SaveLogWritesTheReport()
    {
        QTemporaryDir dir;
        Window w;
        w.jobs.state.currentLogLine = "Database name : caf\xC3\xA9 \xE2\x82\xAC";
        w.Send(job::UM_LOG_LINE);
        w.jobs.engine.saveLogEnabled = true;

        // A name without the extension gets ".log".
        Dialogs::PushFile(dir.filePath(QStringLiteral("report")));
        w.frame.RunCommand(ID_SAVE_LOG);
        QFile saved(dir.filePath(QStringLiteral("report.log")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        saved.close();
        const QStringList lines = w.LogLines();
        qsizetype units = 0;
        for (const QString& line : lines)
            units += line.size();
        QCOMPARE(bytes.size(), units * 2 + 4 * lines.size());
        QVERIFY(bytes.startsWith(QByteArray("R\0a\0v\0", 6)));  // no byte-order mark
        QVERIFY(bytes.endsWith(QByteArray("\xE9\0 \0\xAC\x20\x0D\0\x0A\0", 10)));
        QCOMPARE(Dialogs::TakeShown().size(), 1);

        // The file exists: No asks for another name, cancelling writes nothing.
        QVERIFY(saved.open(QIODevice::WriteOnly));
        saved.write("keep me");
        saved.close();
        Dialogs::PushFile(dir.filePath(QStringLiteral("REPORT.log")).replace("REPORT", "report"));
        Dialogs::PushAnswer(job::kAnswerNo);
        Dialogs::PushFile(QString());
        w.frame.RunCommand(ID_SAVE_LOG);
        QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[1].kind, Dialogs::Kind::FileExist);
        QCOMPARE(w.jobs.state.currentLogLine, std::string("File already exists."));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("keep me"));
        saved.close();

        // Yes overwrites.
        Dialogs::PushFile(dir.filePath(QStringLiteral("report.log")));
        Dialogs::PushAnswer(job::kAnswerOk);
        w.frame.RunCommand(ID_SAVE_LOG);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes);
        saved.close();
        QCOMPARE(w.LogLines(), lines);
    }

    void HelpAndAddressesComeFromTheSettings()
    {
        QTemporaryDir dir;
        QFile conf(dir.filePath(QStringLiteral("ravelin.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[Ravelin]\nKB=https://support.example.invalid/kb\nPath=" + dir.path().toUtf8() + "\n");
        conf.close();
        QFile help(dir.filePath(QStringLiteral("help.html")));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.close();

        FakeJobControl jobs;
        ProductSettings settings(QStringList{dir.filePath(QStringLiteral("ravelin.conf"))});
        CMainFrame frame(jobs, settings);
        QList<QUrl> opened;
        frame.urlOpener = [&](const QUrl& url) {
            opened << url;
            return true;
        };
        frame.RunCommand(ID_KNOWLEDGE_BASE);
        frame.RunCommand(ID_SUBMIT_ENQUIRY);
        frame.RunCommand(ID_HELP);
        QCOMPARE(opened.size(), 3);
        QCOMPARE(opened[0], QUrl(QStringLiteral("https://support.example.invalid/kb")));
        QVERIFY(opened[1].isEmpty());  // no SupTick value
        QCOMPARE(opened[2], QUrl::fromLocalFile(dir.filePath(QStringLiteral("help.html"))));
    }
};

QTEST_MAIN(CMainFrameTest)
#include "cmainframe_test.moc"
