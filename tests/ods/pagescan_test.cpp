#include "ods/pagescan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"
#include "ods/readingcontext.h"

namespace ravelin::ods {
namespace {

using fixture::FixtureWriter;
using fixture::RecordingFrame;

// One page appended after page 79: its type byte and the relation id its
// type carries (at 20 for types 5 and 12, at 26 for types 4 and 11).
struct PageSpec {
    std::uint8_t type;
    std::uint16_t relationId;
};

// One expected node: relation, type, and the filed pages as indexes into the
// case's page specs (0 = page 80).
struct NodeSpec {
    std::uint32_t relationId;
    std::uint8_t pageType;
    std::vector<std::uint32_t> pages;
};

void AppendPage(FixtureWriter& writer, const PageSpec& page)
{
    switch (page.type) {
    case kDataPage:
    case kType12Page:
        writer.AddDataPage(page.relationId, page.type);
        break;
    case kPointerPage:
    case kBlobIndexPage:
        writer.AddPointerPage(page.relationId, {}, page.type);
        break;
    default: {
        // Other types: the relation id words are still set, so a scan that
        // looked at them for these types would file the page.
        const std::uint32_t at = writer.AddPage(page.type);
        writer.SetPageWord(at, kDataPageRelationOffset, page.relationId);
        writer.SetPageWord(at, kPointerPageRelationOffset, page.relationId);
        break;
    }
    }
}

PageList Scan(const FixtureWriter& writer, RecordingFrame& frame)
{
    ReadingContext context;
    EXPECT_TRUE(context.OpenSource(writer.Source()));
    PageList lists;
    auto link = frame.Link();
    ScanPages(context, lists, link);
    return lists;
}

std::vector<NodeSpec> Describe(const PageList& lists, std::uint32_t pageSize)
{
    std::vector<NodeSpec> out;
    for (const PageListNode& node : lists) {
        NodeSpec described{node.relationId, node.pageType, {}};
        for (std::uint64_t at : node.pagePositions)
            described.pages.push_back(static_cast<std::uint32_t>(at / pageSize) - FixtureWriter::kFirstFreePage);
        out.push_back(described);
    }
    return out;
}

std::string ToString(const std::vector<NodeSpec>& nodes)
{
    std::string out;
    for (const NodeSpec& n : nodes) {
        out += "{rel " + std::to_string(n.relationId) + " type " + std::to_string(n.pageType) + ":";
        for (std::uint32_t p : n.pages)
            out += " " + std::to_string(p);
        out += "} ";
    }
    return out;
}

TEST(ScanPages, FilingRules)
{
    struct Case {
        const char* name;
        std::vector<PageSpec> pages;
        std::vector<NodeSpec> expected;
    };
    const Case cases[] = {
        {"relation-5 data page filed first collects every relation-5 data page",
         {{5, 5}, {5, 6}, {5, 5}, {5, 2}, {5, 5}},
         {{5, 5, {0, 2, 4}}, {6, 5, {1}}, {2, 5, {3}}}},
        {"another page filed first: relation-5 data pages still get their list",
         {{5, 6}, {5, 5}, {5, 3}, {5, 5}},
         {{6, 5, {0}}, {5, 5, {1, 3}}, {3, 5, {2}}}},
        {"a pointer page filed first does not shut relation 5 out",
         {{4, 128}, {5, 5}},
         {{128, 4, {0}}, {5, 5, {1}}}},
        {"pages that are not filed leave the lists empty for relation 5",
         {{5, 100}, {4, 6}, {1, 5}, {5, 5}, {5, 5}},
         {{5, 5, {3, 4}}}},
        {"relation-5 data page after a type-12 page of relation 5 joins the type-12 node",
         {{12, 5}, {5, 5}, {12, 5}},
         {{5, 12, {0, 1, 2}}}},
        {"data pages of 2, 3, 4, 6, 7, 8, 12, 22, 26, 27, 30 and user tables are filed; other system relations are not",
         {{5, 22}, {5, 7}, {5, 4}, {5, 3}, {5, 1}, {5, 12}, {5, 8}, {5, 127}, {5, 128}, {5, 300}, {5, 22}, {5, 128},
          {5, 26}, {5, 27}, {5, 25}, {5, 30}},
         {{22, 5, {0, 10}}, {7, 5, {1}}, {4, 5, {2}}, {3, 5, {3}}, {12, 5, {5}}, {8, 5, {6}}, {128, 5, {8, 11}},
          {300, 5, {9}}, {26, 5, {12}}, {27, 5, {13}}, {30, 5, {15}}}},
        {"the record formats keep one node per page type",
         {{12, 8}, {5, 8}, {11, 8}, {4, 8}, {5, 8}, {12, 8}},
         {{8, 12, {0, 5}}, {8, 5, {1, 4}}, {8, 11, {2}}, {8, 4, {3}}}},
        {"transaction inventory pages are filed together under relation id 0",
         {{3, 0}, {5, 6}, {3, 0}},
         {{0, 3, {0, 2}}, {6, 5, {1}}}},
        {"relation 12 (triggers): pointer pages and data pages each in a node of their own",
         {{5, 12}, {4, 12}, {5, 12}, {4, 12}},
         {{12, 5, {0, 2}}, {12, 4, {1, 3}}}},
        {"pointer pages: relation 12 and 128 upwards only",
         {{4, 0}, {4, 6}, {4, 127}, {4, 128}, {4, 65535}, {4, 128}},
         {{128, 4, {3, 5}}, {65535, 4, {4}}}},
        {"blob index pages: relation 128 upwards only, apart from pointer pages",
         {{11, 12}, {11, 127}, {11, 130}, {4, 130}, {11, 130}},
         {{130, 11, {2, 4}}, {130, 4, {3}}}},
        {"type-12 pages: relations 2, 5, 6 and 12 only",
         {{12, 2}, {12, 6}, {12, 12}, {12, 5}, {12, 12}, {12, 3}, {12, 4}},
         {{2, 12, {0}}, {6, 12, {1}}, {12, 12, {2, 4}}, {5, 12, {3}}}},
        {"the relations and field-definitions catalogues' blob header pages take none of their data pages",
         {{12, 6}, {5, 6}, {12, 2}, {5, 6}, {5, 2}},
         {{6, 12, {0}}, {6, 5, {1, 3}}, {2, 12, {2}}, {2, 5, {4}}}},
        {"a data page of a relation matches a type-12 node only for relation 5",
         {{12, 12}, {5, 12}, {5, 6}, {12, 5}, {5, 5}},
         {{12, 12, {0}}, {12, 5, {1}}, {6, 5, {2}}, {5, 12, {3, 4}}}},
        {"other page types are never filed",
         {{0, 6}, {1, 6}, {6, 128}, {7, 6}, {8, 5}, {10, 128}, {14, 128}, {255, 6}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        for (const PageSpec& page : c.pages)
            AppendPage(writer, page);
        RecordingFrame frame;
        const PageList lists = Scan(writer, frame);
        EXPECT_EQ(ToString(Describe(lists, 1024)), ToString(c.expected));
    }
}

// Catalogue pages count from page 80 on; the pages of user tables and of
// the record formats are filed wherever they stand.
TEST(ScanPages, WholePagesAreExaminedCataloguePagesFromPage80)
{
    struct Case {
        const char* name;
        std::uint32_t pageCount;  // whole pages in the file
        std::size_t extraBytes;   // a partial page after them
        std::vector<std::uint32_t> expectedPages;
    };
    const Case cases[] = {
        {"80 pages: only the user table's and the formats' pages", 80, 0, {40, 41, 42}},
        {"fewer than 40 pages", 20, 0, {}},
        {"exactly 81 pages: page 80 as well", 81, 0, {40, 41, 42, 80}},
        {"82 pages", 82, 0, {40, 41, 42, 80, 81}},
        {"a partial page at the end is not a page", 81, 512, {40, 41, 42, 80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        // Every page from 8 on is a relation-6 data page: pages 5..7 must
        // stay intact for the page size to be detected. Among them a data
        // page and a pointer page of table 130 and a formats data page.
        for (std::uint32_t page = 8; page < FixtureWriter::kFirstFreePage; ++page) {
            writer.InitPage(page, kDataPage);
            writer.SetPageWord(page, kDataPageRelationOffset, kRelRelations);
        }
        writer.SetPageWord(40, kDataPageRelationOffset, 130);
        writer.InitPage(41, kPointerPage);
        writer.SetPageWord(41, kPointerPageRelationOffset, 130);
        writer.SetPageWord(42, kDataPageRelationOffset, kRelFormats);
        while (writer.pageCount() < c.pageCount)
            writer.AddDataPage(kRelRelations);
        auto image = writer.image();
        image.resize(std::size_t{c.pageCount} * 1024);
        if (c.extraBytes > 0) {
            // The partial page looks like a relation-6 data page too.
            image.resize(image.size() + c.extraBytes);
            image[std::size_t{c.pageCount} * 1024] = std::byte{kDataPage};
            image[std::size_t{c.pageCount} * 1024 + kDataPageRelationOffset] = std::byte{kRelRelations};
        }

        ReadingContext context;
        ASSERT_TRUE(context.OpenSource(std::make_unique<MemoryPageSource>(image)));
        RecordingFrame frame;
        PageList lists;
        auto link = frame.Link();
        ScanPages(context, lists, link);

        std::vector<std::uint32_t> filed;
        for (const PageListNode& node : lists)
            for (std::uint64_t at : node.pagePositions)
                filed.push_back(static_cast<std::uint32_t>(at / 1024));
        std::sort(filed.begin(), filed.end());
        EXPECT_EQ(filed, c.expectedPages);

        // Progress: start with the page count, one step per examined page
        // (1 .. P-1), end.
        std::vector<RecordingFrame::Sent> expected{{job::UM_PROGRESS, job::kProgressStart, c.pageCount}};
        for (std::uint32_t page = 1; page < c.pageCount; ++page)
            expected.push_back({job::UM_PROGRESS, job::kProgressStep, 0});
        expected.push_back({job::UM_PROGRESS, job::kProgressEnd, 0});
        EXPECT_EQ(frame.sent, expected);
    }
}

TEST(ScanPages, StopLeavesTheListsPartlyBuilt)
{
    FixtureWriter writer(2048);
    for (int i = 0; i < 10; ++i)
        writer.AddDataPage(kRelRelations);
    RecordingFrame frame;
    // The user presses Stop while the third page from page 80 is being
    // reported (pages 1 to 79 come first).
    frame.onSend = [&frame](const RecordingFrame::Sent&) {
        if (frame.ProgressCount(job::kProgressStep) == 79 + 3)
            frame.stopRequested = true;
    };
    const PageList lists = Scan(writer, frame);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].pagePositions, (std::vector<std::uint64_t>{80 * 2048, 81 * 2048, 82 * 2048}));
    EXPECT_EQ(frame.ProgressCount(job::kProgressStep), 79u + 3u);
    ASSERT_FALSE(frame.sent.empty());
    EXPECT_EQ(frame.sent.back(), (RecordingFrame::Sent{job::UM_PROGRESS, job::kProgressEnd, 0}));
}

// The same image scanned from a file on disk through the block cache, with
// pages spread over several cache blocks.
TEST(ScanPages, ReadsAFileThroughTheBlockCache)
{
    FixtureWriter writer(16384);
    std::vector<std::uint32_t> pointerPages;
    for (int i = 0; i < 40; ++i) {
        writer.AddDataPage(kRelRelations);
        pointerPages.push_back(writer.AddPointerPage(static_cast<std::uint16_t>(128 + i % 3)));
        writer.AddBlobIndexPage(130);
    }
    const auto dir = std::filesystem::temp_directory_path();
    const auto path = dir / ("ravelin_pagescan_" + std::to_string(::getpid()) + ".gdb");
    writer.WriteTo(path);

    ReadingContext context;
    ASSERT_TRUE(context.OpenDatabaseFile(path.string()));
    RecordingFrame frame;
    PageList lists;
    auto link = frame.Link();
    ScanPages(context, lists, link);
    std::filesystem::remove(path);

    ASSERT_EQ(lists.size(), 5u);
    EXPECT_EQ(lists[0].relationId, kRelRelations);
    EXPECT_EQ(lists[0].pagePositions.size(), 40u);
    EXPECT_EQ(lists[1].relationId, 128u);
    EXPECT_EQ(lists[1].pagePositions.front(), std::uint64_t{pointerPages[0]} * 16384);
    EXPECT_EQ(lists[2].pageType, kBlobIndexPage);
    EXPECT_EQ(lists[2].pagePositions.size(), 40u);
    EXPECT_EQ(lists[3].relationId, 129u);
    EXPECT_EQ(lists[4].relationId, 130u);
    EXPECT_EQ(lists[4].pageType, kPointerPage);
    EXPECT_EQ(lists[4].pagePositions.back(), std::uint64_t{pointerPages[38]} * 16384);  // the last of 130
}

// The finder sees nodes that were in the lists before it was made, and keeps
// answering with the first node of a key.
TEST(PageListFinder, FirstNodeOfAKeyWins)
{
    PageList lists{{5, kType12Page, {}}, {5, kDataPage, {}}};
    PageListFinder finder(lists);
    EXPECT_EQ(finder.FindPageList(5, kAnyPageType), &lists[0]);
    EXPECT_EQ(finder.FindPageList(5, kDataPage), &lists[1]);
    EXPECT_EQ(finder.FindPageList(6, kAnyPageType), nullptr);
    finder.AppendPageList(6, kDataPage);
    finder.AppendPageList(6, kType12Page);
    EXPECT_EQ(finder.FindPageList(6, kAnyPageType), &lists[2]);
    EXPECT_EQ(finder.FindPageList(6, kType12Page), &lists[3]);
    EXPECT_EQ(finder.FindPageList(6, kPointerPage), nullptr);
}

}  // namespace
}  // namespace ravelin::ods
