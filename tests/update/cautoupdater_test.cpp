#include "update/cautoupdater.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "testhttpserver.h"
#include "update/versioncheck.h"

using namespace ravelin::update;
using namespace ravelin::update::testing;

namespace {

// An update server, a temporary folder for the installer and the settings
// of an installed version 1.0.0.5 named "rvtest".
struct Setup {
    TestHttpServer server;
    QTemporaryDir temp;
    QHash<QString, QString> values;
    CAutoUpdater updater{[this](const QString& name) { return values.value(name); }};

    Setup()
    {
        values = {{QStringLiteral("Version"), QStringLiteral("1.0.0.5")},
                  {QStringLiteral("ExeName"), QStringLiteral("rvtest")},
                  {QStringLiteral("UpdateServer"), server.Address()}};
        // The temporary folder the installer goes to.
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        updater.connectionAvailable = [] { return true; };
        updater.transferTimeout = 10000;
    }
    QString InstallerPath() const { return QDir(temp.path()).filePath(QStringLiteral("rvtest.deb")); }
};

// The download page as the download reports to it.
struct RecordingPage final : DownloadListener {
    QStringList statuses;
    QString fileText;
    QStringList elapsed;
    QStringList rates;
    qint64 range = -1;
    QList<qint64> positions;
    std::function<void()> onProgress;

    void SetStatusText(const QString& text) override { statuses << text; }
    void SetFileText(const QString& text) override { fileText = text; }
    void SetValueTexts(const QString& e, const QString& r) override
    {
        elapsed << e;
        rates << r;
    }
    void SetProgressRange(qint64 size) override { range = size; }
    void SetProgress(qint64 position) override
    {
        positions << position;
        if (onProgress)
            onProgress();
    }
};

QByteArray Installer(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    return bytes;
}

const QByteArray kVersionPath = "/upgrade/rvtest/rvtest.txt";
const QByteArray kInstallerPath = "/upgrade/rvtest/rvtest.deb";

}  // namespace

class CAutoUpdaterTest : public QObject {
    Q_OBJECT
private slots:
    void CheckForUpdate_data()
    {
        QTest::addColumn<QByteArray>("file");       // the version file; "-" none on the server
        QTest::addColumn<bool>("sendLength");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("server");        // "" as set up; "none" no address; else the address
        QTest::addColumn<QString>("connection");    // "" connected; "closed" internet closed; "offline"
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("newVersion");
        QTest::newRow("1.0.0.5 to 1.0.0.6") << QByteArray("1.0.0.6 fixes\r\n") << true << "1.0.0.5" << "" << "" << 1 << "1.0.0.6";
        QTest::newRow("a new major release") << QByteArray("2.0.0.0 release\r\n") << true << "1.0.0.5" << "" << "" << 2 << "2.0.0.0";
        QTest::newRow("two lines of news") << QByteArray("1.0.0.6 a\r\n1.0.0.7 b\r\n") << true << "1.0.0.5" << "" << "" << 3 << "1.0.0.7";
        QTest::newRow("the installed version is current") << QByteArray("1.0.0.5 same\n") << true << "1.0.0.5" << "" << "" << 9 << "1.0.0.5";
        QTest::newRow("an empty file") << QByteArray("") << true << "1.0.0.5" << "" << "" << 9 << "";
        QTest::newRow("a letter in the version") << QByteArray("1.0.a.6 typo\n") << true << "1.0.0.5" << "" << "" << 0 << "1.0.a.6";
        QTest::newRow("a file longer than 4096 bytes") << QByteArray("1.0.0.6 x\n" + QByteArray(10000, 'a')) << true << "1.0.0.5" << "" << "" << 1 << "1.0.0.6";
        QTest::newRow("no installed version") << QByteArray("1.0.0.6 x\n") << true << "" << "" << "" << 8 << "";
        QTest::newRow("no version file") << QByteArray("-") << true << "1.0.0.5" << "" << "" << 5 << "";
        QTest::newRow("no size reported") << QByteArray("1.0.0.6 x\n") << false << "1.0.0.5" << "" << "" << 5 << "";
        QTest::newRow("no server configured") << QByteArray("1.0.0.6 x\n") << true << "1.0.0.5" << "none" << "" << 5 << "";
        QTest::newRow("server not answering") << QByteArray("1.0.0.6 x\n") << true << "1.0.0.5" << "127.0.0.1:1" << "" << 5 << "";
        QTest::newRow("internet access closed") << QByteArray("1.0.0.6 x\n") << true << "1.0.0.5" << "" << "closed" << 4 << "";
        QTest::newRow("the system reports no connection") << QByteArray("1.0.0.6 x\n") << true << "1.0.0.5" << "" << "offline" << 4 << "";
    }

