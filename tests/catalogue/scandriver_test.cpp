#include "catalogue/readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "fixture/relationrecords.h"
#include "ods/constants.h"
#include "ods/pagescan.h"
#include "ods/readingcontext.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;
using fixture::FixtureWriter;
using fixture::RecordingFrame;
using fixture::RelationRecordOptions;

// Everything a scan works on.
struct Scan {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;
    CatalogueContext catalogue{context, lists, model, link, tableCount};
};

std::string Describe(const std::vector<TABLEIDNAME>& relations)
{
    std::string out;
    for (const TABLEIDNAME& r : relations)
        out += r.name + "=" + std::to_string(r.relationId) + "/" + std::to_string(r.fieldIdCount) + " ";
    return out;
}

Bytes Stored(std::string_view name, std::uint16_t id, std::uint16_t fieldIdCount, int ods = 13,
             std::uint32_t transaction = 1)
{
    RelationRecordOptions options;
    options.ods = ods;
    return fixture::RelationStoredRecord(name, id, fieldIdCount, options, transaction);
}

// A first fragment as real ODS 15 files hold relation records: flags 8, the
// forward pointer, and the data up to splitAt decompressed bytes.
Bytes FirstFragment(std::string_view name, std::uint16_t id, std::uint16_t fieldIdCount, std::size_t splitAt)
{
    RelationRecordOptions options;
    options.ods = 15;
    return fixture::BuildFragments(fixture::RelationRecordHeader(15),
                                   fixture::RelationRecordData(name, id, fieldIdCount, options), splitAt, 403, 9)
        .first;
}

Bytes WithData(std::string_view name, std::uint16_t id, const std::function<void(Bytes&)>& change)
{
    Bytes data = fixture::RelationRecordData(name, id, 4);
    change(data);
    return fixture::BuildStoredRecord(fixture::RelationRecordHeader(13), fixture::Compress(data));
}

