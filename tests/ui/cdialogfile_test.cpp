#include "ui/cdialogfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "fakejobcontrol.h"
#include "job/frame.h"
#include "ui/cmainframe.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/productsettings.h"

using namespace ravelin;
using namespace ravelin::ui;
using namespace ravelin::ui::testing;

namespace {

// root/a.gdb (1023 bytes), root/B.IB (5000), root/.hidden.gdb,
// root/sub/c.gdb, root/.secret/d.gdb, root/notes.txt
struct Tree {
    QTemporaryDir dir;
    QString root;

    Tree()
    {
        root = dir.path();
        QDir(root).mkpath(QStringLiteral("sub"));
        QDir(root).mkpath(QStringLiteral(".secret"));
        Make(QStringLiteral("a.gdb"), 1023);
        Make(QStringLiteral("B.IB"), 5000);
        Make(QStringLiteral(".hidden.gdb"), 10);
        Make(QStringLiteral("sub/c.gdb"), 2048);
        Make(QStringLiteral(".secret/d.gdb"), 10);
        Make(QStringLiteral("notes.txt"), 10);
    }
    void Make(const QString& name, qint64 size) const
    {
        QFile file(root + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    QString Path(const QString& name) const { return root + QLatin1Char('/') + name; }
};

struct Fixture {
    FakeJobControl jobs;
    CDialogFile dialog{nullptr, jobs};

    Fixture()
    {
        dialog.show();
    }
    bool WaitForSearch()
    {
        return QTest::qWaitFor([&] { return !dialog.Search().searchRunning; }, 20000);
    }
    QStringList Column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < dialog.ResultList()->rowCount(); ++row)
            texts << dialog.ResultList()->item(row, column)->text();
        return texts;
    }
    // Enabled state of the search controls: Select File, Search File(s),
    // Select Folder, Look in, File Type, Search in subfolders.
    QString SearchControls() const
    {
        const QWidget* widgets[] = {dialog.SelectFileButton(), dialog.SearchButton(), dialog.SelectFolderButton(),
                                    dialog.LookIn(), dialog.FileType(), dialog.SubfoldersBox()};
        QStringList states;
        for (const QWidget* widget : widgets)
            states << (widget->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"));
        return states.join(QLatin1Char(' '));
    }
    // "Scan File" or "Stop", enabled or not.
    QString ScanState() const
    {
        return dialog.ScanButton()->text() + (dialog.ScanButton()->isEnabled() ? QStringLiteral(" on") : QStringLiteral(" off"));
    }
};

QStringList ShownTexts()
{
    QStringList texts;
    for (const Dialogs::Shown& shown : Dialogs::TakeShown())
        texts << shown.text;
    return texts;
}

}  // namespace

class CDialogFileTest : public QObject {
    Q_OBJECT
private slots:
    void init() { Dialogs::SetScripted(true); }
    void cleanup() { Dialogs::SetScripted(false); }

