#include "writer/repair.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "writer/sidefile.h"
#include "writertesting.h"

namespace ravelin::writer {
namespace {

using catalogue::COLUMN;
using catalogue::IndexNode;
using catalogue::TableNode;
using catalogue::VIEWCOLUMN;
using catalogue::ViewNode;
using testing::Executed;
using testing::FakeTarget;
using testing::FakeTransfer;
using testing::JobHarness;
using testing::ReadAll;
using testing::TempFolder;

COLUMN Column(std::string name, std::string fieldSource, std::string typeName = "INTEGER", std::uint8_t typeCode = 8,
              std::uint16_t length = 4)
{
    COLUMN c;
    c.name = std::move(name);
    c.fieldSource = std::move(fieldSource);
    c.typeName = std::move(typeName);
    c.typeCode = typeCode;
    c.length = length;
    return c;
}

TableNode Table(std::string name, std::vector<COLUMN> columns)
{
    TableNode t;
    t.name = std::move(name);
    t.columns = std::move(columns);
    return t;
}

ViewNode View(std::string name, std::vector<std::pair<std::string, std::string>> columns)
{
    ViewNode v;
    v.name = std::move(name);
    for (auto& [column, source] : columns) {
        VIEWCOLUMN c;
        c.columnName = column;
        c.fieldSource = source;
        v.columns.push_back(c);
    }
    return v;
}

IndexNode Index(std::string name, std::string relation, std::vector<std::string> segments)
{
    IndexNode i;
    i.name = std::move(name);
    i.relationName = std::move(relation);
    i.segments = std::move(segments);
    return i;
}

// A UTF-16LE text as ASCII (every second byte dropped).
std::string Narrow(const std::string& wide)
{
    std::string out;
    for (std::size_t i = 0; i < wide.size(); i += 2)
        out.push_back(wide[i]);
    return out;
}

class RepairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.Ok());
        target.attached = true;
        h.engine.model.tables = {Table("T1", {Column("A", "S_A"), Column("YEAR", "S_Y", "SMALLINT", 7, 2)}),
                                 Table("T2", {Column("B", "S_B")})};
        h.engine.model.views = {View("V", {{"X", "S_A"}, {"Y", "S_Y"}})};
        h.engine.model.indices = {Index("IX", "T1", {"A", "YEAR"})};
    }

    RepairSession Session(std::vector<std::string> names)
    {
        return RepairSession{h.job, target, transfer, folder.File("blank.ib"), std::move(names), {}, {}};
    }

    TempFolder folder;
    JobHarness h;
    FakeTarget target;
    FakeTransfer transfer;
};

TEST_F(RepairTest, TablesThenViewsThenIndicesInTheCheckedOrder)
{
    RepairSession session = Session({"t1", "V", "ix", "NO_SUCH_OBJECT", "IX"});
    RepairSelectedObjects(session);

    EXPECT_EQ(target.Texts(Executed::Definition),
              (std::vector<std::string>{"CREATE TABLE T1(A INTEGER,YEAR1 SMALLINT)",
                                        "CREATE VIEW  V(X,Y)AS SELECT * FROM T1"}));
    EXPECT_EQ(transfer.tables, std::vector<std::string>{"t1"});
    EXPECT_EQ(h.Marks(), (std::vector<std::string>{"1,0", "1,0", "1,0", "1,0", "0,1"}));
    EXPECT_EQ(h.engine.viewCount, 1);
    EXPECT_TRUE(h.engine.repairSucceeded);
    EXPECT_EQ(target.detachCalls, 1);
    EXPECT_TRUE(session.repairNames.empty());

    EXPECT_EQ(Narrow(ReadAll(folder.File("blank.ibViews.txt"))), "CREATE VIEW  V(X,Y)AS SELECT * FROM T1;\r\n\r\n");
    // The second statement of the same index finds its segments emptied by
    // the first; the reserved column is named as the re-created table names it.
    EXPECT_EQ(Narrow(ReadAll(folder.File("blank.ibIndices.txt"))),
              "CREATE INDEX  ix ON T1(A , YEAR1);\r\n\r\nCREATE INDEX  IX ON T1();\r\n\r\n");
}

