#include "extract/recordcount.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extractharness.h"
#include "fixture/tablerecords.h"

namespace ravelin::extract {
namespace {

using fixture::FixtureWriter;
using fixture::RecordingFrame;
using fixture::TableRecordBuilder;
using fixture::UserTableWriter;
using testing::Column;
using testing::Harness;

const std::string kCompleted = "Counting table(s) records process has been completed";
const std::string kSkipped = "Counting table(s) records process has been skipped";

std::vector<std::string> Block(const std::string& table, std::uint64_t count)
{
    return {"Table Name : " + table, "Total Records : " + std::to_string(count), ""};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> lines;
    for (const auto& part : parts)
        lines.insert(lines.end(), part.begin(), part.end());
    return lines;
}

const std::vector<std::string> kCompletedLines = {kCompleted, std::string(66, '-'), ""};
const std::vector<std::string> kSkippedLines = {kSkipped, std::string(62, '-'), ""};

// Three tables (relations 128, 129, 130) of 5, 70000 and 3 records.
std::unique_ptr<FixtureWriter> ThreeTables()
{
    auto writer = std::make_unique<FixtureWriter>(4096);
    const TableRecordBuilder builder({{8, 4}});
    const std::pair<std::uint16_t, int> tables[] = {{128, 5}, {129, 70000}, {130, 3}};
    for (const auto& [relation, count] : tables) {
        UserTableWriter table(*writer, relation);
        for (int i = 0; i < count; ++i) {
            // SECOND: ten records per data page.
            if (relation == 129 && i % 10 == 0)
                table.NewPage();
            table.Add(builder.Record({fixture::IntegerBytes(i)}));
        }
        table.Finish();
    }
    return writer;
}

void AddThreeTables(Harness& h)
{
    h.AddTable("FIRST", 128, {Column("A", 8, 4)});
    h.AddTable("SECOND", 129, {Column("A", 8, 4)});
    h.AddTable("THIRD", 130, {Column("A", 8, 4)});
    h.state.scanning = true;
}

TEST(RecordCount, CountsEveryTable)
{
    const auto writer = ThreeTables();
    Harness h;
    h.Open(*writer);
    AddThreeTables(h);
    // A table the scan found no pointer pages for is logged with 0, and the
    // count goes on.
    h.AddTable("LOST", 200, {Column("A", 8, 4)});
    h.AddTable("LAST", 128, {Column("A", 8, 4)});
    CountTableRecords(h.job);
    EXPECT_EQ(h.frame.logLines, Join({Block("FIRST", 5), Block("SECOND", 70000), Block("THIRD", 3), Block("LOST", 0),
                                      Block("LAST", 5), kCompletedLines}));
    EXPECT_EQ(h.Sent(job::UM_SKIP_DIALOG), (std::vector<RecordingFrame::Sent>{{job::UM_SKIP_DIALOG, 0, 1}}));
    EXPECT_TRUE(h.engine.dataPageNumbers.empty());
    EXPECT_EQ(h.frame.Progress().back().wParam, job::kProgressEnd);
}

TEST(RecordCount, OnlyRowsCount)
{
    FixtureWriter writer(4096);
    const TableRecordBuilder builder({{8, 4}});
    UserTableWriter table(writer, 128);
    const std::uint32_t page = table.NewPage();
    for (int i = 0; i < 3; ++i)
        table.Add(builder.Record({fixture::IntegerBytes(i)}));
    fixture::RecordHeaderOptions backVersion;
    backVersion.flags = 2;
    table.Add(builder.Record({fixture::IntegerBytes(0)}), backVersion);  // an old version: not a row
    writer.AddEmptySlot(page);                               // offset 0, length 0: not counted
    const std::uint16_t slot = writer.SlotCount(page);
    writer.SetSlotCount(page, static_cast<std::uint16_t>(slot + 1));
    writer.SetSlot(page, slot, 0, 30);                       // offset 0, length 30: no record there
    table.Finish();

    Harness h;
    h.Open(writer);
    h.AddTable("T", 128, {Column("A", 8, 4)});
    h.state.scanning = true;
    CountTableRecords(h.job);
    EXPECT_EQ(h.frame.logLines, Join({Block("T", 3), kCompletedLines}));
}

TEST(RecordCount, SkipAndStop)
{
    const auto writer = ThreeTables();
    const struct {
        const char* name;
        bool skip;  // the skip button, else Stop
        std::vector<std::string> lines;
    } cases[] = {
        {"skip during the second table", true, Join({Block("FIRST", 5), kSkippedLines})},
        {"stop during the second table: partial count, later tables 0", false,
         Join({Block("FIRST", 5), Block("SECOND", 10), Block("THIRD", 0), kCompletedLines})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.Open(*writer);
        AddThreeTables(h);
        // The button is pressed after the first data page of the second
        // table (the bar steps once per data page): each table starts three
        // bars (the search, its pointer pages, its data pages), so the sixth
        // start is the second table's data pages.
        int starts = 0;
        int steps = 0;
        h.frame.onSend = [&](const RecordingFrame::Sent& sent) {
            if (sent.message != job::UM_PROGRESS)
                return;
            if (sent.wParam == job::kProgressStart)
                ++starts;
            if (starts == 6 && sent.wParam == job::kProgressStep && ++steps == 1) {
                if (c.skip)
                    h.engine.skipCounting = true;
                else
                    h.frame.stopRequested = true;
            }
        };
        CountTableRecords(h.job);
        EXPECT_EQ(h.frame.logLines, c.lines);
        EXPECT_FALSE(h.engine.skipCounting) << "cleared after a skipped count";
        EXPECT_EQ(h.Sent(job::UM_SKIP_DIALOG).size(), c.skip ? 0u : 1u);
    }
}

TEST(RecordCount, NothingToCount)
{
    const struct {
        const char* name;
        bool scanning;
        std::vector<std::string> lines;
    } cases[] = {
        {"no user tables", true, kCompletedLines},
        {"not a scan", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(4096);
        Harness h;
        h.Open(writer);
        h.state.scanning = c.scanning;
        CountTableRecords(h.job);
        EXPECT_EQ(h.frame.logLines, c.lines);
    }
}

}  // namespace
}  // namespace ravelin::extract
