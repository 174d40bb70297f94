#include "job/jobdriver.h"

#include <algorithm>
#include <functional>
#include <future>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/messagedialog.h"
#include "job/repairoutcome.h"
#include "job/testfiles.h"

namespace ravelin::job {
namespace {

using ravelin::testing::DatabaseImage;
using ravelin::testing::LockHolder;
using ravelin::testing::TempDir;
using ravelin::testing::WriteBytes;

// One message as the frame received it; text is the log line of UM_LOG_LINE.
struct Event {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::string text;
};

// Marks a step of the job in the transcript.
constexpr std::uint32_t kStepMarker = 0;

// Records every message in order and, like every front end, counts the
// model's views and indices when the tree is filled. onMessage runs inside
// the handler, on the worker, while the worker waits.
class RecordingFrame final : public Frame {
public:
    JobDriver* driver = nullptr;
    std::vector<Event> events;
    std::function<void(const Event&)> onMessage;

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        Event event{message, wParam, lParam, {}};
        if (message == UM_LOG_LINE)
            event.text = driver->State().currentLogLine;
        if (message == UM_FILL_TREE)
            CountTreeObjects(driver->Engine());
        events.push_back(event);
        if (onMessage)
            onMessage(events.back());
        return 0;
    }
    void Mark(const std::string& step) { events.push_back({kStepMarker, 0, 0, step}); }
};

struct DialogCall {
    std::string kind;  // "message", "ok", "warning" or "connection"
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
};

class ScriptedDialogs final : public WorkerDialogs {
public:
    std::vector<DialogCall> calls;
    int answer = kAnswerOk;

    int ShowMessageDialog(const std::string& text, MessageButtons buttons) override
    {
        calls.push_back({"message", text, buttons});
        return answer;
    }
    int ShowMessageOk(const std::string& text) override
    {
        calls.push_back({"ok", text, MessageButtons::Ok});
        return kAnswerOk;
    }
    int ShowWarning(const std::string& text) override
    {
        calls.push_back({"warning", text, MessageButtons::Ok});
        return kAnswerOk;
    }
    int ShowConnectionDialog(ConnectionAnswer&) override
    {
        calls.push_back({"connection", {}, MessageButtons::Ok});
        return kAnswerNo;
    }
};

std::string MessageName(std::uint32_t message)
{
    switch (message) {
    case UM_FILL_TREE: return "UM_FILL_TREE";
    case UM_GRID_COLUMNS: return "UM_GRID_COLUMNS";
    case UM_CLEAR_TREE: return "UM_CLEAR_TREE";
    case UM_PROGRESS: return "UM_PROGRESS";
    case UM_RESET_VIEW: return "UM_RESET_VIEW";
    case UM_VIEW_PROPERTIES: return "UM_VIEW_PROPERTIES";
    case UM_TABLE_PROPERTIES: return "UM_TABLE_PROPERTIES";
    case UM_INDEX_PROPERTIES: return "UM_INDEX_PROPERTIES";
    case UM_TABLE_KEYS: return "UM_TABLE_KEYS";
    case UM_PAGING_OFF: return "UM_PAGING_OFF";
    case UM_SKIP_DIALOG: return "UM_SKIP_DIALOG";
    case UM_REPAIR_STATE: return "UM_REPAIR_STATE";
    default: return std::to_string(message);
    }
}

// Time stamps as the C locale writes them.
const std::regex kTimeStamp(
    "(Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), "
    "(January|February|March|April|May|June|July|August|September|October|November|December) "
    "\\d{2}, \\d{4}  (0[1-9]|1[0-2]):[0-5]\\d:[0-5]\\d  (AM|PM)");

// "LOG text" (time stamps replaced by <TS>), "UM_NAME w,l" or "STEP name".
std::vector<std::string> Transcript(const std::vector<Event>& events)
{
    std::vector<std::string> out;
    for (const Event& e : events) {
        if (e.message == UM_LOG_LINE)
            out.push_back("LOG " + std::regex_replace(e.text, kTimeStamp, "<TS>"));
        else if (e.message == kStepMarker)
            out.push_back("STEP " + e.text);
        else
            out.push_back(MessageName(e.message) + " " + std::to_string(e.wParam) + "," + std::to_string(e.lParam));
    }
    return out;
}

std::vector<std::string> LogLines(const std::vector<Event>& events)
{
    std::vector<std::string> out;
    for (const std::string& line : Transcript(events))
        if (line.rfind("LOG ", 0) == 0)
            out.push_back(line.substr(4));
    return out;
}

std::vector<std::string> OpeningLines(const std::string& path, const std::string& name, std::uint64_t size)
{
    return {std::string(97, '-'), "", "File Selected: " + path, "", "File Size: " + std::to_string(size) + " bytes", "",
            "Scanning process started on <TS>", "",
            "Scanning is being in process, for............................." + name, ""};
}

// Extraction that records which steps the driver called.
class RecordingExtraction final : public ExtractionSteps {
public:
    RecordingFrame* frame = nullptr;
    void CountTableRecords(JobContext& job) override
    {
        frame->Mark("CountTableRecords");
        FinishRecordCounting(job);
    }
    void TransferTableData(JobContext&) override { frame->Mark("TransferTableData"); }
    void WalkTableRecords(JobContext&) override { frame->Mark("WalkTableRecords"); }
};

// A target writer whose attach and repair outcome the test chooses. The
// repair adds tables to what the engine notes, as the real one does, so
// notes an earlier repair left would show.
class FakeWriter final : public TargetWriter {
public:
    RecordingFrame* frame = nullptr;
    JobDriver* driver = nullptr;
    bool attaches = true;
    bool completes = true;
    bool stopsDuringRepair = false;
    std::vector<RepairedTable> tables;
    std::uint64_t lostAtCommit = 0;

