#include "cli/repaircommand.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "writer/writertesting.h"

namespace ravelin::cli {
namespace {

using writer::testing::IsqlAvailable;
using writer::testing::ReadAll;
using writer::testing::RunIsql;
using writer::testing::TempFolder;
using writer::testing::Words;

const std::string kSamples = RAVELIN_SAMPLES_DIR;

class RepairCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        sample = kSamples + "/ods16/dbdemos.gdb";
        if (!std::filesystem::exists(sample))
            GTEST_SKIP() << "sample database missing: " << sample;
        if (!IsqlAvailable())
            GTEST_SKIP() << "isql-fb is not installed: the repair tests need the Firebird utilities";
        ASSERT_TRUE(folder.Ok());
    }

    int Run(RepairCommandOptions options)
    {
        ScanStreams streams{out, err, false, {}};
        return RunRepairCommand(options, streams);
    }

    std::string sample;
    TempFolder folder;
    std::ostringstream out;
    std::ostringstream err;
};

// The record counts found in the target after repairing a sample, table by
// table. EMPLOYEE.GDB shows composite keys (EMPLOYEE_PROJECT,
// PROJ_DEPT_BUDGET, SALARY_HISTORY), a computed column (SALES.AGED) and
// array columns (JOB.LANGUAGE_REQ, PROJ_DEPT_BUDGET.QUART_HEAD_CNT), whose
// records land with NULL in them.
struct SampleCase {
    const char* file;
    std::uint32_t commitEvery;
    std::map<std::string, std::string> counts;
    // What the repair names as not copied; none: it completes.
    std::vector<std::string> shortfalls = {};
};

TEST_F(RepairCommand, RepairsTheSamplesTablesWithTheirRecords)
{
    const std::vector<SampleCase> cases = {
        {"ods16/dbdemos.gdb", 500,
         {{"ANIMALS", "7"}, {"BIOLIFE", "28"}, {"COUNTRY", "18"}, {"CUSTOLY", "30"}, {"CUSTOMER", "55"},
          {"EMPLOYEE", "42"}, {"INDUSTRY", "7"}, {"ITEMS", "945"}, {"MASTER", "109"}, {"NEXTCUST", "1"},
          {"NEXTITEM", "1"}, {"NEXTORD", "1"}, {"ORDERS", "205"}, {"PARTS", "59"}, {"VENDORS", "23"},
          {"VENUES", "10"}}},
        {"ods13/MASTSQL.GDB", 10,
         {{"CUSTOMER", "55"}, {"EMPLOYEE", "42"}, {"ITEMS", "947"}, {"NEXTCUST", "1"}, {"NEXTORD", "1"},
          {"ORDERS", "205"}, {"PARTS", "59"}, {"VENDORS", "23"}}},
        {"ods15/EMPLOYEE.GDB", 100,
         {{"COUNTRY", "14"}, {"JOB", "31"}, {"DEPARTMENT", "21"}, {"EMPLOYEE", "42"}, {"PROJECT", "6"}, {"EMPLOYEE_PROJECT", "28"},
          {"PROJ_DEPT_BUDGET", "24"}, {"SALARY_HISTORY", "49"}, {"CUSTOMER", "15"}, {"SALES", "33"}},
         // The salvage repair's tables have no array columns: the arrays'
         // elements are named as not copied.
         {"Arrays not copied: 10 in JOB", "Arrays not copied: 24 in PROJ_DEPT_BUDGET"}},
        {"ods16/EVENTS.GDB", 1,
         {{"CUSTOMER", "55"}, {"EMPLOYEE", "42"}, {"ITEMS", "947"}, {"NEXTCUST", "1"}, {"NEXTORD", "1"},
          {"VENDORS", "23"}, {"ORDERS", "205"}, {"PARTS", "59"}}},
        // A table without records is still created.
        {"ods13/DBUTILSTEST.IB", 1, {{"TEST_TABLE", "0"}}},
    };
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = kSamples + "/" + c.file;
        if (!std::filesystem::exists(file))
            continue;
        out.str("");
        err.str("");
        RepairCommandOptions options;
        options.file = file;
        options.target = folder.File(std::filesystem::path(c.file).stem().string() + ".fdb");
        options.create = true;
        options.commitEvery = c.commitEvery;
        if (c.shortfalls.empty()) {
            EXPECT_EQ(Run(options), kExitCompleted) << err.str() << out.str();
            EXPECT_NE(err.str().find("Repair process completed successfully."), std::string::npos) << err.str();
        } else {
            EXPECT_EQ(Run(options), kExitIncomplete) << err.str() << out.str();
            for (const std::string& line : c.shortfalls)
                EXPECT_NE(err.str().find(line), std::string::npos) << line << "\n" << err.str();
        }
        std::string script;
        for (const auto& [table, count] : c.counts)
            script += "SELECT '" + table + "', COUNT(*) FROM " + table + ";\n";
        const std::vector<std::string> words = Words(RunIsql(options.target, script));
        std::map<std::string, std::string> found;
        for (std::size_t i = 0; i + 1 < words.size(); i += 2)
            found[words[i]] = words[i + 1];
        EXPECT_EQ(found, c.counts);
    }
}

