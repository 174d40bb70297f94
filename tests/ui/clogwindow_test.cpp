#include "ui/clogwindow.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace ravelin::ui;

class CLogWindowTest : public QObject {
    Q_OBJECT
private slots:
    void ReportPath_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no extension") << "/tmp/report" << "/tmp/report.log";
        QTest::newRow("already .log") << "/tmp/report.log" << "/tmp/report.log";
        QTest::newRow(".log in other letter case") << "/tmp/Report.LoG" << "/tmp/Report.LoG";
        QTest::newRow("other extension") << "/tmp/report.txt" << "/tmp/report.txt.log";
        QTest::newRow("log without the dot") << "/tmp/catalog" << "/tmp/catalog.log";
        QTest::newRow("just .log") << ".log" << ".log";
    }

    void ReportPath()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        QCOMPARE(LogReportPath(chosen), expected);
    }

    void ReportBytes_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty log") << QStringList{} << QByteArray();
        QTest::newRow("an empty line is CR LF alone") << QStringList{QString()} << QByteArray("\x0D\0\x0A\0", 4);
        QTest::newRow("ASCII") << QStringList{"Ab", "c"} << QByteArray("A\0b\0\x0D\0\x0A\0c\0\x0D\0\x0A\0", 14);
        QTest::newRow("beyond Latin-1") << QStringList{QString::fromUtf8("\xE2\x82\xAC")}
                                        << QByteArray("\xAC\x20\x0D\0\x0A\0", 6);
        QTest::newRow("surrogate pair stays two units") << QStringList{QString::fromUtf8("\xF0\x9F\x98\x80")}
                                                        << QByteArray("\x3D\xD8\x00\xDE\x0D\0\x0A\0", 8);
    }

    void ReportBytes()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.log"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older, longer report that must not show through");
        old.close();
        QString reason;
        QVERIFY(SaveLogReport(path, lines, reason));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes);
    }

    void SaveFailsWithAReason()
    {
        QTemporaryDir dir;
        QString reason;
        QVERIFY(!SaveLogReport(dir.filePath(QStringLiteral("missing/folder/report.log")), {"x"}, reason));
        QVERIFY(reason.contains(QStringLiteral("missing/folder")));
    }

    void LinesKeepArrivalOrder()
    {
        CLogWindow pane;
        QCOMPARE(pane.windowTitle(), QStringLiteral("Log window"));
        for (const char* line : {"one", "", "two"})
            pane.List()->AppendLine(QString::fromLatin1(line));
        QCOMPARE(pane.List()->Lines(), (QStringList{"one", "", "two"}));
    }
};

QTEST_MAIN(CLogWindowTest)
#include "clogwindow_test.moc"
