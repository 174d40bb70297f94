#include "writer/targetconnection.h"

#include <atomic>
#include <bit>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ibase.h>

#include "ods/textcodec.h"
#include "writer/blanktarget.h"
#include "writer/repair.h"
#include "writertesting.h"

namespace ravelin::writer {
namespace {

using testing::IsqlAvailable;
using testing::ReadAll;
using testing::RunIsql;
using testing::TempFolder;
using testing::Words;

// The number of rows a new attachment of its own sees in table (-1 when the
// query fails): what other users of the target see committed.
long long CommittedRows(const std::string& database, const std::string& table)
{
    const std::vector<std::uint8_t> dpb = BuildDatabaseParameters("SYSDBA", "masterkey");
    ISC_STATUS_ARRAY status = {};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    isc_stmt_handle stmt = 0;
    long long rows = -1;
    if (isc_attach_database(status, 0, database.c_str(), &db, static_cast<short>(dpb.size()),
                            reinterpret_cast<const ISC_SCHAR*>(dpb.data())) != 0)
        return -1;
    alignas(XSQLDA) char buffer[XSQLDA_LENGTH(1)] = {};
    XSQLDA* out = reinterpret_cast<XSQLDA*>(buffer);
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    ISC_INT64 count = 0;
    short nullFlag = 0;
    const std::string query = "SELECT COUNT(*) FROM " + table;
    if (isc_start_transaction(status, &tr, 1, &db, 0, nullptr) == 0 &&
        isc_dsql_allocate_statement(status, &db, &stmt) == 0 &&
        isc_dsql_prepare(status, &tr, &stmt, 0, query.c_str(), 3, out) == 0) {
        out->sqlvar[0].sqltype = SQL_INT64 + 1;
        out->sqlvar[0].sqlscale = 0;
        out->sqlvar[0].sqllen = sizeof count;
        out->sqlvar[0].sqldata = reinterpret_cast<ISC_SCHAR*>(&count);
        out->sqlvar[0].sqlind = &nullFlag;
        if (isc_dsql_execute(status, &tr, &stmt, 1, nullptr) == 0 && isc_dsql_fetch(status, &stmt, 1, out) == 0)
            rows = count;
        isc_dsql_free_statement(status, &stmt, DSQL_drop);
    }
    if (tr != 0)
        isc_commit_transaction(status, &tr);
    isc_detach_database(status, &db);
    return rows;
}

TEST(DatabaseParameters, UserNameAndPasswordOnly)
{
    const std::vector<std::uint8_t> dpb = BuildDatabaseParameters("SYSDBA", "masterkey");
    const std::vector<std::uint8_t> expected = {1,   28,  6,   'S', 'Y', 'S', 'D', 'B', 'A', 29,
                                                9,   'm', 'a', 's', 't', 'e', 'r', 'k', 'e', 'y'};
    EXPECT_EQ(dpb, expected);
    // One length byte each: longer texts cannot be said.
    EXPECT_TRUE(BuildDatabaseParameters(std::string(256, 'u'), "p").empty());
    EXPECT_EQ(BuildDatabaseParameters(std::string(255, 'u'), "").size(), 255u + 5u);
    // Converted to the code page: one byte per character.
    EXPECT_EQ(BuildDatabaseParameters("M\xC3\xBCller", "x")[2], 6);
    // Forced writes set on or off: force write (24), one byte.
    const std::vector<std::uint8_t> off = BuildDatabaseParameters("A", "b", false);
    EXPECT_EQ(std::vector<std::uint8_t>(off.end() - 3, off.end()), (std::vector<std::uint8_t>{24, 1, 0}));
    EXPECT_EQ(BuildDatabaseParameters("A", "b", true).back(), 1);
}

TEST(IsServerPath, TellsServerPathsFromLocalFiles)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"/var/db/blank.fdb", false}, {"blank.fdb", false},        {"./x:y.fdb", false},
        {"/data/a:b/t.fdb", false},   {"dir/sub/x:y.fdb", false},  {"localhost:/db/t.fdb", true},
        {"host:t.fdb", true},         {"host/3051:/db/t.fdb", true}, {"inet://host/db/t.fdb", true},
        {"[::1]:/db/t.fdb", true},    {":/db/t.fdb", false},
    };
    for (const auto& [path, server] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(IsServerPath(path), server);
    }
}