// Files an application used: tables altered after rows were stored, rows
// updated and deleted, UTF8 columns. Only the live rows land, each column
// holds what its records hold, and the UTF8 texts keep their declared
// length in characters.
TEST_F(RepairCommand, FilesWithAHistoryLandWithTheirLiveRows)
{
    const std::string script =
        "SELECT 'M', COUNT(*), MIN(MEDICINE_ID), MAX(MEDICINE_ID) FROM MEDICINE;\n"
        "SELECT 'MC', CAST(LIST(MEDICINE_ID || ':' || CATEGORY_ID) AS VARCHAR(200)) FROM "
        "(SELECT MEDICINE_ID, CATEGORY_ID FROM MEDICINE_CATEGORIES ORDER BY MEDICINE_ID);\n"
        "SELECT 'C', CAST(LIST(CATEGORY_ID) AS VARCHAR(200)) FROM (SELECT CATEGORY_ID FROM CATEGORY ORDER BY CATEGORY_ID);\n"
        "SELECT 'NAME', F.RDB$CHARACTER_LENGTH, TRIM(CS.RDB$CHARACTER_SET_NAME) FROM RDB$RELATION_FIELDS R "
        "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE "
        "JOIN RDB$CHARACTER_SETS CS ON CS.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID "
        "WHERE R.RDB$RELATION_NAME = 'MEDICINE' AND R.RDB$FIELD_NAME = 'MEDICINE_NAME';\n"
        "SELECT 'URL', COUNT(*) FROM MEDICINE WHERE URL LIKE 'http://hcp.gsk.co.uk/products/%.html';\n"
        "SELECT 'AVAMYS', MEDICINE_NAME FROM MEDICINE WHERE MEDICINE_ID = 1;\n";
    const std::vector<std::string> expected = {
        "M", "10", "1", "10",
        "MC", "1:1,2:1,3:1,4:2,5:2,6:2,7:3,8:4,9:4,10:5",
        "C", "1,2,3,4,5",
        "NAME", "100", "UTF8",
        "URL", "10",
        "AVAMYS", "Avamys", "(fluticasone", "furoate)",
    };
    for (const char* file : {"ods16/PHARMACY2.IB", "ods16/MEDICINES.IB"}) {
        SCOPED_TRACE(file);
        const std::string path = kSamples + "/" + file;
        if (!std::filesystem::exists(path))
            continue;
        out.str("");
        err.str("");
        RepairCommandOptions options;
        options.file = path;
        options.target = folder.File(std::filesystem::path(file).stem().string() + ".fdb");
        options.create = true;
        EXPECT_EQ(Run(options), kExitCompleted) << err.str() << out.str();
        EXPECT_NE(err.str().find("Repair process completed successfully."), std::string::npos) << err.str();
        EXPECT_EQ(Words(RunIsql(options.target, script)), expected);
    }
}