    void AttachTarget(JobContext& job) override
    {
        frame->Mark("AttachTarget");
        job.state.connected = attaches;
    }
    void RunRepair(JobContext& job) override
    {
        frame->Mark("RunRepair");
        if (stopsDuringRepair)
            driver->RequestStop();
        job.engine.repairedTables.insert(job.engine.repairedTables.end(), tables.begin(), tables.end());
        job.engine.recordsLostAtCommit += lostAtCommit;
        job.engine.indicesCreated = 2;
        job.engine.indexStatementsInSideFile = 4;
        job.engine.repairSucceeded = completes;
    }
};

class JobDriverTest : public ::testing::Test {
protected:
    JobDriverTest()
    {
        frame.driver = &driver;
        extraction.frame = &frame;
        writer.frame = &frame;
        writer.driver = &driver;
        driver.SetExtractionSteps(extraction);
        driver.SetTargetWriter(writer);
        // The catalogue walk finds two tables, a view and three indices.
        driver.SetScanStep([this](catalogue::CatalogueContext& scan) {
            frame.Mark("ScanDatabase");
            scan.model.tables.push_back({"CUSTOMER", 128, 3, {}});
            scan.model.tables.push_back({"ORDERS", 129, 5, {}});
            scan.model.views.push_back({"PHONE_LIST", {}});
            scan.model.indices.push_back({"RDB$PRIMARY1", "CUSTOMER", {}, {"CUST_NO"}});
            scan.model.indices.push_back({"RDB$PRIMARY2", "ORDERS", {}, {"ORDER_NO"}});
            scan.model.indices.push_back({"ORDERS_CUST", "ORDERS", {}, {"CUST_NO"}});
            scan.tableCount = 2;
        });
        WriteBytes(databasePath, DatabaseImage(1024, 8));
    }

    // Runs one job to its end; yields whether the starter accepted it.
    template <typename Start>
    bool Run(Start start)
    {
        frame.events.clear();
        dialogs.calls.clear();
        const bool started = start();
        driver.Wait();
        return started;
    }
    void ScanToCompletion()
    {
        ASSERT_TRUE(Run([&] { return driver.StartScan(databasePath, "TEST.GDB"); }));
        ASSERT_EQ(driver.Outcome(), JobOutcome::Completed);
    }

