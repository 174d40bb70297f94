#include "catalogue/generators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/readers.h"
#include "cli/schemacommand.h"
#include "fixture/fixturewriter.h"
#include "fixture/generatorrecords.h"
#include "fixture/indexrecords.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;

struct Scanned {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;
    CatalogueContext scan{context, lists, model, link, tableCount};
};

// Names and ids from the catalogue, values from the generator pages by id:
// a page holds (page size - 32) / 8 values, the page of sequence 1 the ids
// after those of sequence 0. A second page claiming a sequence already read
// (a stale copy) is passed over; a record without a name or id, a name met
// again and a generator whose page is lost are handled as the comments say.
TEST(Generators, NamesFromTheCatalogueValuesFromTheirPages)
{
    for (const int ods : {13, 15, 16}) {
        SCOPED_TRACE(ods);
        fixture::FixtureWriter writer(1024, static_cast<std::uint16_t>(ods));
        const fixture::RecordHeaderOptions header = fixture::CatalogueRecordHeader(ods);
        const auto add = [&](const Bytes& data) { fixture::AddCatalogueRecord(writer, ods::kRelGenerators, data, header); };
        add(fixture::GeneratorRecordData("RDB$SECURITY_CLASS", 1, true));
        add(fixture::GeneratorRecordData("EMP_NO_GEN", 10, false));
        add(fixture::GeneratorRecordData("FAR_GEN", 130, false));
        add(fixture::GeneratorRecordData("LOST_GEN", 300, false));            // no page holds id 300
        add(fixture::GeneratorRecordData("NO_ID", 11, false, 0x02));          // the id is NULL: no generator
        add(fixture::GeneratorRecordData("EMP_NO_GEN", 12, false));           // the name again: the first stays
        constexpr std::uint32_t perPage = (1024 - 32) / 8;     // 124
        fixture::AddGeneratorPage(writer, 0, {{1, 11}, {10, 145}});
        fixture::AddGeneratorPage(writer, 1, {{130 - perPage, -5}});
        fixture::AddGeneratorPage(writer, 0, {{10, 999}});              // a stale copy of sequence 0

        Scanned s;
        ASSERT_TRUE(s.context.OpenSource(writer.Source()));
        ScanDatabase(s.scan);

        std::vector<std::string> names;
        for (const GENERATOR& generator : s.model.generators)
            names.push_back(generator.name + (generator.system ? " system" : "") + " " + std::to_string(generator.id));
        EXPECT_EQ(names, (std::vector<std::string>{"RDB$SECURITY_CLASS system 1", "EMP_NO_GEN 10", "FAR_GEN 130",
                                                   "LOST_GEN 300"}));
        EXPECT_EQ(GeneratorValue(s.model, 1), std::optional<std::int64_t>(11));
        EXPECT_EQ(GeneratorValue(s.model, 10), std::optional<std::int64_t>(145));
        EXPECT_EQ(GeneratorValue(s.model, 130), std::optional<std::int64_t>(-5));
        EXPECT_EQ(GeneratorValue(s.model, 300), std::nullopt);

        // The schema shows the database's own generators only.
        const std::string text = cli::SchemaText(s.model, 1024);
        EXPECT_NE(text.find("\nGenerators: 3\n    EMP_NO_GEN = 145\n    FAR_GEN = -5\n    LOST_GEN = (value lost)\n"),
                  std::string::npos)
            << text;
    }
}

}  // namespace
}  // namespace ravelin::catalogue
