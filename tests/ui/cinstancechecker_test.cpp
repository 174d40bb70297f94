#include "ui/cinstancechecker.h"

#include <QtTest>

using namespace ravelin::ui;

class CInstanceCheckerTest : public QObject {
    Q_OBJECT
private slots:
    void SecondStartRaisesTheFirst()
    {
        // A name of its own, so a running copy of the program is not disturbed.
        const QString title = QStringLiteral("RavelinTest%1").arg(QCoreApplication::applicationPid());
        CInstanceChecker first(title);
        CInstanceChecker second(title);
        QVERIFY(first.Name().contains(title));

        // Before the first instance registers, nothing is detected.
        QVERIFY(!second.ActivatePreviousInstance());

        int raised = 0;
        QVERIFY(first.TrackFirstInstance([&] { ++raised; }));
        QVERIFY(second.ActivatePreviousInstance());
        QTRY_COMPARE(raised, 1);
        // A later copy cannot register while the first one runs.
        QVERIFY(!second.TrackFirstInstance([] {}));
        QVERIFY(second.ActivatePreviousInstance());
        QTRY_COMPARE(raised, 2);
    }

    void StaleSocketIsReplaced()
    {
        const QString title = QStringLiteral("RavelinStale%1").arg(QCoreApplication::applicationPid());
        {
            CInstanceChecker crashed(title);
            QVERIFY(crashed.TrackFirstInstance([] {}));
        }
        CInstanceChecker next(title);
        QVERIFY(!next.ActivatePreviousInstance());
        QVERIFY(next.TrackFirstInstance([] {}));
    }

    void MinimisedWindowIsRestored()
    {
        QWidget window;
        window.show();
        window.showMinimized();
        RaiseWindow(&window);
        QVERIFY(!(window.windowState() & Qt::WindowMinimized));
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(CInstanceCheckerTest)
#include "cinstancechecker_test.moc"
