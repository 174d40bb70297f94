#include "ui/cdialogfile.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/dialogs.h"
#include "ui/jobcontrol.h"
#include "ui/uitext.h"

namespace ravelin::ui {

namespace {

constexpr char kIntroText[] =
    "Click 'Select File' button to repair corrupted InterBase file.Click 'Search File' button to search InterBase "
    "file(s) from a drive.All files found in the drive are listed below.Click on the file name to scan.";
// The search matches both extensions InterBase files carry.
constexpr char kFileTypeText[] = "InterBase File(*.IB;*.GDB)";
constexpr char kScanFile[] = "Scan File";
constexpr char kStop[] = "Stop";
constexpr int kProgressStepSize = 2;
constexpr int kBannerHeight = 64;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
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

// Date and time in the user's locale, short form.
std::string LocaleTime(const std::tm& t)
{
    const QDateTime when(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday), QTime(t.tm_hour, t.tm_min, t.tm_sec));
    return QLocale::system().toString(when, QLocale::ShortFormat).toStdString();
}

// The banner across the top of the panel.
class Banner final : public QWidget {
public:
    explicit Banner(QWidget* parent) : QWidget(parent) { setFixedHeight(kBannerHeight); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), 0);
        gradient.setColorAt(0, QColor(0x1d, 0x3f, 0x6e));
        gradient.setColorAt(1, QColor(0x6f, 0x9c, 0xd4));
        painter.fillRect(rect(), gradient);
        const int iconSize = kBannerHeight - 16;
        painter.drawPixmap(12, 8, QApplication::windowIcon().pixmap(iconSize, iconSize));
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.8);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(iconSize + 24, 0, width() - iconSize - 24, height()), Qt::AlignVCenter,
                         QString::fromLatin1(text::kAppTitle));
    }
};

// Long paths lose their middle, so the file name stays in sight.
class PathDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

}  // namespace

