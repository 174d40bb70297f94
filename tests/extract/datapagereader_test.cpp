#include "extract/datapagereader.h"

#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/tabletransfer.h"
#include "extractharness.h"
#include "fixture/tablerecords.h"

namespace ravelin::extract {
namespace {

using fixture::Bytes;
using fixture::FixtureWriter;
using fixture::TableRecordBuilder;
using fixture::UserTableWriter;
using testing::Column;
using testing::Harness;

constexpr std::uint16_t kRelation = 130;
constexpr std::uint16_t kOtherRelation = 131;

using Rows = std::vector<std::vector<std::string>>;

// ID INTEGER, NAME VARCHAR(40), AMOUNT NUMERIC(9,2): records long enough to
// be split anywhere.
const std::vector<fixture::FieldSpec> kFields = {{8, 4}, {37, 40}, {1, 4}};

std::vector<catalogue::COLUMN> Columns()
{
    return {Column("ID", 8, 4), Column("NAME", 37, 40), Column("AMOUNT", 1, 4, 2)};
}

Bytes RecordOf(int id)
{
    const TableRecordBuilder builder(kFields);
    return builder.Record({fixture::IntegerBytes(id), fixture::VarcharBytes("name number " + std::to_string(id), 40),
                           fixture::ScaledBytes(id * 101, 4)});
}

std::vector<std::string> RowOf(int id)
{
    const std::string amount = std::to_string(id * 101);
    return {std::to_string(id), "name number " + std::to_string(id),
            (amount.size() > 2 ? amount.substr(0, amount.size() - 2) : "") + "." + amount.substr(amount.size() - 2)};
}

Rows PreviewAll(Harness& h)
{
    h.StartPreview("T");
    h.engine.previewPositions.clear();
    TransferTableData(h.job);
    Rows rows = h.grid.Rows();
    // Further pages until the table's end.
    while (h.grid.nextEnabled() && h.engine.previewPage + 1u < h.engine.previewPositions.size()) {
        ++h.engine.previewPage;
        ++h.state.forwardSteps;
        h.state.pageRequested = true;
        const auto start = h.engine.previewPositions[h.engine.previewPage];
        WalkTableRecords(h.job, start.first, start.second, h.engine.model.tables.front());
        const Rows more = h.grid.Rows();
        rows.insert(rows.end(), more.begin(), more.end());
    }
    return rows;
}

TEST(DataPageReader, FragmentedRecordsAreJoined)
{
    const std::size_t length = TableRecordBuilder(kFields).Length();
    const struct {
        const char* name;
        std::size_t splitAt;
        bool continuationOnOwnPage;
    } cases[] = {
        {"inside the null flags", 2, false},
        {"between two fields", 8, false},
        {"inside the text", 20, false},
        {"inside the last field", length - 2, false},
        {"continuation on a page of its own", 30, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        UserTableWriter table(writer, kRelation);
        table.Add(RecordOf(1));
        std::optional<std::uint32_t> continuationPage;
        if (c.continuationOnOwnPage)
            continuationPage = writer.AddDataPage(kRelation);
        const std::uint32_t firstPage = table.NewPage();
        table.Add(RecordOf(2));
        table.AddFragmented(RecordOf(3), c.splitAt, continuationPage);
        table.Add(RecordOf(4));
        if (continuationPage) {
            // The continuation's page is listed too, after the first fragment's.
            table.NewPage();
        }
        (void)firstPage;
        table.Finish();

        Harness h;
        h.Open(writer);
        h.AddTable("T", kRelation, Columns());
        EXPECT_EQ(PreviewAll(h), (Rows{RowOf(1), RowOf(2), RowOf(3), RowOf(4)})) << "the continuation is no row";
    }
}

TEST(DataPageReader, UnusableContinuationLeavesTheFirstFragmentOnly)
{
    const struct {
        const char* name;
        // Changes the stored continuation or the first fragment's forward pointer.
        void (*damage)(FixtureWriter&, const FixtureWriter::FragmentLocations&);
    } cases[] = {
        {"forward page past the file",
         [](FixtureWriter& w, const FixtureWriter::FragmentLocations& at) {
             w.SetPageLong(at.first.page, at.first.offset + 16, 0x7FFFFFF0u);
         }},
        {"forward line past the slots",
         [](FixtureWriter& w, const FixtureWriter::FragmentLocations& at) {
             w.SetPageWord(at.first.page, at.first.offset + 20, 500);
         }},
        {"continuation on another relation's page",
         [](FixtureWriter& w, const FixtureWriter::FragmentLocations& at) {
             w.SetPageWord(at.continuation.page, 20, kOtherRelation);
         }},
        {"continuation slot emptied",
         [](FixtureWriter& w, const FixtureWriter::FragmentLocations& at) {
             w.SetSlot(at.continuation.page, at.continuation.slot, 0, 0);
         }},
        {"first fragment pointing at itself",
         [](FixtureWriter& w, const FixtureWriter::FragmentLocations& at) {
             w.SetPageLong(at.first.page, at.first.offset + 16, at.first.page);
             w.SetPageWord(at.first.page, at.first.offset + 20, at.first.slot);
         }},
        {"continuations in a loop",
         [](FixtureWriter& w, const FixtureWriter::FragmentLocations& at) {
             // The continuation says it is continued again, back at itself.
             w.SetPageByte(at.continuation.page, at.continuation.offset + 10, 12);
             w.SetPageLong(at.continuation.page, at.continuation.offset + 16, at.continuation.page);
             w.SetPageWord(at.continuation.page, at.continuation.offset + 20, at.continuation.slot);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        UserTableWriter table(writer, kRelation);
        table.Add(RecordOf(1));
        const std::uint32_t ownPage = writer.AddDataPage(kRelation);
        table.NewPage();
        const auto at = table.AddFragmented(RecordOf(2), 8, ownPage);
        table.Add(RecordOf(3));
        table.Finish();
        c.damage(writer, at);

        Harness h;
        h.Open(writer);
        h.AddTable("T", kRelation, Columns());
        const Rows rows = PreviewAll(h);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0], RowOf(1));
        EXPECT_EQ(rows[1][0], "2") << "the first fragment still gives what it holds";
        EXPECT_EQ(rows[2], RowOf(3));
    }
}

TEST(DataPageReader, HostilePagesNeverLeaveTheFile)
{
    const struct {
        const char* name;
        void (*damage)(FixtureWriter&, std::uint32_t dataPage, std::uint32_t pointerPage);
        std::size_t rowsLeft;  // of the 3 records on the damaged page
    } cases[] = {
        {"slot count beyond the page", [](FixtureWriter& w, std::uint32_t p, std::uint32_t) { w.SetSlotCount(p, 0xFFFF); }, 3},
        {"slot offset beyond the page",
         [](FixtureWriter& w, std::uint32_t p, std::uint32_t) { w.SetSlot(p, 1, 0xFFF0, 0x0100); }, 2},
        {"slot length beyond the page",
         [](FixtureWriter& w, std::uint32_t p, std::uint32_t) {
             const std::uint16_t offset = static_cast<std::uint16_t>(std::to_integer<unsigned>(w.Page(p)[28]) |
                                                                     (std::to_integer<unsigned>(w.Page(p)[29]) << 8));
             w.SetSlot(p, 1, offset, 0xFFFF);
         },
         3},
        {"slot inside the page header", [](FixtureWriter& w, std::uint32_t p, std::uint32_t) { w.SetSlot(p, 0, 4, 60); }, 2},
        {"pointer entries past the file",
         [](FixtureWriter& w, std::uint32_t, std::uint32_t ptr) {
             w.SetPageWord(ptr, 24, 5);
             w.SetPageLong(ptr, 32 + 12, 0xFFFFFFFFu);
             w.SetPageLong(ptr, 32 + 16, 0x00100000u);
         },
         3},
        {"pointer entry count beyond the page", [](FixtureWriter& w, std::uint32_t, std::uint32_t ptr) { w.SetPageWord(ptr, 24, 0xFFFF); }, 3},
        {"data page listed twice",
         [](FixtureWriter& w, std::uint32_t p, std::uint32_t ptr) {
             w.SetPageWord(ptr, 24, 4);
             w.SetPageLong(ptr, 32 + 12, p);
         },
         3},
        {"data page of another relation", [](FixtureWriter& w, std::uint32_t p, std::uint32_t) { w.SetPageWord(p, 20, kOtherRelation); }, 0},
        {"zeroed page",
         [](FixtureWriter& w, std::uint32_t p, std::uint32_t) {
             auto page = w.Page(p);
             std::fill(page.begin(), page.end(), std::byte{0});
         },
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        UserTableWriter table(writer, kRelation);
        table.Add(RecordOf(1));
        table.Add(RecordOf(2));
        const std::uint32_t damagedPage = table.NewPage();
        for (int id = 3; id <= 5; ++id)
            table.Add(RecordOf(id));
        table.NewPage();
        table.Add(RecordOf(6));
        const std::vector<std::uint32_t> pointerPages = table.Finish();
        c.damage(writer, damagedPage, pointerPages.front());

        Harness h;
        h.Open(writer);
        h.AddTable("T", kRelation, Columns());
        const Rows rows = PreviewAll(h);
        // Rows of the undamaged pages come out exactly; the damaged page
        // gives at most its records back.
        ASSERT_GE(rows.size(), 3u);
        EXPECT_EQ(rows[0], RowOf(1));
        EXPECT_EQ(rows[1], RowOf(2));
        EXPECT_EQ(rows.back(), RowOf(6));
        std::size_t intact = 0;
        for (int id = 3; id <= 5; ++id)
            intact += static_cast<std::size_t>(std::count(rows.begin(), rows.end(), RowOf(id)));
        EXPECT_EQ(intact, c.rowsLeft);
    }
}

TEST(DataPageReader, RandomDamageNeverCrashesOrHangs)
{
    // Random bytes over random stretches of a table's pages, and truncated
    // copies; every walk ends, and rows of untouched pages stay exact.
    FixtureWriter writer(1024);
    UserTableWriter table(writer, kRelation, true);
    std::vector<std::vector<int>> idsOnPage;
    int id = 0;
    for (int page = 0; page < 12; ++page) {
        table.NewPage();
        idsOnPage.emplace_back();
        for (int i = 0; i < 8; ++i) {
            table.Add(RecordOf(++id));
            idsOnPage.back().push_back(id);
        }
    }
    table.Finish();
    const std::vector<std::uint32_t> dataPages = table.dataPages();

    std::mt19937 random(20260);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes image = writer.image();
        std::set<std::uint32_t> touched;
        for (int hit = 0; hit < 3; ++hit) {
            const std::uint32_t page = dataPages[random() % dataPages.size()];
            touched.insert(page);
            const std::size_t start = page * 1024u + random() % 1024u;
            const std::size_t count = 1 + random() % 64;
            for (std::size_t i = start; i < std::min(image.size(), start + count); ++i)
                image[i] = static_cast<std::byte>(random());
        }
        std::size_t keptPages = dataPages.size();
        if (round % 5 == 4) {
            const std::uint32_t cut = dataPages[random() % dataPages.size()];
            image.resize(cut * 1024u + random() % 1024u);
            keptPages = 0;
            while (keptPages < dataPages.size() && (dataPages[keptPages] + 1) * 1024u <= image.size())
                ++keptPages;
        }

        Harness h;
        h.Open(std::make_unique<ods::MemoryPageSource>(image));
        h.AddTable("T", kRelation, Columns());
        const Rows rows = PreviewAll(h);
        for (std::size_t p = 0; p < keptPages; ++p) {
            if (touched.count(dataPages[p]))
                continue;
            for (const int expectedId : idsOnPage[p])
                EXPECT_EQ(std::count(rows.begin(), rows.end(), RowOf(expectedId)), 1) << "record " << expectedId;
        }
    }
}

}  // namespace
}  // namespace ravelin::extract