TEST_F(RepairTest, KeysComeFromTheConstraintsAndIndicesOfTheTable)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.tables.push_back(Table("T3", {Column("A", "S_A"), Column("B", "S_B"), Column("C", "S_C")}));
    model.indices = {Index("RDB$PRIMARY7", "T3", {"A", "B"}), Index("RDB$FOREIGN8", "T3", {"C"}),
                     Index("T2_PK", "T2", {"B"})};
    model.keyConstraints = {{"PRIMARY KEY", "integ_70", "T3", "RDB$PRIMARY7"},
                            {"FOREIGN KEY", "FK_T3_C", "T3", "RDB$FOREIGN8"},
                            {"PRIMARY KEY", "PK_T2", "T2", "T2_PK"}};
    RepairSession session = Session({"T3", "T2"});
    RepairSelectedObjects(session);
    EXPECT_EQ(target.Texts(Executed::Definition),
              (std::vector<std::string>{"CREATE TABLE T3(A INTEGER,B INTEGER,C INTEGER,PRIMARY KEY(A,B))",
                                        "CREATE TABLE T2(B INTEGER,CONSTRAINT PK_T2 PRIMARY KEY(B))"}));
}

// The closing counts say what reached the target: the indices of the keys
// the created tables carry, apart from the statements only written to the
// side file; every foreign key of a created table is named, since none is
// created, also when its index statement was written (which empties the
// index's segments).
TEST_F(RepairTest, IndicesAreCountedWhereTheyWentAndForeignKeysAreNamed)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.tables.push_back(Table("T3", {Column("A", "S_A"), Column("B", "S_B"), Column("C", "S_C")}));
    IndexNode foreign = Index("RDB$FOREIGN8", "T3", {"C", "B"});
    foreign.foreignKey = "T2_PK";
    IndexNode foreignOfT1 = Index("RDB$FOREIGN9", "T1", {"A"});
    foreignOfT1.foreignKey = "T2_PK";
    model.indices = {Index("RDB$PRIMARY7", "T3", {"A"}), foreign, foreignOfT1, Index("T2_PK", "T2", {"B"}),
                     Index("IX", "T1", {"A"})};
    model.keyConstraints = {{"PRIMARY KEY", "integ_70", "T3", "RDB$PRIMARY7"},
                            {"UNIQUE", "UQ_T3_B", "T3", "RDB$FOREIGN8"},
                            {"FOREIGN KEY", "FK_T3_C", "T3", "RDB$FOREIGN8"},
                            {"FOREIGN KEY", "FK_T1_A", "T1", "RDB$FOREIGN9"},
                            {"PRIMARY KEY", "PK_T2", "T2", "T2_PK"}};
    target.fails = [](const std::string& s) { return s.rfind("CREATE TABLE T1", 0) == 0; };
    RepairSession session = Session({"T3", "T2", "T1", "RDB$FOREIGN8", "IX"});
    RepairSelectedObjects(session);

    EXPECT_EQ(h.engine.indicesCreated, 3u);  // T3's primary and unique key, T2's primary key
    EXPECT_EQ(h.engine.indexStatementsInSideFile, 2u);
    EXPECT_TRUE(h.Logged("Foreign key not created: FK_T3_C: T3(C, B) references T2"));
    // T1 was refused: its foreign key is not among what the repair left out.
    EXPECT_FALSE(h.Logged("FK_T1_A"));
}

// An exact restore creates the file's own generators after the data, each
// at the value its generator page holds; the server's own generators are
// left alone, and one whose value is lost or whose name is unusable is
// named in the log. The salvage repair creates none.
TEST_F(RepairTest, ExactRestoreCreatesTheGeneratorsWithTheirValues)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.indices.clear();
    model.generators = {{"RDB$SECURITY_CLASS", 0, true},
                        {"EMP_NO_GEN", 1, false},
                        {"LOST_GEN", 2, false},
                        {"BAD GEN", 3, false},
                        {"REFUSED_GEN", 4, false}};
    model.generatorValues = {{0, 12}, {1, 145}, {3, 7}, {4, 9000000000LL}};
    target.fails = [](const std::string& s) { return s == "SET GENERATOR REFUSED_GEN TO 9000000000"; };

    RepairSession salvage = Session({"T1"});
    RepairSelectedObjects(salvage);
    for (const std::string& statement : target.Texts(Executed::Definition))
        EXPECT_EQ(statement.find("GENERATOR"), std::string::npos) << statement;

    target.executed.clear();
    target.attached = true;
    RepairSession exact = Session({"T1"});
    exact.exact = true;
    RepairSelectedObjects(exact);
    const std::vector<std::string> definitions = target.Texts(Executed::Definition);
    ASSERT_GE(definitions.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(definitions.begin() + 1, definitions.end()),
              (std::vector<std::string>{"CREATE GENERATOR EMP_NO_GEN", "SET GENERATOR EMP_NO_GEN TO 145",
                                        "CREATE GENERATOR LOST_GEN", "CREATE GENERATOR REFUSED_GEN",
                                        "SET GENERATOR REFUSED_GEN TO 9000000000"}));
    EXPECT_TRUE(h.Logged("Generator value lost, created at 0: LOST_GEN"));
    EXPECT_TRUE(h.Logged("Generator not created: BAD GEN: the name is not a plain SQL identifier"));
    EXPECT_TRUE(h.Logged("Generator value not set: REFUSED_GEN = 9000000000: refused: SET GENERATOR"));
    EXPECT_TRUE(h.Logged("Generators recovered : 1"));
    EXPECT_FALSE(h.state.exactRestore);  // the choice ends with the run
}

