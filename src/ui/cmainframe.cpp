#include "ui/cmainframe.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>

#include "catalogue/schemamodel.h"
#include "job/jobstate.h"
#include "job/recoveryengine.h"
#include "ods/textcodec.h"
#include "ui/cdialogfile.h"
#include "ui/cfindtreeitem.h"
#include "ui/cleftview.h"
#include "ui/clogwindow.h"
#include "ui/cravelinview.h"
#include "ui/cribbonbar.h"
#include "ui/jobcontrol.h"
#include "ui/productsettings.h"
#include "ui/propertyrows.h"
#include "ui/uitext.h"

namespace ravelin::ui {

namespace {

constexpr int kStatusPaneWidth = 600;
constexpr int kProgressStepSize = 2;
constexpr int kRowsPerPage = 100;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The tree level of an item: 0 root, 1 database, 2 category, 3 object.
int Depth(const QTreeWidgetItem* item)
{
    int depth = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ++depth;
    return depth;
}

// Advances a progress bar by one step; past the end it starts over from the
// beginning, as a stepping bar does.
void StepProgress(QProgressBar* bar)
{
    const int minimum = bar->minimum();
    const int maximum = bar->maximum();
    int position = std::max(bar->value(), minimum) + kProgressStepSize;
    if (position > maximum) {
        const int span = std::max(1, maximum - minimum);
        position = minimum + (position - minimum) % span;
    }
    bar->setValue(position);
}

}  // namespace

CMainFrame::CMainFrame(JobControl& jobs, const ProductSettings& settings, QWidget* parent)
    : QMainWindow(parent), jobs(jobs), settings(settings)
{
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowTitle(QString::fromLatin1(text::kAppTitle));
    urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    // Command bar with the find panel and the logo on its right.
    ribbon = new CRibbonBar(this);
    setMenuWidget(ribbon);
    findPanel = new CFindTreeItem(ribbon);
    ribbon->AddTrailingWidget(findPanel);
    logoPanel = new QLabel(ribbon);
    logoPanel->setObjectName(QStringLiteral("CKorvaneDlg"));
    logoPanel->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    logoPanel->setToolTip(QString::fromLatin1(text::kAppTitle));
    ribbon->AddTrailingWidget(logoPanel);
    connect(ribbon, &CRibbonBar::CommandTriggered, this, &CMainFrame::RunCommand);

    // Status bar: a fixed first pane (text and progress bar), a stretching second.
    statusPane = new QWidget(this);
    statusPane->setFixedWidth(kStatusPaneWidth);
    auto* paneLayout = new QHBoxLayout(statusPane);
    paneLayout->setContentsMargins(2, 0, 2, 0);
    paneLayout->setSpacing(0);
    statusText = new QLabel(statusPane);
    statusText->setObjectName(QStringLiteral("statusText"));
    paneLayout->addWidget(statusText);
    progressGap = new QWidget(statusPane);
    progressGap->hide();
    paneLayout->addWidget(progressGap);
    paneLayout->addStretch(1);
    statusSecond = new QLabel(this);
    statusBar()->addWidget(statusPane);
    statusBar()->addWidget(statusSecond, 1);

    // Client area: tree | right view.
    splitter = new QSplitter(Qt::Horizontal, this);
    tree = new CLeftView(splitter);
    rightView = new CRavelinView(splitter);
    splitter->addWidget(tree);
    splitter->addWidget(rightView);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 600});
    setCentralWidget(splitter);
    connect(tree, &CLeftView::NameClicked, this, &CMainFrame::TreeNameClicked);
    connect(rightView, &CRavelinView::NextClicked, this, &CMainFrame::NextRecords);
    connect(rightView, &CRavelinView::PreviousClicked, this, &CMainFrame::PreviousRecords);
    connect(findPanel, &CFindTreeItem::FindRequested, this,
            [this](const QString&, bool matchCase) { FindPressed(matchCase); });

    // Log pane at the bottom, with its header line.
    jobs.State().currentLogLine = text::kLogWindowTitle;
    logWindow = new CLogWindow(this);
    addDockWidget(Qt::BottomDockWidgetArea, logWindow);
    resizeDocks({logWindow}, {160}, Qt::Vertical);
    connect(logWindow, &CLogWindow::ClosedByUser, this, [this] {
        logPaneVisible = false;
        UpdateCommands();
    });
    jobs.State().currentLogLine.clear();
    LogLine(text::kLogHeader);

    // The enabling rules follow the job state; they are evaluated whenever
    // the event loop has a moment, as well as after every command.
    commandTimer = new QTimer(this);
    commandTimer->setInterval(100);
    connect(commandTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommands);
    commandTimer->start();
    UpdateCommands();

    qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame()
{
    qApp->removeEventFilter(this);
    delete skipDialog;
}

