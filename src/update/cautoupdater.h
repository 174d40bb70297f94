#pragma once

// The update checker: asks the update server whether a newer version exists
// and downloads its installer. The server is an HTTP server; its address
// (host, or host:port; port 80 when none is given) is the "UpdateServer"
// value of the settings file. Below "/upgrade/<ExeName>/" it holds the
// version file "<ExeName>.txt" and the installer package "<ExeName>.deb".
//
// Settings read: "Version" (the installed version), "ExeName" (the base name
// of the product's files on the server), "UpdateServer".

#include <atomic>
#include <functional>

#include <QString>
#include <QUrl>

class QNetworkAccessManager;

namespace ravelin::update {

// The application's update fields. updateCancelled is set when the user
// cancels the wizard and cleared when a download starts (and at start-up);
// the download thread polls it. installerPath is written by the download
// thread when a transfer completed and read after the thread has ended.
struct UpdateState {
    std::atomic<bool> updateCancelled{false};
    QString installerPath;
};

// What the download reports to: the download page. Called on the thread
// that runs DownloadUpdate.
class DownloadListener {
public:
    virtual ~DownloadListener() = default;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetFileText(const QString& text) = 0;
    virtual void SetValueTexts(const QString& elapsed, const QString& rate) = 0;
    // The bar's range 0..size (0: size unknown) and its position.
    virtual void SetProgressRange(qint64 size) = 0;
    virtual void SetProgress(qint64 position) = 0;
};

class CAutoUpdater {
public:
    using SettingReader = std::function<QString(const QString& name)>;

    // Opens the internet access (the user agent "AutoUpdateAgent", the
    // system's proxy settings). Create on the user-interface thread.
    explicit CAutoUpdater(SettingReader settings);
    ~CAutoUpdater();
    CAutoUpdater(const CAutoUpdater&) = delete;
    CAutoUpdater& operator=(const CAutoUpdater&) = delete;

    // Closes the internet access; checks and downloads then report no
    // connection.
    void CloseInternet();
    bool InternetOpen() const { return internetOpen.load(); }

    // Whether the system reports a network connection. By default the
    // system's network information, where there is one; unknown counts as
    // connected.
    std::function<bool()> connectionAvailable;

    // Asks the server for the version file (bypassing every cache) and
    // judges it: 1, 2, 3, 4, 5, 8, 9 or 0 (see versioncheck.h). Runs on the
    // user-interface thread and holds it (no user input) until the answer
    // is in or the transfer timeout has passed.
    int CheckForUpdate();
    // The version the check page shows, and the second line's version.
    QString NewVersion() const { return newVersion; }
    QString SecondVersion() const { return secondVersion; }

    // Downloads the installer into the temporary folder, reporting to page:
    // 0 finished or stopped (updateCancelled), 4 no connection, 5 no request
    // could be made, 7 the transfer failed. Only a complete transfer sets
    // state.installerPath. May run on any thread that has an event loop
    // available (a QThread, or the user-interface thread).
    int DownloadUpdate(UpdateState& state, DownloadListener& page);

    // The installer's file name: ExeName + ".deb".
    QString InstallerFileName() const;
    // The update server as configured (host or host:port).
    QString ServerName() const;
    // The address of path on the update server; invalid when no server is
    // configured.
    QUrl ServerUrl(const QString& path) const;

    // Milliseconds without any transfer after which a request fails.
    int transferTimeout = 30000;

private:
    bool Connected() const;

    SettingReader settings;
    std::atomic<bool> internetOpen{false};
    QNetworkAccessManager* access = nullptr;
    QString newVersion;
    QString secondVersion;
};

}  // namespace ravelin::update
