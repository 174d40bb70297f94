// Runs ravelin-cli's record commands (preview, count, inserts) the way a user
// does, on the demo sample database and on files that are not databases.

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "cli/extractcommands.h"
#include "job/testfiles.h"

namespace {

namespace fs = std::filesystem;
using ravelin::testing::ReadBytes;
using ravelin::testing::TempDir;
using ravelin::testing::WriteBytes;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines;
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

RunResult RunCli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = Quote(RAVELIN_CLI_PATH);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    command += " >" + Quote(dir.File("out.txt")) + " 2>" + Quote(dir.File("err.txt")) + " </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadBytes(dir.File("out.txt"));
    result.err = ReadBytes(dir.File("err.txt"));
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);)
        result.lines.push_back(line);
    return result;
}

const fs::path kDemo = fs::path(RAVELIN_SAMPLES_DIR) / "ods16" / "dbdemos.gdb";

// The scan of the demo database recovers its tables with their columns and
// their types (NEXTORD holds one number).
bool CatalogueAvailable(const TempDir& dir)
{
    if (!fs::exists(kDemo))
        return false;
    const RunResult run = RunCli(dir, {"preview", kDemo.string(), "NEXTORD"});
    return run.exitCode == 0 && run.lines.size() == 2 && run.lines[0] == "NEWKEY" && !run.lines[1].empty() &&
           std::isdigit(static_cast<unsigned char>(run.lines[1][0]));
}

