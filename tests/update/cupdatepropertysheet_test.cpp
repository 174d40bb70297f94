#include "update/cupdatepropertysheet.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "testhttpserver.h"
#include "update/versioncheck.h"

using namespace ravelin::update;
using namespace ravelin::update::testing;

namespace {

const QByteArray kVersionPath = "/upgrade/rvtest/rvtest.txt";
const QByteArray kInstallerPath = "/upgrade/rvtest/rvtest.deb";

struct Setup {
    TestHttpServer server;
    QTemporaryDir temp;
    QHash<QString, QString> values;
    CAutoUpdater::SettingReader reader = [this](const QString& name) { return values.value(name); };
    CAutoUpdater updater{reader};
    UpdateState state;
    QList<QUrl> opened;
    UrlOpener opener = [this](const QUrl& url) {
        opened << url;
        return true;
    };

    Setup()
    {
        values = {{QStringLiteral("Version"), QStringLiteral("1.0.0.5")},
                  {QStringLiteral("ExeName"), QStringLiteral("rvtest")},
                  {QStringLiteral("UpdateServer"), server.Address()},
                  {QStringLiteral("Update"), QStringLiteral("https://updates.example.org/upgrade.html")}};
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        updater.connectionAvailable = [] { return true; };
        updater.transferTimeout = 10000;
    }
};

QStringList LabelTexts(const QWidget* page)
{
    QStringList texts;
    for (const QLabel* label : page->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

QString ButtonStates(const CUpdatePropertySheet& sheet)
{
    const auto state = [](const QPushButton* button) {
        return !button->isVisible() ? QStringLiteral("hidden") : button->isEnabled() ? QStringLiteral("on") : QStringLiteral("off");
    };
    return QStringLiteral("back %1, next %2, cancel %3")
        .arg(state(sheet.BackButton()), state(sheet.NextButton()), state(sheet.CancelButton()));
}

// Runs step on the open wizard every 20 ms until it returns true.
void DriveModal(const std::function<bool(CUpdatePropertySheet*)>& step)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
        auto* sheet = qobject_cast<CUpdatePropertySheet*>(QApplication::activeModalWidget());
        if (sheet && step(sheet))
            timer->deleteLater();
    });
    timer->start();
}

}  // namespace

class CUpdatePropertySheetTest : public QObject {
    Q_OBJECT
private slots:
    void StartPage()
    {
        Setup s;
        CUpdatePropertySheet sheet(nullptr, s.updater, s.state, s.reader, s.opener);
        sheet.show();
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Ravelin Update Wizard"));
        QCOMPARE(sheet.CurrentPage(), int(CUpdatePropertySheet::kStartPage));
        const QStringList texts = LabelTexts(sheet.StartPage());
        for (const char* text :
             {"Welcome to the Varentis Korvane update wizard",
              "Update wizard checks for the latest updates available and updates product if a newer version is "
              "available online.",
              "It is strongly recommended that you close all other running applications before clicking 'Next'. This "
              "will help prevent any conflict during the update process.",
              "Click Next to continue..."})
            QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
        QCOMPARE(ButtonStates(sheet), QStringLiteral("back off, next on, cancel on"));
        // No Help button.
        for (const QPushButton* button : sheet.findChildren<QPushButton*>())
            QVERIFY(button->text() != QLatin1String("Help"));
    }

    void CheckPageByResult_data()
    {
        QTest::addColumn<QByteArray>("file");  // "-": no version file on the server
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("notice");
        QTest::addColumn<bool>("next");
        QTest::addColumn<bool>("animating");
        const QString searching = "Varentis Korvane Update Wizard is searching for latest updates available online.";
        const QString allUpdates = "Application has all latest updates. Click cancel to close the window.";
        QTest::newRow("1: a new update") << QByteArray("1.0.0.6 fixes\r\n") << "1.0.0.5" << true << 1
                                         << "A new update 1.0.0.6 is available. Click Next to proceed further."
                                         << false << true << false;
        QTest::newRow("2: a new major release") << QByteArray("2.0.0.0 major\r\n") << "1.0.0.5" << true << 2
                                                << allUpdates << true << true << false;
        QTest::newRow("3: both lines") << QByteArray("1.0.0.6 a\r\n1.0.0.7 b\r\n") << "1.0.0.5" << true << 3
                                       << "A new update 1.0.0.7 is available. Click Next to proceed further." << true
                                       << true << false;
        QTest::newRow("4: no connection") << QByteArray("1.0.0.6 x\r\n") << "1.0.0.5" << false << 4
                                          << "Connection to server could not be established. Please try later."
                                          << false << false << false;
        QTest::newRow("5: no version file") << QByteArray("-") << "1.0.0.5" << true << 5 << allUpdates << false
                                            << false << false;
        QTest::newRow("8: no installed version") << QByteArray("1.0.0.6 x\r\n") << "" << true << 8 << allUpdates
                                                 << false << false << false;
        QTest::newRow("9: an empty file") << QByteArray("") << "1.0.0.5" << true << 9
                                          << "This application is updated." << false << false << false;
        QTest::newRow("0: a letter") << QByteArray("1.0.a.6 typo\r\n") << "1.0.0.5" << true << 0 << searching
                                     << false << false << true;
    }

