// The exact restore (repair --exact) into embedded targets: every column
// keeps its own type, values keep their full precision, and blobs land
// inside their columns.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/repaircommand.h"
#include "fixture/blobrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/formatrecords.h"
#include "fixture/tablerecords.h"
#include "fixture/truthpackets.h"
#include "writer/writertesting.h"

namespace ravelin::cli {
namespace {

using fixture::Bytes;
using fixture::FieldSpec;
using writer::testing::IsqlAvailable;
using writer::testing::QueryBlobs;
using writer::testing::RunIsql;
using writer::testing::TempFolder;
using writer::testing::Words;

const std::string kSamples = RAVELIN_SAMPLES_DIR;

class ExactRestore : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!IsqlAvailable())
            GTEST_SKIP() << "isql-fb is not installed: the restore tests need the Firebird utilities";
        ASSERT_TRUE(folder.Ok());
    }

    int Run(RepairCommandOptions options)
    {
        out.str("");
        err.str("");
        ScanStreams streams{out, err, false, {}};
        return RunRepairCommand(options, streams);
    }

    RepairCommandOptions Options(const std::string& file, const std::string& target)
    {
        RepairCommandOptions options;
        options.file = file;
        options.target = folder.File(target);
        options.create = true;
        options.exact = true;
        return options;
    }

    void CheckTypedTarget(const RepairCommandOptions& options, const Bytes& binary)
    {
        // One blob value names no blob of the file: its record lands with
        // NULL there, and the repair does not call itself complete.
        ASSERT_EQ(Run(options), kExitIncomplete) << err.str() << out.str();
        EXPECT_NE(err.str().find("Blobs not copied: 1 in TABLE_128"), std::string::npos) << err.str();
        EXPECT_NE(out.str().find("Total Blob Recovered : 2"), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("Blobs not found (NULL written) : 1"), std::string::npos) << out.str();
        // No blob files: the blobs are in their columns.
        EXPECT_FALSE(std::filesystem::exists(folder.File("BlobData_" + std::filesystem::path(options.target).filename().string())));
    
        // Type, sub-type, scale, precision, character set and length in
        // characters of each column, in declared order.
        const std::string types =
            "SELECT TRIM(R.RDB$FIELD_NAME), F.RDB$FIELD_TYPE, COALESCE(F.RDB$FIELD_SUB_TYPE, 0), F.RDB$FIELD_SCALE, "
            "COALESCE(F.RDB$FIELD_PRECISION, 0), COALESCE(F.RDB$CHARACTER_SET_ID, 0), "
            "COALESCE(F.RDB$CHARACTER_LENGTH, 0) FROM RDB$RELATION_FIELDS R "
            "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE "
            "WHERE R.RDB$RELATION_NAME = 'TABLE_128' ORDER BY R.RDB$FIELD_POSITION;";
        const std::vector<std::string> expectedTypes = {
            "COLUMN_0",  "7",   "0", "0",  "0",  "0", "0",   // SMALLINT
            "COLUMN_1",  "8",   "0", "0",  "0",  "0", "0",   // INTEGER
            "COLUMN_2",  "16",  "0", "0",  "0",  "0", "0",   // BIGINT
            "COLUMN_3",  "8",   "1", "-2", "9",  "0", "0",   // NUMERIC(9,2)
            "COLUMN_4",  "16",  "2", "-3", "18", "0", "0",   // DECIMAL(18,3)
            "COLUMN_5",  "10",  "0", "0",  "0",  "0", "0",   // FLOAT
            "COLUMN_6",  "27",  "0", "0",  "0",  "0", "0",   // DOUBLE PRECISION
            "COLUMN_7",  "12",  "0", "0",  "0",  "0", "0",   // DATE
            "COLUMN_8",  "13",  "0", "0",  "0",  "0", "0",   // TIME
            "COLUMN_9",  "35",  "0", "0",  "0",  "0", "0",   // TIMESTAMP
            "COLUMN_10", "14",  "0", "0",  "0",  "0", "6",   // CHAR(6)
            "COLUMN_11", "37",  "0", "0",  "0",  "4", "5",   // VARCHAR(5) CHARACTER SET UTF8
            "COLUMN_12", "261", "1", "0",  "0",  "0", "0",   // BLOB SUB_TYPE TEXT
            "COLUMN_13", "261", "0", "0",  "0",  "0", "0",   // BLOB SUB_TYPE BINARY
        };
        EXPECT_EQ(Words(RunIsql(options.target, types)), expectedTypes);
    
        // Values as the target gives them back: 64-bit and 18-digit numbers to
        // the last digit, ten-thousandths of a second, the years 1 and 9999.
        const std::string values =
            "SELECT COLUMN_1, COLUMN_0, COLUMN_2, COLUMN_3, COLUMN_4, COLUMN_5, COLUMN_6, COLUMN_7, "
            "CAST(COLUMN_8 AS VARCHAR(13)), REPLACE(CAST(COLUMN_9 AS VARCHAR(24)), ' ', 'T'), '[' || TRIM(COLUMN_10) || ']', "
            "'[' || COLUMN_11 || ']', COALESCE(CAST(COLUMN_12 AS VARCHAR(40)), 'NULL') FROM TABLE_128 ORDER BY COLUMN_1;";
        const std::vector<std::string> expectedValues = {
            "1", "-32768", "9223372036854775807", "123.45", "123456789012345.678", "1.5000000", "-2.250000000000000",
            "1999-12-31", "23:59:59.9999", "0001-01-01T12:00:00.0001", "[abc]", "[gr\xc3\xbc\xc3\x9f]", "a", "text",
            "blob", "of", "two", "segments",
            "2", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>",
            "<null>", "NULL",
            "3", "7", "-9223372036854775808", "-0.05", "-0.001", "0.0000000", "1.000000000000000e+300", "9999-12-31",
            "00:00:00.0000", "2024-02-29T00:00:00.0000", "[]", "[]", "NULL",
        };
        EXPECT_EQ(Words(RunIsql(options.target, values)), expectedValues);
    
        const std::vector<std::optional<Bytes>> blobs =
            QueryBlobs(options.target, "SELECT COLUMN_13 FROM TABLE_128 ORDER BY COLUMN_1");
        ASSERT_EQ(blobs.size(), 3u);
        ASSERT_TRUE(blobs[0].has_value());
        EXPECT_TRUE(*blobs[0] == binary) << "the binary blob differs (" << blobs[0]->size() << " bytes)";
        EXPECT_FALSE(blobs[1].has_value());
        EXPECT_FALSE(blobs[2].has_value());
    }

    TempFolder folder;
    std::ostringstream out;
    std::ostringstream err;
};

