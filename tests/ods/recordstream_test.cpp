#include "ods/recordstream.h"

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ods/pagesource.h"
#include "ods/readingcontext.h"
#include "ods/textcodec.h"

namespace ravelin::ods {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutLe(Bytes& out, std::uint32_t value, int width)
{
    for (int k = 0; k < width; ++k)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

// 13-byte header of an unflagged record.
Bytes Plain(std::uint32_t transaction, std::uint16_t backLine, std::uint8_t flags, std::uint8_t flags2,
            std::uint8_t format)
{
    Bytes b;
    PutLe(b, transaction, 4);
    PutLe(b, 0x11223344, 4);  // back-version page
    PutLe(b, backLine, 2);
    b.push_back(flags);
    b.push_back(flags2);
    b.push_back(format);
    return b;
}

// 22-byte header of a flagged record.
Bytes Flagged(std::uint32_t transaction, std::uint8_t flags, std::uint8_t flags2, std::uint32_t forwardPage,
              std::uint16_t forwardLine)
{
    Bytes b = Plain(transaction, 0, flags, flags2, 9);
    b.insert(b.end(), {0xEE, 0xEE, 0xEE});  // alignment gap
    PutLe(b, forwardPage, 4);
    PutLe(b, forwardLine, 2);
    return b;
}

Bytes Cat(Bytes a, std::initializer_list<std::uint8_t> tail)
{
    a.insert(a.end(), tail);
    return a;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The first size bytes of a record.
Bytes Cut(Bytes b, std::size_t size)
{
    b.resize(size);
    return b;
}

Bytes Repeat(std::size_t count, std::uint8_t byte)
{
    return Bytes(count, byte);
}

RecordStream Stream(const Bytes& bytes)
{
    std::vector<std::byte> raw(bytes.size());
    for (std::size_t k = 0; k < bytes.size(); ++k)
        raw[k] = std::byte{bytes[k]};
    return RecordStream(std::move(raw));
}

enum class Op {
    PrePassHeader,         // ReadRecordHeader(RelationPrePass)
    RelationFieldsHeader,  // ReadRecordHeader(RelationFields)
    Skip,                  // SkipDecompressed(count) from start
    Continue,              // ContinueName(nameSoFar) from start
    CollectRepeat,         // pair read at start, then CollectRepeatText
    CollectSource,         // pair read at start, then CollectFieldSource
};

struct StreamCase {
    const char* name;
    Op op;
    Bytes bytes = {};
    std::size_t start = 0;
    unsigned count = 0;
    std::string nameSoFar = {};
    HeaderVerdict verdict = HeaderVerdict::Rejected;
    std::string text = {};
    std::size_t cursor = 0;  // expected offset after the operation
};

const std::string k60N(60, 'N');
const std::string k65N(65, 'N');
const std::string k67N(67, 'N');
const std::string k66EAcute = [] {
    std::string s;
    for (int k = 0; k < 66; ++k)
        s += "\xC3\xA9";
    return s;
}();

const std::vector<StreamCase>& Cases()
{
    using V = HeaderVerdict;
    static const std::vector<StreamCase> cases = {
        // Relation pre-pass header.
        {.name = "prepass: transaction 0 is not a relation record", .op = Op::PrePassHeader,
         .bytes = Cat(Plain(0, 0, 0, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::Rejected, .cursor = 13},
        {.name = "prepass: plain record, data at 13", .op = Op::PrePassHeader,
         .bytes = Cat(Plain(7, 0, 0, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::Accepted, .cursor = 13},
        {.name = "prepass: back line and format are not tested", .op = Op::PrePassHeader,
         .bytes = Cat(Plain(7, 5, 0, 0, 77), {3, 'A', 'B', 'C'}), .verdict = V::Accepted, .cursor = 13},
        {.name = "prepass: byte 11 = 0x20 is not part of the flags", .op = Op::PrePassHeader,
         .bytes = Cat(Plain(7, 0, 0, 0x20, 0), {3, 'A', 'B', 'C'}), .verdict = V::Accepted, .cursor = 13},
        {.name = "prepass: first fragment, data at 22", .op = Op::PrePassHeader,
         .bytes = Cat(Flagged(7, 8, 0, 300, 2), {1, 'X'}), .verdict = V::AcceptedFirstFragment, .cursor = 22},
        {.name = "prepass: continuation, data at 22", .op = Op::PrePassHeader,
         .bytes = Cat(Flagged(7, 4, 0, 0, 0), {1, 'X'}), .verdict = V::Accepted, .cursor = 22},
        {.name = "prepass: other flags, data at 22", .op = Op::PrePassHeader,
         .bytes = Cat(Flagged(7, 2, 0, 0, 0), {1, 'X'}), .verdict = V::Accepted, .cursor = 22},
        {.name = "prepass: header cut at 12 bytes", .op = Op::PrePassHeader,
         .bytes = Cut(Plain(7, 0, 0, 0, 1), 12), .verdict = V::Rejected,
         .cursor = 12},
        {.name = "prepass: flagged header cut at 20 bytes", .op = Op::PrePassHeader,
         .bytes = Cut(Flagged(7, 8, 0, 1, 1), 20), .verdict = V::Rejected,
         .cursor = 13},

        // Relation-fields header.
        {.name = "fields: transaction 0 takes the stored-text path at offset 4", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(0, 0, 0, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::StoredText, .cursor = 4},
        {.name = "fields: transaction 0 wins over a back line", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(0, 9, 0, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::StoredText, .cursor = 4},
        {.name = "fields: back line != 0 with intact data", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 1, 0, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::Rejected, .cursor = 13},
        {.name = "fields: flags 0 format 1", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 0, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::Accepted, .cursor = 13},
        {.name = "fields: flags 0 format 0 (newer files)", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 0, 0, 0), {3, 'A', 'B', 'C'}), .verdict = V::Accepted, .cursor = 13},
        {.name = "fields: flags 0 format 2", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 0, 0, 2), {3, 'A', 'B', 'C'}), .verdict = V::Rejected, .cursor = 13},
        {.name = "fields: byte 11 = 0x20 is ignored", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 0, 0x20, 0), {3, 'A', 'B', 'C'}), .verdict = V::Accepted, .cursor = 13},
        {.name = "fields: first fragment, format untested, data at 22", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Flagged(7, 8, 0x10, 300, 2), {1, 'X'}), .verdict = V::AcceptedFirstFragment, .cursor = 22},
        {.name = "fields: continuation after the format byte", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 4, 0, 1), {0x80, 0, 0xF2, 0}), .verdict = V::Continuation, .cursor = 13},
        {.name = "fields: flags 1 rejected", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 1, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::Rejected, .cursor = 13},
        {.name = "fields: flags 0x10 rejected", .op = Op::RelationFieldsHeader,
         .bytes = Cat(Plain(7, 0, 0x10, 0, 1), {3, 'A', 'B', 'C'}), .verdict = V::Rejected, .cursor = 13},
        {.name = "fields: 3-byte record reads as transaction 0 but is rejected", .op = Op::RelationFieldsHeader,
         .bytes = {0, 0, 0}, .verdict = V::Rejected, .cursor = 3},
        {.name = "fields: first fragment cut before its data", .op = Op::RelationFieldsHeader,
         .bytes = Cut(Flagged(7, 8, 0, 1, 1), 21), .verdict = V::Rejected,
         .cursor = 13},