// A blank database made by CreateBlankTarget in a scratch folder, opened by
// the embedded engine.
class EmbeddedTarget : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!IsqlAvailable())
            GTEST_SKIP() << "isql-fb is not installed: the embedded-engine tests need the Firebird utilities";
        ASSERT_TRUE(folder.Ok());
    }

    TargetLogin Login(const std::string& name) const { return TargetLogin{folder.File(name), "SYSDBA", "masterkey"}; }

    TargetLogin Blank(const std::string& name)
    {
        const TargetLogin login = Login(name);
        const std::string failure = CreateBlankTarget(login);
        EXPECT_EQ(failure, "");
        return login;
    }

    TempFolder folder;
};

TEST_F(EmbeddedTarget, TablesAndRowsLandInTheTarget)
{
    const TargetLogin login = Blank("blank.fdb");
    TargetConnection target;
    ASSERT_TRUE(target.Attach(login)) << target.FailureText();
    EXPECT_EQ(target.DatabaseDialect(), 3);
    // NUMERIC(15,3) is refused by a dialect 3 database from a dialect 1
    // statement: definitions use the database's own dialect.
    ASSERT_TRUE(target.ExecuteDefinition(
        "CREATE TABLE T(ID INTEGER NOT NULL ,NAME VARCHAR(40)  DEFAULT 'X',AMOUNT NUMERIC(15,3),WHEN1 TIMESTAMP,"
        "PRIMARY KEY(ID))"))
        << target.FailureText();
    EXPECT_TRUE(target.ExecuteInsert(
        "INSERT INTO T(ID,NAME,AMOUNT,WHEN1) VALUES (1,'O''Brien',123456789012.345,'2004-01-31 10:20:30')"));
    EXPECT_TRUE(target.ExecuteInsert("INSERT INTO T(ID,NAME,AMOUNT,WHEN1) VALUES (2,'M\xC3\xBCller',NULL,NULL)"));
    EXPECT_TRUE(target.ExecuteInsert("INSERT INTO T(ID) VALUES (3)"));
    ASSERT_TRUE(target.DetachTarget());
    EXPECT_FALSE(target.Attached());

    const std::string rows = RunIsql(login.targetPath, "SELECT ID, NAME, AMOUNT FROM T ORDER BY ID;");
    // The text went to the target in the code page: u-umlaut is one byte.
    EXPECT_EQ(Words(rows), (std::vector<std::string>{"1", "O'Brien", "123456789012.345", "2", "M\xFCller", "<null>",
                                                     "3", "X", "<null>"}))
        << rows;
}