// BIOLIFE's GRAPHIC and NOTES blobs: each value names its file in the blob
// folder beside the target; the file is that name with the detected type's
// extension (bitmaps ".bmp", unrecognised text ".").
TEST_F(RepairCommand, BlobColumnsNameTheFilesHoldingTheirBytes)
{
    RepairCommandOptions options;
    options.file = sample;
    options.target = folder.File("bio.fdb");
    options.create = true;
    options.tables = {"BIOLIFE"};
    ASSERT_EQ(Run(options), kExitCompleted) << err.str() << out.str();
    EXPECT_NE(out.str().find("Total Blob Recovered : 56"), std::string::npos) << out.str();

    const std::vector<std::string> words =
        Words(RunIsql(options.target, "SELECT TRIM(GRAPHIC), TRIM(NOTES) FROM BIOLIFE;"));
    ASSERT_EQ(words.size(), 56u);
    const std::filesystem::path blobFolder = std::filesystem::path(folder.File("BlobData_bio.fdb"));
    for (std::size_t i = 0; i < words.size(); i += 2) {
        SCOPED_TRACE(words[i]);
        EXPECT_EQ(std::filesystem::path(words[i]).parent_path(), blobFolder);
        // Each column holds the path of its blob's file, as written. The
        // stored graphic: an 8-byte header whose second word is the length
        // of the bitmap that follows it.
        EXPECT_EQ(std::filesystem::path(words[i]).extension(), ".bmp");
        const std::string picture = ReadAll(words[i]);
        ASSERT_GT(picture.size(), 14u);
        EXPECT_EQ(picture.substr(8, 2), "BM");
        const auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(picture[at])); };
        EXPECT_EQ(byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24, picture.size() - 8);
        EXPECT_EQ(words[i + 1].back(), '.');  // a text: no type of its own
        const std::string notes = ReadAll(words[i + 1]);
        EXPECT_FALSE(notes.empty());
    }
}

TEST_F(RepairCommand, UnknownNamesAndUnusableTargetsEndWithAnError)
{
    RepairCommandOptions unknown;
    unknown.file = sample;
    unknown.target = folder.File("unused.fdb");
    unknown.create = true;
    unknown.tables = {"animals", "NO_SUCH_TABLE"};
    EXPECT_EQ(Run(unknown), kExitError);
    EXPECT_NE(err.str().find("--tables: the scan of " + sample + " found no table named NO_SUCH_TABLE"),
              std::string::npos)
        << err.str();
    EXPECT_FALSE(std::filesystem::exists(unknown.target));

    const std::string existing = folder.File("existing.fdb");
    {
        std::ofstream file(existing);
        file << "not a database";
    }
    RepairCommandOptions overExisting;
    overExisting.file = sample;
    overExisting.target = existing;
    overExisting.create = true;
    err.str("");
    out.str("");
    EXPECT_EQ(Run(overExisting), kExitError);
    EXPECT_NE(err.str().find("Connection failed"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("already exists"), std::string::npos) << out.str();
    EXPECT_EQ(ReadAll(existing), "not a database");
}

// Whether two cells of a dump are the same DOUBLE or FLOAT but for their
// last bit (16 or 8 hexadecimal digits, little-endian).
bool LastBitApart(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || (a.size() != 16 && a.size() != 8) ||
        a.find_first_not_of("0123456789abcdef") != std::string::npos ||
        b.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    for (std::size_t i = a.size(); i >= 2; i -= 2) {
        x = (x << 8) | std::stoull(a.substr(i - 2, 2), nullptr, 16);
        y = (y << 8) | std::stoull(b.substr(i - 2, 2), nullptr, 16);
    }
    return (x > y ? x - y : y - x) == 1;
}

std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    std::stringstream stream(row);
    for (std::string cell; std::getline(stream, cell, '|');)
        cells.push_back(cell);
    return cells;
}