// ---------------------------------------------------------------------------
// Commands

void CMainFrame::ReadJobFlags()
{
    const job::JobState& state = jobs.State();
    const job::RecoveryEngine& engine = jobs.Engine();
    facts.databaseLoaded = state.databaseLoaded;
    facts.saveLogEnabled = engine.saveLogEnabled;
    facts.clearLogEnabled = engine.clearLogEnabled;
}

bool CMainFrame::CommandIsEnabled(CommandId id)
{
    // The worker owns the job flags while it runs; they are read only while
    // no job runs or inside a message handler (the worker then waits), and
    // the last values read stand in between.
    facts.busy = jobs.State().busy.load();
    if (!facts.busy)
        ReadJobFlags();
    // Whether the running job is a preview, as this window started it.
    facts.previewRequested = facts.busy && runningPreview;
    return CommandEnabled(id, facts);
}

void CMainFrame::UpdateCommands()
{
    for (const CommandInfo& info : kRibbonCommands) {
        QAction* action = ribbon->Action(info.id);
        action->setEnabled(CommandIsEnabled(info.id));
        if (info.id == ID_LOG_WINDOW)
            action->setChecked(logPaneVisible);
        else if (info.id == ID_STATUS_BAR)
            action->setChecked(statusBarVisible);
    }
}

void CMainFrame::RunCommand(CommandId id)
{
    UpdateCommands();
    if (!CommandIsEnabled(id))
        return;
    switch (id) {
    case ID_OPEN_FILE:
        OpenFile();
        break;
    case ID_START_REPAIR:
        StartRepair();
        break;
    case ID_STOP:
        StopCommand();
        break;
    case ID_EXIT:
        if (!jobs.State().busy)
            jobs.Engine().repairSucceeded = false;
        close();
        break;
    case ID_LOG_WINDOW:
        ToggleLogWindow();
        break;
    case ID_STATUS_BAR:
        ToggleStatusBar();
        break;
    case ID_SAVE_LOG:
        SaveLog();
        break;
    case ID_CLEAR_LOG:
        ClearLog();
        break;
    case ID_UPDATE:
        if (onlineUpdate)
            onlineUpdate();
        else
            Dialogs::MessageOk(this, QStringLiteral("Online update is not available in this version."));
        break;
    case ID_KNOWLEDGE_BASE:
        OpenSettingAddress("KB");
        break;
    case ID_SUBMIT_ENQUIRY:
        OpenSettingAddress("SupTick");
        break;
    case ID_HELP:
        OpenHelp();
        break;
    case ID_ABOUT:
        ShowAbout();
        break;
    }
    UpdateCommands();
}

void CMainFrame::OpenFile()
{
    // The file selection dialog starts the scan itself (Scan File).
    CDialogFile::Run(this, jobs);
    runningPreview = false;
    UpdateCommands();
}

void CMainFrame::StartRepair()
{
    job::JobState& state = jobs.State();
    rightView->PreviousButton()->setEnabled(false);
    rightView->NextButton()->setEnabled(false);
    std::vector<std::string> names;
    if (!tree->CheckedNames(names)) {
        state.currentLogLine = text::kSelectTable;
        Dialogs::MessageOk(this, Q(state.currentLogLine));
        return;
    }
    ShowBackground();
    UpdateCommands();
    if (!state.busy && !names.empty() && jobs.StartRepair(std::move(names)))
        runningPreview = false;
}

