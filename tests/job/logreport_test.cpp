#include "job/logreport.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/testfiles.h"

namespace ravelin::job {
namespace {

using namespace std::string_literals;

TEST(LogReport, LinesAreUtf16LittleEndianEachEndedByCrLf)
{
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::string bytes;
    };
    const Case cases[] = {
        {"no lines", {}, ""},
        {"empty line", {""}, "\r\0\n\0"s},
        {"ascii and a blank", {"ab", ""}, "a\0b\0\r\0\n\0\r\0\n\0"s},
        {"latin letter", {"\xC3\xA9"}, "\xE9\0\r\0\n\0"s},
        {"outside the basic plane", {"\xF0\x9F\x98\x80"}, "\x3D\xD8\x00\xDE\r\0\n\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeLogReport(c.lines), c.bytes);
    }
}

TEST(LogReport, WritesTheReportAndSaysWhyWhenItCannot)
{
    ravelin::testing::TempDir dir;
    const std::string path = dir.File("Ravelin.log");
    ravelin::testing::WriteBytes(path, std::string(1000, 'z'));  // replaced, not appended to
    std::string error;
    ASSERT_TRUE(WriteLogReport(path, {kLogHeaderLine, ""}, error)) << error;
    const std::string bytes = ravelin::testing::ReadBytes(path);
    EXPECT_EQ(bytes.size(), (std::string(kLogHeaderLine).size() * 2) + 4 + 4);
    EXPECT_EQ(bytes.substr(0, 4), "R\0a\0"s) << "no byte-order mark";

    const std::string unwritable = dir.File("missing-folder/Ravelin.log");
    EXPECT_FALSE(WriteLogReport(unwritable, {"x"}, error));
    EXPECT_NE(error.find(unwritable), std::string::npos) << error;
}

}  // namespace
}  // namespace ravelin::job
