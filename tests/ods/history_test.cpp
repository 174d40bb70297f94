// The file reader's parts of a database with a history: format descriptors,
// the transaction inventory, difference strings, and UTF-8 texts on their
// way to the target.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fixture/formatrecords.h"
#include "fixture/recordingframe.h"
#include "fixture/transactioninventory.h"
#include "fixture/versionrecords.h"
#include "ods/constants.h"
#include "ods/pagescan.h"
#include "ods/recordformat.h"
#include "ods/recordimage.h"
#include "ods/textcodec.h"
#include "ods/transactions.h"

namespace ravelin::ods {
namespace {

using fixture::Bytes;
using fixture::FixtureWriter;
namespace fx = fixture;

const std::filesystem::path kSamples = RAVELIN_SAMPLES_DIR;

std::span<const std::byte> AsBytes(std::string_view text)
{
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

TEST(FormatDescriptor, FieldsAndDamage)
{
    // MEDICINE_CATEGORIES, format 2 of PHARMACY2.IB: an INTEGER, a dropped
    // field, an INTEGER.
    const Bytes medicineCategories = fx::FromHex(
        "00090000040000000000000004000000 00000000000000000000000000000000 00090000040000000000000008000000");
    const auto fields = ParseFormatDescriptor(medicineCategories);
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 3u);
    EXPECT_EQ((*fields)[0].type, kStoredLong);
    EXPECT_TRUE((*fields)[1].dropped());
    EXPECT_EQ((*fields)[2].offset, 8u);
    RecordFormat format{129, 2, *fields};
    EXPECT_EQ(format.NullFlagBytes(), 4u);
    EXPECT_EQ(format.RecordLength(), 12u);
    EXPECT_FALSE(format.Stored((*fields)[1]));

    // A UTF8 VARCHAR(100) (400 bytes and the length word) and a computed
    // NUMERIC(18,9) at offset 0 (SALES.AGED of EMPLOYEE.GDB).
    const auto text = ParseFormatDescriptor(fx::FromHex("000300009201" "3b00" "000000000800 0000"
                                                        "0013f70008000100 0000000000000000"));
    ASSERT_TRUE(text);
    EXPECT_EQ((*text)[0].characterSet(), kCharsetUtf8);
    EXPECT_EQ((*text)[0].length, 402u);
    EXPECT_EQ((*text)[1].scale, -9);
    RecordFormat computed{137, 1, *text};
    EXPECT_FALSE(computed.Stored((*text)[1]));
    EXPECT_EQ(computed.RecordLength(), 8u + 402u);

    const struct {
        const char* name;
        Bytes bytes;
    } damaged[] = {
        {"empty", {}},
        {"not a whole number of fields", fx::FromHex("0009000004000000000000000400")},
        {"first byte set", fx::FromHex("01090000040000000000000004000000")},
        {"a field past the largest record", fx::FromHex("0001000010000000000000000000ffff")},
    };
    for (const auto& c : damaged) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ParseFormatDescriptor(c.bytes));
    }
}

TEST(FormatDescriptor, CharacterSets)
{
    EXPECT_EQ(BytesPerCharacter(kCharsetUtf8), 4u);
    EXPECT_EQ(BytesPerCharacter(kCharsetUnicodeFss), 3u);
    EXPECT_EQ(BytesPerCharacter(kCharsetNone), 1u);
    EXPECT_EQ(BytesPerCharacter(53), 1u);  // a single-byte set
    EXPECT_TRUE(IsUtf8CharacterSet(kCharsetUtf8));
    EXPECT_TRUE(IsUtf8CharacterSet(kCharsetUnicodeFss));
    EXPECT_FALSE(IsUtf8CharacterSet(kCharsetNone));
}

// Opens the image and files its pages as the scan does.
struct Opened {
    ReadingContext context;
    PageList lists;
    explicit Opened(const FixtureWriter& writer)
    {
        EXPECT_TRUE(context.OpenSource(writer.Source()));
        fixture::RecordingFrame frame;
        job::WorkerLink link{frame.Link()};
        ScanPages(context, lists, link);
    }
};

