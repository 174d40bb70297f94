#include "update/versioncheck.h"

#include <string>

#include <gtest/gtest.h>

namespace ravelin::update {
namespace {

TEST(CompareVersions, TableOfCases)
{
    struct Case {
        const char* candidate;
        const char* installed;
        int expected;
    };
    const Case cases[] = {
        {"1.0.0.6", "1.0.0.5", 1},
        {"1.0.0.5", "1.0.0.5", 0},
        {"1.0.0.4", "1.0.0.5", -1},
        {"2.0.0.0", "1.0.0.5", 2},
        {"2.0.0.0", "1.9.9.9", 2},
        // An older major release is never news, whatever its other parts.
        {"1.0.0.6", "2.0.0.5", -1},
        {"1.9.9.9", "2.0.0.0", -1},
        {"1.1.0.0", "1.0.9.9", 1},
        {"1.0.1.0", "1.0.0.9", 1},
        {"1.0.0.9", "1.0.1.0", -1},
        {"1.0.10", "1.0.9", 1},
        // Missing parts are 0; empty pieces are skipped.
        {"1.2", "1.2.0.0", 0},
        {"1..2", "1.2", 0},
        {".1.0.0.7", "1.0.0.6", 1},
        {"1.0.0.6.", "1.0.0.5", 1},
        // Unreadable texts: the candidate is examined first.
        {"", "1.0.0.5", -21},
        {"1.0.0.5", "", -22},
        {"1.0.a.6", "1.0.0.5", -21},
        {"1.0.0.6", "1.0.0.x", -22},
        {"1.0.0.0.1", "1.0.0.5", -21},
        {"1.0.0.6", "1.0.0.0.1", -22},
        {"x", "y", -21},
        {"1.0 0.6", "1.0.0.5", -21},
        {"-1.0", "1.0", -21},
        {"1.0.0.6", "99999999999999999999", -22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.candidate) + " vs " + c.installed);
        EXPECT_EQ(CompareVersions(c.candidate, c.installed), c.expected);
    }
}

TEST(FormatByteSize, LargestUnitWithTwoDecimals)
{
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0.00 bytes"},
        {1, "1.00 bytes"},
        {1023, "1023.00 bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {5 * 1048576 + 262144, "5.25 MB"},
        {1073741823, "1024.00 MB"},
        {1073741824, "1.00 GB"},
        {5ULL * 1073741824, "5.00 GB"},
        {3ULL * 1099511627776, "3072.00 GB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(FormatByteSize(c.bytes), c.text);
    }
}

TEST(JudgeVersionFile, TableOfFiles)
{
    struct Case {
        const char* name;
        std::string file;
        const char* installed;
        int result;
        const char* newVersion;
    };
    const Case cases[] = {
        {"a newer update", "1.0.0.6 bug fixes\n", "1.0.0.5", 1, "1.0.0.6"},
        {"without a line end", "1.0.0.6 bug fixes", "1.0.0.5", 1, "1.0.0.6"},
        {"a newer major release", "2.0.0.0 new release\n", "1.0.0.5", 2, "2.0.0.0"},
        {"both lines news: the second is shown", "1.0.0.6 first\n1.0.0.7 second\n", "1.0.0.5", 3, "1.0.0.7"},
        {"CR LF line ends", "1.0.0.6 first\r\n1.0.0.7 second\r\n", "1.0.0.5", 3, "1.0.0.7"},
        {"only the second line is news", "1.0.0.5 same\n1.0.0.7 second\n", "1.0.0.5", 1, "1.0.0.7"},
        {"second line a major release", "1.0.0.5 same\n2.0.0.0 major\n", "1.0.0.5", 2, "1.0.0.5"},
        {"second line older than the first", "1.0.0.6 first\n1.0.0.1 old\n", "1.0.0.5", 1, "1.0.0.6"},
        {"second line unreadable after news", "1.0.0.6 first\nnotes follow\n", "1.0.0.5", 1, "1.0.0.6"},
        {"news, then a major release", "1.0.0.6 first\n2.0.0.0 major\n", "1.0.0.5", 3, "1.0.0.6"},
        {"neither line is news", "1.0.0.5 same\n1.0.0.4 old\n", "1.0.0.5", 9, "1.0.0.5"},
        {"the same version", "1.0.0.5 current\n", "1.0.0.5", 9, "1.0.0.5"},
        {"an older version", "1.0.0.4 old\n", "1.0.0.5", 9, "1.0.0.4"},
        {"an older major release", "1.0.0.6 old line\n", "2.0.0.5", 9, "1.0.0.6"},
        {"an empty file", "", "1.0.0.5", 9, ""},
        {"a letter in the version", "1.0.a.6 typo\n", "1.0.0.5", 0, "1.0.a.6"},
        {"a letter in the second line", "1.0.0.5 same\n1.0.x.7 typo\n", "1.0.0.5", 0, "1.0.0.5"},
        {"an unreadable installed version", "1.0.0.6 x\n", "one", 0, "1.0.0.6"},
        {"lines after the second are not read", "1.0.0.5 a\n1.0.0.5 b\n9.9.9.9 c\n", "1.0.0.5", 9, "1.0.0.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VersionFileVerdict verdict = JudgeVersionFile(c.file, c.installed);
        EXPECT_EQ(verdict.result, c.result);
        EXPECT_EQ(verdict.newVersion, c.newVersion);
    }
    EXPECT_EQ(JudgeVersionFile("1.0.0.6 a\n1.0.0.7 b\n", "1.0.0.5").secondVersion, "1.0.0.7");
}

TEST(NewUpdateText, VersionBetweenTheTwoBlanks)
{
    EXPECT_EQ(NewUpdateText("1.0.0.6"), "A new update 1.0.0.6 is available. Click Next to proceed further.");
    EXPECT_EQ(NewUpdateText(""), "A new update  is available. Click Next to proceed further.");
}

TEST(FormatTransfer, ValueTextsWithAndWithoutASize)
{
    struct Case {
        const char* name;
        std::uint64_t received;
        std::uint64_t size;
        std::int64_t seconds;
        std::int64_t lastSecondsBefore;
        const char* elapsed;
        const char* rate;
        std::int64_t lastSecondsAfter;
    };
    const Case cases[] = {
        {"known size at the start", 4096, 1048576, 0, 1, "0 sec(4.00 KB of 1.00 MB copied)", "4.00 KB/sec", 1},
        {"known size later", 524288, 1048576, 2, 1, "2 sec(512.00 KB of 1.00 MB copied)", "256.00 KB/sec", 2},
        {"zero seconds keeps the last count", 786432, 1048576, 0, 3, "0 sec(768.00 KB of 1.00 MB copied)",
         "256.00 KB/sec", 3},
        {"unknown size at the start", 8192, 0, 0, 1, "8 Ko in 0 sec", "8/sec", 1},
        {"unknown size later", 3145728, 0, 3, 1, "3072 Ko in 3 sec", "1024/sec", 3},
        {"past four gigabytes", 5ULL << 30, 6ULL << 30, 10, 9, "10 sec(5.00 GB of 6.00 GB copied)", "512.00 MB/sec",
         10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::int64_t last = c.lastSecondsBefore;
        const TransferTexts texts = FormatTransfer(c.received, c.size, c.seconds, last);
        EXPECT_EQ(texts.elapsed, c.elapsed);
        EXPECT_EQ(texts.rate, c.rate);
        EXPECT_EQ(last, c.lastSecondsAfter);
    }
}

}  // namespace
}  // namespace ravelin::update
