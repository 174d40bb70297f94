// Runs the built ravelin-cli program the way a user does and checks what it
// prints, the report it saves, its exit code, and that the scanned file is
// left exactly as it was.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "cli/demodatabase.h"
#include "job/testfiles.h"

namespace {

namespace fs = std::filesystem;
using ravelin::testing::DatabaseImage;
using ravelin::testing::LockHolder;
using ravelin::testing::ReadBytes;
using ravelin::testing::TempDir;
using ravelin::testing::WriteBytes;

const std::string kInUseText = "Cannot open the file because it is being used by another process.";
const std::string kNoPageSizeText =
    "No page size could be found: the file is not a database, or too few of its pages can be read.";

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines;  // out split at '\n'
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

RunResult RunCli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = Quote(RAVELIN_CLI_PATH);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    const std::string outPath = dir.File("stdout.txt");
    const std::string errPath = dir.File("stderr.txt");
    command += " >" + Quote(outPath) + " 2>" + Quote(errPath) + " </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadBytes(outPath);
    result.err = ReadBytes(errPath);
    result.lines = SplitLines(result.out);
    return result;
}

// The time stamp as any locale writes it: names, two-digit day, year, time.
const std::string kTimeStamp = "\\S.*, \\S.* \\d{2}, \\d{4}  \\d{2}:\\d{2}:\\d{2}  .*";

// The header and the five opening lines of a scan, each opening line followed
// by a blank line; patterns.
std::vector<std::string> OpeningPatterns(const std::string& path, const std::string& name, const std::string& size)
{
    const auto literal = [](const std::string& text) { return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"); };
    return {literal("Ravelin Database(s) Log Report........................."),
            std::string(97, '-'), "",
            literal("File Selected: " + path), "",
            "File Size: " + size + " bytes", "",
            literal("Scanning process started on ") + kTimeStamp, "",
            literal("Scanning is being in process, for............................." + name), ""};
}

// Checks that the first lines match patterns one by one.
void ExpectStartsWith(const std::vector<std::string>& lines, const std::vector<std::string>& patterns)
{
    ASSERT_GE(lines.size(), patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i]))) << "line " << i << ": " << lines[i];
}

// The lines of a completed scan after the opening lines, in order (other
// lines, such as the catalogue's, may stand between them).
void ExpectCompletedScan(const std::vector<std::string>& lines, const std::string& name)
{
    const std::vector<std::string> ordered = {
        "Scanning process completed on " + kTimeStamp,
        "Database details : ",
        std::string(21, '-'),
        "Database name : " + std::regex_replace(name, std::regex(R"([.])"), R"(\.)"),
        "Total table\\(s\\)    : \\d+",
        "Total View\\(s\\)     : \\d+",
        "Total Indices\\(s\\)  : \\d+",
        "",
        "Counting table\\(s\\) records in database\\.+",
    };
    std::size_t at = 11;
    for (std::size_t k = 0; k < ordered.size(); ++k) {
        const std::regex pattern(ordered[k]);
        // The details block is one run of lines; the completion line may be
        // preceded by the catalogue's own lines.
        if (k == 0) {
            while (at < lines.size() && !std::regex_match(lines[at], pattern))
                ++at;
        }
        ASSERT_LT(at, lines.size()) << "missing: " << ordered[k];
        EXPECT_TRUE(std::regex_match(lines[at], pattern)) << "expected " << ordered[k] << ", got " << lines[at];
        at += (k == 0 || k == 1) ? 2 : 1;  // a blank line follows the first two
    }
}

// The report's UTF-16LE bytes decoded back (ASCII and Latin-1 only) into
// lines; fails on a byte-order mark or a line end other than CR LF.
std::vector<std::string> DecodeReport(const std::string& bytes)
{
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        EXPECT_NE(unit, 0xFEFFu) << "byte-order mark at " << i;
        if (unit == '\r') {
            EXPECT_TRUE(i + 3 < bytes.size() && bytes[i + 2] == '\n' && bytes[i + 3] == '\0') << "CR without LF at " << i;
            lines.push_back(line);
            line.clear();
            i += 2;
            continue;
        }
        EXPECT_NE(unit, static_cast<unsigned>('\n')) << "LF without CR at " << i;
        EXPECT_LT(unit, 0x80u) << "this check reads ASCII only";
        line += static_cast<char>(unit);
    }
    EXPECT_TRUE(line.empty()) << "the last line has no CR LF";
    return lines;
}

