#include "extract/singleprecision.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace ravelin::extract {
namespace {

TEST(SinglePrecision, KnownPatterns)
{
    const struct {
        const char* name;
        std::uint32_t bits;
        double value;
    } cases[] = {
        {"1.5", 0x3FC00000u, 1.5},
        {"-1.5", 0xBFC00000u, -1.5},
        {"1", 0x3F800000u, 1.0},
        {"0.1", 0x3DCCCCCDu, 0.100000001490116119384765625},
        {"largest", 0x7F7FFFFFu, 3.4028234663852886e+38},
        {"smallest normal", 0x00800000u, 1.1754943508222875e-38},
        {"largest subnormal", 0x007FFFFFu, 1.1754942106924411e-38},
        {"smallest subnormal", 0x00000001u, 1.401298464324817e-45},
        {"zero", 0x00000000u, 0.0},
        {"infinity", 0x7F800000u, INFINITY},
        {"negative infinity", 0xFF800000u, -INFINITY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CSinglePrecision(c.bits).Value(), c.value);
    }
    EXPECT_TRUE(std::signbit(CSinglePrecision(0x80000000u).Value()));
    EXPECT_TRUE(std::isnan(CSinglePrecision(0x7FC00000u).Value()));
    EXPECT_TRUE(std::isnan(CSinglePrecision(0xFF800001u).Value()));
    EXPECT_TRUE(CSinglePrecision(0x7F800001u).IsNaN());
    EXPECT_TRUE(CSinglePrecision(0xFF800000u).IsInfinity());
}

TEST(SinglePrecision, BytesAreLittleEndian)
{
    const std::byte stored[4] = {std::byte{0x00}, std::byte{0x00}, std::byte{0xC0}, std::byte{0x3F}};
    EXPECT_EQ(CSinglePrecision::FromBytes(std::span<const std::byte, 4>(stored)).Value(), 1.5);
}

// The arithmetic evaluation gives the machine's own reading of every pattern:
// a sweep over exponents and fraction edges plus random patterns.
TEST(SinglePrecision, AgreesWithTheHardwareForEveryKindOfPattern)
{
    std::vector<std::uint32_t> patterns;
    for (std::uint32_t exponent = 0; exponent < 256; ++exponent) {
        for (std::uint32_t fraction : {0u, 1u, 0x400000u, 0x7FFFFFu, 0x2AAAAAu, 0x555555u}) {
            patterns.push_back((exponent << 23) | fraction);
            patterns.push_back(0x80000000u | (exponent << 23) | fraction);
        }
    }
    std::mt19937 random(1858);
    for (int i = 0; i < 100000; ++i)
        patterns.push_back(random());
    for (std::uint32_t bits : patterns) {
        const float hardware = std::bit_cast<float>(bits);
        const double value = CSinglePrecision(bits).Value();
        if (std::isnan(hardware)) {
            ASSERT_TRUE(std::isnan(value)) << std::hex << bits;
            continue;
        }
        ASSERT_EQ(value, static_cast<double>(hardware)) << std::hex << bits;
        ASSERT_EQ(std::signbit(value), std::signbit(hardware)) << std::hex << bits;
    }
}

}  // namespace
}  // namespace ravelin::extract
