#include "extract/recordlayout.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extractharness.h"
#include "fixture/tablerecords.h"

namespace ravelin::extract {
namespace {

using testing::Column;

catalogue::COLUMN Array(catalogue::COLUMN column)
{
    column.dimensions = 1;
    return column;
}

TEST(RecordLayout, ColumnsStartOnTheirTypesBoundaries)
{
    const struct {
        const char* name;
        std::vector<catalogue::COLUMN> columns;
        std::vector<std::size_t> offsets;
        std::size_t length;
    } cases[] = {
        {"SMALLINT after a CHAR of odd length", {Column("C", 14, 3), Column("S", 7, 2)}, {4, 8}, 10},
        {"BOOLEAN after a CHAR of odd length", {Column("C", 14, 1), Column("B", 17, 2)}, {4, 6}, 8},
        {"VARCHAR of odd length, then an INTEGER", {Column("V", 37, 7), Column("I", 8, 4)}, {4, 16}, 20},
        {"VARCHAR after a CHAR", {Column("C", 14, 1), Column("V", 37, 4)}, {4, 6}, 12},
        {"8-byte values on 4-byte boundaries",
         {Column("S", 7, 2), Column("D", 27, 8), Column("N", 1, 8), Column("T", 35, 8), Column("B", 5, 8)},
         {4, 8, 16, 24, 32},
         40},
        {"2- and 4-byte scaled integers", {Column("C", 14, 1), Column("N2", 1, 2), Column("N4", 2, 4)}, {4, 6, 8}, 12},
        {"a type without storage takes none", {Column("A", 9, 0), Column("I", 8, 4)}, {4, 4}, 8},
        {"BIGINT: 8 bytes on an 8-byte boundary", {Column("S", 7, 2), Column("B", 16, 8)}, {4, 8}, 16},
        // An array column holds its 8-byte array id, whatever its element type.
        {"array columns: 8-byte ids on 4-byte boundaries",
         {Column("C", 14, 1), Array(Column("L", 37, 15)), Column("S", 7, 2), Array(Column("Q", 8, 4)), Column("V", 37, 3)},
         {4, 8, 16, 20, 28},
         33},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordLayout layout = ComputeRecordLayout(c.columns);
        ASSERT_EQ(layout.columns.size(), c.offsets.size());
        for (std::size_t i = 0; i < c.offsets.size(); ++i)
            EXPECT_EQ(layout.columns[i].offset, c.offsets[i]) << c.columns[i].name;
        EXPECT_EQ(layout.length, c.length);
    }
}

TEST(RecordLayout, NullFlagAreaGrowsEveryThirtyTwoColumns)
{
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 0}, {1, 4}, {8, 4}, {9, 4}, {31, 4}, {32, 4}, {33, 8}, {64, 8}, {65, 12}};
    for (const auto& [columns, bytes] : cases)
        EXPECT_EQ(NullFlagBytes(columns), bytes) << columns << " columns";
    // The first column follows the flag area directly.
    const std::vector<catalogue::COLUMN> many(33, Column("S", 14, 1));
    EXPECT_EQ(ComputeRecordLayout(many).columns.front().offset, 8u);
}

std::vector<std::vector<std::byte>> Samples(const fixture::TableRecordBuilder& builder,
                                            const std::vector<std::vector<std::optional<fixture::Bytes>>>& records)
{
    std::vector<std::vector<std::byte>> samples;
    for (const auto& values : records)
        samples.push_back(builder.Record(values));
    return samples;
}

TEST(RecordLayout, InferredFromTheRecordsOfTheTable)
{
    using fixture::FieldSpec;
    using fixture::IntegerBytes;
    using fixture::VarcharBytes;
    const std::vector<catalogue::COLUMN> columns = {Column("ID", 8, 4), Column("FULL_NAME", 37, 37),
                                                     Column("NAME", 37, 15), Column("D", 27, 8)};
    const auto value = [](int id) -> std::vector<std::optional<fixture::Bytes>> {
        return {IntegerBytes(id), std::nullopt, VarcharBytes("x" + std::to_string(id), 15), fixture::DoubleBytes(id)};
    };
    const struct {
        const char* name;
        std::vector<FieldSpec> stored;  // how the records were written
        std::size_t eightByteAlignment;
        std::vector<bool> expectStored;
        std::size_t doubleOffset;
    } cases[] = {
        {"every column stored", {{8, 4}, {37, 37}, {37, 15}, {27, 8}}, 4, {true, true, true, true}, 68},
        {"a computed column takes no bytes",
         {{8, 4}, {37, 37, true}, {37, 15}, {27, 8}},
         4,
         {true, false, true, true},
         28},
        {"doubles on 8-byte boundaries", {{8, 4}, {37, 37}, {37, 15}, {27, 8}}, 8, {true, true, true, true}, 72},
        {"computed column and 8-byte boundaries",
         {{8, 4}, {37, 37, true}, {37, 15}, {27, 8}},
         8,
         {true, false, true, true},
         32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fixture::TableRecordBuilder builder(c.stored, c.eightByteAlignment);
        std::vector<std::vector<std::optional<fixture::Bytes>>> records;
        for (int id = 1; id <= 5; ++id)
            records.push_back(value(id));
        auto samples = Samples(builder, records);
        // A damaged record of another length does not outvote the rest.
        samples.push_back(std::vector<std::byte>(7, std::byte{0}));
        const RecordLayout layout = InferRecordLayout(columns, samples);
        EXPECT_EQ(layout.length, builder.Length());
        for (std::size_t i = 0; i < columns.size(); ++i)
            EXPECT_EQ(layout.columns[i].stored, c.expectStored[i]) << columns[i].name;
        EXPECT_EQ(layout.columns[3].offset, c.doubleOffset);
    }
}

TEST(RecordLayout, WithoutAgreeingRecordsThePlainLayoutStays)
{
    const std::vector<catalogue::COLUMN> columns = {Column("A", 8, 4), Column("B", 37, 10)};
    const RecordLayout plain = ComputeRecordLayout(columns);
    // No samples; samples of a length no layout gives; a length that only
    // dropping a column holding values would give.
    const std::vector<std::vector<std::vector<std::byte>>> cases = {
        {},
        {std::vector<std::byte>(5, std::byte{0})},
        {std::vector<std::byte>(8, std::byte{0})},
    };
    for (const auto& samples : cases) {
        const RecordLayout layout = InferRecordLayout(columns, samples);
        EXPECT_EQ(layout.length, plain.length);
        EXPECT_TRUE(layout.columns[0].stored && layout.columns[1].stored);
    }
}

}  // namespace
}  // namespace ravelin::extract
