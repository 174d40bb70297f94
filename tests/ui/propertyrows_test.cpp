#include "ui/propertyrows.h"

#include <QtTest>

using namespace ravelin;
using namespace ravelin::ui;

namespace {

catalogue::COLUMN Column(const char* name, const char* type, std::uint16_t length = 0)
{
    catalogue::COLUMN c;
    c.name = name;
    c.fieldSource = std::string("RDB$") + name;
    c.typeName = type;
    c.length = length;
    return c;
}

QStringList Row(const std::vector<std::string>& row)
{
    QStringList cells;
    for (const std::string& cell : row)
        cells << QString::fromStdString(cell);
    return cells;
}

QList<QStringList> Rows(const ListRows& rows)
{
    QList<QStringList> list;
    for (const auto& row : rows)
        list << Row(row);
    return list;
}

}  // namespace

class PropertyRowsTest : public QObject {
    Q_OBJECT
private slots:
    void TypeText_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("subType");
        QTest::addColumn<int>("segment");
        QTest::addColumn<QString>("expected");
        QTest::newRow("char") << "CHAR" << 10 << 0 << 0 << "" << 0 << "CHAR(10)";
        QTest::newRow("varchar in lower case") << "varchar" << 80 << 0 << 0 << "" << 0 << "varchar(80)";
        QTest::newRow("numeric") << "NUMERIC" << 4 << 9 << 2 << "" << 0 << "NUMERIC(9,2)";
        QTest::newRow("decimal") << "DECIMAL" << 8 << 18 << 4 << "" << 0 << "DECIMAL(18,4)";
        QTest::newRow("blob text") << "BLOB" << 8 << 0 << 0 << "TEXT" << 80 << "BLOB SUB_TYPE TEXT SEGMENT_SIZE 80";
        QTest::newRow("blob default") << "BLOB" << 8 << 0 << 0 << "DEFAULT" << 255 << "BLOB SUB_TYPE -1 SEGMENT_SIZE 255";
        QTest::newRow("integer stands alone") << "INTEGER" << 4 << 0 << 0 << "" << 0 << "INTEGER";
    }

    void TypeText()
    {
        QFETCH(QString, type);
        QFETCH(int, length);
        QFETCH(int, precision);
        QFETCH(int, scale);
        QFETCH(QString, subType);
        QFETCH(int, segment);
        QFETCH(QString, expected);
        catalogue::COLUMN column = Column("C", type.toLatin1().constData(), static_cast<std::uint16_t>(length));
        column.precision = static_cast<std::uint16_t>(precision);
        column.scale = static_cast<std::uint16_t>(scale);
        column.blobSubTypeName = subType.toStdString();
        column.blobSegmentByte = static_cast<std::uint8_t>(segment);
        QCOMPARE(QString::fromStdString(ColumnTypeText(column)), expected);
    }

    void TablePropertiesDefaultsAndNulls()
    {
        catalogue::SchemaModel model;
        catalogue::TableNode table;
        table.name = "EMPLOYEE";
        table.columns = {Column("ID", "INTEGER", 4), Column("NAME", "VARCHAR", 40), Column("DEPT", "CHAR", 3),
                         Column("BONUS", "NUMERIC", 4)};
        table.columns[0].notNull = 1;
        table.columns[1].hasDefault = 1;
        table.columns[2].hasDefault = 1;
        table.columns[2].fieldSource = "DEPT_CODE";
        table.columns[3].hasDefault = 1;
        table.columns[3].fieldSource = "NO_TEXT";
        model.tables.push_back(table);
        model.defaultTexts = {"DEFAULT 'x'", "DEFAULT 'HQ'"};
        // The first link of the field source counts; a link past the texts shows nothing.
        model.columnDefaults = {{"DEPT_CODE", 1}, {"DEPT_CODE", 0}, {"NO_TEXT", 7}, {"RDB$NAME", 0}};
        model.notNullSources = {{"DEPT_CODE", 0}};
        const QList<QStringList> rows = Rows(TablePropertyRows(model, "employee"));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0], (QStringList{"ID", "INTEGER", "", "", "No"}));
        QCOMPARE(rows[1], (QStringList{"NAME", "VARCHAR(40)", "", "DEFAULT 'x'", "Yes"}));
        QCOMPARE(rows[2], (QStringList{"DEPT", "CHAR(3)", "", "DEFAULT 'HQ'", "No"}));
        QCOMPARE(rows[3], (QStringList{"BONUS", "NUMERIC(0,0)", "", "", "Yes"}));
        QVERIFY(TablePropertyRows(model, "NOBODY").empty());
    }

    void Utf8ColumnsShowCharactersAndTheirSet()
    {
        catalogue::SchemaModel model;
        catalogue::TableNode table;
        table.name = "MEDICINE";
        table.columns = {Column("NAME", "VARCHAR", 400), Column("CODE", "CHAR", 9)};
        table.columns[0].typeCode = catalogue::kTypeVarchar;
        table.columns[0].characterSet = 59;  // UTF8: 4 bytes a character
        table.columns[1].typeCode = catalogue::kTypeChar;
        model.tables.push_back(table);
        const QList<QStringList> rows = Rows(TablePropertyRows(model, "MEDICINE"));
        QCOMPARE(rows[0], (QStringList{"NAME", "VARCHAR(100)", "UTF8", "", "Yes"}));
        QCOMPARE(rows[1], (QStringList{"CODE", "CHAR(9)", "", "", "Yes"}));
    }

    void KeysShowFirstSegmentAndHideSystemNames()
    {
        catalogue::SchemaModel model;
        catalogue::IndexNode pk{"RDB$PRIMARY1", "EMPLOYEE", "", {"ID", "BRANCH"}};
        catalogue::IndexNode fk{"FK_DEPT", "employee", "RDB$PRIMARY7", {"DEPT"}};
        catalogue::IndexNode other{"RDB$PRIMARY9", "DEPARTMENT", "", {"CODE"}};
        model.indices = {pk, fk, other};
        model.keyConstraints = {{"FOREIGN KEY", "FK_EMP_DEPT", "EMPLOYEE", "fk_dept"},
                                {"PRIMARY KEY", "integ_4", "EMPLOYEE", "RDB$PRIMARY1"},
                                {"UNIQUE", "UQ_EMP", "EMPLOYEE", "RDB$PRIMARY1"},
                                {"PRIMARY KEY", "INTEG_9", "DEPARTMENT", "RDB$PRIMARY9"}};
        const QList<QStringList> rows = Rows(TableKeyRows(model, "Employee"));
        QCOMPARE(rows, (QList<QStringList>{{"ID", "PRIMARY KEY", " "},
                                            {"ID", "UNIQUE", "UQ_EMP"},
                                            {"DEPT", "FOREIGN KEY", "FK_EMP_DEPT"}}));
        // The index's own list shows every segment.
        QCOMPARE(Rows(IndexPropertyRows(model, "rdb$primary1")),
                 (QList<QStringList>{{"ID , BRANCH", "EMPLOYEE", "", ""}}));
        QCOMPARE(Rows(IndexPropertyRows(model, "FK_DEPT")),
                 (QList<QStringList>{{"DEPT", "employee", "RDB$PRIMARY7", ""}}));
    }

    void ViewColumnsFollowTheTablesInOrder()
    {
        catalogue::SchemaModel model;
        catalogue::TableNode employee;
        employee.name = "EMPLOYEE";
        employee.columns = {Column("ID", "INTEGER", 4), Column("NAME", "VARCHAR", 40)};
        catalogue::TableNode dept;
        dept.name = "DEPT";
        dept.columns = {Column("CODE", "CHAR", 3)};
        model.tables = {employee, dept};
        catalogue::ViewNode view;
        view.name = "STAFF";
        view.columns = {{"EMP_ID", "rdb$id", "", 0}, {"DEPT_CODE", "RDB$CODE", "", 1}};
        model.views.push_back(view);
        QCOMPARE(Rows(ViewPropertyRows(model, "staff")),
                 (QList<QStringList>{{"EMP_ID", "EMPLOYEE", "\"EMPLOYEE\".\"ID\"", "INTEGER(4)"},
                                     {"DEPT_CODE", "DEPT", "\"DEPT\".\"CODE\"", "CHAR(3)"}}));

        // A view column whose match lies before the cursor ends the rows early.
        model.views[0].columns = {{"DEPT_CODE", "RDB$CODE", "", 0}, {"EMP_ID", "RDB$ID", "", 1}};
        QCOMPARE(Rows(ViewPropertyRows(model, "STAFF")),
                 (QList<QStringList>{{"DEPT_CODE", "DEPT", "\"DEPT\".\"CODE\"", "CHAR(3)"}}));
        model.views[0].columns.clear();
        QVERIFY(ViewPropertyRows(model, "STAFF").empty());
    }
};

QTEST_MAIN(PropertyRowsTest)
#include "propertyrows_test.moc"