    void CheckPageByResult()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, installed);
        QFETCH(bool, online);
        QFETCH(int, code);
        QFETCH(QString, status);
        QFETCH(bool, notice);
        QFETCH(bool, next);
        QFETCH(bool, animating);
        Setup s;
        if (file != "-")
            s.server.SetRoute(kVersionPath, Route{200, file, true, -1});
        s.values[QStringLiteral("Version")] = installed;
        if (!online)
            s.updater.connectionAvailable = [] { return false; };
        CUpdatePropertySheet sheet(nullptr, s.updater, s.state, s.reader, s.opener);
        sheet.startDelay = 0;
        sheet.show();
        QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        // As the page is shown, before the check.
        QCOMPARE(sheet.CurrentPage(), int(CUpdatePropertySheet::kCheckPage));
        CUpdateProcessPage* page = sheet.CheckPage();
        QCOMPARE(page->StatusText()->text(),
                 QStringLiteral("Varentis Korvane Update Wizard is searching for latest updates available online."));
        QCOMPARE(ButtonStates(sheet), QStringLiteral("back off, next off, cancel on"));
        QVERIFY(!page->Notice()->isVisible());
        QVERIFY(!page->Link()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(sheet.CheckResult() != -1, 15000);
        QCOMPARE(sheet.CheckResult(), code);
        QCOMPARE(page->StatusText()->text(), status);
        QCOMPARE(page->Notice()->isVisible(), notice);
        QCOMPARE(page->Link()->isVisible(), notice);
        QCOMPARE(sheet.NextButton()->isEnabled(), next);
        QVERIFY(sheet.BackButton()->isEnabled());
        QCOMPARE(page->Animation()->IsPlaying(), animating);
        QVERIFY(sheet.isVisible());
    }

    void BackReturnsToTheStartPage()
    {
        Setup s;
        CUpdatePropertySheet sheet(nullptr, s.updater, s.state, s.reader, s.opener);
        sheet.startDelay = 0;
        sheet.show();
        sheet.NextButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(sheet.CheckResult() != -1, 15000);
        sheet.BackButton()->click();
        QCOMPARE(sheet.CurrentPage(), int(CUpdatePropertySheet::kStartPage));
        QCOMPARE(ButtonStates(sheet), QStringLiteral("back off, next on, cancel on"));
    }

    void LinkOpensTheUpgradePage()
    {
        Setup s;
        s.server.SetRoute(kVersionPath, Route{200, "2.0.0.0 major\r\n", true, -1});
        CUpdatePropertySheet sheet(nullptr, s.updater, s.state, s.reader, s.opener);
        sheet.startDelay = 0;
        sheet.show();
        sheet.NextButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(sheet.CheckResult(), 2, 15000);
        QLabel* link = sheet.CheckPage()->Link();
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(link->text().contains(QLatin1String("Visit upgrade page")));
        QMetaObject::invokeMethod(link, "linkActivated", Q_ARG(QString, QStringLiteral("upgrade")));
        QCOMPARE(s.opened, QList<QUrl>{QUrl(QStringLiteral("https://updates.example.org/upgrade.html"))});
    }

    void CancelStartsNothing_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("on the start page") << int(CUpdatePropertySheet::kStartPage);
        QTest::newRow("on the check page") << int(CUpdatePropertySheet::kCheckPage);
    }

    void CancelStartsNothing()
    {
        QFETCH(int, page);
        Setup s;
        s.server.SetRoute(kVersionPath, Route{200, "1.0.0.6 x\r\n", true, -1});
        s.server.SetRoute(kInstallerPath, Route{200, QByteArray(1000, 'i'), true, -1});
        DriveModal([&](CUpdatePropertySheet* sheet) {
            sheet->startDelay = 0;
            if (sheet->CurrentPage() < page) {
                sheet->NextButton()->click();
                return false;
            }
            if (page == CUpdatePropertySheet::kCheckPage && sheet->CheckResult() == -1)
                return false;
            sheet->CancelButton()->click();
            return true;
        });
        QVERIFY(!RunUpdateCommand(nullptr, s.updater, s.state, s.reader, s.opener));
        QVERIFY(s.state.updateCancelled);
        QVERIFY(s.state.installerPath.isEmpty());
        QVERIFY(s.updater.InternetOpen());
        for (const Request& request : s.server.Requests())
            QVERIFY(request.path != kInstallerPath);
    }

    void DownloadEndsTheWizard()
    {
        Setup s;
        const QByteArray installer(256 * 1024 + 5, 'i');
        s.server.SetRoute(kVersionPath, Route{200, "1.0.0.6 x\r\n", true, -1});
        s.server.SetRoute(kInstallerPath, Route{200, installer, true, -1});
        QString statesOnTheDownloadPage;
        DriveModal([&](CUpdatePropertySheet* sheet) {
            sheet->startDelay = 0;
            if (sheet->CurrentPage() == CUpdatePropertySheet::kStartPage) {
                sheet->NextButton()->click();
            } else if (sheet->CurrentPage() == CUpdatePropertySheet::kCheckPage && sheet->NextButton()->isEnabled()) {
                sheet->NextButton()->click();
                // The download starts once the event loop runs again.
                statesOnTheDownloadPage = ButtonStates(*sheet);
                // The window refuses to close while the download is due.
                sheet->reject();
                if (!sheet->isVisible())
                    statesOnTheDownloadPage += QStringLiteral(", closed");
                return true;
            }
            return false;
        });
        QVERIFY(RunUpdateCommand(nullptr, s.updater, s.state, s.reader, s.opener));
        QCOMPARE(statesOnTheDownloadPage, QStringLiteral("back hidden, next off, cancel off"));
        QVERIFY(!s.state.updateCancelled);
        QCOMPARE(s.state.installerPath, QDir(s.temp.path()).filePath(QStringLiteral("rvtest.deb")));
        QFile file(s.state.installerPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), installer);
        // The checker's internet access is closed before the hand-over.
        QVERIFY(!s.updater.InternetOpen());
    }

    void FailedDownloadLetsTheUserLeave()
    {
        Setup s;
        s.server.SetRoute(kVersionPath, Route{200, "1.0.0.6 x\r\n", true, -1});
        s.server.SetRoute(kInstallerPath, Route{200, QByteArray(300 * 1024, 'i'), true, 1000});
        CUpdatePropertySheet sheet(nullptr, s.updater, s.state, s.reader, s.opener);
        sheet.startDelay = 0;
        sheet.show();
        sheet.NextButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(sheet.CheckResult(), 1, 15000);
        sheet.NextButton()->click();
        QCOMPARE(sheet.CurrentPage(), int(CUpdatePropertySheet::kDownloadPage));
        QTRY_COMPARE_WITH_TIMEOUT(sheet.DownloadResult(), kDownloadFailed, 15000);
        QVERIFY(sheet.isVisible());
        QCOMPARE(sheet.DownloadPage()->StatusText()->text(),
                 QStringLiteral("Connection to server could not be established. Please try later."));
        QCOMPARE(ButtonStates(sheet), QStringLiteral("back hidden, next off, cancel on"));
        QVERIFY(s.state.installerPath.isEmpty());
        sheet.CancelButton()->click();
        QVERIFY(!sheet.isVisible());
        QVERIFY(s.state.updateCancelled);
    }

    void DownloadPageShowsTheTransfer()
    {
        Setup s;
        const QByteArray installer(3 * 1024 * 1024, 'i');
        s.server.SetRoute(kInstallerPath, Route{200, installer, true, -1});
        CUpdatePropertySheet sheet(nullptr, s.updater, s.state, s.reader, s.opener);
        CUpdateFinalPage* page = sheet.DownloadPage();
        QCOMPARE(page->StatusText()->text(), QStringLiteral("Saving file:"));
        // The download thread reports to the page from its own thread.
        CUpdateThread thread(s.updater, s.state, *page, nullptr);
        s.state.updateCancelled = true;  // cleared as the thread starts
        thread.start();
        QVERIFY(thread.wait(20000));
        QCOMPARE(thread.Result(), kDownloadDone);
        QCoreApplication::processEvents();
        QCOMPARE(page->StatusText()->text(), QStringLiteral("Download completed."));
        QCOMPARE(page->FileText()->text(), QStringLiteral("rvtest.deb from %1").arg(s.server.Address()));
        QVERIFY(page->ElapsedText()->text().endsWith(QLatin1String("sec(3.00 MB of 3.00 MB copied)")));
        QVERIFY(page->RateText()->text().endsWith(QLatin1String("/sec")));
        QCOMPARE(page->Progress()->value(), page->Progress()->maximum());
        QVERIFY(!s.state.updateCancelled);
    }
};

QTEST_MAIN(CUpdatePropertySheetTest)
#include "cupdatepropertysheet_test.moc"
