// A table with a history: records stored in two formats (a column dropped,
// one widened, one added), updated and deleted rows with their older
// versions, versions of transactions that rolled back or never ended. Each
// rule of the record walk is pinned by one row of the fixture; the preview,
// the count and the INSERTs must agree on which rows exist and what they hold.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/recordformats.h"
#include "extract/recordcount.h"
#include "extract/tabletransfer.h"
#include "extractharness.h"
#include "fixture/formatrecords.h"
#include "fixture/tablerecords.h"
#include "fixture/transactioninventory.h"
#include "fixture/versionrecords.h"
#include "ods/constants.h"

namespace ravelin::extract {
namespace {

using fixture::Bytes;
using fixture::FieldSpec;
using fixture::TableRecordBuilder;
using fixture::TransactionState;
using fixture::VersionHeader;
using testing::Harness;

constexpr std::uint16_t kRelation = 128;
constexpr std::uint8_t kUtf8 = 59;
constexpr std::uint8_t kFlags2 = 0x20;  // on most records of ODS 16 files

// Format 1: ID, OLDCOL (dropped later), NAME VARCHAR(20).
// Format 2: ID, (dropped), NAME VARCHAR(40), NOTE VARCHAR(10) in UTF8.
TableRecordBuilder Format1() { return TableRecordBuilder({{8, 4}, {37, 10}, {37, 20}}); }
TableRecordBuilder Format2()
{
    FieldSpec dropped;
    dropped.dropped = true;
    FieldSpec note{37, 40};
    note.characterSet = kUtf8;
    return TableRecordBuilder({{8, 4}, dropped, {37, 40}, note});
}

Bytes Row1(int id, const std::string& oldcol, const std::string& name)
{
    return Format1().Record({fixture::IntegerBytes(id), fixture::VarcharBytes(oldcol, 10),
                             fixture::VarcharBytes(name, 20)});
}
Bytes Row2(int id, const std::string& name, std::optional<std::string> note)
{
    std::optional<Bytes> noteBytes;
    if (note)
        noteBytes = fixture::VarcharBytes(*note, 40);
    return Format2().Record({fixture::IntegerBytes(id), std::nullopt, fixture::VarcharBytes(name, 40), noteBytes});
}

// Transactions: 1..19 committed, 20 and 21 rolled back, 22 active, 23 in limbo.
constexpr std::uint32_t kDead = 20;
constexpr std::uint32_t kDead2 = 21;
constexpr std::uint32_t kActive = 22;
constexpr std::uint32_t kLimbo = 23;
constexpr std::uint32_t kDead3 = 24;

// Builds the file; withInventory: whether its transaction inventory is there.
std::unique_ptr<fixture::FixtureWriter> BuildHistory(bool withInventory)
{
    auto writer = std::make_unique<fixture::FixtureWriter>(4096, 16);
    fixture::FormatWriter formats(*writer, 16);
    const TableRecordBuilder f1 = Format1();
    const TableRecordBuilder f2 = Format2();
    const auto fields1 = fixture::FormatFieldsOf(f1);
    const auto fields2 = fixture::FormatFieldsOf(f2);
    formats.Add(kRelation, 1, fields1);
    formats.Add(kRelation, 2, fields2);
    formats.Finish();

    const std::uint32_t page = writer->AddDataPage(kRelation);
    const auto place = [&](std::uint16_t slot, const Bytes& stored) {
        ASSERT_TRUE(writer->PlaceRecordAt(page, slot, stored).has_value()) << "slot " << slot;
    };
    const auto header = [&](std::uint32_t transaction, std::uint8_t format, std::uint16_t backLine = 0,
                            bool differences = false) {
        VersionHeader h;
        h.transaction = transaction;
        h.format = format;
        h.flags2 = kFlags2;
        h.backPage = backLine != 0 ? page : 0;
        h.backLine = backLine;
        h.backHoldsDifferences = differences;
        return h;
    };
    // Slots 0..9 hold the rows' newest versions, 10 on their older ones.
    // Row 1: stored before the ALTER TABLE, in format 1.
    place(0, fixture::PrimaryVersion(header(2, 1), Row1(1, "gone", "one")));
    // Row 2: format 2, a UTF-8 note.
    place(1, fixture::PrimaryVersion(header(3, 2), Row2(2, "two", "gr\xc3\xbc\xc3\x9f")));
    // Row 3: updated and committed; the old version is a difference string.
    const Bytes three = Row2(3, "three", std::nullopt);
    const Bytes threeOld = Row2(3, "three before", std::nullopt);
    place(2, fixture::PrimaryVersion(header(10, 2, 10, true), three));
    place(10, fixture::DifferenceOldVersion(header(5, 2), three, threeOld));
    // Row 4: an update that rolled back over a whole older version.
    place(3, fixture::PrimaryVersion(header(kDead, 2, 11), Row2(4, "four rolled back", std::nullopt)));
    place(11, fixture::WholeOldVersion(header(6, 2), Row2(4, "four", std::nullopt)));
    // Row 5: an update that rolled back over an older version stored as
    // differences, itself stored in format 1.
    const Bytes fiveNew = Row2(5, "five rolled back", std::nullopt);
    place(4, fixture::PrimaryVersion(header(kDead2, 2, 12, true), fiveNew));
    place(12, fixture::DifferenceOldVersion(header(7, 2), fiveNew, Row2(5, "five", std::nullopt)));
    // Row 6: deleted and committed.
    place(5, fixture::DeletionStub(header(8, 2, 13)));
    place(13, fixture::WholeOldVersion(header(4, 2), Row2(6, "six", std::nullopt)));
    // Row 7: deleted by a transaction still running: the row is still there.
    place(6, fixture::DeletionStub(header(kActive, 2, 14)));
    place(14, fixture::WholeOldVersion(header(9, 2), Row2(7, "seven", std::nullopt)));
    // Row 8: inserted by a transaction in limbo: no committed version.
    place(7, fixture::PrimaryVersion(header(kLimbo, 2), Row2(8, "eight in limbo", std::nullopt)));
    // Row 9: rolled back over a change mask: the current version is lost.
    place(8, fixture::PrimaryVersion(header(kDead3, 2, 15, true), Row2(9, "nine rolled back", std::nullopt)));
    place(15, fixture::ChangeMaskVersion(header(11, 2), fixture::FieldMask({2})));
    // Row 10: updated and committed over a change mask, as ODS 16 files keep them.
    place(9, fixture::PrimaryVersion(header(12, 2, 16, true), Row2(10, "ten", "x")));
    place(16, fixture::ChangeMaskVersion(header(11, 2), fixture::FieldMask({0, 2, 3})));
    writer->AddPointerPage(kRelation, std::vector<std::uint32_t>{page});

    if (withInventory) {
        fixture::AddTransactionInventory(
            *writer, fixture::CommittedExcept(30, {{kDead, TransactionState::Dead},
                                                  {kDead2, TransactionState::Dead},
                                                  {kActive, TransactionState::Active},
                                                  {kLimbo, TransactionState::Limbo},
                                                  {kDead3, TransactionState::Dead}}));
    }
    return writer;
}

catalogue::COLUMN HistoryColumn(std::string name, std::uint8_t type, std::uint16_t length, std::int32_t fieldId,
                                std::uint8_t characterSet = 0)
{
    catalogue::COLUMN column = testing::Column(std::move(name), type, length);
    column.fieldId = fieldId;
    column.characterSet = characterSet;
    return column;
}

// The file opened, its formats read as a scan reads them, and the table as
// its newest format describes it.
void OpenHistory(Harness& h, const fixture::FixtureWriter& writer)
{
    h.Open(writer);
    h.ReadRecordFormats();
    h.AddTable("T", kRelation,
               {HistoryColumn("ID", 8, 4, 0), HistoryColumn("NAME", 37, 40, 2), HistoryColumn("NOTE", 37, 40, 3, kUtf8)});
}

class CapturingSink final : public StatementSink {
public:
    std::vector<std::string> statements;
    bool ExecuteInsert(const std::string& sql) override
    {
        statements.push_back(sql);
        return true;
    }
};

std::string Insert(const std::string& values) { return "INSERT INTO T(ID,NAME,NOTE) VALUES (" + values + ")"; }

TEST(RecordHistory, FormatsAreReadForEveryNumber)
{
    const auto writer = BuildHistory(true);
    Harness h;
    OpenHistory(h, *writer);
    const ods::RecordFormat* first = h.engine.model.FindRecordFormat(kRelation, 1);
    const ods::RecordFormat* second = h.engine.model.FindRecordFormat(kRelation, 2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(h.engine.model.NewestRecordFormat(kRelation), second);
    ASSERT_EQ(second->fields.size(), 4u);
    EXPECT_TRUE(second->fields[1].dropped());
    EXPECT_EQ(second->fields[3].characterSet(), kUtf8);
    EXPECT_EQ(second->fields[2].offset, Format2().Offset(2));
    EXPECT_EQ(first->fields[2].offset, Format1().Offset(2));
    EXPECT_EQ(second->RecordLength(), Format2().Length());
}

TEST(RecordHistory, PreviewCountAndInsertsShowTheCurrentVersionOfEveryRow)
{
    const struct {
        const char* name;
        bool inventory;
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> inserts;  // empty text: a damaged record, counted but not sent
    } cases[] = {
        {"the inventory decides which version is current",
         true,
         {{"1", "one", "NULL"},
          {"2", "two", "gr\xc3\xbc\xc3\x9f"},
          {"3", "three", "NULL"},
          {"4", "four", "NULL"},
          {"5", "five", "NULL"},
          {"7", "seven", "NULL"},
          {""},
          {"10", "ten", "x"}},
         {Insert("1,'one',NULL"), Insert("2,'two',_UTF8 'gr\xc3\xbc\xc3\x9f'"), Insert("3,'three',NULL"),
          Insert("4,'four',NULL"), Insert("5,'five',NULL"), Insert("7,'seven',NULL"), Insert("10,'ten',_UTF8 'x'")}},
        {"without an inventory the newest version of every record wins",
         false,
         {{"1", "one", "NULL"},
          {"2", "two", "gr\xc3\xbc\xc3\x9f"},
          {"3", "three", "NULL"},
          {"4", "four rolled back", "NULL"},
          {"5", "five rolled back", "NULL"},
          {"8", "eight in limbo", "NULL"},
          {"9", "nine rolled back", "NULL"},
          {"10", "ten", "x"}},
         {Insert("1,'one',NULL"), Insert("2,'two',_UTF8 'gr\xc3\xbc\xc3\x9f'"), Insert("3,'three',NULL"),
          Insert("4,'four rolled back',NULL"), Insert("5,'five rolled back',NULL"),
          Insert("8,'eight in limbo',NULL"), Insert("9,'nine rolled back',NULL"), Insert("10,'ten',_UTF8 'x'")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto writer = BuildHistory(c.inventory);

        Harness preview;
        OpenHistory(preview, *writer);
        preview.StartPreview("T");
        TransferTableData(preview.job);
        EXPECT_EQ(preview.grid.Rows().size(), c.rows.size());
        std::vector<std::vector<std::string>> shown = preview.grid.Rows();
        for (auto& row : shown) {
            // A damaged row shows its empty first cell only.
            if (!row.empty() && row.front().empty())
                row.resize(1);
        }
        EXPECT_EQ(shown, c.rows);

        Harness count;
        OpenHistory(count, *writer);
        count.state.scanning = true;
        CountTableRecords(count.job);
        EXPECT_EQ(count.frame.logLines.at(1), "Total Records : " + std::to_string(c.rows.size()));

        Harness repair;
        OpenHistory(repair, *writer);
        CapturingSink sink;
        repair.state.repairing = true;
        repair.state.repairedTableName = "T";
        TransferHooks hooks;
        hooks.statements = &sink;
        TransferTableData(repair.job, hooks);
        EXPECT_EQ(sink.statements, c.inserts);
        // The damaged row is present, not recovered.
        const auto& lines = repair.frame.logLines;
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Total Records Present   : " + std::to_string(c.rows.size())),
                  lines.end());
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "Total Records Recovered : " + std::to_string(c.inserts.size())),
                  lines.end());
    }
}

}  // namespace
}  // namespace ravelin::extract
