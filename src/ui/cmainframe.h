#pragma once

// The application's only top-level window: the command bar, the object tree
// on the left, the record and schema view on the right, the log pane at the
// bottom and the two-pane status bar. It owns the commands that drive the
// recovery jobs and the handlers of the worker messages; every handler runs
// on the user-interface thread and never waits for the worker.

#include <cstdint>
#include <functional>

#include <QMainWindow>
#include <QPointer>
#include <QUrl>

#include "job/frame.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/frameadapter.h"

class QLabel;
class QProgressBar;
class QSplitter;
class QTableWidget;
class QTimer;
class QTreeWidgetItem;

namespace ravelin::ui {

class CFindTreeItem;
class CLeftView;
class CLogWindow;
class CRavelinView;
class CRibbonBar;
class JobControl;
class ProductSettings;

class CMainFrame final : public QMainWindow, public MessageReceiver, public job::WorkerDialogs {
    Q_OBJECT
public:
    CMainFrame(JobControl& jobs, const ProductSettings& settings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The worker messages (MessageReceiver).
    std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

    // The worker's dialogs, shown on this thread (WorkerDialogs).
    int ShowMessageDialog(const std::string& text, job::MessageButtons buttons) override;
    int ShowMessageOk(const std::string& text) override;
    int ShowWarning(const std::string& text) override;
    int ShowConnectionDialog(job::ConnectionAnswer& answer) override;

    // Runs a command as the ribbon does (nothing when it is disabled).
    void RunCommand(CommandId id);
    // Re-evaluates the enabling rules of every command.
    void UpdateCommands();
    bool CommandIsEnabled(CommandId id);

    // The close confirmation; yields whether the window may close. On Yes the
    // schema model and the per-scan state are released first.
    bool ConfirmClose();

    // How a web address or help file is opened (the desktop's default
    // handler); tests replace it.
    std::function<bool(const QUrl&)> urlOpener;
    // How a new blank target database is created for the connection dialog.
    BlankDatabaseCreator blankDatabaseCreator;
    // The Update command (the online update wizard); without it the command
    // says that no update is available.
    std::function<void()> onlineUpdate;

    CRibbonBar* Ribbon() const { return ribbon; }
    CLeftView* Tree() const { return tree; }
    CRavelinView* RightView() const { return rightView; }
    CLogWindow* LogWindow() const { return logWindow; }
    CFindTreeItem* FindPanel() const { return findPanel; }
    QProgressBar* ProgressBar() const { return progressBar; }
    QLabel* StatusText() const { return statusText; }
    QWidget* SkipDialog() const { return skipDialog; }
    bool LogPaneVisible() const { return logPaneVisible; }
    bool StatusBarVisible() const { return statusBarVisible; }

    // The grid counters of the cell handler.
    int gridColumn = 0;
    int gridRow = 0;
    int gridItem = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Commands.
    void OpenFile();
    void StartRepair();
    void StopCommand();
    void ToggleLogWindow();
    void ToggleStatusBar();
    void SaveLog();
    void ClearLog();
    void OpenSettingAddress(const char* name);
    void OpenHelp();
    void ShowAbout();

    // The tree, the find panel and the paging buttons.
    void TreeNameClicked(QTreeWidgetItem* item);
    void FindPressed(bool matchCase);
    void NextRecords();
    void PreviousRecords();

    // Appends a line to the log on this thread, as the workers do.
    void LogLine(const std::string& text);

    // Runs the handler of a message sent by this window itself.
    std::intptr_t Dispatch(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    // Reads the job flags the enabling rules use (only while no job runs
    // or inside a handler).
    void ReadJobFlags();

    // Handlers.
    void ClearTree();
    void ResetView();
    void Progress(std::uintptr_t phase, std::intptr_t upperBound);
    void SkipDialogMessage(std::uintptr_t wParam, std::intptr_t lParam);
    void FillTree();
    void GridColumns();
    void GridCell();
    // Marks row of the record grid as a damaged record's.
    void MarkDamagedRow(QTableWidget* grid, int row);
    void PagingState(std::uintptr_t wParam, std::intptr_t lParam);
    void FillList(QWidget* list, const std::vector<std::vector<std::string>>& rows);
    void MarkRepaired(std::uintptr_t wParam, std::intptr_t lParam);
    void RepairState(std::uintptr_t wParam, std::intptr_t lParam);
    void FindItem();
    void ShowBackground();

    JobControl& jobs;
    const ProductSettings& settings;
    CRibbonBar* ribbon = nullptr;
    CFindTreeItem* findPanel = nullptr;
    QLabel* logoPanel = nullptr;
    QSplitter* splitter = nullptr;
    CLeftView* tree = nullptr;
    CRavelinView* rightView = nullptr;
    CLogWindow* logWindow = nullptr;
    QWidget* statusPane = nullptr;
    QLabel* statusText = nullptr;
    QLabel* statusSecond = nullptr;
    QWidget* progressGap = nullptr;
    QProgressBar* progressBar = nullptr;
    QPointer<QWidget> skipDialog;
    QTimer* commandTimer = nullptr;
    bool logPaneVisible = true;
    bool statusBarVisible = true;
    bool closeConfirmed = false;
    // The job flags as last read, and whether the job this window started
    // last is a preview.
    CommandFacts facts;
    bool runningPreview = false;
    // The search text as typed and its lower-case copy.
    QString findText;
    QString findTextLower;
};

}  // namespace ravelin::ui