        // SkipDecompressed: the cursor ends at the next run's control byte.
        {.name = "skip: literal run of 127", .op = Op::Skip, .bytes = Cat(Cat({127}, Repeat(127, 'a')), {3, 'x', 'y', 'z'}),
         .count = 127, .cursor = 128},
        {.name = "skip: literal then repeat", .op = Op::Skip, .bytes = {4, 'a', 'b', 'c', 'd', 0xFA, 'x', 2, 'p', 'q'},
         .count = 10, .cursor = 7},
        {.name = "skip: repeat run 128 covers 128", .op = Op::Skip, .bytes = {0x80, ' ', 1, 'z'}, .count = 128,
         .cursor = 2},
        {.name = "skip: repeat runs 255 cover one each", .op = Op::Skip,
         .bytes = {0xFF, 'a', 0xFF, 'b', 0xFF, 'c', 1, 'z'}, .count = 3, .cursor = 6},
        {.name = "skip: literal straddling the count is taken whole", .op = Op::Skip,
         .bytes = {8, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFD, 'q', 1, 'z'}, .count = 5, .cursor = 9},
        {.name = "skip: repeat straddling the count is taken whole", .op = Op::Skip, .bytes = {0x80, ' ', 2, 'a', 'b'},
         .count = 3, .cursor = 2},
        {.name = "skip: a large count after a straddle does not wrap on", .op = Op::Skip,
         .bytes = {0xFE, 'a', 0xFE, 'b', 5, '1', '2', '3', '4', '5', 0xFE, 'c'}, .count = 7, .cursor = 10},
        {.name = "skip: control 0 moves nothing and the walk goes on", .op = Op::Skip,
         .bytes = {0, 0, 3, 'a', 'b', 'c', 1, 'z'}, .count = 3, .cursor = 6},
        {.name = "skip: count 0 reads nothing", .op = Op::Skip, .bytes = {3, 'a', 'b', 'c'}, .count = 0, .cursor = 0},
        {.name = "skip: stops with 1 byte left", .op = Op::Skip, .bytes = {2, 'a', 'b', 9}, .count = 5, .cursor = 3},
        {.name = "skip: 1-byte record reads no control byte", .op = Op::Skip, .bytes = {3}, .count = 3, .cursor = 0},
        {.name = "skip: truncated literal claims more than remains", .op = Op::Skip,
         .bytes = {2, 'a', 'b', 50, 'c', 'd', 'e'}, .count = 200, .cursor = 7},
        {.name = "skip: walk from a data offset", .op = Op::Skip,
         .bytes = Cat(Plain(7, 0, 0, 0, 1), {2, 'a', 'b', 0xFE, 'c', 1, 'z'}), .start = 13, .count = 4, .cursor = 18},