// An exact restore creates, after all data, every index of the created
// tables with its uniqueness and direction, then the foreign keys whose
// referenced table exists; what the target refuses goes to the index side
// file and the log, and the restore goes on.
TEST_F(RepairTest, ExactRestoreCreatesIndicesThenForeignKeysAfterTheData)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.tables.push_back(Table("T3", {Column("C", "S_C"), Column("D", "S_D")}));
    IndexNode descending = Index("DX", "T1", {"YEAR", "A"});
    descending.unique = true;
    descending.descending = true;
    IndexNode inactive = Index("IDLE", "T3", {"D"});
    inactive.inactive = true;
    IndexNode toT2 = Index("RDB$FOREIGN9", "T3", {"C"});
    toT2.foreignKey = "RDB$PRIMARY2";
    IndexNode named = Index("RDB$FOREIGN10", "T3", {"D"});
    named.foreignKey = "RDB$PRIMARY2";
    IndexNode toMissing = Index("RDB$FOREIGN11", "T1", {"A"});
    toMissing.foreignKey = "RDB$PRIMARY5";
    model.indices = {Index("RDB$PRIMARY2", "T2", {"B"}), toT2, descending, named, inactive, toMissing,
                     Index("RDB$PRIMARY5", "T4", {"E"})};
    model.keyConstraints = {{"PRIMARY KEY", "INTEG_2", "T2", "RDB$PRIMARY2"},
                            {"FOREIGN KEY", "INTEG_9", "T3", "RDB$FOREIGN9"},
                            {"FOREIGN KEY", "FK_T3_D", "T3", "RDB$FOREIGN10"},
                            {"FOREIGN KEY", "FK_T1_A", "T1", "RDB$FOREIGN11"}};
    // The recovered rows of T3 break its named foreign key.
    target.fails = [](const std::string& s) { return s.find("FK_T3_D") != std::string::npos; };
    RepairSession session = Session({"T1", "T2", "T3", "DX"});
    session.exact = true;
    RepairSelectedObjects(session);

    std::vector<std::string> definitions = target.Texts(Executed::Definition);
    ASSERT_GE(definitions.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(definitions.begin() + 3, definitions.end()),
              (std::vector<std::string>{
                  "CREATE UNIQUE DESCENDING INDEX DX ON T1 (YEAR1, A)",
                  "CREATE INDEX IDLE ON T3 (D)",
                  "ALTER INDEX IDLE INACTIVE",
                  "ALTER TABLE T3 ADD FOREIGN KEY (C) REFERENCES T2 (B)",
                  "ALTER TABLE T3 ADD CONSTRAINT FK_T3_D FOREIGN KEY (D) REFERENCES T2 (B)",
              }));
    EXPECT_TRUE(h.Logged("Foreign key not created: FK_T3_D: refused: ALTER TABLE T3"));
    EXPECT_TRUE(h.Logged("Foreign key not created: FK_T1_A: the table it references, T4, was not created"));
    const std::string side = writer::testing::ReadAll(SideFilePath(folder.File("blank.ib"), SideFileKind::Indices));
    EXPECT_NE(Narrow(side).find("ALTER TABLE T3 ADD CONSTRAINT FK_T3_D FOREIGN KEY (D) REFERENCES T2 (B)"),
              std::string::npos);
    // T2's primary key, the two indices and one foreign key.
    EXPECT_EQ(h.engine.indicesCreated, 4u);
    EXPECT_EQ(h.engine.indexStatementsInSideFile, 1u);
}