CDialogFile::CDialogFile(QWidget* parent, JobControl& jobs)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), jobs(jobs)
{
    setObjectName(QStringLiteral("CDialogFile"));
    setWindowTitle(QString::fromLatin1(text::kAppTitle));
    setModal(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    bridge.Bind(this, this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);

    // Banner with the small Close button at its top right.
    auto* banner = new Banner(this);
    auto* bannerRow = new QHBoxLayout(banner);
    bannerRow->setContentsMargins(0, 4, 4, 0);
    bannerRow->addStretch();
    closeButton = new QToolButton(banner);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setText(QStringLiteral("X"));
    closeButton->setToolTip(QStringLiteral("Close"));
    closeButton->setAutoRaise(true);
    closeButton->setStyleSheet(QStringLiteral("QToolButton { color: white; font-weight: bold; }"));
    bannerRow->addWidget(closeButton, 0, Qt::AlignTop);
    outer->addWidget(banner);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(14, 10, 14, 12);
    body->setSpacing(8);
    outer->addLayout(body, 1);

    auto* intro = new QLabel(QString::fromLatin1(kIntroText), this);
    intro->setWordWrap(true);
    body->addWidget(intro);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    selectFileButton = new QPushButton(QStringLiteral("Select File"), this);
    lookIn = new QComboBox(this);
    lookIn->setMinimumWidth(240);
    lookIn->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    fileType = new QLineEdit(QString::fromLatin1(kFileTypeText), this);
    fileType->setReadOnly(true);
    searchButton = new QPushButton(QStringLiteral("Search File(s)"), this);
    selectFolderButton = new QPushButton(QStringLiteral("Select Folder"), this);
    subfolders = new QCheckBox(QStringLiteral("Search in subfolders"), this);
    grid->addWidget(selectFileButton, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Look in "), this), 0, 1, Qt::AlignRight);
    grid->addWidget(lookIn, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("File Type"), this), 0, 3, Qt::AlignRight);
    grid->addWidget(fileType, 0, 4);
    grid->addWidget(searchButton, 1, 0);
    grid->addWidget(selectFolderButton, 1, 2, Qt::AlignLeft);
    grid->addWidget(subfolders, 1, 4);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(4, 1);
    body->addLayout(grid);

    resultList = new QTableWidget(0, 5, this);
    resultList->setObjectName(QStringLiteral("resultList"));
    resultList->setHorizontalHeaderLabels(
        {QStringLiteral("InterBase File Path"), QStringLiteral("Size(KB)"), QStringLiteral("Modified"),
         QStringLiteral("Created"), QStringLiteral("Accessed")});
    resultList->verticalHeader()->hide();
    resultList->setShowGrid(true);
    resultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    resultList->setSelectionMode(QAbstractItemView::SingleSelection);
    resultList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultList->setWordWrap(false);
    resultList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    resultList->horizontalHeader()->setHighlightSections(false);
    resultList->verticalHeader()->setDefaultSectionSize(resultList->fontMetrics().height() + 6);
    resultList->setItemDelegateForColumn(0, new PathDelegate(resultList));
    resultList->setMinimumHeight(220);
    body->addWidget(resultList, 1);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("Selected File Path"), this));
    selectedPath = new QLineEdit(this);
    selectedPath->setReadOnly(true);
    pathRow->addWidget(selectedPath, 1);
    body->addLayout(pathRow);

    auto* bottomRow = new QHBoxLayout;
    progress = new QProgressBar(this);
    progress->setTextVisible(false);
    progress->setFixedHeight(14);
    bottomRow->addWidget(progress, 1);
    bottomRow->addStretch();
    scanButton = new QPushButton(QString::fromLatin1(kScanFile), this);
    scanButton->setDefault(true);
    clearButton = new QPushButton(QStringLiteral("Clear List"), this);
    bottomRow->addWidget(scanButton);
    bottomRow->addWidget(clearButton);
    body->addLayout(bottomRow);

    resize(900, 580);

    connect(selectFileButton, &QPushButton::clicked, this, &CDialogFile::SelectFile);
    connect(searchButton, &QPushButton::clicked, this, &CDialogFile::SearchFiles);
    connect(selectFolderButton, &QPushButton::clicked, this, &CDialogFile::SelectFolder);
    connect(scanButton, &QPushButton::clicked, this, &CDialogFile::ScanFile);
    connect(clearButton, &QPushButton::clicked, this, &CDialogFile::ClearList);
    connect(closeButton, &QToolButton::clicked, this, &CDialogFile::CloseDialog);
    connect(resultList, &QTableWidget::cellClicked, this, [this](int row, int) { PickResult(row); });

    // Opening: the places to search, the home folder selected; subfolders
    // checked; Scan File disabled; Clear List and the bar hidden.
    mounts = job::ReadMountTable();
    for (const std::string& entry : job::LookInEntries(mounts, QDir::homePath().toStdString()))
        lookIn->addItem(Q(entry));
    lookIn->setCurrentIndex(0);
    subfolders->setChecked(true);
    scanButton->setEnabled(false);
    clearButton->hide();
    progress->hide();
}