    void CheckForUpdate()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, sendLength);
        QFETCH(QString, installed);
        QFETCH(QString, server);
        QFETCH(QString, connection);
        QFETCH(int, code);
        QFETCH(QString, newVersion);
        Setup s;
        if (file != "-")
            s.server.SetRoute(kVersionPath, Route{200, file, sendLength, -1});
        s.values[QStringLiteral("Version")] = installed;
        if (server == QLatin1String("none"))
            s.values.remove(QStringLiteral("UpdateServer"));
        else if (!server.isEmpty())
            s.values[QStringLiteral("UpdateServer")] = server;
        if (connection == QLatin1String("closed"))
            s.updater.CloseInternet();
        else if (connection == QLatin1String("offline"))
            s.updater.connectionAvailable = [] { return false; };
        QCOMPARE(s.updater.CheckForUpdate(), code);
        QCOMPARE(s.updater.NewVersion(), newVersion);
        // Asked for the version file only, as the update agent, never from a
        // cache. The checker sends one request; the client library may send it
        // again on its own when the server closes a connection whose answer
        // has no length, so only a second, different request is a fault.
        const QList<Request> requests = s.server.Requests();
        for (const Request& request : requests) {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.path, kVersionPath);
            QCOMPARE(request.headers.value("user-agent"), QByteArray("AutoUpdateAgent"));
            QCOMPARE(request.headers.value("cache-control"), QByteArray("no-cache"));
        }
        if (code != 4 && code != 8 && server.isEmpty())
            QVERIFY(!requests.isEmpty());
        if (sendLength)
            QVERIFY(requests.size() <= 1);
        if (code == 4 || code == 8)
            QVERIFY(requests.isEmpty());
    }

    void DownloadWithKnownSize()
    {
        Setup s;
        const QByteArray installer = Installer(300 * 1024);
        s.server.SetRoute(kInstallerPath, Route{200, installer, true, -1});
        RecordingPage page;
        UpdateState state;
        QCOMPARE(s.updater.DownloadUpdate(state, page), kDownloadDone);
        QCOMPARE(page.statuses, (QStringList{"Getting Internet Session.", "Downloading files ...", "Download completed."}));
        QCOMPARE(page.fileText, QStringLiteral("rvtest.deb from %1").arg(s.server.Address()));
        QCOMPARE(page.range, qint64(installer.size()));
        QCOMPARE(page.positions.last(), qint64(installer.size()));
        QVERIFY(!page.elapsed.isEmpty());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ sec\\(300\\.00 KB of 300\\.00 KB copied\\)$"))
                     .match(page.elapsed.last())
                     .hasMatch(),
                 qPrintable(page.elapsed.last()));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d (bytes|KB|MB|GB)/sec$")).match(page.rates.last()).hasMatch(),
                 qPrintable(page.rates.last()));
        QCOMPARE(state.installerPath, s.InstallerPath());
        QFile file(state.installerPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), installer);
        // The size was asked first, then the installer fetched.
        const QList<Request> requests = s.server.Requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, QByteArray("HEAD"));
        QCOMPARE(requests[1].method, QByteArray("GET"));
        QCOMPARE(requests[1].path, kInstallerPath);
    }

    void DownloadWithoutSize()
    {
        Setup s;
        const QByteArray installer = Installer(200 * 1024 + 17);
        s.server.SetRoute(kInstallerPath, Route{200, installer, false, -1});
        RecordingPage page;
        UpdateState state;
        QCOMPARE(s.updater.DownloadUpdate(state, page), kDownloadDone);
        QCOMPARE(page.range, qint64(0));
        QVERIFY2(QRegularExpression(QStringLiteral("^200 Ko in \\d+ sec$")).match(page.elapsed.last()).hasMatch(),
                 qPrintable(page.elapsed.last()));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+/sec$")).match(page.rates.last()).hasMatch(),
                 qPrintable(page.rates.last()));
        QCOMPARE(page.statuses.last(), QStringLiteral("Download completed."));
        QFile file(state.installerPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), installer);
    }

    void DownloadsThatLeaveNoInstaller_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("fetched");  // whether the installer was requested
        QTest::newRow("cancelled during the transfer") << "cancel" << kDownloadDone << true;
        QTest::newRow("cancelled before the request") << "cancel first" << kDownloadDone << false;
        QTest::newRow("connection dropped") << "drop" << kDownloadFailed << true;
        QTest::newRow("no installer on the server") << "missing" << kDownloadFailed << true;
        QTest::newRow("no connection") << "offline" << kDownloadNoConnection << false;
        QTest::newRow("no server configured") << "no server" << kDownloadNoRequest << false;
    }

    void DownloadsThatLeaveNoInstaller()
    {
        QFETCH(QString, how);
        QFETCH(int, code);
        QFETCH(bool, fetched);
        Setup s;
        const QByteArray installer = Installer(512 * 1024);
        if (how != QLatin1String("missing"))
            s.server.SetRoute(kInstallerPath, Route{200, installer, true, how == QLatin1String("drop") ? 10000 : -1});
        RecordingPage page;
        UpdateState state;
        state.installerPath = QStringLiteral("/earlier/installer.deb");
        if (how == QLatin1String("cancel"))
            page.onProgress = [&] { state.updateCancelled = true; };
        if (how == QLatin1String("cancel first"))
            state.updateCancelled = true;
        if (how == QLatin1String("offline"))
            s.updater.connectionAvailable = [] { return false; };
        if (how == QLatin1String("no server"))
            s.values.remove(QStringLiteral("UpdateServer"));
        QCOMPARE(s.updater.DownloadUpdate(state, page), code);
        QCOMPARE(state.installerPath, QStringLiteral("/earlier/installer.deb"));
        QVERIFY(!page.statuses.contains(QStringLiteral("Download completed.")));
        bool gets = false;
        for (const Request& request : s.server.Requests())
            gets = gets || request.method == "GET";
        QCOMPARE(gets, fetched);
        if (how == QLatin1String("cancel"))
            QCOMPARE(page.positions.size(), 1);
        if (!fetched)
            QVERIFY(!QFile::exists(s.InstallerPath()));
    }

    void ServerAddressFromTheSettings_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("url");
        QTest::newRow("host only: port 80") << "updates.example.org" << "http://updates.example.org/upgrade/x/x.txt";
        QTest::newRow("host and port") << "127.0.0.1:8080" << "http://127.0.0.1:8080/upgrade/x/x.txt";
        QTest::newRow("with its scheme") << "http://updates.example.org" << "http://updates.example.org/upgrade/x/x.txt";
        QTest::newRow("blanks around") << "  updates.example.org " << "http://updates.example.org/upgrade/x/x.txt";
        QTest::newRow("none") << "" << "";
    }

    void ServerAddressFromTheSettings()
    {
        QFETCH(QString, server);
        QFETCH(QString, url);
        CAutoUpdater updater([&](const QString& name) {
            return name == QLatin1String("UpdateServer") ? server : QString();
        });
        QCOMPARE(updater.ServerUrl(QStringLiteral("/upgrade/x/x.txt")).toString(), url);
        QCOMPARE(updater.ServerUrl(QStringLiteral("/upgrade/x/x.txt")).port(80), 80 + (url.contains(":8080") ? 8000 : 0));
    }
};

QTEST_GUILESS_MAIN(CAutoUpdaterTest)
#include "cautoupdater_test.moc"
