#include "ui/blankdatabase.h"

#include <ibase.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace ravelin::ui;

namespace {

// Attaches to the database at path and detaches again; yields whether the
// attach succeeded.
bool Attaches(const QString& path)
{
    ISC_STATUS_ARRAY status{};
    isc_db_handle database = 0;
    const QByteArray name = path.toLocal8Bit();
    const char dpb[] = {isc_dpb_version1, isc_dpb_user_name, 6, 'S', 'Y', 'S', 'D', 'B', 'A',
                        isc_dpb_password, 9, 'm', 'a', 's', 't', 'e', 'r', 'k', 'e', 'y'};
    if (isc_attach_database(status, 0, name.constData(), &database, sizeof dpb, dpb) != 0)
        return false;
    isc_detach_database(status, &database);
    return true;
}

}  // namespace

class BlankDatabaseTest : public QObject {
    Q_OBJECT
private slots:
    void CreatesADatabaseThatCanBeAttached()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("it's new.ib"));  // a quote in the name
        QCOMPARE(CreateBlankDatabase(path, QStringLiteral("SYSDBA"), QStringLiteral("masterkey")), QString());
        QVERIFY(QFileInfo(path).size() > 0);
        QVERIFY(Attaches(path));
    }

    void RefusesAnExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("blank.ib"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("not to be touched");
        existing.close();
        const QString failure = CreateBlankDatabase(path, QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
        QVERIFY(failure.contains(path));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("not to be touched"));
    }

    void ReportsWhyCreationFailed()
    {
        const QString failure = CreateBlankDatabase(QStringLiteral("/no/such/folder/x.ib"), QStringLiteral("SYSDBA"),
                                                    QStringLiteral("masterkey"));
        QVERIFY(failure.startsWith(QStringLiteral("The database /no/such/folder/x.ib could not be created:")));
        QVERIFY(failure.size() > 60);  // the client library's own reason follows
    }
};

QTEST_MAIN(BlankDatabaseTest)
#include "blankdatabase_test.moc"