std::vector<fs::path> SampleFiles()
{
    std::vector<fs::path> files;
    const fs::path root = RAVELIN_SAMPLES_DIR;
    std::error_code error;
    if (!fs::is_directory(root, error))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
        const std::string folder = entry.path().parent_path().filename().string();
        if (entry.is_regular_file() && folder.rfind("ods", 0) == 0)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RavelinCli, ScansEverySampleLeavingItUntouched)
{
    const std::vector<fs::path> samples = SampleFiles();
    if (samples.empty())
        GTEST_SKIP() << "no sample databases in " << RAVELIN_SAMPLES_DIR;
    TempDir dir;
    for (const fs::path& sample : samples) {
        SCOPED_TRACE(sample.string());
        const std::string before = ReadBytes(sample.string());
        const auto modifiedBefore = fs::last_write_time(sample);
        const std::string report = dir.File("report.log");

        const RunResult run = RunCli(dir, {"scan", sample.string(), "--log", report});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "") << "nothing to tell the user on a clean scan";
        ExpectStartsWith(run.lines, OpeningPatterns(sample.string(), sample.filename().string(),
                                                    std::to_string(before.size())));
        ExpectCompletedScan(run.lines, sample.filename().string());

        EXPECT_EQ(DecodeReport(ReadBytes(report)), run.lines) << "the report holds what the log showed";
        EXPECT_TRUE(ReadBytes(sample.string()) == before) << "the scanned file changed";
        EXPECT_EQ(fs::last_write_time(sample), modifiedBefore);
    }
}

TEST(RavelinCli, ScanOfASyntheticDatabaseCountsItsTables)
{
    TempDir dir;
    const std::string database = dir.File("DEMO.GDB");
    ravelin::testing::BuildDemoDatabase().image.WriteTo(database);
    const RunResult run = RunCli(dir, {"scan", database});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ExpectCompletedScan(run.lines, "DEMO.GDB");
    const std::vector<std::string> details = {"Database name : DEMO.GDB", "Total table(s)    : 3",
                                              "Total View(s)     : 0", "Total Indices(s)  : 2"};
    const auto at = std::search(run.lines.begin(), run.lines.end(), details.begin(), details.end());
    EXPECT_NE(at, run.lines.end()) << run.out;
    const std::vector<std::string> counts = {"Table Name : CUSTOMER", "Total Records : 40",  "",
                                             "Table Name : ORDERS",   "Total Records : 120", "",
                                             "Table Name : ITEMS",    "Total Records : 300", "",
                                             "Counting table(s) records process has been completed"};
    EXPECT_NE(std::search(run.lines.begin(), run.lines.end(), counts.begin(), counts.end()), run.lines.end()) << run.out;
}

TEST(RavelinCli, ScansAReadOnlyCopy)
{
    TempDir dir;
    std::vector<fs::path> sources = SampleFiles();
    const std::string synthetic = dir.File("SYNTHETIC.GDB");
    WriteBytes(synthetic, DatabaseImage(4096, 8));
    sources.insert(sources.begin(), synthetic);
    for (const fs::path& source : sources) {
        SCOPED_TRACE(source.string());
        const std::string copy = dir.File("copy-" + source.filename().string());
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const std::string before = ReadBytes(copy);

        const RunResult run = RunCli(dir, {"scan", copy});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        ExpectStartsWith(run.lines, OpeningPatterns(copy, fs::path(copy).filename().string(), std::to_string(before.size())));
        ExpectCompletedScan(run.lines, fs::path(copy).filename().string());
        EXPECT_TRUE(ReadBytes(copy) == before);
        fs::permissions(copy, fs::perms::owner_all);
    }
}

TEST(RavelinCli, FilesThatCannotBeScannedEndWithTheirMessageAndExitCode)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        bool locked;
        int exitCode;
        std::string stderrText;
        std::vector<std::string> tail;  // stdout lines after the opening lines
    };
    const Case cases[] = {
        {"text file", std::string(5000, 'a'), false, 2, "Invalid Database File.\n", {kNoPageSizeText}},
        {"empty file", "", false, 2, "Invalid Database File.\n", {kNoPageSizeText}},
        {"locked by another process", DatabaseImage(1024, 8), true, 3, kInUseText + "\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("FILE.GDB");
        WriteBytes(path, c.bytes);
        std::optional<LockHolder> lock;
        if (c.locked)
            lock.emplace(path);
        const std::string report = dir.File("report.log");

        const RunResult run = RunCli(dir, {"scan", path, "--log", report});
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.stderrText);
        ExpectStartsWith(run.lines, OpeningPatterns(path, "FILE.GDB", c.locked ? "0" : std::to_string(c.bytes.size())));
        const std::vector<std::string> tail(run.lines.begin() + std::min<std::size_t>(11, run.lines.size()), run.lines.end());
        EXPECT_EQ(tail, c.tail);
        EXPECT_EQ(DecodeReport(ReadBytes(report)), run.lines);
        EXPECT_EQ(ReadBytes(path), c.bytes);
    }
}

