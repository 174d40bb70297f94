#include "writer/tabledefinition.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ravelin::writer {
namespace {

using catalogue::COLUMN;
using catalogue::SchemaModel;
using catalogue::TableNode;

COLUMN Column(std::string name, std::string typeName, std::uint8_t typeCode, std::uint16_t length = 0)
{
    COLUMN c;
    c.name = std::move(name);
    c.fieldSource = "RDB$" + c.name;
    c.typeName = std::move(typeName);
    c.typeCode = typeCode;
    c.length = length;
    return c;
}

COLUMN Numeric(std::string name, std::string typeName, std::uint8_t typeCode, std::uint16_t precision,
               std::uint16_t scale)
{
    COLUMN c = Column(std::move(name), std::move(typeName), typeCode, 8);
    c.precision = precision;
    c.scale = scale;
    return c;
}

COLUMN WithDefault(COLUMN c, SchemaModel& model, std::string text)
{
    c.hasDefault = 1;
    model.columnDefaults.push_back({c.fieldSource, static_cast<std::uint16_t>(model.defaultTexts.size())});
    model.defaultTexts.push_back(std::move(text));
    return c;
}

COLUMN NotNull(COLUMN c)
{
    c.notNull = 1;
    return c;
}

void Key(SchemaModel& model, std::string table, std::string column, std::string name, std::string type)
{
    model.columnKeys.push_back({std::move(column), std::move(table), std::move(name), std::move(type)});
}

struct Case {
    const char* title;
    std::function<void(SchemaModel&, TableNode&)> build;
    const char* expected;
};

TEST(BuildCreateTable, WritesTheStatementOfEachTable)
{
    const std::vector<Case> cases = {
        {"ID INTEGER NOT NULL with a generated key name, NAME with a default and a named unique key, AMOUNT "
         "NUMERIC(9,2)",
         [](SchemaModel& m, TableNode& t) {
             t.name = "T";
             t.columns = {NotNull(Column("ID", "INTEGER", 8, 4)),
                          WithDefault(Column("NAME", "VARCHAR", 37, 40), m, "'X'"),
                          Numeric("AMOUNT", "NUMERIC", 1, 9, 2)};
             Key(m, "T", "ID", " ", "PRIMARY KEY");
             Key(m, "T", "NAME", "UQ_NAME", "UNIQUE");
         },
         "CREATE TABLE T(ID INTEGER NOT NULL ,NAME VARCHAR(40)  DEFAULT 'X',AMOUNT NUMERIC(9,2),PRIMARY KEY(ID),"
         "CONSTRAINT UQ_NAME UNIQUE(NAME))"},
        {"reserved column names get 1 in any letter case, also inside the key clause; VALUES1 stays",
         [](SchemaModel& m, TableNode& t) {
             t.name = "R";
             t.columns = {NotNull(Column("value", "INTEGER", 8, 4)), Column("VALUES1", "INTEGER", 8, 4),
                          Column("Year", "SMALLINT", 7, 2), Column("GROUP", "INTEGER", 8, 4),
                          Column("from", "INTEGER", 8, 4), Column("CHARACTER", "CHAR", 14, 1),
                          Column("VALUES", "INTEGER", 8, 4)};
             Key(m, "R", "VALUE", "PK_R", "primary key");
         },
         "CREATE TABLE R(value1 INTEGER NOT NULL ,VALUES1 INTEGER,Year1 SMALLINT,GROUP1 INTEGER,from1 INTEGER,"
         "CHARACTER1 CHAR(1) ,VALUES1 INTEGER,CONSTRAINT PK_R primary key(value1))"},
        {"a 64-bit integer is BIGINT, or NUMERIC(18,s) where it carries a scale",
         [](SchemaModel&, TableNode& t) {
             t.name = "N";
             COLUMN scaled = Column("AGED", "BIGINT", 16, 8);
             scaled.scale = 9;
             t.columns = {Column("ID", "BIGINT", 16, 8), scaled};
         },
         "CREATE TABLE N(ID BIGINT,AGED NUMERIC(18,9))"},
        {"DATE and TIME become TIMESTAMP, TIMESTAMP stays",
         [](SchemaModel&, TableNode& t) {
             t.name = "D";
             t.columns = {Column("A", "DATE", 12, 4), Column("B", "time", 13, 4), Column("C", "TIMESTAMP", 35, 8)};
         },
         "CREATE TABLE D(A TIMESTAMP,B TIMESTAMP,C TIMESTAMP)"},
        {"BLOB of any sub-type becomes CHAR(250) without sub-type, segment size or length",
         [](SchemaModel&, TableNode& t) {
             t.name = "B";
             COLUMN memo = Column("MEMO", "BLOB", 5, 8);
             memo.blobSubTypeName = "TEXT";
             memo.blobSegmentByte = 80;
             t.columns = {memo, Column("PIC", "blob", 5, 8)};
         },
         "CREATE TABLE B(MEMO CHAR(250),PIC CHAR(250))"},
        {"CHAR(10) keeps its blank before DEFAULT and NOT NULL; not-null marker found by field source in any case",
         [](SchemaModel& m, TableNode& t) {
             t.name = "C";
             COLUMN flag = WithDefault(Column("FLAG", "CHAR", 14, 10), m, "'N'");
             m.notNullSources.push_back({"rdb$flag", 1});
             t.columns = {flag};
         },
         "CREATE TABLE C(FLAG CHAR(10)  DEFAULT 'N' NOT NULL )"},
        {"UTF8 texts are declared in characters of the UTF8 set; texts of a single-byte set in bytes",
         [](SchemaModel& m, TableNode& t) {
             t.name = "M";
             COLUMN name = NotNull(Column("NAME", "VARCHAR", 37, 400));
             name.characterSet = 59;
             COLUMN code = Column("CODE", "CHAR", 14, 9);
             code.characterSet = 3;  // UNICODE_FSS: 3 bytes a character
             COLUMN plain = WithDefault(Column("NOTE", "VARCHAR", 37, 30), m, "'-'");
             plain.characterSet = 53;
             t.columns = {name, code, plain};
         },
         "CREATE TABLE M(NAME VARCHAR(100) CHARACTER SET UTF8  NOT NULL ,CODE CHAR(3) CHARACTER SET UTF8 ,"
         "NOTE VARCHAR(30)  DEFAULT '-')"},
        {"NUMERIC(15,3) and DECIMAL(0,0)",
         [](SchemaModel&, TableNode& t) {
             t.name = "N";
             t.columns = {Numeric("A", "NUMERIC", 1, 15, 3), Numeric("B", "DECIMAL", 2, 0, 0)};
         },
         "CREATE TABLE N(A NUMERIC(15,3),B DECIMAL(0,0))"},
        {"a column whose type was never resolved gets a text type, so the table is not lost with it",
         [](SchemaModel&, TableNode& t) {
             t.name = "U";
             t.columns = {Column("A", "INTEGER", 8, 4), Column("X", "", 0, 0), Column("B", "", 16, 8)};
         },
         "CREATE TABLE U(A INTEGER,X VARCHAR(250),B VARCHAR(250))"},
        {"a composite key names every column of its index, reserved names with their 1",
         [](SchemaModel& m, TableNode& t) {
             t.name = "EP";
             t.columns = {NotNull(Column("EMP_NO", "SMALLINT", 7, 2)), NotNull(Column("PROJ_ID", "CHAR", 14, 5)),
                          NotNull(Column("YEAR", "INTEGER", 8, 4))};
             m.indices = {catalogue::IndexNode{"RDB$PRIMARY12", "EP", "", {"EMP_NO", "PROJ_ID"}},
                          catalogue::IndexNode{"RDB$4", "EP", "", {"PROJ_ID", "YEAR"}}};
             m.keyConstraints = {{"PRIMARY KEY", "INTEG_25", "EP", "RDB$PRIMARY12"},
                                 {"UNIQUE", "UQ_EP", "EP", "RDB$4"}};
             Key(m, "EP", "EMP_NO", " ", "PRIMARY KEY");
             Key(m, "EP", "PROJ_ID", "UQ_EP", "UNIQUE");
         },
         "CREATE TABLE EP(EMP_NO SMALLINT NOT NULL ,PROJ_ID CHAR(5)  NOT NULL ,YEAR1 INTEGER NOT NULL ,"
         "PRIMARY KEY(EMP_NO,PROJ_ID),CONSTRAINT UQ_EP UNIQUE(PROJ_ID,YEAR1))"},
        {"a key whose index names a column the table does not have is left out",
         [](SchemaModel& m, TableNode& t) {
             t.name = "G";
             t.columns = {NotNull(Column("A", "INTEGER", 8, 4))};
             m.indices = {catalogue::IndexNode{"RDB$PRIMARY3", "G", "", {"A", "GONE"}}};
             m.keyConstraints = {{"PRIMARY KEY", "INTEG_3", "G", "RDB$PRIMARY3"}};
             Key(m, "G", "A", " ", "PRIMARY KEY");
         },
         "CREATE TABLE G(A INTEGER NOT NULL )"},
        {"a foreign key gives no clause and no trailing comma; a key of another table with the same column is not "
         "used",
         [](SchemaModel& m, TableNode& t) {
             t.name = "F";
             t.columns = {Column("ID", "INTEGER", 8, 4)};
             Key(m, "F", "ID", "FK_F", "FOREIGN KEY");
             Key(m, "OTHER", "ID", "PK_OTHER", "PRIMARY KEY");
         },
         "CREATE TABLE F(ID INTEGER)"},
        {"only the first key entry of a column is used",
         [](SchemaModel& m, TableNode& t) {
             t.name = "K";
             t.columns = {NotNull(Column("ID", "INTEGER", 8, 4))};
             Key(m, "k", "id", "FK_K", "FOREIGN KEY");
             Key(m, "K", "ID", "PK_K", "PRIMARY KEY");
         },
         "CREATE TABLE K(ID INTEGER NOT NULL )"},
        {"defaults that cannot be found, that are a blank, or that are more than one value are left out",
         [](SchemaModel& m, TableNode& t) {
             t.name = "X";
             COLUMN unlinked = Column("A", "INTEGER", 8, 4);
             unlinked.hasDefault = 1;
             COLUMN outside = Column("B", "INTEGER", 8, 4);
             outside.hasDefault = 1;
             m.columnDefaults.push_back({outside.fieldSource, 99});
             t.columns = {unlinked, outside, WithDefault(Column("C", "INTEGER", 8, 4), m, " "),
                          WithDefault(Column("D", "INTEGER", 8, 4), m, "0, EVIL INTEGER"),
                          WithDefault(Column("E", "INTEGER", 8, 4), m, "0) --"),
                          WithDefault(Column("F", "INTEGER", 8, 4), m, " -12.5e3 ")};
         },
         "CREATE TABLE X(A INTEGER,B INTEGER,C INTEGER,D INTEGER,E INTEGER,F INTEGER DEFAULT -12.5e3)"},
        {"string defaults: quotes inside stay doubled, an old double-quoted string is rewritten, date words kept",
         [](SchemaModel& m, TableNode& t) {
             t.name = "S";
             t.columns = {WithDefault(Column("A", "VARCHAR", 37, 20), m, "'O''Brien'"),
                          WithDefault(Column("B", "VARCHAR", 37, 20), m, "\"it's\""),
                          WithDefault(Column("C", "VARCHAR", 37, 20), m, "'a' || 'b'"),
                          WithDefault(Column("D", "DATE", 12, 4), m, "current_date"),
                          WithDefault(Column("E", "DATE", 12, 4), m, "DATE '2004-01-31'")};
         },
         "CREATE TABLE S(A VARCHAR(20)  DEFAULT 'O''Brien',B VARCHAR(20)  DEFAULT 'it''s',C VARCHAR(20) ,"
         "D TIMESTAMP DEFAULT current_date,E TIMESTAMP DEFAULT DATE '2004-01-31')"},
        {"a constraint name that is not a plain identifier is left out, the key stays",
         [](SchemaModel& m, TableNode& t) {
             t.name = "Q";
             t.columns = {NotNull(Column("ID", "INTEGER", 8, 4)), Column("CODE", "INTEGER", 8, 4)};
             Key(m, "Q", "ID", "PK) , EXTRA INTEGER", "PRIMARY KEY");
             Key(m, "Q", "CODE", "", "UNIQUE");
         },
         "CREATE TABLE Q(ID INTEGER NOT NULL ,CODE INTEGER,PRIMARY KEY(ID),UNIQUE(CODE))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        SchemaModel model;
        TableNode table;
        c.build(model, table);
        EXPECT_EQ(BuildCreateTable(model, table), c.expected);
    }
}

TEST(BuildCreateTable, NotesWhatItLeftOut)
{
    SchemaModel model;
    TableNode table;
    table.name = "T";
    table.columns = {WithDefault(Column("A", "INTEGER", 8, 4), model, "1); DROP TABLE X"),
                     NotNull(Column("B", "INTEGER", 8, 4))};
    Key(model, "T", "B", "PK T", "PRIMARY KEY");
    std::vector<std::string> notes;
    EXPECT_EQ(BuildCreateTable(model, table, nullptr, &notes), "CREATE TABLE T(A INTEGER,B INTEGER NOT NULL ,PRIMARY KEY(B))");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0].find("Default left out for column A of table T"), std::string::npos) << notes[0];
    EXPECT_NE(notes[1].find("Constraint name left out for column B of table T"), std::string::npos) << notes[1];
}

