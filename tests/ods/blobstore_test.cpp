#include "ods/blobstore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fixture/blobrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"
#include "ods/pagescan.h"

namespace ravelin::ods {
namespace {

using fixture::BlobLayout;
using fixture::BlobOptions;
using fixture::BlobTableWriter;
using fixture::Bytes;
using fixture::FixtureWriter;
using fixture::StoredBlob;

constexpr std::uint16_t kTable = 140;

// Deterministic bytes that differ from position to position and blob to blob.
Bytes Pattern(std::size_t size, std::uint32_t seed)
{
    Bytes bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::byte& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::byte>(x >> 24);
    }
    return bytes;
}

// An image opened as the engine opens a file, with the page lists of a scan.
struct OpenImage {
    ods::ReadingContext context;
    ods::PageList lists;
    fixture::RecordingFrame frame;

    explicit OpenImage(const FixtureWriter& writer)
    {
        if (!context.OpenSource(writer.Source()))
            throw std::runtime_error("image not accepted");
        job::WorkerLink link = frame.Link();
        ods::ScanPages(context, lists, link);
    }
};

BlobId IdOf(const StoredBlob& blob)
{
    return BlobId{blob.relationId, blob.recordNumber};
}

// Everything a read gives.
struct ReadBack {
    BlobReadResult result;
    Bytes data;
};

ReadBack ReadAll(BlobStore& store, const BlobLocation& location, const std::atomic<bool>* stop = nullptr)
{
    ReadBack back;
    back.result = store.Read(
        location,
        [&back](std::span<const std::byte> bytes) {
            back.data.insert(back.data.end(), bytes.begin(), bytes.end());
            return true;
        },
        stop);
    return back;
}

TEST(BlobHeader, ParsesOnlyBlobHeaderRecords)
{
    fixture::BlobHeaderFields fields;
    fields.leadPage = 701;
    fields.maxSequence = 3;
    fields.maxSegment = 8192;
    fields.flags = 0x50;
    fields.level = 1;
    fields.segmentCount = 2;
    fields.length = 16126;
    const Bytes full = fixture::BlobHeaderRecord(fields, fixture::FromHex("bd020000"));
    const auto header = ParseBlobHeader(full);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->leadPage, 701u);
    EXPECT_EQ(header->maxSequence, 3u);
    EXPECT_EQ(header->maxSegment, 8192u);
    EXPECT_EQ(header->level, 1u);
    EXPECT_EQ(header->segmentCount, 2u);
    EXPECT_EQ(header->length, 16126u);
    EXPECT_FALSE(header->stream());
    EXPECT_FALSE(header->inRecord());

    fields.flags = 0x30;
    fields.leadPage = 0;
    const auto stream = ParseBlobHeader(fixture::BlobHeaderRecord(fields, {}));
    ASSERT_TRUE(stream);
    EXPECT_TRUE(stream->stream());
    EXPECT_TRUE(stream->inRecord());

    // A table record (flags 0) and a record too short for the header.
    fields.flags = 0;
    EXPECT_FALSE(ParseBlobHeader(fixture::BlobHeaderRecord(fields, {})));
    fields.flags = 0x10;
    EXPECT_FALSE(ParseBlobHeader(std::span<const std::byte>(full).first(ods::kBlobDataOffset - 1)));
}

TEST(SegmentReader, DropsTheLengthsWhereverThePiecesEnd)
{
    const std::vector<Bytes> segments{fixture::ToBytes("ab"), Bytes{}, fixture::ToBytes("cdef"), Pattern(300, 1)};
    const Bytes stored = fixture::SegmentedBytes(segments);
    Bytes expected;
    for (const Bytes& s : segments)
        expected.insert(expected.end(), s.begin(), s.end());

    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, stored.size()}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        SegmentReader reader;
        Bytes out;
        for (std::size_t at = 0; at < stored.size(); at += piece) {
            const auto part = std::span<const std::byte>(stored).subspan(at, std::min(piece, stored.size() - at));
            ASSERT_TRUE(reader.Feed(part, [&out](std::span<const std::byte> b) {
                out.insert(out.end(), b.begin(), b.end());
                return true;
            }));
        }
        EXPECT_EQ(out, expected);
        EXPECT_TRUE(reader.AtSegmentBoundary());
    }
}