    void OpensReadyToChoose()
    {
        Fixture f;
        QVERIFY(f.dialog.LookIn()->count() >= 1);
        QCOMPARE(f.dialog.LookIn()->currentIndex(), 0);
        QCOMPARE(f.dialog.LookIn()->currentText(), QStringLiteral("Home Folder(%1)").arg(QDir::homePath()));
        for (int i = 1; i < f.dialog.LookIn()->count(); ++i)
            QVERIFY2(f.dialog.LookIn()->itemText(i).startsWith(QLatin1String("File System(/")),
                     qPrintable(f.dialog.LookIn()->itemText(i)));
        QVERIFY(f.dialog.SubfoldersBox()->isChecked());
        QCOMPARE(f.dialog.FileType()->text(), QStringLiteral("InterBase File(*.IB;*.GDB)"));
        QVERIFY(f.dialog.FileType()->isReadOnly());
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));
        QVERIFY(!f.dialog.ClearButton()->isVisible());
        QVERIFY(!f.dialog.Progress()->isVisible());
        QCOMPARE(f.SearchControls(), QStringLiteral("on on on on on on"));
        QStringList headers;
        for (int c = 0; c < f.dialog.ResultList()->columnCount(); ++c)
            headers << f.dialog.ResultList()->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, (QStringList{"InterBase File Path", "Size(KB)", "Modified", "Created", "Accessed"}));
        QCOMPARE(f.dialog.CloseButton()->toolTip(), QStringLiteral("Close"));
    }

    void SelectFileThenScan()
    {
        Fixture f;
        // Cancelled: nothing chosen.
        Dialogs::PushFile(QString());
        f.dialog.SelectFile();
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));
        QVERIFY(f.dialog.SelectedPath()->text().isEmpty());

        Dialogs::PushFile(QStringLiteral("/data/copies/EMPLOYEE.GDB"));
        f.dialog.SelectFile();
        QCOMPARE(f.dialog.SelectedPath()->text(), QStringLiteral("/data/copies/EMPLOYEE.GDB"));
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File on"));
        QVERIFY(!f.dialog.Progress()->isVisible());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].kind, Dialogs::Kind::OpenFile);

        QTest::mouseClick(f.dialog.ScanButton(), Qt::LeftButton);
        QCOMPARE(f.jobs.starts.size(), std::size_t{1});
        QCOMPARE(f.jobs.starts[0].kind, std::string("scan"));
        QCOMPARE(f.jobs.starts[0].detail, std::string("/data/copies/EMPLOYEE.GDB|EMPLOYEE.GDB"));
        QVERIFY(!f.dialog.isVisible());
        QCOMPARE(f.dialog.result(), job::kAnswerOk);
    }

    void ScanWhileAJobRunsOnlyCloses()
    {
        Fixture f;
        Dialogs::PushFile(QStringLiteral("/data/EMPLOYEE.GDB"));
        f.dialog.SelectFile();
        f.jobs.state.busy = true;
        f.dialog.ScanFile();
        QVERIFY(f.jobs.starts.empty());
        QVERIFY(!f.dialog.isVisible());
    }

    void FolderSearchListsTheFiles_data()
    {
        QTest::addColumn<QString>("folder");  // relative to the tree; "/" appended where asked
        QTest::addColumn<bool>("subfolders");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("sizes");
        QTest::newRow("with subfolders") << "" << true << QStringList{"a.gdb", "B.IB", "sub/c.gdb"}
                                         << QStringList{"0", "4", "2"};
        QTest::newRow("folder only") << "" << false << QStringList{"a.gdb", "B.IB"} << QStringList{"0", "4"};
        QTest::newRow("path ending in a slash") << "/" << true << QStringList{"a.gdb", "B.IB", "sub/c.gdb"}
                                                << QStringList{"0", "4", "2"};
        QTest::newRow("a subfolder") << "/sub/" << false << QStringList{"sub/c.gdb"} << QStringList{"2"};
    }

    void FolderSearchListsTheFiles()
    {
        QFETCH(QString, folder);
        QFETCH(bool, subfolders);
        QFETCH(QStringList, paths);
        QFETCH(QStringList, sizes);
        Tree tree;
        Fixture f;
        f.dialog.SubfoldersBox()->setChecked(subfolders);
        Dialogs::PushFile(tree.root + folder);
        QTest::mouseClick(f.dialog.SelectFolderButton(), Qt::LeftButton);
        // While it runs: "Stop" and the search controls off.
        QCOMPARE(f.ScanState(), QStringLiteral("Stop on"));
        QCOMPARE(f.SearchControls(), QStringLiteral("off off off off off off"));
        QVERIFY(f.WaitForSearch());
        QStringList expected;
        for (const QString& path : paths)
            expected << tree.Path(path);
        QCOMPARE(f.Column(0), expected);
        QCOMPARE(f.Column(1), sizes);
        // Times are shown for every file (the files are new).
        for (int column = 2; column <= 4; column += 2)
            for (const QString& text : f.Column(column))
                QVERIFY(!text.isEmpty());
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));
        QCOMPARE(f.SearchControls(), QStringLiteral("on on on on on on"));
        QVERIFY(f.dialog.ClearButton()->isVisible());
        QVERIFY(f.dialog.ClearButton()->isEnabled());
        QVERIFY(!f.dialog.Progress()->isVisible());
        QVERIFY(f.dialog.Search().results.empty());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, Dialogs::Kind::Folder);
        QCOMPARE(shown[0].text, QStringLiteral("Select a Folder"));

        // A click on the last row chooses it; Scan File scans it under its
        // full path.
        const int last = f.dialog.ResultList()->rowCount() - 1;
        const QRect cell = f.dialog.ResultList()->visualItemRect(f.dialog.ResultList()->item(last, 1));
        QTest::mouseClick(f.dialog.ResultList()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f.dialog.SelectedPath()->text(), expected.last());
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File on"));
        f.dialog.ScanFile();
        QCOMPARE(f.jobs.starts.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(f.jobs.starts[0].detail), expected.last() + QLatin1Char('|') + expected.last());
    }

    void LookInEntryGivesTheStartPath()
    {
        Tree tree;
        Fixture f;
        f.dialog.LookIn()->addItem(QStringLiteral("File System(%1)").arg(tree.root));
        f.dialog.LookIn()->setCurrentIndex(f.dialog.LookIn()->count() - 1);
        f.dialog.SubfoldersBox()->setChecked(false);
        QTest::mouseClick(f.dialog.SearchButton(), Qt::LeftButton);
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.Column(0), (QStringList{tree.Path("a.gdb"), tree.Path("B.IB")}));
        QVERIFY(Dialogs::TakeShown().isEmpty());
    }

    void ClearListAndNothingFound()
    {
        QTemporaryDir empty;
        Fixture f;
        Dialogs::PushFile(empty.path());
        f.dialog.SelectFolder();
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.dialog.ResultList()->rowCount(), 0);
        QVERIFY(!f.dialog.ClearButton()->isVisible());
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));

        Tree tree;
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.dialog.ResultList()->rowCount(), 3);
        f.dialog.PickResult(0);
        QTest::mouseClick(f.dialog.ClearButton(), Qt::LeftButton);
        QCOMPARE(f.dialog.ResultList()->rowCount(), 0);
        QVERIFY(!f.dialog.ClearButton()->isVisible());
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));
        QVERIFY(f.dialog.SelectFolderButton()->isEnabled());
    }

    void StopLeavesTheListEmpty()
    {
        Tree tree;
        Fixture f;
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        // The worker waits for its first message to be handled: the stop
        // comes before it has looked at any folder.
        Dialogs::PushAnswer(job::kAnswerOk);  // Yes, stop
        Dialogs::PushAnswer(job::kAnswerOk);  // OK to the abort box
        QTest::mouseClick(f.dialog.ScanButton(), Qt::LeftButton);
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));
        QVERIFY(f.dialog.SubfoldersBox()->isEnabled());
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.dialog.ResultList()->rowCount(), 0);
        QCOMPARE(ShownTexts(), (QStringList{"Select a Folder", "Do you want to stop current process?",
                                            "Process aborted by user."}));
        QCOMPARE(f.ScanState(), QStringLiteral("Scan File off"));
        QCOMPARE(f.SearchControls(), QStringLiteral("on on on on on on"));
        QVERIFY(!f.dialog.ClearButton()->isEnabled());
        QVERIFY(!f.dialog.Search().searchStop);
        QVERIFY(f.jobs.state.currentLogLine.empty());

        // The next search runs normally.
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.dialog.ResultList()->rowCount(), 3);
    }

    void NoStopAnsweredLetsTheSearchFinish()
    {
        Tree tree;
        Fixture f;
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        Dialogs::PushAnswer(job::kAnswerNo);
        f.dialog.ScanFile();
        QCOMPARE(f.ScanState(), QStringLiteral("Stop on"));
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.dialog.ResultList()->rowCount(), 3);
    }

    void LateStopAnswerIsIgnored()
    {
        Tree tree;
        Fixture f;
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        // The search ends while the question is open; the Yes comes after.
        Dialogs::PushAnswer(job::kAnswerOk);
        Dialogs::SetShowHook([&](const Dialogs::Shown& shown) {
            if (shown.kind == Dialogs::Kind::Stop)
                QVERIFY(f.WaitForSearch());
        });
        f.dialog.ScanFile();
        QCOMPARE(f.dialog.ResultList()->rowCount(), 3);
        QVERIFY(!f.dialog.Search().searchStop);
        QCOMPARE(ShownTexts(), (QStringList{"Select a Folder", "Do you want to stop current process?"}));
        // The next search is not stopped by that Yes.
        Dialogs::SetShowHook({});
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        QVERIFY(f.WaitForSearch());
        QCOMPARE(f.dialog.ResultList()->rowCount(), 3);
        QCOMPARE(ShownTexts(), QStringList{"Select a Folder"});
    }

    void CloseIsRefusedWhileSearching()
    {
        Tree tree;
        Fixture f;
        Dialogs::PushFile(tree.root);
        f.dialog.SelectFolder();
        Dialogs::TakeShown();
        Dialogs::PushAnswer(job::kAnswerOk);
        QTest::mouseClick(f.dialog.CloseButton(), Qt::LeftButton);
        QVERIFY(f.dialog.isVisible());
        // Escape asks the same.
        Dialogs::PushAnswer(job::kAnswerOk);
        QTest::keyClick(&f.dialog, Qt::Key_Escape);
        QVERIFY(f.dialog.isVisible());
        const QList<Dialogs::Shown> shown = Dialogs::TakeShown();
        QCOMPARE(shown.size(), 2);
        for (const Dialogs::Shown& s : shown) {
            QCOMPARE(s.kind, Dialogs::Kind::Message);
            QCOMPARE(s.text, QStringLiteral("Please first stop the current running process"));
        }
        QVERIFY(f.WaitForSearch());
        QTest::mouseClick(f.dialog.CloseButton(), Qt::LeftButton);
        QVERIFY(!f.dialog.isVisible());
        QCOMPARE(f.dialog.result(), job::kAnswerNo);
        QVERIFY(f.jobs.starts.empty());
    }

    void DestroyedDuringASearchStopsIt()
    {
        Tree tree;
        FakeJobControl jobs;
        auto* dialog = new CDialogFile(nullptr, jobs);
        Dialogs::PushFile(tree.root);
        dialog->SelectFolder();
        delete dialog;
        // No abort box for a dialog that is gone.
        QCOMPARE(ShownTexts(), QStringList{"Select a Folder"});
    }

    void SearchProgressMessages()
    {
        Fixture f;
        QProgressBar* bar = f.dialog.Progress();
        f.dialog.HandleMessage(job::UM_SEARCH_PROGRESS, 500, 1);
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->minimum(), 1);
        QCOMPARE(bar->maximum(), 500);
        QCOMPARE(bar->value(), 3);
        f.dialog.HandleMessage(job::UM_SEARCH_PROGRESS, 0, 2);
        QCOMPARE(bar->value(), 5);
        for (int i = 0; i < 250; ++i)
            f.dialog.HandleMessage(job::UM_SEARCH_PROGRESS, 0, 2);
        QVERIFY(bar->value() >= 1 && bar->value() <= 500);
        f.dialog.HandleMessage(job::UM_SEARCH_PROGRESS, 0, 3);
        QVERIFY(!bar->isVisible());
        QCOMPARE(bar->value(), 10);
    }

    void OpenFileShowsTheDialogOverTheFrame()
    {
        Dialogs::SetScripted(false);
        FakeJobControl jobs;
        ProductSettings settings{QStringList{}};
        CMainFrame frame(jobs, settings);
        frame.resize(1000, 700);
        frame.show();
        QString shown;
        QTimer::singleShot(0, &frame, [&] {
            auto* dialog = qobject_cast<CDialogFile*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = dialog->objectName();
            QVERIFY(dialog->isModal());
            dialog->CloseDialog();
        });
        frame.RunCommand(ID_OPEN_FILE);
        QCOMPARE(shown, QStringLiteral("CDialogFile"));
        QVERIFY(jobs.starts.empty());
    }

    void ColumnWidthsFollowTheListWidth()
    {
        Fixture f;
        f.dialog.resize(900, 600);
        QCoreApplication::processEvents();
        f.dialog.FitColumns();
        const int w = f.dialog.ResultList()->viewport()->width();
        QCOMPARE(f.dialog.ResultList()->columnWidth(0), (w + 5) / 5 + 96);
        for (int c = 1; c < 5; ++c)
            QCOMPARE(f.dialog.ResultList()->columnWidth(c), (w + 5) / 5 - 22);
    }
};

QTEST_MAIN(CDialogFileTest)
#include "cdialogfile_test.moc"
