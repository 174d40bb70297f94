#include "update/cupdatepropertysheet.h"

#include <algorithm>
#include <climits>

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "update/versioncheck.h"

namespace ravelin::update {

namespace {

constexpr char kSheetTitle[] = "Update Wizard";
constexpr char kPageTitle[] = "Ravelin Update Wizard";
constexpr char kWelcomeText[] = "Welcome to the Varentis Korvane update wizard";
constexpr char kIntroText[] =
    "Update wizard checks for the latest updates available and updates product if a newer version is available "
    "online.";
constexpr char kAdviceText[] =
    "It is strongly recommended that you close all other running applications before clicking 'Next'. This will "
    "help prevent any conflict during the update process.";
constexpr char kContinueText[] = "Click Next to continue...";
constexpr char kCheckingText[] = "Checking for updates...";
constexpr char kMajorReleaseText[] = "A new major release is available.";
constexpr char kVisitText[] = "Visit upgrade page";
constexpr char kDownloadingHeading[] = "Downloading files...";
constexpr char kSavingText[] = "Saving file:";
// The "Update" value is read with room for this many bytes.
constexpr int kAddressLength = 1024;
constexpr int kDotCount = 12;

QLabel* Heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

QLabel* Paragraph(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

void MakeWhite(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The page picture: the application's icon.
QLabel* Picture(QWidget* parent)
{
    auto* picture = new QLabel(parent);
    picture->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop | Qt::AlignRight);
    return picture;
}

// A page body: the heading with the picture beside it, then the content.
QVBoxLayout* PageLayout(QWidget* page, const QString& heading)
{
    MakeWhite(page);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(18, 16, 18, 12);
    auto* top = new QHBoxLayout;
    top->addWidget(Heading(heading, page), 1);
    top->addWidget(Picture(page));
    layout->addLayout(top);
    layout->addSpacing(8);
    return layout;
}

// The side panel with the wizard's name.
class SidePanel final : public QWidget {
public:
    explicit SidePanel(QWidget* parent) : QWidget(parent) { setFixedWidth(150); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(0x1d, 0x3f, 0x6e));
        gradient.setColorAt(1, QColor(0x6f, 0x9c, 0xd4));
        painter.fillRect(rect(), gradient);
        painter.drawPixmap(16, 20, QApplication::windowIcon().pixmap(64, 64));
        QFont font = painter.font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.2);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(16, 100, width() - 24, 80), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         QString::fromLatin1(kSheetTitle));
    }
};

}  // namespace

// ---------------------------------------------------------------------------

CAnimateCtrl::CAnimateCtrl(QWidget* parent) : QWidget(parent)
{
    setFixedSize(40, 40);
    timer = new QTimer(this);
    timer->setInterval(80);
    connect(timer, &QTimer::timeout, this, [this] {
        frame = (frame + 1) % kDotCount;
        update();
    });
}

void CAnimateCtrl::Play()
{
    timer->start();
}

void CAnimateCtrl::Stop()
{
    timer->stop();
}

bool CAnimateCtrl::IsPlaying() const
{
    return timer->isActive();
}

void CAnimateCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < kDotCount; ++i) {
        const int age = (frame - i + kDotCount) % kDotCount;
        QColor color(0x1d, 0x3f, 0x6e);
        color.setAlpha(IsPlaying() ? 255 - age * 18 : 60);
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.save();
        painter.rotate(360.0 * i / kDotCount);
        painter.drawEllipse(QPointF(0, -14), 3, 3);
        painter.restore();
    }
}

// ---------------------------------------------------------------------------

CUpdateStartPage::CUpdateStartPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CUpdateStartPage"));
    setWindowTitle(QString::fromLatin1(kPageTitle));
    QVBoxLayout* layout = PageLayout(this, QString::fromLatin1(kWelcomeText));
    layout->addWidget(Paragraph(QString::fromLatin1(kIntroText), this));
    layout->addSpacing(8);
    layout->addWidget(Paragraph(QString::fromLatin1(kAdviceText), this));
    layout->addStretch();
    layout->addWidget(Paragraph(QString::fromLatin1(kContinueText), this));
}

CUpdateProcessPage::CUpdateProcessPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CUpdateProcessPage"));
    setWindowTitle(QString::fromLatin1(kPageTitle));
    QVBoxLayout* layout = PageLayout(this, QString::fromLatin1(kCheckingText));
    auto* row = new QHBoxLayout;
    animation = new CAnimateCtrl(this);
    statusText = Paragraph(QString::fromLatin1(kSearchingText), this);
    statusText->setObjectName(QStringLiteral("statusText"));
    row->addWidget(animation, 0, Qt::AlignTop);
    row->addWidget(statusText, 1);
    layout->addLayout(row);
    layout->addSpacing(12);
    notice = Paragraph(QString::fromLatin1(kMajorReleaseText), this);
    layout->addWidget(notice);
    link = new QLabel(QStringLiteral("<a href=\"upgrade\" style=\"color:#0000ff;\">%1</a>").arg(kVisitText), this);
    link->setTextFormat(Qt::RichText);
    link->setCursor(Qt::PointingHandCursor);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    layout->addWidget(link);
    layout->addStretch();
}

