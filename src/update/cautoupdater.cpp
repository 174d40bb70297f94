#include "update/cautoupdater.h"

#include <algorithm>
#include <memory>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "update/versioncheck.h"

namespace ravelin::update {

namespace {

constexpr qint64 kVersionFileLimit = 4096;
constexpr qint64 kBlockSize = 4096;
// Settings values are read with room for this many characters.
constexpr int kValueLength = 260;

QNetworkRequest Request(const QUrl& url, int timeout)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("AutoUpdateAgent"));
    // Always from the server, never from a cache.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    request.setRawHeader(QByteArrayLiteral("Pragma"), QByteArrayLiteral("no-cache"));
    request.setTransferTimeout(timeout);
    return request;
}

using ReplyPointer = std::unique_ptr<QNetworkReply>;

// Runs the thread's events until the reply gets more data or finishes.
// User input waits meanwhile (the check runs on the user-interface thread).
void WaitForMore(QNetworkReply* reply)
{
    if (reply->isFinished())
        return;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void WaitForFinish(QNetworkReply* reply)
{
    if (reply->isFinished())
        return;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Whether the reply's status is known and is not a success (2xx).
bool StatusFailed(const QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return false;
    const int code = status.toInt();
    return code < 200 || code > 299;
}

// The size the server reports for url; 0 when it reports none or the
// request fails.
qint64 QuerySize(QNetworkAccessManager& manager, const QUrl& url, int timeout)
{
    ReplyPointer reply(manager.head(Request(url, timeout)));
    WaitForFinish(reply.get());
    if (reply->error() != QNetworkReply::NoError || StatusFailed(reply.get()))
        return 0;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() ? std::max<qint64>(0, length.toLongLong()) : 0;
}

bool SystemReportsConnection()
{
    const QNetworkInformation* information = QNetworkInformation::instance();
    return !information || information->reachability() != QNetworkInformation::Reachability::Disconnected;
}

}  // namespace

CAutoUpdater::CAutoUpdater(SettingReader settings) : settings(std::move(settings))
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadDefaultBackend();
    connectionAvailable = SystemReportsConnection;
    access = new QNetworkAccessManager;
    internetOpen = true;
}

CAutoUpdater::~CAutoUpdater()
{
    CloseInternet();
}

void CAutoUpdater::CloseInternet()
{
    internetOpen = false;
    delete access;
    access = nullptr;
}

bool CAutoUpdater::Connected() const
{
    return internetOpen.load() && (!connectionAvailable || connectionAvailable());
}

QString CAutoUpdater::InstallerFileName() const
{
    return settings(QStringLiteral("ExeName")).left(kValueLength) + QStringLiteral(".deb");
}

QString CAutoUpdater::ServerName() const
{
    return settings(QStringLiteral("UpdateServer")).trimmed();
}

QUrl CAutoUpdater::ServerUrl(const QString& path) const
{
    const QString server = ServerName();
    if (server.isEmpty())
        return {};
    const QString base = server.contains(QLatin1String("://")) ? server : QStringLiteral("http://") + server;
    QUrl url(base);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    url.setPath(path);
    return url;
}

int CAutoUpdater::CheckForUpdate()
{
    if (!Connected() || !access)
        return kCheckNoConnection;
    const QString installed = settings(QStringLiteral("Version")).left(kValueLength);
    if (installed.isEmpty())
        return kCheckNoInstalledVersion;
    const QString exeName = settings(QStringLiteral("ExeName")).left(kValueLength);
    const QUrl url = ServerUrl(QStringLiteral("/upgrade/%1/%1.txt").arg(exeName));
    if (!url.isValid())
        return kCheckFileUnavailable;

    ReplyPointer reply(access->get(Request(url, transferTimeout)));
    // The first 4096 bytes are all that is read; a longer file is cut there.
    for (;;) {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const qint64 wanted = length.isValid() ? std::min(kVersionFileLimit, length.toLongLong()) : kVersionFileLimit;
        if (reply->isFinished() || reply->bytesAvailable() >= wanted)
            break;
        WaitForMore(reply.get());
    }
    if ((reply->isFinished() && reply->error() != QNetworkReply::NoError) || StatusFailed(reply.get()))
        return kCheckFileUnavailable;
    // The file's length is the size the server reports; none: not available.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid())
        return kCheckFileUnavailable;
    const QByteArray bytes = reply->read(std::clamp<qint64>(length.toLongLong(), 0, kVersionFileLimit));
    if (!reply->isFinished())
        reply->abort();

    const VersionFileVerdict verdict =
        JudgeVersionFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                         installed.toStdString());
    newVersion = QString::fromLatin1(verdict.newVersion);
    secondVersion = QString::fromLatin1(verdict.secondVersion);
    return verdict.result;
}

int CAutoUpdater::DownloadUpdate(UpdateState& state, DownloadListener& page)
{
    if (!Connected())
        return kDownloadNoConnection;
    const QString fileName = InstallerFileName();
    const QString localPath = QDir(QDir::tempPath()).filePath(fileName);
    page.SetStatusText(QString::fromLatin1(kGettingSessionText));

    // The access of this thread; the replies go with it.
    QNetworkAccessManager manager;
    const QString exeName = settings(QStringLiteral("ExeName")).left(kValueLength);
    const QUrl url = ServerUrl(QStringLiteral("/upgrade/%1/%2").arg(exeName, fileName));
    const qint64 size = url.isValid() ? QuerySize(manager, url, transferTimeout) : 0;
    if (state.updateCancelled)
        return kDownloadDone;
    if (!url.isValid())
        return kDownloadNoRequest;
    page.SetProgressRange(size);
    page.SetStatusText(QString::fromLatin1(kDownloadingText));
    page.SetFileText(fileName + QStringLiteral(" from ") + ServerName());

    QFile file(localPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return kDownloadFailed;
    ReplyPointer reply(manager.get(Request(url, transferTimeout)));
    reply->setReadBufferSize(16 * kBlockSize);
    QElapsedTimer clock;
    clock.start();
    qint64 received = 0;
    std::int64_t lastSeconds = 1;
    for (;;) {
        if (reply->bytesAvailable() == 0) {
            if (reply->isFinished())
                break;
            WaitForMore(reply.get());
            continue;
        }
        if (StatusFailed(reply.get())) {
            reply->abort();
            return kDownloadFailed;
        }
        const QByteArray block = reply->read(kBlockSize);
        if (file.write(block) != block.size()) {
            reply->abort();
            return kDownloadFailed;
        }
        received += block.size();
        const std::int64_t seconds = (clock.elapsed() + 500) / 1000;
        const TransferTexts texts = FormatTransfer(static_cast<std::uint64_t>(received),
                                                   static_cast<std::uint64_t>(size), seconds, lastSeconds);
        page.SetValueTexts(QString::fromStdString(texts.elapsed), QString::fromStdString(texts.rate));
        page.SetProgress(received);
        if (state.updateCancelled) {
            reply->abort();
            return kDownloadDone;
        }
    }
    if (reply->error() != QNetworkReply::NoError || StatusFailed(reply.get()))
        return kDownloadFailed;
    // A transfer cut short is no installer.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != received)
        return kDownloadFailed;
    if (!file.flush())
        return kDownloadFailed;
    file.close();
    page.SetProgress(size);
    page.SetStatusText(QString::fromLatin1(kDownloadCompletedText));
    state.installerPath = localPath;
    return kDownloadDone;
}

}  // namespace ravelin::update
