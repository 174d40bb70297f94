#include "cli/scancommand.h"

#include <csignal>
#include <regex>
#include <sstream>
#include <string>

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

}  // namespace
}  // namespace ravelin::cli