    TempDir dir;
    std::string databasePath = dir.File("TEST.GDB");
    RecordingFrame frame;
    ScriptedDialogs dialogs;
    RecordingExtraction extraction;
    FakeWriter writer;
    JobDriver driver{frame, dialogs};
};

TEST_F(JobDriverTest, CompleteScanLogsEveryLineAndMessageInOrder)
{
    struct Case {
        const char* name;
        bool skipPressed;  // the skip panel's button is pressed as the panel opens
        std::vector<std::string> countingTail;
    };
    const Case cases[] = {
        {"counted", false,
         {"STEP CountTableRecords", "UM_SKIP_DIALOG 0,1", "LOG Counting table(s) records process has been completed",
          "LOG " + std::string(66, '-'), "LOG "}},
        {"skipped", true,
         {"STEP CountTableRecords", "LOG Counting table(s) records process has been skipped",
          "LOG " + std::string(62, '-'), "LOG "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        frame.onMessage = [&](const Event& e) {
            if (c.skipPressed && e.message == UM_SKIP_DIALOG && e.wParam == 1)
                driver.Engine().skipCounting = true;
        };
        ScanToCompletion();

        std::vector<std::string> expected;
        for (const std::string& line : OpeningLines(databasePath, "TEST.GDB", 8192))
            expected.push_back("LOG " + line);
        const std::vector<std::string> middle = {
            "UM_RESET_VIEW 0,0",
            "UM_CLEAR_TREE 0,0",
            "STEP ScanDatabase",
            "UM_FILL_TREE 1,0",
            "UM_PROGRESS 3,0",
            "LOG Scanning process completed on <TS>",
            "LOG ",
            "LOG Database details : ",
            "LOG ",
            "LOG " + std::string(21, '-'),
            "LOG Database name : TEST.GDB",
            "LOG Total table(s)    : 2",
            "LOG Total View(s)     : 1",
            "LOG Total Indices(s)  : 3",
            "LOG ",
            "LOG Counting table(s) records in database.....................",
            "LOG ",
            "UM_SKIP_DIALOG 1,0",
        };
        expected.insert(expected.end(), middle.begin(), middle.end());
        expected.insert(expected.end(), c.countingTail.begin(), c.countingTail.end());
        EXPECT_EQ(Transcript(frame.events), expected);

        const JobState& state = driver.State();
        const RecoveryEngine& engine = driver.Engine();
        EXPECT_TRUE(dialogs.calls.empty());
        EXPECT_TRUE(state.databaseLoaded);
        EXPECT_FALSE(state.scanning);
        EXPECT_FALSE(driver.Busy());
        EXPECT_TRUE(engine.saveLogEnabled && engine.clearLogEnabled);
        EXPECT_FALSE(engine.skipCounting);
        EXPECT_EQ(engine.context.pageSize, 1024u);
        EXPECT_EQ(engine.model.tables.size(), 2u) << "skipping the count keeps the schema";
    }
}

TEST_F(JobDriverTest, ASecondScanStartsFromAnEmptyModel)
{
    ScanToCompletion();
    driver.State().selectedObjectName = "CUSTOMER";
    driver.State().pageRequested = true;
    ScanToCompletion();
    const RecoveryEngine& engine = driver.Engine();
    EXPECT_EQ(engine.model.tables.size(), 2u);
    EXPECT_EQ(engine.tableCount, 2u);
    EXPECT_EQ(engine.viewCount, 1u);
    EXPECT_EQ(engine.indexCount, 3u);
    EXPECT_TRUE(driver.State().selectedObjectName.empty());
    EXPECT_FALSE(driver.State().pageRequested);
}

TEST_F(JobDriverTest, FileThatCannotBeScannedStopsAfterTheOpeningLines)
{
    // The reason is logged, never that the file is in use.
    const std::string noPageSize = kNoPageSizeText;
    struct Case {
        const char* name;
        std::string bytes;  // written to the file; "" with exists false: no file at all
        bool exists;
        bool locked;        // another process holds the file locked
        JobOutcome outcome;
        const char* dialogText;
        std::vector<std::string> tail;  // log lines after the opening lines
    };
    const Case cases[] = {
        {"not a database", std::string(20000, 'x'), true, false, JobOutcome::InvalidFile, kInvalidFileText, {noPageSize}},
        {"empty file", "", true, false, JobOutcome::InvalidFile, kInvalidFileText, {noPageSize}},
        {"no such file", "", false, false, JobOutcome::InvalidFile, kInvalidFileText, {noPageSize}},
        {"two pages only carry a page header", DatabaseImage(1024, 8, {5, 6}), true, false, JobOutcome::InvalidFile,
         kInvalidFileText, {noPageSize}},
        {"held by another process", DatabaseImage(1024, 8), true, true, JobOutcome::FileInUse, kFileInUseText, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A completed scan before: its schema is what the failed scan must leave alone.
        ScanToCompletion();

        const std::string path = dir.File(std::string("case-") + std::to_string(&c - cases));
        if (c.exists)
            WriteBytes(path, c.bytes);
        std::optional<LockHolder> lock;
        if (c.locked)
            lock.emplace(path);

        ASSERT_TRUE(Run([&] { return driver.StartScan(path, "CASE.GDB"); }));
        EXPECT_EQ(driver.Outcome(), c.outcome);

        std::vector<std::string> expected = OpeningLines(path, "CASE.GDB", c.locked ? 0 : c.bytes.size());
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(LogLines(frame.events), expected);
        for (const Event& e : frame.events)
            EXPECT_EQ(e.message, UM_LOG_LINE) << "no scan step may run; met " << MessageName(e.message);

        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].kind, "message");
        EXPECT_EQ(dialogs.calls[0].text, c.dialogText);
        EXPECT_EQ(dialogs.calls[0].buttons, MessageButtons::Ok);

        const JobState& state = driver.State();
        const RecoveryEngine& engine = driver.Engine();
        EXPECT_FALSE(engine.invalidFile);
        EXPECT_FALSE(engine.fileInUse);
        EXPECT_FALSE(state.scanning) << "a later page request must not rescan";
        EXPECT_FALSE(driver.Busy());
        // Nothing was reset.
        EXPECT_TRUE(state.databaseLoaded);
        EXPECT_EQ(engine.model.tables.size(), 2u);
    }
}

TEST_F(JobDriverTest, StopDuringAScanIsReportedOnceAndDiscardsTheScan)
{
    const std::string aborted = "LOG Process aborted by user<TS>";
    struct Case {
        const char* name;
        std::uint32_t stopAt;  // the stop is requested while this message is handled
        bool summaryLogged;    // the stop came after the catalogue walk
    };
    const Case cases[] = {
        {"before the catalogue walk", UM_CLEAR_TREE, false},
        {"while the tree is filled", UM_FILL_TREE, true},
        {"while records are counted", UM_SKIP_DIALOG, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanToCompletion();
        frame.onMessage = [&](const Event& e) {
            if (e.message == c.stopAt) {
                EXPECT_TRUE(driver.RequestStop());
            }
        };
        ASSERT_TRUE(Run([&] { return driver.StartScan(databasePath, "TEST.GDB"); }));
        frame.onMessage = nullptr;
        EXPECT_EQ(driver.Outcome(), JobOutcome::Aborted);

        const std::vector<std::string> transcript = Transcript(frame.events);
        EXPECT_EQ(std::count(transcript.begin(), transcript.end(), aborted), 1);
        const std::vector<std::string> closing = {"UM_CLEAR_TREE 0,0", "UM_PROGRESS 3,0", aborted, "UM_REPAIR_STATE 0,1"};
        ASSERT_GE(transcript.size(), closing.size());
        EXPECT_EQ(std::vector<std::string>(transcript.end() - 4, transcript.end()), closing);
        const bool completedLogged =
            std::find(transcript.begin(), transcript.end(), "LOG Scanning process completed on <TS>") != transcript.end();
        EXPECT_EQ(completedLogged, c.summaryLogged);

        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].kind, "ok");
        EXPECT_EQ(dialogs.calls[0].text, kAbortedMessageText);

        const JobState& state = driver.State();
        const RecoveryEngine& engine = driver.Engine();
        EXPECT_FALSE(state.databaseLoaded) << "Start Repair stays disabled";
        EXPECT_FALSE(state.stopRequested);
        EXPECT_FALSE(state.scanning);
        EXPECT_TRUE(engine.model.tables.empty());
        EXPECT_EQ(engine.tableCount, 0u);

        // The stop was for that job only: the next scan completes.
        ScanToCompletion();
        EXPECT_TRUE(driver.State().databaseLoaded);
    }
}

TEST_F(JobDriverTest, StartersDoNothingWhileAJobRuns)
{
    ScanToCompletion();
    ASSERT_TRUE(Run([&] { return driver.StartPreview(PreviewKind::Table, "CUSTOMER"); }));

    std::promise<void> reached;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool blocked = false;
    frame.onMessage = [&](const Event& e) {
        if (e.message == UM_CLEAR_TREE && !blocked) {
            blocked = true;
            reached.set_value();
            released.wait();
        }
    };
    frame.events.clear();
    ASSERT_TRUE(driver.StartScan(databasePath, "TEST.GDB"));
    reached.get_future().wait();

    EXPECT_TRUE(driver.Busy());
    EXPECT_FALSE(driver.StartScan(dir.File("OTHER.GDB"), "OTHER.GDB"));
    EXPECT_FALSE(driver.StartPreview(PreviewKind::View, "PHONE_LIST"));
    EXPECT_FALSE(driver.StartPage(true));
    EXPECT_FALSE(driver.StartRepair());
    EXPECT_EQ(driver.State().databasePath, databasePath);
    EXPECT_EQ(driver.State().databaseName, "TEST.GDB");

    release.set_value();
    driver.Wait();
    frame.onMessage = nullptr;
    EXPECT_EQ(driver.Outcome(), JobOutcome::Completed);
    EXPECT_FALSE(driver.Busy());
    EXPECT_FALSE(driver.RequestStop()) << "no job to stop";
    ScanToCompletion();
}

TEST_F(JobDriverTest, PreviewSendsTheMessagesOfTheSelectedKind)
{
    ScanToCompletion();
    struct Case {
        const char* name;
        std::function<bool()> start;
        std::vector<std::string> transcript;
    };
    const Case cases[] = {
        {"table", [&] { return driver.StartPreview(PreviewKind::Table, "CUSTOMER"); },
         {"UM_PAGING_OFF 0,0", "UM_GRID_COLUMNS 0,0", "STEP TransferTableData", "UM_TABLE_PROPERTIES 0,0",
          "UM_TABLE_KEYS 0,0"}},
        {"view", [&] { return driver.StartPreview(PreviewKind::View, "PHONE_LIST"); },
         {"UM_PAGING_OFF 0,0", "UM_VIEW_PROPERTIES 0,0"}},
        {"index", [&] { return driver.StartPreview(PreviewKind::Index, "ORDERS_CUST"); },
         {"UM_PAGING_OFF 0,0", "UM_INDEX_PROPERTIES 0,0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        driver.State().repairing = true;  // left over from an earlier repair
        ASSERT_TRUE(Run(c.start));
        EXPECT_EQ(Transcript(frame.events), c.transcript);
        EXPECT_EQ(driver.Outcome(), JobOutcome::Completed);
        EXPECT_FALSE(driver.State().repairing);
        EXPECT_TRUE(driver.State().databaseLoaded);
    }
}

TEST_F(JobDriverTest, PagingWalksOnlyToPagesThatExist)
{
    ScanToCompletion();
    ASSERT_TRUE(Run([&] { return driver.StartPreview(PreviewKind::Table, "ORDERS"); }));
    EXPECT_FALSE(driver.StartPage(false)) << "page 0 has no previous page";

    // The fetch of page 0 found a second page.
    driver.Engine().previewPositions = {{0, 0}, {0, 100}};
    ASSERT_TRUE(Run([&] { return driver.StartPage(true); }));
    EXPECT_EQ(Transcript(frame.events), (std::vector<std::string>{"UM_PAGING_OFF 0,0", "STEP WalkTableRecords"}));
    EXPECT_EQ(driver.Engine().previewPage, 1);
    EXPECT_EQ(driver.State().forwardSteps, 1);
    EXPECT_FALSE(driver.State().pageRequested);

    // No third page is known: nothing is walked, and the request is not left behind.
    ASSERT_TRUE(Run([&] { return driver.StartPage(true); }));
    EXPECT_EQ(Transcript(frame.events), (std::vector<std::string>{"UM_PAGING_OFF 0,0"}));
    EXPECT_FALSE(driver.State().pageRequested);
    ASSERT_TRUE(Run([&] { return driver.StartPreview(PreviewKind::View, "PHONE_LIST"); }));
    EXPECT_EQ(Transcript(frame.events), (std::vector<std::string>{"UM_PAGING_OFF 0,0", "UM_VIEW_PROPERTIES 0,0"}));
}

TEST_F(JobDriverTest, RepairRunsOnlyAfterTheTargetIsAttached)
{
    // What the writer notes about the tables of one repair.
    const std::vector<RepairedTable> copiedWhole = {{"CUSTOMER", 40, 40}, {"ORDERS", 0, 0}};
    const std::vector<RepairedTable> shortfalls = {{"CUSTOMER", 40, 37}, {"ORDERS", 0, 0, false}, {"ITEMS", 5, 5}};
    struct Case {
        const char* name;
        bool attaches;
        bool completes;
        bool stops;
        std::vector<RepairedTable> tables;
        std::uint64_t lostAtCommit;
        JobOutcome outcome;
        bool databaseLoadedAfter;
        bool modelKept;
        std::vector<std::string> shortfallLines;  // logged before the closing lines
        std::vector<std::string> dialogs;         // "kind: text" of every dialog, in order
    };
    const std::string warning = std::string("warning: ") + kRepairIncompleteText +
                                "\nRecords not copied: 3 of 40 in CUSTOMER\nTable not created: ORDERS";
    const Case cases[] = {
        {"target not attached", false, true, false, {}, 0, JobOutcome::NotConnected, true, true, {}, {}},
        {"completed", true, true, false, copiedWhole, 0, JobOutcome::Completed, false, false, {},
         {std::string("message: ") + kRepairSucceededText}},
        {"a table refused and records lost", true, true, false, shortfalls, 0, JobOutcome::Incomplete, false, false,
         {"Records not copied: 3 of 40 in CUSTOMER", "Table not created: ORDERS"}, {warning}},
        // Nothing of the last repair's shortfalls is left over.
        {"completed after one with shortfalls", true, true, false, copiedWhole, 0, JobOutcome::Completed, false,
         false, {}, {std::string("message: ") + kRepairSucceededText}},
        {"records the target could not commit", true, true, false, copiedWhole, 12, JobOutcome::Incomplete, false,
         false, {"Records not copied: 12 whose batch the target could not commit"},
         {std::string("warning: ") + kRepairIncompleteText +
          "\nRecords not copied: 12 whose batch the target could not commit"}},
        // A repair that did not run to its end (cut off, or every table
        // refused) keeps its own report: no shortfall lines, no warning.
        {"incomplete", true, false, false, shortfalls, 0, JobOutcome::Failed, false, false, {}, {}},
        {"stopped", true, true, true, shortfalls, 0, JobOutcome::Aborted, true, true, {},
         {std::string("ok: ") + kAbortedMessageText}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanToCompletion();
        writer.attaches = c.attaches;
        writer.completes = c.completes;
        writer.stopsDuringRepair = c.stops;
        writer.tables = c.tables;
        writer.lostAtCommit = c.lostAtCommit;
        ASSERT_TRUE(Run([&] { return driver.StartRepair(); }));
        EXPECT_EQ(driver.Outcome(), c.outcome);

        const std::vector<std::string> transcript = Transcript(frame.events);
        std::vector<std::string> expected = {"STEP AttachTarget"};
        if (c.attaches) {
            const std::vector<std::string> started = {
                "LOG Repairing process started on: <TS>", "LOG ",
                "LOG Repairing is being in process, for.............................. TEST.GDB", "LOG ",
                "UM_REPAIR_STATE 1,0", "STEP RunRepair"};
            expected.insert(expected.end(), started.begin(), started.end());
        }
        for (const std::string& line : c.shortfallLines)
            expected.push_back("LOG " + line);
        if (!c.shortfallLines.empty())
            expected.push_back("LOG ");
        if (c.attaches && !c.stops) {
            const std::vector<std::string> finished = {
                "LOG Views recovered   :1", "LOG ", "LOG Indices recovered :2",
                "LOG Index statements written to the side file only :4", "LOG ",
                "LOG Repairing process completed on <TS>", "LOG ", "UM_PROGRESS 3,0", "UM_REPAIR_STATE 0,1",
                "UM_CLEAR_TREE 0,0"};
            expected.insert(expected.end(), finished.begin(), finished.end());
        }
        if (c.stops) {
            const std::vector<std::string> aborted = {"UM_PROGRESS 3,0", "LOG Process aborted by user<TS>",
                                                      "UM_REPAIR_STATE 0,1"};
            expected.insert(expected.end(), aborted.begin(), aborted.end());
        }
        EXPECT_EQ(transcript, expected);

        std::vector<std::string> shown;
        for (const DialogCall& call : dialogs.calls)
            shown.push_back(call.kind + ": " + call.text);
        EXPECT_EQ(shown, c.dialogs);

        const JobState& state = driver.State();
        EXPECT_EQ(state.databaseLoaded, c.databaseLoadedAfter);
        EXPECT_EQ(!driver.Engine().model.tables.empty(), c.modelKept);
        if (!c.stops) {
            EXPECT_FALSE(state.connected);  // a stopped repair leaves detaching to its writer
        }
        EXPECT_FALSE(driver.Engine().repairSucceeded);
        if (c.attaches) {
            EXPECT_FALSE(state.repairing);
        }
    }
}

TEST(JobDriverDefaults, RepairWithoutATargetWriterNeverClaimsSuccess)
{
    RecordingFrame frame;
    ScriptedDialogs dialogs;
    JobDriver driver(frame, dialogs);
    frame.driver = &driver;
    driver.State().databaseLoaded = true;
    ASSERT_TRUE(driver.StartRepair());
    driver.Wait();
    EXPECT_EQ(driver.Outcome(), JobOutcome::NotConnected);
    const std::vector<std::string> lines = LogLines(frame.events);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Connection Failed.");
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("Repairing"), std::string::npos) << line;
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, kConnectionFailedText);
    EXPECT_FALSE(driver.State().connected);
    EXPECT_TRUE(driver.State().databaseLoaded);
}

TEST_F(JobDriverTest, AnErrorOnTheWorkerIsLoggedAndEndsTheJob)
{
    ScanToCompletion();
    driver.SetScanStep([](catalogue::CatalogueContext& scan) {
        scan.model.tables.push_back({"HALF_READ", 130, 1, {}});
        throw std::runtime_error("catalogue record out of range");
    });
    ASSERT_TRUE(Run([&] { return driver.StartScan(databasePath, "TEST.GDB"); }));
    EXPECT_EQ(driver.Outcome(), JobOutcome::Failed);
    const std::vector<std::string> lines = LogLines(frame.events);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Process failed: catalogue record out of range");
    EXPECT_FALSE(driver.Busy());
    EXPECT_FALSE(driver.State().databaseLoaded);
    EXPECT_FALSE(driver.State().scanning);
    EXPECT_TRUE(driver.Engine().model.tables.empty()) << "a broken scan's model is not offered";
}

TEST(MessageDialog, FirstSetFlagChoosesTheTextAndOnlyItIsCleared)
{
    constexpr unsigned kInvalid = 1, kClose = 2, kInUse = 4, kRepaired = 8, kConnFailed = 16;
    struct Case {
        const char* name;
        unsigned flagsBefore;
        std::string text;
        MessageButtons buttons;
        unsigned flagsAfter;
    };
    const Case cases[] = {
        {"none: own text", 0, "Please first stop the current running process", MessageButtons::Ok, 0},
        {"invalid file", kInvalid, kInvalidFileText, MessageButtons::Ok, 0},
        {"invalid file and in use", kInvalid | kInUse, kInvalidFileText, MessageButtons::Ok, kInUse},
        {"close confirmation", kClose, kCloseConfirmationText, MessageButtons::YesNo, 0},
        {"close before in use", kClose | kInUse | kRepaired, kCloseConfirmationText, MessageButtons::YesNo,
         kInUse | kRepaired},
        {"in use stays for its caller", kInUse, kFileInUseText, MessageButtons::Ok, kInUse},
        {"in use before repaired", kInUse | kRepaired, kFileInUseText, MessageButtons::Ok, kInUse | kRepaired},
        {"repaired", kRepaired, kRepairSucceededText, MessageButtons::Ok, 0},
        {"repaired before connection failed", kRepaired | kConnFailed, kRepairSucceededText, MessageButtons::Ok,
         kConnFailed},
        {"connection failed", kConnFailed, kConnectionFailedText, MessageButtons::Ok, 0},
        {"all", kInvalid | kClose | kInUse | kRepaired | kConnFailed, kInvalidFileText, MessageButtons::Ok,
         kClose | kInUse | kRepaired | kConnFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecoveryEngine engine;
        engine.invalidFile = c.flagsBefore & kInvalid;
        engine.closeConfirmation = c.flagsBefore & kClose;
        engine.fileInUse = c.flagsBefore & kInUse;
        engine.repairSucceeded = c.flagsBefore & kRepaired;
        engine.connectionFailed = c.flagsBefore & kConnFailed;
        ScriptedDialogs dialogs;
        dialogs.answer = kAnswerNo;
        EXPECT_EQ(ShowMessageDialog(engine, dialogs, "Please first stop the current running process"), kAnswerNo);
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].text, c.text);
        EXPECT_EQ(dialogs.calls[0].buttons, c.buttons);
        const unsigned after = (engine.invalidFile ? kInvalid : 0u) | (engine.closeConfirmation ? kClose : 0u) |
                               (engine.fileInUse ? kInUse : 0u) | (engine.repairSucceeded ? kRepaired : 0u) |
                               (engine.connectionFailed ? kConnFailed : 0u);
        EXPECT_EQ(after, c.flagsAfter);
    }
}

TEST(RepairShortfalls, OneLinePerTableNotCreatedOrShortOfRecordsInRepairOrder)
{
    struct Case {
        const char* name;
        std::vector<RepairedTable> tables;
        std::uint64_t lostAtCommit;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"nothing noted", {}, 0, {}},
        {"every table whole, empty ones too", {{"A", 10, 10}, {"B", 0, 0}}, 0, {}},
        {"refused and short, in order",
         {{"A", 10, 10}, {"B", 0, 0, false}, {"C", 7, 0}, {"D$1", 1000000, 999999}, {"E", 3, 3, false}},
         0,
         {"Table not created: B", "Records not copied: 7 of 7 in C", "Records not copied: 1 of 1000000 in D$1",
          "Table not created: E"}},
        {"damaged records set aside are named after their table's line, with their file",
         {{"A", 5, 2, true, 3, 3, "/t/x.fdbDamaged.csv"}, {"B", 4, 4, true, 0, 0, "/t/x.fdbDamaged.csv"}},
         0,
         {"Records not copied: 3 of 5 in A", "Damaged records set aside: 3 in A, see /t/x.fdbDamaged.csv"}},
        {"damaged records the set-aside file could not take",
         {{"A", 5, 2, true, 1, 3, "/t/x.fdbDamaged.csv"}},
         0,
         {"Records not copied: 3 of 5 in A", "Damaged records set aside: 1 in A, see /t/x.fdbDamaged.csv",
          "Damaged records not set aside: 2 in A, /t/x.fdbDamaged.csv could not be written"}},
        {"damaged records of a repair that keeps none are only not copied",
         {{"A", 5, 2, true, 0, 3, ""}},
         0,
         {"Records not copied: 3 of 5 in A"}},
        {"lost at commit comes last", {{"A", 5, 4}}, 2,
         {"Records not copied: 1 of 5 in A", "Records not copied: 2 whose batch the target could not commit"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RepairShortfallLines(c.tables, c.lostAtCommit), c.lines);
    }
}

TEST(RepairShortfalls, TheWarningNamesTheFirstShortfallsAndCountsTheRest)
{
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= kWarningShortfallLines + 3; ++i)
        lines.push_back("Table not created: T" + std::to_string(i));

    const std::vector<std::string> few(lines.begin(), lines.begin() + 2);
    EXPECT_EQ(RepairIncompleteMessage(few),
              std::string(kRepairIncompleteText) + "\nTable not created: T1\nTable not created: T2");

    const std::vector<std::string> exactly(lines.begin(), lines.begin() + kWarningShortfallLines);
    const std::string all = RepairIncompleteMessage(exactly);
    EXPECT_EQ(all.find("more"), std::string::npos) << all;
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), static_cast<long>(kWarningShortfallLines));

    const std::string cut = RepairIncompleteMessage(lines);
    const std::string tenth = "Table not created: T" + std::to_string(kWarningShortfallLines) + "\n";
    EXPECT_NE(cut.find(tenth), std::string::npos) << cut;
    EXPECT_EQ(cut.find("Table not created: T" + std::to_string(kWarningShortfallLines + 1)), std::string::npos) << cut;
    EXPECT_TRUE(cut.ends_with("\n... and 3 more, listed at the end of the log")) << cut;
}

}  // namespace
}  // namespace ravelin::job