TEST(ReadRelations, RecordShapes)
{
    struct Case {
        const char* name;
        Bytes stored;
        std::string expected;  // Describe() of the relations found
        std::uint16_t expectedTables;
    };
    const std::string longName(66, 'N');
    const Case cases[] = {
        {"ODS 13 user table", Stored("CUSTOMER", 128, 13), "CUSTOMER=128/13 ", 1},
        {"ODS 15 user table", Stored("COUNTRY", 128, 2, 15), "COUNTRY=128/2 ", 1},
        {"ODS 16 user table (byte 11 is 0x20)", Stored("VENUES", 143, 5, 16), "VENUES=143/5 ", 1},
        {"first fragment: data at 22, continuation not needed", FirstFragment("JOB", 129, 8, 523), "JOB=129/8 ", 1},
        {"first fragment cut inside the name keeps what it holds", FirstFragment("DEPARTMENT", 130, 7, 43),
         "DEPAR=130/7 ", 1},
        {"first fragment cut inside the relation id", FirstFragment("DEPARTMENT", 130, 7, 30), "", 0},
        {"transaction 0 is not read", Stored("RDB$RELATIONS", 6, 10, 13, 0), "", 0},
        {"system relation with a transaction: listed, not counted", Stored("MON$STATE", 40, 3), "MON$STATE=40/3 ", 0},
        {"relation id 255", Stored("T255", 255, 1), "T255=255/1 ", 1},
        {"relation id 256: its low byte joins the run of zeros", Stored("T256", 256, 2), "T256=256/2 ", 1},
        {"relation id 300: a two-byte id run", Stored("T300", 300, 3), "T300=300/3 ", 1},
        {"relation id 512", Stored("T512", 512, 4, 16), "T512=512/4 ", 1},
        {"blanks in the name become underscores", Stored("ORDER LINES", 140, 6), "ORDER_LINES=140/6 ", 1},
        {"three equal letters in the name", Stored("BOOOKS", 141, 2), "BOOOKS=141/2 ", 1},
        {"66-letter name: its one blank of padding is a literal byte", Stored(longName, 142, 2),
         longName + "=142/2 ", 1},
        {"a view: its first run is longer than 3 bytes",
         WithData("PHONE_LIST", 138, [](Bytes& d) { fixture::PutByte(d, 4, 0x06); }), "", 0},
        {"null flags stored as a run of 2 bytes",
         WithData("ODD", 150, [](Bytes& d) { fixture::PutByte(d, 2, 0x00); }), "", 0},
        {"empty name", Stored("", 151, 1), "", 0},
        {"record shorter than its header", fixture::FromHex("01 00 00 00 00 00 00 00 00 00 00"), "", 0},
        {"header only", Bytes(22, std::byte{1}), "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(4096);
        const std::uint32_t page = writer.AddDataPage(ods::kRelRelations);
        ASSERT_TRUE(writer.PlaceRecord(page, c.stored));
        Scan scan;
        ASSERT_TRUE(scan.context.OpenSource(writer.Source()));
        ods::PageListNode node{ods::kRelRelations, ods::kDataPage, {std::uint64_t{page} * 4096}};
        ReadRelations(scan.catalogue, node);
        EXPECT_EQ(Describe(scan.model.relations), c.expected);
        EXPECT_EQ(scan.tableCount, c.expectedTables);
    }
}

TEST(ReadRelations, WalksEverySlotOfEveryPageWithProgress)
{
    FixtureWriter writer(1024);
    const std::uint32_t first = writer.AddDataPage(ods::kRelRelations);
    writer.PlaceRecord(first, Stored("A", 128, 1));
    writer.AddEmptySlot(first);
    writer.PlaceRecord(first, Stored("RDB$PAGES", 0, 0, 13, 0));
    const std::uint32_t second = writer.AddDataPage(ods::kRelRelations);
    writer.PlaceRecord(second, Stored("B", 129, 2));

    Scan scan;
    ASSERT_TRUE(scan.context.OpenSource(writer.Source()));
    ods::PageListNode node{ods::kRelRelations, ods::kDataPage,
                           {std::uint64_t{first} * 1024, std::uint64_t{second} * 1024}};
    ReadRelations(scan.catalogue, node);
    EXPECT_EQ(Describe(scan.model.relations), "A=128/1 B=129/2 ");
    EXPECT_EQ(scan.tableCount, 2);
    const std::vector<RecordingFrame::Sent> expected{
        {job::UM_PROGRESS, job::kProgressStart, 2}, {job::UM_PROGRESS, job::kProgressStep, 0},
        {job::UM_PROGRESS, job::kProgressStep, 0},  {job::UM_PROGRESS, job::kProgressStep, 0},
        {job::UM_PROGRESS, job::kProgressStep, 0},  {job::UM_PROGRESS, job::kProgressEnd, 0},
    };
    EXPECT_EQ(scan.frame.sent, expected);
}

// The user tables of the real samples, in relation-id order.
TEST(ReadRelations, FindsExactlyTheUserTablesOfTheSamples)
{
    struct Case {
        const char* file;
        std::vector<std::string> tables;  // relation ids 128 upwards
    };
    const Case cases[] = {
        {"ods13/MASTSQL.GDB",
         {"CUSTOMER", "EMPLOYEE", "ITEMS", "NEXTCUST", "NEXTORD", "ORDERS", "PARTS", "VENDORS"}},
        {"ods13/DBUTILSTEST.IB", {"TEST_TABLE"}},
        {"ods15/EMPLOYEE.GDB",
         {"COUNTRY", "JOB", "DEPARTMENT", "EMPLOYEE", "PROJECT", "EMPLOYEE_PROJECT", "PROJ_DEPT_BUDGET",
          "SALARY_HISTORY", "CUSTOMER", "SALES"}},
        {"ods16/EVENTS.GDB",
         {"CUSTOMER", "EMPLOYEE", "ITEMS", "NEXTCUST", "NEXTORD", "VENDORS", "ORDERS", "PARTS"}},
        {"ods16/dbdemos.gdb",
         {"ANIMALS", "BIOLIFE", "COUNTRY", "CUSTOLY", "CUSTOMER", "EMPLOYEE", "INDUSTRY", "ITEMS", "MASTER",
          "NEXTCUST", "NEXTITEM", "NEXTORD", "ORDERS", "PARTS", "VENDORS", "VENUES"}},
    };
    const std::filesystem::path samples(RAVELIN_SAMPLES_DIR);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (!std::filesystem::exists(samples / c.file))
            GTEST_SKIP() << "samples not available";
        Scan scan;
        ASSERT_TRUE(scan.context.OpenDatabaseFile((samples / c.file).string()));
        ods::ScanPages(scan.context, scan.lists, scan.link);
        for (const ods::PageListNode& node : scan.lists) {
            if (node.relationId == ods::kRelRelations)
                ReadRelations(scan.catalogue, node);
        }
        std::vector<TABLEIDNAME> found = scan.model.relations;
        std::stable_sort(found.begin(), found.end(),
                         [](const TABLEIDNAME& a, const TABLEIDNAME& b) { return a.relationId < b.relationId; });
        std::string expected;
        for (std::size_t i = 0; i < c.tables.size(); ++i)
            expected += c.tables[i] + "=" + std::to_string(128 + i) + " ";
        std::string actual;
        for (const TABLEIDNAME& r : found)
            actual += r.name + "=" + std::to_string(r.relationId) + " ";
        EXPECT_EQ(actual, expected);
        EXPECT_EQ(scan.tableCount, c.tables.size());
    }
}

