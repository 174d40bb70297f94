#include "catalogue/fielddimensions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalogue/readers.h"
#include "fixture/fixturewriter.h"
#include "fixture/indexrecords.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;
using Bounds = std::vector<ods::ArrayBound>;

struct Scanned {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;
    CatalogueContext scan{context, lists, model, link, tableCount};
};

// A field-dimensions record, decompressed: null flags, the field name,
// the dimension number, the lower and upper bounds.
Bytes DimensionData(std::string_view field, std::uint16_t dimension, std::int32_t lower, std::int32_t upper,
                    std::uint8_t nullFlags = 0)
{
    Bytes data(84, std::byte{0});
    data[0] = std::byte{nullFlags};
    for (std::size_t i = 0; i < ods::kNameFieldWidth; ++i)
        data[4 + i] = std::byte{static_cast<unsigned char>(i < field.size() ? field[i] : ' ')};
    const auto word = [&data](std::size_t at, std::uint32_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            data[at + i] = std::byte{static_cast<unsigned char>(value >> (8 * i))};
    };
    word(72, dimension, 2);
    word(76, static_cast<std::uint32_t>(lower), 4);
    word(80, static_cast<std::uint32_t>(upper), 4);
    return data;
}

// Bounds by field in dimension order, whatever order the records come in.
// A field whose dimensions leave a gap, or whose record is unusable (a NULL
// bound, an upper bound below the lower), keeps no bounds at all: its
// column cannot be declared with the wrong shape.
TEST(FieldDimensions, BoundsByFieldInDimensionOrder)
{
    for (const int ods : {13, 15, 16}) {
        SCOPED_TRACE(ods);
        fixture::FixtureWriter writer(1024, static_cast<std::uint16_t>(ods));
        const fixture::RecordHeaderOptions header = fixture::CatalogueRecordHeader(ods);
        const auto add = [&](const Bytes& data) {
            fixture::AddCatalogueRecord(writer, ods::kRelFieldDimensions, data, header);
        };
        add(DimensionData("LANGUAGES", 0, 1, 5));
        add(DimensionData("GRID", 1, 1, 3));
        add(DimensionData("GRID", 0, -2, 1));
        add(DimensionData("GRID", 0, 7, 9));        // dimension 0 again: the first stays
        add(DimensionData("GAPPED", 0, 1, 2));
        add(DimensionData("GAPPED", 2, 1, 2));      // no dimension 1
        add(DimensionData("REVERSED", 0, 5, 1));
        add(DimensionData("UNBOUNDED", 0, 1, 4, 0x08));  // upper bound NULL

        Scanned s;
        ASSERT_TRUE(s.context.OpenSource(writer.Source()));
        ScanDatabase(s.scan);
        EXPECT_EQ(s.model.fieldBounds, (std::map<std::string, Bounds>{
                                           {"GRID", {{-2, 1}, {1, 3}}},
                                           {"LANGUAGES", {{1, 5}}},
                                       }));
    }
}

TEST(FieldDimensionsOfTheSamples, EmployeeArraysHaveTheirDeclaredBounds)
{
    const std::filesystem::path path = std::filesystem::path(RAVELIN_SAMPLES_DIR) / "ods15/EMPLOYEE.GDB";
    Scanned s;
    if (!std::filesystem::exists(path) || !s.context.OpenDatabaseFile(path.string()))
        GTEST_SKIP() << "samples not available";
    ScanDatabase(s.scan);
    // LANGUAGE_REQ VARCHAR(15) [5] and QUART_HEAD_CNT INTEGER [4].
    const std::map<std::string, Bounds> declared = {{"LANGUAGE_REQ", {{1, 5}}}, {"QUART_HEAD_CNT", {{1, 4}}}};
    std::map<std::string, Bounds> found;
    for (const TableNode& table : s.model.tables)
        for (const COLUMN& column : table.columns)
            if (column.dimensions != 0)
                found[column.name] = s.model.fieldBounds[column.fieldSource];
    EXPECT_EQ(found, declared);
}

}  // namespace
}  // namespace ravelin::catalogue