// An exact restore creates views from their stored source, after the
// tables, with their columns in declared order; a view that reads one still
// to come is tried again; one the target never takes is logged and kept in
// the view side file; one without a source gets the salvage guess.
TEST_F(RepairTest, ExactRestoreCreatesViewsFromTheirSource)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.indices.clear();
    catalogue::ViewNode outer = View("OUTER_V", {{"B2", "S_B"}, {"A2", "S_A"}});
    outer.columns[0].position = 1;
    outer.columns[1].position = 0;
    model.views = {outer, View("INNER_V", {{"A", "S_A"}}), View("BROKEN_V", {{"X", "S_X"}}), View("V", {{"X", "S_A"}})};
    model.viewSources = {{"OUTER_V", "SELECT A, B FROM INNER_V, T2"},
                         {"INNER_V", "SELECT A FROM T1"},
                         {"BROKEN_V", "SELECT NOTHING FROM NOWHERE"}};
    bool innerCreated = false;
    target.fails = [&innerCreated](const std::string& s) {
        if (s.rfind("CREATE VIEW INNER_V", 0) == 0)
            innerCreated = true;
        return (s.rfind("CREATE VIEW OUTER_V", 0) == 0 && !innerCreated) || s.find("NOWHERE") != std::string::npos;
    };
    RepairSession session = Session({"OUTER_V", "T1", "INNER_V", "BROKEN_V", "V", "T2"});
    session.exact = true;
    RepairSelectedObjects(session);

    std::vector<std::string> views;
    for (const std::string& s : target.Texts(Executed::Definition)) {
        if (s.rfind("CREATE VIEW", 0) == 0)
            views.push_back(s);
    }
    EXPECT_EQ(views, (std::vector<std::string>{
                         "CREATE VIEW OUTER_V (A2, B2) AS SELECT A, B FROM INNER_V, T2",
                         "CREATE VIEW INNER_V (A) AS SELECT A FROM T1",
                         "CREATE VIEW BROKEN_V (X) AS SELECT NOTHING FROM NOWHERE",
                         "CREATE VIEW  V(X)AS SELECT * FROM T1",
                         "CREATE VIEW OUTER_V (A2, B2) AS SELECT A, B FROM INNER_V, T2",
                         "CREATE VIEW BROKEN_V (X) AS SELECT NOTHING FROM NOWHERE",
                         // A last round, which creates nothing.
                         "CREATE VIEW BROKEN_V (X) AS SELECT NOTHING FROM NOWHERE",
                     }));
    EXPECT_EQ(h.engine.viewCount, 3u);
    EXPECT_TRUE(h.Logged("View not created: BROKEN_V: refused: CREATE VIEW BROKEN_V"));
    const std::string side = Narrow(ReadAll(SideFilePath(folder.File("blank.ib"), SideFileKind::Views)));
    EXPECT_NE(side.find("CREATE VIEW BROKEN_V (X) AS SELECT NOTHING FROM NOWHERE"), std::string::npos) << side;
    EXPECT_NE(side.find("CREATE VIEW INNER_V (A) AS SELECT A FROM T1"), std::string::npos) << side;
}