TEST(SegmentReader, StoredBytesEndingInsideASegment)
{
    const Bytes stored = fixture::SegmentedBytes(std::vector<Bytes>{fixture::ToBytes("abc"), fixture::ToBytes("defgh")});
    struct Case {
        const char* name;
        std::size_t storedBytes;
        const char* data;
    };
    const Case cases[] = {
        {"inside the second segment's data", 9, "abcde"},
        {"between the two bytes of a length", 6, "abc"},
        {"right after a length", 7, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SegmentReader reader;
        std::string out;
        reader.Feed(std::span<const std::byte>(stored).first(c.storedBytes), [&out](std::span<const std::byte> b) {
            for (std::byte x : b)
                out += static_cast<char>(x);
            return true;
        });
        EXPECT_EQ(out, c.data);
        EXPECT_FALSE(reader.AtSegmentBoundary());
    }
}

// Blobs of every shape in each of the layouts real files use.
struct LayoutCase {
    const char* name;
    std::uint32_t pageSize;
    BlobLayout layout;
};

class BlobStoreLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BlobStoreLayouts, EveryBlobReadsBackFromItsId)
{
    const LayoutCase& param = GetParam();
    FixtureWriter writer(param.pageSize);
    BlobTableWriter blobs(writer, kTable, param.layout);
    const std::uint32_t room = param.pageSize - ods::kBlobPageDataOffset;
    struct Shape {
        const char* name;
        Bytes data;
        BlobOptions options;
    };
    std::vector<Shape> shapes{
        {"empty", {}, {}},
        {"one short segment", fixture::ToBytes("No specific requirements.\n"), {}},
        {"several segments", Pattern(95, 2), {.segmentSize = 10}},
        {"stream", Pattern(50, 3), {.stream = true}},
        {"pages, segments crossing page ends", Pattern(3 * room + 17, 4), {.segmentSize = 300}},
        {"pages, one segment per page exactly", Pattern(2 * (room - 2), 5), {.segmentSize = room - 2}},
        {"stream on pages", Pattern(room + 1, 6), {.stream = true, .level = 1}},
        {"pages partly filled", Pattern(500, 7), {.segmentSize = 64, .level = 1, .bytesPerPage = 100}},
    };
    std::vector<StoredBlob> stored;
    for (const Shape& shape : shapes)
        stored.push_back(blobs.AddBlob(shape.data, shape.options));
    // Small blobs until the header records fill more than one page.
    for (std::uint32_t i = 0; blobs.pages().size() < 3; ++i) {
        shapes.push_back({"small", Pattern(20 + i % 40, 100 + i), {.segmentSize = 7}});
        stored.push_back(blobs.AddBlob(shapes.back().data, shapes.back().options));
    }
    blobs.Finish();

    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    std::vector<BlobId> ids;
    for (const StoredBlob& blob : stored)
        ids.push_back(IdOf(blob));
    store.FitRecordNumbering(ids);