void CMainFrame::StopCommand()
{
    // The question goes straight to the dialog: the running worker owns
    // currentLogLine.
    const job::JobState& state = jobs.State();
    if (Dialogs::Stop(this, QString::fromLatin1(text::kStopQuestion)) != job::kAnswerOk)
        return;
    // A Yes given after the job has ended meanwhile would stop the next job
    // at its first poll; it is ignored.
    if (!state.busy)
        return;
    jobs.RequestStop();
}

bool CMainFrame::ConfirmClose()
{
    job::JobState& state = jobs.State();
    if (state.busy) {
        // The message flags belong to the running job; the own text is shown.
        Dialogs::Message(this, QString::fromLatin1(text::kStopFirst), job::MessageButtons::Ok);
        return false;
    }
    const MessageChoice choice = jobs.ChooseMessage(std::string(), true);
    if (Dialogs::Message(this, Q(choice.text), choice.buttons) != job::kAnswerOk)
        return false;
    jobs.ReleaseScan();
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!closeConfirmed && !ConfirmClose()) {
        event->ignore();
        return;
    }
    closeConfirmed = true;
    event->accept();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if ((key->modifiers() & Qt::ControlModifier) && widget && widget->window() == this) {
            switch (key->key()) {
            case Qt::Key_E:
                close();
                return true;
            case Qt::Key_S:
                RunCommand(ID_STOP);
                return true;
            case Qt::Key_O:
            case Qt::Key_P:
                return true;
            default:
                break;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::ToggleLogWindow()
{
    logPaneVisible = !logPaneVisible;
    logWindow->setVisible(logPaneVisible);
}

void CMainFrame::ToggleStatusBar()
{
    statusBarVisible = !statusBarVisible;
    statusBar()->setVisible(statusBarVisible);
}

void CMainFrame::SaveLog()
{
    QString chosen = Dialogs::SaveLogFile(this, QString::fromLatin1(text::kLogReportName));
    while (!chosen.isEmpty()) {
        const QString path = LogReportPath(chosen);
        if (QFileInfo::exists(path)) {
            if (!jobs.State().busy)
                jobs.State().currentLogLine = text::kFileExists;
            if (Dialogs::FileExist(this) != job::kAnswerOk) {
                chosen = Dialogs::SaveLogFile(this, QFileInfo(chosen).fileName());
                continue;
            }
        }
        QString reason;
        if (!SaveLogReport(path, logWindow->List()->Lines(), reason))
            Dialogs::MessageOk(this, QStringLiteral("The log report was not saved: %1").arg(reason));
        return;
    }
}

void CMainFrame::ClearLog()
{
    job::JobState& state = jobs.State();
    logWindow->List()->clear();
    LogLine(text::kLogHeader);
    LogLine(std::string());
    jobs.Engine().saveLogEnabled = false;
    jobs.Engine().clearLogEnabled = false;
    (void)state;
}

void CMainFrame::OpenSettingAddress(const char* name)
{
    // A missing value leaves the address empty; opening it then fails quietly.
    urlOpener(QUrl(settings.Value(QString::fromLatin1(name))));
}

void CMainFrame::OpenHelp()
{
    urlOpener(QUrl::fromLocalFile(settings.HelpFile()));
}

void CMainFrame::ShowAbout()
{
    CAbout about(this, settings);
    about.exec();
}

void CMainFrame::LogLine(const std::string& text)
{
    // While a job runs its worker owns currentLogLine: the line is appended
    // without passing through it.
    if (jobs.State().busy) {
        logWindow->List()->AppendLine(Q(ods::ShownText(text)));
        return;
    }
    jobs.State().currentLogLine = text;
    Dispatch(job::UM_LOG_LINE, 0, 0);
}

// ---------------------------------------------------------------------------
// The worker's dialogs

int CMainFrame::ShowMessageDialog(const std::string& text, job::MessageButtons buttons)
{
    return Dialogs::Message(this, Q(text), buttons);
}

int CMainFrame::ShowMessageOk(const std::string& text)
{
    return Dialogs::MessageOk(this, Q(text));
}

int CMainFrame::ShowWarning(const std::string& text)
{
    return Dialogs::Warning(this, Q(text));
}

int CMainFrame::ShowConnectionDialog(job::ConnectionAnswer& answer)
{
    return Dialogs::Connection(this, answer, [this] { OpenHelp(); }, blankDatabaseCreator);
}

// ---------------------------------------------------------------------------
// The tree, the find panel and the paging buttons

void CMainFrame::ShowBackground()
{
    rightView->ResetToBackground();
    jobs.State().rightViewFilled = false;
    // Nothing is shown now: a click on the object shown before shows it again.
    tree->shownObjectName.clear();
}

void CMainFrame::TreeNameClicked(QTreeWidgetItem* item)
{
    job::JobState& state = jobs.State();
    rightView->HidePagingButtons();
    if (state.busy) {
        // Nothing changes; the view shows its buttons again as it repaints.
        rightView->UpdatePagingButtons();
        return;
    }
    tree->setCurrentItem(item);
    tree->setFocus();
    const QString text = item->text(0);
    if (text.compare(tree->shownObjectName, Qt::CaseInsensitive) == 0)
        return;

    const int depth = Depth(item);
    if (depth == 3) {
        const QString category = item->parent()->text(0);
        const bool isTable = category == QLatin1String(text::kTables);
        const bool isView = category == QLatin1String(text::kViews);
        const bool isIndex = category == QLatin1String(text::kIndices);
        if (isTable || isView || isIndex) {
            state.tableSelected = isTable;
            state.viewSelected = isView;
            state.indexSelected = isIndex;
            Dispatch(job::UM_RESET_VIEW, 0, 0);
        }
    }
    state.selectedObjectName = text.toStdString();

    if (depth != 3) {
        // The root, the database node or a category: the background picture.
        ShowBackground();
        return;
    }
    if (!state.tableSelected && !state.viewSelected && !state.indexSelected)
        return;
    tree->shownObjectName = text;
    const PreviewKind kind = state.tableSelected  ? PreviewKind::Table
                             : state.viewSelected ? PreviewKind::View
                                                  : PreviewKind::Index;
    rightView->Build(kind == PreviewKind::Table  ? CRavelinView::Kind::Table
                     : kind == PreviewKind::View ? CRavelinView::Kind::View
                                                 : CRavelinView::Kind::Index);
    state.rightViewFilled = true;
    UpdateCommands();
    if (jobs.StartPreview(kind, state.selectedObjectName))
        runningPreview = true;
    UpdateCommands();
}

void CMainFrame::FindPressed(bool matchCase)
{
    jobs.State().matchCase = matchCase;
    Dispatch(job::UM_FIND_ITEM, 0, 0);
}

void CMainFrame::NextRecords()
{
    if (jobs.State().busy)
        return;
    // The page number and the forward count move with the start.
    UpdateCommands();
    if (jobs.StartPage(true)) {
        runningPreview = true;
        rightView->PreviousButton()->setEnabled(true);
    }
    UpdateCommands();
}

void CMainFrame::PreviousRecords()
{
    if (jobs.State().busy)
        return;
    // Read before the start: the worker owns the engine from then on.
    const std::uint64_t page = jobs.Paging().previewPage;
    if (page == 0)
        return;
    const bool backToFirst = page == 1;
    UpdateCommands();
    if (!jobs.StartPage(false))
        return;
    runningPreview = true;
    if (!backToFirst) {
        rightView->PreviousButton()->setEnabled(true);
        rightView->NextButton()->setEnabled(true);
    } else {
        rightView->PreviousButton()->setEnabled(false);
    }
    UpdateCommands();
}

// ---------------------------------------------------------------------------
// Worker messages

std::intptr_t CMainFrame::HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    // The sending worker waits: the job flags can be read safely now.
    ReadJobFlags();
    return Dispatch(message, wParam, lParam);
}

std::intptr_t CMainFrame::Dispatch(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case job::UM_CLEAR_TREE:
        ClearTree();
        return 1;
    case job::UM_RESET_VIEW:
        ResetView();
        return 1;
    case job::UM_PROGRESS:
        Progress(wParam, lParam);
        return 0;
    case job::UM_LOG_LINE:
        // Texts from the file are shown escaped, so that the log keeps one
        // line per line and the report its line structure.
        logWindow->List()->AppendLine(Q(ods::ShownText(jobs.State().currentLogLine)));
        return 0;
    case job::UM_SKIP_DIALOG:
        SkipDialogMessage(wParam, lParam);
        return 0;
    case job::UM_FILL_TREE:
        FillTree();
        return 0;
    case job::UM_GRID_COLUMNS:
        GridColumns();
        return 0;
    case job::UM_GRID_CELL:
        GridCell();
        return 0;
    case job::UM_PAGING_OFF:
        rightView->NextButton()->setEnabled(false);
        rightView->PreviousButton()->setEnabled(false);
        return 0;
    case job::UM_PAGING_STATE:
        PagingState(wParam, lParam);
        return 0;
    case job::UM_TABLE_PROPERTIES:
        FillList(rightView->Properties(), TablePropertyRows(jobs.Engine().model, jobs.State().selectedObjectName));
        return 0;
    case job::UM_TABLE_KEYS:
        FillList(rightView->Keys(), TableKeyRows(jobs.Engine().model, jobs.State().selectedObjectName));
        return 0;
    case job::UM_VIEW_PROPERTIES:
        FillList(rightView->Properties(), ViewPropertyRows(jobs.Engine().model, jobs.State().selectedObjectName));
        return 0;
    case job::UM_INDEX_PROPERTIES:
        FillList(rightView->Properties(), IndexPropertyRows(jobs.Engine().model, jobs.State().selectedObjectName));
        return 0;
    case job::UM_TAB_SELECTED:
        rightView->TabSelected(static_cast<int>(lParam));
        return 1;
    case job::UM_MARK_REPAIRED:
        MarkRepaired(wParam, lParam);
        return 0;
    case job::UM_REPAIR_STATE:
        RepairState(wParam, lParam);
        return 0;
    case job::UM_FIND_ITEM:
        FindItem();
        return 0;
    default:
        return 0;
    }
}