// The elements of an array are not copied: its column is created as a plain
// column of its element type that accepts the NULL every record gives it.
TEST(BuildCreateTable, ArrayColumnsBecomePlainColumnsThatAcceptNull)
{
    SchemaModel model;
    TableNode table;
    table.name = "JOB";
    COLUMN languages = NotNull(Column("LANGUAGE_REQ", "VARCHAR", 37, 15));
    languages.dimensions = 1;
    COLUMN counts = Column("QUART_HEAD_CNT", "INTEGER", 8, 4);
    counts.dimensions = 2;
    table.columns = {NotNull(Column("JOB_CODE", "VARCHAR", 37, 5)), languages, counts};
    std::vector<std::string> notes;
    EXPECT_EQ(BuildCreateTable(model, table, nullptr, &notes),
              "CREATE TABLE JOB(JOB_CODE VARCHAR(5)  NOT NULL ,LANGUAGE_REQ VARCHAR(15) ,QUART_HEAD_CNT INTEGER)");
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], "Array column LANGUAGE_REQ of table JOB created as a plain VARCHAR column: its array values are not copied");
    EXPECT_EQ(notes[1], "Array column QUART_HEAD_CNT of table JOB created as a plain INTEGER column: its array values are not copied");
}

TEST(BuildCreateTable, RefusesTablesWhoseNamesWouldChangeTheStatement)
{
    struct Hostile {
        const char* table;
        const char* column;
        const char* reasonPart;
    };
    const std::vector<Hostile> cases = {
        {"T(ID INTEGER) --", "A", "table name"},
        {"T", "A INTEGER, B", "column name A INTEGER, B"},
        {"T", "A/**/INTEGER,EVIL", "column name"},
        {"T", "\"A\"", "column name"},
        {"T", "A\nINTEGER", "column name A?INTEGER"},
        {"T", "1ST", "column name 1ST"},
        {"T", "", "column name"},
        {"", "A", "table name"},
        {"T\xC3\x96", "A", "table name"},
        {"T", "A;B", "column name"},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.table + std::string(" / ") + c.column);
        SchemaModel model;
        TableNode table;
        table.name = c.table;
        table.columns = {Column(c.column, "INTEGER", 8, 4)};
        const std::string reason = UnsafeTableName(table);
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << reason;
        EXPECT_EQ(BuildCreateTable(model, table), "");
    }
    TableNode plain;
    plain.name = "Order_Lines$2";
    plain.columns = {Column("qty_9", "INTEGER", 8, 4)};
    EXPECT_EQ(UnsafeTableName(plain), "");
}