        // ContinueName.
        {.name = "name: 10 letters and 57 blanks of padding", .op = Op::Continue,
         .bytes = Cat(Cat({10}, Text("ABCDEFGHIJ")), {0xC7, ' ', 3, 'R', 'E', 'L'}), .text = "ABCDEFGHIJ",
         .cursor = 13},
        {.name = "name: digits in a repeat run after RDB$", .op = Op::Continue,
         .bytes = {0xFD, '1', 1, '5', 0xC5, ' ', 2, 7, 0}, .nameSoFar = "RDB$", .text = "RDB$1115", .cursor = 6},
        {.name = "name: literal then repeat then literal", .op = Op::Continue,
         .bytes = {2, 'L', 'O', 0xFD, 'Y', 2, 'E', 'E', 0xC4, ' ', 4, 'N', 'E', 'X', 'T'}, .nameSoFar = "EMP",
         .text = "EMPLOYYYEE", .cursor = 10},
        {.name = "name: literal straddling the field keeps its share", .op = Op::Continue,
         .bytes = Cat(Cat({10}, Text("ABCDEFGHIJ")), {0xFE, ' '}), .nameSoFar = k60N, .text = k60N + "ABCDEFG",
         .cursor = 11},
        {.name = "name: repeat straddling the field keeps its share", .op = Op::Continue,
         .bytes = {0xFB, 'Z', 2, 'a', 'b'}, .nameSoFar = k65N, .text = k65N + "ZZ", .cursor = 2},
        {.name = "name: zero padding adds no NUL characters", .op = Op::Continue, .bytes = {0xBF, 0, 3, 'a', 'b', 'c'},
         .nameSoFar = "AB", .text = "AB", .cursor = 2},
        {.name = "name: repeat byte above 127 is its own code, literal goes through the code page",
         .op = Op::Continue, .bytes = {0xFD, 0x80, 1, 0x80, 0xBF, ' ', 2}, .text = "\xC2\x80\xC2\x80\xC2\x80\xE2\x82\xAC",
         .cursor = 6},
        {.name = "name: already 67 characters reads nothing", .op = Op::Continue, .bytes = {3, 'a', 'b', 'c'},
         .nameSoFar = k67N, .text = k67N, .cursor = 0},
        {.name = "name: need counts characters, not UTF-8 bytes", .op = Op::Continue,
         .bytes = {3, 'X', 'Y', 'Z', 0xFE, ' '}, .nameSoFar = k66EAcute, .text = k66EAcute + "X", .cursor = 4},
        {.name = "name: truncated literal", .op = Op::Continue, .bytes = {50, 'a', 'b', 'c', 'd', 'e'}, .text = "abcde",
         .cursor = 6},
        {.name = "name: stops with 1 byte left", .op = Op::Continue, .bytes = {3, 'a', 'b', 'c', 0xFE}, .text = "abc",
         .cursor = 4},
        {.name = "name: control 0 runs are empty literal runs", .op = Op::Continue,
         .bytes = {0, 2, 'a', 'b', 0, 0xBF, ' '}, .text = "ab", .cursor = 7},