// Bytes of every value 0..255, zeros among them, longer than two of the
// target's blob segments.
Bytes BinaryPattern(std::size_t length)
{
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::byte>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

// A table of every type a record format stores (relation 128; the scan
// names it TABLE_128 and its columns COLUMN_0...), with values at the
// edges of their types and blobs of both sub-types.
std::string WriteTypedFile(const std::string& path, const Bytes& binary)
{
    fixture::FixtureWriter writer(8192, 16);
    FieldSpec numeric{1, 4};
    numeric.scale = -2;
    numeric.precision = 9;
    FieldSpec decimal{2, 8};
    decimal.scale = -3;
    decimal.precision = 18;
    FieldSpec utf8{37, 20};
    utf8.characterSet = 59;
    FieldSpec text{5, 8};
    text.blobSubType = 1;
    const FieldSpec binaryBlob{5, 8};
    const fixture::TableRecordBuilder table({{7, 2}, {8, 4}, {16, 8}, numeric, decimal, {10, 4}, {27, 8}, {12, 4},
                                             {13, 4}, {35, 8}, {14, 6}, utf8, text, binaryBlob});
    fixture::FormatWriter formats(writer, 16);
    formats.Add(128, 1, fixture::FormatFieldsOf(table));
    formats.Finish();

    fixture::BlobTableWriter blobs(writer, 128, {fixture::BlobLayout::Place::HeaderPages});
    const fixture::StoredBlob note = blobs.AddBlob(fixture::ToBytes("a text blob of two segments"), {8});
    fixture::BlobOptions segments;
    segments.segmentSize = 30000;
    const fixture::StoredBlob image = blobs.AddBlob(binary, segments);
    blobs.Finish();

    fixture::UserTableWriter rows(writer, 128);
    rows.Add(table.Record({fixture::SmallintBytes(-32768), fixture::IntegerBytes(1),
                           fixture::ScaledBytes(INT64_MAX, 8), fixture::IntegerBytes(12345),
                           fixture::ScaledBytes(123456789012345678, 8), fixture::FloatBytes(1.5f),
                           fixture::DoubleBytes(-2.25), fixture::DateBytes(fixture::DayNumber(1999, 12, 31)),
                           fixture::TimeBytes(86399 * 10000 + 9999),
                           fixture::TimestampBytes(fixture::DayNumber(1, 1, 1), 12 * 3600 * 10000 + 1),
                           fixture::CharBytes("abc", 6), fixture::VarcharBytes("gr\xc3\xbc\xc3\x9f", 20),
                           fixture::BlobIdBytes(128, note.recordNumber),
                           fixture::BlobIdBytes(128, image.recordNumber)}));
    rows.Add(table.Record({std::nullopt, fixture::IntegerBytes(2), std::nullopt, std::nullopt, std::nullopt,
                           std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                           std::nullopt, std::nullopt, std::nullopt}));
    rows.Add(table.Record({fixture::SmallintBytes(7), fixture::IntegerBytes(3), fixture::ScaledBytes(INT64_MIN, 8),
                           fixture::IntegerBytes(-5), fixture::ScaledBytes(-1, 8), fixture::FloatBytes(0.0f),
                           fixture::DoubleBytes(1e300), fixture::DateBytes(fixture::DayNumber(9999, 12, 31)),
                           fixture::TimeBytes(0), fixture::TimestampBytes(fixture::DayNumber(2024, 2, 29), 0),
                           fixture::CharBytes("", 6), fixture::VarcharBytes("", 20),
                           // A blob id of another relation names no blob of this table.
                           fixture::BlobIdBytes(129, 0),
                           // No blob of the table has this number: not found.
                           fixture::BlobIdBytes(128, 999)}));
    rows.Finish();
    writer.WriteTo(path);
    return path;
}

// Each cadence: a statement with blobs runs on its own, also when INSERTs
// are otherwise committed in batches.
// Blob header pages numbered for 4 records that hold 3 each: the ids a
// table's first records store fit the fullest page's count of 3 as well,
// and under it they name other blobs that exist (id 4 would read the blob
// numbered 5). The numbering is fitted to every id of the table before its
// first INSERT, so each record receives its own blob.
std::string WriteMisleadingBlobFile(const std::string& path, std::vector<Bytes>& contents)
{
    fixture::FixtureWriter writer(1024, 16);
    const fixture::TableRecordBuilder table({{8, 4}, {5, 8}});
    fixture::FormatWriter formats(writer, 16);
    formats.Add(128, 1, fixture::FormatFieldsOf(table));
    formats.Finish();
    fixture::BlobTableWriter blobs(writer, 128, {fixture::BlobLayout::Place::HeaderPages, 4, false});
    std::vector<fixture::StoredBlob> stored;
    for (std::size_t i = 0; i < 15; ++i) {
        // About 300 bytes: three header records fill a page.
        Bytes data = BinaryPattern(290 + i);
        data[0] = static_cast<std::byte>(i);
        contents.push_back(data);
        stored.push_back(blobs.AddBlob(data));
    }
    blobs.Finish();
    fixture::UserTableWriter rows(writer, 128);
    for (std::size_t i = 0; i < stored.size(); ++i)
        rows.Add(table.Record({fixture::IntegerBytes(static_cast<std::int32_t>(i)),
                               fixture::BlobIdBytes(128, stored[i].recordNumber)}));
    rows.Finish();
    writer.WriteTo(path);
    return path;
}

TEST_F(ExactRestore, BlobsOfPagesNumberedForMoreThanTheyHoldLandWithTheirRecords)
{
    std::vector<Bytes> contents;
    const RepairCommandOptions options =
        Options(WriteMisleadingBlobFile(folder.File("misleading.ib"), contents), "misleading.fdb");
    ASSERT_EQ(Run(options), kExitCompleted) << err.str() << out.str();
    const std::vector<std::optional<Bytes>> blobs =
        QueryBlobs(options.target, "SELECT COLUMN_1 FROM TABLE_128 ORDER BY COLUMN_0");
    ASSERT_EQ(blobs.size(), contents.size());
    for (std::size_t i = 0; i < contents.size(); ++i) {
        ASSERT_TRUE(blobs[i].has_value()) << i;
        EXPECT_TRUE(*blobs[i] == contents[i]) << "record " << i << " holds another blob";
    }
}

TEST_F(ExactRestore, EveryStoredTypeLandsWithItsOwnTypeAndValue)
{
    const Bytes binary = BinaryPattern(70000);
    const std::string file = WriteTypedFile(folder.File("TYPED.GDB"), binary);
    // Values bound to a prepared INSERT, and the INSERT texts.
    for (const bool text : {false, true}) {
        for (const std::uint32_t commitEvery : {1u, 100u}) {
            SCOPED_TRACE(std::to_string(commitEvery) + (text ? " texts" : " bound"));
            RepairCommandOptions options =
                Options(file, "typed" + std::to_string(commitEvery) + (text ? "t" : "b") + ".fdb");
            options.commitEvery = commitEvery;
            options.textStatements = text;
            CheckTypedTarget(options, binary);
        }
    }
}

// dbdemos: the pictures of BIOLIFE and ANIMALS land in their columns with
// the bytes of the known content's images.
TEST_F(ExactRestore, SampleImagesLandInTheirColumnsByteForByte)
{
    const std::string sample = kSamples + "/ods16/dbdemos.gdb";
    if (!std::filesystem::exists(sample))
        GTEST_SKIP() << "sample database missing: " << sample;
    RepairCommandOptions options = Options(sample, "demos.fdb");
    options.tables = {"BIOLIFE", "ANIMALS"};
    ASSERT_EQ(Run(options), kExitCompleted) << err.str() << out.str();

    // Each table's images by their row's name, from the known content.
    const struct {
        const char* table;
        const char* truth;
        const char* nameColumn;     // in the target
        const char* truthName;      // the same attribute in the truth packet
        const char* imageColumn;
        const char* truthImage;
        std::size_t rows;
    } cases[] = {
        {"BIOLIFE", "biolife.xml", "COMMON_NAME", "Common_Name", "GRAPHIC", "Graphic", 28},
        {"ANIMALS", "animals.xml", "NAME", "NAME", "BMP", "BMP", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        std::map<std::string, Bytes> images;
        for (auto& row : fixture::PacketRows(kSamples + "/truth/" + c.truth))
            images[row[c.truthName]] = fixture::DecodeBase64(row[c.truthImage]);
        ASSERT_EQ(images.size(), c.rows);
        const std::string order = std::string(" FROM ") + c.table + " ORDER BY " + c.nameColumn;
        const std::vector<std::string> names =
            Words(RunIsql(options.target, std::string("SELECT REPLACE(") + c.nameColumn + ", ' ', '_')" + order + ";"));
        const std::vector<std::optional<Bytes>> stored =
            QueryBlobs(options.target, std::string("SELECT ") + c.imageColumn + order);
        ASSERT_EQ(names.size(), c.rows);
        ASSERT_EQ(stored.size(), c.rows);
        for (std::size_t i = 0; i < c.rows; ++i) {
            std::string name = names[i];
            std::replace(name.begin(), name.end(), '_', ' ');
            SCOPED_TRACE(name);
            ASSERT_EQ(images.count(name), 1u);
            ASSERT_TRUE(stored[i].has_value());
            EXPECT_TRUE(*stored[i] == images[name]);
        }
    }
}

// The EMPLOYEE sample against what its own script builds with the engine
// (employee.sql.gz): column by column and index by index. The one
// difference that remains: the computed column AGED keeps the 64-bit integer
// type the file gives it, where the engine derives NUMERIC(18,9) from the
// script's expression.
TEST_F(ExactRestore, EmployeeMatchesWhatItsScriptBuilds)
{
    const std::string sample = kSamples + "/ods15/EMPLOYEE.GDB";
    const std::string script = kSamples + "/truth/employee.sql.gz";
    if (!std::filesystem::exists(sample) || !std::filesystem::exists(script))
        GTEST_SKIP() << "sample database or its script missing";
    const std::string truth = folder.File("truth.fdb");
    const std::string truthScript = folder.File("employee.sql");
    const std::string build = "gzip -dc '" + script + "' | sed \"s|create database 'employee.fdb';|create database '" +
                              truth + "' user 'SYSDBA' password 'masterkey';|\" > '" + truthScript +
                              "' && isql-fb -q -i '" + truthScript + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(build.c_str()), 0);
    ASSERT_TRUE(std::filesystem::exists(truth));

    const RepairCommandOptions options = Options(sample, "employee.fdb");
    ASSERT_EQ(Run(options), kExitCompleted) << err.str() << out.str();
    EXPECT_NE(out.str().find("Indices recovered :38"), std::string::npos) << out.str();

    // One line per column: table.column, its domain, type, sub-type, scale,
    // precision, length in characters, NOT NULL, computed, dimensions.
    const std::string columns =
        "SELECT TRIM(R.RDB$RELATION_NAME) || '.' || TRIM(R.RDB$FIELD_NAME) || ':' || "
        "IIF(R.RDB$FIELD_SOURCE STARTING 'RDB$', '-', TRIM(R.RDB$FIELD_SOURCE)) || ',' || F.RDB$FIELD_TYPE || ',' || "
        "COALESCE(F.RDB$FIELD_SUB_TYPE, 0) || ',' || F.RDB$FIELD_SCALE || ',' || COALESCE(F.RDB$FIELD_PRECISION, 0) || "
        "',' || COALESCE(F.RDB$CHARACTER_LENGTH, 0) || ',' || COALESCE(R.RDB$NULL_FLAG, F.RDB$NULL_FLAG, 0) || ',' || "
        "IIF(F.RDB$COMPUTED_BLR IS NULL, 0, 1) || ',' || COALESCE(F.RDB$DIMENSIONS, 0) "
        "FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE "
        "JOIN RDB$RELATIONS T ON T.RDB$RELATION_NAME = R.RDB$RELATION_NAME "
        "WHERE COALESCE(T.RDB$SYSTEM_FLAG, 0) = 0 AND T.RDB$VIEW_BLR IS NULL "
        "ORDER BY R.RDB$RELATION_NAME, R.RDB$FIELD_POSITION;";
    const std::vector<std::string> expected = Words(RunIsql(truth, columns));
    const std::vector<std::string> restored = Words(RunIsql(options.target, columns));
    ASSERT_EQ(expected.size(), restored.size());
    ASSERT_GT(expected.size(), 60u);
    std::vector<std::string> differing;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != restored[i])
            differing.push_back(expected[i] + " / " + restored[i]);
    }
    EXPECT_EQ(differing, (std::vector<std::string>{
                             "SALES.AGED:-,16,1,-9,18,0,0,1,0 / SALES.AGED:-,16,0,0,18,0,0,1,0",
                         }));
    // The domains with their defaults, NOT NULL and CHECKs.
    const std::string domains =
        "SELECT TRIM(RDB$FIELD_NAME), COALESCE(RDB$NULL_FLAG, 0), REPLACE(COALESCE(RDB$DEFAULT_SOURCE, '-'), ' ', '_'), "
        "REPLACE(COALESCE(RDB$VALIDATION_SOURCE, '-'), ' ', '_') FROM RDB$FIELDS "
        "WHERE RDB$FIELD_NAME NOT STARTING 'RDB$' AND RDB$FIELD_NAME NOT STARTING 'SEC$' ORDER BY 1;";
    const std::vector<std::string> expectedDomains = Words(RunIsql(truth, domains));
    EXPECT_GT(expectedDomains.size(), 15u * 4u);
    EXPECT_EQ(Words(RunIsql(options.target, domains)), expectedDomains);
    EXPECT_NE(out.str().find("Domain checks recovered : "), std::string::npos) << out.str();

    // The array columns' bounds as the script declares them.
    const std::string bounds =
        "SELECT TRIM(RDB$FIELD_NAME), RDB$DIMENSION, RDB$LOWER_BOUND, RDB$UPPER_BOUND FROM RDB$FIELD_DIMENSIONS "
        "WHERE RDB$FIELD_NAME NOT STARTING 'RDB$' OR RDB$FIELD_NAME IN (SELECT RDB$FIELD_SOURCE FROM "
        "RDB$RELATION_FIELDS WHERE RDB$FIELD_NAME IN ('LANGUAGE_REQ', 'QUART_HEAD_CNT')) ORDER BY 3, 4;";
    EXPECT_EQ(Words(RunIsql(options.target, bounds)).size(), 8u);

    // Every index: table, name (the server's own names left out), unique,
    // descending, inactive, segments, and the constraint it enforces.
    const std::string indices =
        "SELECT TRIM(I.RDB$RELATION_NAME) || ':' || IIF(I.RDB$INDEX_NAME STARTING 'RDB$', '-', TRIM(I.RDB$INDEX_NAME)) "
        "|| ',' || COALESCE(I.RDB$UNIQUE_FLAG, 0) || ',' || COALESCE(I.RDB$INDEX_TYPE, 0) || ',' || "
        "COALESCE(I.RDB$INDEX_INACTIVE, 0) || ',' || (SELECT CAST(LIST(TRIM(S.RDB$FIELD_NAME), '+') AS VARCHAR(200)) "
        "FROM RDB$INDEX_SEGMENTS S WHERE S.RDB$INDEX_NAME = I.RDB$INDEX_NAME) || ',' || "
        "REPLACE(COALESCE(C.RDB$CONSTRAINT_TYPE, '-'), ' ', '_') FROM RDB$INDICES I "
        "LEFT JOIN RDB$RELATION_CONSTRAINTS C ON C.RDB$INDEX_NAME = I.RDB$INDEX_NAME "
        "WHERE COALESCE(I.RDB$SYSTEM_FLAG, 0) = 0;";
    std::vector<std::string> expectedIndices = Words(RunIsql(truth, indices));
    std::vector<std::string> restoredIndices = Words(RunIsql(options.target, indices));
    std::sort(expectedIndices.begin(), expectedIndices.end());
    std::sort(restoredIndices.begin(), restoredIndices.end());
    EXPECT_EQ(expectedIndices.size(), 38u);
    EXPECT_EQ(restoredIndices, expectedIndices);

    // The same rows, and the generators where the file left them.
    std::string counts;
    for (const char* table : {"COUNTRY", "JOB", "DEPARTMENT", "EMPLOYEE", "PROJECT", "EMPLOYEE_PROJECT",
                              "PROJ_DEPT_BUDGET", "SALARY_HISTORY", "CUSTOMER", "SALES"})
        counts += "SELECT '" + std::string(table) + "', COUNT(*) FROM " + table + ";\n";
    // The file holds 14 countries where the script inserts 16 (the scan
    // of the file counts 14 as well).
    std::vector<std::string> expectedCounts = Words(RunIsql(truth, counts));
    ASSERT_EQ(expectedCounts.size(), 20u);
    EXPECT_EQ(expectedCounts[1], "16");
    expectedCounts[1] = "14";
    EXPECT_EQ(Words(RunIsql(options.target, counts)), expectedCounts);
    EXPECT_EQ(Words(RunIsql(options.target, "SELECT GEN_ID(EMP_NO_GEN, 0), GEN_ID(CUST_NO_GEN, 0) FROM RDB$DATABASE;")),
              (std::vector<std::string>{"145", "1015"}));

    // The view from its stored source: the same columns in the same order,
    // and the same rows as the script's view over the same rows.
    const std::string viewColumns =
        "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'PHONE_LIST' "
        "ORDER BY RDB$FIELD_POSITION;";
    EXPECT_EQ(Words(RunIsql(options.target, viewColumns)), Words(RunIsql(truth, viewColumns)));
    const std::string phones = "SELECT * FROM PHONE_LIST ORDER BY EMP_NO;";
    const std::vector<std::string> phoneRows = Words(RunIsql(options.target, phones));
    EXPECT_GT(phoneRows.size(), 42u * 6u);
    EXPECT_EQ(phoneRows, Words(RunIsql(truth, phones)));

    // The CHECK constraints by table, created; the triggers, exceptions and
    // procedures written to the script, which then builds the same ones as
    // the script's own.
    const std::string checks =
        "SELECT TRIM(RDB$RELATION_NAME), COUNT(*) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_TYPE = 'CHECK' "
        "GROUP BY RDB$RELATION_NAME ORDER BY 1;";
    EXPECT_EQ(Words(RunIsql(options.target, checks)), Words(RunIsql(truth, checks)));
    EXPECT_NE(out.str().find("Check constraints recovered : 14"), std::string::npos) << out.str();
    const std::string proceduresScript = options.target + "Procedures.sql";
    ASSERT_TRUE(std::filesystem::exists(proceduresScript));
    const std::string runScript = "isql-fb -q -user SYSDBA -password masterkey '" + options.target + "' -i '" +
                                  proceduresScript + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(runScript.c_str()), 0);
    const std::string triggers =
        "SELECT TRIM(RDB$TRIGGER_NAME), TRIM(RDB$RELATION_NAME), RDB$TRIGGER_TYPE, RDB$TRIGGER_SEQUENCE FROM RDB$TRIGGERS "
        "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$TRIGGER_NAME NOT STARTING 'CHECK_' ORDER BY 1;";
    const std::vector<std::string> restoredTriggers = Words(RunIsql(options.target, triggers));
    EXPECT_EQ(restoredTriggers.size(), 16u);
    EXPECT_EQ(restoredTriggers, Words(RunIsql(truth, triggers)));
    const std::string exceptions = "SELECT TRIM(RDB$EXCEPTION_NAME), RDB$MESSAGE FROM RDB$EXCEPTIONS ORDER BY 1;";
    EXPECT_EQ(Words(RunIsql(options.target, exceptions)), Words(RunIsql(truth, exceptions)));
    const std::string procedures =
        "SELECT TRIM(P.RDB$PROCEDURE_NAME), P.RDB$PROCEDURE_INPUTS, P.RDB$PROCEDURE_OUTPUTS FROM RDB$PROCEDURES P "
        "ORDER BY 1;";
    const std::vector<std::string> restoredProcedures = Words(RunIsql(options.target, procedures));
    EXPECT_EQ(restoredProcedures.size(), 10u * 3u);
    EXPECT_EQ(restoredProcedures, Words(RunIsql(truth, procedures)));

    // The arrays' elements, read by the file's own procedure over the
    // restored rows: the languages the file stores for the engineers of
    // Japan (each text ends with a line feed there).
    EXPECT_EQ(Words(RunIsql(options.target, "SELECT COUNT(*) FROM JOB WHERE LANGUAGE_REQ IS NOT NULL;")),
              (std::vector<std::string>{"10"}));
    EXPECT_EQ(Words(RunIsql(options.target, "SELECT LANGUAGES FROM SHOW_LANGS('Eng', 3, 'Japan');")),
              (std::vector<std::string>{"Japanese", "Mandarin", "English"}));
}