// The exact restore's type of each column: its own, sized as declared.
TEST(ExactTypeText, EachColumnKeepsItsOwnType)
{
    const auto text = [](std::uint8_t code, std::uint16_t length, std::uint8_t set = 0) {
        COLUMN c = Column("C", "", code, length);
        c.characterSet = set;
        return c;
    };
    const auto blob = [](const char* subType) {
        COLUMN c = Column("C", "BLOB", 5, 8);
        c.blobSubTypeName = subType;
        return c;
    };
    const struct {
        const char* title;
        COLUMN column;
        const char* expected;
    } cases[] = {
        {"smallint", Column("C", "SMALLINT", 7, 2), "SMALLINT"},
        {"integer", Column("C", "INTEGER", 8, 4), "INTEGER"},
        {"64-bit integer", Column("C", "BIGINT", 16, 8), "BIGINT"},
        {"64-bit integer with a scale", Numeric("C", "BIGINT", 16, 0, 4), "NUMERIC(18,4)"},
        {"numeric", Numeric("C", "NUMERIC", 1, 10, 2), "NUMERIC(10,2)"},
        {"decimal", Numeric("C", "DECIMAL", 2, 15, 3), "DECIMAL(15,3)"},
        {"numeric without a stored precision, 4 bytes", [] {
             COLUMN c = Numeric("C", "NUMERIC", 1, 0, 2);
             c.length = 4;
             return c;
         }(), "NUMERIC(9,2)"},
        {"float", Column("C", "FLOAT", 10, 4), "FLOAT"},
        {"double", Column("C", "DOUBLE PRECISION", 27, 8), "DOUBLE PRECISION"},
        {"date stays a date", Column("C", "DATE", 12, 4), "DATE"},
        {"time stays a time", Column("C", "TIME", 13, 4), "TIME"},
        {"timestamp", Column("C", "TIMESTAMP", 35, 8), "TIMESTAMP"},
        {"boolean", Column("C", "BOOLEAN", 17, 2), "BOOLEAN"},
        {"char without a set", text(14, 6), "CHAR(6)"},
        {"varchar of a single-byte set", text(37, 30, 53), "VARCHAR(30) CHARACTER SET WIN1252"},
        {"UTF8 in characters", text(37, 100, 59), "VARCHAR(25) CHARACTER SET UTF8"},
        {"UNICODE_FSS in characters", text(14, 30, 3), "CHAR(10) CHARACTER SET UNICODE_FSS"},
        {"a set this engine numbers otherwise", text(37, 10, 60), "VARCHAR(10)"},
        {"text blob", blob("TEXT"), "BLOB SUB_TYPE TEXT"},
        {"binary blob", blob("DEFAULT"), "BLOB SUB_TYPE BINARY"},
        {"server sub-type", blob("BLR"), "BLOB SUB_TYPE 2"},
        {"unknown type", Column("C", "", 0, 0), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(ExactTypeText(c.column), c.expected);
    }
}

// The exact restore lists the columns in their declared order (stored
// positions), keeps defaults, NOT NULL and keys, and notes a column whose
// type it does not know.
TEST(BuildExactCreateTable, DeclaredOrderAndOwnTypes)
{
    SchemaModel model;
    TableNode table;
    table.name = "SALES";
    COLUMN shipped = Column("SHIP_DATE", "DATE", 12, 4);
    shipped.position = 3;
    COLUMN number = NotNull(Column("PO_NUMBER", "CHAR", 14, 8));
    number.position = 1;
    COLUMN ordered = WithDefault(Column("ORDER_TIME", "TIME", 13, 4), model, "CURRENT_TIME");
    ordered.position = 2;
    COLUMN odd = Column("ODD", "", 0, 4);
    odd.position = 4;
    table.columns = {shipped, odd, ordered, number};
    Key(model, "SALES", "PO_NUMBER", " ", "PRIMARY KEY");
    std::vector<std::string> notes;
    std::size_t keys = 0;
    EXPECT_EQ(BuildExactCreateTable(model, table, nullptr, &notes, &keys),
              "CREATE TABLE SALES(PO_NUMBER CHAR(8) NOT NULL ,ORDER_TIME TIME DEFAULT CURRENT_TIME,"
              "SHIP_DATE DATE,ODD VARCHAR(250),PRIMARY KEY(PO_NUMBER))");
    EXPECT_EQ(keys, 1u);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Column ODD of table SALES created as VARCHAR(250): its type could not be read");
    // The salvage repair keeps the stored order and its own types.
    EXPECT_EQ(BuildCreateTable(model, table),
              "CREATE TABLE SALES(SHIP_DATE TIMESTAMP,ODD VARCHAR(250),ORDER_TIME TIMESTAMP DEFAULT CURRENT_TIME,"
              "PO_NUMBER CHAR(8)  NOT NULL ,PRIMARY KEY(PO_NUMBER))");
}

// An exact restore gives array columns their bounds, where the file holds
// one per dimension, and declares columns of the domains the target has;
// an array whose bounds are lost stays a plain column, as in the salvage
// repair.
TEST(BuildExactCreateTable, ArrayBoundsAndDomains)
{
    SchemaModel model;
    TableNode table;
    table.name = "JOB";
    COLUMN code = NotNull(Column("JOB_CODE", "VARCHAR", 37, 5));
    code.fieldSource = "JOBCODE";
    COLUMN languages = Column("LANGUAGE_REQ", "VARCHAR", 37, 15);
    languages.dimensions = 1;
    COLUMN grid = Column("GRID", "INTEGER", 8, 4);
    grid.dimensions = 2;
    COLUMN lost = Column("LOST", "SMALLINT", 7, 2);
    lost.dimensions = 2;
    model.fieldBounds[languages.fieldSource] = {{1, 5}};
    model.fieldBounds[grid.fieldSource] = {{0, 1}, {-1, 3}};
    model.fieldBounds[lost.fieldSource] = {{1, 2}};  // one of its two dimensions
    table.columns = {code, languages, grid, lost};
    const std::set<std::string> domains = {"JOBCODE"};
    std::vector<std::string> notes;
    EXPECT_EQ(BuildExactCreateTable(model, table, nullptr, &notes, nullptr, &domains),
              "CREATE TABLE JOB(JOB_CODE JOBCODE NOT NULL ,LANGUAGE_REQ VARCHAR(15) [1:5],"
              "GRID INTEGER [0:1, -1:3],LOST SMALLINT)");
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "Array column LOST of table JOB created as a plain SMALLINT column: its array values are not copied"}));
    // Without the domain in the target the column gets its own type.
    EXPECT_EQ(BuildExactCreateTable(model, table).substr(0, 42), "CREATE TABLE JOB(JOB_CODE VARCHAR(5) NOT N");
}

