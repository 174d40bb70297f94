#include "catalogue/triggers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fixture/fixturewriter.h"
#include "ods/constants.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;

// A trigger record, decompressed: null flags (description null), names,
// sequence, type, source blob id, BLR blob id, inactive and system flags.
Bytes TriggerData(std::string_view name, std::string_view relation, std::uint16_t type, std::uint32_t sourceRecord,
                  bool inactive = false, bool system = false)
{
    Bytes data(174, std::byte{0});
    data[0] = std::byte{0x40};
    data[1] = std::byte{0xFC};
    const auto put = [&data](std::size_t at, std::string_view text) {
        for (std::size_t i = 0; i < ods::kNameFieldWidth; ++i)
            data[at + i] = std::byte{static_cast<unsigned char>(i < text.size() ? text[i] : ' ')};
    };
    const auto word = [&data](std::size_t at, std::uint32_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            data[at + i] = std::byte{static_cast<unsigned char>(value >> (8 * i))};
    };
    put(4, name);
    put(71, relation);
    word(140, type, 2);
    word(144, ods::kRelTwelve, 4);
    word(148, sourceRecord, 4);
    word(152, ods::kRelTwelve, 4);
    word(156, sourceRecord + 1, 4);
    word(168, inactive ? 1 : 0, 2);
    word(170, system ? 1 : 0, 2);
    return data;
}

TEST(ReadTriggerRecord, NamesFiringSourceAndFlags)
{
    ods::RecordImage image;
    const auto trigger = ReadTriggerRecord(fixture::Compress(TriggerData("SET_EMP_NO", "EMPLOYEE", 1, 300)), image);
    ASSERT_TRUE(trigger.has_value());
    EXPECT_EQ(trigger->name, "SET_EMP_NO");
    EXPECT_EQ(trigger->relationName, "EMPLOYEE");
    EXPECT_EQ(trigger->type, 1u);
    ASSERT_TRUE(trigger->source.has_value());
    EXPECT_EQ(trigger->source->recordNumber, 300u);
    EXPECT_FALSE(trigger->inactive);
    EXPECT_FALSE(trigger->system);

    const auto idle = ReadTriggerRecord(fixture::Compress(TriggerData("IDLE", "T", 4, 8, true, true)), image);
    ASSERT_TRUE(idle.has_value());
    EXPECT_TRUE(idle->inactive);
    EXPECT_TRUE(idle->system);

    // The source's null bit (field 4) set: no source.
    Bytes noSource = TriggerData("BARE", "T", 2, 8);
    noSource[0] |= std::byte{0x10};
    const auto bare = ReadTriggerRecord(fixture::Compress(noSource), image);
    ASSERT_TRUE(bare.has_value());
    EXPECT_FALSE(bare->source.has_value());

    // A record cut short, or one that names nothing, gives nothing.
    const Bytes whole = TriggerData("CUT", "T", 1, 8);
    EXPECT_FALSE(ReadTriggerRecord(fixture::Compress(Bytes(whole.begin(), whole.begin() + 150)), image).has_value());
    EXPECT_FALSE(ReadTriggerRecord(fixture::Compress(TriggerData("", "T", 1, 8)), image).has_value());
}

}  // namespace
}  // namespace ravelin::catalogue