// An array whose stored descriptor no longer describes its bytes: its
// record still lands, with NULL there, and the repair names the array as
// not copied instead of calling itself complete.
TEST_F(ExactRestore, DamagedArrayLeavesItsRecordWithNull)
{
    const std::string sample = kSamples + "/ods15/EMPLOYEE.GDB";
    if (!std::filesystem::exists(sample))
        GTEST_SKIP() << "sample database missing";
    const std::string damaged = folder.File("EMPLOYEE.GDB");
    std::filesystem::copy_file(sample, damaged);
    std::string bytes;
    {
        std::ifstream in(damaged, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    // The stored array of the engineers of Japan: a VARCHAR(15) [1:5]
    // descriptor whose first element is "Japanese\n". Its element count
    // becomes 6, which its bounds and length deny.
    const std::string descriptor("\x02\x01\x01\x00\x11\x00\x2c\x00\x05\x00\x00\x00", 12);
    std::size_t at = 0;
    while ((at = bytes.find(descriptor, at)) != std::string::npos && bytes.compare(at + 46, 8, "Japanese") != 0)
        ++at;
    ASSERT_NE(at, std::string::npos);
    bytes[at + 8] = '\x06';
    {
        std::ofstream outFile(damaged, std::ios::binary | std::ios::trunc);
        outFile.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    const RepairCommandOptions options = Options(damaged, "damaged.fdb");
    ASSERT_EQ(Run(options), kExitIncomplete) << err.str() << out.str();
    EXPECT_NE(err.str().find("Arrays not copied: 1 in JOB"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("Arrays not copied (NULL written) : 1"), std::string::npos) << out.str();
    EXPECT_EQ(Words(RunIsql(options.target, "SELECT COUNT(*), COUNT(LANGUAGE_REQ) FROM JOB;")),
              (std::vector<std::string>{"31", "9"}));
}

}  // namespace
}  // namespace ravelin::cli
