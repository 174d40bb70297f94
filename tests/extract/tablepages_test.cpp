// Which data pages a table's walk reads: the pages its pointer pages list,
// and the table's data pages that no surviving pointer page covers.

#include "extract/tablepages.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"
#include "ods/pagescan.h"

namespace ravelin::extract {
namespace {

using fixture::FixtureWriter;
using fixture::RecordingFrame;

constexpr std::uint16_t kTable = 130;
constexpr std::uint32_t kPageSize = 1024;

// A data page of the table (or of another relation) holding its sequence.
struct DataPageSpec {
    std::string name;
    std::uint32_t sequence;
    std::uint16_t relationId = kTable;
};

// A surviving pointer page: its sequence and the names of the data pages
// it lists.
struct PointerSpec {
    std::uint32_t sequence;
    std::vector<std::string> lists;
};

struct Case {
    const char* name;
    std::vector<DataPageSpec> dataPages;  // in file order
    std::vector<PointerSpec> pointers;    // in file order, after the data pages
    std::vector<std::string> freePages;   // marked free by the page inventory
    bool inventoryDamaged;                // page 1 is no inventory page
    std::vector<std::string> expected;    // walk order
};

std::vector<std::string> Collect(const Case& c, std::uint32_t* adopted = nullptr)
{
    FixtureWriter writer(kPageSize);
    std::map<std::string, std::uint32_t> numbers;
    std::map<std::uint32_t, std::string> names;
    for (const DataPageSpec& wanted : c.dataPages) {
        const std::uint32_t page = writer.AddDataPage(wanted.relationId);
        writer.SetPageLong(page, ods::kPageSequenceOffset, wanted.sequence);
        numbers[wanted.name] = page;
        names[page] = wanted.name;
    }
    for (const PointerSpec& pointer : c.pointers) {
        std::vector<std::uint32_t> entries;
        for (const std::string& name : pointer.lists)
            entries.push_back(numbers.at(name));
        const std::uint32_t page = writer.AddPointerPage(kTable, entries);
        writer.SetPageLong(page, ods::kPointerPageSequenceOffset, pointer.sequence);
    }
    if (!c.inventoryDamaged) {
        writer.InitPage(ods::kFirstPageInventoryPage, ods::kPageInventoryPage);
        for (const std::string& name : c.freePages) {
            const std::uint32_t page = numbers.at(name);
            const std::uint32_t at = ods::kPageInventoryBitsOffset + page / 8;
            const auto bits = std::to_integer<std::uint8_t>(writer.Page(ods::kFirstPageInventoryPage)[at]);
            writer.SetPageByte(ods::kFirstPageInventoryPage, at, static_cast<std::uint8_t>(bits | (1u << (page % 8))));
        }
    }

    ods::ReadingContext context;
    EXPECT_TRUE(context.OpenSource(writer.Source()));
    RecordingFrame frame;
    auto link = frame.Link();
    ods::PageList lists;
    ods::ScanPages(context, lists, link);
    const TablePages pages = CollectTableDataPages(context, lists, kTable);
    if (adopted != nullptr)
        *adopted = pages.adopted;
    std::vector<std::string> walked;
    for (const std::uint32_t page : pages.pages)
        walked.push_back(names.count(page) ? names.at(page) : "page " + std::to_string(page));
    return walked;
}

TEST(CollectTableDataPages, ListedPagesAndPagesNoPointerPageCovers)
{
    // 1024-byte pages: without a pointer page of sequence above 0 to learn
    // from, one pointer page lists (1024 - 32) * 8 / 34 = 233 data pages.
    ASSERT_EQ(DefaultDataPagesPerPointerPage(kPageSize), 233u);
    const Case cases[] = {
        {"every pointer page survives: exactly the listed pages, in their order",
         {{"A", 0}, {"B", 1}, {"C", 2}},
         {{0, {"B", "A", "C"}}},
         {},
         false,
         {"B", "A", "C"}},
        {"no pointer page survives: the table's data pages in sequence order",
         {{"C", 2}, {"A", 0}, {"other table", 1, 131}, {"B", 1}},
         {},
         {},
         false,
         {"A", "B", "C"}},
        {"a covered page its pointer page does not list is a page the table let go of",
         {{"A", 0}, {"stale", 1}, {"B", 1}},
         {{0, {"A", "B"}}},
         {},
         false,
         {"A", "B"}},
        {"pages beyond the surviving pointer page's entries are adopted after them",
         {{"A", 0}, {"B", 1}, {"C", 2}, {"D", 3}},
         {{0, {"A", "B"}}},
         {},
         false,
         {"A", "B", "C", "D"}},
        {"the second pointer page lost: its pages follow the first's",
         {{"A", 0}, {"B", 1}, {"E", 234}, {"D", 233}},
         {{0, {"A", "B"}}},
         {},
         false,
         {"A", "B", "D", "E"}},
        {"the first pointer page lost: its pages go before the second's",
         {{"E", 201}, {"D", 200}, {"B", 1}, {"A", 0}, {"F", 234}},
         // Pointer page 1 lists sequence 200 first: 200 data pages per
         // pointer page, so it covers 200 and 201 only and F is adopted.
         {{1, {"D", "E"}}},
         {},
         false,
         {"A", "B", "D", "E", "F"}},
        {"a page the inventory marks free is not adopted",
         {{"A", 0}, {"B", 1}, {"freed", 2}},
         {},
         {"freed"},
         false,
         {"A", "B"}},
        {"a listed page stays listed whatever the inventory says",
         {{"A", 0}, {"B", 1}},
         {{0, {"A", "B"}}},
         {"B"},
         false,
         {"A", "B"}},
        {"a damaged inventory page marks nothing free",
         {{"A", 0}, {"B", 1}},
         {},
         {},
         true,
         {"A", "B"}},
        {"a page listed twice and filed by the scan is read once",
         {{"A", 0}, {"B", 1}},
         {{0, {"A", "B", "A"}}},
         {},
         false,
         {"A", "B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Collect(c), c.expected);
    }
}

TEST(CollectTableDataPages, CountsTheAdoptedPages)
{
    const Case c{"", {{"A", 0}, {"B", 1}, {"C", 2}}, {{0, {"A"}}}, {}, false, {}};
    std::uint32_t adopted = 0;
    EXPECT_EQ(Collect(c, &adopted), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(adopted, 2u);
}

}  // namespace
}  // namespace ravelin::extract