TEST(ExtractCommands, CountPrintsTheCountingBlock)
{
    TempDir dir;
    if (!fs::exists(kDemo))
        GTEST_SKIP() << "no sample databases";
    const RunResult run = RunCli(dir, {"count", kDemo.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    if (run.lines.size() <= 3)
        GTEST_SKIP() << "the catalogue recovered no tables";
    const std::pair<const char*, int> tables[] = {
        {"ANIMALS", 7},   {"BIOLIFE", 28},  {"COUNTRY", 18},  {"CUSTOLY", 30}, {"CUSTOMER", 55}, {"EMPLOYEE", 42},
        {"INDUSTRY", 7},  {"ITEMS", 945},   {"MASTER", 109},  {"NEXTCUST", 1}, {"NEXTITEM", 1},  {"NEXTORD", 1},
        {"ORDERS", 205},  {"PARTS", 59},    {"VENDORS", 23},  {"VENUES", 10},
    };
    std::vector<std::string> expected;
    for (const auto& [name, count] : tables) {
        expected.push_back(std::string("Table Name : ") + name);
        expected.push_back("Total Records : " + std::to_string(count));
        expected.push_back("");
    }
    expected.push_back("Counting table(s) records process has been completed");
    expected.push_back(std::string(66, '-'));
    expected.push_back("");
    EXPECT_EQ(run.lines, expected);
}

TEST(ExtractCommands, PreviewPagesAndJson)
{
    TempDir dir;
    if (!CatalogueAvailable(dir))
        GTEST_SKIP() << "no sample databases, or the catalogue recovered no columns";

    const RunResult first = RunCli(dir, {"preview", kDemo.string(), "employee"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(first.lines.size(), 43u);
    EXPECT_EQ(first.lines[0], "EMPNO\tLASTNAME\tFIRSTNAME\tPHONEEXT\tHIREDATE\tSALARY");
    EXPECT_EQ(first.lines[1], "2\tNelson\tRoberto\t250\t12/28/1988 \t40000");

    const struct {
        const char* name;
        std::vector<std::string> args;
        std::size_t rows;
    } cases[] = {
        {"first page", {}, 100},
        {"a middle page", {"--page", "3"}, 100},
        {"the last page", {"--page", "9"}, 45},
        {"every page", {"--all"}, 945},
    };
    std::vector<std::vector<std::string>> everyRow;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"preview", kDemo.string(), "ITEMS", "--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = RunCli(dir, args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto document = nlohmann::json::parse(run.out);
        EXPECT_EQ(document["columns"], nlohmann::json({"ORDERNO", "ITEMNO", "PARTNO", "QTY", "DISCOUNT"}));
        EXPECT_EQ(document["rows"].size(), c.rows);
        EXPECT_EQ(document["damaged"], nlohmann::json(std::vector<bool>(c.rows, false))) << "intact rows are sound";
        if (c.args.empty() || c.args[0] == "--all")
            everyRow.push_back(document["rows"][0].get<std::vector<std::string>>());
        if (c.args.size() == 2 && c.args[1] == "3")
            everyRow.push_back(document["rows"][0].get<std::vector<std::string>>());
    }
    ASSERT_EQ(everyRow.size(), 3u);
    EXPECT_EQ(everyRow[0], everyRow[2]) << "--all starts with the first page";
    EXPECT_NE(everyRow[0], everyRow[1]);
}

// A record cut short (its slot's length lowered by 10 bytes) no longer
// expands to its format's length: its row is marked in the "damaged" array,
// the others are not.
TEST(ExtractCommands, PreviewJsonMarksDamagedRows)
{
    TempDir dir;
    if (!CatalogueAvailable(dir))
        GTEST_SKIP() << "no sample databases, or the catalogue recovered no columns";
    std::ifstream in(kDemo, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr std::size_t kPageSize = 4096;
    constexpr unsigned kCustomer = 132;
    const auto word = [&image](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(image[at])) |
               (static_cast<unsigned>(static_cast<unsigned char>(image[at + 1])) << 8);
    };
    std::size_t page = 0;
    for (std::size_t p = 1; p < image.size() / kPageSize && page == 0; ++p) {
        if (image[p * kPageSize] == 5 && word(p * kPageSize + 20) == kCustomer)
            page = p;
    }
    ASSERT_NE(page, 0u) << "no data page of CUSTOMER";
    const std::size_t slot0Length = page * kPageSize + 26;
    const unsigned length = word(slot0Length) - 10;
    image[slot0Length] = static_cast<char>(length & 0xFF);
    image[slot0Length + 1] = static_cast<char>(length >> 8);
    const std::string copy = dir.File("cut.gdb");
    std::ofstream(copy, std::ios::binary) << image;

    const RunResult run = RunCli(dir, {"preview", copy, "CUSTOMER", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto document = nlohmann::json::parse(run.out);
    ASSERT_EQ(document["rows"].size(), 55u);
    std::vector<bool> expected(55, false);
    expected[0] = true;
    EXPECT_EQ(document["damaged"], nlohmann::json(expected));
}

// A table whose name in the file holds an escape byte and a tab (every
// "ANIMALS" of a copy of the sample rewritten): the text outputs and the
// log show them escaped, never raw.
TEST(ExtractCommands, NamesFromTheFileReachTheTerminalEscaped)
{
    TempDir dir;
    if (!CatalogueAvailable(dir))
        GTEST_SKIP() << "no sample databases, or the catalogue recovered no columns";
    std::ifstream in(kDemo, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string hostile = "AN\x1bMA\tS";
    std::size_t replaced = 0;
    for (std::size_t at = image.find("ANIMALS"); at != std::string::npos; at = image.find("ANIMALS", at + 7)) {
        image.replace(at, 7, hostile);
        ++replaced;
    }
    ASSERT_GT(replaced, 1u);
    const std::string copy = dir.File("hostile.gdb");
    std::ofstream(copy, std::ios::binary) << image;

    const std::string shown = "AN\\x1bMA\\tS";
    const struct {
        std::vector<std::string> args;
        std::string expected;  // a text the output holds
    } cases[] = {
        {{"schema", copy}, "TABLE " + shown + " (relation 128)\n"},
        {{"inserts", copy, hostile}, "INSERT INTO " + shown + "("},
        {{"count", copy}, "Table Name : " + shown + "\n"},
        {{"scan", copy}, "Table Name : " + shown + "\n"},
        {{"preview", copy, hostile}, "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const RunResult run = RunCli(dir, c.args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out.substr(0, 400);
        for (const char byte : run.out + run.err)
            ASSERT_FALSE(byte == '\x1b' || byte == '\r') << "a raw control byte reached the terminal";
        EXPECT_EQ(run.out.find(hostile), std::string::npos);
    }
}

// The JSON strings of the preview are those the JSON library writes, for
// texts a damaged file can hold: controls, quotes, every length of UTF-8,
// and bytes that are no UTF-8 (stray, cut short, overlong, surrogates,
// past U+10FFFF), each replaced by U+FFFD.
TEST(ExtractCommands, JsonStringsAreTheJsonLibrarysOwn)
{
    const std::string texts[] = {
        "",
        "plain",
        "say \"hi\" \\ back",
        std::string("tab\tline\nreturn\rbell\x07escape\x1b zero\0end del\x7f", 44),
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
        "stray \x80 continuation",
        "cut short \xE2\x82",
        "overlong \xC0\xAF and \xE0\x80\xAF",
        "surrogate \xED\xA0\x80",
        "past the end \xF4\x90\x80\x80 and \xF5\x80\x80\x80",
        "latin-1 \xE9t\xE9",
        "\xFF",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        std::string ours;
        ravelin::cli::AppendJsonString(ours, text);
        EXPECT_EQ(ours, nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
}

TEST(ExtractCommands, InsertsOnePerRecord)
{
    TempDir dir;
    if (!CatalogueAvailable(dir))
        GTEST_SKIP() << "no sample databases, or the catalogue recovered no columns";
    const RunResult run = RunCli(dir, {"inserts", kDemo.string(), "EMPLOYEE"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 42u);
    EXPECT_EQ(run.lines[0],
              "INSERT INTO EMPLOYEE(EMPNO,LASTNAME,FIRSTNAME,PHONEEXT,HIREDATE,SALARY) VALUES "
              "(2,'Nelson','Roberto','250','12/28/1988 00:00:00',40000)");
    for (const std::string& line : run.lines)
        EXPECT_EQ(line.rfind("INSERT INTO EMPLOYEE(", 0), 0u) << line;
}

TEST(ExtractCommands, Errors)
{
    TempDir dir;
    const std::string notADatabase = dir.File("plain.txt");
    WriteBytes(notADatabase, std::string(40000, 'x'));
    const struct {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        bool needsSamples;
    } cases[] = {
        {"preview of a file that is not a database", {"preview", notADatabase, "T"}, 2, false},
        {"count of a file that is not a database", {"count", notADatabase}, 2, false},
        {"inserts of a file that is not a database", {"inserts", notADatabase, "T"}, 2, false},
        {"a table that was not recovered", {"preview", kDemo.string(), "NO_SUCH_TABLE"}, 1, true},
        {"a page past the last", {"preview", kDemo.string(), "NEXTORD", "--page", "1"}, 1, true},
        {"--page with --all", {"preview", kDemo.string(), "NEXTORD", "--page", "1", "--all"}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsSamples && !fs::exists(kDemo))
            continue;
        const RunResult run = RunCli(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_FALSE(run.err.empty());
    }
}

}  // namespace
