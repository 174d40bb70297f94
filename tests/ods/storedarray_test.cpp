#include "ods/storedarray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace ravelin::ods {
namespace {

std::vector<std::byte> FromHex(const std::string& hex)
{
    std::vector<std::byte> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::byte>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// A VARCHAR(15)[1:5] value as a real server stored it (the Eng/Japan row of
// the sample EMPLOYEE database's JOB table): elements of 17 bytes, each a
// 16-bit length and the text, garbage past the length included.
const std::string kLanguages =
    "0201010011002c00050000005500000002030000110000000000000000000000"
    "01000000010000000500000009004a6170616e6573650a0000000000c809004d"
    "616e646172696e0a0000000000000800456e676c6973680a0000000000000001"
    "000a000000000000000000000000000001000a00000000000000000000000000"
    "00";

TEST(StoredArray, ReadsARealVaryingArray)
{
    const std::vector<std::byte> bytes = FromHex(kLanguages);
    const std::optional<StoredArray> array = ParseStoredArray(bytes);
    ASSERT_TRUE(array);
    EXPECT_EQ(array->elementLength, 17);
    EXPECT_EQ(array->elementCount, 5u);
    ASSERT_EQ(array->bounds.size(), 1u);
    EXPECT_EQ(array->bounds[0], (ArrayBound{1, 5}));
    ASSERT_EQ(array->elements.size(), 85u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(array->elements.data()) + 2, 9), "Japanese\n");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(array->elements.data()) + 17 + 2, 9), "Mandarin\n");
}

// A two-dimensional INTEGER[0:1, 1:3] array, entries of 28 bytes.
std::vector<std::byte> TwoByThree()
{
    std::vector<std::byte> bytes(16 + 2 * 28 + 24);
    auto put = [&](std::size_t at, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i)
            bytes[at + i] = static_cast<std::byte>(value >> (8 * i));
    };
    bytes[0] = std::byte{2};
    bytes[1] = std::byte{2};
    put(2, 1, 2);
    put(4, 4, 2);
    put(6, 16 + 56, 2);
    put(8, 6, 4);
    put(12, 24, 4);
    put(16 + 20, 0, 4);
    put(16 + 24, 1, 4);
    put(16 + 28 + 20, 1, 4);
    put(16 + 28 + 24, 3, 4);
    for (std::uint32_t k = 0; k < 6; ++k)
        put(72 + 4 * k, 100 + k, 4);
    return bytes;
}

TEST(StoredArray, ReadsSeveralDimensions)
{
    const std::vector<std::byte> bytes = TwoByThree();
    const std::optional<StoredArray> array = ParseStoredArray(bytes);
    ASSERT_TRUE(array);
    EXPECT_EQ(array->bounds, (std::vector<ArrayBound>{{0, 1}, {1, 3}}));
    ASSERT_EQ(array->elements.size(), 24u);
    EXPECT_EQ(std::to_integer<int>(array->elements[20]), 105);
}

// Damage anywhere in the descriptor gives no array, and nothing past the
// bytes is read (the sanitizer build checks the latter).
TEST(StoredArray, RefusesDescriptorsThatDoNotDescribeTheBytes)
{
    const struct {
        const char* what;
        std::function<void(std::vector<std::byte>&)> damage;
    } cases[] = {
        {"too short for a header", [](auto& b) { b.resize(12); }},
        {"elements cut short", [](auto& b) { b.resize(b.size() - 1); }},
        {"no dimensions", [](auto& b) { b[1] = std::byte{0}; }},
        {"three dimensions in two entries", [](auto& b) { b[1] = std::byte{3}; }},
        {"descriptor past the bytes", [](auto& b) { b[6] = std::byte{0xFF}; b[7] = std::byte{0x7F}; }},
        {"descriptor shorter than its header", [](auto& b) { b[6] = std::byte{8}; }},
        {"count not the product of the bounds", [](auto& b) { b[8] = std::byte{5}; }},
        {"length not count times element length", [](auto& b) { b[12] = std::byte{25}; }},
        {"element length 0", [](auto& b) { b[4] = std::byte{0}; }},
        {"upper bound below lower", [](auto& b) { b[16 + 28 + 24] = std::byte{0}; }},
    };
    for (const auto& c : cases) {
        std::vector<std::byte> bytes = TwoByThree();
        c.damage(bytes);
        EXPECT_FALSE(ParseStoredArray(bytes)) << c.what;
    }
}

}  // namespace
}  // namespace ravelin::ods
