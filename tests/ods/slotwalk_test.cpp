#include "ods/slotwalk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture/fixturewriter.h"
#include "ods/constants.h"

namespace ravelin::ods {
namespace {

using fixture::Bytes;
using fixture::FixtureWriter;
using fixture::ToHex;

constexpr std::uint32_t kPageSize = 1024;

// What the walk did, in order: "start N", "record <hex>", "slot", "end".
struct Trace {
    std::vector<std::string> events;
    std::size_t records = 0;
};

Trace Walk(const FixtureWriter& writer, const std::vector<std::uint32_t>& pages, const std::atomic<bool>& stop,
           std::size_t maxPages = 0, const std::function<void(RecordStream&)>& extra = {})
{
    ReadingContext context;
    EXPECT_TRUE(context.OpenSource(writer.Source()));
    PageListNode node{kRelRelations, kDataPage, {}};
    for (std::uint32_t page : pages)
        node.pagePositions.push_back(std::uint64_t{page} * writer.pageSize());
    Trace trace;
    SlotWalkHooks hooks;
    hooks.pageStart = [&trace](std::uint16_t count) { trace.events.push_back("start " + std::to_string(count)); };
    hooks.afterSlot = [&trace] { trace.events.push_back("slot"); };
    hooks.pageEnd = [&trace] { trace.events.push_back("end"); };
    ForEachRecordSlot(
        context, node, stop,
        [&](RecordStream& record) {
            ++trace.records;
            trace.events.push_back("record " + ToHex(record.bytes()));
            if (extra)
                extra(record);
        },
        hooks, maxPages);
    return trace;
}

TEST(ForEachRecordSlot, VisitsRecordsInSlotOrderAndPassesOverEmptySlots)
{
    FixtureWriter writer(kPageSize);
    const std::uint32_t first = writer.AddDataPage(kRelRelations);
    writer.PlaceRecord(first, fixture::FromHex("01 02 03"));
    writer.AddEmptySlot(first);
    writer.PlaceRecord(first, fixture::FromHex("0a 0b"));
    const std::uint32_t empty = writer.AddDataPage(kRelRelations);
    const std::uint32_t second = writer.AddDataPage(kRelRelations);
    writer.PlaceRecord(second, fixture::FromHex("ff"));

    std::atomic<bool> stop{false};
    const Trace trace = Walk(writer, {first, empty, second}, stop);
    const std::vector<std::string> expected{
        "start 3", "record 010203", "slot", "slot", "record 0a0b", "slot", "end",
        "start 0", "end",
        "start 1", "record ff", "slot", "end",
    };
    EXPECT_EQ(trace.events, expected);
}

// Damaged slot arrays: the walk never reads a descriptor or a record byte
// outside the page it is on.
TEST(ForEachRecordSlot, StaysInsideThePage)
{
    struct Case {
        const char* name;
        std::function<void(FixtureWriter&, std::uint32_t page)> damage;
        std::size_t expectedSlots;
        std::vector<std::string> expectedRecords;
    };
    const std::size_t slotsThatFit = (kPageSize - kDataPageSlotArrayOffset) / kSlotSize;  // 250
    const Case cases[] = {
        {"slot count larger than the page can hold",
         [](FixtureWriter& w, std::uint32_t page) {
             w.PlaceRecord(page, fixture::FromHex("c1 c2"));
             w.SetSlotCount(page, 0xFFFF);
         },
         slotsThatFit, {"c1c2"}},
        {"slot count one more than fits",
         [&](FixtureWriter& w, std::uint32_t page) {
             w.PlaceRecord(page, fixture::FromHex("c1 c2"));
             w.SetSlotCount(page, static_cast<std::uint16_t>(slotsThatFit + 1));
         },
         slotsThatFit, {"c1c2"}},
        {"offset beyond the page end",
         [](FixtureWriter& w, std::uint32_t page) {
             w.PlaceRecord(page, fixture::FromHex("c1 c2"));
             w.PlaceRecord(page, fixture::FromHex("d1"));
             w.SetSlot(page, 1, 2000, 10);
         },
         2, {"c1c2"}},
        {"offset at exactly the page end",
         [](FixtureWriter& w, std::uint32_t page) {
             w.PlaceRecord(page, fixture::FromHex("c1 c2"));
             w.SetSlot(page, 0, kPageSize, 10);
         },
         1, {}},
        {"length beyond the page end is clipped to it",
         [](FixtureWriter& w, std::uint32_t page) {
             // Placed at 1020 (a 4-byte boundary): c1 c2 00 00 up to the page end.
             w.PlaceRecord(page, fixture::FromHex("c1 c2"));
             w.SetSlot(page, 0, kPageSize - 4, 500);
         },
         1, {"c1c20000"}},
        {"length 0 is passed over",
         [](FixtureWriter& w, std::uint32_t page) {
             w.PlaceRecord(page, fixture::FromHex("c1 c2"));
             w.SetSlot(page, 0, kPageSize - 4, 0);
         },
         1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(kPageSize);
        const std::uint32_t page = writer.AddDataPage(kRelRelations);
        c.damage(writer, page);
        // The next page is full of bytes that would read as slot descriptors
        // and records (offset 0x3030, length 0x3030) if the walk strayed there.
        const std::uint32_t next = writer.AddPage(kDataPage);
        for (std::uint32_t i = 4; i < kPageSize; ++i)
            writer.SetPageByte(next, i, 0x30);

        std::atomic<bool> stop{false};
        const Trace trace = Walk(writer, {page}, stop);
        std::vector<std::string> records;
        std::size_t slots = 0;
        for (const std::string& e : trace.events) {
            if (e.rfind("record ", 0) == 0)
                records.push_back(e.substr(7));
            if (e == "slot")
                ++slots;
        }
        EXPECT_EQ(trace.events.front(), "start " + std::to_string(c.expectedSlots));
        EXPECT_EQ(slots, c.expectedSlots);
        EXPECT_EQ(records, c.expectedRecords);
    }
}

TEST(ForEachRecordSlot, StopEndsTheWalkAtTheNextSlot)
{
    FixtureWriter writer(kPageSize);
    std::vector<std::uint32_t> pages;
    for (int p = 0; p < 3; ++p) {
        pages.push_back(writer.AddDataPage(kRelRelations));
        for (int r = 0; r < 4; ++r)
            writer.PlaceRecord(pages.back(), fixture::FromHex("aa bb"));
    }
    struct Case {
        const char* name;
        std::size_t stopAfterRecord;  // the visitor requests a stop in this record
        std::size_t expectedRecords;
    };
    const Case cases[] = {
        {"stop in the first record", 1, 1},
        {"stop in the last record of a page", 4, 4},
        {"stop in the middle of the second page", 6, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> stop{false};
        std::size_t seen = 0;
        const Trace trace = Walk(writer, pages, stop, 0, [&](RecordStream&) {
            if (++seen == c.stopAfterRecord)
                stop = true;
        });
        EXPECT_EQ(trace.records, c.expectedRecords);
        // The page whose walk was cut still reports its end; no later page starts.
        EXPECT_EQ(trace.events.back(), "end");
    }

    std::atomic<bool> stopped{true};
    EXPECT_TRUE(Walk(writer, pages, stopped).events.empty());
}

TEST(ForEachRecordSlot, MaxPagesBoundsTheWalk)
{
    FixtureWriter writer(kPageSize);
    std::vector<std::uint32_t> pages;
    for (int p = 0; p < 3; ++p) {
        pages.push_back(writer.AddDataPage(kRelRelations));
        writer.PlaceRecord(pages.back(), fixture::FromHex("aa bb"));
    }
    std::atomic<bool> stop{false};
    EXPECT_EQ(Walk(writer, pages, stop, 2).records, 2u);
    EXPECT_EQ(Walk(writer, pages, stop, 0).records, 3u);
    EXPECT_EQ(Walk(writer, pages, stop, 10).records, 3u);
}

}  // namespace
}  // namespace ravelin::ods