CDialogFile::~CDialogFile()
{
    closing = true;
    if (search.searchRunning) {
        search.searchStop = true;
        // The worker may be waiting in a send to this thread: keep serving it.
        while (search.searchRunning)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    worker.Join();
}

int CDialogFile::Run(QWidget* parent, JobControl& jobs)
{
    CDialogFile dialog(parent, jobs);
    if (Dialogs::Scripted()) {
        dialog.SelectFile();
        if (dialog.ScanButton()->isEnabled())
            dialog.ScanFile();
        else
            dialog.CloseDialog();
        return dialog.result();
    }
    return dialog.exec();
}

// ---------------------------------------------------------------------------
// Buttons

void CDialogFile::SelectFile()
{
    databasePath.clear();
    resultList->setRowCount(0);
    const QString path = Dialogs::OpenDatabaseFile(this, QStringLiteral("Open"));
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    databasePath = info.absoluteFilePath();
    databaseName = info.fileName();
    selectedPath->setText(databasePath);
    // The bar runs once through.
    progress->setRange(1, 1);
    progress->show();
    progress->setValue(1);
    progress->hide();
    scanButton->setEnabled(true);
    clearButton->hide();
}

void CDialogFile::SearchFiles()
{
    if (scanButton->text() == QLatin1String(kScanFile)) {
        scanButton->setText(QString::fromLatin1(kStop));
        scanButton->setEnabled(true);
    }
    selectedPath->clear();
    resultList->setRowCount(0);
    if (search.searchRunning)
        return;
    search.results.clear();
    StartSearch(Q(job::StartPathFromEntry(lookIn->currentText().toStdString())));
}

void CDialogFile::SelectFolder()
{
    resultList->setRowCount(0);
    QString folder = Dialogs::SelectFolder(this, QStringLiteral("Select a Folder"));
    if (folder.isEmpty())
        return;
    // A trailing "/" goes; the root folder stays "/" for the walk.
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    scanButton->setEnabled(true);
    if (search.searchRunning)
        return;
    search.searchStop = false;
    search.results.clear();
    if (scanButton->text() == QLatin1String(kScanFile))
        scanButton->setText(QString::fromLatin1(kStop));
    selectedPath->clear();
    StartSearch(folder);
}

void CDialogFile::StartSearch(const QString& startPath)
{
    SetSearchControlsEnabled(false);
    subfolders->setEnabled(false);
    job::SearchParams params;
    params.startPath = startPath.toStdString();
    params.subfolders = subfolders->isChecked();
    params.formatTime = LocaleTime;
    params.mounts = mounts;
    worker.Start(std::move(params), job::SearchLink{bridge, bridge, jobs.State().currentLogLine, search});
}

void CDialogFile::ScanFile()
{
    if (scanButton->text() == QLatin1String(kStop)) {
        if (Dialogs::Stop(this, QString::fromLatin1(text::kStopQuestion)) != job::kAnswerOk)
            return;
        // The search may have ended while the question was open: a late Yes
        // must not stop the next search before it starts.
        if (scanButton->text() != QLatin1String(kStop) || !search.searchRunning)
            return;
        search.searchStop = true;
        scanButton->setText(QString::fromLatin1(kScanFile));
        scanButton->setEnabled(false);
        subfolders->setEnabled(true);
        return;
    }
    if (!jobs.State().busy && !databasePath.isEmpty()) {
        scanButton->setEnabled(false);
        jobs.StartScan(databasePath.toStdString(), databaseName.toStdString());
    }
    done(job::kAnswerOk);
}

void CDialogFile::ClearList()
{
    resultList->setRowCount(0);
    search.results.clear();
    clearButton->hide();
    scanButton->setEnabled(false);
    selectFolderButton->setEnabled(true);
    search.searchStop = false;
}

void CDialogFile::CloseDialog()
{
    if (search.searchRunning) {
        Dialogs::Message(this, QString::fromLatin1(text::kStopFirst), job::MessageButtons::Ok);
        return;
    }
    done(job::kAnswerNo);
}

void CDialogFile::reject()
{
    // Escape and the window system's close request behave as Close.
    CloseDialog();
}

void CDialogFile::PickResult(int row)
{
    const QTableWidgetItem* item = resultList->item(row, 0);
    if (!item)
        return;
    databasePath = item->text();
    databaseName = databasePath;
    selectedPath->setText(databasePath);
    search.searchStop = false;
    scanButton->setEnabled(true);
    lookIn->setEnabled(true);
    fileType->setEnabled(true);
}

void CDialogFile::SetSearchControlsEnabled(bool enabled)
{
    for (QWidget* widget : {static_cast<QWidget*>(searchButton), static_cast<QWidget*>(selectFileButton),
                            static_cast<QWidget*>(selectFolderButton), static_cast<QWidget*>(lookIn),
                            static_cast<QWidget*>(fileType)})
        widget->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// Worker messages

std::intptr_t CDialogFile::HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case job::UM_SEARCH_PROGRESS:
        SearchProgress(wParam, lParam);
        break;
    case job::UM_SEARCH_RESULTS:
        ListResults();
        break;
    default:
        break;
    }
    return 0;
}