// A small database: relation-5 data page first, relation records, pointer pages.
FixtureWriter SmallDatabase()
{
    FixtureWriter writer(1024);
    writer.AddDataPage(ods::kRelRelationFields);
    fixture::AddRelationRecord(writer, "CUSTOMER", 128, 2);
    fixture::AddRelationRecord(writer, "ORDERS", 129, 3);
    writer.AddDataPage(ods::kRelRelations);
    fixture::AddRelationRecord(writer, "ITEMS", 130, 4);
    writer.AddPointerPage(128);
    writer.AddPointerPage(129);
    writer.AddPointerPage(130);
    return writer;
}

TEST(ScanDatabase, RunsThePageScanThenThePrePass)
{
    const FixtureWriter writer = SmallDatabase();
    Scan scan;
    ASSERT_TRUE(scan.context.OpenSource(writer.Source()));
    scan.model.pendingSources.push_back("LEFT OVER");
    ScanDatabase(scan.catalogue);

    ASSERT_EQ(scan.lists.size(), 5u);
    EXPECT_EQ(scan.lists[0].relationId, ods::kRelRelationFields);
    EXPECT_EQ(scan.lists[1].relationId, ods::kRelRelations);
    EXPECT_EQ(scan.lists[1].pagePositions.size(), 2u);
    EXPECT_EQ(Describe(scan.model.relations), "CUSTOMER=128/2 ORDERS=129/3 ITEMS=130/4 ");
    EXPECT_EQ(scan.tableCount, 3);
    EXPECT_TRUE(scan.model.pendingSources.empty());

    // The page scan's progress, then the pre-pass's over relation 6's pages.
    const auto progress = scan.frame.Progress();
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[0], (RecordingFrame::Sent{job::UM_PROGRESS, job::kProgressStart,
                                                 static_cast<std::intptr_t>(writer.pageCount())}));
    const auto scanEnd = std::find(progress.begin(), progress.end(),
                                   RecordingFrame::Sent{job::UM_PROGRESS, job::kProgressEnd, 0});
    ASSERT_NE(scanEnd, progress.end());
    ASSERT_NE(scanEnd + 1, progress.end());
    EXPECT_EQ(scanEnd[1], (RecordingFrame::Sent{job::UM_PROGRESS, job::kProgressStart, 2}));
}

TEST(ScanDatabase, StopEndsTheScanAtEachStep)
{
    struct Case {
        const char* name;
        // Requests the stop once this many UM_PROGRESS messages have been sent.
        std::size_t stopAfterProgress;
        std::size_t expectedFiledPages;
        std::string expectedRelations;
    };
    // Progress: the page scan's start, a step for each of pages 1..79 (they
    // hold nothing here), 6 page steps from page 80 on and the end (messages
    // 1..87), then the pre-pass's start (88), 3 slot steps, end.
    constexpr std::size_t kPageScanEnd = 1 + 79 + 6 + 1;
    const Case cases[] = {
        {"stop during the page scan", 1 + 79 + 2, 2, ""},
        {"stop right after the page scan's end", kPageScanEnd, 6, ""},
        {"stop during the pre-pass", kPageScanEnd + 2, 6, "CUSTOMER=128/2 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FixtureWriter writer = SmallDatabase();
        Scan scan;
        ASSERT_TRUE(scan.context.OpenSource(writer.Source()));
        std::size_t stopAt = 0;
        scan.frame.onSend = [&](const RecordingFrame::Sent& sent) {
            if (sent.message == job::UM_PROGRESS && scan.frame.Progress().size() == c.stopAfterProgress) {
                scan.frame.stopRequested = true;
                stopAt = scan.frame.sent.size();
            }
        };
        ScanDatabase(scan.catalogue);

        std::size_t filed = 0;
        for (const ods::PageListNode& node : scan.lists)
            filed += node.pagePositions.size();
        EXPECT_EQ(filed, c.expectedFiledPages);
        EXPECT_EQ(Describe(scan.model.relations), c.expectedRelations);
        // After the stop only the end of the step that was running is reported.
        ASSERT_NE(stopAt, 0u);
        const std::vector<RecordingFrame::Sent> after(scan.frame.sent.begin() + static_cast<std::ptrdiff_t>(stopAt),
                                                      scan.frame.sent.end());
        std::vector<RecordingFrame::Sent> expectedAfter;
        if (c.stopAfterProgress != kPageScanEnd)
            expectedAfter.push_back({job::UM_PROGRESS, job::kProgressEnd, 0});
        EXPECT_EQ(after, expectedAfter);
    }
}

}  // namespace
}  // namespace ravelin::catalogue