// The bytes a sound record keeps zero: between the stored fields, and
// under a field whose null flag is set. A VARCHAR's unused tail may hold
// old bytes (an update in place leaves them), and so may nothing else.
TEST(FormatDescriptor, SlackBytesOfASoundRecordAreZero)
{
    // Null flags 0..3; INTEGER at 4..7; a gap 8..11 (alignment); DOUBLE at
    // 12..19; VARCHAR(6) at 20..27.
    RecordFormat format;
    format.fields = {FormatField{kStoredLong, 0, 0, 4, 0, 0, 4}, FormatField{kStoredDouble, 0, 0, 8, 0, 0, 12},
                     FormatField{kStoredVarying, 0, 0, 8, 0, 0, 20}};
    ASSERT_EQ(format.RecordLength(), 28u);
    const auto record = [](std::initializer_list<std::pair<std::size_t, std::uint8_t>> set) {
        std::vector<std::byte> bytes(28, std::byte{0});
        for (const auto& [at, value] : set)
            bytes[at] = std::byte{value};
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<std::byte> data;
        std::optional<std::size_t> stray;
    };
    const Case cases[] = {
        {"values in every field", record({{4, 7}, {12, 1}, {19, 0x40}, {20, 2}, {22, 'a'}, {23, 'b'}}), std::nullopt},
        {"an old text after a VARCHAR's value", record({{20, 1}, {22, 'a'}, {23, 'z'}, {27, 'q'}}), std::nullopt},
        {"a byte in the alignment gap", record({{4, 7}, {9, 1}}), 9},
        {"a byte under a null field", record({{0, 0x02}, {15, 3}}), 15},
        {"a null field of zeros", record({{0, 0x02}}), std::nullopt},
        {"a short record is checked as far as it goes", std::vector<std::byte>(10, std::byte{0}), std::nullopt},
    };
    const SlackCheck check(format);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check.FindStrayByte(c.data), c.stray);
        EXPECT_EQ(FindStraySlackByte(format, c.data), c.stray);
    }
}

