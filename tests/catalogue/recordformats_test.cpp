// What the catalogue takes from the tables' record formats: a column's type
// where its field definition was lost or misread, and its character set.

#include "catalogue/recordformats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture/recordingframe.h"
#include "ods/constants.h"

namespace ravelin::catalogue {
namespace {

COLUMN Typed(std::uint8_t code, std::uint16_t length, const char* word, std::uint16_t scale = 0)
{
    COLUMN column;
    column.name = "C";
    column.fieldSource = "RDB$1";
    column.typeCode = code;
    column.length = length;
    column.typeName = word;
    column.scale = scale;
    column.fieldId = 0;
    return column;
}

ods::FormatField Field(std::uint8_t type, std::uint16_t length, std::int8_t scale = 0, std::uint16_t subType = 0)
{
    ods::FormatField field;
    field.type = type;
    field.length = length;
    field.scale = scale;
    field.subType = subType;
    field.offset = 4;
    return field;
}

TEST(RecordFormats, ColumnsAgreeWithTheirStoredFieldsOrTakeTheirType)
{
    const struct {
        const char* name;
        COLUMN column;
        ods::FormatField field;
        bool agrees;
        std::uint8_t code;       // after ColumnOfField
        std::uint16_t length;
        std::string word;
        std::uint16_t scale;
    } cases[] = {
        {"VARCHAR stored with its length word", Typed(37, 20, "VARCHAR"), Field(ods::kStoredVarying, 22), true, 37, 20,
         "VARCHAR", 0},
        {"a misread VARCHAR length", Typed(37, 32772, "VARCHAR"), Field(ods::kStoredVarying, 402, 0, 59), false, 37,
         400, "VARCHAR", 0},
        {"CHAR", Typed(14, 3, "CHAR"), Field(ods::kStoredText, 3), true, 14, 3, "CHAR", 0},
        {"NUMERIC(10,2) on 8 bytes", Typed(1, 8, "NUMERIC", 2), Field(ods::kStoredInt64, 8, -2, 1), true, 1, 8,
         "NUMERIC", 2},
        {"DECIMAL(9,2) on 4 bytes whose scale was lost", Typed(2, 4, "DECIMAL", 0), Field(ods::kStoredLong, 4, -2, 2),
         false, 2, 4, "DECIMAL", 2},
        {"a lost type: INTEGER", Typed(0, 0, ""), Field(ods::kStoredLong, 4), false, 8, 4, "INTEGER", 0},
        {"a lost type: a 64-bit integer without scale", Typed(0, 0, ""), Field(ods::kStoredInt64, 8), false, 16, 8,
         "BIGINT", 0},
        {"BIGINT", Typed(16, 8, "BIGINT"), Field(ods::kStoredInt64, 8), true, 16, 8, "BIGINT", 0},
        {"SMALLINT widened to INTEGER since", Typed(8, 4, "INTEGER"), Field(ods::kStoredShort, 2), false, 7, 2,
         "SMALLINT", 0},
        {"a double stored for a scaled number", Typed(1, 8, "NUMERIC", 2), Field(ods::kStoredDouble, 8, -2), false,
         27, 8, "DOUBLE PRECISION", 0},
        {"TIMESTAMP", Typed(35, 8, "TIMESTAMP"), Field(ods::kStoredTimestamp, 8), true, 35, 8, "TIMESTAMP", 0},
        {"BLOB text", Typed(5, 8, "BLOB"), Field(ods::kStoredBlob, 8, 0, 1), true, 5, 8, "BLOB", 0},
        {"a stored type this reader does not know", Typed(17, 2, "BOOLEAN"), Field(23, 1), true, 17, 2, "BOOLEAN",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ColumnAgreesWithField(c.column, c.field), c.agrees);
        const COLUMN typed = ColumnOfField(c.column, c.field);
        EXPECT_EQ(typed.typeCode, c.code);
        EXPECT_EQ(typed.length, c.length);
        EXPECT_EQ(typed.typeName, c.word);
        EXPECT_EQ(typed.scale, c.scale);
        EXPECT_EQ(typed.name, c.column.name);
        EXPECT_EQ(typed.fieldSource, c.column.fieldSource);
    }
}

TEST(RecordFormats, TheNewestFormatCompletesTheColumns)
{
    SchemaModel model;
    TableNode table;
    table.name = "MEDICINE";
    table.relationId = 128;
    COLUMN id = Typed(8, 4, "INTEGER");
    id.name = "MEDICINE_ID";
    COLUMN name = Typed(37, 32772, "VARCHAR");  // as a damaged field definition gave it
    name.name = "MEDICINE_NAME";
    name.fieldId = 1;
    name.notNull = 1;
    COLUMN gone = Typed(8, 4, "INTEGER");  // a field id the newest format does not store
    gone.name = "LOST";
    gone.fieldId = 7;
    table.columns = {id, name, gone};
    model.tables.push_back(table);

    ods::FormatField idField = Field(ods::kStoredLong, 4);
    ods::FormatField oldName = Field(ods::kStoredVarying, 202, 0, 59);
    ods::FormatField newName = Field(ods::kStoredVarying, 402, 0, 59);
    newName.offset = 8;
    model.recordFormats[128] = {{128, 1, {idField, oldName}}, {128, 2, {idField, newName}}};

    ApplyRecordFormats(model);
    const std::vector<COLUMN>& columns = model.tables.front().columns;
    EXPECT_EQ(columns[0].typeCode, kTypeInteger);
    EXPECT_EQ(columns[0].characterSet, 0);
    EXPECT_EQ(columns[1].length, 400);
    EXPECT_EQ(columns[1].characterSet, ods::kCharsetUtf8);
    EXPECT_EQ(CharacterLength(columns[1]), 100);
    EXPECT_TRUE(HoldsUtf8Text(columns[1]));
    EXPECT_EQ(columns[1].notNull, 1);
    EXPECT_EQ(columns[2].length, 4);  // untouched
}

// RebuildFromRecordFormats over the model and page lists: its log and the
// tables it counted.
struct Rebuilt {
    std::vector<std::string> log;
    std::uint16_t tableCount = 0;
};

Rebuilt Rebuild(SchemaModel& model, ods::PageList& lists)
{
    ods::ReadingContext context;
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    Rebuilt rebuilt;
    CatalogueContext scan{context, lists, model, link, rebuilt.tableCount};
    RebuildFromRecordFormats(scan);
    rebuilt.log = frame.logLines;
    return rebuilt;
}

// What the catalogue kept of one table before the rebuild.
struct KeptTable {
    std::string name;
    std::uint32_t relationId;
    std::vector<std::int32_t> columnFieldIds;  // each kept column, by field id (-1: none)
};

// What the rebuild should leave: "NAME=id:COL,COL" per table, in order.
std::string Describe(const SchemaModel& model)
{
    std::string text;
    for (const TableNode& table : model.tables) {
        text += table.name + "=" + std::to_string(table.relationId) + ":";
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            text += (i ? "," : "") + table.columns[i].name;
        text += " ";
    }
    return text;
}

TEST(RecordFormats, LostTablesAndColumnsAreRebuiltFromTheFormats)
{
    // Table 130's newest format: INTEGER, VARCHAR(20) in UTF8, a dropped
    // field, DOUBLE; an older format had one field only.
    ods::FormatField id = Field(ods::kStoredLong, 4);
    ods::FormatField text = Field(ods::kStoredVarying, 82, 0, ods::kCharsetUtf8);
    text.offset = 8;
    ods::FormatField dropped;
    ods::FormatField amount = Field(ods::kStoredDouble, 8);
    amount.offset = 96;
    const ods::RecordFormat older{130, 1, {id}};
    const ods::RecordFormat newest{130, 2, {id, text, dropped, amount}};
    // Relation 131 stores one INTEGER, like 132; 133 stores a DOUBLE.
    const ods::RecordFormat single{131, 1, {id}};
    const ods::RecordFormat twin{132, 1, {id}};
    const ods::RecordFormat other{133, 1, {Field(ods::kStoredDouble, 8)}};
    // Relation 134 stores an INTEGER and keeps a computed field (offset 0).
    ods::FormatField computed = Field(ods::kStoredLong, 4);
    computed.offset = 0;
    const ods::RecordFormat withComputed{134, 1, {id, computed}};

    struct Case {
        const char* name;
        std::vector<TABLEIDNAME> relations;
        std::vector<KeptTable> tables;
        std::vector<std::uint32_t> withPages;  // relations with data pages
        std::string expected;
        std::vector<std::string> log;
        std::uint16_t addedTables;
    };
    const Case cases[] = {
        {"an intact catalogue is left as it is",
         {{"T", 130, 4}},
         {{"T", 130, {0, 1, 3}}},
         {130},
         "T=130:C,C,C ",
         {},
         0},
        {"a relation record without column records gets the format's columns",
         {{"T", 130, 4}},
         {},
         {130},
         "T=130:COLUMN_0,COLUMN_1,COLUMN_3 ",
         {"Columns rebuilt from the record format in T: COLUMN_0, COLUMN_1, COLUMN_3"},
         0},
        {"lost column records are filled in by field id, in field-id order",
         {{"T", 130, 4}},
         {{"T", 130, {3, 0}}},
         {130},
         "T=130:C,COLUMN_1,C ",
         {"Columns rebuilt from the record format in T: COLUMN_1"},
         0},
        {"columns without field ids cannot say which fields are lost",
         {{"T", 130, 4}},
         {{"T", 130, {-1}}},
         {130},
         "T=130:C ",
         {},
         0},
        {"a relation with pages and a format but no catalogue becomes TABLE_<id>",
         {},
         {},
         {130},
         "TABLE_130=130:COLUMN_0,COLUMN_1,COLUMN_3 ",
         {"Table rebuilt from its record format: TABLE_130 (3 columns)"},
         1},
        {"a format without pages (a view's) rebuilds nothing",
         {},
         {},
         {},
         "",
         {},
         0},
        {"columns without their relation record take the one relation they match",
         {},
         {{"U", 0, {0}}},
         {131, 133},
         "U=131:C TABLE_133=133:COLUMN_0 ",
         {"Relation id found by its record format for U: 131",
          "Table rebuilt from its record format: TABLE_133 (1 column)"},
         2},
        {"a computed column matches the field its format keeps without storing it",
         {},
         {{"V", 0, {0, 1}}},
         {134},
         "V=134:C,C ",
         {"Relation id found by its record format for V: 134"},
         1},
        {"columns that match two relations keep relation 0; both become TABLE_<id>",
         {},
         {{"U", 0, {0}}},
         {131, 132},
         "U=0:C TABLE_131=131:COLUMN_0 TABLE_132=132:COLUMN_0 ",
         {"Table rebuilt from its record format: TABLE_131 (1 column)",
          "Table rebuilt from its record format: TABLE_132 (1 column)"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SchemaModel model;
        model.relations = c.relations;
        model.recordFormats[130] = {older, newest};
        model.recordFormats[131] = {single};
        model.recordFormats[132] = {twin};
        model.recordFormats[133] = {other};
        model.recordFormats[134] = {withComputed};
        // A system relation's format never rebuilds anything.
        model.recordFormats[5] = {ods::RecordFormat{5, 1, {id}}};
        for (const KeptTable& kept : c.tables) {
            TableNode table{kept.name, kept.relationId, 0, {}};
            for (const std::int32_t fieldId : kept.columnFieldIds) {
                COLUMN column = Typed(kTypeInteger, 4, "INTEGER");
                column.fieldId = fieldId;
                table.columns.push_back(column);
            }
            model.tables.push_back(table);
        }
        ods::PageList lists;
        for (const std::uint32_t relationId : c.withPages)
            lists.push_back(ods::PageListNode{relationId, ods::kDataPage, {4096}});
        lists.push_back(ods::PageListNode{5, ods::kDataPage, {8192}});
        const Rebuilt rebuilt = Rebuild(model, lists);
        EXPECT_EQ(Describe(model), c.expected);
        EXPECT_EQ(rebuilt.log, c.log);
        EXPECT_EQ(rebuilt.tableCount, c.addedTables);
    }
}

TEST(RecordFormats, RebuiltColumnsAreTypedFromTheFormat)
{
    ods::FormatField id = Field(ods::kStoredLong, 4);
    ods::FormatField text = Field(ods::kStoredVarying, 82, 0, ods::kCharsetUtf8);
    text.offset = 8;
    ods::FormatField money = Field(ods::kStoredLong, 4, -2, kTypeNumeric);
    money.precision = 9;
    money.offset = 92;
    ods::FormatField array = Field(ods::kStoredArray, 8);
    array.offset = 96;
    SchemaModel model;
    model.recordFormats[140] = {ods::RecordFormat{140, 1, {id, text, money, array}}};
    ods::PageList lists{ods::PageListNode{140, ods::kPointerPage, {4096}}};
    Rebuild(model, lists);
    ASSERT_EQ(model.tables.size(), 1u);
    const std::vector<COLUMN>& columns = model.tables[0].columns;
    // The array's element type is not in the format: it is left out.
    ASSERT_EQ(columns.size(), 3u);
    EXPECT_EQ(columns[0].typeCode, kTypeInteger);
    EXPECT_EQ(columns[1].typeCode, kTypeVarchar);
    EXPECT_EQ(CharacterLength(columns[1]), 20);
    EXPECT_TRUE(HoldsUtf8Text(columns[1]));
    EXPECT_EQ(columns[2].scale, 2);
    EXPECT_EQ(columns[2].precision, 9);
    EXPECT_EQ(columns[2].fieldId, 2);
    ASSERT_EQ(model.relations.size(), 1u);
    EXPECT_EQ(model.relations[0].name, "TABLE_140");
}

}  // namespace
}  // namespace ravelin::catalogue
