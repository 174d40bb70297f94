#include "catalogue/relationfieldwalk.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/schemamodel.h"
#include "job/frame.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue {
namespace {

// ---------------------------------------------------------------------------
// Raw record rows: a header and the runs as real files store them.

using Bytes = std::vector<std::uint8_t>;

// One run of compressed data: a literal run of its bytes, or count copies of
// one byte.
struct Run {
    std::string literal;
    unsigned count = 0;
    std::uint8_t byte = 0;
};

Run L(std::string_view bytes)
{
    return Run{std::string(bytes), 0, 0};
}

Run R(unsigned count, std::uint8_t byte)
{
    return Run{{}, count, byte};
}

Bytes Encode(const std::vector<Run>& runs)
{
    Bytes out;
    for (const Run& run : runs) {
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
Bytes StoredRecord(const Header& header, const std::vector<Run>& runs)
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
std::vector<Run> NullableTail()
{
    return {R(128, 0), R(128, 0), R(7, 0), L("\x04"), R(11, 0), L(std::string("\x01\x00\x04", 3)), R(128, 0), R(61, 0)};
}

std::vector<Run> Join(std::vector<Run> head, const std::vector<Run>& tail)
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
    std::vector<Run> runs;
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
        {"column and relation names both unpadded in one run",
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
    const std::vector<Run> whole = Join(
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
        {"inside the column name's literal run", 13 + 6, "", "", "", 0},
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
        std::vector<Run> runs;
        std::int32_t position;
        std::int32_t fieldId;
        std::uint8_t notNull;
        std::uint8_t hasDefault;
        std::optional<std::uint16_t> defaultIndex;
    };
    const std::vector<Run> custno = {L(std::string("\xb8\xdc\xfe\x00", 4) + "CUSTNO"), R(61, ' '), L("CUSTOMER"),
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
    const std::vector<Run> runs = {L(Flags(kViewFlags, "PHONE_NO")), R(59, ' '), L("PHONE_LIST"), R(57, ' '),
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
    const std::vector<Run> firstRuns = {L(std::string("\xb8\xdc\xfa\x00", 4) + "JOB_TITLE"), R(58, ' '), L("JOB"),
                                        R(64, ' '), L("RDB$2"), R(62, ' '), R(128, 0), R(128, 0), R(7, 0), L("\x03"),
                                        R(11, 0), L("\x01")};
    const std::vector<Run> tail = {L(std::string("\x00\x05", 2)), R(128, 0), R(29, 0), L("\x01"), R(31, 0)};
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
    const std::vector<Run> firstRuns = {L(std::string("\xb8\xdc\xfa\x00", 4) + "JOB_TITLE"), R(58, ' '), L("JOB"),
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

    // A middle fragment pointing back at itself is read once.
    Header loop = FirstFragment(9, 1);
    loop.flags = 12;
    const Fragments loops = {{{9, 1}, StoredRecord(loop, {R(128, 0), R(7, 0), L("\x03"), R(11, 0)})}};
    int calls = 0;
    const RelationFieldValues looped = Walk(StoredRecord(FirstFragment(9, 1), firstRuns), LookupIn(loops, &calls));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(looped.position, 4);
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
        {"blob of a value, not a source", BlobRecord("\x05\x15\x0f\x00\x00\x08\x00" "555-1234L"), std::nullopt},
        {"another word", BlobRecord("DEFAULTS 1"), std::nullopt},
        {"the word alone", BlobRecord("DEFAULT  "), std::nullopt},
        {"length past the record's end", BlobRecord("DEFAULT 7", 0x10, 16, 900), "7"},
        {"skip count past the record's end", BlobRecord("DEFAULT 7", 0x10, 16, std::nullopt), "7"},
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

class TestFrame final : public job::Frame {
public:
    std::vector<std::string> logLines;
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> progress;
    std::atomic<bool> stop{false};
    std::string currentLogLine;

    job::WorkerLink Link() { return job::WorkerLink{*this, stop, currentLogLine}; }
    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        if (message == job::UM_LOG_LINE)
            logLines.push_back(currentLogLine);
        if (message == job::UM_PROGRESS)
            progress.emplace_back(wParam, lParam);
        return 0;
    }
};

// A table column record with a field id, declared position and null flag.
Bytes ColumnRecord(const std::string& column, const std::string& relation, const std::string& source,
                   std::uint8_t fieldId, std::uint8_t position, bool notNull, const Header& header = Header{})
{
    std::vector<Run> runs = {L(Flags(notNull ? std::string("\xb8\xdc\xfa\x00", 4) : kTableFlags, column)),
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
    TestFrame frame;
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
    WalkFixture f;
    f.model.relations.push_back(TABLEIDNAME{"JOB", 129, 8});
    f.model.relations.push_back(TABLEIDNAME{"DEPARTMENT", 130, 7});
    const std::vector<Run> head = {R(128, 0), R(128, 0), R(7, 0), L("\x01"), R(11, 0), L("\x01")};
    // Two fragmented columns; only the second one is NOT NULL.
    f.Visit(StoredRecord(FirstFragment(9, 1),
                         Join({L(Flags(kTableFlags, "HEAD_DEPT")), R(58, ' '), L("DEPARTMENT"), R(57, ' '),
                               L("DEPTNO"), R(61, ' ')},
                              head)));
    f.fragments[{9, 1}] = StoredRecord(Continuation(), {L(std::string("\x00\x04", 2)), R(128, 0), R(61, 0)});
    f.fragments[{9, 2}] =
        StoredRecord(Continuation(), {L(std::string("\x00\x05", 2)), R(128, 0), R(29, 0), L("\x01"), R(31, 0)});
    f.Visit(StoredRecord(FirstFragment(9, 1),
                         Join({L(Flags(kTableFlags, "HEAD_DEPT")), R(58, ' '), L("DEPARTMENT"), R(57, ' '),
                               L("DEPTNO"), R(61, ' ')},
                              head)));
    f.Visit(StoredRecord(FirstFragment(9, 2), Join({L(Flags(kTableFlags, "JOB_TITLE")), R(58, ' '), L("JOB"),
                                                    R(64, ' '), L("RDB$2"), R(62, ' ')},
                                                   head)));
    // The continuations met on their own add nothing.
    f.Visit(f.fragments[{9, 1}]);
    f.Visit(f.fragments[{9, 2}]);

    ASSERT_NE(f.model.FindTable("DEPARTMENT"), nullptr);
    ASSERT_NE(f.model.FindTable("JOB"), nullptr);
    // The first HEAD_DEPT was walked before its continuation was there.
    const std::vector<COLUMN>& dept = f.model.FindTable("DEPARTMENT")->columns;
    ASSERT_EQ(dept.size(), 2u);
    EXPECT_EQ(dept[1].notNull, 0);
    EXPECT_EQ(dept[1].position, 2);
    const COLUMN& title = f.model.FindTable("JOB")->columns.at(0);
    EXPECT_EQ(title.notNull, 1);
    // The flag is on the column itself; no marker by field source that a
    // nullable column of the same domain would pick up.
    EXPECT_TRUE(f.model.notNullSources.empty());
    EXPECT_EQ(f.model.pendingSources, (std::vector<std::string>{"DEPTNO", "DEPTNO", "RDB$2"}));
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

}  // namespace
}  // namespace ravelin::catalogue