CUpdateFinalPage::CUpdateFinalPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CUpdateFinalPage"));
    setWindowTitle(QString::fromLatin1(kPageTitle));
    QVBoxLayout* layout = PageLayout(this, QString::fromLatin1(kDownloadingHeading));
    statusText = Paragraph(QString::fromLatin1(kSavingText), this);
    fileText = Paragraph(QString(), this);
    layout->addWidget(statusText);
    layout->addWidget(fileText);
    layout->addSpacing(8);
    auto* values = new QHBoxLayout;
    values->addWidget(new QLabel(QStringLiteral("Time elapsed:"), this));
    elapsedText = new QLabel(this);
    values->addWidget(elapsedText, 1);
    layout->addLayout(values);
    auto* rates = new QHBoxLayout;
    rates->addWidget(new QLabel(QStringLiteral("Transfer rate:"), this));
    rateText = new QLabel(this);
    rates->addWidget(rateText, 1);
    layout->addLayout(rates);
    layout->addSpacing(8);
    progress = new QProgressBar(this);
    progress->setTextVisible(false);
    layout->addWidget(progress);
    layout->addStretch();
}

template <typename Call>
void CUpdateFinalPage::OnPageThread(Call call)
{
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, call, Qt::QueuedConnection);
}

void CUpdateFinalPage::SetStatusText(const QString& text)
{
    OnPageThread([this, text] { statusText->setText(text); });
}

void CUpdateFinalPage::SetFileText(const QString& text)
{
    OnPageThread([this, text] { fileText->setText(text); });
}

void CUpdateFinalPage::SetValueTexts(const QString& elapsed, const QString& rate)
{
    OnPageThread([this, elapsed, rate] {
        elapsedText->setText(elapsed);
        rateText->setText(rate);
    });
}

void CUpdateFinalPage::SetProgressRange(qint64 size)
{
    OnPageThread([this, size] {
        scale = std::max<qint64>(1, size / INT_MAX + 1);
        progress->setRange(0, static_cast<int>(size / scale));
        progress->setValue(0);
    });
}

void CUpdateFinalPage::SetProgress(qint64 position)
{
    OnPageThread([this, position] {
        const qint64 units = position / scale;
        progress->setValue(static_cast<int>(std::min<qint64>(units, progress->maximum())));
    });
}

// ---------------------------------------------------------------------------

CUpdateThread::CUpdateThread(CAutoUpdater& updater, UpdateState& state, DownloadListener& page, QObject* parent)
    : QThread(parent), updater(updater), state(state), page(page)
{
}

void CUpdateThread::run()
{
    state.updateCancelled = false;
    result = updater.DownloadUpdate(state, page);
}

// ---------------------------------------------------------------------------

