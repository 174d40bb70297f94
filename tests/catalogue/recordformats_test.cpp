// What the catalogue takes from the tables' record formats: a column's type
// where its field definition was lost or misread, and its character set.

#include "catalogue/recordformats.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ravelin::catalogue
