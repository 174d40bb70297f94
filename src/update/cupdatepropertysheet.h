#pragma once

// The update wizard: three pages (start, check, download) with Back, Next
// and Cancel. The check page asks the update server for news; the download
// page fetches the installer on CUpdateThread and ends the wizard once the
// installer is complete. Cancel, on whichever page offers it, sets
// updateCancelled. Everything here runs on the user-interface thread except
// CUpdateThread::run.

#include <functional>

#include <QDialog>
#include <QThread>
#include <QUrl>

#include "update/cautoupdater.h"
#include "update/versioncheck.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace ravelin::update {

// How a web address is opened (the desktop's default handler); tests
// replace it.
using UrlOpener = std::function<bool(const QUrl&)>;

// The check page's animation: a ring of dots turning while it plays.
class CAnimateCtrl final : public QWidget {
    Q_OBJECT
public:
    explicit CAnimateCtrl(QWidget* parent);
    // Plays without end, until Stop.
    void Play();
    void Stop();
    bool IsPlaying() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* timer = nullptr;
    int frame = 0;
};

class CUpdateStartPage final : public QWidget {
    Q_OBJECT
public:
    explicit CUpdateStartPage(QWidget* parent);
};

class CUpdateProcessPage final : public QWidget {
    Q_OBJECT
public:
    explicit CUpdateProcessPage(QWidget* parent);
    QLabel* StatusText() const { return statusText; }
    QLabel* Notice() const { return notice; }
    QLabel* Link() const { return link; }
    CAnimateCtrl* Animation() const { return animation; }

private:
    QLabel* statusText = nullptr;
    QLabel* notice = nullptr;
    QLabel* link = nullptr;
    CAnimateCtrl* animation = nullptr;
};

// The download page; as the download's listener it may be called from the
// download thread: each call is carried to the page's own thread.
class CUpdateFinalPage final : public QWidget, public DownloadListener {
    Q_OBJECT
public:
    explicit CUpdateFinalPage(QWidget* parent);
    QLabel* StatusText() const { return statusText; }
    QLabel* FileText() const { return fileText; }
    QLabel* ElapsedText() const { return elapsedText; }
    QLabel* RateText() const { return rateText; }
    QProgressBar* Progress() const { return progress; }

    void SetStatusText(const QString& text) override;
    void SetFileText(const QString& text) override;
    void SetValueTexts(const QString& elapsed, const QString& rate) override;
    void SetProgressRange(qint64 size) override;
    void SetProgress(qint64 position) override;

private:
    template <typename Call>
    void OnPageThread(Call call);

    QLabel* statusText = nullptr;
    QLabel* fileText = nullptr;
    QLabel* elapsedText = nullptr;
    QLabel* rateText = nullptr;
    QProgressBar* progress = nullptr;
    // Bytes per bar unit, so that sizes past the bar's integer range fit.
    qint64 scale = 1;
};

// The download thread: clears updateCancelled and runs DownloadUpdate.
class CUpdateThread final : public QThread {
    Q_OBJECT
public:
    CUpdateThread(CAutoUpdater& updater, UpdateState& state, DownloadListener& page, QObject* parent);
    // DownloadUpdate's result, once the thread has finished.
    int Result() const { return result; }

protected:
    void run() override;

private:
    CAutoUpdater& updater;
    UpdateState& state;
    DownloadListener& page;
    int result = kDownloadDone;
};

class CUpdatePropertySheet final : public QDialog {
    Q_OBJECT
public:
    enum PageIndex { kStartPage = 0, kCheckPage = 1, kDownloadPage = 2 };

    CUpdatePropertySheet(QWidget* parent, CAutoUpdater& updater, UpdateState& state,
                         CAutoUpdater::SettingReader settings, UrlOpener urlOpener);
    // Waits for a download still running.
    ~CUpdatePropertySheet() override;

    int CurrentPage() const;
    QPushButton* BackButton() const { return backButton; }
    QPushButton* NextButton() const { return nextButton; }
    QPushButton* CancelButton() const { return cancelButton; }
    CUpdateStartPage* StartPage() const { return startPage; }
    CUpdateProcessPage* CheckPage() const { return checkPage; }
    CUpdateFinalPage* DownloadPage() const { return downloadPage; }
    // The last check's result (-1 before the first check).
    int CheckResult() const { return checkResult; }
    // The download's result (-1 while none has ended).
    int DownloadResult() const { return downloadResult; }
    bool Downloading() const;

    // Milliseconds between showing the check or download page and starting
    // its work.
    int startDelay = 1000;

    // Cancel: sets updateCancelled and ends the wizard; refused while the
    // download runs.
    void reject() override;

private:
    void ShowPage(int index);
    void Next();
    void Back();
    void EnterCheckPage();
    void RunCheck();
    void EnterDownloadPage();
    void StartDownload();
    void DownloadEnded();
    void VisitUpgradePage();

    CAutoUpdater& updater;
    UpdateState& state;
    CAutoUpdater::SettingReader settings;
    UrlOpener urlOpener;
    QStackedWidget* pages = nullptr;
    CUpdateStartPage* startPage = nullptr;
    CUpdateProcessPage* checkPage = nullptr;
    CUpdateFinalPage* downloadPage = nullptr;
    QPushButton* backButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QTimer* checkTimer = nullptr;
    QTimer* downloadTimer = nullptr;
    CUpdateThread* thread = nullptr;
    int checkResult = -1;
    int downloadResult = -1;
};

// The Update command: runs the wizard modally. Yields true when it ended
// with a complete installer and without a cancel; the checker's internet
// access is then closed, and the caller quits the application and starts
// state.installerPath.
bool RunUpdateCommand(QWidget* parent, CAutoUpdater& updater, UpdateState& state,
                      const CAutoUpdater::SettingReader& settings, const UrlOpener& urlOpener);

}  // namespace ravelin::update
