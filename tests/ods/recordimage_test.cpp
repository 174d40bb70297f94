#include "ods/recordimage.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "ods/constants.h"

namespace ravelin::ods {
namespace {

std::vector<std::byte> Bytes(const std::vector<std::uint8_t>& values)
{
    std::vector<std::byte> bytes(values.size());
    std::transform(values.begin(), values.end(), bytes.begin(), [](std::uint8_t v) { return std::byte{v}; });
    return bytes;
}

std::vector<std::uint8_t> Values(std::span<const std::byte> bytes)
{
    std::vector<std::uint8_t> values(bytes.size());
    std::transform(bytes.begin(), bytes.end(), values.begin(), [](std::byte b) { return std::to_integer<std::uint8_t>(b); });
    return values;
}

std::vector<std::uint8_t> Repeat(std::size_t count, std::uint8_t value)
{
    return std::vector<std::uint8_t>(count, value);
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST(RecordImage, ExpandsRunsUpToTheLimit)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> compressed;
        std::size_t limit;
        std::vector<std::uint8_t> expanded;
        bool complete;
        bool overran;  // runs reached past the limit: cut by it, or left after it
    } cases[] = {
        {"literal run", {0x03, 0x41, 0x42, 0x43}, 3, {0x41, 0x42, 0x43}, true, false},
        {"repeat run of 3", {0xFD, 0x00}, 3, {0, 0, 0}, true, false},
        {"repeat run of 1", {0xFF, 0x07}, 1, {0x07}, true, false},
        {"longest repeat run", {0x80, 0x20}, 128, Repeat(128, 0x20), true, false},
        {"longest literal run", Join({{0x7F}, Repeat(127, 0x61)}), 127, Repeat(127, 0x61), true, false},
        {"runs cross field boundaries",
         {0x03, 0xE0, 0x5F, 0xE0, 0xFA, 0x00, 0x03, 0x58, 0x8F, 0x40},
         12,
         {0xE0, 0x5F, 0xE0, 0, 0, 0, 0, 0, 0, 0x58, 0x8F, 0x40},
         true, false},
        {"repeat run reaching past the limit is cut", {0x02, 0x01, 0x02, 0x80, 0x00}, 5, {0x01, 0x02, 0, 0, 0}, true, true},
        {"literal run reaching past the limit is cut", {0x05, 1, 2, 3, 4, 5}, 2, {1, 2}, true, true},
        {"bytes after the limit are not read", {0x01, 0x09, 0x05, 1, 2}, 1, {0x09}, true, true},
        {"literal run cut by the record's end", {0x01, 0x09, 0x05, 1, 2}, 10, {0x09, 1, 2}, false, false},
        {"repeat run without its byte", {0x01, 0x09, 0xF0}, 10, {0x09}, false, false},
        {"control byte 0 ends the data", {0x01, 0x09, 0x00, 0x02, 0x01, 0x02}, 10, {0x09}, false, false},
        {"runs end before the limit", {0xFE, 0x33}, 10, {0x33, 0x33}, false, false},
        {"empty record", {}, 4, {}, false, false},
        {"limit 0", {0x02, 1, 2}, 0, {}, true, true},
        {"a 0 control after the limit ends the data cleanly", {0x02, 1, 2, 0x00, 0x07}, 2, {1, 2}, true, false},
    };
    RecordImage image;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Exactly sized: a read past the compressed bytes is caught by the
        // address sanitizer.
        const std::vector<std::byte> compressed = Bytes(c.compressed);
        EXPECT_EQ(image.Expand(compressed, c.limit), c.expanded.size());
        EXPECT_EQ(Values(image.bytes()), c.expanded);
        EXPECT_EQ(image.complete(), c.complete);
        EXPECT_EQ(image.overran(), c.overran);
    }
}

TEST(RecordImage, ReusedBufferKeepsNothingOfThePreviousRecord)
{
    RecordImage image;
    image.Expand(Bytes({0x84, 0x77}), 124);
    ASSERT_EQ(image.size(), 124u);
    image.Expand(Bytes({0x02, 0x01, 0x02}), 124);
    EXPECT_EQ(Values(image.bytes()), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_TRUE(image.Field(2, 4).empty());
}

TEST(RecordImage, LimitIsCappedAtTheLargestRecord)
{
    // 600 repeat runs of 128 bytes would expand to 76800 bytes.
    std::vector<std::uint8_t> runs;
    for (int i = 0; i < 600; ++i)
        runs.insert(runs.end(), {0x80, 0x11});
    RecordImage image;
    EXPECT_EQ(image.Expand(Bytes(runs), 1u << 20), ods::kMaxRecordLength);
    EXPECT_TRUE(image.complete());
}

TEST(RecordImage, FieldIsClippedToTheExpandedBytes)
{
    RecordImage image;
    image.Expand(Bytes({0x06, 1, 2, 3, 4, 5, 6}), 6);
    const struct {
        std::size_t offset;
        std::size_t length;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {0, 2, {1, 2}}, {4, 2, {5, 6}}, {4, 8, {5, 6}}, {5, 1, {6}}, {6, 1, {}}, {100, 4, {}}, {2, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
        EXPECT_EQ(Values(image.Field(c.offset, c.length)), c.bytes);
    }
}

}  // namespace
}  // namespace ravelin::ods