        // CollectRepeatText (the pair at start has been read by the caller).
        {.name = "repeat text: ends at a blank run", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'S', 0xC0, ' ', 5, 'F', 'I', 'E', 'L', 'D'}, .text = "SSS", .cursor = 4},
        {.name = "repeat text: two repeat runs", .op = Op::CollectRepeat, .bytes = {0xFD, 'A', 0xFC, 'B', 0xC0, ' ', 1},
         .text = "AAABBBB", .cursor = 6},
        {.name = "repeat text: literal of 1 then padding", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'B', 1, 'C', 0xC0, ' ', 4, 'F', 'I', 'E', 'L'}, .text = "BBBC", .cursor = 6},
        {.name = "repeat text: literal of 2 is read as its two bytes", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'B', 2, 'C', 'D', 0xC0, ' ', 3, 'F', 'I', 'E'}, .text = "BBBCD", .cursor = 7},
        {.name = "repeat text: literal of 3 is read whole", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'B', 3, 'C', 'D', 'E', 0xC0, ' ', 3, 'F', 'I', 'E'}, .text = "BBBCDE", .cursor = 8},
        {.name = "repeat text: literal with no padding after it", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'B', 2, 'C', 'D', 4, 'R', 'D', 'B', '$'}, .text = "BBBCD", .cursor = 5},
        {.name = "repeat text: control 0 ends with nothing", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'B', 0, 'Q', 3, 'a', 'b', 'c'}, .text = "BBB", .cursor = 4},
        {.name = "repeat text: repeat of zeros ends it", .op = Op::CollectRepeat,
         .bytes = {0xFD, 'B', 0xF0, 0, 3, 'a', 'b', 'c'}, .text = "BBB", .cursor = 4},
        {.name = "repeat text: byte above 127 is its own code", .op = Op::CollectRepeat,
         .bytes = {0xFE, 0x80, 0xC0, ' '}, .text = "\xC2\x80\xC2\x80", .cursor = 4},
        {.name = "repeat text: truncated literal", .op = Op::CollectRepeat, .bytes = {0xFD, 'B', 0x40, 'C', 'D'},
         .text = "BBBCD", .cursor = 5},
        {.name = "repeat text: stops with 1 byte left", .op = Op::CollectRepeat, .bytes = {0xFD, 'B', 0xFE},
         .text = "BBB", .cursor = 2},

        // CollectFieldSource.
        {.name = "source: blank run is left for the caller", .op = Op::CollectSource,
         .bytes = {0xFD, '1', 0xC0, ' ', 2, 7, 0}, .text = "111", .cursor = 2},
        {.name = "source: literal of 1", .op = Op::CollectSource, .bytes = {0xFD, '1', 1, '5', 0xC0, ' '},
         .text = "1115", .cursor = 4},
        {.name = "source: literal of 2", .op = Op::CollectSource, .bytes = {0xFD, '1', 2, '5', '6', 0xC0, ' '},
         .text = "11156", .cursor = 5},
        {.name = "source: literal of 3", .op = Op::CollectSource, .bytes = {0xFD, '1', 3, '5', '6', '7', 0xC0, ' '},
         .text = "111567", .cursor = 6},
        {.name = "source: control 0 ends with nothing", .op = Op::CollectSource, .bytes = {0xFD, '1', 0, 'x', 1, 'y'},
         .text = "111", .cursor = 4},
        {.name = "source: truncated literal", .op = Op::CollectSource, .bytes = {0xFD, '1', 9, '5', '6'},
         .text = "11156", .cursor = 5},
        {.name = "source: literal whose first byte lies past the record", .op = Op::CollectSource, .bytes = {5},
         .text = "", .cursor = 1},
        {.name = "source: stops with 1 byte left", .op = Op::CollectSource, .bytes = {0xFC, 'R', 0xFE},
         .text = "RRRR", .cursor = 2},
    };
    return cases;
}