// An exact restore adds each CHECK constraint of a created table once (its
// insert and update triggers share one source) and writes the other
// triggers to the script beside the target; a check the target refuses
// waits in the script as well.
TEST_F(RepairTest, ExactRestoreAddsChecksAndScriptsTriggers)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.indices.clear();
    model.triggers = {{"CHECK_1", "T1", 0, 1, false, "CHECK (A > 0)"},
                      {"CHECK_2", "T1", 0, 3, false, "CHECK (A > 0)"},
                      {"CHECK_3", "T2", 0, 1, false, "CHECK (B < 0)"},
                      {"SET_A", "T1", 2, 1, true, "AS\nBEGIN\n  new.A = 1;\nEND"},
                      {"ODD", "T2", 0, 17, false, "AS BEGIN END"},
                      {"OTHER", "T9", 0, 1, false, "AS BEGIN END"}};
    target.fails = [](const std::string& s) { return s.find("CHECK (B < 0)") != std::string::npos; };
    RepairSession session = Session({"T1", "T2"});
    session.exact = true;
    RepairSelectedObjects(session);

    std::vector<std::string> checks;
    for (const std::string& s : target.Texts(Executed::Definition)) {
        if (s.find("CHECK") != std::string::npos)
            checks.push_back(s);
    }
    EXPECT_EQ(checks, (std::vector<std::string>{"ALTER TABLE T1 ADD CHECK (A > 0)", "ALTER TABLE T2 ADD CHECK (B < 0)"}));
    EXPECT_TRUE(h.Logged("Check constraint not created: T2: refused: ALTER TABLE T2 ADD CHECK (B < 0)"));
    EXPECT_TRUE(h.Logged("Check constraints recovered : 1"));
    const std::string script = ReadAll(ProceduresScriptPath(folder.File("blank.ib")));
    EXPECT_NE(script.find("ALTER TABLE T2 ADD CHECK (B < 0);"), std::string::npos) << script;
    EXPECT_NE(script.find("SET TERM ^ ;\nCREATE TRIGGER SET_A FOR T1 INACTIVE BEFORE INSERT POSITION 2\n"
                          "AS\nBEGIN\n  new.A = 1;\nEND^\nSET TERM ; ^"),
              std::string::npos)
        << script;
    EXPECT_NE(script.find("-- Trigger ODD of table T2 fires on type 17"), std::string::npos) << script;
    // T9 was not created: its trigger has no table to fire on.
    EXPECT_EQ(script.find("OTHER"), std::string::npos) << script;
}

// Exceptions, then procedures with their parameters typed by their field
// sources, go to the script; a procedure whose parameter type or source is
// unknown is only named there.
TEST_F(RepairTest, ExactRestoreScriptsExceptionsAndProcedures)
{
    catalogue::SchemaModel& model = h.engine.model;
    model.indices.clear();
    model.exceptions = {{"NO_SUCH_ROW", "It's gone"}};
    catalogue::COLUMN smallint;
    smallint.typeCode = catalogue::kTypeSmallint;
    smallint.length = 2;
    catalogue::COLUMN text;
    text.typeCode = catalogue::kTypeChar;
    text.length = 5;
    model.fieldTypes = {{"RDB$1", smallint}, {"RDB$2", text}};
    model.procedures = {{"GET_ONE", "BEGIN\n  SUSPEND;\nEND"}, {"ODD_ONE", "BEGIN END"}, {"LOST_ONE", ""}};
    model.procedureParameters = {{"CODE", "GET_ONE", 0, true, "RDB$2"},
                                 {"ID", "GET_ONE", 0, false, "RDB$1"},
                                 {"X", "ODD_ONE", 0, false, "RDB$99"}};
    RepairSession session = Session({"T1"});
    session.exact = true;
    RepairSelectedObjects(session);

    const std::string script = ReadAll(ProceduresScriptPath(folder.File("blank.ib")));
    EXPECT_NE(script.find("CREATE EXCEPTION NO_SUCH_ROW 'It''s gone';\n"), std::string::npos) << script;
    EXPECT_NE(script.find("SET TERM ^ ;\nCREATE PROCEDURE GET_ONE (ID SMALLINT)\nRETURNS (CODE CHAR(5))\nAS\n"
                          "BEGIN\n  SUSPEND;\nEND^\nSET TERM ; ^"),
              std::string::npos)
        << script;
    EXPECT_NE(script.find("-- Procedure ODD_ONE: the type of its parameter X is not known"), std::string::npos);
    EXPECT_NE(script.find("-- Procedure LOST_ONE: its source was not found"), std::string::npos);
    EXPECT_TRUE(h.Logged("(not executed) : 0 and 1"));
}

TEST_F(RepairTest, RefusedStatementsAreLoggedAndTheRepairGoesOn)
{
    target.fails = [](const std::string& s) { return s.rfind("CREATE TABLE T1", 0) == 0 || s.rfind("CREATE VIEW", 0) == 0; };
    RepairSession session = Session({"T1", "V", "T2"});
    RepairSelectedObjects(session);

    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T2"});
    EXPECT_TRUE(h.Logged("Table not created: T1: refused: CREATE TABLE T1"));
    EXPECT_TRUE(h.Logged("View not created: V: refused: CREATE VIEW"));
    // A refused view is still kept in its side file and marked; only the
    // count tells it apart.
    EXPECT_EQ(Narrow(ReadAll(folder.File("blank.ibViews.txt"))), "CREATE VIEW  V(X,Y)AS SELECT * FROM T1;\r\n\r\n");
    EXPECT_EQ(h.engine.viewCount, 0);
    EXPECT_EQ(h.Marks(), (std::vector<std::string>{"1,0", "1,0", "0,1"}));
    EXPECT_TRUE(h.engine.repairSucceeded);
}