TEST_F(EmbeddedTarget, AFailedStatementLosesOnlyItselfInEveryCommitCadence)
{
    const std::vector<std::string> statements = {
        "INSERT INTO T(ID,V) VALUES (1,'a')",  "INSERT INTO T(ID,V) VALUES (2,'b')",
        "INSERT INTO T(ID,V) VALUES (3,'c')",  "INSERT INTO T(ID,V) VALUES (2,'duplicate')",  // 4th: key violation
        "INSERT INTO T(ID,V) VALUES (5,'e')",  "INSERT INTO T(ID,V) VALUES ('six','f')",      // 6th: conversion
        "INSERT INTO T(ID,V) VALUES (7,'g')",  "INSERT INTO T(ID,V) VALUES (8,'h'",           // 8th: incomplete
        "INSERT INTO T(ID,V) VALUES (9,'i')",  "INSERT INTO T(ID,V) VALUES (10,NULL)",        // 10th: NOT NULL
        "INSERT INTO T(ID,V) VALUES (11,'k')",
    };
    const std::vector<bool> expectedResults = {true, true, true, false, true, false, true, false, true, false, true};
    const std::vector<std::string> expectedRows = {"1", "a", "2", "b", "3", "c", "5", "e", "7", "g", "9", "i", "11", "k"};

    for (std::uint32_t perCommit : {1u, 2u, 4u, 1000u}) {
        SCOPED_TRACE("statements per commit: " + std::to_string(perCommit));
        const TargetLogin login = Blank("cadence" + std::to_string(perCommit) + ".fdb");
        TargetConnection target(nullptr, CommitCadence{perCommit});
        ASSERT_TRUE(target.Attach(login)) << target.FailureText();
        ASSERT_TRUE(target.ExecuteDefinition("CREATE TABLE T(ID INTEGER NOT NULL ,V VARCHAR(10) NOT NULL ,PRIMARY KEY(ID))"));
        std::vector<bool> results;
        for (const std::string& statement : statements)
            results.push_back(target.ExecuteInsert(statement));
        EXPECT_EQ(results, expectedResults);
        EXPECT_NE(target.LastSqlCode(), 0);
        ASSERT_TRUE(target.DetachTarget()) << target.FailureText();
        EXPECT_EQ(target.InsertsLostAtCommit(), 0u);
        EXPECT_EQ(Words(RunIsql(login.targetPath, "SELECT ID, V FROM T ORDER BY ID;")), expectedRows);
    }
}