TEST(RecordStream, CaseTable)
{
    ASSERT_TRUE(SetCodePage("WIN1252"));
    for (const StreamCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        RecordStream s = Stream(c.bytes);
        ASSERT_EQ(s.remainingLength(), c.bytes.size());
        std::string text;
        switch (c.op) {
        case Op::PrePassHeader:
            EXPECT_EQ(s.ReadRecordHeader(HeaderVariant::RelationPrePass), c.verdict);
            break;
        case Op::RelationFieldsHeader:
            EXPECT_EQ(s.ReadRecordHeader(HeaderVariant::RelationFields), c.verdict);
            break;
        case Op::Skip:
            s.SeekTo(c.start);
            s.SkipDecompressed(static_cast<std::uint8_t>(c.count));
            break;
        case Op::Continue:
            s.SeekTo(c.start);
            text = s.ContinueName(c.nameSoFar);
            break;
        case Op::CollectRepeat:
        case Op::CollectSource: {
            s.SeekTo(c.start);
            const std::uint8_t control = s.ReadControl();
            const std::uint8_t next = s.ReadByte();
            text = c.op == Op::CollectRepeat ? s.CollectRepeatText(control, next) : s.CollectFieldSource(control, next);
            break;
        }
        }
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(s.offset(), c.cursor);
        EXPECT_EQ(s.remainingLength(), c.bytes.size() - c.cursor);
    }
}

TEST(RecordStream, HeaderKeepsBothFlagBytesAndTheForwardPointer)
{
    RecordStream s = Stream(Cat(Flagged(0x0A0B0C0D, 8, 0x20, 0x01020304, 0x0506), {1, 'X'}));
    ASSERT_EQ(s.ReadRecordHeader(HeaderVariant::RelationFields), HeaderVerdict::AcceptedFirstFragment);
    const RecordHeader& h = s.header();
    EXPECT_EQ(h.transaction, 0x0A0B0C0Du);
    EXPECT_EQ(h.backPage, 0x11223344u);
    EXPECT_EQ(h.flags, 8);
    EXPECT_EQ(h.flags2, 0x20);
    EXPECT_EQ(h.forwardPage, 0x01020304u);
    EXPECT_EQ(h.forwardLine, 0x0506);
    // The first fragment's data is its own bytes from 22 on.
    EXPECT_EQ(s.ReadControl(), 1);
    EXPECT_EQ(s.ReadByte(), 'X');
}

TEST(RecordStream, PhantomBytesAreTakenBackFirst)
{
    // Two bytes past the end are "read"; moving back 3 lands on the last real
    // byte, not on an earlier one.
    RecordStream s = Stream({'a', 'b', 'c'});
    s.SeekTo(2);
    EXPECT_EQ(s.ReadByte(), 'c');
    EXPECT_EQ(s.ReadByte(), 0);
    EXPECT_EQ(s.ReadByte(), 0);
    EXPECT_EQ(s.offset(), 3u);
    EXPECT_EQ(s.remainingLength(), 0);
    s.SeekBy(-3);
    EXPECT_EQ(s.ReadByte(), 'c');
    s.SeekBy(-10);
    EXPECT_EQ(s.offset(), 0u);
}