TEST_F(RepairTest, ARepairWhoseEveryTableWasRefusedIsNoSuccess)
{
    struct Case {
        std::vector<std::string> names;
        bool refuseTables;
        bool succeeded;
    };
    const Case cases[] = {
        {{"T1", "T2", "V"}, true, false},  // nothing copied
        {{"T1", "T2"}, false, true},
        {{"V", "IX"}, true, true},  // no table was chosen: the views and indices are the repair
    };
    for (const Case& c : cases) {
        JobHarness harness;
        harness.engine.model = h.engine.model;
        FakeTarget refusing;
        refusing.attached = true;
        if (c.refuseTables)
            refusing.fails = [](const std::string& s) { return s.rfind("CREATE TABLE", 0) == 0; };
        FakeTransfer copies;
        RepairSession session{harness.job, refusing, copies, folder.File("blank.ib"), c.names, {}, {}};
        RepairSelectedObjects(session);
        EXPECT_EQ(harness.engine.repairSucceeded, c.succeeded) << c.names.front() << " " << c.refuseTables;
        EXPECT_EQ(harness.Logged(kNoTableCreatedText), !c.succeeded);
        EXPECT_EQ(refusing.detachCalls, 1);
    }
}

// The tables a repair could not create are noted for the job driver, in
// repair order, whether the target refused them or they never reached it;
// what an earlier repair noted is gone. The figures of copied tables come
// from the table transfer, not from here.
TEST_F(RepairTest, TablesNotCreatedAreNotedForTheReport)
{
    h.engine.model.tables.push_back(Table("BAD\tNAME", {Column("ID", "S_ID")}));
    h.engine.repairedTables = {{"EARLIER", 5, 1}};
    h.engine.recordsLostAtCommit = 9;
    target.lostAtCommit = 4;
    target.fails = [](const std::string& s) { return s.rfind("CREATE TABLE T1", 0) == 0; };
    RepairSession session = Session({"T1", "V", "BAD\tNAME", "T2", "IX"});
    RepairSelectedObjects(session);

    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T2"});
    ASSERT_EQ(h.engine.repairedTables.size(), 2u);
    EXPECT_EQ(h.engine.repairedTables[0].name, "T1");
    EXPECT_FALSE(h.engine.repairedTables[0].created);
    // The name as the log shows it: no control character.
    EXPECT_EQ(h.engine.repairedTables[1].name, "BAD?NAME");
    EXPECT_FALSE(h.engine.repairedTables[1].created);
    EXPECT_EQ(h.engine.recordsLostAtCommit, 4u);
    // The run reached its end: what it left undone is the driver's to report.
    EXPECT_TRUE(h.engine.repairSucceeded);
    EXPECT_FALSE(h.Logged(kNoTableCreatedText));
}

TEST_F(RepairTest, HostileNamesNeverReachTheTargetOrTheSideFiles)
{
    h.engine.model.tables.push_back(Table("EVIL(ID INTEGER)--", {Column("ID", "S_ID")}));
    h.engine.model.tables.push_back(Table("T3", {Column("A INTEGER,B", "S_C")}));
    h.engine.model.views.push_back(View("W", {{"X) AS SELECT 1 FROM RDB$DATABASE --", "S_A"}}));
    h.engine.model.indices.push_back(Index("IY", "T1", {"A) --"}));
    h.engine.model.indices.push_back(Index("IZ", "T1;", {"A"}));
    RepairSession session = Session({"EVIL(ID INTEGER)--", "T3", "W", "IY", "IZ", "T2"});
    RepairSelectedObjects(session);

    EXPECT_EQ(target.Texts(Executed::Definition), std::vector<std::string>{"CREATE TABLE T2(B INTEGER)"});
    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T2"});
    EXPECT_TRUE(h.Logged("Table not repaired: EVIL(ID INTEGER)--: the table name is not a plain SQL identifier"));
    EXPECT_TRUE(h.Logged("Table not repaired: T3: the column name A INTEGER,B is not a plain SQL identifier"));
    EXPECT_TRUE(h.Logged("View not repaired: W: the column name X) AS SELECT"));
    EXPECT_TRUE(h.Logged("Index not written: IY: the column name A) --"));
    EXPECT_TRUE(h.Logged("Index not written: IZ: the table name T1;"));
    EXPECT_EQ(ReadAll(folder.File("blank.ibViews.txt")), "");
    EXPECT_EQ(ReadAll(folder.File("blank.ibIndices.txt")), "");
    // Only T2 was repaired.
    EXPECT_EQ(h.Marks(), (std::vector<std::string>{"1,0", "0,1"}));
}