void CMainFrame::ClearTree()
{
    QTableWidget* grid = rightView->Grid();
    if (jobs.State().rightViewFilled && grid && grid->rowCount() > 0) {
        grid->setRowCount(0);
        grid->setColumnCount(0);
    }
    tree->ClearUnderRoot();
}

void CMainFrame::ResetView()
{
    gridColumn = 0;
    gridRow = 0;
    gridItem = 0;
    rightView->NextButton()->setEnabled(false);
    rightView->PreviousButton()->setEnabled(false);
    ShowBackground();
}

void CMainFrame::Progress(std::uintptr_t phase, std::intptr_t upperBound)
{
    const job::JobState& state = jobs.State();
    switch (phase) {
    case job::kProgressStart: {
        delete progressBar;
        const char* label = state.scanning ? text::kScanning : state.repairing ? text::kRepairing : text::kProcessing;
        statusText->setText(QString::fromLatin1(label));
        // Four blank widths after the label; the bar fills 95 percent of
        // the rest of the pane, a tenth of its height less at top and bottom.
        const QFontMetrics metrics = statusText->fontMetrics();
        const int gap = 4 * metrics.horizontalAdvance(QLatin1Char(' '));
        const int rest = std::max(0, kStatusPaneWidth - metrics.horizontalAdvance(statusText->text()) - gap);
        progressGap->setFixedWidth(gap);
        progressGap->show();
        progressBar = new QProgressBar(statusPane);
        progressBar->setObjectName(QStringLiteral("progressBar"));
        progressBar->setTextVisible(false);
        progressBar->setFixedWidth(rest * 95 / 100);
        progressBar->setFixedHeight(std::max(8, statusPane->height() * 8 / 10));
        qobject_cast<QHBoxLayout*>(statusPane->layout())->insertWidget(2, progressBar);
        const std::intptr_t upper = std::clamp<std::intptr_t>(upperBound, 1, INT32_MAX);
        progressBar->setRange(1, static_cast<int>(upper));
        progressBar->setValue(1);
        StepProgress(progressBar);
        progressBar->show();
        break;
    }
    case job::kProgressStep:
        if (progressBar)
            StepProgress(progressBar);
        break;
    case job::kProgressEnd:
        if (progressBar) {
            progressBar->setValue(10);
            progressBar->hide();
            delete progressBar;
            progressBar = nullptr;
        }
        progressGap->hide();
        statusText->setText(QString::fromLatin1(text::kReady));
        break;
    default:
        break;
    }
}

