#include "catalogue/relationfieldwalk.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <memory>
#include <span>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/readers.h"
#include "catalogue/schemamodel.h"
#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "fixture/relationfieldrecords.h"
#include "fixture/relationrecords.h"
#include "job/frame.h"
#include "ods/constants.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue {
namespace {

// ---------------------------------------------------------------------------
// Raw record rows: a header and the runs as real files store them.

using Bytes = std::vector<std::uint8_t>;

// One run of compressed data: a literal run of its bytes, or count copies of
// one byte.
struct CompressedRun {
    std::string literal;
    unsigned count = 0;
    std::uint8_t byte = 0;
};

using Runs = std::vector<CompressedRun>;

CompressedRun L(std::string_view bytes)
{
    return CompressedRun{std::string(bytes), 0, 0};
}

CompressedRun R(unsigned count, std::uint8_t byte)
{
    return CompressedRun{{}, count, byte};
}

Bytes Encode(const Runs& runs)
{
    Bytes out;
    for (const CompressedRun& run : runs) {
        if (run.count == 0) {
            out.push_back(static_cast<std::uint8_t>(run.literal.size()));
            out.insert(out.end(), run.literal.begin(), run.literal.end());
        } else {
            out.push_back(static_cast<std::uint8_t>(256 - run.count));
            out.push_back(run.byte);
        }
    }
    return out;
}

void PutLe(Bytes& out, std::uint32_t value, int width)
{
    for (int k = 0; k < width; ++k)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

struct Header {
    std::uint32_t transaction = 1;
    std::uint16_t backLine = 0;
    std::uint8_t flags = 0;
    std::uint8_t flags2 = 0;
    std::uint8_t format = 1;
    std::uint32_t forwardPage = 0;
    std::uint16_t forwardLine = 0;
};

// 13-byte header, or 22 bytes when the flags carry a forward pointer.
Bytes StoredRecord(const Header& header, const Runs& runs)
{
    Bytes out;
    PutLe(out, header.transaction, 4);
    PutLe(out, 0, 4);
    PutLe(out, header.backLine, 2);
    out.push_back(header.flags);
    out.push_back(header.flags2);
    out.push_back(header.format);
    if (header.flags & 8) {
        out.insert(out.end(), {0x0c, 0xb8, 0xdf});
        PutLe(out, header.forwardPage, 4);
        PutLe(out, header.forwardLine, 2);
    }
    const Bytes data = Encode(runs);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

ods::RecordStream Stream(const Bytes& bytes)
{
    std::vector<std::byte> raw(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        raw[i] = static_cast<std::byte>(bytes[i]);
    return ods::RecordStream(std::move(raw));
}

// Continuation fragments by (page, line), as a lookup over memory.
using Fragments = std::map<std::pair<std::uint32_t, std::uint16_t>, Bytes>;

ContinuationLookup LookupIn(const Fragments& fragments, int* calls = nullptr)
{
    return [&fragments, calls](std::uint32_t page, std::uint16_t line) -> std::optional<ods::RecordStream> {
        if (calls)
            ++*calls;
        const auto found = fragments.find({page, line});
        if (found == fragments.end())
            return std::nullopt;
        return Stream(found->second);
    };
}

// Walks a record whose header the walk accepts (plain, or first fragment).
RelationFieldValues Walk(const Bytes& stored, const ContinuationLookup& lookup = {})
{
    ods::RecordStream record = Stream(stored);
    const ods::HeaderVerdict verdict = record.ReadRecordHeader(ods::HeaderVariant::RelationFields);
    EXPECT_TRUE(verdict == ods::HeaderVerdict::Accepted || verdict == ods::HeaderVerdict::AcceptedFirstFragment);
    return WalkRelationFieldRecord(record, verdict == ods::HeaderVerdict::AcceptedFirstFragment, lookup);
}

// The runs after the field source of a nullable column at declared position 4
// with field id 4 (a CITY column of an ODS 13 file).
Runs NullableTail()
{
    return {R(128, 0), R(128, 0), R(7, 0), L("\x04"), R(11, 0), L(std::string("\x01\x00\x04", 3)), R(128, 0), R(61, 0)};
}

Runs Join(Runs head, const Runs& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string Flags(std::string_view nullFlags, std::string_view name)
{
    return std::string(nullFlags) + std::string(name);
}

const std::string kTableFlags("\xb8\xdc\xfb\x00", 4);
const std::string kViewFlags("\xa8\xd8\xff\x00", 4);

// ---------------------------------------------------------------------------
// Classification and names, one group of cases per record shape.

TEST(ClassifyRelationFieldRecord, ShapesByFirstControlByteAndFlagByte)
{
    struct Case {
        std::uint8_t c1;
        std::uint8_t b1;
        RelationFieldShape shape;
    };
    const Case cases[] = {
        {0, 0xb8, RelationFieldShape::Unreadable},  {10, 0xb8, RelationFieldShape::D},
        {3, 0xb8, RelationFieldShape::D},           {71, 0xb8, RelationFieldShape::D},
        {72, 0xb8, RelationFieldShape::A},          {127, 0xb8, RelationFieldShape::A},
        {4, 0xb8, RelationFieldShape::B},           {12, 0xa8, RelationFieldShape::ViewColumn},
        {80, 0xa8, RelationFieldShape::ViewColumn}, {4, 0xa8, RelationFieldShape::ViewColumn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "c1 " << int(c.c1) << " b1 " << int(c.b1));
        EXPECT_EQ(ClassifyRelationFieldRecord(c.c1, c.b1), c.shape);
    }
}

struct NameCase {
    const char* name;
    Runs runs;
    RelationFieldShape shape;
    std::string column;
    std::string relation;
    std::string source;
};

void CheckNames(const NameCase& c)
{
    SCOPED_TRACE(c.name);
    const RelationFieldValues values = Walk(StoredRecord(Header{}, c.runs));
    EXPECT_EQ(values.shape, c.shape);
    EXPECT_EQ(values.columnName, c.column);
    EXPECT_EQ(values.relationName, c.relation);
    EXPECT_EQ(values.fieldSource, c.source);
}

const std::string kName67 = "A_COLUMN_NAME_THAT_FILLS_THE_WHOLE_SIXTY_SEVEN_BYTE_NAME_FIELD_XYZ9";

TEST(RelationFieldNames, ShapeD)
{
    ASSERT_EQ(kName67.size(), 67u);
    const NameCase cases[] = {
        {"each name a literal run padded by a blank run",
         Join({L(Flags(kTableFlags, "CITY")), R(63, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$5"), R(62, ' ')},
              NullableTail()),
         RelationFieldShape::D, "CITY", "CUSTOMER", "RDB$5"},
        {"generated field source whose digits repeat",
         Join({L(Flags(kTableFlags, "CITY")), R(63, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$"), R(3, '1'),
               R(60, ' ')},
              NullableTail()),
         RelationFieldShape::D, "CITY", "CUSTOMER", "RDB$111"},
        {"field source with digits repeated inside",
         Join({L(Flags(kTableFlags, "CITY")), R(63, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$1"), R(4, '0'),
               L("7"), R(57, ' ')},
              NullableTail()),
         RelationFieldShape::D, "CITY", "CUSTOMER", "RDB$100007"},
        {"relation name with a repeat run followed by a literal run",
         Join({L(Flags(kTableFlags, "CITY")), R(63, ' '), L("AB"), R(3, 'C'), L("DE"), R(60, ' '), L("RDB$5"),
               R(62, ' ')},
              NullableTail()),
         RelationFieldShape::D, "CITY", "ABCCCDE", "RDB$5"},
        {"column name continued by a repeat run",
         Join({L(Flags(kTableFlags, "ZI")), R(3, 'P'), L("X"), R(61, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$5"),
               R(62, ' ')},
              NullableTail()),
         RelationFieldShape::D, "ZIPPPX", "CUSTOMER", "RDB$5"},
        {"blanks inside names become underscores, not inside the field source",
         Join({L(Flags(kTableFlags, "LAST")), R(3, ' '), L("NAME"), R(56, ' '), L("MY TABLE"), R(59, ' '),
               L("MY"), R(4, ' '), L("DOMAIN"), R(55, ' ')},
              NullableTail()),
         RelationFieldShape::D, "LAST___NAME", "MY_TABLE", "MY    DOMAIN"},
        {"relation name filling its 67 bytes, field source starting in the same run",
         Join({L(Flags(kTableFlags, "CITY")), R(63, ' '), L(kName67 + "RDB$5"), R(62, ' ')}, NullableTail()),
         RelationFieldShape::D, "CITY", kName67, "RDB$5"},
        {"field source filling its 67 bytes without padding",
         Join({L(Flags(kTableFlags, "CITY")), R(63, ' '), L("CUSTOMER"), R(59, ' '), L(kName67)}, NullableTail()),
         RelationFieldShape::D, "CITY", "CUSTOMER", kName67},
        {"control byte below 4: the null flags over two runs",
         Join({L("\xb8\xdc"), L(std::string("\xfb\x00", 2) + "CITY"), R(63, ' '), L("CUSTOMER"), R(59, ' '),
               L("RDB$5"), R(62, ' ')},
              NullableTail()),
         RelationFieldShape::D, "CITY", "CUSTOMER", "RDB$5"},
    };
    for (const NameCase& c : cases)
        CheckNames(c);
}

TEST(RelationFieldNames, ShapeA)
{
    const NameCase cases[] = {
        {"whole unpadded column name and the start of the relation name in one run",
         Join({L(Flags(kTableFlags, kName67 + "CUST")), L("OMER"), R(59, ' '), L("RDB$5"), R(62, ' ')},
              NullableTail()),
         RelationFieldShape::A, kName67, "CUSTOMER", "RDB$5"},
        {"column and relation names both unpadded, one run holding the end of one and all of the other",
         Join({L(Flags(kTableFlags, kName67.substr(0, 50))), L(kName67.substr(50) + kName67 + "RDB$5"),
               R(62, ' ')},
              NullableTail()),
         RelationFieldShape::D, kName67, kName67, "RDB$5"},
        {"null flags stored as a repeat run",
         Join({R(4, 0xff), L("CITY"), R(63, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$5"), R(62, ' ')},
              NullableTail()),
         RelationFieldShape::A, "CITY", "CUSTOMER", "RDB$5"},
    };
    for (const NameCase& c : cases)
        CheckNames(c);
}

TEST(RelationFieldNames, ShapeB)
{
    const NameCase cases[] = {
        {"column name beginning with a repeat run",
         Join({L(kTableFlags), R(3, 'A'), L("BC"), R(62, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$5"), R(62, ' ')},
              NullableTail()),
         RelationFieldShape::B, "AAABC", "CUSTOMER", "RDB$5"},
        {"column and relation names that are one letter 67 times",
         Join({L(kTableFlags), R(67, 'X'), R(67, 'Y'), L("RDB$5"), R(62, ' ')}, NullableTail()),
         RelationFieldShape::B, std::string(67, 'X'), std::string(67, 'Y'), "RDB$5"},
    };
    for (const NameCase& c : cases)
        CheckNames(c);
}

TEST(RelationFieldNames, CutShortRecordKeepsTheNamesReadSoFar)
{
    const Runs whole = Join(
        {L(Flags(kTableFlags, "CITY")), R(63, ' '), L("CUSTOMER"), R(59, ' '), L("RDB$5"), R(62, ' ')},
        NullableTail());
    const Bytes full = StoredRecord(Header{}, whole);
    struct Case {
        const char* name;
        std::size_t keep;  // stored bytes kept
        std::string column, relation, source;
        std::int32_t position;
    };
    // Header 13, flags+CITY run 9, blank run 2, CUSTOMER run 9, blank run 2,
    // RDB$5 run 6, blank run 2, then the tail.
    const Case cases[] = {
        {"inside the column name's literal run", 13 + 6, "C", "", "", 0},
        {"after the column name", 13 + 11, "CITY", "", "", 0},
        {"inside the relation name", 13 + 11 + 5, "CITY", "CUST", "", 0},
        {"before the field source's padding", 13 + 11 + 11 + 6, "CITY", "CUSTOMER", "RDB$5", 0},
        {"one byte after the field source's padding", 13 + 11 + 11 + 8 + 1, "CITY", "CUSTOMER", "RDB$5", 0},
        {"whole record", full.size(), "CITY", "CUSTOMER", "RDB$5", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.keep));
        const RelationFieldValues values = Walk(cut);
        EXPECT_EQ(values.columnName, c.column);
        EXPECT_EQ(values.relationName, c.relation);
        EXPECT_EQ(values.fieldSource, c.source);
        EXPECT_EQ(values.position, c.position);
        if (c.position == 0) {
            EXPECT_EQ(values.fieldId, -1);
            EXPECT_EQ(values.notNull, 0);
        }
    }
}

TEST(RelationFieldNames, LiteralRunLongerThanTheRecordReadsOnlyItsBytes)
{
    // The control byte announces 100 bytes; the record ends after 10.
    Bytes stored = StoredRecord(Header{}, {});
    stored.push_back(100);
    for (char ch : Flags(kTableFlags, "CITYXY"))
        stored.push_back(static_cast<std::uint8_t>(ch));
    const RelationFieldValues values = Walk(stored);
    EXPECT_EQ(values.columnName, "CITYXY");
    EXPECT_EQ(values.relationName, "");
    EXPECT_EQ(values.fieldId, -1);
}

TEST(RelationFieldNames, ControlByteZeroEndsTheData)
{
    Bytes stored = StoredRecord(Header{}, {});
    stored.push_back(0);
    stored.push_back(0xb8);
    EXPECT_EQ(Walk(stored).shape, RelationFieldShape::Unreadable);

    // A zero control byte after the column name ends the walk there.
    Bytes cut = StoredRecord(Header{}, {L(Flags(kTableFlags, "CITY")), R(63, ' ')});
    const Bytes rest = Encode({L("CUSTOMER"), R(59, ' ')});
    cut.push_back(0);
    cut.insert(cut.end(), rest.begin(), rest.end());
    const RelationFieldValues values = Walk(cut);
    EXPECT_EQ(values.columnName, "CITY");
    EXPECT_EQ(values.relationName, "");
}

// ---------------------------------------------------------------------------
// The values after the names.

TEST(WalkColumnTail, ValuesOfRealRecords)
{
    struct Case {
        const char* name;
        Runs runs;
        std::int32_t position;
        std::int32_t fieldId;
        std::uint8_t notNull;
        std::uint8_t hasDefault;
        std::optional<std::uint16_t> defaultIndex;
    };
    const Runs custno = {L(std::string("\xb8\xdc\xfe\x00", 4) + "CUSTNO"), R(61, ' '), L("CUSTOMER"),
                                     R(59, ' '), L("RDB$1"), R(62, ' ')};
    const Case cases[] = {
        {"first column, not null (ODS 13)",
         Join(custno, {R(128, 0), R(128, 0), R(19, 0), L("\x01"), R(128, 0), R(31, 0), L("\x01"), R(31, 0)}), 1, 0,
         1, 0, std::nullopt},
        {"first column, not null (ODS 16, 2 more bytes)",
         Join(custno, {R(128, 0), R(128, 0), R(19, 0), L("\x01"), R(128, 0), R(31, 0), L("\x01"), R(33, 0)}), 1, 0,
         1, 0, std::nullopt},
        {"nullable column", Join(custno, NullableTail()), 5, 4, 0, 0, std::nullopt},
        {"declared position and field id differ, not null",
         Join(custno, {R(128, 0), R(128, 0), R(7, 0), L("\x05"), R(11, 0), L(std::string("\x01\x00\x01", 3)),
                       R(128, 0), R(29, 0), L("\x01"), R(31, 0)}),
         6, 1, 1, 0, std::nullopt},
        {"default, nullable (DEPARTMENT.PHONE_NO)",
         Join(custno, {R(128, 0), R(128, 0), R(7, 0), L("\x06"), R(11, 0), L(std::string("\x01\x00\x01", 3)),
                       R(13, 0), L("\x05"), R(128, 0), R(19, 0), L("\x05"), R(3, 0), L("\x01"), R(23, 0)}),
         7, 1, 0, 1, 1},
        {"default, not null (EMPLOYEE.HIRE_DATE)",
         Join(custno, {R(128, 0), R(128, 0), R(7, 0), L("\x04"), R(11, 0), L(std::string("\x01\x00\x01", 3)),
                       R(13, 0), L("\x05"), R(3, 0), L("\x02"), R(128, 0), R(11, 0), L("\x01"), R(3, 0), L("\x05"),
                       R(3, 0), L("\x03"), R(23, 0)}),
         5, 1, 1, 1, 3},
        {"default reference wider than 16 bits is not linked",
         Join(custno, {R(128, 0), R(128, 0), R(7, 0), L("\x04"), R(11, 0), L(std::string("\x01\x00\x01", 3)),
                       R(13, 0), L("\x05"), R(3, 0), L("\x02"), R(128, 0), R(11, 0), L("\x01"), R(3, 0), L("\x05"),
                       R(3, 0), L(std::string("\x03\x00\x01", 3)), R(21, 0)}),
         5, 1, 1, 1, std::nullopt},
        {"blob ids of another relation are no default",
         Join(custno, {R(128, 0), R(128, 0), R(7, 0), L("\x04"), R(11, 0), L(std::string("\x01\x00\x01", 3)),
                       R(13, 0), L("\x06"), R(3, 0), L("\x02"), R(128, 0), R(15, 0), L("\x07"), R(3, 0), L("\x03"),
                       R(23, 0)}),
         5, 1, 0, 0, std::nullopt},
        {"record ending inside the null flag",
         Join(custno, {R(128, 0), R(128, 0), R(19, 0), L("\x01"), R(128, 0), R(31, 0), L("\x01")}), 1, 0, 0, 0,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RelationFieldValues values = Walk(StoredRecord(Header{}, c.runs));
        EXPECT_EQ(values.position, c.position);
        EXPECT_EQ(values.fieldId, c.fieldId);
        EXPECT_EQ(values.notNull, c.notNull);
        EXPECT_EQ(values.hasDefault, c.hasDefault);
        EXPECT_EQ(values.defaultIndex, c.defaultIndex);
    }
}

TEST(ReadViewColumnRecord, NamesAndTailOfARealViewColumn)
{
    const Runs runs = {L(Flags(kViewFlags, "PHONE_NO")), R(59, ' '), L("PHONE_LIST"), R(57, ' '),
                                   L("PHONENUMBER"), R(56, ' '), R(67, 0), L("PHONE_NO"), R(59, ' '), R(128, 0),
                                   L(std::string("\x00\x05", 2)), R(15, 0), L("\x02"), R(128, 0), R(59, 0)};
    const RelationFieldValues values = Walk(StoredRecord(Header{2}, runs));
    EXPECT_EQ(values.shape, RelationFieldShape::ViewColumn);
    EXPECT_EQ(values.columnName, "PHONE_NO");
    EXPECT_EQ(values.relationName, "PHONE_LIST");
    EXPECT_EQ(values.fieldSource, "PHONENUMBER");
    EXPECT_EQ(values.baseField, "PHONE_NO");
    EXPECT_EQ(values.position, 6);
    EXPECT_EQ(values.fieldId, 0);
}

// ---------------------------------------------------------------------------
// Fragmented records: the forward pointer leads to the continuation.

Header FirstFragment(std::uint32_t page, std::uint16_t line)
{
    Header header;
    header.flags = 8;
    header.forwardPage = page;
    header.forwardLine = line;
    return header;
}

Header Continuation(std::uint32_t transaction = 1, std::uint8_t flags = 4)
{
    Header header;
    header.transaction = transaction;
    header.flags = flags;
    return header;
}

TEST(WalkContinuationFragment, ValuesFoundInTheContinuation)
{
    // EMPLOYEE.GDB JOB.JOB_TITLE: the first fragment ends right after the
    // update flag; field id 5 and the null flag are in the continuation.
    const Bytes first = StoredRecord(
        FirstFragment(357, 6), {L(std::string("\xb8\xdc\xfa\x00", 4) + "JOB_TITLE"), R(58, ' '), L("JOB"),
                                R(64, ' '), L("RDB$2"), R(62, ' '), R(128, 0), R(128, 0), R(7, 0), L("\x03"),
                                R(11, 0), L("\x01")});
    // MASTSQL.GDB VENDORS.ADDRESS1: the first fragment ends with a zero byte
    // inside the padding before the position.
    Bytes firstWithZero = StoredRecord(FirstFragment(238, 4), {L(Flags(kTableFlags, "ADDRESS1")), R(59, ' '),
                                                               L("VENDORS"), R(60, ' '), L("RDB$57"), R(61, ' '),
                                                               R(128, 0)});
    firstWithZero.push_back(0);
    const Fragments fragments = {
        {{357, 6}, StoredRecord(Continuation(1), {L(std::string("\x00\x05", 2)), R(128, 0), R(29, 0), L("\x01"),
                                                   R(31, 0)})},
        {{238, 4}, StoredRecord(Continuation(37), {R(128, 0), R(7, 0), L("\x02"), R(11, 0),
                                                    L(std::string("\x01\x00\x02", 3)), R(128, 0), R(61, 0)})},
        // Continuations with transaction 0 (ODS 16 files).
        {{264, 3}, StoredRecord(Continuation(0), {L(std::string("\x00\x05", 2)), R(128, 0), R(29, 0), L("\x01"),
                                                   R(31, 0)})},
    };
    struct Case {
        const char* name;
        Bytes first;
        std::string column;
        std::int32_t position;
        std::int32_t fieldId;
        std::uint8_t notNull;
    };
    Bytes firstOds16 = first;
    firstOds16[16] = 8;  // forward page 264 (0x108)
    firstOds16[17] = 1;
    firstOds16[20] = 3;
    const Case cases[] = {
        {"split after the update flag", first, "JOB_TITLE", 4, 5, 1},
        {"split inside the padding, first fragment ends with a zero byte", firstWithZero, "ADDRESS1", 3, 2, 0},
        {"continuation with transaction 0", firstOds16, "JOB_TITLE", 4, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RelationFieldValues values = Walk(c.first, LookupIn(fragments));
        EXPECT_TRUE(values.firstFragment);
        EXPECT_TRUE(values.continuationRead);
        EXPECT_EQ(values.columnName, c.column);
        EXPECT_EQ(values.position, c.position);
        EXPECT_EQ(values.fieldId, c.fieldId);
        EXPECT_EQ(values.notNull, c.notNull);
    }
}

TEST(WalkContinuationFragment, PointersThatLeadNowhereUsefulAreNotFollowed)
{
    const Runs firstRuns = {L(std::string("\xb8\xdc\xfa\x00", 4) + "JOB_TITLE"), R(58, ' '), L("JOB"),
                                        R(64, ' '), L("RDB$2"), R(62, ' '), R(128, 0), R(128, 0), R(7, 0), L("\x03"),
                                        R(11, 0), L("\x01")};
    const Runs tail = {L(std::string("\x00\x05", 2)), R(128, 0), R(29, 0), L("\x01"), R(31, 0)};
    struct Case {
        const char* name;
        Fragments fragments;
        bool read;
        std::int32_t fieldId;
    };
    const Case cases[] = {
        {"no record there", {}, false, -1},
        {"a plain record, not a continuation", {{{9, 1}, StoredRecord(Header{}, tail)}}, false, -1},
        {"a first fragment, not a continuation", {{{9, 1}, StoredRecord(FirstFragment(9, 2), tail)}}, false, -1},
        {"a continuation too short for its header", {{{9, 1}, Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4}}}, false, -1},
        {"the continuation", {{{9, 1}, StoredRecord(Continuation(), tail)}}, true, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RelationFieldValues values = Walk(StoredRecord(FirstFragment(9, 1), firstRuns), LookupIn(c.fragments));
        EXPECT_EQ(values.continuationRead, c.read);
        EXPECT_EQ(values.columnName, "JOB_TITLE");
        EXPECT_EQ(values.position, 4);
        EXPECT_EQ(values.fieldId, c.fieldId);
    }
}

TEST(WalkContinuationFragment, ChainsAreFollowedAndLoopsEnd)
{
    const Runs firstRuns = {L(std::string("\xb8\xdc\xfa\x00", 4) + "JOB_TITLE"), R(58, ' '), L("JOB"),
                                        R(64, ' '), L("RDB$2"), R(62, ' '), R(128, 0)};
    // A middle fragment (flags 12) continues at (9, 2).
    Header middle = FirstFragment(9, 2);
    middle.flags = 12;
    const Fragments chain = {
        {{9, 1}, StoredRecord(middle, {R(128, 0), R(7, 0), L("\x03"), R(11, 0)})},
        {{9, 2}, StoredRecord(Continuation(), {L(std::string("\x01\x00\x05", 3)), R(128, 0), R(29, 0), L("\x01"),
                                                R(31, 0)})},
    };
    const RelationFieldValues values = Walk(StoredRecord(FirstFragment(9, 1), firstRuns), LookupIn(chain));
    EXPECT_EQ(values.position, 4);
    EXPECT_EQ(values.fieldId, 5);
    EXPECT_EQ(values.notNull, 1);

    // A middle fragment pointing back at itself is read once; the record it
    // leaves incomplete gets no values from it.
    Header loop = FirstFragment(9, 1);
    loop.flags = 12;
    const Fragments loops = {{{9, 1}, StoredRecord(loop, {R(128, 0), R(7, 0), L("\x03"), R(11, 0)})}};
    int calls = 0;
    const RelationFieldValues looped = Walk(StoredRecord(FirstFragment(9, 1), firstRuns), LookupIn(loops, &calls));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(looped.continuationRead);
    EXPECT_EQ(looped.position, 0);
    EXPECT_EQ(looped.fieldId, -1);
}

// ---------------------------------------------------------------------------
// Default texts held by blob records of relation 5.

Bytes BlobRecord(std::string_view text, std::uint16_t segmentWord = 0x10, std::uint16_t skip = 16,
                 std::optional<std::uint16_t> length = std::nullopt)
{
    Bytes out;
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, segmentWord, 2);
    PutLe(out, skip, 2);
    for (unsigned i = 0; i < skip; ++i)
        out.push_back(0x5a);
    PutLe(out, length.value_or(static_cast<std::uint16_t>(text.size())), 2);
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

TEST(ReadDefaultSourceText, TheValueAfterTheWordDefault)
{
    struct Case {
        const char* name;
        Bytes record;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {"number", BlobRecord("DEFAULT 0"), "0"},
        {"quoted text", BlobRecord("DEFAULT 'new'"), "'new'"},
        {"word stored after a blank", BlobRecord(" DEFAULT '555-1234'"), "'555-1234'"},
        {"word in lower case", BlobRecord("default 'n'"), "'n'"},
        {"several blanks and a line break", BlobRecord("DEFAULT \r\n  CURRENT_TIMESTAMP"), "CURRENT_TIMESTAMP"},
        {"value with blanks inside", BlobRecord("DEFAULT 'a  b'"), "'a  b'"},
        {"no skip bytes", BlobRecord("DEFAULT 1", 0x10, 0), "1"},
        {"blob of a value, not a source", BlobRecord(std::string_view("\x05\x15\x0f\x00\x00\x08\x00" "555-1234L", 16)),
         std::nullopt},
        {"another word", BlobRecord("DEFAULTS 1"), std::nullopt},
        {"the word alone", BlobRecord("DEFAULT  "), std::nullopt},
        {"length past the record's end", BlobRecord("DEFAULT 7", 0x10, 16, 900), "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ods::RecordStream record = Stream(c.record);
        record.SeekTo(10);
        EXPECT_EQ(ReadDefaultSourceText(record), c.text);
    }
    // A skip count reaching past the record leaves nothing to read.
    Bytes bad = BlobRecord("DEFAULT 7");
    bad[10] = 0xff;
    bad[11] = 0xff;
    ods::RecordStream record = Stream(bad);
    record.SeekTo(10);
    EXPECT_EQ(ReadDefaultSourceText(record), std::nullopt);
}

// ---------------------------------------------------------------------------
// The walk into the schema model.

// A table column record with a field id, declared position and null flag.
Bytes ColumnRecord(const std::string& column, const std::string& relation, const std::string& source,
                   std::uint8_t fieldId, std::uint8_t position, bool notNull, const Header& header = Header{})
{
    Runs runs = {L(Flags(notNull ? std::string("\xb8\xdc\xfa\x00", 4) : kTableFlags, column)),
                             R(static_cast<unsigned>(67 - column.size()), ' '),
                             L(relation),
                             R(static_cast<unsigned>(67 - relation.size()), ' '),
                             L(source),
                             R(static_cast<unsigned>(67 - source.size()), ' '),
                             R(128, 0),
                             R(128, 0),
                             R(7, 0),
                             L(std::string(1, static_cast<char>(position))),
                             R(11, 0),
                             L(std::string("\x01\x00", 2) + std::string(1, static_cast<char>(fieldId))),
                             R(128, 0),
                             R(29, 0),
                             L(notNull ? "\x01" : "\x02"),
                             R(31, 0)};
    if (!notNull)
        runs[14] = R(1, 0);
    return StoredRecord(header, runs);
}

struct WalkFixture {
    SchemaModel model;
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    Fragments fragments;
    RelationFieldsWalk walk{model, &link, LookupIn(fragments)};

    void Visit(const Bytes& stored)
    {
        ods::RecordStream record = Stream(stored);
        walk.ReadRelationFieldRecord(record);
    }
    std::vector<std::string> ColumnNames(const std::string& table) const
    {
        std::vector<std::string> names;
        if (const TableNode* node = model.FindTable(table))
            for (const COLUMN& column : node->columns)
                names.push_back(column.name);
        return names;
    }
};

TEST(RelationFieldsWalk, HeaderTestsDecideWhichRecordsMakeColumns)
{
    struct Case {
        const char* name;
        Header header;
        bool column;
    };
    Header backVersion;
    backVersion.backLine = 3;
    Header format0;
    format0.format = 0;
    Header format2;
    format2.format = 2;
    Header ods16;
    ods16.format = 0;
    ods16.flags2 = 0x20;
    Header deleted;
    deleted.flags = 1;
    const Case cases[] = {
        {"format 1 (ODS 13)", Header{}, true},
        {"format 0 (ODS 15/16)", format0, true},
        {"byte 11 set (ODS 16)", ods16, true},
        {"back version", backVersion, false},
        {"format 2", format2, false},
        {"other flags", deleted, false},
        {"continuation met on its own", Continuation(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WalkFixture f;
        f.model.relations.push_back(TABLEIDNAME{"CUSTOMER", 128, 3});
        f.Visit(ColumnRecord("CITY", "CUSTOMER", "RDB$5", 4, 4, false, c.header));
        EXPECT_EQ(f.model.tables.size(), c.column ? 1u : 0u);
        EXPECT_TRUE(f.frame.logLines.empty());
    }
}

TEST(RelationFieldsWalk, ColumnsGetTheirValuesAndTablesTheirIds)
{
    WalkFixture f;
    f.model.relations.push_back(TABLEIDNAME{"COUNTRY", 128, 2});
    f.Visit(ColumnRecord("CURRENCY", "COUNTRY", "RDB$1", 0, 1, true));
    f.Visit(ColumnRecord("COUNTRY", "COUNTRY", "COUNTRYNAME", 1, 0, false));
    ASSERT_EQ(f.model.tables.size(), 1u);
    const TableNode& table = f.model.tables[0];
    EXPECT_EQ(table.relationId, 128u);
    EXPECT_EQ(table.fieldIdCount, 2u);
    ASSERT_EQ(table.columns.size(), 2u);
    EXPECT_EQ(table.columns[0].name, "CURRENCY");
    EXPECT_EQ(table.columns[0].fieldSource, "RDB$1");
    EXPECT_EQ(table.columns[0].notNull, 1);
    EXPECT_EQ(table.columns[0].position, 2);
    EXPECT_EQ(table.columns[0].typeCode, 0);
    EXPECT_EQ(table.columns[1].notNull, 0);
    EXPECT_TRUE(f.model.notNullSources.empty());
    EXPECT_TRUE(f.frame.logLines.empty());
}

TEST(RelationFieldsWalk, RelationWithoutCatalogueEntryIsCreatedWithIdZeroAndLoggedOnce)
{
    WalkFixture f;
    f.Visit(ColumnRecord("A", "ORPHAN", "RDB$1", 0, 0, false));
    f.Visit(ColumnRecord("B", "ORPHAN", "RDB$2", 1, 1, false));
    ASSERT_EQ(f.model.tables.size(), 1u);
    EXPECT_EQ(f.model.tables[0].relationId, 0u);
    EXPECT_EQ(f.ColumnNames("ORPHAN"), (std::vector<std::string>{"A", "B"}));
    ASSERT_EQ(f.frame.logLines.size(), 1u);
    EXPECT_NE(f.frame.logLines[0].find("ORPHAN"), std::string::npos);
}

TEST(RelationFieldsWalk, FinishPutsColumnsInFieldIdOrder)
{
    struct Column {
        const char* name;
        int fieldId;  // -1: the record ends before its field id
    };
    struct Case {
        const char* name;
        std::vector<Column> met;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"met in reverse", {{"C", 2}, {"B", 1}, {"A", 0}}, {"A", "B", "C"}},
        {"met shuffled", {{"B", 1}, {"D", 3}, {"A", 0}, {"C", 2}}, {"A", "B", "C", "D"}},
        {"equal ids keep their order", {{"B", 1}, {"X", 0}, {"A", 1}}, {"X", "B", "A"}},
        {"a column without field id keeps the order met", {{"C", 2}, {"B", -1}, {"A", 0}}, {"C", "B", "A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WalkFixture f;
        f.model.relations.push_back(TABLEIDNAME{"T", 130, 0});
        f.model.relations.push_back(TABLEIDNAME{"OTHER", 131, 0});
        std::uint8_t position = 0;
        for (const Column& column : c.met) {
            Bytes stored = ColumnRecord(column.name, "T", "RDB$9", static_cast<std::uint8_t>(std::max(column.fieldId, 0)),
                                        position++, false);
            if (column.fieldId < 0)
                stored.resize(stored.size() - 12);  // ends inside the padding before the position
            f.Visit(stored);
            // Another table's columns in between change nothing.
            f.Visit(ColumnRecord(std::string("O") + column.name, "OTHER", "RDB$8", 0, 0, false));
        }
        f.walk.Finish();
        EXPECT_EQ(f.ColumnNames("T"), c.expected);
        EXPECT_EQ(f.model.tables.size(), 2u);
    }
}

TEST(RelationFieldsWalk, FragmentedColumnGetsItsNullFlagFromItsOwnContinuation)
{
    // Two fragmented columns of one domain: DEPARTMENT.HEAD_DEPT is nullable,
    // PROJ_DEPT_BUDGET.DEPT_NO is NOT NULL (as in EMPLOYEE.GDB).
    WalkFixture f;
    f.model.relations.push_back(TABLEIDNAME{"DEPARTMENT", 130, 7});
    f.model.relations.push_back(TABLEIDNAME{"PROJ_DEPT_BUDGET", 134, 5});
    const Runs head = {R(128, 0), R(128, 0), R(7, 0), L("\x02"), R(11, 0), L("\x01")};
    f.fragments[{9, 1}] = StoredRecord(Continuation(), {L(std::string("\x00\x03", 2)), R(128, 0), R(29, 0),
                                                         L("\x01"), R(31, 0)});
    f.fragments[{9, 2}] = StoredRecord(Continuation(), {L(std::string("\x00\x04", 2)), R(128, 0), R(61, 0)});
    f.Visit(StoredRecord(FirstFragment(9, 1), Join({L(Flags(kTableFlags, "DEPT_NO")), R(60, ' '),
                                                    L("PROJ_DEPT_BUDGET"), R(51, ' '), L("DEPTNO"), R(61, ' ')},
                                                   head)));
    f.Visit(StoredRecord(FirstFragment(9, 2), Join({L(Flags(kTableFlags, "HEAD_DEPT")), R(58, ' '),
                                                    L("DEPARTMENT"), R(57, ' '), L("DEPTNO"), R(61, ' ')},
                                                   head)));
    // The continuations met on their own add nothing.
    f.Visit(f.fragments[{9, 1}]);
    f.Visit(f.fragments[{9, 2}]);

    ASSERT_NE(f.model.FindTable("DEPARTMENT"), nullptr);
    ASSERT_NE(f.model.FindTable("PROJ_DEPT_BUDGET"), nullptr);
    const std::vector<COLUMN>& budget = f.model.FindTable("PROJ_DEPT_BUDGET")->columns;
    const std::vector<COLUMN>& department = f.model.FindTable("DEPARTMENT")->columns;
    ASSERT_EQ(budget.size(), 1u);
    ASSERT_EQ(department.size(), 1u);
    EXPECT_EQ(budget[0].notNull, 1);
    EXPECT_EQ(budget[0].position, 3);
    EXPECT_EQ(department[0].notNull, 0);
    // The flag is on the column itself: no marker by field source, which the
    // nullable column of the same domain would pick up.
    EXPECT_TRUE(f.model.notNullSources.empty());
    EXPECT_EQ(f.model.pendingSources, (std::vector<std::string>{"DEPTNO", "DEPTNO"}));
}

TEST(RelationFieldsWalk, ViewColumnsGoToTheViewList)
{
    WalkFixture f;
    f.Visit(StoredRecord(Header{2}, {L(Flags(kViewFlags, "LAST_NAME")), R(58, ' '), L("PHONE_LIST"), R(57, ' '),
                                     L("LASTNAME"), R(59, ' '), R(67, 0), L("LAST_NAME"), R(58, ' '), R(128, 0),
                                     L(std::string("\x00\x02", 2)), R(13, 0), L(std::string("\x02\x00\x01", 3)),
                                     R(128, 0), R(59, 0)}));
    EXPECT_TRUE(f.model.tables.empty());
    ASSERT_EQ(f.model.views.size(), 1u);
    EXPECT_EQ(f.model.views[0].name, "PHONE_LIST");
    ASSERT_EQ(f.model.views[0].columns.size(), 1u);
    const VIEWCOLUMN& column = f.model.views[0].columns[0];
    EXPECT_EQ(column.columnName, "LAST_NAME");
    EXPECT_EQ(column.fieldSource, "LASTNAME");
    EXPECT_EQ(column.sourceText, "LAST_NAME");
    EXPECT_EQ(column.position, 3);
    EXPECT_TRUE(f.frame.logLines.empty());
}

TEST(RelationFieldsWalk, DefaultsAndStoredTexts)
{
    WalkFixture f;
    f.model.relations.push_back(TABLEIDNAME{"DEPARTMENT", 130, 7});
    // A default text stored on a data page (transaction 0).
    f.Visit(BlobRecord("DEFAULT '555-1234'"));
    f.Visit(BlobRecord("DEFAULT 9", 0));  // zero word at 8: no blob
    // A system column (transaction 0) is no default text either.
    f.Visit(StoredRecord(Header{0}, {L(Flags(kTableFlags, "RDB$DESCRIPTION")), R(52, ' ')}));
    EXPECT_EQ(f.model.defaultTexts, (std::vector<std::string>{"'555-1234'"}));

    f.Visit(StoredRecord(
        Header{}, {L(std::string("\xb8\xcc\xfd\x00", 4) + "PHONE_NO"), R(59, ' '), L("DEPARTMENT"), R(57, ' '),
                   L("PHONENUMBER"), R(56, ' '), R(128, 0), R(128, 0), R(7, 0), L("\x06"), R(11, 0),
                   L(std::string("\x01\x00\x01", 3)), R(13, 0), L("\x05"), R(128, 0), R(19, 0), L("\x05"), R(3, 0),
                   L("\x01"), R(23, 0)}));
    // The next column has no default of its own.
    f.Visit(ColumnRecord("BUDGET", "DEPARTMENT", "BUDGET", 0, 4, false));
    const std::vector<COLUMN>& columns = f.model.FindTable("DEPARTMENT")->columns;
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].hasDefault, 1);
    EXPECT_EQ(columns[1].hasDefault, 0);
    ASSERT_EQ(f.model.columnDefaults.size(), 1u);
    EXPECT_EQ(f.model.columnDefaults[0].name, "PHONENUMBER");
    EXPECT_EQ(f.model.columnDefaults[0].defaultIndex, 1);
}

TEST(RelationFieldsWalk, RecordsWithoutRelationNameMakeNothing)
{
    WalkFixture f;
    f.Visit(StoredRecord(Header{}, {L(Flags(kTableFlags, "CITY")), R(63, ' ')}));
    f.Visit(StoredRecord(Header{}, {L(kTableFlags), R(67, ' '), R(67, ' '), L("RDB$5"), R(62, ' ')}));
    f.Visit(StoredRecord(Header{}, {}));
    EXPECT_TRUE(f.model.tables.empty());
    EXPECT_TRUE(f.model.views.empty());
    EXPECT_TRUE(f.frame.logLines.empty());
}


// ---------------------------------------------------------------------------
// Whole walks over database images.

using fixture::FixtureWriter;
using fixture::RelationFieldOptions;

RelationFieldOptions Options(int ods, std::uint16_t position, std::uint16_t fieldId, bool notNull = false)
{
    RelationFieldOptions options;
    options.ods = ods;
    options.position = position;
    options.fieldId = fieldId;
    options.notNull = notNull;
    return options;
}

// A reading context, page lists and model over an image, and the readers'
// entry points run the way the scan driver runs them.
struct ImageScan {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    fixture::RecordingFrame frame;
    std::uint16_t tableCount = 0;

    bool Open(std::unique_ptr<ods::PageSource> source) { return context.OpenSource(std::move(source)); }
    CatalogueContext Context(job::WorkerLink& link) { return CatalogueContext{context, lists, model, link, tableCount}; }

    // The node of relation 5 pages of the given type, built from the image's
    // pages from page 80 on.
    ods::PageListNode Node(std::uint8_t pageType)
    {
        ods::PageListNode node{ods::kRelRelationFields, pageType, {}};
        for (std::uint64_t page = ods::kFirstScannedPage; page < context.PageCount(); ++page) {
            std::array<std::byte, 22> head{};
            context.ReadAt(page * context.pageSize, head);
            const unsigned relation = std::to_integer<unsigned>(head[20]) | (std::to_integer<unsigned>(head[21]) << 8);
            if (std::to_integer<unsigned>(head[0]) == pageType && relation == ods::kRelRelationFields)
                node.pagePositions.push_back(page * context.pageSize);
        }
        return node;
    }
    void ReadColumns()
    {
        job::WorkerLink link = frame.Link();
        CatalogueContext scan = Context(link);
        ReadRelationFields(scan, Node(ods::kDataPage));
    }
    void ReadTexts()
    {
        job::WorkerLink link = frame.Link();
        CatalogueContext scan = Context(link);
        ReadDefaultTexts(scan, Node(ods::kType12Page));
    }
    std::vector<std::string> ColumnNames(const std::string& table) const
    {
        std::vector<std::string> names;
        if (const TableNode* node = model.FindTable(table))
            for (const COLUMN& column : node->columns)
                names.push_back(column.name);
        return names;
    }
};

TEST(FileContinuationLookup, OnlyARecordOnARelationFieldsDataPageInsideTheFile)
{
    FixtureWriter writer(1024);
    const std::uint32_t dataPage = writer.AddDataPage(ods::kRelRelationFields);
    const std::uint32_t otherRelation = writer.AddDataPage(ods::kRelRelations);
    const std::uint32_t type12 = writer.AddDataPage(ods::kRelRelationFields, ods::kType12Page);
    const fixture::Bytes stored = fixture::BuildStoredRecord({}, fixture::ToBytes("continued"));
    for (std::uint32_t page : {dataPage, otherRelation, type12})
        ASSERT_TRUE(writer.PlaceRecord(page, stored));
    writer.AddEmptySlot(dataPage);
    ods::ReadingContext context;
    ASSERT_TRUE(context.OpenSource(writer.Source()));
    const ContinuationLookup lookup = FileContinuationLookup(context);

    struct Case {
        const char* name;
        std::uint32_t page;
        std::uint16_t line;
        bool found;
    };
    const Case cases[] = {
        {"record on a relation-5 data page", dataPage, 0, true},
        {"empty slot", dataPage, 1, false},
        {"line past the slot count", dataPage, 2, false},
        {"line far past the page", dataPage, 0xffff, false},
        {"data page of another relation", otherRelation, 0, false},
        {"type-12 page", type12, 0, false},
        {"system page", 3, 0, false},
        {"page past the end of the file", writer.pageCount(), 0, false},
        {"page number far past the file", 0xfffffff0u, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<ods::RecordStream> record = lookup(c.page, c.line);
        ASSERT_EQ(record.has_value(), c.found);
        if (record) {
            EXPECT_EQ(record->size(), stored.size());
        }
    }
}

TEST(ReadRelationFields, FragmentedTablesOfEveryOdsInPhysicalOrder)
{
    for (int ods : {13, 15, 16}) {
        SCOPED_TRACE(testing::Message() << "ODS " << ods);
        FixtureWriter writer(1024, static_cast<std::uint16_t>(ods));
        writer.AddDataPage(ods::kRelRelationFields);
        const std::uint32_t spill = writer.AddDataPage(ods::kRelRelationFields);
        writer.AddDataPage(ods::kRelRelationFields);  // the current page for first fragments

        // Met in another order than the field ids; two of them fragmented at
        // different places, one NOT NULL with its flag in the continuation.
        const RelationFieldOptions title = Options(ods, 3, 2, true);
        const RelationFieldOptions code = Options(ods, 0, 3, true);
        const RelationFieldOptions grade = Options(ods, 1, 0);
        const RelationFieldOptions country = Options(ods, 2, 1, true);
        fixture::AddFragmentedRelationFieldRecord(writer, spill, 40, "JOB_TITLE", "JOB", "RDB$2", title);
        fixture::AddRelationFieldRecord(writer, "JOB_CODE", "JOB", "JOBCODE", code);
        fixture::AddFragmentedRelationFieldRecord(writer, spill, 33, "JOB_GRADE", "JOB", "JOBGRADE", grade);
        fixture::AddRelationFieldRecord(writer, "JOB_COUNTRY", "JOB", "COUNTRYNAME", country);

        ImageScan scan;
        ASSERT_TRUE(scan.Open(writer.Source()));
        scan.model.relations.push_back(TABLEIDNAME{"JOB", 129, 4});
        scan.ReadColumns();
        EXPECT_EQ(scan.ColumnNames("JOB"),
                  (std::vector<std::string>{"JOB_GRADE", "JOB_COUNTRY", "JOB_TITLE", "JOB_CODE"}));
        const std::vector<COLUMN>& columns = scan.model.FindTable("JOB")->columns;
        ASSERT_EQ(columns.size(), 4u);
        EXPECT_EQ(columns[0].notNull, 0);
        EXPECT_EQ(columns[1].notNull, 1);
        EXPECT_EQ(columns[2].notNull, 1);
        EXPECT_EQ(columns[2].position, 4);
        EXPECT_EQ(columns[2].fieldSource, "RDB$2");
        EXPECT_TRUE(scan.frame.logLines.empty());
    }
}

TEST(ReadRelationFields, ProgressPerNodePageAndSlot)
{
    FixtureWriter writer(1024);
    for (int i = 0; i < 3; ++i)
        fixture::AddRelationFieldRecord(writer, "C" + std::to_string(i), "T", "RDB$" + std::to_string(i),
                                        Options(13, static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(i)));
    const std::uint32_t second = writer.AddDataPage(ods::kRelRelationFields);
    writer.AddEmptySlot(second);
    fixture::AddRelationFieldRecord(writer, "C3", "T", "RDB$3", Options(13, 3, 3));

    ImageScan scan;
    ASSERT_TRUE(scan.Open(writer.Source()));
    scan.ReadColumns();
    using Sent = fixture::RecordingFrame::Sent;
    const std::uint32_t P = job::UM_PROGRESS;
    const std::vector<Sent> expected = {
        {P, 1, 2},                                     // the node: 2 pages
        {P, 1, 3}, {P, 2, 0}, {P, 2, 0}, {P, 2, 0}, {P, 3, 0},  // first page, 3 slots
        {P, 1, 2}, {P, 2, 0}, {P, 2, 0}, {P, 3, 0},  // second page: an empty slot and a record
    };
    EXPECT_EQ(scan.frame.Progress(), expected);
    EXPECT_EQ(scan.ColumnNames("T"), (std::vector<std::string>{"C0", "C1", "C2", "C3"}));
    // No TABLEIDNAME for T: one line says so.
    EXPECT_EQ(scan.frame.logLines.size(), 1u);
}

TEST(ReadRelationFields, StopEndsTheWalkAndKeepsWhatWasRead)
{
    FixtureWriter writer(1024);
    for (int i = 0; i < 6; ++i)
        fixture::AddRelationFieldRecord(writer, "C" + std::to_string(i), "T", "RDB$" + std::to_string(i),
                                        Options(13, static_cast<std::uint16_t>(5 - i), static_cast<std::uint16_t>(5 - i)));
    ImageScan scan;
    ASSERT_TRUE(scan.Open(writer.Source()));
    scan.model.relations.push_back(TABLEIDNAME{"T", 128, 6});
    int steps = 0;
    scan.frame.onSend = [&](const fixture::RecordingFrame::Sent& sent) {
        if (sent.message == job::UM_PROGRESS && sent.wParam == job::kProgressStep && ++steps == 3)
            scan.frame.stopRequested = true;
    };
    scan.ReadColumns();
    // Three records read, then put in field-id order.
    EXPECT_EQ(scan.ColumnNames("T"), (std::vector<std::string>{"C2", "C1", "C0"}));
}

TEST(ReadDefaultTexts, OneIndexPerBlobRecordAndProgress)
{
    FixtureWriter writer(1024);
    const std::uint32_t page = writer.AddDataPage(ods::kRelRelationFields, ods::kType12Page);
    const fixture::Bytes value = fixture::DefaultSourceBlobRecord(std::string("\x05\x15\x0f\x00\x00\x08\x00", 7));
    ASSERT_TRUE(writer.PlaceRecord(page, value));
    ASSERT_TRUE(writer.PlaceRecord(page, fixture::DefaultSourceBlobRecord(" DEFAULT '555-1234'")));
    writer.AddEmptySlot(page);
    fixture::Bytes notBlob = fixture::DefaultSourceBlobRecord("DEFAULT 1");
    notBlob[0] = std::byte{1};  // a transaction: not a blob record
    ASSERT_TRUE(writer.PlaceRecord(page, notBlob));
    ASSERT_TRUE(writer.PlaceRecord(page, fixture::DefaultSourceBlobRecord("DEFAULT CURRENT_TIMESTAMP")));

    ImageScan scan;
    ASSERT_TRUE(scan.Open(writer.Source()));
    scan.ReadTexts();
    EXPECT_EQ(scan.model.defaultTexts, (std::vector<std::string>{" ", "'555-1234'", "CURRENT_TIMESTAMP"}));
    using Sent = fixture::RecordingFrame::Sent;
    const std::uint32_t P = job::UM_PROGRESS;
    const std::vector<Sent> expected = {{P, 1, 1}, {P, 2, 0}, {P, 2, 0}, {P, 2, 0}, {P, 2, 0}, {P, 2, 0}, {P, 3, 0}};
    EXPECT_EQ(scan.frame.Progress(), expected);
}

TEST(WalkRelationFieldRecord, EveryCutOfAFragmentedRecordYieldsPrefixesAndWholeValues)
{
    // A first fragment and its continuation cut at every length: the names
    // read are prefixes of the real ones, and each value is either found
    // whole and right or not found; nothing is read outside the bytes.
    FixtureWriter writer(1024, 15);
    const std::uint32_t spill = writer.AddDataPage(ods::kRelRelationFields);
    RelationFieldOptions options = Options(15, 9, 7, true);
    options.defaultValue = 2;
    options.defaultSource = 3;
    const auto placed =
        fixture::AddFragmentedRelationFieldRecord(writer, spill, 60, "HIRE_DATE", "EMPLOYEE", "RDB$8", options);
    const auto storedAt = [&writer](const fixture::RecordLocation& at) {
        const auto page = writer.Page(at.page);
        return fixture::Bytes(page.begin() + at.offset, page.begin() + at.offset + at.length);
    };
    const fixture::Bytes first = storedAt(placed.first);
    const fixture::Bytes continuation = storedAt(placed.continuation);
    const auto toRaw = [](const fixture::Bytes& bytes) {
        Bytes raw;
        for (std::byte b : bytes)
            raw.push_back(std::to_integer<std::uint8_t>(b));
        return raw;
    };
    const auto isPrefix = [](const std::string& part, const std::string& whole) {
        return whole.compare(0, part.size(), part) == 0;
    };
    for (int which = 0; which < 2; ++which) {
        const fixture::Bytes& cutOne = which == 0 ? first : continuation;
        for (std::size_t keep = 0; keep <= cutOne.size(); ++keep) {
            SCOPED_TRACE(testing::Message() << (which == 0 ? "first fragment" : "continuation") << " cut to " << keep);
            Fragments fragments;
            fragments[{placed.continuation.page, placed.continuation.slot}] =
                toRaw(which == 1 ? fixture::Bytes(continuation.begin(), continuation.begin() + keep) : continuation);
            const Bytes stored = toRaw(which == 0 ? fixture::Bytes(first.begin(), first.begin() + keep) : first);
            ods::RecordStream record = Stream(stored);
            if (record.ReadRecordHeader(ods::HeaderVariant::RelationFields) != ods::HeaderVerdict::AcceptedFirstFragment)
                continue;
            const RelationFieldValues values = WalkRelationFieldRecord(record, true, LookupIn(fragments));
            EXPECT_TRUE(isPrefix(values.columnName, "HIRE_DATE"));
            EXPECT_TRUE(isPrefix(values.relationName, "EMPLOYEE"));
            EXPECT_TRUE(isPrefix(values.fieldSource, "RDB$8"));
            EXPECT_TRUE(values.position == 0 || values.position == 10);
            EXPECT_TRUE(values.fieldId == -1 || values.fieldId == 7);
            EXPECT_TRUE(!values.defaultIndex || *values.defaultIndex == 3);
            if (which == 1 && keep == cutOne.size()) {
                EXPECT_EQ(values.columnName, "HIRE_DATE");
                EXPECT_EQ(values.fieldId, 7);
                EXPECT_EQ(values.notNull, 1);
                EXPECT_EQ(values.hasDefault, 1);
                EXPECT_EQ(values.defaultIndex, 3);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// The real sample databases.

std::filesystem::path SamplesDir()
{
    return std::filesystem::path(RAVELIN_SAMPLES_DIR);
}

#define REQUIRE_SAMPLE(path)                                                    \
    if (!std::filesystem::exists(path))                                        \
        GTEST_SKIP() << "sample not present: " << (path).string();

// Runs the whole scan driver over a sample.
struct SampleScan : ImageScan {
    bool Scan(const std::filesystem::path& path)
    {
        if (!context.OpenDatabaseFile(path.string()))
            return false;
        job::WorkerLink link = frame.Link();
        CatalogueContext scan = Context(link);
        ScanDatabase(scan);
        return true;
    }
    std::set<std::string> TableNames() const
    {
        std::set<std::string> names;
        for (const TableNode& table : model.tables)
            names.insert(table.name);
        return names;
    }
    std::set<std::string> NotNullColumns() const
    {
        std::set<std::string> names;
        for (const TableNode& table : model.tables)
            for (const COLUMN& column : table.columns)
                if (column.notNull)
                    names.insert(table.name + "." + column.name);
        return names;
    }
};

// The column names a truth packet lists, in its order, as the database
// spells them: upper case, SIZE stored as SIZ_.
std::vector<std::string> TruthColumns(const std::string& table)
{
    std::string lower = table;
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::ifstream in(SamplesDir() / "truth" / (lower + ".xml"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string xml = text.str();
    const std::string metadata = xml.substr(0, xml.find("</FIELDS>"));
    std::vector<std::string> names;
    const std::regex field(R"re(<FIELD [^>]*attrname="([^"]+)")re");
    for (auto it = std::sregex_iterator(metadata.begin(), metadata.end(), field); it != std::sregex_iterator(); ++it) {
        std::string name = (*it)[1];
        for (char& ch : name)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        names.push_back(name == "SIZE" ? "SIZ_" : name);
    }
    return names;
}

// Every column's field source is a generated RDB$ name of its own.
void ExpectGeneratedFieldSources(const SchemaModel& model)
{
    std::set<std::string> seen;
    for (const TableNode& table : model.tables)
        for (const COLUMN& column : table.columns) {
            SCOPED_TRACE(table.name + "." + column.name);
            EXPECT_EQ(column.fieldSource.rfind("RDB$", 0), 0u) << column.fieldSource;
            EXPECT_GT(column.fieldSource.size(), 4u);
            EXPECT_TRUE(seen.insert(column.fieldSource).second) << column.fieldSource;
        }
}

TEST(RelationFieldsSamples, DbdemosTablesMatchTheTruthPackets)
{
    const auto path = SamplesDir() / "ods16" / "dbdemos.gdb";
    REQUIRE_SAMPLE(path);
    SampleScan scan;
    ASSERT_TRUE(scan.Scan(path));
    const std::vector<std::string> tables = {"ANIMALS", "BIOLIFE",  "COUNTRY",  "CUSTOLY", "CUSTOMER", "EMPLOYEE",
                                             "INDUSTRY", "ITEMS",   "MASTER",   "NEXTCUST", "NEXTITEM", "NEXTORD",
                                             "ORDERS",  "PARTS",    "VENDORS",  "VENUES"};
    EXPECT_EQ(scan.TableNames(), std::set<std::string>(tables.begin(), tables.end()));
    for (const std::string& table : tables) {
        SCOPED_TRACE(table);
        EXPECT_EQ(scan.ColumnNames(table), TruthColumns(table));
        const TableNode* node = scan.model.FindTable(table);
        ASSERT_NE(node, nullptr);
        EXPECT_GE(node->relationId, ods::kFirstUserRelation);
    }
    // The primary keys, and the columns the packets mark required.
    EXPECT_EQ(scan.NotNullColumns(), (std::set<std::string>{"CUSTOMER.CUSTNO", "ORDERS.ORDERNO", "ORDERS.CUSTNO",
                                                             "ORDERS.EMPNO", "PARTS.PARTNO", "VENDORS.VENDORNO"}));
    ExpectGeneratedFieldSources(scan.model);
    EXPECT_TRUE(scan.model.views.empty());
    EXPECT_TRUE(scan.frame.logLines.empty());
}

TEST(RelationFieldsSamples, DemoTablesOfTheOtherFiles)
{
    // MASTSQL.GDB (ODS 13) and EVENTS.GDB (ODS 16) hold the same eight demo
    // tables; their ITEMS records store ITEMNO before ORDERNO.
    const std::vector<std::string> tables = {"CUSTOMER", "EMPLOYEE", "ITEMS", "NEXTCUST",
                                             "NEXTORD",  "ORDERS",   "PARTS", "VENDORS"};
    const std::set<std::string> notNull = {"CUSTOMER.CUSTNO", "CUSTOMER.COMPANY", "EMPLOYEE.EMPNO",
                                           "ITEMS.ITEMNO",    "ITEMS.ORDERNO",    "NEXTCUST.NEWCUST",
                                           "NEXTORD.NEWKEY",  "ORDERS.ORDERNO",   "PARTS.PARTNO",
                                           "PARTS.VENDORNO",  "PARTS.DESCRIPTION", "VENDORS.VENDORNO"};
    for (const char* file : {"ods13/MASTSQL.GDB", "ods16/EVENTS.GDB"}) {
        SCOPED_TRACE(file);
        const auto path = SamplesDir() / file;
        REQUIRE_SAMPLE(path);
        SampleScan scan;
        ASSERT_TRUE(scan.Scan(path));
        EXPECT_EQ(scan.TableNames(), std::set<std::string>(tables.begin(), tables.end()));
        for (const std::string& table : tables) {
            SCOPED_TRACE(table);
            std::vector<std::string> expected = TruthColumns(table);
            if (table == "ITEMS")
                expected = {"ITEMNO", "ORDERNO", "PARTNO", "QTY", "DISCOUNT"};
            EXPECT_EQ(scan.ColumnNames(table), expected);
        }
        EXPECT_EQ(scan.NotNullColumns(), notNull);
        ExpectGeneratedFieldSources(scan.model);
        EXPECT_TRUE(scan.frame.logLines.empty());
    }
}

TEST(RelationFieldsSamples, DbutilsTestTableInFieldIdOrder)
{
    const auto path = SamplesDir() / "ods13" / "DBUTILSTEST.IB";
    REQUIRE_SAMPLE(path);
    SampleScan scan;
    ASSERT_TRUE(scan.Scan(path));
    EXPECT_EQ(scan.TableNames(), std::set<std::string>{"TEST_TABLE"});
    // Declared as STRING, INT32, DOUBLE, MEMO, DATE, DECIMAL, INT64, BLOB,
    // SINGLE (positions 0..9, one dropped); stored in field-id order.
    EXPECT_EQ(scan.ColumnNames("TEST_TABLE"),
              (std::vector<std::string>{"INT64_FIELD", "BLOB_FIELD", "DECIMAL_FIELD", "DATE_FIELD", "MEMO_FIELD",
                                        "DOUBLE_FIELD", "SINGLE_FIELD", "INT32_FIELD", "STRING_FIELD"}));
    const std::vector<COLUMN>& columns = scan.model.FindTable("TEST_TABLE")->columns;
    std::vector<std::int32_t> positions;
    for (const COLUMN& column : columns)
        positions.push_back(column.position);
    EXPECT_EQ(positions, (std::vector<std::int32_t>{8, 9, 6, 5, 4, 3, 10, 2, 1}));
    ExpectGeneratedFieldSources(scan.model);
}

// EMPLOYEE.GDB against the DDL of truth/employee.sql.gz: every column with
// its field source (the domain, or "" for a generated RDB$ name), its
// column-level NOT NULL and its default's text, in the order the table's
// records store the fields (field-id order; the declared order differs).
struct EmployeeColumn {
    const char* name;
    const char* domain;
    bool notNull;
    const char* defaultText;
};

const std::vector<std::pair<std::string, std::vector<EmployeeColumn>>>& EmployeeTables()
{
    static const std::vector<std::pair<std::string, std::vector<EmployeeColumn>>> tables = {
        {"COUNTRY", {{"CURRENCY", "", true, nullptr}, {"COUNTRY", "COUNTRYNAME", true, nullptr}}},
        {"JOB",
         {{"JOB_REQUIREMENT", "", false, nullptr},
          {"MAX_SALARY", "SALARY", true, nullptr},
          {"MIN_SALARY", "SALARY", true, nullptr},
          {"JOB_GRADE", "JOBGRADE", true, nullptr},
          {"LANGUAGE_REQ", "", false, nullptr},
          {"JOB_TITLE", "", true, nullptr},
          {"JOB_COUNTRY", "COUNTRYNAME", true, nullptr},
          {"JOB_CODE", "JOBCODE", true, nullptr}}},
        {"DEPARTMENT",
         {{"BUDGET", "BUDGET", false, nullptr},
          {"PHONE_NO", "PHONENUMBER", false, "'555-1234'"},
          {"MNGR_NO", "EMPNO", false, nullptr},
          {"LOCATION", "", false, nullptr},
          {"HEAD_DEPT", "DEPTNO", false, nullptr},
          {"DEPARTMENT", "", true, nullptr},
          {"DEPT_NO", "DEPTNO", true, nullptr}}},
        // hire_date and the other 'NOW' defaults of the script are stored as
        // CURRENT_TIMESTAMP in this file.
        {"EMPLOYEE",
         {{"SALARY", "SALARY", true, nullptr},
          {"HIRE_DATE", "", true, "CURRENT_TIMESTAMP"},
          {"JOB_GRADE", "JOBGRADE", true, nullptr},
          {"PHONE_EXT", "", false, nullptr},
          {"LAST_NAME", "LASTNAME", true, nullptr},
          {"EMP_NO", "EMPNO", true, nullptr},
          {"FULL_NAME", "", false, nullptr},
          {"JOB_COUNTRY", "COUNTRYNAME", true, nullptr},
          {"JOB_CODE", "JOBCODE", true, nullptr},
          {"DEPT_NO", "DEPTNO", true, nullptr},
          {"FIRST_NAME", "FIRSTNAME", true, nullptr}}},
        {"PROJECT",
         {{"PROJ_DESC", "", false, nullptr},
          {"PRODUCT", "PRODTYPE", false, nullptr},
          {"TEAM_LEADER", "EMPNO", false, nullptr},
          {"PROJ_NAME", "", true, nullptr},
          {"PROJ_ID", "PROJNO", true, nullptr}}},
        {"EMPLOYEE_PROJECT", {{"EMP_NO", "EMPNO", true, nullptr}, {"PROJ_ID", "PROJNO", true, nullptr}}},
        {"PROJ_DEPT_BUDGET",
         {{"PROJECTED_BUDGET", "BUDGET", false, nullptr},
          {"QUART_HEAD_CNT", "", false, nullptr},
          {"FISCAL_YEAR", "", true, nullptr},
          {"DEPT_NO", "DEPTNO", true, nullptr},
          {"PROJ_ID", "PROJNO", true, nullptr}}},
        {"SALARY_HISTORY",
         {{"NEW_SALARY", "", false, nullptr},
          {"PERCENT_CHANGE", "", true, "0"},
          {"OLD_SALARY", "SALARY", true, nullptr},
          {"CHANGE_DATE", "", true, "CURRENT_TIMESTAMP"},
          {"UPDATER_ID", "", true, nullptr},
          {"EMP_NO", "EMPNO", true, nullptr}}},
        {"CUSTOMER",
         {{"ADDRESS_LINE2", "ADDRESSLINE", false, nullptr},
          {"ADDRESS_LINE1", "ADDRESSLINE", false, nullptr},
          {"CUST_NO", "CUSTNO", true, nullptr},
          {"POSTAL_CODE", "", false, nullptr},
          {"PHONE_NO", "PHONENUMBER", false, nullptr},
          {"CONTACT_LAST", "LASTNAME", false, nullptr},
          {"ON_HOLD", "", false, "NULL"},
          {"COUNTRY", "COUNTRYNAME", false, nullptr},
          {"STATE_PROVINCE", "", false, nullptr},
          {"CITY", "", false, nullptr},
          {"CONTACT_FIRST", "FIRSTNAME", false, nullptr},
          {"CUSTOMER", "", true, nullptr}}},
        {"SALES",
         {{"AGED", "", false, nullptr},
          {"DATE_NEEDED", "", false, nullptr},
          {"SHIP_DATE", "", false, nullptr},
          {"ORDER_DATE", "", true, "CURRENT_TIMESTAMP"},
          {"PO_NUMBER", "PONUMBER", true, nullptr},
          {"DISCOUNT", "", true, "0"},
          {"TOTAL_VALUE", "", true, nullptr},
          {"QTY_ORDERED", "", true, "1"},
          {"CUST_NO", "CUSTNO", true, nullptr},
          {"ITEM_TYPE", "PRODTYPE", false, nullptr},
          {"SALES_REP", "EMPNO", false, nullptr},
          {"PAID", "", false, "'n'"},
          {"ORDER_STATUS", "", true, "'new'"}}},
    };
    return tables;
}

// The default text the table writer finds for a column: the first link
// whose name is the column's field source, then that index of defaultTexts.
std::optional<std::string> DefaultTextOf(const SchemaModel& model, const COLUMN& column)
{
    if (!column.hasDefault)
        return std::nullopt;
    for (const COLIDANDDEFINDEX& link : model.columnDefaults)
        if (link.name == column.fieldSource)
            return link.defaultIndex < model.defaultTexts.size()
                       ? std::optional<std::string>(model.defaultTexts[link.defaultIndex])
                       : std::nullopt;
    return std::nullopt;
}

TEST(RelationFieldsSamples, EmployeeMatchesItsDdl)
{
    const auto path = SamplesDir() / "ods15" / "EMPLOYEE.GDB";
    REQUIRE_SAMPLE(path);
    SampleScan scan;
    ASSERT_TRUE(scan.Scan(path));
    std::set<std::string> expectedTables;
    for (const auto& [table, columns] : EmployeeTables()) {
        SCOPED_TRACE(table);
        expectedTables.insert(table);
        const TableNode* node = scan.model.FindTable(table);
        ASSERT_NE(node, nullptr);
        EXPECT_GE(node->relationId, ods::kFirstUserRelation);
        ASSERT_EQ(node->columns.size(), columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const EmployeeColumn& want = columns[i];
            const COLUMN& got = node->columns[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(got.name, want.name);
            if (*want.domain)
                EXPECT_EQ(got.fieldSource, want.domain);
            else
                EXPECT_EQ(got.fieldSource.rfind("RDB$", 0), 0u) << got.fieldSource;
            EXPECT_EQ(got.notNull, want.notNull ? 1 : 0);
            EXPECT_EQ(got.hasDefault, want.defaultText ? 1 : 0);
            EXPECT_EQ(DefaultTextOf(scan.model, got),
                      want.defaultText ? std::optional<std::string>(want.defaultText) : std::nullopt);
        }
    }
    EXPECT_EQ(scan.TableNames(), expectedTables);
    EXPECT_TRUE(scan.model.notNullSources.empty());
    EXPECT_TRUE(scan.model.pendingSources.empty());
    EXPECT_TRUE(scan.frame.logLines.empty());

    // The view and its columns: name, field source (which finds the base
    // column), base column name.
    ASSERT_EQ(scan.model.views.size(), 1u);
    const ViewNode& view = scan.model.views[0];
    EXPECT_EQ(view.name, "PHONE_LIST");
    std::map<std::string, std::pair<std::string, std::string>> viewColumns;
    std::vector<std::uint16_t> positions;
    for (const VIEWCOLUMN& column : view.columns) {
        viewColumns[column.columnName] = {column.fieldSource, column.sourceText};
        positions.push_back(column.position);
    }
    EXPECT_EQ(viewColumns.size(), 6u);
    EXPECT_EQ(viewColumns["EMP_NO"], (std::pair<std::string, std::string>{"EMPNO", "EMP_NO"}));
    EXPECT_EQ(viewColumns["FIRST_NAME"], (std::pair<std::string, std::string>{"FIRSTNAME", "FIRST_NAME"}));
    EXPECT_EQ(viewColumns["LAST_NAME"], (std::pair<std::string, std::string>{"LASTNAME", "LAST_NAME"}));
    EXPECT_EQ(viewColumns["PHONE_NO"], (std::pair<std::string, std::string>{"PHONENUMBER", "PHONE_NO"}));
    // PHONE_EXT and LOCATION show EMPLOYEE.PHONE_EXT and DEPARTMENT.LOCATION
    // through their generated field sources.
    EXPECT_EQ(viewColumns["PHONE_EXT"].first, scan.model.FindTable("EMPLOYEE")->columns[3].fieldSource);
    EXPECT_EQ(viewColumns["LOCATION"].first, scan.model.FindTable("DEPARTMENT")->columns[3].fieldSource);
    std::sort(positions.begin(), positions.end());
    EXPECT_EQ(positions, (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}));
}

TEST(RelationFieldsSamples, EmployeeCountryRecordsHoldTheirFieldsInFieldIdOrder)
{
    // The order the reader gives COUNTRY (CURRENCY, COUNTRY) is the order its
    // data records store the values: the first record holds "Dollar" (a
    // VARCHAR(10) after the null flags) before "USA".
    const auto path = SamplesDir() / "ods15" / "EMPLOYEE.GDB";
    REQUIRE_SAMPLE(path);
    SampleScan scan;
    ASSERT_TRUE(scan.Scan(path));
    const TableNode* country = scan.model.FindTable("COUNTRY");
    ASSERT_NE(country, nullptr);
    ASSERT_EQ(scan.ColumnNames("COUNTRY"), (std::vector<std::string>{"CURRENCY", "COUNTRY"}));
    std::optional<fixture::Bytes> data;
    for (std::uint64_t page = ods::kFirstScannedPage; page < scan.context.PageCount() && !data; ++page) {
        std::array<std::byte, 28> head{};
        scan.context.ReadAt(page * scan.context.pageSize, head);
        const auto word = [&head](std::size_t at) {
            return std::to_integer<unsigned>(head[at]) | (std::to_integer<unsigned>(head[at + 1]) << 8);
        };
        if (std::to_integer<unsigned>(head[0]) != ods::kDataPage || word(20) != country->relationId || word(22) == 0)
            continue;
        const unsigned offset = word(24);
        const unsigned length = word(26);
        fixture::Bytes stored(length);
        scan.context.ReadAt(page * scan.context.pageSize + offset, stored);
        data = fixture::Decompress(std::span<const std::byte>(stored).subspan(ods::kRecordDataOffset));
    }
    ASSERT_TRUE(data);
    const std::string text(reinterpret_cast<const char*>(data->data()), data->size());
    EXPECT_EQ(text.substr(4, 8), std::string("\x06\x00" "Dollar", 8));
    EXPECT_EQ(text.substr(16, 5), std::string("\x03\x00" "USA", 5));
}

TEST(RelationFieldRecordBuilder, RecordsAsTheSamplesStoreThem)
{
    // The builder's records against real ones, byte for byte (compressed
    // data after the header).
    struct Case {
        const char* file;
        std::uint32_t page;
        std::uint16_t slot;
        const char* column;
        const char* relation;
        const char* source;
        RelationFieldOptions options;
    };
    const RelationFieldOptions custno13 = Options(13, 0, 0, true);
    RelationFieldOptions company13 = Options(13, 1, 1, true);
    company13.collation = 0;
    RelationFieldOptions hireDate = Options(15, 4, 1, true);
    hireDate.defaultValue = 2;
    hireDate.defaultSource = 3;
    RelationFieldOptions phoneNo = Options(15, 6, 1);
    phoneNo.defaultValue = 0;
    phoneNo.defaultSource = 1;
    RelationFieldOptions viewColumn = Options(15, 5, 0);
    viewColumn.baseField = "PHONE_NO";
    viewColumn.viewContext = 2;
    const RelationFieldOptions custno16 = Options(16, 0, 0, true);
    const RelationFieldOptions bmp16 = Options(16, 4, 4);
    const Case cases[] = {
        {"ods13/MASTSQL.GDB", 107, 39, "CUSTNO", "CUSTOMER", "RDB$1", custno13},
        {"ods13/MASTSQL.GDB", 107, 51, "COMPANY", "CUSTOMER", "RDB$2", company13},
        {"ods15/EMPLOYEE.GDB", 344, 10, "HIRE_DATE", "EMPLOYEE", "RDB$8", hireDate},
        {"ods15/EMPLOYEE.GDB", 344, 3, "PHONE_NO", "DEPARTMENT", "PHONENUMBER", phoneNo},
        {"ods15/EMPLOYEE.GDB", 348, 7, "PHONE_NO", "PHONE_LIST", "PHONENUMBER", viewColumn},
        {"ods16/dbdemos.gdb", 229, 26, "CUSTNO", "CUSTOMER", "RDB$33", custno16},
        {"ods16/dbdemos.gdb", 117, 36, "BMP", "ANIMALS", "RDB$5", bmp16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.column);
        const auto path = SamplesDir() / c.file;
        REQUIRE_SAMPLE(path);
        ods::ReadingContext context;
        ASSERT_TRUE(context.OpenDatabaseFile(path.string()));
        const std::uint64_t pageStart = std::uint64_t{c.page} * context.pageSize;
        std::array<std::byte, 4> slot{};
        context.ReadAt(pageStart + ods::kDataPageSlotArrayOffset + 4u * c.slot, slot);
        const unsigned offset = std::to_integer<unsigned>(slot[0]) | (std::to_integer<unsigned>(slot[1]) << 8);
        const unsigned length = std::to_integer<unsigned>(slot[2]) | (std::to_integer<unsigned>(slot[3]) << 8);
        fixture::Bytes stored(length);
        context.ReadAt(pageStart + offset, stored);
        const fixture::Bytes real(stored.begin() + ods::kRecordDataOffset, stored.end());
        const fixture::Bytes built =
            fixture::Compress(fixture::RelationFieldRecordData(c.column, c.relation, c.source, c.options));
        EXPECT_EQ(built, real);
    }
}

}  // namespace
}  // namespace ravelin::catalogue
