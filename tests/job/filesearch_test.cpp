#include "job/filesearch.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fixture/recordingframe.h"
#include "ods/scratchdir.h"

namespace ravelin::job {
namespace {

namespace fs = std::filesystem;
using fixture::RecordingFrame;
using ods::testing::ScratchDir;

// The OK boxes the worker would have shown.
class RecordingDialogs final : public WorkerDialogs {
public:
    std::vector<std::string> shown;
    int ShowMessageDialog(const std::string& text, MessageButtons) override
    {
        shown.push_back(text);
        return kAnswerOk;
    }
    int ShowMessageOk(const std::string& text) override
    {
        shown.push_back(text);
        return kAnswerOk;
    }
    int ShowConnectionDialog(ConnectionAnswer&) override { return kAnswerNo; }
};

void MakeFile(const fs::path& path, std::uint64_t size)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
    }
    // Sparse: the size is set without writing the bytes.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0) << path;
}

// One search run synchronously against recording receivers.
struct SearchRun {
    RecordingFrame frame;
    RecordingDialogs dialogs;
    SearchState state;
    std::string currentLogLine;
    // Texts of the results when UM_SEARCH_RESULTS arrived (the dialog's view).
    std::vector<FILEPROP> delivered;

    SearchRun()
    {
        frame.onSend = [this](const RecordingFrame::Sent& sent) {
            if (sent.message == UM_SEARCH_RESULTS)
                delivered = state.results;
        };
    }

    void Run(const std::string& start, bool subfolders, TimeFormatter format = {})
    {
        SearchParams params;
        params.startPath = start;
        params.subfolders = subfolders;
        params.formatTime = std::move(format);
        state.searchRunning = true;
        RunSearch(params, SearchLink{frame, dialogs, currentLogLine, state});
    }

    std::vector<std::string> DeliveredPaths(const fs::path& root) const
    {
        std::vector<std::string> paths;
        for (const FILEPROP& file : delivered)
            paths.push_back(fs::path(file.path).lexically_relative(root).string());
        return paths;
    }
    const FILEPROP* Find(const std::string& name) const
    {
        for (const FILEPROP& file : delivered) {
            if (fs::path(file.path).filename() == name)
                return &file;
        }
        return nullptr;
    }
};

// root/
//   a.gdb  B.IB  notes.txt  x.gdbx  .hidden.gdb
//   sub/c.Gdb  sub/deeper/d.ib
//   .secret/e.gdb                  (hidden folder)
//   folder.gdb/f.txt               (a folder is no database file)
//   loop/self -> ..                (symbolic link back up)
//   up -> .                        (symbolic link to itself' folder)
//   link.gdb -> sub/c.Gdb          (symbolic link to a database file)
class SearchTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.ok());
        root = dir.path();
        for (const char* folder : {"sub", "sub/deeper", ".secret", "folder.gdb", "loop"})
            fs::create_directories(root / folder);
        for (const char* file : {"a.gdb", "B.IB", "notes.txt", "x.gdbx", ".hidden.gdb", "sub/c.Gdb", "sub/deeper/d.ib",
                                 ".secret/e.gdb", "folder.gdb/f.txt"})
            MakeFile(root / file, 100);
        fs::create_directory_symlink("..", root / "loop" / "self");
        fs::create_directory_symlink(".", root / "up");
        fs::create_symlink("sub/c.Gdb", root / "link.gdb");
    }

    ScratchDir dir;
    fs::path root;
};