// A domain is declared with its type (the character set of a column of
// it), a default that is a single value and its NOT NULL; its CHECK waits
// for the data. What cannot be declared gives no statement.
TEST(BuildCreateDomain, TypeDefaultAndNotNull)
{
    SchemaModel model;
    TableNode table;
    table.name = "T";
    COLUMN name = Column("NAME", "VARCHAR", 37, 400);
    name.fieldSource = "NAMES";
    name.characterSet = 4;  // UTF8
    table.columns = {name};
    model.tables.push_back(table);
    model.domainDefaults["PRODTYPE"] = "DEFAULT 'software'";
    model.domainDefaults["ODD"] = "DEFAULT (1 + 1)";
    model.domainChecks["PRODTYPE"] = "CHECK (VALUE IN ('software', 'hardware'))";
    model.notNullFields.insert("PRODTYPE");
    const auto domain = [](std::string domainName, std::string typeName, std::uint8_t typeCode, std::uint16_t length) {
        catalogue::COLDOMAIN d;
        d.name = std::move(domainName);
        d.typeName = std::move(typeName);
        d.typeCode = typeCode;
        d.length = length;
        return d;
    };
    catalogue::COLDOMAIN array = domain("GRID", "INTEGER", 8, 4);
    array.dimensions = 1;
    const struct {
        catalogue::COLDOMAIN domain;
        const char* expected;
    } cases[] = {
        {domain("PRODTYPE", "VARCHAR", 37, 12), "CREATE DOMAIN PRODTYPE AS VARCHAR(12) DEFAULT 'software' NOT NULL"},
        {domain("NAMES", "VARCHAR", 37, 400), "CREATE DOMAIN NAMES AS VARCHAR(100) CHARACTER SET UTF8"},
        {domain("ODD", "SMALLINT", 7, 2), "CREATE DOMAIN ODD AS SMALLINT"},
        {array, ""},
        {domain("UNKNOWN", "", 0, 4), ""},
        {domain("two words", "SMALLINT", 7, 2), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildCreateDomain(model, c.domain), c.expected) << c.domain.name;
}

// Computed columns wait for the table's data: the CREATE TABLE leaves them
// out, and each is added afterwards with its type and expression and put
// back in its declared place; one whose expression was not read is left
// out. A domain's NOT NULL binds its column.
TEST(ExactComputedColumns, AddedAfterTheDataInTheirPlace)
{
    SchemaModel model;
    TableNode table;
    table.name = "EMPLOYEE";
    COLUMN last = Column("LAST_NAME", "VARCHAR", 37, 20);
    last.fieldSource = "LASTNAME";
    last.position = 0;
    COLUMN full = Column("FULL_NAME", "VARCHAR", 37, 37);
    full.position = 1;
    COLUMN lost = Column("LOST", "INTEGER", 8, 4);
    lost.position = 3;
    COLUMN dept = Column("DEPT_NO", "CHAR", 14, 3);
    dept.position = 2;
    table.columns = {dept, full, lost, last};
    model.computedFields = {full.fieldSource, lost.fieldSource};
    model.computedSources = {{full.fieldSource, "(last_name || ', ' || first_name)"}};
    model.notNullFields = {"LASTNAME"};

    EXPECT_EQ(BuildExactCreateTable(model, table),
              "CREATE TABLE EMPLOYEE(LAST_NAME VARCHAR(20) NOT NULL ,DEPT_NO CHAR(3))");
    // The salvage repair keeps every column and only the column's own NOT NULL.
    EXPECT_EQ(BuildCreateTable(model, table),
              "CREATE TABLE EMPLOYEE(DEPT_NO CHAR(3) ,FULL_NAME VARCHAR(37) ,LOST INTEGER,LAST_NAME VARCHAR(20) )");

    const std::vector<ComputedColumn> computed = ExactComputedColumns(model, table);
    ASSERT_EQ(computed.size(), 2u);
    EXPECT_EQ(computed[0].statement,
              "ALTER TABLE EMPLOYEE ADD FULL_NAME VARCHAR(37) COMPUTED BY (last_name || ', ' || first_name)");
    EXPECT_EQ(computed[0].placement, "ALTER TABLE EMPLOYEE ALTER FULL_NAME POSITION 2");
    EXPECT_EQ(computed[1].name, "LOST");
    EXPECT_EQ(computed[1].statement, "");
}

}  // namespace
}  // namespace ravelin::writer