    for (std::size_t i = 0; i < shapes.size(); ++i) {
        SCOPED_TRACE(std::string(shapes[i].name) + " #" + std::to_string(i));
        const auto location = store.Locate(ids[i]);
        ASSERT_TRUE(location);
        EXPECT_EQ(*location, (BlobLocation{stored[i].header.page, stored[i].header.slot}));
        const ReadBack back = ReadAll(store, *location);
        EXPECT_EQ(back.result.status, BlobReadStatus::Complete);
        EXPECT_EQ(back.data, shapes[i].data);
        EXPECT_EQ(back.result.bytes, shapes[i].data.size());
    }
    // Ids of another relation, and numbers no record carries.
    EXPECT_FALSE(store.Locate(BlobId{kTable + 1, ids[1].recordNumber}));
    EXPECT_FALSE(store.Locate(BlobId{kTable, 1000000}));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BlobStoreLayouts,
    ::testing::Values(
        LayoutCase{"HeaderPagesFourByteIndex", 4096, {BlobLayout::Place::HeaderPages, 7, false}},
        LayoutCase{"HeaderPagesEightByteIndex", 1024, {BlobLayout::Place::HeaderPages, 5, true}},
        LayoutCase{"DataPages1K", 1024, {BlobLayout::Place::DataPages, 0, false}},
        LayoutCase{"DataPages8K", 8192, {BlobLayout::Place::DataPages, 0, false}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(BlobStore, PointerPagesListingTheBlobPages)
{
    FixtureWriter writer(1024);
    BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 4, false});
    // 64 bytes per page: 300 blob pages, more than one pointer page lists.
    const Bytes data = Pattern(18000, 9);
    const StoredBlob big = blobs.AddBlob(data, {.segmentSize = 1000, .level = 2, .bytesPerPage = 64});
    blobs.Finish();
    ASSERT_EQ(big.pointerPages.size(), 2u);

    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    const auto location = store.Locate(IdOf(big));
    ASSERT_TRUE(location);
    const ReadBack back = ReadAll(store, *location);
    EXPECT_EQ(back.result.status, BlobReadStatus::Complete);
    EXPECT_EQ(back.data, data);
}

// Blob header pages numbered for more records than any of them holds, as the
// system relations' pages are: only the table's ids tell the numbering.
TEST(BlobStore, NumberingLearnedFromTheTablesIds)
{
    FixtureWriter writer(1024);
    BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 12, false});
    std::vector<Bytes> data;
    std::vector<StoredBlob> stored;
    // About 300 bytes each: three header records fill a page.
    for (std::uint32_t i = 0; i < 10; ++i) {
        data.push_back(Pattern(290 + i, 20 + i));
        stored.push_back(blobs.AddBlob(data.back(), {.segmentSize = 100}));
    }
    blobs.Finish();
    ASSERT_EQ(stored[3].recordNumber, 12u);

    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    EXPECT_EQ(store.headerPageRecords(), 3u);  // the fullest page, until the ids are seen
    std::vector<BlobId> ids;
    for (const StoredBlob& blob : stored)
        ids.push_back(IdOf(blob));
    store.FitRecordNumbering(ids);
    EXPECT_EQ(store.headerPageRecords(), 12u);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        const auto location = store.Locate(ids[i]);
        ASSERT_TRUE(location);
        EXPECT_EQ(ReadAll(store, *location).data, data[i]);
    }
}

// One blob on four pages (1024-byte pages, segments of 300 bytes), then the
// damage of the case. prefixPages: the blob pages whose stored bytes still
// arrive (their data before the damage is given).
TEST(BlobStore, DamagedBlobPagesGiveTheBytesBeforeTheDamage)
{
    constexpr std::uint32_t kPageSize = 1024;
    constexpr std::uint32_t kRoom = kPageSize - ods::kBlobPageDataOffset;
    constexpr std::size_t kSegment = 300;
    const Bytes data = Pattern(3 * kRoom + 100, 11);

    struct Case {
        const char* name;
        std::function<void(FixtureWriter&, const StoredBlob&)> damage;
        BlobReadStatus status;
        std::size_t prefixPages;  // stored bytes given: prefixPages whole pages (4: all)
    };
    const auto headerLong = [](FixtureWriter& w, const StoredBlob& b, std::uint32_t offset, std::uint32_t value) {
        w.SetPageLong(b.header.page, b.header.offset + offset, value);
    };
    const Case cases[] = {
        {"intact", [](FixtureWriter&, const StoredBlob&) {}, BlobReadStatus::Complete, 4},
        {"second page of another type",
         [](FixtureWriter& w, const StoredBlob& b) { w.SetPageByte(b.pages[1], 0, ods::kDataPage); },
         BlobReadStatus::Partial, 1},
        {"second page in another place",
         [](FixtureWriter& w, const StoredBlob& b) { w.SetPageLong(b.pages[1], ods::kBlobPageSequenceOffset, 5); },
         BlobReadStatus::Partial, 1},
        {"third page of another blob",
         [](FixtureWriter& w, const StoredBlob& b) { w.SetPageLong(b.pages[2], ods::kBlobPageLeadOffset, 3); },
         BlobReadStatus::Partial, 2},
        {"second page number past the file",
         [&](FixtureWriter& w, const StoredBlob& b) { headerLong(w, b, ods::kBlobDataOffset + 4, 0x7FFFFFFF); },
         BlobReadStatus::Partial, 1},
        {"second page number 0",
         [&](FixtureWriter& w, const StoredBlob& b) { headerLong(w, b, ods::kBlobDataOffset + 4, 0); },
         BlobReadStatus::Partial, 1},
        {"first page listed twice",
         [&](FixtureWriter& w, const StoredBlob& b) { headerLong(w, b, ods::kBlobDataOffset + 4, b.pages[0]); },
         BlobReadStatus::Partial, 1},
        {"byte count far beyond the second page",
         [](FixtureWriter& w, const StoredBlob& b) {
             w.SetPageLong(b.pages[1], ods::kBlobPageLengthOffset, 0xFFFFFFFF);
         },
         BlobReadStatus::Partial, 2},
        {"more pages claimed than the record lists",
         [&](FixtureWriter& w, const StoredBlob& b) { headerLong(w, b, ods::kBlobMaxSequenceOffset, 0xFFFFFFFF); },
         BlobReadStatus::Partial, 4},
        {"fewer pages claimed than the record lists",
         [&](FixtureWriter& w, const StoredBlob& b) { headerLong(w, b, ods::kBlobMaxSequenceOffset, 1); },
         BlobReadStatus::Partial, 2},
        {"a level no layout is known for",
         [](FixtureWriter& w, const StoredBlob& b) {
             w.SetPageByte(b.header.page, b.header.offset + ods::kBlobLevelOffset, 3);
         },
         BlobReadStatus::Partial, 0},
        {"length word of the header wrong",
         [&](FixtureWriter& w, const StoredBlob& b) { headerLong(w, b, ods::kBlobLengthOffset, 5); },
         BlobReadStatus::Partial, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(kPageSize);
        BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 4, false});
        const StoredBlob blob = blobs.AddBlob(data, {.segmentSize = kSegment});
        blobs.Finish();
        ASSERT_EQ(blob.pages.size(), 4u);
        c.damage(writer, blob);

        OpenImage image(writer);
        BlobStore store(image.context, image.lists, kTable);
        const auto location = store.Locate(IdOf(blob));
        ASSERT_TRUE(location);
        const ReadBack back = ReadAll(store, *location);
        EXPECT_EQ(back.result.status, c.status);
        // Data in the first prefixPages pages of stored bytes: whole segments
        // of 300 bytes after their 2-byte lengths, then the cut one.
        const std::size_t storedBytes = std::min<std::size_t>(c.prefixPages * kRoom, (data.size() / kSegment) * (kSegment + 2) + 2 + data.size() % kSegment);
        const std::size_t whole = storedBytes / (kSegment + 2);
        const std::size_t rest = storedBytes % (kSegment + 2);
        const std::size_t expected = std::min(data.size(), whole * kSegment + (rest > 2 ? rest - 2 : 0));
        EXPECT_EQ(back.data, Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(expected)));
    }
}

