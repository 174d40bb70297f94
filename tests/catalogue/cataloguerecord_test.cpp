#include "catalogue/cataloguerecord.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/recordruns.h"
#include "fixture/fixturewriter.h"
#include "fixture/indexrecords.h"
#include "ods/constants.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;
using fixture::FixtureWriter;
using fixture::RecordHeaderOptions;
using testing::Runs;

constexpr std::uint16_t kRelation = ods::kRelIndices;

// The decompressed data of an opened record, or nullopt when it was skipped.
std::optional<Bytes> OpenedData(const ods::ReadingContext* context, const Bytes& stored,
                                std::uint32_t relationId = kRelation)
{
    ods::RecordStream record(stored);
    auto opened = context ? OpenCatalogueRecord(*context, record, relationId) : OpenCatalogueRecord(record);
    if (!opened)
        return std::nullopt;
    return fixture::Decompress(opened->data.bytes());
}

// The stored bytes of the record in a slot of the image.
Bytes StoredAt(const FixtureWriter& writer, fixture::RecordLocation at)
{
    const std::byte* page = writer.image().data() + std::size_t{at.page} * writer.pageSize();
    return Bytes(page + at.offset, page + at.offset + at.length);
}

TEST(CatalogueRecord, HeaderFlagsChooseWhereTheRunsStartOrSkipTheRecord)
{
    const Bytes data = fixture::IndexData("RDB$PRIMARY1", "CUSTOMER");
    const Bytes runs = fixture::Compress(data);
    struct Case {
        const char* label;
        std::uint32_t transaction;
        std::uint8_t flags;
        bool opened;
    };
    const Case cases[] = {
        {"plain record", 7, 0, true},
        {"whole record whose older version is stored as differences", 7, ods::kFlagDeltaBackVersion, true},
        {"written by the database itself (transaction 0)", 0, 0, false},
        {"deleted stub", 7, ods::kFlagDeleted, false},
        {"older version of a record", 7, ods::kFlagOldVersion, false},
        {"continuation fragment met on its own", 7, ods::kFlagContinuation, false},
        {"blob stored on the page", 7, ods::kFlagBlobRecord, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RecordHeaderOptions header;
        header.transaction = c.transaction;
        header.flags = c.flags;
        header.longHeader = false;
        const auto opened = OpenedData(nullptr, fixture::BuildStoredRecord(header, runs));
        ASSERT_EQ(opened.has_value(), c.opened);
        if (c.opened) {
            EXPECT_EQ(*opened, data);
        }
    }

    // Byte 11 of newer files does not count as a flag.
    RecordHeaderOptions newer;
    newer.flags2 = 0x20;
    EXPECT_EQ(OpenedData(nullptr, fixture::BuildStoredRecord(newer, runs)), data);

    // Without the file a first fragment keeps its own runs, read from 22.
    const fixture::SplitRuns split = fixture::SplitCompressed(runs, 30);
    RecordHeaderOptions first;
    first.flags = ods::kFlagFirstFragment;
    first.forwardPage = 81;
    EXPECT_EQ(OpenedData(nullptr, fixture::BuildStoredRecord(first, split.first)), fixture::Decompress(split.first));
}

TEST(CatalogueRecord, FirstFragmentIsJoinedWithItsContinuation)
{
    fixture::IndexOptions options;
    options.indexId = 4;
    options.foreignKey = "RDB$PRIMARY1";
    const Bytes data = fixture::IndexData("RDB$FOREIGN23", "CUSTOMER", options);
    const Bytes runs = fixture::Compress(data);
    struct Case {
        const char* label;
        std::size_t firstPart;
        bool pad;
    };
    const Case cases[] = {
        {"cut between runs", 19, false},
        {"cut between runs, first fragment padded with a zero byte", 19, true},
        {"cut inside a literal run (the foreign-key name)", 45, false},
        {"cut inside a literal run, padded", 45, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FixtureWriter writer(1024);
        const auto at = fixture::AddFragmentedRecord(writer, kRelation, data, {}, c.firstPart, c.pad);
        ods::ReadingContext context;
        ASSERT_TRUE(context.OpenSource(writer.Source()));
        ods::RecordStream record(StoredAt(writer, at));
        const auto opened = OpenCatalogueRecord(context, record, kRelation);
        ASSERT_TRUE(opened);
        EXPECT_EQ(fixture::Decompress(opened->data.bytes()), data);
        // The runs read as an unfragmented record's would: no zero control
        // byte in between, a cut literal run whole again.
        EXPECT_EQ(Bytes(opened->data.bytes().begin(), opened->data.bytes().end()), runs);
    }
}

TEST(CatalogueRecord, ForwardPointerThatNamesNoContinuationKeepsTheFirstPart)
{
    fixture::IndexOptions options;
    options.foreignKey = "RDB$PRIMARY2";
    const Bytes data = fixture::IndexData("RDB$FOREIGN9", "EMPLOYEE", options);
    const fixture::SplitRuns split = fixture::SplitCompressed(fixture::Compress(data), 24);
    const Bytes firstPart = fixture::Decompress(split.first);

    struct Case {
        const char* label;
        std::uint16_t continuationRelation;
        std::uint8_t continuationFlags;
        std::uint32_t pageShift;  // added to the forward page
        std::uint16_t lineShift;  // added to the forward line
        std::uint8_t pageType;
    };
    const Case cases[] = {
        {"continuation of another relation", ods::kRelIndexSegments, ods::kFlagContinuation, 0, 0, ods::kDataPage},
        {"record without the continuation flag", kRelation, 0, 0, 0, ods::kDataPage},
        {"page beyond the end of the file", kRelation, ods::kFlagContinuation, 1000, 0, ods::kDataPage},
        {"line beyond the page's slots", kRelation, ods::kFlagContinuation, 0, 5, ods::kDataPage},
        {"page that is not a data page", kRelation, ods::kFlagContinuation, 0, 0, ods::kPointerPage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FixtureWriter writer(1024);
        const std::uint32_t page = writer.AddDataPage(c.continuationRelation, c.pageType);
        RecordHeaderOptions continuation;
        continuation.flags = c.continuationFlags;
        continuation.longHeader = false;
        const auto placed = writer.PlaceRecord(page, fixture::BuildStoredRecord(continuation, split.rest));
        ASSERT_TRUE(placed);
        RecordHeaderOptions first;
        first.flags = ods::kFlagFirstFragment;
        first.forwardPage = placed->page + c.pageShift;
        first.forwardLine = static_cast<std::uint16_t>(placed->slot + c.lineShift);
        const Bytes stored = fixture::BuildStoredRecord(first, split.first);

        ods::ReadingContext context;
        ASSERT_TRUE(context.OpenSource(writer.Source()));
        EXPECT_EQ(OpenedData(&context, stored), firstPart);
    }
}

TEST(CatalogueRecord, ChainOfFragmentsIsFollowedAndALoopEnds)
{
    fixture::IndexOptions options;
    options.segmentCount = 3;
    const Bytes data = fixture::IndexData("RDB$PRIMARY20", "SALARY_HISTORY", options);
    const Bytes runs = fixture::Compress(data);
    const fixture::SplitRuns head = fixture::SplitCompressed(runs, 20);
    const fixture::SplitRuns tail = fixture::SplitCompressed(head.rest, 20);

    FixtureWriter writer(1024);
    const std::uint32_t page = writer.AddDataPage(kRelation);
    RecordHeaderOptions last;
    last.flags = ods::kFlagContinuation;
    last.longHeader = false;
    const auto lastAt = writer.PlaceRecord(page, fixture::BuildStoredRecord(last, tail.rest));
    RecordHeaderOptions middle;
    middle.flags = ods::kFlagContinuation | ods::kFlagFirstFragment;
    middle.forwardPage = lastAt->page;
    middle.forwardLine = lastAt->slot;
    const auto middleAt = writer.PlaceRecord(page, fixture::BuildStoredRecord(middle, tail.first));
    // A middle link that names itself.
    middle.forwardLine = static_cast<std::uint16_t>(lastAt->slot + 2);
    const auto loopAt = writer.PlaceRecord(page, fixture::BuildStoredRecord(middle, tail.first));
    ASSERT_TRUE(lastAt && middleAt && loopAt);

    ods::ReadingContext context;
    ASSERT_TRUE(context.OpenSource(writer.Source()));
    RecordHeaderOptions first;
    first.flags = ods::kFlagFirstFragment;
    first.forwardPage = page;
    first.forwardLine = middleAt->slot;
    EXPECT_EQ(OpenedData(&context, fixture::BuildStoredRecord(first, head.first)), data);

    first.forwardLine = loopAt->slot;
    // The looping link is read once.
    Bytes once = head.first;
    once.insert(once.end(), tail.first.begin(), tail.first.end());
    EXPECT_EQ(OpenedData(&context, fixture::BuildStoredRecord(first, head.first)), fixture::Decompress(once));
}

TEST(CatalogueRecord, RunNamesContinueOverRepeatedCharacters)
{
    struct Case {
        const char* label;
        Runs runs;  // the runs after the control byte of the name's literal run
        std::uint8_t literal;
        std::string name;
        unsigned stored;
        int nextControl;  // the control byte the cursor is left on
    };
    const Case cases[] = {
        {"name followed by its blank filler", Runs().Raw({'C', 'I', 'T', 'Y'}).Repeat(63, ' '), 4, "CITY", 4, 0xc1},
        {"repeated digits after RDB$", Runs().Raw({'R', 'D', 'B', '$'}).Repeat(3, '1').Repeat(60, ' '), 4, "RDB$111",
         7, 0xc4},
        {"repeat then literal", Runs().Raw({'I', 'N', 'T', 'E', 'G', '_', '1'}).Repeat(3, '0').Literal("1").Repeat(56, ' '),
         7, "INTEG_10001", 11, 0xc8},
        {"zero run ends the name", Runs().Raw({'A', 'B'}).Repeat(65, 0), 2, "AB", 2, 0xbf},
        {"repeat reaching past the field width is not taken", Runs().Raw({'A', 'B'}).Repeat(66, 'x'), 2, "AB", 2, 0xbe},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = c.runs.Stream();
        unsigned stored = 0;
        EXPECT_EQ(ReadRunName(data, c.literal, &stored), c.name);
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(data.ReadByte(), c.nextControl);
    }
}

TEST(CatalogueRecord, FillerTestAndDecompressedValues)
{
    struct FillerCase {
        const char* label;
        Runs runs;
        bool passes;
    };
    const FillerCase fillers[] = {
        {"blank repeat run", Runs().Repeat(60, ' '), true},
        {"zero repeat run", Runs().Repeat(11, 0), true},
        {"repeat run of another byte", Runs().Repeat(3, '1'), false},
        {"literal run of blanks", Runs().Literal("  "), false},
        {"record ends", Runs(), false},
    };
    for (const FillerCase& c : fillers) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = c.runs.Stream();
        EXPECT_EQ(PassFiller(data), c.passes);
    }

    struct ValueCase {
        const char* label;
        Runs runs;
        std::optional<std::uint32_t> value;
    };
    const ValueCase values[] = {
        {"one literal run", Runs().Literal({0x01, 0x00}), 1},
        {"zero run covering the value", Runs().Repeat(5, 0).Literal({0x40}), 0},
        {"value across a literal and a zero run", Runs().Literal({0x02}).Repeat(4, 0), 2},
        {"record ends inside the value", Runs().Literal({0x02}), std::nullopt},
        {"literal run claiming more bytes than remain", Runs().Raw({0x7f, 0x03}), std::nullopt},
    };
    for (const ValueCase& c : values) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = c.runs.Stream();
        EXPECT_EQ(ReadDecompressed(data, 2), c.value);
    }
}

}  // namespace
}  // namespace ravelin::catalogue
