#include "extract/tabletransfer.h"

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/recordextraction.h"
#include "extractharness.h"
#include "fixture/tablerecords.h"

namespace ravelin::extract {
namespace {

using fixture::Bytes;
using fixture::FieldSpec;
using fixture::FixtureWriter;
using fixture::RecordingFrame;
using fixture::TableRecordBuilder;
using fixture::UserTableWriter;
using testing::Column;
using testing::Harness;
namespace tc = catalogue;

constexpr std::uint16_t kRelation = 140;

// A statement sink that keeps every statement and accepts all but those it
// is told to refuse.
class RecordingSink final : public StatementSink {
public:
    std::vector<std::string> statements;
    std::size_t refuseEvery = 0;  // refuse every n-th statement (0: none)
    bool ExecuteInsert(const std::string& sql) override
    {
        statements.push_back(sql);
        return refuseEvery == 0 || statements.size() % refuseEvery != 0;
    }
};

void Preview(Harness& h, const std::string& table)
{
    h.StartPreview(table);
    TransferTableData(h.job);
}

// The Next Record(s) / Previous Record(s) buttons followed by the page job.
void TurnPage(Harness& h, bool forward)
{
    if (forward) {
        ++h.state.forwardSteps;
        ++h.engine.previewPage;
    } else {
        --h.engine.previewPage;
    }
    h.state.pageRequested = true;
    h.grid.PagingOff();
    RecordExtraction extraction;
    if (h.engine.previewPage < h.engine.previewPositions.size())
        extraction.WalkTableRecords(h.job);
    h.state.pageRequested = false;
}

void Repair(Harness& h, const std::string& table, StatementSink* sink)
{
    h.state.previewRequested = false;
    h.state.repairing = true;
    h.state.repairedTableName = table;
    TransferHooks hooks;
    hooks.statements = sink;
    TransferTableData(h.job, hooks);
}

// A table of every type the decoders know, with the texts each value gives.
struct TypedColumn {
    const char* name;
    FieldSpec field;
    std::uint16_t scale;
    Bytes stored;
    const char* preview;
    const char* literal;
};

std::vector<TypedColumn> EveryType()
{
    using namespace fixture;
    return {
        {"ID", {7, 2}, 0, SmallintBytes(-5), "-5", "-5"},
        {"CODE", {14, 3}, 0, CharBytes("ab", 3), "ab", "'ab'"},
        {"QTY", {7, 2}, 0, SmallintBytes(12345), "12345", "12345"},  // after an odd CHAR: one filler byte
        {"PRICE", {1, 4}, 2, ScaledBytes(-12345, 4), "-123.45", "-123.45"},
        {"RATE", {2, 8}, 4, ScaledBytes(-1, 8), "-.0001", "-.0001"},
        {"RATIO", {10, 4}, 0, FloatBytes(1.5f), "1.500000", "1.500000"},
        {"AMOUNT", {27, 8}, 0, DoubleBytes(8.5), "8.5", "8.5"},
        {"SOLD", {12, 4}, 0, DateBytes(DayNumber(2004, 3, 7)), "03/07/2004", "'03/07/2004 00:00:00'"},
        {"OPENS", {13, 4}, 0, TimeBytes(327030000), "9:05:03 AM", "'12/30/1899 9:05:03'"},
        {"STAMP", {35, 8}, 0, TimestampBytes(DayNumber(2004, 3, 7), 540000000), "03/07/2004 3:00:00 PM",
         "'03/07/2004 15:00:00'"},
        {"NAME", {37, 9}, 0, VarcharBytes("O'Brien", 9), "O'Brien", "'O''Brien'"},
        {"FLAG", {17, 2}, 0, BooleanBytes(true), "True", "True"},
        {"NOTE", {5, 8}, 0, BlobIdBytes(kRelation, 3), "Blob", "''"},
        {"YEAR", {7, 2}, 0, SmallintBytes(2004), "2004", "2004"},
    };
}

std::vector<tc::COLUMN> ColumnsOf(const std::vector<TypedColumn>& typed)
{
    std::vector<tc::COLUMN> columns;
    for (const TypedColumn& c : typed)
        columns.push_back(Column(c.name, c.field.type, c.field.length, c.scale));
    return columns;
}

std::vector<FieldSpec> FieldsOf(const std::vector<TypedColumn>& typed)
{
    std::vector<FieldSpec> fields;
    for (const TypedColumn& c : typed)
        fields.push_back(c.field);
    return fields;
}

TEST(TableTransfer, EveryTypeInThePreviewAndInTheInsert)
{
    const std::vector<TypedColumn> typed = EveryType();
    const TableRecordBuilder builder(FieldsOf(typed));
    FixtureWriter writer(4096);
    UserTableWriter table(writer, kRelation);
    std::vector<std::optional<Bytes>> values;
    for (const TypedColumn& c : typed)
        values.push_back(c.stored);
    table.Add(builder.Record(values));
    // The same record with every other column NULL.
    for (std::size_t i = 0; i < values.size(); i += 2)
        values[i].reset();
    table.Add(builder.Record(values));
    // Every column NULL.
    table.Add(builder.Record(std::vector<std::optional<Bytes>>(typed.size())));
    table.Finish();

    Harness h;
    h.Open(writer);
    h.AddTable("T", kRelation, ColumnsOf(typed));
    Preview(h, "t");  // the table is found whatever the letter case

    std::vector<std::vector<std::string>> expected(3);
    std::string full = "INSERT INTO T(ID,CODE,QTY,PRICE,RATE,RATIO,AMOUNT,SOLD,OPENS,STAMP,NAME,FLAG,NOTE,YEAR1) VALUES (";
    std::string alternate = full;
    std::string allNull = full;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        expected[0].push_back(typed[i].preview);
        expected[1].push_back(i % 2 == 0 ? "NULL" : typed[i].preview);
        expected[2].push_back("NULL");
        const std::string separator = i + 1 < typed.size() ? "," : ")";
        full += typed[i].literal + separator;
        alternate += (i % 2 == 0 ? std::string("NULL") : std::string(typed[i].literal)) + separator;
        allNull += "NULL" + separator;
    }
    EXPECT_EQ(h.grid.Rows(), expected);
    EXPECT_EQ(h.Sent(job::UM_GRID_CELL).size(), 3 * typed.size());
    EXPECT_EQ(h.Sent(job::UM_PAGING_STATE), (std::vector<RecordingFrame::Sent>{{job::UM_PAGING_STATE, 1, 1}}));
    EXPECT_FALSE(h.grid.nextEnabled());
    EXPECT_FALSE(h.grid.previousEnabled());