TEST_F(SearchTree, ListsDatabaseFilesInFolderOrder)
{
    struct Case {
        const char* name;
        std::string start;
        bool subfolders;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"subfolders", "", true, {"a.gdb", "B.IB", "link.gdb", "sub/c.Gdb", "sub/deeper/d.ib"}},
        {"start folder only", "", false, {"a.gdb", "B.IB", "link.gdb"}},
        {"path ending in a slash", "/", true, {"a.gdb", "B.IB", "link.gdb", "sub/c.Gdb", "sub/deeper/d.ib"}},
        {"path ending in a slash, no subfolders", "/", false, {"a.gdb", "B.IB", "link.gdb"}},
        {"a subfolder as start", "/sub", true, {"sub/c.Gdb", "sub/deeper/d.ib"}},
        {"a hidden folder chosen itself is searched", "/.secret", false, {".secret/e.gdb"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchRun run;
        run.Run(root.string() + c.start, c.subfolders);
        EXPECT_EQ(run.DeliveredPaths(root), c.expected);
        for (const FILEPROP& file : run.delivered)
            EXPECT_EQ(file.path.find("//"), std::string::npos) << file.path;
        // The first and last messages, one result message, no box, flags down.
        ASSERT_FALSE(run.frame.sent.empty());
        EXPECT_EQ(run.frame.sent.front(), (RecordingFrame::Sent{UM_SEARCH_PROGRESS, 500, 1}));
        EXPECT_EQ(run.frame.sent.back(), (RecordingFrame::Sent{UM_SEARCH_PROGRESS, 0, 3}));
        EXPECT_EQ(std::count_if(run.frame.sent.begin(), run.frame.sent.end(),
                                [](const auto& s) { return s.message == UM_SEARCH_RESULTS; }),
                  1);
        EXPECT_TRUE(run.dialogs.shown.empty());
        EXPECT_FALSE(run.state.searchRunning);
        EXPECT_FALSE(run.state.searchStop);
    }
}

TEST_F(SearchTree, EveryStepIsAProgressStepBetweenStartAndEnd)
{
    SearchRun run;
    run.Run(root.string(), true);
    // Entries examined while listing the folders plus one per file found;
    // nothing else is sent between the start and the results.
    const auto& sent = run.frame.sent;
    const auto results = std::find_if(sent.begin(), sent.end(), [](const auto& s) { return s.message == UM_SEARCH_RESULTS; });
    ASSERT_NE(results, sent.end());
    for (auto it = sent.begin() + 1; it != results; ++it)
        EXPECT_EQ(*it, (RecordingFrame::Sent{UM_SEARCH_PROGRESS, 0, 2}));
    // Eleven entries in root, two in sub, one in deeper, one in folder.gdb,
    // one in loop (the hidden folder is not listed); five files found.
    EXPECT_EQ(results - sent.begin() - 1, 11 + 2 + 1 + 1 + 1 + 5);
}

TEST(FileSearch, SizesInWholeKilobytes)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    struct Case {
        const char* file;
        std::uint64_t bytes;
        const char* shown;
    };
    const Case cases[] = {
        {"empty.gdb", 0, "0"},
        {"under-a-kilobyte.gdb", 1023, "0"},
        {"one-kilobyte.gdb", 1024, "1"},
        {"just-over.ib", 2047, "1"},
        {"five-gigabytes.gdb", 5ULL * 1024 * 1024 * 1024, "5242880"},
    };
    for (const Case& c : cases)
        MakeFile(dir.path() / c.file, c.bytes);
    SearchRun run;
    run.Run(dir.path().string(), false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const FILEPROP* file = run.Find(c.file);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->size, c.shown);
    }
}

TEST(FileSearch, TimesOfTheFileInTheGivenFormat)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const fs::path path = dir.path() / "dated.gdb";
    MakeFile(path, 10);
    // Accessed 2001-02-03 04:05:06 UTC, modified 2010-11-12 13:14:15 UTC.
    const timespec times[2] = {{981173106, 0}, {1289567655, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto format = [](const std::tm& t) {
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
        return std::string(text);
    };
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved ? saved : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    SearchRun run;
    run.Run(dir.path().string(), false, format);
    if (saved)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    ASSERT_EQ(run.delivered.size(), 1u);
    EXPECT_EQ(run.delivered[0].modified, "2010-11-12 13:14:15");
    EXPECT_EQ(run.delivered[0].accessed, "2001-02-03 04:05:06");
    // The creation time where the file system keeps one.
    struct statx info {};
    ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &info), 0);
    EXPECT_EQ(run.delivered[0].created.empty(), !(info.stx_mask & STATX_BTIME));
}