TEST_F(RepairTest, SideFilesThatCannotBeCreatedAreReportedOnceAndTheRepairGoesOn)
{
    h.engine.model.views.push_back(View("V2", {{"Z", "S_B"}}));
    h.engine.model.indices.push_back(Index("IX2", "T2", {"B"}));
    RepairSession session = Session({"V", "IX", "V2", "IX2"});
    session.targetPath = folder.File("no-such-folder/blank.ib");
    RepairSelectedObjects(session);

    EXPECT_EQ(target.Texts(Executed::Definition).size(), 2u);
    EXPECT_EQ(h.engine.viewCount, 2);
    std::vector<std::string> reported;
    for (const std::string& line : h.frame.logLines) {
        if (line.rfind("Side file could not be created", 0) == 0)
            reported.push_back(line);
    }
    EXPECT_EQ(reported, (std::vector<std::string>{
                            "Side file could not be created, its statements are not kept: " +
                                folder.File("no-such-folder/blank.ibViews.txt"),
                            "Side file could not be created, its statements are not kept: " +
                                folder.File("no-such-folder/blank.ibIndices.txt")}));
    EXPECT_TRUE(h.engine.repairSucceeded);
}

TEST_F(RepairTest, StopInsideATableEndsTheRepairAtOnceAndStillDetaches)
{
    transfer.during = [](job::JobContext& job) { job.state.stopRequested.store(true); };
    RepairSession session = Session({"T1", "T2", "V"});
    RepairSelectedObjects(session);

    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T1"});
    EXPECT_EQ(target.Texts(Executed::Definition).size(), 1u);
    EXPECT_FALSE(h.engine.repairSucceeded);
    EXPECT_EQ(h.state.repairedTableName, "");
    EXPECT_TRUE(h.Marks().empty());
    EXPECT_EQ(session.repairNames.size(), 3u);
    EXPECT_EQ(target.detachCalls, 1);
}

TEST_F(RepairTest, StopBetweenNamesEndsTheLoopWithoutSuccess)
{
    h.frame.onSend = [this](const fixture::RecordingFrame::Sent& sent) {
        if (sent.message == job::UM_MARK_REPAIRED && sent.wParam == 1)
            h.state.stopRequested.store(true);
    };
    RepairSession session = Session({"T1", "T2"});
    RepairSelectedObjects(session);

    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T1"});
    EXPECT_EQ(h.Marks(), (std::vector<std::string>{"1,0", "0,1"}));
    EXPECT_FALSE(h.engine.repairSucceeded);
    EXPECT_EQ(target.detachCalls, 1);
}

TEST_F(RepairTest, ATargetThatStopsAnsweringEndsTheRepairWithItsReason)
{
    // The CREATE TABLE and two INSERTs reach the target; then it is gone.
    target.loseAfter = 3;
    transfer.inserts = [](const std::string&) {
        return std::vector<std::string>{"INSERT 1", "INSERT 2", "INSERT 3", "INSERT 4"};
    };
    RepairSession session = Session({"T1", "T2", "V"});
    RepairSelectedObjects(session);

    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T1"});
    EXPECT_EQ(target.executed.size(), 3u);
    EXPECT_TRUE(h.Logged("Connection Failed."));
    EXPECT_TRUE(h.Logged("The target database stopped answering; the repair ends here: connection lost to database"));
    EXPECT_EQ(h.Marks(), std::vector<std::string>{"0,1"});
    EXPECT_FALSE(h.engine.repairSucceeded);
    // T2 never reached the target: it is not noted as refused.
    EXPECT_TRUE(h.engine.repairedTables.empty());
}