TEST(RavelinCli, ArgumentsAndExitCodes)
{
    TempDir dir;
    const std::string database = dir.File("DB.GDB");
    WriteBytes(database, DatabaseImage(2048, 8));
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string stdoutHas;
        std::string stderrHas;
    };
    const Case cases[] = {
        {"no command", {}, 1, "", "subcommand"},
        {"scan without a file", {"scan"}, 1, "", "FILE"},
        {"unknown option", {"scan", database, "--frobnicate"}, 1, "", "--frobnicate"},
        {"unknown code page", {"scan", "--codepage", "NOPE-1", database}, 1, "", "\"NOPE-1\" is not a single-byte code page"},
        {"multi-byte code page", {"scan", "--codepage", "UTF-8", database}, 1, "", "\"UTF-8\""},
        {"known code page", {"scan", "--codepage", "WIN1251", database}, 0, "Scanning process completed on ", ""},
        {"report folder missing", {"scan", database, "--log", dir.File("no/such/folder.log")}, 1,
         "Counting table(s) records in database", "cannot create the report file"},
        {"help names the exit codes", {"--help"}, 0, "4  the scan was stopped with Ctrl-C", ""},
        {"scan help names the exit codes", {"scan", "--help"}, 0, "3  the file is in use", ""},
        {"help names the repair's own exit code", {"--help"}, 0,
         "5  repair only: the repair ran to its end but did not copy everything", ""},
        {"repair help names the incomplete repair", {"repair", "--help"}, 0,
         "5  the repair ran to its end but did not copy everything", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult run = RunCli(dir, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
        if (c.exitCode == 1 && c.stdoutHas.empty()) {
            EXPECT_EQ(run.out.find("File Selected"), std::string::npos) << "a usage error starts no scan";
        }
    }
    const RunResult scanHelp = RunCli(dir, {"scan", "--help"});
    EXPECT_EQ(scanHelp.out.find("5  "), std::string::npos) << "a scan never ends with the repair's code";
}

// The program's exit status of a repair into a new embedded target: 0 when
// every record landed, 5 when the damaged file's scrambled record could not
// be copied, whether the set-aside file took it or could not be written (a
// folder stands in its place); the success message only for the first, and
// the log and the saved report end with what was not copied.
TEST(RavelinCli, ARepairThatLostRecordsIsNoSuccess)
{
    if (std::system("command -v isql-fb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the Firebird utilities are not installed: no embedded target can be created";
    TempDir dir;
    struct Case {
        const char* name;
        bool damaged;
        bool blocked;  // the set-aside file's place is taken by a folder
        int exitCode;
        std::string lastLine;  // the last line before "Views recovered"
    };
    const Case cases[] = {
        {"intact", false, false, 0, "Total Records Recovered : 300"},
        {"damaged", true, false, 5, "Damaged records set aside: 1 in CUSTOMER, see " + dir.File("damaged.fdbDamaged.csv")},
        {"blocked", true, true, 5,
         "Damaged records not set aside: 1 in CUSTOMER, " + dir.File("blocked.fdbDamaged.csv") + " could not be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string database = dir.File(std::string(c.name) + ".gdb");
        ravelin::testing::BuildDemoDatabase(c.damaged).image.WriteTo(database);
        const std::string report = dir.File(std::string(c.name) + ".log");
        const std::string setAside = dir.File(std::string(c.name) + ".fdbDamaged.csv");
        if (c.blocked)
            std::filesystem::create_directory(setAside);
        const RunResult run =
            RunCli(dir, {"repair", database, "--target", dir.File(std::string(c.name) + ".fdb"), "--create", "--log",
                         report});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err << run.out;
        EXPECT_EQ(run.err.find("Repair process completed successfully.") != std::string::npos, !c.damaged) << run.err;
        EXPECT_EQ(run.err.find("Repair process finished, but not everything was copied:\n") != std::string::npos,
                  c.damaged)
            << run.err;
        const auto views = std::find(run.lines.begin(), run.lines.end(), "Views recovered   :0");
        ASSERT_NE(views, run.lines.end()) << run.out;
        ASSERT_GE(views - run.lines.begin(), 2);
        EXPECT_EQ(*(views - 2), c.lastLine);
        EXPECT_EQ(*(views - 1), "");
        EXPECT_EQ(DecodeReport(ReadBytes(report)), run.lines);
        if (c.damaged) {
            const std::string kept = "Damaged records are set aside in " + setAside;
            const std::string failed = "Damaged records could not be written to " + setAside + ": Is a directory";
            EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), c.blocked ? failed : kept), 1) << run.out;
        }
    }
}

}  // namespace