TEST(RecordStream, FromFileClipsTheRecordToItsPage)
{
    std::vector<std::byte> file(4096);
    for (std::size_t k = 0; k < file.size(); ++k)
        file[k] = std::byte{static_cast<std::uint8_t>(k)};
    ReadingContext context;
    context.fileHandle = std::make_unique<MemoryPageSource>(std::move(file));

    struct Row {
        const char* name;
        std::uint64_t offset;
        std::uint16_t length;
        std::uint64_t pageEnd;
        std::size_t expectedSize;
    };
    const Row rows[] = {
        {"inside the page", 1000, 40, 2048, 40},
        {"crossing the page end", 2040, 40, 2048, 8},
        {"starting at the page end", 2048, 40, 2048, 0},
        {"beyond the page end", 3000, 40, 2048, 0},
        {"past the end of the file", 4090, 40, 8192, 40},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RecordStream s = RecordStream::FromFile(context, r.offset, r.length, r.pageEnd);
        ASSERT_EQ(s.size(), r.expectedSize);
        EXPECT_EQ(s.remainingLength(), r.expectedSize);
        for (std::size_t k = 0; k < s.size(); ++k) {
            const std::uint64_t at = r.offset + k;
            const std::uint8_t expected = at < 4096 ? static_cast<std::uint8_t>(at) : 0;
            ASSERT_EQ(std::to_integer<std::uint8_t>(s.bytes()[k]), expected) << "byte " << k;
        }
    }
}

TEST(RecordStream, SpacesToUnderscores)
{
    EXPECT_EQ(SpacesToUnderscores("LENGTH  (CM) X"), "LENGTH__(CM)_X");
    EXPECT_EQ(SpacesToUnderscores("NOBLANKS"), "NOBLANKS");
}

// Random records through the header tests and every run walk: no walk may
// leave the record, loop without end, or build a name longer than its field.
TEST(RecordStream, RandomRecordsStayInside)
{
    std::mt19937 rng(20240611);
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    const std::uint8_t flagChoices[] = {0, 4, 8, 2, 0x10};
    for (int iteration = 0; iteration < 50000; ++iteration) {
        Bytes bytes(pick(90));
        for (auto& b : bytes) {
            // Favour control bytes at the interesting edges.
            const unsigned kind = pick(8);
            b = kind == 0 ? 0 : kind == 1 ? 0x80 : kind == 2 ? 0xFF : kind == 3 ? 127 : kind == 4 ? ' '
                                                                                                 : pick(256);
        }
        if (bytes.size() > 12 && pick(2)) {
            bytes[0] = static_cast<std::uint8_t>(pick(2));  // transaction 0 or not
            bytes[8] = bytes[9] = 0;
            bytes[10] = flagChoices[pick(5)];
            bytes[12] = static_cast<std::uint8_t>(pick(3));
        }
        RecordStream s = Stream(bytes);
        const auto check = [&](const char* step) {
            ASSERT_LE(s.offset(), s.size()) << step << " iteration " << iteration;
            ASSERT_EQ(s.remainingLength(), s.size() - s.offset()) << step << " iteration " << iteration;
        };
        s.ReadRecordHeader(pick(2) ? HeaderVariant::RelationFields : HeaderVariant::RelationPrePass);
        check("header");
        for (int step = 0; step < 6; ++step) {
            switch (pick(6)) {
            case 0:
                s.SkipDecompressed(static_cast<std::uint8_t>(pick(256)));
                check("skip");
                break;
            case 1: {
                const std::string prefix(pick(70), 'n');
                const std::string name = s.ContinueName(prefix);
                check("continue");
                std::size_t characters = 0;
                for (char ch : name)
                    characters += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
                if (prefix.size() >= 67)
                    ASSERT_EQ(name, prefix);
                else
                    ASSERT_LE(characters, 67u) << "iteration " << iteration;
                break;
            }
            case 2:
            case 3: {
                const std::uint8_t control = s.ReadControl();
                const std::uint8_t next = s.ReadByte();
                if (pick(2))
                    s.CollectRepeatText(control, next);
                else
                    s.CollectFieldSource(control, next);
                check("collect");
                break;
            }
            case 4:
                s.SeekBy(static_cast<int>(pick(41)) - 20);
                check("seek");
                break;
            case 5:
                s.ReadStoredString(static_cast<std::uint16_t>(pick(300)), pick(2) != 0);
                check("stored string");
                break;
            }
        }
    }
}

}  // namespace
}  // namespace ravelin::ods