void CMainFrame::SkipDialogMessage(std::uintptr_t wParam, std::intptr_t lParam)
{
    if (wParam == 1) {
        delete skipDialog;
        auto* dialog = new CSkipDialog(this, [this] { jobs.Engine().skipCounting = true; });
        dialog->adjustSize();
        dialog->move(geometry().center() - dialog->rect().center());
        dialog->show();
        skipDialog = dialog;
    } else if (lParam == 1 && skipDialog) {
        delete skipDialog;
    }
}

void CMainFrame::FillTree()
{
    tree->shownObjectName.clear();
    job::RecoveryEngine& engine = jobs.Engine();
    tree->Fill(Q(jobs.State().databaseName), engine.model, engine.viewCount, engine.indexCount);
    // Wide enough for the longest name, within two fifths of the window.
    QList<int> sizes = splitter->sizes();
    const int wanted = tree->ContentWidth() + tree->frameWidth() * 2 + 24;
    if (sizes.size() == 2 && wanted > sizes[0]) {
        const int total = sizes[0] + sizes[1];
        const int left = std::min(wanted, total * 2 / 5);
        if (left > sizes[0])
            splitter->setSizes({left, total - left});
    }
}

void CMainFrame::GridColumns()
{
    const catalogue::SchemaModel& model = jobs.Engine().model;
    if (!model.tables.empty())
        rightView->UpdatePagingButtons();
    QTableWidget* grid = rightView->Grid();
    if (!grid)
        return;
    grid->setRowCount(0);
    grid->setColumnCount(0);
    const catalogue::TableNode* table = model.FindTable(jobs.State().selectedObjectName);
    const int n = table ? static_cast<int>(table->columns.size()) : 0;
    if (n == 0) {
        grid->update();
        return;
    }
    const int width = rightView->width();
    const int columnWidth = n >= 15 ? 60 : (width - width / 4) / n;
    grid->setColumnCount(n);
    int given = 0;
    for (int c = 0; c < n; ++c) {
        grid->setHorizontalHeaderItem(c, new QTableWidgetItem(Q(table->columns[static_cast<std::size_t>(c)].name)));
        int w = columnWidth;
        if (c == n - 1) {
            const int rest = width - given;
            w = rest > 0 ? rest : 50;
        }
        grid->setColumnWidth(c, w);
        given += w;
    }
    grid->update();
}