TEST_F(RepairTest, AFailedDetachIsNoSuccess)
{
    target.detachSucceeds = false;
    RepairSession session = Session({"T2"});
    RepairSelectedObjects(session);
    EXPECT_EQ(transfer.tables, std::vector<std::string>{"T2"});
    EXPECT_FALSE(h.engine.repairSucceeded);
}

TEST(MatchViewColumns, WalksForwardThroughTheTablesOnly)
{
    catalogue::SchemaModel model;
    model.tables = {Table("T", {Column("A", "S_A", "CHAR", 14, 12), Column("B", "S_B", "VARCHAR", 37, 12),
                                Column("C", "S_C")}),
                    Table("EMPTY", {}), Table("U", {Column("D", "S_D")})};
    struct Case {
        const char* title;
        std::vector<std::pair<std::string, std::string>> columns;
        std::vector<std::string> found;  // view column @ base reference : type
    };
    const std::vector<Case> cases = {
        {"in order, across two tables",
         {{"X", "s_a"}, {"Y", "S_B"}, {"Z", "S_D"}},
         {"X@\"T\".\"A\":CHAR(12)", "Y@\"T\".\"B\":VARCHAR", "Z@\"U\".\"D\":INTEGER"}},
        {"out of order: only the forward walk's finds", {{"Y", "S_B"}, {"X", "S_A"}, {"Z", "S_D"}},
         {"Y@\"T\".\"B\":VARCHAR"}},
        {"a base column serves one view column", {{"X", "S_A"}, {"X2", "S_A"}}, {"X@\"T\".\"A\":CHAR(12)"}},
        {"nothing found", {{"Q", "S_Q"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> found;
        for (const ViewColumnMatch& m : MatchViewColumns(model, View("V", c.columns)))
            found.push_back(m.viewColumn + "@" + m.baseReference + ":" + m.baseType);
        EXPECT_EQ(found, c.found);
    }
}

TEST_F(RepairTest, AViewOverTwoTablesNamesTheLastAndAViewWithNoColumnFoundNamesNone)
{
    h.engine.model.views = {View("V2", {{"X", "S_A"}, {"Z", "S_B"}}), View("V3", {{"Q", "S_Q"}})};
    RepairSession session = Session({"V2", "V3"});
    RepairSelectedObjects(session);
    EXPECT_EQ(target.Texts(Executed::Definition),
              (std::vector<std::string>{"CREATE VIEW  V2(X,Z)AS SELECT * FROM T2",
                                        "CREATE VIEW  V3()AS SELECT * FROM "}));
}

TEST(AttachTarget, LogsTheOutcome)
{
    JobHarness h;
    FakeTarget target;
    h.state.repairing = true;
    ASSERT_TRUE(AttachTarget(h.job, target, TargetLogin{"/data/blank.ib", "SYSDBA", "masterkey"}));
    EXPECT_TRUE(h.state.connected);
    EXPECT_EQ(h.frame.logLines, (std::vector<std::string>{"Connection Create Successfully. ", ""}));
}

TEST(AttachTarget, RefusesTheDamagedFileItselfWithoutOpeningIt)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string damaged = folder.File("DAMAGED.GDB");
    {
        std::ofstream out(damaged);
        out << "pages";
    }
    JobHarness h;
    FakeTarget target;
    h.state.repairing = true;
    h.state.databasePath = damaged;
    for (const std::string& sameFile : {folder.File(".") + "/./DAMAGED.GDB", "localhost:" + damaged}) {
        SCOPED_TRACE(sameFile);
        h.frame.logLines.clear();
        h.state.repairing = true;
        EXPECT_FALSE(AttachTarget(h.job, target, TargetLogin{sameFile, "SYSDBA", "masterkey"}));
        EXPECT_FALSE(target.attached);
        EXPECT_FALSE(h.state.connected);
        EXPECT_FALSE(h.state.repairing);
        ASSERT_EQ(h.frame.logLines.size(), 4u);
        EXPECT_EQ(h.frame.logLines[0], "Connection Failed.");
        EXPECT_EQ(h.frame.logLines[1],
                  "Either User Name, Password may be wrong or Services for IB Manager may not be started");
        EXPECT_NE(h.frame.logLines[2].find("the damaged database file itself"), std::string::npos);
    }
}

}  // namespace
}  // namespace ravelin::writer