    RecordingSink sink;
    Repair(h, "T", &sink);
    EXPECT_EQ(sink.statements, (std::vector<std::string>{full, alternate, allNull}));
}

TEST(TableTransfer, InsertStatementTexts)
{
    const struct {
        const char* name;
        std::vector<tc::COLUMN> columns;
        std::vector<FieldSpec> fields;
        std::vector<std::optional<Bytes>> values;
        std::string statement;
    } cases[] = {
        {"year column renamed",
         {Column("ID", 8, 4), Column("YEAR", 7, 2)},
         {{8, 4}, {7, 2}},
         {fixture::IntegerBytes(7), fixture::SmallintBytes(2004)},
         "INSERT INTO T(ID,YEAR1) VALUES (7,2004)"},
        {"apostrophe doubled",
         {Column("NAME", 14, 10)},
         {{14, 10}},
         {fixture::CharBytes("O'Brien", 10)},
         "INSERT INTO T(NAME) VALUES ('O''Brien')"},
        {"every renamed word, any case",
         {Column("group", 7, 2), Column("From", 7, 2), Column("CHARACTER", 7, 2), Column("value", 7, 2),
          Column("VALUES", 7, 2), Column("YEARS", 7, 2)},
         {{7, 2}, {7, 2}, {7, 2}, {7, 2}, {7, 2}, {7, 2}},
         {fixture::SmallintBytes(1), fixture::SmallintBytes(2), fixture::SmallintBytes(3), fixture::SmallintBytes(4),
          fixture::SmallintBytes(5), fixture::SmallintBytes(6)},
         "INSERT INTO T(group1,From1,CHARACTER1,value1,VALUES1,YEARS) VALUES (1,2,3,4,5,6)"},
        {"all NULL", {Column("A", 8, 4), Column("B", 37, 5)}, {{8, 4}, {37, 5}}, {std::nullopt, std::nullopt},
         "INSERT INTO T(A,B) VALUES (NULL,NULL)"},
        {"text reading NULL stays a text", {Column("S", 37, 5)}, {{37, 5}}, {fixture::VarcharBytes("null", 5)},
         "INSERT INTO T(S) VALUES ('null')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        UserTableWriter table(writer, kRelation);
        table.Add(TableRecordBuilder(c.fields).Record(c.values));
        table.Finish();
        Harness h;
        h.Open(writer);
        h.AddTable("T", kRelation, c.columns);
        RecordingSink sink;
        Repair(h, "T", &sink);
        EXPECT_EQ(sink.statements, std::vector<std::string>{c.statement});
    }
}

// One SMALLINT column; recordsPerPage[i] records on data page i, numbered
// from 1 on.
struct PagedTable {
    FixtureWriter writer{8192};
    std::vector<std::uint32_t> dataPages;
};

std::unique_ptr<PagedTable> BuildPagedTable(const std::vector<int>& recordsPerPage)
{
    auto paged = std::make_unique<PagedTable>();
    const TableRecordBuilder builder({{7, 2}});
    UserTableWriter table(paged->writer, kRelation);
    int number = 0;
    for (const int count : recordsPerPage) {
        table.NewPage();
        for (int i = 0; i < count; ++i)
            table.Add(builder.Record({fixture::SmallintBytes(static_cast<std::int16_t>(++number))}));
    }
    table.Finish();
    paged->dataPages = table.dataPages();
    return paged;
}

std::vector<std::vector<std::string>> NumberRows(int first, int last)
{
    std::vector<std::vector<std::string>> rows;
    for (int n = first; n <= last; ++n)
        rows.push_back({std::to_string(n)});
    return rows;
}

TEST(TableTransfer, PreviewPagesOfAHundredRecords)
{
    struct Page {
        int firstRow;
        int lastRow;
        std::vector<RecordingFrame::Sent> paging;  // UM_PAGING_STATE messages of the page
        bool next;
        bool previous;
    };
    const RecordingFrame::Sent kClear{job::UM_PAGING_STATE, 1, 0};
    const RecordingFrame::Sent kFirst{job::UM_PAGING_STATE, 0, 0};
    const RecordingFrame::Sent kMiddle{job::UM_PAGING_STATE, 0, 1};
    const RecordingFrame::Sent kEnd{job::UM_PAGING_STATE, 1, 1};
    const struct {
        const char* name;
        std::vector<int> recordsPerPage;
        std::vector<Page> pages;  // forward, one after the other
        std::vector<catalogue::RECORDPOSCOUNT> positions;
    } cases[] = {
        {"250 records on one data page",
         {250},
         {{1, 100, {kFirst}, true, false}, {101, 200, {kClear, kMiddle}, true, true}, {201, 250, {kClear, kEnd}, false, true}},
         {{0, 0}, {0, 100}, {0, 200}, {0, 250}}},
        {"pages cross data pages",
         {70, 70, 70},
         {{1, 100, {kFirst}, true, false}, {101, 200, {kClear, kMiddle}, true, true}, {201, 210, {kClear, kEnd}, false, true}},
         {{0, 0}, {1, 30}, {2, 60}, {2, 70}}},
        {"a page ending with the table",
         {100, 100},
         {{1, 100, {kFirst}, true, false}, {101, 200, {kClear, kEnd}, false, true}},
         {{0, 0}, {0, 100}, {1, 100}}},
        {"fewer than a hundred records", {40}, {{1, 40, {kEnd}, false, false}}, {{0, 0}, {0, 40}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto paged = BuildPagedTable(c.recordsPerPage);
        Harness h;
        h.Open(paged->writer);
        h.AddTable("T", kRelation, {Column("N", 7, 2)});
        for (std::size_t k = 0; k < c.pages.size(); ++k) {
            SCOPED_TRACE("page " + std::to_string(k));
            h.frame.sent.clear();
            if (k == 0)
                Preview(h, "T");
            else
                TurnPage(h, true);
            const Page& page = c.pages[k];
            EXPECT_EQ(h.grid.Rows(), NumberRows(page.firstRow, page.lastRow));
            EXPECT_EQ(h.Sent(job::UM_PAGING_STATE), page.paging);
            EXPECT_EQ(h.grid.nextEnabled(), page.next);
            EXPECT_EQ(h.grid.previousEnabled(), page.previous);
            EXPECT_EQ(h.frame.Progress().front(), (RecordingFrame::Sent{job::UM_PROGRESS, 1, 10 * static_cast<std::intptr_t>(c.recordsPerPage.size())}));
            EXPECT_EQ(h.frame.Progress().back().wParam, job::kProgressEnd);
        }
        ASSERT_EQ(h.engine.previewPositions.size(), c.positions.size());
        for (std::size_t i = 0; i < c.positions.size(); ++i) {
            EXPECT_EQ(h.engine.previewPositions[i].first, c.positions[i].first) << i;
            EXPECT_EQ(h.engine.previewPositions[i].second, c.positions[i].second) << i;
        }
        // Back to the first page: the same rows again, Previous disabled.
        while (h.engine.previewPage != 0)
            TurnPage(h, false);
        EXPECT_EQ(h.grid.Rows(), NumberRows(c.pages[0].firstRow, c.pages[0].lastRow));
    }
}

// Page numbers do not wrap: with one record per preview page, page 65,536
// (counted from 0) shows record 65,537, not the first one again.
TEST(TableTransfer, PreviewPagesPastSixteenBitsShowTheirOwnRecords)
{
    constexpr int kRecords = 65540;
    FixtureWriter writer(8192);
    const TableRecordBuilder builder({{8, 4}});
    UserTableWriter table(writer, kRelation);
    for (int n = 1; n <= kRecords; ++n) {
        const auto value = static_cast<std::uint32_t>(n);
        table.Add(builder.Record({Bytes{std::byte(value & 0xFF), std::byte((value >> 8) & 0xFF),
                                        std::byte((value >> 16) & 0xFF), std::byte(value >> 24)}}));
    }
    table.Finish();
    Harness h;
    h.Open(writer);
    h.AddTable("T", kRelation, {Column("N", 8, 4)});
    h.engine.previewPageRows = 1;
    Preview(h, "T");
    ASSERT_EQ(h.grid.Rows(), NumberRows(1, 1));
    for (std::uint64_t page = 1; page <= 65536; ++page)
        TurnPage(h, true);
    EXPECT_EQ(h.engine.previewPage, 65536u);
    EXPECT_EQ(h.state.forwardSteps, 65536u);
    EXPECT_EQ(h.grid.Rows(), NumberRows(65537, 65537));
    TurnPage(h, true);
    EXPECT_EQ(h.grid.Rows(), NumberRows(65538, 65538));
    TurnPage(h, false);
    EXPECT_EQ(h.grid.Rows(), NumberRows(65537, 65537));
}

TEST(TableTransfer, SlotsWithoutRecordsGiveNoRow)
{
    const TableRecordBuilder builder({{8, 4}});
    FixtureWriter writer(4096);
    UserTableWriter table(writer, kRelation);
    const std::uint32_t page = table.NewPage();
    table.Add(builder.Record({fixture::IntegerBytes(1)}));
    writer.AddEmptySlot(page);
    fixture::RecordHeaderOptions noTransaction;
    noTransaction.transaction = 0;
    table.Add(builder.Record({fixture::IntegerBytes(2)}), noTransaction);
    // A deleted record's stub: a header without data.
    writer.PlaceRecord(page, fixture::BuildStoredRecord({}, {}));
    table.Add(builder.Record({fixture::IntegerBytes(3)}));
    table.Finish();

    Harness h;
    h.Open(writer);
    h.AddTable("T", kRelation, {Column("N", 8, 4)});
    Preview(h, "T");
    EXPECT_EQ(h.grid.Rows(), (std::vector<std::vector<std::string>>{{"1"}, {"3"}}));
    RecordingSink sink;
    Repair(h, "T", &sink);
    EXPECT_EQ(sink.statements, (std::vector<std::string>{"INSERT INTO T(N) VALUES (1)", "INSERT INTO T(N) VALUES (3)"}));
}

TEST(TableTransfer, RepairSummaryCountsDamagedAndRefusedRecords)
{
    // Ten records; the fourth holds a VARCHAR length beyond its declared length.
    const TableRecordBuilder builder({{8, 4}, {37, 4}});
    FixtureWriter writer(4096);
    UserTableWriter table(writer, kRelation);
    for (int i = 1; i <= 10; ++i) {
        Bytes record = builder.Record({fixture::IntegerBytes(i), fixture::VarcharBytes("ab", 4)});
        if (i == 4)
            fixture::PutWord(record, builder.Offset(1), 9);
        table.Add(record);
    }
    table.Finish();

    const struct {
        const char* name;
        std::size_t refuseEvery;
        std::string recovered;
    } cases[] = {{"server accepts all", 0, "9"}, {"server refuses every third", 3, "6"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.Open(writer);
        h.AddTable("T", kRelation, {Column("ID", 8, 4), Column("S", 37, 4)});
        RecordingSink sink;
        sink.refuseEvery = c.refuseEvery;
        Repair(h, "T", &sink);
        EXPECT_EQ(sink.statements.size(), 9u) << "the damaged record is not sent";
        EXPECT_EQ(h.frame.logLines, (std::vector<std::string>{"Table Recovered : T", "Total Records Present   : 10",
                                                              "Total Records Recovered : " + c.recovered, ""}));
        EXPECT_TRUE(h.engine.repairSucceeded);
        // The figures stay behind for the repair's closing report.
        ASSERT_EQ(h.engine.repairedTables.size(), 1u);
        EXPECT_EQ(h.engine.repairedTables[0].name, "T");
        EXPECT_EQ(h.engine.repairedTables[0].present, 10u);
        EXPECT_EQ(std::to_string(h.engine.repairedTables[0].recovered), c.recovered);
        EXPECT_TRUE(h.engine.repairedTables[0].created);
        EXPECT_TRUE(h.engine.dataPageNumbers.empty());
        EXPECT_EQ(h.engine.recordsPresent, 0u) << "reset for the next table";
        EXPECT_EQ(h.frame.Progress().back().wParam, job::kProgressEnd);
    }
}

// A record with a value the decoders reject (a VARCHAR length beyond its
// column) shows its readable cells, the bad one empty, and its row is marked.
TEST(TableTransfer, DamagedRecordShowsItsReadableCellsMarked)
{
    const TableRecordBuilder builder({{8, 4}, {37, 4}, {8, 4}});
    FixtureWriter writer(4096);
    UserTableWriter table(writer, kRelation);
    table.Add(builder.Record({fixture::IntegerBytes(1), fixture::VarcharBytes("ab", 4), fixture::IntegerBytes(10)}));
    Bytes damaged = builder.Record({fixture::IntegerBytes(2), fixture::VarcharBytes("cd", 4), fixture::IntegerBytes(20)});
    fixture::PutWord(damaged, builder.Offset(1), 300);
    table.Add(damaged);
    table.Add(builder.Record({fixture::IntegerBytes(3), fixture::VarcharBytes("ef", 4), fixture::IntegerBytes(30)}));
    table.Finish();

    Harness h;
    h.Open(writer);
    h.AddTable("T", kRelation, {Column("A", 8, 4), Column("S", 37, 4), Column("B", 8, 4)});
    Preview(h, "T");
    EXPECT_EQ(h.grid.Rows(), (std::vector<std::vector<std::string>>{{"1", "ab", "10"}, {"2", "", "20"}, {"3", "ef", "30"}}));
    EXPECT_EQ(h.grid.damaged(), (std::vector<bool>{false, true, false}));
}

TEST(TableTransfer, TableWithoutDataPagesWritesNoSummary)
{
    FixtureWriter writer(4096);
    writer.AddPointerPage(kRelation, {});
    Harness h;
    h.Open(writer);
    h.AddTable("T", kRelation, {Column("A", 8, 4)});
    RecordingSink sink;
    Repair(h, "T", &sink);
    EXPECT_TRUE(h.frame.logLines.empty());
    EXPECT_TRUE(h.engine.repairSucceeded);
    EXPECT_TRUE(h.frame.sent.empty());
}

TEST(TableTransfer, StopEndsTheWalkWithoutSummary)
{
    const auto paged = BuildPagedTable({150, 150});
    const struct {
        const char* name;
        bool repair;
        std::size_t stopAfterCells;
    } cases[] = {{"preview", false, 20}, {"repair", true, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.Open(paged->writer);
        h.AddTable("T", kRelation, {Column("N", 7, 2)});
        std::size_t steps = 0;
        auto handler = h.frame.onSend;
        h.frame.onSend = [&](const RecordingFrame::Sent& sent) {
            handler(sent);
            if (sent.message == job::UM_PROGRESS && sent.wParam == job::kProgressStep && ++steps == c.stopAfterCells)
                h.frame.stopRequested = true;
        };
        RecordingSink sink;
        if (c.repair)
            Repair(h, "T", &sink);
        else
            Preview(h, "T");
        EXPECT_TRUE(h.frame.logLines.empty());
        EXPECT_TRUE(h.engine.repairedTables.empty()) << "a stopped table has no figures";
        EXPECT_LE(sink.statements.size(), c.stopAfterCells);
        EXPECT_LE(h.grid.Rows().size(), c.stopAfterCells);
        EXPECT_TRUE(h.Sent(job::UM_PAGING_STATE).empty());
    }
}

TEST(TableTransfer, NumericWiderThanEightBytesIsReportedOnce)
{
    FixtureWriter writer(4096);
    UserTableWriter table(writer, kRelation);
    Bytes record(4 + 12, std::byte{0});
    record[4] = std::byte{5};
    table.Add(record);
    table.Add(record);
    table.Finish();
    Harness h;
    h.Open(writer);
    h.AddTable("T", kRelation, {Column("N", 1, 12)});
    Preview(h, "T");
    EXPECT_EQ(h.dialogs.shown, std::vector<std::string>{"problem in numeric"});
    EXPECT_EQ(h.grid.Rows(), (std::vector<std::vector<std::string>>{{"5"}, {"5"}}));
}

}  // namespace
}  // namespace ravelin::extract