// Damage to the header record or to the page that holds it.
TEST(BlobStore, DamagedHeaderRecords)
{
    const Bytes text = fixture::ToBytes("Computer/electronics industry sales experience.\n");
    struct Case {
        const char* name;
        std::function<void(FixtureWriter&, const StoredBlob&)> damage;
        bool located;
        BlobReadStatus status;
        std::string data;
    };
    const Case cases[] = {
        {"segment length beyond the record",
         [](FixtureWriter& w, const StoredBlob& b) {
             w.SetPageWord(b.header.page, b.header.offset + ods::kBlobDataOffset, 60000);
         },
         true, BlobReadStatus::Partial, "Computer/electronics industry sales experience.\n"},
        // The record's bytes then run on into the record placed before it;
        // the blob ends where its length and segment count say.
        {"slot length beyond the page",
         [](FixtureWriter& w, const StoredBlob& b) {
             w.SetSlot(b.header.page, b.header.slot, b.header.offset, 0xFFFF);
         },
         true, BlobReadStatus::Complete, "Computer/electronics industry sales experience.\n"},
        {"record shorter than a blob header",
         [](FixtureWriter& w, const StoredBlob& b) { w.SetSlot(b.header.page, b.header.slot, b.header.offset, 20); },
         false, BlobReadStatus::Missing, ""},
        {"slot offset past the page end",
         [](FixtureWriter& w, const StoredBlob& b) { w.SetSlot(b.header.page, b.header.slot, 2000, 100); }, false,
         BlobReadStatus::Missing, ""},
        {"slot count far beyond the page",
         [](FixtureWriter& w, const StoredBlob& b) { w.SetSlotCount(b.header.page, 0xFFFF); }, true,
         BlobReadStatus::Complete, "Computer/electronics industry sales experience.\n"},
        {"not a blob header any more",
         [](FixtureWriter& w, const StoredBlob& b) {
             w.SetPageByte(b.header.page, b.header.offset + ods::kBlobFlagsOffset, 0);
         },
         false, BlobReadStatus::Missing, ""},
        {"header page of another relation",
         [](FixtureWriter& w, const StoredBlob& b) {
             w.SetPageWord(b.header.page, ods::kDataPageRelationOffset, kTable + 1);
         },
         false, BlobReadStatus::Missing, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(1024);
        BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 9, false});
        blobs.AddBlob(fixture::ToBytes("A record placed before the damaged one."), {.segmentSize = 8});
        const StoredBlob blob = blobs.AddBlob(text);
        blobs.Finish();
        c.damage(writer, blob);

        OpenImage image(writer);
        BlobStore store(image.context, image.lists, kTable);
        const auto location = store.Locate(IdOf(blob));
        EXPECT_EQ(location.has_value(), c.located);
        const ReadBack back = ReadAll(store, BlobLocation{blob.header.page, blob.header.slot});
        EXPECT_EQ(back.result.status, c.status);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.data.data()), back.data.size()), c.data);
    }
}