CUpdatePropertySheet::CUpdatePropertySheet(QWidget* parent, CAutoUpdater& updater, UpdateState& state,
                                           CAutoUpdater::SettingReader settings, UrlOpener urlOpener)
    : QDialog(parent), updater(updater), state(state), settings(std::move(settings)), urlOpener(std::move(urlOpener))
{
    setObjectName(QStringLiteral("CUpdatePropertySheet"));
    // The pages' own caption stands in the title bar, as in every wizard.
    setWindowTitle(QString::fromLatin1(kPageTitle));
    MakeWhite(this);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    body->addWidget(new SidePanel(this));
    pages = new QStackedWidget(this);
    startPage = new CUpdateStartPage(pages);
    checkPage = new CUpdateProcessPage(pages);
    downloadPage = new CUpdateFinalPage(pages);
    pages->addWidget(startPage);
    pages->addWidget(checkPage);
    pages->addWidget(downloadPage);
    body->addWidget(pages, 1);
    outer->addLayout(body, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    outer->addWidget(line);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 8, 12, 10);
    buttons->addStretch();
    backButton = new QPushButton(QStringLiteral("< Back"), this);
    nextButton = new QPushButton(QStringLiteral("Next >"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    nextButton->setDefault(true);
    buttons->addWidget(backButton);
    buttons->addWidget(nextButton);
    buttons->addSpacing(8);
    buttons->addWidget(cancelButton);
    outer->addLayout(buttons);
    resize(620, 400);

    checkTimer = new QTimer(this);
    checkTimer->setSingleShot(true);
    downloadTimer = new QTimer(this);
    downloadTimer->setSingleShot(true);
    thread = new CUpdateThread(updater, state, *downloadPage, this);

    connect(nextButton, &QPushButton::clicked, this, &CUpdatePropertySheet::Next);
    connect(backButton, &QPushButton::clicked, this, &CUpdatePropertySheet::Back);
    connect(cancelButton, &QPushButton::clicked, this, &CUpdatePropertySheet::reject);
    connect(checkTimer, &QTimer::timeout, this, &CUpdatePropertySheet::RunCheck);
    connect(downloadTimer, &QTimer::timeout, this, &CUpdatePropertySheet::StartDownload);
    connect(thread, &QThread::finished, this, &CUpdatePropertySheet::DownloadEnded);
    connect(checkPage->Link(), &QLabel::linkActivated, this, &CUpdatePropertySheet::VisitUpgradePage);

    // The start page; Back is disabled as it is created.
    pages->setCurrentIndex(kStartPage);
    backButton->setEnabled(false);
}

CUpdatePropertySheet::~CUpdatePropertySheet()
{
    if (thread->isRunning()) {
        state.updateCancelled = true;
        thread->wait();
    }
}

int CUpdatePropertySheet::CurrentPage() const
{
    return pages->currentIndex();
}

bool CUpdatePropertySheet::Downloading() const
{
    return thread->isRunning() || downloadTimer->isActive();
}

void CUpdatePropertySheet::ShowPage(int index)
{
    pages->setCurrentIndex(index);
    if (index == kCheckPage)
        EnterCheckPage();
    else if (index == kDownloadPage)
        EnterDownloadPage();
}

void CUpdatePropertySheet::Next()
{
    switch (CurrentPage()) {
    case kStartPage:
        backButton->setEnabled(true);
        ShowPage(kCheckPage);
        break;
    case kCheckPage:
        ShowPage(kDownloadPage);
        break;
    default:
        break;
    }
}

void CUpdatePropertySheet::Back()
{
    if (CurrentPage() != kCheckPage)
        return;
    checkTimer->stop();
    backButton->setEnabled(false);
    nextButton->setEnabled(true);
    ShowPage(kStartPage);
}

void CUpdatePropertySheet::EnterCheckPage()
{
    checkPage->StatusText()->setText(QString::fromLatin1(kSearchingText));
    nextButton->setEnabled(false);
    backButton->setEnabled(false);
    checkPage->Notice()->hide();
    checkPage->Link()->hide();
    checkTimer->start(startDelay);
}

void CUpdatePropertySheet::RunCheck()
{
    CAnimateCtrl* animation = checkPage->Animation();
    animation->Play();
    checkResult = updater.CheckForUpdate();
    QLabel* status = checkPage->StatusText();
    bool next = false;
    bool notice = false;
    switch (checkResult) {
    case kCheckNewVersion:
        status->setText(QString::fromStdString(NewUpdateText(updater.NewVersion().toStdString())));
        next = true;
        break;
    case kCheckNewMajorRelease:
        status->setText(QString::fromLatin1(kAllUpdatesText));
        notice = true;
        next = true;
        break;
    case kCheckBothLinesNew:
        status->setText(QString::fromStdString(NewUpdateText(updater.NewVersion().toStdString())));
        notice = true;
        next = true;
        break;
    case kCheckNoConnection:
        status->setText(QString::fromLatin1(kNoConnectionText));
        break;
    case kCheckFileUnavailable:
    case kCheckNoInstalledVersion:
        status->setText(QString::fromLatin1(kAllUpdatesText));
        break;
    case kCheckUpToDate:
        status->setText(QString::fromLatin1(kUpdatedText));
        break;
    default:
        // An unreadable version: the text stays and the animation runs on.
        break;
    }
    if (checkResult != kCheckUnreadable)
        animation->Stop();
    checkPage->Notice()->setVisible(notice);
    checkPage->Link()->setVisible(notice);
    nextButton->setEnabled(next);
    backButton->setEnabled(true);
}

void CUpdatePropertySheet::VisitUpgradePage()
{
    const QString address = settings(QStringLiteral("Update")).left(kAddressLength);
    if (!address.isEmpty() && urlOpener)
        urlOpener(QUrl::fromUserInput(address));
}

void CUpdatePropertySheet::EnterDownloadPage()
{
    backButton->hide();
    nextButton->setEnabled(false);
    cancelButton->setEnabled(false);
    downloadPage->Progress()->setRange(0, 100);
    downloadPage->Progress()->setValue(0);
    downloadResult = -1;
    downloadTimer->start(startDelay);
}

void CUpdatePropertySheet::StartDownload()
{
    thread->start();
}

void CUpdatePropertySheet::DownloadEnded()
{
    downloadResult = thread->Result();
    if (downloadResult == kDownloadDone && !state.updateCancelled && !state.installerPath.isEmpty() &&
        QFileInfo::exists(state.installerPath)) {
        accept();
        return;
    }
    // No installer: the user learns it and can leave.
    if (downloadResult != kDownloadDone)
        downloadPage->SetStatusText(QString::fromLatin1(kNoConnectionText));
    cancelButton->setEnabled(true);
}

void CUpdatePropertySheet::reject()
{
    if (Downloading())
        return;
    state.updateCancelled = true;
    QDialog::reject();
}

bool RunUpdateCommand(QWidget* parent, CAutoUpdater& updater, UpdateState& state,
                      const CAutoUpdater::SettingReader& settings, const UrlOpener& urlOpener)
{
    CUpdatePropertySheet sheet(parent, updater, state, settings, urlOpener);
    sheet.exec();
    if (state.updateCancelled || sheet.result() != QDialog::Accepted)
        return false;
    updater.CloseInternet();
    return true;
}

}  // namespace ravelin::update