void CMainFrame::GridCell()
{
    QTableWidget* grid = rightView->Grid();
    const job::JobState& state = jobs.State();
    if (grid) {
        const int columns = grid->columnCount();
        auto* cell = new QTableWidgetItem(Q(state.valueText));
        if (gridColumn == 0) {
            // A row past the end is appended: it lands at the end of the list.
            const int row = std::clamp(gridRow, 0, grid->rowCount());
            grid->insertRow(row);
            grid->setItem(row, 0, cell);
            gridItem = row;
        } else if (gridColumn < columns) {
            grid->setItem(gridItem, gridColumn, cell);
        } else {
            delete cell;
        }
        ++gridColumn;
        if (gridColumn >= columns) {
            ++gridRow;
            gridColumn = 0;
        }
    }
    if (state.recordDamaged) {
        if (grid && gridItem >= 0 && gridItem < grid->rowCount())
            MarkDamagedRow(grid, gridItem);
        // The row ends here, whatever cells it still lacks.
        if (gridColumn != 0) {
            ++gridRow;
            gridColumn = 0;
        }
    }
}

void CMainFrame::MarkDamagedRow(QTableWidget* grid, int row)
{
    // A tinted row, a marked row header and a tooltip on every cell: the
    // record's values may be wrong, and a repair does not copy it.
    const QString tip = tr("Damaged record: its stored bytes do not fit its format. A repair sets it aside "
                           "instead of copying it.");
    for (int column = 0; column < grid->columnCount(); ++column) {
        QTableWidgetItem* item = grid->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            grid->setItem(row, column, item);
        }
        item->setBackground(QColor(255, 221, 221));
        item->setToolTip(tip);
    }
    auto* header = new QTableWidgetItem(tr("Damaged"));
    header->setToolTip(tip);
    grid->setVerticalHeaderItem(row, header);
}