TEST(BlobStore, IndexEntriesOutsideTheFileOrOfOtherPagesAreIgnored)
{
    FixtureWriter writer(1024);
    BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 9, false});
    const StoredBlob blob = blobs.AddBlob(fixture::ToBytes("kept"));
    const std::uint32_t index = blobs.Finish();
    // Three more entries: past the file, the index page itself, a blob page.
    const std::uint32_t blobPage = fixture::AddBlobPages(writer, fixture::ToBytes("x")).front();
    writer.SetPageWord(index, ods::kPointerPageCountOffset, 4);
    writer.SetPageLong(index, ods::kBlobIndexEntriesOffset + 4, 0x00FFFFFF);
    writer.SetPageLong(index, ods::kBlobIndexEntriesOffset + 8, index);
    writer.SetPageLong(index, ods::kBlobIndexEntriesOffset + 12, blobPage);

    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    EXPECT_EQ(store.headerPageCount(), 1u);
    EXPECT_EQ(store.IndexedHeaderRecords(), (std::vector<BlobLocation>{{blob.header.page, blob.header.slot}}));
}

TEST(BlobStore, IndexedHeaderRecordsPassOverOtherRecords)
{
    FixtureWriter writer(1024);
    BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 3, false});
    const StoredBlob first = blobs.AddBlob(fixture::ToBytes("one"));
    // A record without the blob header bit, then an empty slot.
    fixture::BlobHeaderFields plain;
    plain.flags = 0;
    blobs.AddHeaderRecord(fixture::BlobHeaderRecord(plain, fixture::ToBytes("xx")));
    writer.AddEmptySlot(blobs.pages().back());
    const StoredBlob second = blobs.AddBlob(fixture::ToBytes("two"));
    blobs.Finish();
    ASSERT_NE(first.header.page, second.header.page);

    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    EXPECT_EQ(store.IndexedHeaderRecords(),
              (std::vector<BlobLocation>{{first.header.page, first.header.slot},
                                         {second.header.page, second.header.slot}}));
}

TEST(BlobStore, DataPagesListedOutOfOrder)
{
    FixtureWriter writer(1024);
    BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::DataPages, 0, false});
    std::vector<StoredBlob> stored;
    std::vector<Bytes> data;
    for (std::uint32_t i = 0; i < 8; ++i) {
        data.push_back(Pattern(400, 40 + i));
        stored.push_back(blobs.AddBlob(data.back()));
    }
    // The pointer page lists the data pages backwards.
    std::vector<std::uint32_t> pages = blobs.pages();
    std::reverse(pages.begin(), pages.end());
    writer.AddPointerPage(kTable, pages);

    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        const auto location = store.Locate(IdOf(stored[i]));
        ASSERT_TRUE(location);
        EXPECT_EQ(ReadAll(store, *location).data, data[i]);
    }
}

TEST(BlobStore, StopEndsTheReadBetweenPages)
{
    FixtureWriter writer(1024);
    BlobTableWriter blobs(writer, kTable, {BlobLayout::Place::HeaderPages, 4, false});
    const StoredBlob blob = blobs.AddBlob(Pattern(5000, 50), {.segmentSize = 1000});
    blobs.Finish();
    OpenImage image(writer);
    BlobStore store(image.context, image.lists, kTable);
    std::atomic<bool> stop{false};
    std::size_t pieces = 0;
    const BlobReadResult result = store.Read(
        BlobLocation{blob.header.page, blob.header.slot},
        [&](std::span<const std::byte>) {
            stop = ++pieces >= 2;
            return true;
        },
        &stop);
    EXPECT_EQ(result.status, BlobReadStatus::Stopped);
    EXPECT_LT(result.bytes, 5000u);
}

}  // namespace
}  // namespace ravelin::ods