TEST(FileSearch, TimesNotAfterTheEndOf1899AreEmpty)
{
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved ? saved : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const auto format = [](const std::tm& t) {
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
        return std::string(text);
    };
    // 1899-12-30 00:00:00 UTC is -2209161600 seconds from 1970.
    struct Case {
        const char* name;
        std::int64_t seconds;
        const char* shown;
    };
    const Case cases[] = {
        {"a day earlier", -2209161600 - 86400, ""},
        {"one second earlier", -2209161601, ""},
        {"exactly midnight", -2209161600, ""},
        {"one second later", -2209161599, "1899-12-30 00:00:01"},
        {"the epoch", 0, "1970-01-01 00:00:00"},
        {"past 2038", 4102444800, "2100-01-01 00:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileTimeText(c.seconds, format), c.shown);
    }
    if (saved)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(FileSearch, DatabaseAndHiddenNames)
{
    struct Case {
        const char* name;
        bool database;
        bool hidden;
    };
    const Case cases[] = {
        {"EMPLOYEE.GDB", true, false}, {"employee.gdb", true, false}, {"x.Ib", true, false},
        {"x.gdb.bak", false, false},   {"x.ibx", false, false},       {"gdb", false, false},
        {".gdb", true, true},          {".old.ib", true, true},       {"a.txt", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsDatabaseFileName(c.name), c.database);
        EXPECT_EQ(IsHiddenName(c.name), c.hidden);
    }
}

TEST_F(SearchTree, StopLeavesNoResultsAndSaysSoOnce)
{
    struct Case {
        const char* name;
        // Stop when this many messages have been sent (0: before the start).
        std::size_t stopAfter;
    };
    const Case cases[] = {
        {"stopped before the worker starts", 0},
        {"stopped on the start message", 1},
        {"stopped while folders are listed", 3},
        {"stopped at the first file found", 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchRun run;
        run.state.searchStop = c.stopAfter == 0;
        const auto deliver = run.frame.onSend;
        run.frame.onSend = [&](const RecordingFrame::Sent& sent) {
            deliver(sent);
            if (run.frame.sent.size() == c.stopAfter)
                run.state.searchStop = true;
        };
        run.dialogs.shown.clear();
        std::string lineWhenShown;
        run.Run(root.string(), true);
        EXPECT_TRUE(run.state.results.empty());
        EXPECT_EQ(run.dialogs.shown, std::vector<std::string>{"Process aborted by user."});
        EXPECT_TRUE(run.currentLogLine.empty());
        EXPECT_FALSE(run.state.searchStop);
        EXPECT_FALSE(run.state.searchRunning);
        // The results message still comes (the dialog gives its controls
        // back), the end of the progress comes after it.
        const auto& sent = run.frame.sent;
        const auto results = std::find_if(sent.begin(), sent.end(), [](const auto& s) { return s.message == UM_SEARCH_RESULTS; });
        ASSERT_NE(results, sent.end());
        EXPECT_EQ(sent.back(), (RecordingFrame::Sent{UM_SEARCH_PROGRESS, 0, 3}));
        // Fewer files reached the dialog than a full search finds.
        EXPECT_LT(run.delivered.size(), 5u);
    }
}

TEST(FileSearch, FolderThatCannotBeListedGivesNothing)
{
    SearchRun run;
    run.Run("/nonexistent/ravelin-search", true);
    EXPECT_TRUE(run.delivered.empty());
    EXPECT_TRUE(run.dialogs.shown.empty());
    EXPECT_EQ(run.frame.sent.back(), (RecordingFrame::Sent{UM_SEARCH_PROGRESS, 0, 3}));
}

TEST(FileSearch, WorkerThreadReportsAndClearsTheRunningFlag)
{
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    MakeFile(dir.path() / "one.gdb", 1);
    RecordingFrame frame;
    RecordingDialogs dialogs;
    SearchState state;
    std::string line;
    CSearchThread worker;
    worker.Start(SearchParams{dir.path().string(), true, {}, {}}, SearchLink{frame, dialogs, line, state});
    worker.Join();
    EXPECT_FALSE(state.searchRunning);
    ASSERT_EQ(state.results.size(), 1u);
    EXPECT_EQ(state.results[0].path, (dir.path() / "one.gdb").string());
}

}  // namespace
}  // namespace ravelin::job
