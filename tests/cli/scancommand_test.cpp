#include "cli/scancommand.h"

#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "job/logreport.h"
#include "job/testfiles.h"

namespace ravelin::cli {
namespace {

using ravelin::testing::DatabaseImage;
using ravelin::testing::ReadBytes;
using ravelin::testing::TempDir;
using ravelin::testing::WriteBytes;

int Count(const std::string& text, const std::regex& pattern)
{
    return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), pattern), std::sregex_iterator()));
}

TEST(ScanCommand, CtrlCStopsTheScanAndIsReportedOnce)
{
    TempDir dir;
    const std::string database = dir.File("STOPPED.GDB");
    WriteBytes(database, DatabaseImage(1024, 8));
    const std::string report = dir.File("stopped.log");

    struct sigaction before {};
    ::sigaction(SIGINT, nullptr, &before);

    std::ostringstream out;
    std::ostringstream err;
    int interrupts = 0;
    ScanStreams streams{out, err, false, [&](const std::string& line) {
                            // The user presses Ctrl-C while the scan is under way.
                            if (line.rfind("Scanning is being in process", 0) == 0) {
                                ++interrupts;
                                std::raise(SIGINT);
                            }
                        }};
    const int code = RunScanCommand({database, report}, streams);

    EXPECT_EQ(interrupts, 1);
    EXPECT_EQ(code, kExitAborted);
    const std::string log = out.str();
    EXPECT_EQ(Count(log, std::regex("\nProcess aborted by user\\S.*\n")), 1) << log;
    EXPECT_EQ(log.find("Scanning process completed on"), std::string::npos) << log;
    EXPECT_EQ(err.str(), "Process aborted by user.\n");
    EXPECT_EQ(ReadBytes(report), job::EncodeLogReport([&] {
                  std::vector<std::string> lines;
                  std::istringstream in(log);
                  for (std::string line; std::getline(in, line);)
                      lines.push_back(line);
                  return lines;
              }()));

    // The program's own Ctrl-C handling ends with the scan.
    struct sigaction after {};
    ::sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// Every sample's scan ends with the counting block: each table's record
// count, in table order, then the completed line.
TEST(ScanCommand, ScanEndsWithTheRecordCountOfEveryTable)
{
    const std::filesystem::path samples = RAVELIN_SAMPLES_DIR;
    if (!std::filesystem::is_directory(samples))
        GTEST_SKIP() << "no sample databases in " << samples;
    using Counts = std::vector<std::pair<std::string, int>>;
    const Counts demoTables = {{"CUSTOMER", 55}, {"EMPLOYEE", 42}, {"ITEMS", 947}, {"NEXTCUST", 1}, {"NEXTORD", 1}};
    const struct {
        const char* file;
        Counts counts;
    } cases[] = {
        {"ods15/EMPLOYEE.GDB",
         {{"COUNTRY", 14}, {"JOB", 31}, {"DEPARTMENT", 21}, {"EMPLOYEE", 42}, {"PROJECT", 6}, {"EMPLOYEE_PROJECT", 28},
          {"PROJ_DEPT_BUDGET", 24}, {"SALARY_HISTORY", 49}, {"CUSTOMER", 15}, {"SALES", 33}}},
        {"ods13/MASTSQL.GDB", [&] {
             Counts c = demoTables;
             c.insert(c.end(), {{"ORDERS", 205}, {"PARTS", 59}, {"VENDORS", 23}});
             return c;
         }()},
        {"ods13/DBUTILSTEST.IB", {{"TEST_TABLE", 0}}},
        {"ods16/EVENTS.GDB", [&] {
             Counts c = demoTables;
             c.insert(c.end(), {{"VENDORS", 23}, {"ORDERS", 205}, {"PARTS", 59}});
             return c;
         }()},
        {"ods16/dbdemos.gdb",
         {{"ANIMALS", 7}, {"BIOLIFE", 28}, {"COUNTRY", 18}, {"CUSTOLY", 30}, {"CUSTOMER", 55}, {"EMPLOYEE", 42},
          {"INDUSTRY", 7}, {"ITEMS", 945}, {"MASTER", 109}, {"NEXTCUST", 1}, {"NEXTITEM", 1}, {"NEXTORD", 1},
          {"ORDERS", 205}, {"PARTS", 59}, {"VENDORS", 23}, {"VENUES", 10}}},
        // Files with a history count their live rows only: no old version,
        // deletion stub or change mask counts.
        {"ods16/PHARMACY2.IB",
         {{"MEDICINE", 10}, {"MEDICINE_CATEGORIES", 10}, {"CATEGORY", 5}, {"CUSTOMERS", 1}, {"ORDERS", 2},
          {"PHARMACY", 1}}},
        {"ods16/MEDICINES.IB", {{"MEDICINE", 10}, {"MEDICINE_CATEGORIES", 10}, {"CATEGORY", 5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::ostringstream out;
        std::ostringstream err;
        ScanStreams streams{out, err, false, {}};
        ASSERT_EQ(RunScanCommand({(samples / c.file).string(), ""}, streams), kExitCompleted) << err.str();
        const std::string log = out.str();
        const std::size_t block = log.find("Counting table(s) records in database");
        ASSERT_NE(block, std::string::npos) << log;
        Counts counted;
        const std::regex entry("Table Name : (\\S+)\n+Total Records : (\\d+)\n");
        for (auto it = std::sregex_iterator(log.begin() + static_cast<std::ptrdiff_t>(block), log.end(), entry);
             it != std::sregex_iterator(); ++it)
            counted.emplace_back((*it)[1].str(), std::stoi((*it)[2].str()));
        EXPECT_EQ(counted, c.counts);
        EXPECT_NE(log.find("Counting table(s) records process has been completed\n" + std::string(66, '-'), block),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace ravelin::cli