// Records bound to one prepared INSERT: each value lands as the target's
// own type holds it, and a refused record loses only itself at every
// cadence.
TEST_F(EmbeddedTarget, PreparedRecordsLandTheirValuesAndARefusedOneLosesOnlyItself)
{
    using extract::InsertValue;
    using extract::ValueKind;
    const auto integer = [](std::int64_t n, std::int16_t scale = 0) {
        InsertValue v;
        v.kind = ValueKind::Integer;
        v.integer = n;
        v.scale = scale;
        return v;
    };
    const auto text = [](std::string t, bool utf8 = false) {
        InsertValue v;
        v.kind = utf8 ? ValueKind::Utf8Text : ValueKind::Text;
        v.text = std::move(t);
        return v;
    };
    const auto of = [](ValueKind kind, double real, std::int64_t n = 0, std::uint32_t time = 0) {
        InsertValue v;
        v.kind = kind;
        v.real = real;
        v.integer = n;
        v.time = time;
        return v;
    };
    const InsertValue null;
    // A stored DOUBLE (dbdemos, BIOLIFE) that the target's reading of its
    // shortest text misses by its last bit.
    const double kLastBit = std::bit_cast<double>(std::uint64_t{0x402DEBD7AF5EBD7B});
    // ID, N NUMERIC(18,3), D DOUBLE, F FLOAT, B BOOLEAN, DT DATE, TM TIME,
    // TS TIMESTAMP, C VARCHAR(6) (code page), U VARCHAR(3) UTF8.
    const std::vector<std::vector<InsertValue>> records = {
        {integer(1), integer(123456789012345678, 3), of(ValueKind::Double, kLastBit), of(ValueKind::Float, 1.5),
         of(ValueKind::Boolean, 0, 1), of(ValueKind::Date, 0, 15018), of(ValueKind::Time, 0, 0, 863999999),
         of(ValueKind::Timestamp, 0, -678575, 1), text(std::string("M\xC3\xBCl\0ler", 8)), text("\xC3\xA4\xE2\x82\xAC!", true)},
        {integer(1), null, null, null, null, null, null, null, null, null},  // the key again
        {integer(3), null, null, null, null, null, null, null, text("too long"), null},
        {null, null, null, null, null, null, null, null, null, null},  // ID is NOT NULL
        {integer(5, 0), integer(-5, 3), of(ValueKind::Double, -1e300), null, of(ValueKind::Boolean, 0, 0), null,
         null, null, text(""), text("abc", true)},
    };
    const std::vector<bool> expectedResults = {true, false, false, false, true};
    for (std::uint32_t perCommit : {1u, 4u, 1000u}) {
        SCOPED_TRACE("records per commit: " + std::to_string(perCommit));
        const TargetLogin login = Blank("prepared" + std::to_string(perCommit) + ".fdb");
        TargetConnection target(nullptr, CommitCadence{perCommit});
        ASSERT_TRUE(target.Attach(login)) << target.FailureText();
        ASSERT_TRUE(target.ExecuteDefinition(
            "CREATE TABLE T(ID INTEGER NOT NULL PRIMARY KEY, N NUMERIC(18,3), D DOUBLE PRECISION, F FLOAT, "
            "B BOOLEAN, DT DATE, TM TIME, TS TIMESTAMP, C VARCHAR(6), U VARCHAR(3) CHARACTER SET UTF8)"));
        ASSERT_TRUE(target.PrepareInsert("INSERT INTO T(ID,N,D,F,B,DT,TM,TS,C,U) VALUES (?,?,?,?,?,?,?,?,?,?)"))
            << target.FailureText();
        std::vector<bool> results;
        for (const std::vector<InsertValue>& record : records)
            results.push_back(target.ExecutePrepared(record, {}));
        EXPECT_EQ(results, expectedResults);
        // A record with fewer values than markers is refused with a reason.
        EXPECT_FALSE(target.ExecutePrepared(std::span(records[0]).first(3), {}));
        EXPECT_NE(target.FailureText().find("prepared INSERT"), std::string::npos) << target.FailureText();
        ASSERT_TRUE(target.DetachTarget()) << target.FailureText();
        EXPECT_EQ(target.InsertsLostAtCommit(), 0u);
        const std::string rows = RunIsql(
            login.targetPath,
            "SELECT ID, N, D, F, B, DT, CAST(TM AS VARCHAR(13)), CAST(TS AS VARCHAR(24)), '[' || C || ']', "
            "'[' || U || ']' FROM T ORDER BY ID;");
        // The code page text reaches the target in the code page, without
        // its zero character; the UTF-8 text keeps its three characters.
        EXPECT_EQ(Words(rows),
                  (std::vector<std::string>{"1", "123456789012345.678", "14.96062992125984", "1.5000000", "<true>",
                                            "1899-12-30", "23:59:59.9999", "0001-01-01", "00:00:00.0001",
                                            "[M\xFCller]", "[\xC3\xA4\xE2\x82\xAC!]", "5", "-0.005",
                                            "-1.000000000000000e+300", "<null>", "<false>", "<null>", "<null>",
                                            "<null>", "[]", "[abc]"}))
            << rows;
        // The DOUBLE to its last bit (little-endian bytes of its bits).
        const std::vector<std::string> dumped = testing::DumpTables(login.targetPath)["T"];
        ASSERT_EQ(dumped.size(), 2u);
        EXPECT_NE(dumped[0].find("|7bbd5eafd7eb2d40|"), std::string::npos) << dumped[0];
    }
    // Texts only, when the cadence says so.
    const TargetLogin login = Blank("texts.fdb");
    CommitCadence texts;
    texts.textStatements = true;
    TargetConnection target(nullptr, texts);
    ASSERT_TRUE(target.Attach(login));
    ASSERT_TRUE(target.ExecuteDefinition("CREATE TABLE A(ID INTEGER)"));
    EXPECT_FALSE(target.PrepareInsert("INSERT INTO A(ID) VALUES (?)"));
    EXPECT_FALSE(target.ExecutePrepared(std::vector<InsertValue>{integer(1)}, {}));
    ASSERT_TRUE(target.DetachTarget());
}

