// Damaged records told apart from sound ones: a table stored in a record
// format, sound rows beside rows with one defect each. The preview shows the
// damaged rows marked with their readable cells; the repair inserts only the
// sound rows and hands the damaged ones, with their page, slot and readable
// cells, to the set-aside file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/recordformats.h"
#include "extract/extractharness.h"
#include "extract/tabletransfer.h"
#include "fixture/fixturewriter.h"
#include "fixture/formatrecords.h"
#include "fixture/tablerecords.h"
#include "ods/constants.h"

namespace ravelin::extract {
namespace {

using fixture::Bytes;
using fixture::TableRecordBuilder;
using testing::Harness;

constexpr std::uint16_t kRelation = 128;

constexpr std::uint8_t kUtf8 = 59;

// ID INTEGER at 4, NAME VARCHAR(10) CHARACTER SET UTF8 at 8..19, an
// alignment gap at 20..23, PRICE DOUBLE PRECISION at 24, SOLD DATE at 32.
TableRecordBuilder Format()
{
    fixture::FieldSpec name{37, 10};
    name.characterSet = kUtf8;
    return TableRecordBuilder({{8, 4}, name, {27, 8}, {12, 4}}, 8);
}

Bytes Row(int id, const std::string& name, double price, std::int32_t soldDay)
{
    Bytes priceBytes(8);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &price, 8);
    for (std::size_t i = 0; i < 8; ++i)
        priceBytes[i] = static_cast<std::byte>((bits >> (8 * i)) & 0xFF);
    return Format().Record({fixture::IntegerBytes(id), fixture::VarcharBytes(name, 10), priceBytes,
                            fixture::IntegerBytes(soldDay)});
}

enum ColumnIndex { kId, kName, kPrice, kSold, kNone };

struct Defect {
    const char* name;
    std::function<Bytes(Bytes data)> stored;  // the stored bytes after the header, from the record's data
    ColumnIndex unreadable = kNone;           // the column whose cell stays empty
};

Bytes Stored(const Bytes& compressed)
{
    fixture::RecordHeaderOptions header;
    header.format = 1;
    return fixture::BuildStoredRecord(header, compressed);
}

// The file: sound rows 1, 3, 5, ... and between them one row per defect.
struct Built {
    std::unique_ptr<fixture::FixtureWriter> writer;
    std::vector<std::string> defects;     // in row order
    std::vector<ColumnIndex> unreadable;  // per defect
    std::uint32_t page = 0;
};

Built Build()
{
    Built built;
    built.writer = std::make_unique<fixture::FixtureWriter>(4096, 16);
    fixture::FormatWriter formats(*built.writer, 16);
    formats.Add(kRelation, 1, fixture::FormatFieldsOf(Format()));
    formats.Finish();
    const TableRecordBuilder format = Format();
    const Defect defects[] = {
        {"runs left after the format's length",
         [](Bytes data) {
             Bytes compressed = fixture::Compress(data);
             compressed.insert(compressed.end(), {std::byte{2}, std::byte{'x'}, std::byte{'y'}});
             return compressed;
         }},
        {"runs ending before the format's length",
         [](Bytes data) {
             data.resize(data.size() - 4);
             return fixture::Compress(data);
         },
         kSold},
        {"a literal run cut by the record's end",
         [](Bytes data) {
             data.resize(data.size() - 4);
             Bytes compressed = fixture::Compress(data);
             compressed.insert(compressed.end(), {std::byte{4}, std::byte{0x50}, std::byte{0xC3}});
             return compressed;
         },
         kSold},
        {"runs reaching past the format's length",
         [](Bytes data) {
             data.resize(data.size() + 6);
             return fixture::Compress(data);
         }},
        {"a byte in the alignment gap",
         [&format](Bytes data) {
             data[format.Offset(1) + 12] = std::byte{0x41};
             return fixture::Compress(data);
         }},
        {"a null field's bytes set",
         [](Bytes data) {
             data[0] |= std::byte{1u << kPrice};
             return fixture::Compress(data);
         }},
        {"a VARCHAR length beyond its column",
         [&format](Bytes data) {
             fixture::PutWord(data, format.Offset(kName), 60);
             return fixture::Compress(data);
         },
         kName},
        {"a date of year 10000",
         [&format](Bytes data) {
             fixture::PutLong(data, format.Offset(kSold), 2973484);
             return fixture::Compress(data);
         },
         kSold},
        {"a UTF8 text that is not UTF-8",
         [&format](Bytes data) {
             data[format.Offset(kName) + 3] = std::byte{0x8A};  // "hurt": 'u' -> a stray continuation byte
             return fixture::Compress(data);
         },
         kName},
    };
    int id = 0;
    for (const Defect& defect : defects) {
        built.writer->AddStoredRecord(kRelation, Stored(fixture::Compress(Row(++id, "sound", 1.5, 50000))));
        const auto at = built.writer->AddStoredRecord(kRelation, Stored(defect.stored(Row(++id, "hurt", 2.5, 50000))));
        built.page = at.page;
        built.defects.push_back(defect.name);
        built.unreadable.push_back(defect.unreadable);
    }
    built.writer->AddStoredRecord(kRelation, Stored(fixture::Compress(Row(++id, "last", 3.5, 50000))));
    return built;
}

void Open(Harness& h, const fixture::FixtureWriter& writer)
{
    h.Open(writer);
    h.ReadRecordFormats();
    catalogue::COLUMN name = testing::Column("NAME", 37, 10);
    name.characterSet = kUtf8;
    h.AddTable("T", kRelation,
               testing::NumberedColumns({testing::Column("ID", 8, 4), name, testing::Column("PRICE", 27, 8),
                                         testing::Column("SOLD", 12, 4)}));
}

class CapturingSink final : public StatementSink, public DamagedRecordSink {
public:
    std::vector<std::string> statements;
    std::vector<std::vector<std::string>> setAside;  // page, slot, cells
    bool keep = true;
    bool ExecuteInsert(const std::string& sql) override
    {
        statements.push_back(sql);
        return true;
    }
    bool SetAside(const catalogue::TableNode& table, std::uint32_t page, std::uint16_t slot,
                  const std::vector<std::string>& cells) override
    {
        std::vector<std::string> line{table.name, std::to_string(page), std::to_string(slot)};
        line.insert(line.end(), cells.begin(), cells.end());
        setAside.push_back(line);
        return keep;
    }
    const std::string& Location() const override { return location; }
    std::string location = "t.fdbDamaged.csv";
};

TEST(DamagedRecords, PreviewMarksEveryDamagedRowAndOnlyThose)
{
    const Built built = Build();
    Harness h;
    Open(h, *built.writer);
    h.StartPreview("T");
    TransferTableData(h.job);
    const auto rows = h.grid.Rows();
    const auto& damaged = h.grid.damaged();
    ASSERT_EQ(rows.size(), 2 * built.defects.size() + 1);
    ASSERT_EQ(damaged.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool hurt = i % 2 == 1;
        SCOPED_TRACE(hurt ? built.defects[i / 2] : "sound row " + rows[i][0]);
        EXPECT_EQ(damaged[i], hurt);
        // Every row shows its identity: damage elsewhere leaves it readable.
        EXPECT_EQ(rows[i][kId], std::to_string(i + 1));
        if (!hurt) {
            EXPECT_EQ(rows[i][kName], i + 1 == rows.size() ? "last" : "sound");
            EXPECT_EQ(rows[i][kPrice], i + 1 == rows.size() ? "3.5" : "1.5");
            continue;
        }
        // The cell that cannot be read stays empty, the others show.
        const ColumnIndex unreadable = built.unreadable[i / 2];
        if (unreadable != kNone) {
            EXPECT_EQ(rows[i][unreadable], "");
        }
        if (unreadable != kName) {
            EXPECT_EQ(rows[i][kName], "hurt");
        }
    }
}

TEST(DamagedRecords, RepairInsertsTheSoundRowsAndSetsTheDamagedAside)
{
    const Built built = Build();
    for (const bool kept : {true, false}) {
        SCOPED_TRACE(kept ? "the set-aside file takes them" : "the set-aside file cannot be written");
        Harness h;
        Open(h, *built.writer);
        CapturingSink sink;
        sink.keep = kept;
        h.state.repairing = true;
        h.state.repairedTableName = "T";
        TransferHooks hooks;
        hooks.statements = &sink;
        hooks.damaged = &sink;
        TransferTableData(h.job, hooks);

        const std::size_t sound = built.defects.size() + 1;
        ASSERT_EQ(sink.statements.size(), sound);
        for (std::size_t i = 0; i < sound; ++i)
            EXPECT_EQ(sink.statements[i].rfind("INSERT INTO T(ID,NAME,PRICE,SOLD) VALUES (" + std::to_string(2 * i + 1) + ",", 0),
                      0u)
                << sink.statements[i];
        ASSERT_EQ(sink.setAside.size(), built.defects.size());
        for (std::size_t i = 0; i < built.defects.size(); ++i) {
            SCOPED_TRACE(built.defects[i]);
            const std::vector<std::string>& line = sink.setAside[i];
            ASSERT_EQ(line.size(), 3u + 4u);
            EXPECT_EQ(line[0], "T");
            EXPECT_EQ(line[1], std::to_string(built.page));
            EXPECT_EQ(line[2], std::to_string(2 * i + 1));  // its slot
            EXPECT_EQ(line[3 + kId], std::to_string(2 * i + 2));  // its ID, readable
            if (built.unreadable[i] != kNone) {
                EXPECT_EQ(line[3 + built.unreadable[i]], "");
            }
            if (built.unreadable[i] != kName) {
                EXPECT_EQ(line[3 + kName], "hurt");
            }
        }
        ASSERT_EQ(h.engine.repairedTables.size(), 1u);
        const job::RepairedTable& table = h.engine.repairedTables[0];
        EXPECT_EQ(table.present, 2 * built.defects.size() + 1);
        EXPECT_EQ(table.recovered, sound);
        EXPECT_EQ(table.setAside, kept ? built.defects.size() : 0u);
        EXPECT_EQ(table.damaged, built.defects.size());
        EXPECT_EQ(table.setAsideFile, "t.fdbDamaged.csv");
        const bool logged = std::find(h.frame.logLines.begin(), h.frame.logLines.end(),
                                      std::string(kRecordsSetAsideText) + std::to_string(built.defects.size())) !=
                            h.frame.logLines.end();
        EXPECT_EQ(logged, kept);
    }
}

// Blob values are numbered in record order as the repair meets them; a
// record found damaged after its blob was numbered keeps that number, and
// the set-aside pass numbers nothing again.
TEST(DamagedRecords, SetAsideRecordsLeaveTheBlobNumberingAlone)
{
    // ID INTEGER, PICTURE BLOB, NAME VARCHAR(10).
    const TableRecordBuilder format({{8, 4}, {5, 8}, {37, 10}});
    auto writer = std::make_unique<fixture::FixtureWriter>(4096, 16);
    fixture::FormatWriter formats(*writer, 16);
    formats.Add(kRelation, 1, fixture::FormatFieldsOf(format));
    formats.Finish();
    const auto row = [&format](int id, std::uint16_t nameLength) {
        Bytes data = format.Record({fixture::IntegerBytes(id), fixture::BlobIdBytes(kRelation, 100u + id),
                                    fixture::VarcharBytes("n", 10)});
        fixture::PutWord(data, format.Offset(2), nameLength);
        return Stored(fixture::Compress(data));
    };
    writer->AddStoredRecord(kRelation, row(1, 1));
    writer->AddStoredRecord(kRelation, row(2, 60));  // its NAME is longer than the column
    writer->AddStoredRecord(kRelation, row(3, 1));

    class Blobs final : public BlobHandler {
    public:
        std::vector<std::pair<std::uint32_t, std::uint32_t>> numbered;  // value number, blob record number
        std::string BlobValuePath(const catalogue::TableNode&, std::uint32_t valueNumber, const BlobId& id) override
        {
            numbered.emplace_back(valueNumber, id.recordNumber);
            return "blob" + std::to_string(valueNumber);
        }
        BlobShortfall ExtractTableBlobs(job::JobContext&, const catalogue::TableNode&) override { return {}; }
    };
    Harness h;
    h.Open(*writer);
    h.ReadRecordFormats();
    h.AddTable("T", kRelation,
               testing::NumberedColumns(
                   {testing::Column("ID", 8, 4), testing::Column("PICTURE", 5, 8), testing::Column("NAME", 37, 10)}));

    CapturingSink sink;
    Blobs blobs;
    h.state.repairing = true;
    h.state.repairedTableName = "T";
    TransferHooks hooks;
    hooks.statements = &sink;
    hooks.damaged = &sink;
    hooks.blobs = &blobs;
    TransferTableData(h.job, hooks);

    EXPECT_EQ(blobs.numbered, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 101}, {2, 102}, {3, 103}}));
    ASSERT_EQ(sink.statements.size(), 2u);
    EXPECT_NE(sink.statements[1].find("'blob3'"), std::string::npos) << sink.statements[1];
    ASSERT_EQ(sink.setAside.size(), 1u);
    EXPECT_EQ(sink.setAside[0][3], "2");
}

}  // namespace
}  // namespace ravelin::extract