void CMainFrame::PagingState(std::uintptr_t wParam, std::intptr_t lParam)
{
    QPushButton* next = rightView->NextButton();
    QPushButton* previous = rightView->PreviousButton();
    if (wParam == 0 && lParam == 0) {
        next->setEnabled(true);
        previous->setEnabled(false);
        gridRow = 0;
    } else if (wParam == 0 && lParam == 1) {
        next->setEnabled(true);
        previous->setEnabled(true);
        gridRow = 0;
    } else if (wParam == 1 && lParam == 0) {
        if (QTableWidget* grid = rightView->Grid(); grid && grid->rowCount() > 0)
            grid->setRowCount(0);
    } else if (wParam == 1 && lParam == 1) {
        if (gridRow > kRowsPerPage)
            return;
        const PagingFacts facts = jobs.Paging();
        if (facts.onLastDataPage && jobs.State().forwardSteps != 0) {
            next->setEnabled(false);
            previous->setEnabled(true);
        } else if (facts.slotsLeft == 0) {
            next->setEnabled(false);
            previous->setEnabled(false);
        }
    }
}

void CMainFrame::FillList(QWidget* widget, const std::vector<std::vector<std::string>>& rows)
{
    auto* list = qobject_cast<QTableWidget*>(widget);
    if (!list)
        return;
    list->setRowCount(0);
    for (const std::vector<std::string>& row : rows) {
        const int at = list->rowCount();
        list->insertRow(at);
        for (std::size_t c = 0; c < row.size() && static_cast<int>(c) < list->columnCount(); ++c)
            list->setItem(at, static_cast<int>(c), new QTableWidgetItem(Q(row[c])));
    }
    rightView->update();
}

void CMainFrame::MarkRepaired(std::uintptr_t wParam, std::intptr_t lParam)
{
    job::JobState& state = jobs.State();
    if (!state.repairing)
        return;
    if (wParam != 0) {
        if (tree->MarkOneRepaired(Q(state.repairedTableName)))
            state.repairedTableName.clear();
    } else if (lParam != 0) {
        tree->MarkAllRepaired();
        state.repairedTableName.clear();
    }
}

void CMainFrame::RepairState(std::uintptr_t wParam, std::intptr_t lParam)
{
    if (wParam == 1)
        findPanel->RepairStarted();
    else if (wParam == 0 && lParam == 1)
        findPanel->RepairEnded();
}

void CMainFrame::FindItem()
{
    findText = findPanel->TextField()->text();
    findTextLower = LowerPerUnit(findText);
    const bool fromSelected = findPanel->lastCaption == QLatin1String("Find Next");
    QTreeWidgetItem* match = tree->FindVisible(findText, jobs.State().matchCase, fromSelected);
    if (match) {
        tree->setCurrentItem(match);
        tree->setFocus();
        return;
    }
    if (!jobs.State().busy) {
        const MessageChoice choice =
            jobs.ChooseMessage(text::kNotFoundPrefix + findText.toStdString() + text::kNotFoundSuffix);
        Dialogs::Message(this, Q(choice.text), choice.buttons);
    }
    findPanel->TextField()->clear();
}

}  // namespace ravelin::ui