TEST_F(EmbeddedTarget, ADefinitionCommitsTheRowsBatchedBeforeIt)
{
    const TargetLogin login = Blank("order.fdb");
    TargetConnection target(nullptr, CommitCadence{1000});
    ASSERT_TRUE(target.Attach(login));
    ASSERT_TRUE(target.ExecuteDefinition("CREATE TABLE A(ID INTEGER)"));
    ASSERT_TRUE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (1)"));
    EXPECT_EQ(CommittedRows(login.targetPath, "A"), 0);
    // A definition is committed on its own, after the rows batched before it.
    ASSERT_TRUE(target.ExecuteDefinition("CREATE VIEW  V(ID)AS SELECT * FROM A"));
    EXPECT_EQ(CommittedRows(login.targetPath, "A"), 1);
    EXPECT_EQ(CommittedRows(login.targetPath, "V"), 1);
    // A refused definition commits the batch as well and changes nothing else.
    ASSERT_TRUE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (2)"));
    EXPECT_FALSE(target.ExecuteDefinition("CREATE TABLE A(ID INTEGER)"));
    EXPECT_NE(target.FailureText().find("A"), std::string::npos) << target.FailureText();
    EXPECT_EQ(CommittedRows(login.targetPath, "A"), 2);
    ASSERT_TRUE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (3)"));
    ASSERT_TRUE(target.DetachTarget());
    EXPECT_EQ(Words(RunIsql(login.targetPath, "SELECT ID FROM V ORDER BY ID;")),
              (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(EmbeddedTarget, EachStatementIsCommittedAtOnceByDefault)
{
    const TargetLogin login = Blank("each.fdb");
    TargetConnection target;
    ASSERT_TRUE(target.Attach(login));
    ASSERT_TRUE(target.ExecuteDefinition("CREATE TABLE A(ID INTEGER NOT NULL ,PRIMARY KEY(ID))"));
    EXPECT_EQ(CommittedRows(login.targetPath, "A"), 0);
    ASSERT_TRUE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (1)"));
    EXPECT_EQ(CommittedRows(login.targetPath, "A"), 1);
    // A refused INSERT is followed by one in a fresh transaction.
    EXPECT_FALSE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (1)"));
    ASSERT_TRUE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (2)"));
    EXPECT_EQ(CommittedRows(login.targetPath, "A"), 2);
    ASSERT_TRUE(target.DetachTarget());
}

TEST_F(EmbeddedTarget, AStopRequestKeepsWhatWasSentAndSendsNothingMore)
{
    for (std::uint32_t perCommit : {1u, 1000u}) {
        SCOPED_TRACE("statements per commit: " + std::to_string(perCommit));
        const TargetLogin login = Blank("stop" + std::to_string(perCommit) + ".fdb");
        std::atomic<bool> stop{false};
        TargetConnection target(&stop, CommitCadence{perCommit});
        ASSERT_TRUE(target.Attach(login));
        ASSERT_TRUE(target.ExecuteDefinition("CREATE TABLE A(ID INTEGER)"));
        ASSERT_TRUE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (1)"));
        stop = true;
        EXPECT_FALSE(target.ExecuteInsert("INSERT INTO A(ID) VALUES (2)"));
        EXPECT_FALSE(target.ExecuteDefinition("CREATE TABLE B(ID INTEGER)"));
        ASSERT_TRUE(target.DetachTarget());
        EXPECT_EQ(Words(RunIsql(login.targetPath, "SELECT ID FROM A; SELECT COUNT(*) FROM RDB$RELATIONS WHERE "
                                                  "RDB$RELATION_NAME = 'B';")),
                  (std::vector<std::string>{"1", "0"}));
    }
}

TEST_F(EmbeddedTarget, AttachFailuresSayWhy)
{
    const std::string notADatabase = folder.File("notes.txt");
    {
        std::ofstream out(notADatabase, std::ios::binary);
        out << std::string(8192, 'x');
    }
    struct Case {
        const char* title;
        std::string path;
        const char* reasonPart;
    };
    const std::vector<Case> cases = {
        {"missing file", folder.File("missing.fdb"), "No such file"},
        {"not a database", notADatabase, "not a valid database"},
        {"a folder", folder.File(""), "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        testing::JobHarness h;
        h.state.repairing = true;
        TargetConnection target;
        EXPECT_FALSE(AttachTarget(h.job, target, TargetLogin{c.path, "SYSDBA", "masterkey"}));
        EXPECT_FALSE(target.Attached());
        EXPECT_FALSE(h.state.connected);
        EXPECT_FALSE(h.state.repairing);
        EXPECT_NE(target.LastSqlCode(), 0);
        EXPECT_NE(target.FailureText().find(c.reasonPart), std::string::npos) << target.FailureText();
        ASSERT_EQ(h.frame.logLines.size(), 4u);
        EXPECT_EQ(h.frame.logLines[0], "Connection Failed.");
        EXPECT_EQ(h.frame.logLines[1],
                  "Either User Name, Password may be wrong or Services for IB Manager may not be started");
        EXPECT_EQ(h.frame.logLines[2], "Target database " + c.path + ": " + target.FailureText());
        // Statements on a failed attachment reach nothing.
        EXPECT_FALSE(target.ExecuteDefinition("CREATE TABLE A(ID INTEGER)"));
    }
    EXPECT_EQ(ReadAll(notADatabase), std::string(8192, 'x'));
}

TEST_F(EmbeddedTarget, ANewTargetIsNeverCreatedOverAnExistingFile)
{
    const std::string existing = folder.File("existing.fdb");
    {
        std::ofstream out(existing, std::ios::binary);
        out << "keep me";
    }
    const std::string failure = CreateBlankTarget(TargetLogin{existing, "SYSDBA", "masterkey"});
    EXPECT_NE(failure.find("already exists"), std::string::npos) << failure;
    EXPECT_EQ(ReadAll(existing), "keep me");

    const std::string noFolder = CreateBlankTarget(Login("no/such/folder/t.fdb"));
    EXPECT_NE(noFolder.find("could not be created"), std::string::npos) << noFolder;
}

// A fresh target is loaded with forced writes off and ends with them on; a
// target that held tables keeps its setting, whichever it is.
TEST_F(EmbeddedTarget, OnlyAFreshTargetIsLoadedWithoutForcedWrites)
{
    const std::string forced = "SELECT MON$FORCED_WRITES FROM MON$DATABASE;";
    const TargetLogin fresh = Blank("fresh.fdb");
    ASSERT_EQ(Words(RunIsql(fresh.targetPath, forced)), (std::vector<std::string>{"1"}));
    {
        TargetConnection target;
        ASSERT_TRUE(target.Attach(fresh)) << target.FailureText();
        EXPECT_TRUE(target.LoadingWithoutForcedWrites());
        EXPECT_EQ(target.ForcedWritesOn(), std::optional<bool>(false));
        ASSERT_TRUE(target.ExecuteDefinition("CREATE TABLE T(ID INTEGER)")) << target.FailureText();
        EXPECT_TRUE(target.ExecuteInsert("INSERT INTO T(ID) VALUES (1)"));
        ASSERT_TRUE(target.DetachTarget()) << target.FailureText();
    }
    EXPECT_EQ(Words(RunIsql(fresh.targetPath, forced + "SELECT COUNT(*) FROM T;")),
              (std::vector<std::string>{"1", "1"}));

    // The same file again: it holds a table now.
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        ASSERT_EQ(std::system(("gfix -write " + std::string(on ? "sync" : "async") + " -user SYSDBA '" +
                               fresh.targetPath + "' >/dev/null 2>&1")
                                  .c_str()),
                  0);
        TargetConnection target;
        ASSERT_TRUE(target.Attach(fresh)) << target.FailureText();
        EXPECT_FALSE(target.LoadingWithoutForcedWrites());
        EXPECT_EQ(target.ForcedWritesOn(), std::optional<bool>(on));
        EXPECT_TRUE(target.ExecuteInsert("INSERT INTO T(ID) VALUES (2)"));
        ASSERT_TRUE(target.DetachTarget()) << target.FailureText();
        EXPECT_EQ(Words(RunIsql(fresh.targetPath, forced)), (std::vector<std::string>{on ? "1" : "0"}));
    }
}

}  // namespace
}  // namespace ravelin::writer