void CDialogFile::SearchProgress(std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (lParam) {
    case job::kSearchProgressStart:
        progress->setRange(1, static_cast<int>(std::clamp<std::uintptr_t>(wParam, 1, INT32_MAX)));
        progress->setValue(1);
        progress->show();
        StepProgress(progress);
        break;
    case job::kSearchProgressStep:
        StepProgress(progress);
        break;
    case job::kSearchProgressEnd:
        progress->setValue(10);
        progress->hide();
        break;
    default:
        break;
    }
}

void CDialogFile::ListResults()
{
    const bool any = !search.results.empty() || resultList->rowCount() > 0;
    clearButton->setVisible(any);
    clearButton->setEnabled(any);
    if (search.searchStop) {
        clearButton->setEnabled(false);
        scanButton->setEnabled(false);
        selectFileButton->setEnabled(true);
        searchButton->setEnabled(true);
        selectFolderButton->setEnabled(true);
    } else {
        resultList->setUpdatesEnabled(false);
        for (const job::FILEPROP& file : search.results) {
            const int row = resultList->rowCount();
            resultList->insertRow(row);
            const std::string* texts[] = {&file.path, &file.size, &file.modified, &file.created, &file.accessed};
            for (int column = 0; column < 5; ++column) {
                auto* cell = new QTableWidgetItem(Q(*texts[column]));
                if (column == 0)
                    cell->setToolTip(cell->text());
                else if (column == 1)
                    cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                resultList->setItem(row, column, cell);
            }
            StepProgress(progress);
        }
        resultList->setUpdatesEnabled(true);
    }
    progress->setValue(10);
    progress->hide();
    SetSearchControlsEnabled(true);
    search.results.clear();
    if (scanButton->text() == QLatin1String(kStop)) {
        scanButton->setText(QString::fromLatin1(kScanFile));
        scanButton->setEnabled(false);
        subfolders->setEnabled(true);
    }
}

// ---------------------------------------------------------------------------
// The worker's dialogs

int CDialogFile::ShowMessageDialog(const std::string& text, job::MessageButtons buttons)
{
    return closing ? job::kAnswerOk : Dialogs::Message(this, Q(text), buttons);
}

int CDialogFile::ShowMessageOk(const std::string& text)
{
    return closing ? job::kAnswerOk : Dialogs::MessageOk(this, Q(text));
}

int CDialogFile::ShowConnectionDialog(job::ConnectionAnswer&)
{
    return job::kAnswerNo;
}

// ---------------------------------------------------------------------------
// Look

void CDialogFile::FitColumns()
{
    // W: the list's client width; the four narrow columns get
    // (W + 5) / 5 - 22 pixels, the path (W + 5) / 5 + 96.
    const int width = resultList->viewport()->width();
    const int fifth = (width + 5) / 5;
    resultList->setColumnWidth(0, fifth + 96);
    for (int column = 1; column < 5; ++column)
        resultList->setColumnWidth(column, std::max(20, fifth - 22));
}

void CDialogFile::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FitColumns();
}

void CDialogFile::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWidget* owner = parentWidget())
        move(owner->window()->geometry().center() - rect().center());
    FitColumns();
}

void CDialogFile::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // A thin frame: the panel has no window border of its own.
    QPainter painter(this);
    painter.setPen(QColor(0x1d, 0x3f, 0x6e));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace ravelin::ui