TEST(TransactionStates, StatesComeFromACheckedChainOnly)
{
    using S = fx::TransactionState;
    constexpr std::uint32_t kPageSize = 1024;
    const std::uint32_t perPage = fx::TransactionsPerTipPage(kPageSize);
    // Three pages' worth: a rolled-back transaction on the first page, an
    // active one on the second, one in limbo on the third.
    const std::uint32_t last = 2 * perPage + 10;
    const std::uint32_t dead = 7, active = perPage + 3, limbo = 2 * perPage + 5;
    const auto states = fx::CommittedExcept(last, {{dead, S::Dead}, {active, S::Active}, {limbo, S::Limbo}});

    const struct {
        const char* name;
        std::function<void(FixtureWriter&, const std::vector<std::uint32_t>& tips)> damage;
        bool readable;
    } cases[] = {
        {"intact", [](FixtureWriter&, const auto&) {}, true},
        {"the header page zeroed", [](FixtureWriter& w, const auto&) { w.InitPage(0, 0); }, false},
        {"the first inventory page lost: the second would pass for it",
         [](FixtureWriter& w, const auto& tips) { w.InitPage(tips[0], 0); }, false},
        {"a chain that turns back to its start",
         [](FixtureWriter& w, const auto& tips) { w.SetPageLong(tips[1], 16, tips[0]); }, false},
        {"the header naming more transactions than the chain holds",
         [last](FixtureWriter& w, const auto&) { fx::SetHeaderTransactions(w, {last + 5000, std::nullopt, std::nullopt}); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureWriter writer(kPageSize, 15);
        const std::vector<std::uint32_t> tips = fx::AddTransactionInventory(writer, states);
        ASSERT_EQ(tips.size(), 3u);
        writer.PadToPageCount(writer.pageCount() + 1);
        c.damage(writer, tips);
        Opened file(writer);
        TransactionInventory inventory(file.context, file.lists);
        EXPECT_EQ(inventory.readable(), c.readable);
        if (!c.readable) {
            EXPECT_EQ(inventory.State(dead), TransactionState::Unknown);
            continue;
        }
        EXPECT_EQ(inventory.newestTransaction(), last);
        EXPECT_EQ(inventory.State(1), TransactionState::Committed);
        EXPECT_EQ(inventory.State(dead), TransactionState::Dead);
        EXPECT_EQ(inventory.State(active), TransactionState::Active);
        EXPECT_EQ(inventory.State(limbo), TransactionState::Limbo);
        EXPECT_EQ(inventory.State(last), TransactionState::Committed);
        EXPECT_EQ(inventory.State(last + 1), TransactionState::Unknown);  // never started
    }
}

TEST(TransactionStates, RealFiles)
{
    const struct {
        const char* file;
        std::uint64_t newest;
        std::vector<std::pair<std::uint64_t, TransactionState>> states;
    } cases[] = {
        {"ods16/MEDICINES.IB", 2004,
         {{310, TransactionState::Committed},
          {311, TransactionState::Dead},
          {1995, TransactionState::Active},
          {2004, TransactionState::Committed}}},
        {"ods15/EMPLOYEE.GDB", 77, {{77, TransactionState::Committed}}},
        {"ods13/MASTSQL.GDB", 807, {{552, TransactionState::Dead}, {806, TransactionState::Committed}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = kSamples / c.file;
        if (!std::filesystem::exists(path))
            GTEST_SKIP() << "the sample databases are not here";
        ReadingContext context;
        ASSERT_TRUE(context.OpenDatabaseFile(path.string()));
        fixture::RecordingFrame frame;
        job::WorkerLink link{frame.Link()};
        PageList lists;
        ScanPages(context, lists, link);
        TransactionInventory inventory(context, lists);
        ASSERT_TRUE(inventory.readable());
        EXPECT_EQ(inventory.newestTransaction(), c.newest);
        for (const auto& [transaction, state] : c.states)
            EXPECT_EQ(inventory.State(transaction), state) << transaction;
    }
}

TEST(DifferenceStrings, ApplyTurnsTheNewerVersionIntoTheOlder)
{
    const Bytes newer = fx::ToBytes("the newer version of a record, longer");
    const struct {
        const char* name;
        Bytes older;
    } cases[] = {
        {"a few bytes changed", fx::ToBytes("the older version of a record, longer")},
        {"shorter", fx::ToBytes("the newer")},
        {"longer", fx::ToBytes("the newer version of a record, longer still")},
        {"nothing alike", fx::ToBytes("0123456789")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordImage image;
        image.Expand(fx::Compress(newer), kMaxRecordLength);
        ASSERT_TRUE(image.ApplyDifferences(fx::Differences(newer, c.older), c.older.size()));
        EXPECT_EQ(Bytes(image.bytes().begin(), image.bytes().end()), c.older);
    }
    // A control that announces more bytes than follow leaves the data alone.
    RecordImage image;
    image.Expand(fx::Compress(newer), kMaxRecordLength);
    EXPECT_FALSE(image.ApplyDifferences(fx::FromHex("05 41 42"), newer.size()));
    EXPECT_EQ(Bytes(image.bytes().begin(), image.bytes().end()), newer);
}

TEST(Utf8Text, StoredTextAndStatements)
{
    const struct {
        const char* name;
        std::string stored;
        std::string text;
        bool wellFormed;
    } texts[] = {
        {"plain", "Avamys", "Avamys", true},
        {"two- and three-byte characters", "gr\xc3\xbc\xc3\x9f \xe2\x82\xac", "gr\xc3\xbc\xc3\x9f \xe2\x82\xac",
         true},
        {"ends at a zero byte", std::string("ab\0cd", 5), "ab", true},
        {"a stored U+FFFD", "a\xef\xbf\xbd", "a\xef\xbf\xbd", true},
        {"a stray continuation byte", "a\x80z", "a\xef\xbf\xbdz", false},
        {"a sequence cut short", "a\xc3", "a\xef\xbf\xbd", false},
        {"an overlong form", "\xc0\xaf!", "\xef\xbf\xbd\xef\xbf\xbd!", false},
        {"a surrogate", "\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", false},
    };
    for (const auto& c : texts) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeUtf8Text(AsBytes(c.stored)), c.text);
        bool wellFormed = !c.wellFormed;
        EXPECT_EQ(DecodeUtf8Text(AsBytes(c.stored), wellFormed), c.text);
        EXPECT_EQ(wellFormed, c.wellFormed);
    }

    ASSERT_TRUE(SetCodePage("WIN1252"));
    const struct {
        const char* name;
        std::string statement;
        std::string wire;
    } statements[] = {
        {"code page everywhere else", "VALUES ('caf\xc3\xa9')", "VALUES ('caf\xe9')"},
        {"a UTF8 literal keeps its bytes", "VALUES (1,_UTF8 'caf\xc3\xa9')", "VALUES (1,_UTF8 'caf\xc3\xa9')"},
        {"both in one statement", "VALUES ('\xc3\xa9',_UTF8 '\xc3\xa9','\xc3\xa9')",
         "VALUES ('\xe9',_UTF8 '\xc3\xa9','\xe9')"},
        {"a doubled apostrophe stays inside the literal", "VALUES (_UTF8 'O''\xc3\xa9',' _UTF8 ''\xc3\xa9')",
         "VALUES (_UTF8 'O''\xc3\xa9',' _UTF8 ''\xe9')"},
    };
    for (const auto& c : statements) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeStatement(c.statement), c.wire);
    }
}

}  // namespace
}  // namespace ravelin::ods