// Each record's values bound to one prepared INSERT per table land as the
// INSERT texts do: every cell of every table compared by its stored value
// (NUMERIC and DECIMAL as scaled integers, timestamps to the ten-thousandth
// of a second, texts and blobs byte for byte), in the salvage repair and
// the exact restore, at both commit cadences. DOUBLE and FLOAT are compared
// to the bit; where they differ, by one unit of the last bit, the target's
// reading of the text missed the stored number, which the bound value
// carries as it is (EmbeddedTarget.PreparedRecords... shows one such value
// landing whole).
TEST_F(RepairCommand, PreparedInsertsLandTheValuesOfTheStatementTexts)
{
    struct Case {
        const char* file;
        bool exact;
        std::uint32_t commitEvery;
    };
    const std::vector<Case> cases = {
        {"ods16/dbdemos.gdb", false, 1},    {"ods16/dbdemos.gdb", true, 100},
        {"ods15/EMPLOYEE.GDB", false, 100}, {"ods15/EMPLOYEE.GDB", true, 1},
        {"ods16/PHARMACY2.IB", false, 1},   {"ods16/PHARMACY2.IB", true, 1},
        {"ods16/MEDICINES.IB", true, 100},  {"ods13/MASTSQL.GDB", false, 100},
        {"ods16/EVENTS.GDB", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.exact ? " exact" : " salvage"));
        const std::string file = kSamples + "/" + c.file;
        if (!std::filesystem::exists(file))
            continue;
        std::map<std::string, std::vector<std::string>> dumps[2];
        int codes[2] = {};
        for (const bool text : {false, true}) {
            out.str("");
            err.str("");
            RepairCommandOptions options;
            options.file = file;
            // The same target name both times: the salvage repair's blob
            // columns name files beside it. What the first run left goes.
            options.target = folder.File("compared.fdb");
            for (const auto& entry :
                 std::filesystem::directory_iterator(std::filesystem::path(options.target).parent_path()))
                std::filesystem::remove_all(entry.path());
            options.create = true;
            options.exact = c.exact;
            options.commitEvery = c.commitEvery;
            options.textStatements = text;
            codes[text] = Run(options);
            dumps[text] = writer::testing::DumpTables(options.target);
        }
        EXPECT_EQ(codes[0], codes[1]);
        ASSERT_FALSE(dumps[0].empty());
        std::size_t rows = 0;
        for (const auto& [table, lines] : dumps[1])
            rows += lines.size();
        EXPECT_GT(rows, 0u);
        for (const auto& [table, lines] : dumps[1]) {
            SCOPED_TRACE(table);
            const auto bound = dumps[0].find(table);
            ASSERT_NE(bound, dumps[0].end());
            EXPECT_EQ(bound->second.size(), lines.size());
            if (bound->second.size() != lines.size())
                continue;
            // The rows are sorted: a last-bit difference can move a row, so
            // rows are matched in order only where that does not happen.
            for (std::size_t r = 0; r < lines.size(); ++r) {
                if (lines[r] == bound->second[r])
                    continue;
                const std::vector<std::string> a = Cells(lines[r]);
                const std::vector<std::string> b = Cells(bound->second[r]);
                bool same = a.size() == b.size();
                for (std::size_t k = 0; same && k < a.size(); ++k) {
                    if (a[k] != b[k] && !LastBitApart(a[k], b[k])) {
                        same = false;
                        ADD_FAILURE() << "row " << r << " cell " << k << ": text " << a[k].substr(0, 80)
                                      << " bound " << b[k].substr(0, 80);
                    }
                }
                if (!same)
                    break;
            }
        }
        EXPECT_EQ(dumps[0].size(), dumps[1].size());
    }
}

// On a terminal the repair draws a bar per table: the share of its data
// pages walked and the records copied of those met so far; the log lines
// stay on the output, the bar on the error stream, and each bar is wiped.
TEST_F(RepairCommand, TheRepairShowsItsProgressOnATerminal)
{
    RepairCommandOptions options;
    options.file = sample;
    options.target = folder.File("progress.fdb");
    options.create = true;
    options.commitEvery = 100;
    ScanStreams streams{out, err, true, {}};
    ASSERT_EQ(RunRepairCommand(options, streams), kExitCompleted) << err.str();
    const std::string shown = err.str();
    EXPECT_NE(shown.find("\rRepairing ITEMS    ["), std::string::npos);
    // Some draw of ITEMS (945 records on several data pages) shows records
    // already copied, never more than were met.
    const std::regex counts("\rRepairing ITEMS[^\r]*\\] (\\d+)%  (\\d+) of (\\d+) records copied");
    bool copiedShown = false;
    for (auto it = std::sregex_iterator(shown.begin(), shown.end(), counts); it != std::sregex_iterator(); ++it) {
        const long copied = std::stol((*it)[2]);
        EXPECT_LE(copied, std::stol((*it)[3]));
        EXPECT_LE(std::stoi((*it)[1]), 100);
        copiedShown = copiedShown || copied > 0;
    }
    EXPECT_TRUE(copiedShown) << shown.substr(0, 2000);
    EXPECT_EQ(out.str().find('\r'), std::string::npos);
    EXPECT_EQ(shown.substr(shown.rfind('\r')).substr(0, 4), "\r\033[K");
}

}  // namespace
}  // namespace ravelin::cli
