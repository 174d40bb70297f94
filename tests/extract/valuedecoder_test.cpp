#include "extract/valuedecoder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ods/recordformat.h"
#include "ods/recordimage.h"
#include "ods/textcodec.h"

namespace ravelin::extract {
namespace {

using catalogue::COLUMN;
namespace tc = catalogue;

constexpr std::uint32_t kTableRelation = 140;

COLUMN Column(std::uint8_t type, std::uint16_t length, std::uint16_t scale = 0)
{
    COLUMN column;
    column.name = "C";
    column.typeCode = type;
    column.length = length;
    column.scale = scale;
    return column;
}

// Exactly sized heap copies, so that a read past the field's end is caught by
// the address sanitizer.
std::vector<std::byte> Bytes(const std::vector<std::uint8_t>& values)
{
    std::vector<std::byte> bytes(values.size());
    std::transform(values.begin(), values.end(), bytes.begin(), [](std::uint8_t v) { return std::byte{v}; });
    return bytes;
}

std::vector<std::uint8_t> Text(std::string_view text, std::size_t padTo = 0, char pad = ' ')
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (bytes.size() < padTo)
        bytes.resize(padTo, static_cast<std::uint8_t>(pad));
    return bytes;
}

// A VARCHAR field: the 2-byte length, the text, and zeros up to the declared length.
std::vector<std::uint8_t> Varying(std::string_view text, std::uint16_t declared)
{
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(declared, text.size()) + 2, 0);
    bytes[0] = static_cast<std::uint8_t>(text.size() & 0xFF);
    bytes[1] = static_cast<std::uint8_t>(text.size() >> 8);
    std::copy(text.begin(), text.end(), bytes.begin() + 2);
    return bytes;
}

DecodeOptions Options(OutputMode mode)
{
    DecodeOptions options;
    options.mode = mode;
    options.relationId = kTableRelation;
    return options;
}

// One stored field and both of its forms: the preview cell and the value the
// INSERT statement receives.
struct DecodeCase {
    const char* name;
    std::uint8_t type;
    std::uint16_t length;
    std::uint16_t scale;
    std::vector<std::uint8_t> stored;
    std::string preview;
    std::string literal;
};

void CheckCases(const std::vector<DecodeCase>& cases)
{
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const COLUMN column = Column(c.type, c.length, c.scale);
        const std::vector<std::byte> field = Bytes(c.stored);
        const FieldValue preview = DecodeFieldValue(field, column, Options(OutputMode::Preview));
        EXPECT_FALSE(preview.damaged);
        EXPECT_EQ(preview.text, c.preview);
        const FieldValue repair = DecodeFieldValue(field, column, Options(OutputMode::Repair));
        EXPECT_FALSE(repair.damaged);
        EXPECT_EQ(InsertValueText(c.type, repair), c.literal);
    }
}

TEST(ValueDecoder, NumericAndDecimalScaledIntegers)
{
    CheckCases({
        {"NUMERIC(9,2) 12345", tc::kTypeNumeric, 4, 2, {0x39, 0x30, 0x00, 0x00}, "123.45", "123.45"},
        {"NUMERIC(9,2) -12345", tc::kTypeNumeric, 4, 2, {0xC7, 0xCF, 0xFF, 0xFF}, "-123.45", "-123.45"},
        {"NUMERIC(9,2) 5", tc::kTypeNumeric, 4, 2, {0x05, 0x00, 0x00, 0x00}, ".05", ".05"},
        {"NUMERIC(9,2) -5", tc::kTypeNumeric, 4, 2, {0xFB, 0xFF, 0xFF, 0xFF}, "-.05", "-.05"},
        {"NUMERIC(9,2) 100", tc::kTypeNumeric, 4, 2, {0x64, 0x00, 0x00, 0x00}, "1.00", "1.00"},
        {"NUMERIC(4,1) on 16 bits", tc::kTypeNumeric, 2, 1, {0x39, 0x30}, "1234.5", "1234.5"},
        {"NUMERIC(4,1) 16-bit maximum", tc::kTypeNumeric, 2, 1, {0xFF, 0x7F}, "3276.7", "3276.7"},
        {"NUMERIC(4,1) 16-bit minimum", tc::kTypeNumeric, 2, 1, {0x00, 0x80}, "-3276.8", "-3276.8"},
        {"NUMERIC(4,0) -1", tc::kTypeNumeric, 2, 0, {0xFF, 0xFF}, "-1", "-1"},
        {"NUMERIC(18,4) all FF", tc::kTypeNumeric, 8, 4,
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-.0001", "-.0001"},
        {"NUMERIC(18,4) 64-bit minimum", tc::kTypeNumeric, 8, 4,
         {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}, "-922337203685477.5808", "-922337203685477.5808"},
        {"NUMERIC(18,0) 64-bit maximum", tc::kTypeNumeric, 8, 0,
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "9223372036854775807", "9223372036854775807"},
        {"DECIMAL(10,2) salary 250000.00", tc::kTypeDecimal, 8, 2,
         {0x40, 0x78, 0x7D, 0x01, 0x00, 0x00, 0x00, 0x00}, "250000.00", "250000.00"},
        {"DECIMAL(9,3) -0.001", tc::kTypeDecimal, 4, 3, {0xFF, 0xFF, 0xFF, 0xFF}, "-.001", "-.001"},
        {"NUMERIC(9,3) all zero", tc::kTypeNumeric, 4, 3, {0, 0, 0, 0}, "0", "0"},
        {"DECIMAL(18,2) all zero", tc::kTypeDecimal, 8, 2, {0, 0, 0, 0, 0, 0, 0, 0}, "0", "0"},
    });
}

TEST(ValueDecoder, ScaledIntegerPadding)
{
    const struct {
        std::int64_t value;
        std::uint16_t scale;
        const char* text;
    } cases[] = {
        {0, 3, ".000"}, {0, 0, "0"}, {7, 1, ".7"}, {-7, 4, "-.0007"}, {12, 2, ".12"}, {123, 2, "1.23"},
        {-100, 2, "-1.00"}, {INT64_MIN, 0, "-9223372036854775808"}, {INT64_MIN, 19, "-.9223372036854775808"},
        {1, 20, ".00000000000000000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatScaledInteger(c.value, c.scale), c.text);
    }
}

TEST(ValueDecoder, NumericWiderThanEightBytesIsReportedAndStillWritten)
{
    const COLUMN column = Column(tc::kTypeNumeric, 10, 2);
    const auto field = Bytes({0x39, 0x30, 0, 0, 0, 0, 0, 0, 0x77, 0x77});
    const FieldValue value = DecodeFieldValue(field, column, Options(OutputMode::Repair));
    EXPECT_TRUE(value.numericTooWide);
    EXPECT_FALSE(value.damaged);
    EXPECT_EQ(value.text, "123.45");
    EXPECT_EQ(NumericProblemText(tc::kTypeNumeric), "problem in numeric");
    EXPECT_EQ(NumericProblemText(tc::kTypeDecimal), "problem in decimal");
    // An all-zero field of that width has the zero text and raises nothing.
    const FieldValue zero = DecodeFieldValue(Bytes(std::vector<std::uint8_t>(10, 0)), column, Options(OutputMode::Preview));
    EXPECT_FALSE(zero.numericTooWide);
    EXPECT_EQ(zero.text, "0");
}

TEST(ValueDecoder, SmallintAndInteger)
{
    CheckCases({
        {"SMALLINT 12345", tc::kTypeSmallint, 2, 0, {0x39, 0x30}, "12345", "12345"},
        {"SMALLINT -1", tc::kTypeSmallint, 2, 0, {0xFF, 0xFF}, "-1", "-1"},
        {"SMALLINT minimum", tc::kTypeSmallint, 2, 0, {0x00, 0x80}, "-32768", "-32768"},
        {"SMALLINT maximum", tc::kTypeSmallint, 2, 0, {0xFF, 0x7F}, "32767", "32767"},
        {"SMALLINT 2004", tc::kTypeSmallint, 2, 0, {0xD4, 0x07}, "2004", "2004"},
        {"SMALLINT zero", tc::kTypeSmallint, 2, 0, {0x00, 0x00}, "0", "0"},
        {"INTEGER -123", tc::kTypeInteger, 4, 0, {0x85, 0xFF, 0xFF, 0xFF}, "-123", "-123"},
        {"INTEGER minimum", tc::kTypeInteger, 4, 0, {0x00, 0x00, 0x00, 0x80}, "-2147483648", "-2147483648"},
        {"INTEGER maximum", tc::kTypeInteger, 4, 0, {0xFF, 0xFF, 0xFF, 0x7F}, "2147483647", "2147483647"},
        {"INTEGER 114", tc::kTypeInteger, 4, 0, {0x72, 0x00, 0x00, 0x00}, "114", "114"},
        {"INTEGER 65536", tc::kTypeInteger, 4, 0, {0x00, 0x00, 0x01, 0x00}, "65536", "65536"},
        {"INTEGER zero", tc::kTypeInteger, 4, 0, {0, 0, 0, 0}, "0", "0"},
        {"BIGINT beyond 32 bits", tc::kTypeBigint, 8, 0, {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, "4294967296",
         "4294967296"},
        {"BIGINT minimum", tc::kTypeBigint, 8, 0, {0, 0, 0, 0, 0, 0, 0, 0x80}, "-9223372036854775808",
         "-9223372036854775808"},
        {"BIGINT with a scale", tc::kTypeBigint, 8, 2, {0x85, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-1.23",
         "-1.23"},
        {"BIGINT zero", tc::kTypeBigint, 8, 0, {0, 0, 0, 0, 0, 0, 0, 0}, "0", "0"},
    });
}

TEST(ValueDecoder, FormatIntegerBytesWidths)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::uint8_t type;
        const char* text;
    } cases[] = {
        {"SMALLINT FF FF", {0xFF, 0xFF}, tc::kTypeSmallint, "-1"},
        {"INTEGER 85 FF FF FF", {0x85, 0xFF, 0xFF, 0xFF}, tc::kTypeInteger, "-123"},
        {"SMALLINT 39 30", {0x39, 0x30}, tc::kTypeSmallint, "12345"},
        {"one byte, negative", {0xFE}, tc::kTypeSmallint, "-2"},
        {"three bytes of an INTEGER", {0x00, 0x00, 0x80}, tc::kTypeInteger, "-8388608"},
        {"three bytes for a SMALLINT", {0x01, 0x02, 0x03}, tc::kTypeSmallint, ""},
        {"five bytes for an INTEGER", {1, 2, 3, 4, 5}, tc::kTypeInteger, ""},
        {"no bytes", {}, tc::kTypeInteger, ""},
        {"not an integer type", {0x01, 0x00}, tc::kTypeDate, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatIntegerBytes(Bytes(c.bytes), c.type), c.text);
    }
}

TEST(ValueDecoder, FloatKeepsSixDecimalsWhereTheyHoldTheValue)
{
    CheckCases({
        {"1.5", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0xC0, 0x3F}, "1.500000", "1.500000"},
        {"-1.5", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0xC0, 0xBF}, "-1.500000", "-1.500000"},
        {"0.1", tc::kTypeFloat, 4, 0, {0xCD, 0xCC, 0xCC, 0x3D}, "0.100000", "0.100000"},
        {"0.95", tc::kTypeFloat, 4, 0, {0x33, 0x33, 0x73, 0x3F}, "0.950000", "0.950000"},
        {"16777216", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0x80, 0x4B}, "16777216.000000", "16777216.000000"},
        {"1e10", tc::kTypeFloat, 4, 0, {0xF9, 0x02, 0x15, 0x50}, "10000000000.000000", "10000000000.000000"},
        // Six decimals would lose these values.
        {"1e-7", tc::kTypeFloat, 4, 0, {0x95, 0xBF, 0xD6, 0x33}, "1e-07", "1e-07"},
        {"1.0000001", tc::kTypeFloat, 4, 0, {0x01, 0x00, 0x80, 0x3F}, "1.0000001", "1.0000001"},
        {"smallest subnormal", tc::kTypeFloat, 4, 0, {0x01, 0x00, 0x00, 0x00}, "1e-45", "1e-45"},
        // Forty digits before the point are no literal the server reads.
        {"largest float", tc::kTypeFloat, 4, 0, {0xFF, 0xFF, 0x7F, 0x7F}, "3.4028235e+38", "3.4028235e+38"},
        {"negative zero", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0x00, 0x80}, "-0.000000", "-0.000000"},
        {"all zero", tc::kTypeFloat, 4, 0, {0, 0, 0, 0}, "0", "0"},
        {"infinity", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0x80, 0x7F}, "Infinity", "NULL"},
        {"negative infinity", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0x80, 0xFF}, "-Infinity", "NULL"},
        {"NaN", tc::kTypeFloat, 4, 0, {0x00, 0x00, 0xC0, 0x7F}, "NaN", "NULL"},
    });
}

TEST(ValueDecoder, DoubleWritesTheShortestTextThatKeepsTheValue)
{
    CheckCases({
        // Digits after the point are kept: 8.5 stays 8.5, not 8.
        {"8.5", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0x21, 0x40}, "8.5", "8.5"},
        {"123456.75", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0x0C, 0x24, 0xFE, 0x40}, "123456.75", "123456.75"},
        {"-12.5", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0x29, 0xC0}, "-12.5", "-12.5"},
        {"0.25", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0xD0, 0x3F}, "0.25", "0.25"},
        {"-0.25", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0xD0, 0xBF}, "-0.25", "-0.25"},
        {"98765.4", tc::kTypeDouble, 8, 0, {0x66, 0x66, 0x66, 0x66, 0xD6, 0x1C, 0xF8, 0x40}, "98765.4", "98765.4"},
        {"0.1", tc::kTypeDouble, 8, 0, {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}, "0.1", "0.1"},
        // Prices, rates and salaries of the demo tables.
        {"tax rate 4.5", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0x12, 0x40}, "4.5", "4.5"},
        {"salary 33292.9375", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0x9E, 0x41, 0xE0, 0x40}, "33292.9375", "33292.9375"},
        {"list price 3999.95", tc::kTypeDouble, 8, 0, {0x66, 0x66, 0x66, 0x66, 0xE6, 0x3F, 0xAF, 0x40}, "3999.95",
         "3999.95"},
        {"length 19.6850393700787", tc::kTypeDouble, 8, 0, {0xE1, 0xF5, 0x7A, 0xBD, 0x5E, 0xAF, 0x33, 0x40},
         "19.6850393700787", "19.6850393700787"},
        {"items total stored as 134.85000000000002", tc::kTypeDouble, 8, 0,
         {0x34, 0x33, 0x33, 0x33, 0x33, 0xDB, 0x60, 0x40}, "134.85000000000002", "134.85000000000002"},
        // Fixed notation up to 18 digits; beyond, the scientific form.
        {"1e22", tc::kTypeDouble, 8, 0, {0x92, 0xD5, 0x4D, 0x06, 0xCF, 0xF0, 0x80, 0x44}, "1e+22", "1e+22"},
        {"1.2345678901234567e20", tc::kTypeDouble, 8, 0, {0xD9, 0xBC, 0x04, 0x7E, 0x3A, 0xC5, 0x1A, 0x44},
         "1.2345678901234567e+20", "1.2345678901234567e+20"},
        {"largest double", tc::kTypeDouble, 8, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0x7F},
         "1.7976931348623157e+308", "1.7976931348623157e+308"},
        {"negative zero", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0, 0x80}, "-0", "-0"},
        {"all zero", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0, 0}, "0", "0"},
        {"infinity", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}, "Infinity", "NULL"},
        {"NaN", tc::kTypeDouble, 8, 0, {0, 0, 0, 0, 0, 0, 0xF8, 0x7F}, "NaN", "NULL"},
    });
}

// The property behind both floating-point forms: the text reads back as the
// very value stored, and fixed notation never has more than 18 digits.
TEST(ValueDecoder, FloatingPointTextsReadBackExactly)
{
    std::mt19937_64 random(20040307);
    const auto digitCount = [](const std::string& text) {
        return std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t bits = random();
        // Half of the values spread over all exponents, half over everyday magnitudes.
        const double value = i % 2 ? std::bit_cast<double>(bits)
                                   : std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(bits % 80) - 90);
        if (!std::isfinite(value))
            continue;
        const std::string text = FormatDoubleText(value);
        double back = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(parsed.ptr, text.data() + text.size()) << text;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value)) << text;
        if (text.find('e') == std::string::npos) {
            ASSERT_LE(digitCount(text), 18) << text;
        }

        const auto single = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        if (!std::isfinite(single))
            continue;
        const std::string singleText = FormatFloatText(single);
        float singleBack = 0;
        std::from_chars(singleText.data(), singleText.data() + singleText.size(), singleBack);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(singleBack), std::bit_cast<std::uint32_t>(single)) << singleText;
        if (singleText.find('e') == std::string::npos) {
            ASSERT_LE(digitCount(singleText), 18) << singleText;
        }
    }
}

TEST(ValueDecoder, DatesIncludingCalendarEdges)
{
    CheckCases({
        {"12/30/1899", tc::kTypeDate, 4, 0, {0xAA, 0x3A, 0x00, 0x00}, "12/30/1899", "'12/30/1899 00:00:00'"},
        {"03/07/2004", tc::kTypeDate, 4, 0, {0x4F, 0xCF, 0x00, 0x00}, "03/07/2004", "'03/07/2004 00:00:00'"},
        {"12/30/1904", tc::kTypeDate, 4, 0, {0xCC, 0x41, 0x00, 0x00}, "12/30/1904", "'12/30/1904 00:00:00'"},
        {"leap day of a 400-year", tc::kTypeDate, 4, 0, {0x93, 0xC9, 0x00, 0x00}, "02/29/2000", "'02/29/2000 00:00:00'"},
        {"1900 is no leap year", tc::kTypeDate, 4, 0, {0xE6, 0x3A, 0x00, 0x00}, "02/28/1900", "'02/28/1900 00:00:00'"},
        {"day after 02/28/1900", tc::kTypeDate, 4, 0, {0xE7, 0x3A, 0x00, 0x00}, "03/01/1900", "'03/01/1900 00:00:00'"},
        {"12/31/1900", tc::kTypeDate, 4, 0, {0x18, 0x3C, 0x00, 0x00}, "12/31/1900", "'12/31/1900 00:00:00'"},
        {"day after 02/28/2100", tc::kTypeDate, 4, 0, {0x40, 0x58, 0x01, 0x00}, "03/01/2100", "'03/01/2100 00:00:00'"},
        {"last day of 1999", tc::kTypeDate, 4, 0, {0x57, 0xC9, 0x00, 0x00}, "12/31/1999", "'12/31/1999 00:00:00'"},
        {"first day of 2000", tc::kTypeDate, 4, 0, {0x58, 0xC9, 0x00, 0x00}, "01/01/2000", "'01/01/2000 00:00:00'"},
        {"sale date 04/12/1988", tc::kTypeDate, 4, 0, {0x9F, 0xB8, 0x00, 0x00}, "04/12/1988", "'04/12/1988 00:00:00'"},
        // Day 0 is a date like any other; all zero bytes do not blank it.
        {"day 0", tc::kTypeDate, 4, 0, {0, 0, 0, 0}, "11/17/1858", "'11/17/1858 00:00:00'"},
        {"day -1", tc::kTypeDate, 4, 0, {0xFF, 0xFF, 0xFF, 0xFF}, "11/16/1858", "'11/16/1858 00:00:00'"},
        // The server reads a short year as one of the current century.
        {"first day of year 1", tc::kTypeDate, 4, 0, {0x51, 0xA5, 0xF5, 0xFF}, "01/01/1", "'01/01/0001 00:00:00'"},
        {"last day of year 9999", tc::kTypeDate, 4, 0, {0x2B, 0x5F, 0x2D, 0x00}, "12/31/9999",
         "'12/31/9999 00:00:00'"},
    });
}

// The server writes no date outside the years 1 to 9999 and no time of day
// past its end: such values are damage, in the preview and in the repair.
TEST(ValueDecoder, DatesAndTimesOutsideTheCalendarAreDamaged)
{
    struct Case {
        const char* name;
        std::uint8_t type;
        std::uint16_t length;
        std::vector<std::uint8_t> bytes;
        bool damaged;
    };
    const Case cases[] = {
        {"year 10000", tc::kTypeDate, 4, {0x2C, 0x5F, 0x2D, 0x00}, true},
        {"year 0", tc::kTypeDate, 4, {0x50, 0xA5, 0xF5, 0xFF}, true},
        // A fourth byte other than 0xFF is taken as part of a positive
        // number: far beyond year 9999.
        {"sign from the fourth byte", tc::kTypeDate, 4, {0x00, 0x00, 0x00, 0x80}, true},
        {"last day of year 9999", tc::kTypeDate, 4, {0x2B, 0x5F, 0x2D, 0x00}, false},
        {"time 23:59:59.9999", tc::kTypeTime, 4, {0xFF, 0x97, 0x7F, 0x33}, false},
        {"time 24:00:00", tc::kTypeTime, 4, {0x00, 0x98, 0x7F, 0x33}, true},
        {"largest stored time", tc::kTypeTime, 4, {0xFF, 0xFF, 0xFF, 0xFF}, true},
        {"timestamp of year 10000", tc::kTypeTimestamp, 8, {0x2C, 0x5F, 0x2D, 0x00, 0, 0, 0, 0}, true},
        {"timestamp at 24:00:00", tc::kTypeTimestamp, 8, {0x9F, 0xB8, 0x00, 0x00, 0x00, 0x98, 0x7F, 0x33}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const COLUMN column = Column(c.type, c.length);
        for (const OutputMode mode : {OutputMode::Preview, OutputMode::Repair})
            EXPECT_EQ(DecodeFieldValue(Bytes(c.bytes), column, Options(mode)).damaged, c.damaged);
    }
    EXPECT_FALSE(DayNumberInTargetRange(std::int64_t{1} << 31));
}

// Every day of the years the target can hold, against the standard
// library's calendar.
TEST(ValueDecoder, CalendarDateMatchesTheGregorianCalendarForYears1To9999)
{
    using namespace std::chrono;
    const sys_days mjdZero = sys_days{year{1858} / November / 17};
    const sys_days first = sys_days{year{1} / January / 1};
    const sys_days last = sys_days{year{9999} / December / 31};
    char expected[32];
    for (sys_days day = first; day <= last; day += days{1}) {
        const year_month_day ymd{day};
        const std::int64_t dayNumber = (day - mjdZero).count();
        std::snprintf(expected, sizeof expected, "%02u/%02u/%04d", static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day()), static_cast<int>(ymd.year()));
        const std::string repair = FormatCalendarDate(dayNumber, OutputMode::Repair);
        if (repair != expected) {
            ADD_FAILURE() << "day number " << dayNumber << ": " << repair << " instead of " << expected;
            return;
        }
        ASSERT_TRUE(DayNumberInTargetRange(dayNumber)) << dayNumber;
    }
    EXPECT_FALSE(DayNumberInTargetRange((first - mjdZero).count() - 1));
    EXPECT_FALSE(DayNumberInTargetRange((last - mjdZero).count() + 1));
}

constexpr std::uint32_t Clock(unsigned hour, unsigned minute, unsigned second, unsigned fraction = 0)
{
    return ((hour * 60 + minute) * 60 + second) * 10000 + fraction;
}

std::vector<std::uint8_t> LittleEndian32(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

TEST(ValueDecoder, TimesAroundMiddayAndMidnight)
{
    const struct {
        const char* name;
        std::uint32_t time;
        const char* preview;
        const char* literal;
    } cases[] = {
        {"midnight", 0, "12:00:00 AM", "'12/30/1899 0:00:00'"},
        {"one second past midnight", Clock(0, 0, 1), "12:00:01 AM", "'12/30/1899 0:00:01'"},
        {"last second of the hour after midnight", Clock(0, 59, 59), "12:59:59 AM", "'12/30/1899 0:59:59'"},
        {"9:05:03", 327030000, "9:05:03 AM", "'12/30/1899 9:05:03'"},
        {"last second of the morning", Clock(11, 59, 59, 9999), "11:59:59 AM", "'12/30/1899 11:59:59'"},
        {"noon", Clock(12, 0, 0), "12:00:00 PM", "'12/30/1899 12:00:00'"},
        {"12:59:59", Clock(12, 59, 59), "12:59:59 PM", "'12/30/1899 12:59:59'"},
        {"13:00:00", Clock(13, 0, 0), "1:00:00 PM", "'12/30/1899 13:00:00'"},
        {"15:00:00", 540000000, "3:00:00 PM", "'12/30/1899 15:00:00'"},
        {"15:30:00", Clock(15, 30, 0), "3:30:00 PM", "'12/30/1899 15:30:00'"},
        {"last unit of the day", Clock(23, 59, 59, 9999), "11:59:59 PM", "'12/30/1899 23:59:59'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const COLUMN column = Column(tc::kTypeTime, 4);
        const auto field = Bytes(LittleEndian32(c.time));
        EXPECT_EQ(DecodeFieldValue(field, column, Options(OutputMode::Preview)).text, c.preview);
        const FieldValue repair = DecodeFieldValue(field, column, Options(OutputMode::Repair));
        EXPECT_FALSE(repair.damaged);
        EXPECT_EQ(InsertValueText(tc::kTypeTime, repair), c.literal);
    }
}

// Every second of the day: both forms name the same time, the preview on the
// 12-hour clock, the repair on the 24-hour clock.
TEST(ValueDecoder, ClockTimeFormsAgreeForEverySecondOfTheDay)
{
    for (unsigned second = 0; second < 24 * 3600; ++second) {
        const std::uint32_t time = second * 10000 + second % 10000;
        const std::string preview = FormatClockTime(time, OutputMode::Preview);
        const std::string repair = FormatClockTime(time, OutputMode::Repair);
        unsigned h12 = 0, m = 0, s = 0, h24 = 0, m24 = 0, s24 = 0;
        char half[3] = {};
        ASSERT_EQ(std::sscanf(preview.c_str(), "%u:%2u:%2u %2s", &h12, &m, &s, half), 4) << preview;
        ASSERT_EQ(std::sscanf(repair.c_str(), "%u:%2u:%2u", &h24, &m24, &s24), 3) << repair;
        const unsigned previewHour = (h12 % 12) + (std::strcmp(half, "PM") == 0 ? 12 : 0);
        ASSERT_TRUE(std::strcmp(half, "AM") == 0 || std::strcmp(half, "PM") == 0) << preview;
        ASSERT_TRUE(h12 >= 1 && h12 <= 12) << preview;
        ASSERT_EQ((previewHour * 60 + m) * 60 + s, second) << preview;
        ASSERT_EQ((h24 * 60 + m24) * 60 + s24, second) << repair;
        ASSERT_EQ(repair.size() - repair.find(':'), 6u) << repair;  // two-digit minutes and seconds
    }
}

TEST(ValueDecoder, Timestamps)
{
    const auto stamp = [](std::uint32_t day, std::uint32_t time) {
        std::vector<std::uint8_t> bytes = LittleEndian32(day);
        const std::vector<std::uint8_t> clock = LittleEndian32(time);
        bytes.insert(bytes.end(), clock.begin(), clock.end());
        return bytes;
    };
    CheckCases({
        {"morning", tc::kTypeTimestamp, 8, 0, stamp(53071, 327030000), "03/07/2004 9:05:03 AM",
         "'03/07/2004 9:05:03'"},
        {"afternoon keeps its half of the day", tc::kTypeTimestamp, 8, 0, stamp(53071, Clock(15, 30, 0)),
         "03/07/2004 3:30:00 PM", "'03/07/2004 15:30:00'"},
        {"ship date at noon", tc::kTypeTimestamp, 8, 0, {0xB4, 0xB8, 0x00, 0x00, 0x00, 0xCC, 0xBF, 0x19},
         "05/03/1988 12:00:00 PM", "'05/03/1988 12:00:00'"},
        {"date only", tc::kTypeTimestamp, 8, 0, stamp(53071, 0), "03/07/2004 ", "'03/07/2004 00:00:00'"},
        {"one unit past midnight", tc::kTypeTimestamp, 8, 0, stamp(53071, 1), "03/07/2004 12:00:00 AM",
         "'03/07/2004 0:00:00'"},
        {"all zero is day 0 at midnight", tc::kTypeTimestamp, 8, 0, stamp(0, 0), "11/17/1858 ",
         "'11/17/1858 00:00:00'"},
        {"year 5 keeps its century", tc::kTypeTimestamp, 8, 0, stamp(static_cast<std::uint32_t>(-677114), Clock(8, 0, 0)),
         "01/01/5 8:00:00 AM", "'01/01/0005 8:00:00'"},
    });
}

// An exact restore writes dates and times for columns of their own types:
// ISO dates, times with their ten-thousandths of a second, and blob values
// as parameters; everything else as the repair writes it.
TEST(ValueDecoder, ExactRestoreLiterals)
{
    const auto stamp = [](std::uint32_t day, std::uint32_t time) {
        std::vector<std::uint8_t> bytes = LittleEndian32(day);
        const std::vector<std::uint8_t> clock = LittleEndian32(time);
        bytes.insert(bytes.end(), clock.begin(), clock.end());
        return bytes;
    };
    const struct {
        const char* name;
        std::uint8_t type;
        std::vector<std::uint8_t> stored;
        const char* literal;
        bool damaged;
    } cases[] = {
        {"date", tc::kTypeDate, LittleEndian32(53071), "'2004-03-07'", false},
        {"year 5 with four digits", tc::kTypeDate, LittleEndian32(static_cast<std::uint32_t>(-677114)), "'0005-01-01'",
         false},
        {"time keeps its fraction", tc::kTypeTime, LittleEndian32(Clock(23, 59, 59) + 9999), "'23:59:59.9999'", false},
        {"midnight", tc::kTypeTime, LittleEndian32(0), "'00:00:00.0000'", false},
        {"time past the day's end", tc::kTypeTime, LittleEndian32(Clock(24, 0, 0)), "NULL", true},
        {"timestamp", tc::kTypeTimestamp, stamp(53071, Clock(15, 30, 0) + 1), "'2004-03-07 15:30:00.0001'", false},
        {"timestamp at midnight", tc::kTypeTimestamp, stamp(0, 0), "'1858-11-17 00:00:00.0000'", false},
        {"bigint", tc::kTypeBigint, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, "9223372036854775807", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const COLUMN column = Column(c.type, static_cast<std::uint16_t>(c.stored.size()));
        const FieldValue value = DecodeFieldValue(Bytes(c.stored), column, Options(OutputMode::Exact));
        EXPECT_EQ(value.damaged, c.damaged);
        EXPECT_EQ(InsertValueText(c.type, value), c.literal);
    }

    // Blob values: the bare marker when the blob was taken, NULL when not.
    const COLUMN blob = Column(tc::kTypeBlob, 8);
    DecodeOptions exact = Options(OutputMode::Exact);
    const auto field = Bytes({0x8C, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00});
    exact.blobPath = [](const BlobId&) { return std::string("?"); };
    EXPECT_EQ(InsertValueText(tc::kTypeBlob, DecodeFieldValue(field, blob, exact)), "?");
    exact.blobPath = [](const BlobId&) { return std::string(); };
    EXPECT_EQ(InsertValueText(tc::kTypeBlob, DecodeFieldValue(field, blob, exact)), "NULL");
}

TEST(ValueDecoder, Booleans)
{
    CheckCases({
        {"true", tc::kTypeBoolean, 2, 0, {0x01, 0x00}, "True", "True"},
        {"false", tc::kTypeBoolean, 2, 0, {0x00, 0x00}, "False", "False"},
    });
    // The server stores 1 or 0 only: anything else is damage, not a value.
    for (const std::vector<std::uint8_t>& stored : {std::vector<std::uint8_t>{0x02, 0x00}, {0x00, 0x01}}) {
        for (const OutputMode mode : {OutputMode::Preview, OutputMode::Repair, OutputMode::Exact}) {
            const FieldValue value = DecodeFieldValue(Bytes(stored), Column(tc::kTypeBoolean, 2), Options(mode));
            EXPECT_TRUE(value.damaged);
            EXPECT_EQ(value.text, "");
        }
    }
}

// A decimal text without its sign's noise: leading zeros of the integer
// part and trailing zeros of the fraction dropped, "-0" as "0".
std::string PlainDecimal(std::string text)
{
    bool negative = !text.empty() && text[0] == '-';
    if (negative)
        text.erase(0, 1);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    while (text.size() > 1 && text[0] == '0')
        text.erase(0, 1);
    if (text.empty() || text[0] == '.')
        text.insert(0, "0");
    return negative && text != "0" ? "-" + text : text;
}

// The value a prepared INSERT binds is the value the INSERT text names: the
// same flags for every stored form, and where a value is bound, the same
// number, date, time or text. Random bytes of every column type, whole and
// cut short, in both repair modes.
TEST(ValueDecoder, BoundValuesAreTheValuesOfTheInsertTexts)
{
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    struct TypeCase {
        std::uint8_t type;
        std::uint16_t length;
        std::uint16_t scale;
    };
    const std::vector<TypeCase> types = {
        {tc::kTypeSmallint, 2, 0}, {tc::kTypeInteger, 4, 0}, {tc::kTypeBigint, 8, 0},  {tc::kTypeBigint, 8, 3},
        {tc::kTypeNumeric, 2, 1},  {tc::kTypeNumeric, 4, 2}, {tc::kTypeNumeric, 8, 4}, {tc::kTypeDecimal, 8, 2},
        {tc::kTypeFloat, 4, 0},    {tc::kTypeDouble, 8, 0},  {tc::kTypeBoolean, 2, 0}, {tc::kTypeDate, 4, 0},
        {tc::kTypeTime, 4, 0},     {tc::kTypeTimestamp, 8, 0}, {tc::kTypeChar, 6, 0},   {tc::kTypeVarchar, 5, 0},
    };
    std::mt19937 random(20261211);
    for (const TypeCase& t : types) {
        const COLUMN column = Column(t.type, t.length, t.scale);
        const std::size_t storage = FieldStorageSize(column);
        for (int round = 0; round < 3000; ++round) {
            std::vector<std::uint8_t> stored(storage);
            for (std::uint8_t& byte : stored)
                byte = static_cast<std::uint8_t>(random());
            // Plausible values as well as noise: small numbers, short texts,
            // days and times in range, all zeros, a cut-short field.
            switch (round % 6) {
            case 1:
                std::fill(stored.begin() + std::min<std::size_t>(storage, 2), stored.end(), 0);
                break;
            case 2:
                std::fill(stored.begin(), stored.end(), 0);
                break;
            case 3:
                stored.resize(random() % storage);
                break;
            case 4:
                if (t.type == tc::kTypeVarchar)
                    stored[1] = 0, stored[0] = static_cast<std::uint8_t>(random() % 6);
                if (t.type == tc::kTypeDate || t.type == tc::kTypeTimestamp)
                    stored[2] = 0, stored[3] = static_cast<std::uint8_t>(stored[3] & 0x80 ? 0xFF : 0);
                if (t.type == tc::kTypeTime)
                    stored[3] = static_cast<std::uint8_t>(stored[3] % 0x33);
                if (t.type == tc::kTypeTimestamp)
                    stored[7] = static_cast<std::uint8_t>(stored[7] % 0x33);
                break;
            default:
                break;
            }
            for (const OutputMode mode : {OutputMode::Repair, OutputMode::Exact}) {
                const std::vector<std::byte> field = Bytes(stored);
                const FieldValue text = DecodeFieldValue(field, column, Options(mode));
                InsertValue bound;
                const FieldValue flags = DecodeInsertValue(field, column, Options(mode), bound);
                SCOPED_TRACE(::testing::Message() << "type " << int(t.type) << " scale " << t.scale << " mode "
                                                  << int(mode) << " text " << text.text);
                ASSERT_EQ(flags.damaged, text.damaged);
                ASSERT_EQ(flags.numericTooWide, text.numericTooWide);
                if (text.damaged)
                    continue;
                ASSERT_EQ(bound.kind == ValueKind::Null, text.nullLiteral);
                if (text.nullLiteral)
                    continue;
                switch (bound.kind) {
                case ValueKind::Integer:
                    ASSERT_EQ(PlainDecimal(FormatScaledInteger(bound.integer, static_cast<std::uint16_t>(bound.scale))),
                              PlainDecimal(text.text));
                    break;
                case ValueKind::Double:
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(bound.real), std::bit_cast<std::uint64_t>(std::strtod(text.text.c_str(), nullptr)));
                    break;
                case ValueKind::Float:
                    ASSERT_EQ(static_cast<float>(bound.real), std::strtof(text.text.c_str(), nullptr));
                    break;
                case ValueKind::Boolean:
                    ASSERT_EQ(text.text, bound.integer == 1 ? "True" : "False");
                    break;
                case ValueKind::Date:
                    ASSERT_EQ(FormatIsoDate(bound.integer), text.text);
                    break;
                case ValueKind::Time:
                    ASSERT_EQ(FormatIsoTime(bound.time), text.text);
                    break;
                case ValueKind::Timestamp:
                    ASSERT_EQ(FormatIsoDate(bound.integer) + " " + FormatIsoTime(bound.time), text.text);
                    break;
                case ValueKind::Text:
                case ValueKind::Utf8Text:
                    ASSERT_EQ(bound.text, text.text);
                    ASSERT_EQ(bound.kind == ValueKind::Utf8Text, text.utf8);
                    break;
                default:
                    FAIL() << "unexpected kind " << int(bound.kind);
                }
                // Dates and times are bound from their bytes only where the
                // target column keeps their type.
                if (mode == OutputMode::Repair)
                    ASSERT_TRUE(bound.kind != ValueKind::Date && bound.kind != ValueKind::Time &&
                                bound.kind != ValueKind::Timestamp);
            }
        }
    }
}

TEST(ValueDecoder, CharTextThroughTheCodePage)
{
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    CheckCases({
        {"two letters and padding", tc::kTypeChar, 10, 0, Text("AB", 10), "AB", "'AB'"},
        {"apostrophe", tc::kTypeChar, 10, 0, Text("O'Brien", 10), "O'Brien", "'O''Brien'"},
        {"double quotes stay double quotes", tc::kTypeChar, 12, 0, Text("say \"hi\"", 12), "say \"hi\"",
         "'say \"hi\"'"},
        {"code-page letters", tc::kTypeChar, 8, 0, Text("caf\xE9 \x80", 8), "café €", "'café €'"},
        {"high repeated bytes go through the code page too", tc::kTypeChar, 4, 0, Text("\x80\x80\x80", 4), "€€€",
         "'€€€'"},
        {"blanks inside the text are kept", tc::kTypeChar, 16, 0, Text("Divers'  Supply", 16), "Divers'  Supply",
         "'Divers''  Supply'"},
        {"full width, no padding", tc::kTypeChar, 3, 0, Text("XYZ"), "XYZ", "'XYZ'"},
        {"only blanks", tc::kTypeChar, 6, 0, Text("", 6), "", "''"},
        {"all zero", tc::kTypeChar, 6, 0, Text("", 6, '\0'), " ", "' '"},
        {"text ends at a zero byte", tc::kTypeChar, 6, 0, {'A', 'B', 0, 'C', ' ', ' '}, "AB", "'AB'"},
        // A stored text is never mistaken for the NULL keyword.
        {"the text NULL", tc::kTypeChar, 6, 0, Text("NULL", 6), "NULL", "'NULL'"},
        {"the text null", tc::kTypeChar, 6, 0, Text("null", 6), "null", "'null'"},
    });
}

TEST(ValueDecoder, CharTextInAnotherCodePage)
{
    ASSERT_TRUE(ods::SetCodePage("CP1251"));
    const FieldValue value =
        DecodeFieldValue(Bytes(Text("\xC0\xC1", 4)), Column(tc::kTypeChar, 4), Options(OutputMode::Preview));
    EXPECT_EQ(value.text, "АБ");
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
}

TEST(ValueDecoder, Varchars)
{
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    CheckCases({
        {"contact name", tc::kTypeVarchar, 20, 0, Varying("Maria Eventosh", 20), "Maria Eventosh", "'Maria Eventosh'"},
        {"apostrophe", tc::kTypeVarchar, 20, 0, Varying("Patricia O'Brien", 20), "Patricia O'Brien",
         "'Patricia O''Brien'"},
        {"trailing blanks are part of the text", tc::kTypeVarchar, 8, 0, Varying("ab  ", 8), "ab  ", "'ab  '"},
        {"code-page letters", tc::kTypeVarchar, 10, 0, Varying("Fran\xE7oise", 10), "Françoise", "'Françoise'"},
        {"full declared length", tc::kTypeVarchar, 3, 0, Varying("XYZ", 3), "XYZ", "'XYZ'"},
        {"empty text", tc::kTypeVarchar, 4, 0, {0x00, 0x00, 'x', 'x', 'x', 'x'}, "", "''"},
        // The empty text stored as zeros is copied as the empty text, not as a blank.
        {"all zero", tc::kTypeVarchar, 4, 0, {0, 0, 0, 0, 0, 0}, " ", "''"},
        {"the text Null", tc::kTypeVarchar, 6, 0, Varying("Null", 6), "Null", "'Null'"},
    });
}

TEST(ValueDecoder, VarcharLengthBeyondItsDeclaredLengthIsDamage)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> stored;
    } cases[] = {
        {"length word above the declared length", {0x07, 0x00, 'a', 'b', 'c', 'd', 'e', 'f'}},
        {"length word of 0xFFFF", {0xFF, 0xFF, 'a', 'b', 'c', 'd', 'e', 'f'}},
        {"text runs past the record's end", {0x05, 0x00, 'a', 'b', 'c'}},
        {"no length word", {0x05}},
    };
    const COLUMN column = Column(tc::kTypeVarchar, 6);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FieldValue value = DecodeFieldValue(Bytes(c.stored), column, Options(OutputMode::Preview));
        EXPECT_TRUE(value.damaged);
        EXPECT_EQ(value.text, " ");
    }
    // A record that ends inside the unused tail still holds the whole text.
    const FieldValue shortTail =
        DecodeFieldValue(Bytes({0x02, 0x00, 'o', 'k'}), column, Options(OutputMode::Preview));
    EXPECT_FALSE(shortTail.damaged);
    EXPECT_EQ(shortTail.text, "ok");
}

// The server stores only well-formed UTF-8 in a UTF8 column: a text that
// is not is damage, in a CHAR and a VARCHAR alike. UNICODE_FSS texts, which
// older servers stored unchecked, and code-page texts are never damage.
TEST(ValueDecoder, MalformedUtf8TextsOfUtf8ColumnsAreDamage)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> text;
        bool wellFormed;
    } cases[] = {
        {"ASCII", Text("abc"), true},
        {"two-, three- and four-byte characters", {0xC3, 0xBC, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}, true},
        {"a stored U+FFFD", {'a', 0xEF, 0xBF, 0xBD}, true},
        {"a stray continuation byte", {'a', 0x9E, 'c'}, false},
        {"a lead byte without its continuation", {'a', 0xC3, 'c'}, false},
        {"a sequence cut by the text's end", {'a', 0xE2, 0x82}, false},
        {"an overlong form", {0xC0, 0xAF}, false},
        {"a surrogate", {0xED, 0xA0, 0x80}, false},
        {"past U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // VARCHAR(12): the length word, the text, zeros; CHAR(12): the text
        // padded with blanks.
        std::vector<std::uint8_t> varying{static_cast<std::uint8_t>(c.text.size()), 0};
        varying.insert(varying.end(), c.text.begin(), c.text.end());
        varying.resize(2 + 12, 0);
        std::vector<std::uint8_t> fixed = c.text;
        fixed.resize(12, ' ');
        for (const std::uint8_t set : {ods::kCharsetUtf8, std::uint8_t{4}, ods::kCharsetUnicodeFss, ods::kCharsetNone}) {
            SCOPED_TRACE("character set " + std::to_string(set));
            const bool checked = set == ods::kCharsetUtf8 || set == 4;
            for (const auto& [type, stored] : {std::pair{tc::kTypeVarchar, varying}, std::pair{tc::kTypeChar, fixed}}) {
                COLUMN column = Column(type, 12);
                column.characterSet = set;
                for (const OutputMode mode : {OutputMode::Preview, OutputMode::Repair})
                    EXPECT_EQ(DecodeFieldValue(Bytes(stored), column, Options(mode)).damaged, checked && !c.wellFormed);
            }
        }
    }
}

TEST(ValueDecoder, BlobIdsOfThisTableOnly)
{
    const COLUMN column = Column(tc::kTypeBlob, 8);
    std::vector<std::uint32_t> asked;
    DecodeOptions repair = Options(OutputMode::Repair);
    repair.blobPath = [&asked](const BlobId& id) {
        asked.push_back(id.recordNumber);
        return "/data/O'Hara/BlobData_new.ib/ORDERSBlob" + std::to_string(asked.size());
    };
    const struct {
        const char* name;
        std::vector<std::uint8_t> stored;
        const char* preview;
        const char* literal;
        bool asksForPath;
    } cases[] = {
        {"blob of this table", {0x8C, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00}, "Blob",
         "'/data/O''Hara/BlobData_new.ib/ORDERSBlob1'", true},
        {"blob of another table", {0x8D, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00}, "", "''", false},
        {"all zero", {0, 0, 0, 0, 0, 0, 0, 0}, "", "''", false},
        {"second blob of this table", {0x8C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, "Blob",
         "'/data/O''Hara/BlobData_new.ib/ORDERSBlob2'", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto field = Bytes(c.stored);
        const std::size_t before = asked.size();
        EXPECT_EQ(DecodeFieldValue(field, column, Options(OutputMode::Preview)).text, c.preview);
        EXPECT_EQ(InsertValueText(tc::kTypeBlob, DecodeFieldValue(field, column, repair)), c.literal);
        EXPECT_EQ(asked.size() - before, c.asksForPath ? 1u : 0u);
    }
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{5, 256}));
}

// An array column holds an 8-byte array id whatever its element type; the
// elements are not read, so the INSERT gives the column NULL.
TEST(ValueDecoder, ArrayColumnsShowTheirIdAndAreWrittenAsNull)
{
    const std::vector<std::uint8_t> id = {0x81, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00};
    const std::vector<std::uint8_t> zero(8, 0);
    const struct {
        const char* name;
        COLUMN column;
        std::vector<std::uint8_t> stored;
        const char* preview;
    } cases[] = {
        {"VARCHAR(15)[5]", Column(tc::kTypeVarchar, 15), id, "Array"},
        {"INTEGER[4]", Column(tc::kTypeInteger, 4), id, "Array"},
        {"CHAR(1)[3]: more bytes than the element", Column(tc::kTypeChar, 1), id, "Array"},
        {"NUMERIC(9,2)[2]", Column(tc::kTypeNumeric, 4, 2), id, "Array"},
        {"an id of zero bytes", Column(tc::kTypeVarchar, 15), zero, "NULL"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        c.column.dimensions = 1;
        EXPECT_EQ(FieldStorageSize(c.column), 8u);
        const auto field = Bytes(c.stored);
        const FieldValue preview = DecodeFieldValue(field, c.column, Options(OutputMode::Preview));
        EXPECT_FALSE(preview.damaged);
        EXPECT_EQ(preview.text, c.preview);
        const FieldValue repair = DecodeFieldValue(field, c.column, Options(OutputMode::Repair));
        EXPECT_FALSE(repair.damaged);
        EXPECT_EQ(InsertValueText(c.column.typeCode, repair), "NULL");
    }
    // An id cut short by the record's end is damage, read within its bytes.
    COLUMN array = Column(tc::kTypeSmallint, 2);
    array.dimensions = 2;
    const auto cut = Bytes({0x81, 0x00, 0x00});
    EXPECT_TRUE(DecodeFieldValue(cut, array, Options(OutputMode::Preview)).damaged);
}

TEST(ValueDecoder, NullFieldsAreTheBareKeywordForEveryType)
{
    for (std::uint8_t type : {tc::kTypeNumeric, tc::kTypeDecimal, tc::kTypeBlob, tc::kTypeSmallint, tc::kTypeInteger,
                              tc::kTypeFloat, tc::kTypeDate, tc::kTypeTime, tc::kTypeChar, tc::kTypeBoolean,
                              tc::kTypeDouble, tc::kTypeTimestamp, tc::kTypeVarchar}) {
        SCOPED_TRACE(static_cast<int>(type));
        const FieldValue value = NullFieldValue();
        EXPECT_EQ(value.text, "NULL");
        EXPECT_EQ(InsertValueText(type, value), "NULL");
    }
}

TEST(ValueDecoder, EscapeSqlText)
{
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"O'Brien", "O''Brien"},
        {"''", "''''"},
        {"'", "''"},
        {"say \"hi\"", "say \"hi\""},
        {"it's \"quoted\"", "it''s \"quoted\""},
        {std::string("a\0b", 3), "ab"},
        {"", ""},
        {"C:\\dir\\", "C:\\dir\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EscapeSqlText(c.text), c.escaped);
    }
}

// Reads one single-quoted SQL string literal; false unless literal is
// exactly one such literal. The unquoted text goes to text.
bool ReadOneSqlString(const std::string& literal, std::string& text)
{
    if (literal.size() < 2 || literal.front() != '\'')
        return false;
    text.clear();
    std::size_t i = 1;
    while (i < literal.size()) {
        if (literal[i] == '\'') {
            if (i + 1 < literal.size() && literal[i + 1] == '\'') {
                text += '\'';
                i += 2;
                continue;
            }
            return i + 1 == literal.size();  // the closing quote must end the literal
        }
        if (literal[i] == '\0')
            return false;
        text += literal[i++];
    }
    return false;
}

// No stored text can end its literal early and add to the statement.
TEST(ValueDecoder, StoredTextStaysInsideItsLiteral)
{
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    const std::string hostile[] = {
        "x'); DROP TABLE T; --",
        "'",
        "''",
        "a'''b",
        "\"); DELETE FROM T; --",
        "end\\'",
        "tab\tnew\nline",
        "\x92quote\x91",
        std::string("zero\0'after", 11),
    };
    for (const std::string& text : hostile) {
        SCOPED_TRACE(text);
        for (std::uint8_t type : {tc::kTypeChar, tc::kTypeVarchar}) {
            const std::uint16_t length = 40;
            const auto stored = type == tc::kTypeChar ? Text(text, length) : Varying(text, length);
            const FieldValue value = DecodeFieldValue(Bytes(stored), Column(type, length), Options(OutputMode::Repair));
            const std::string literal = InsertValueText(type, value);
            std::string inside;
            ASSERT_TRUE(ReadOneSqlString(literal, inside)) << literal;
            EXPECT_EQ(inside, value.text);
        }
    }
}

TEST(ValueDecoder, ColumnsWithoutTypeOrLengthAreDamage)
{
    const auto field = Bytes({1, 2, 3, 4});
    EXPECT_TRUE(DecodeFieldValue(field, Column(0, 4), Options(OutputMode::Preview)).damaged);
    EXPECT_TRUE(DecodeFieldValue(field, Column(tc::kTypeInteger, 0), Options(OutputMode::Preview)).damaged);
    // A type this reader does not know gives no text but does not stop the record.
    const FieldValue unknown = DecodeFieldValue(field, Column(9, 4), Options(OutputMode::Preview));
    EXPECT_FALSE(unknown.damaged);
    EXPECT_EQ(unknown.text, "");
}

// A record that ends inside a column: every shorter field marks the record
// damaged, and no decoder reads past the bytes it was given.
TEST(ValueDecoder, TruncatedFieldsAreDamageAndStayInsideTheirBytes)
{
    const struct {
        std::uint8_t type;
        std::uint16_t length;
        const char* text;  // the text a truncated field gives
    } cases[] = {
        {tc::kTypeNumeric, 8, ""},  {tc::kTypeDecimal, 4, ""},   {tc::kTypeBlob, 8, ""},
        {tc::kTypeSmallint, 2, ""}, {tc::kTypeInteger, 4, ""},   {tc::kTypeFloat, 4, ""},
        {tc::kTypeDate, 4, ""},     {tc::kTypeTime, 4, ""},      {tc::kTypeBoolean, 2, " "},
        {tc::kTypeDouble, 8, ""},   {tc::kTypeTimestamp, 8, ""},
    };
    for (const auto& c : cases) {
        const COLUMN column = Column(c.type, c.length, 2);
        const std::size_t storage = FieldStorageSize(column);
        ASSERT_EQ(storage, c.length);
        for (std::size_t size = 0; size < storage; ++size) {
            SCOPED_TRACE(std::to_string(c.type) + " with " + std::to_string(size) + " bytes");
            const std::vector<std::byte> field(size, std::byte{0x7F});
            for (OutputMode mode : {OutputMode::Preview, OutputMode::Repair}) {
                const FieldValue value = DecodeFieldValue(field, column, Options(mode));
                EXPECT_TRUE(value.damaged);
                EXPECT_EQ(value.text, c.text);
            }
        }
    }
    // A CHAR cut short shows what the record still holds.
    const FieldValue cut = DecodeFieldValue(Bytes(Text("ABC")), Column(tc::kTypeChar, 10), Options(OutputMode::Preview));
    EXPECT_TRUE(cut.damaged);
    EXPECT_EQ(cut.text, "ABC");
}

TEST(ValueDecoder, StorageSizes)
{
    const struct {
        std::uint8_t type;
        std::uint16_t length;
        std::size_t storage;
    } cases[] = {
        {tc::kTypeNumeric, 2, 2}, {tc::kTypeDecimal, 8, 8},   {tc::kTypeBlob, 8, 8},     {tc::kTypeSmallint, 2, 2},
        {tc::kTypeInteger, 4, 4}, {tc::kTypeFloat, 4, 4},     {tc::kTypeDate, 4, 4},     {tc::kTypeTime, 4, 4},
        {tc::kTypeChar, 15, 15},  {tc::kTypeBoolean, 2, 2},   {tc::kTypeDouble, 8, 8},   {tc::kTypeTimestamp, 8, 8},
        {tc::kTypeVarchar, 20, 22}, {tc::kTypeVarchar, 65535, 65537}, {tc::kTypeBigint, 8, 8}, {9, 8, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        EXPECT_EQ(FieldStorageSize(Column(c.type, c.length)), c.storage);
    }
}

// --- The demo database: stored values against their known content. ---

std::vector<std::byte> ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    std::transform(chars.begin(), chars.end(), bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}

unsigned Word(std::span<const std::byte> bytes, std::size_t offset)
{
    return std::to_integer<unsigned>(bytes[offset]) | (std::to_integer<unsigned>(bytes[offset + 1]) << 8);
}

std::string DecodeXmlEntities(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        if (entity == "apos")
            out += '\'';
        else if (entity == "amp")
            out += '&';
        else if (entity == "quot")
            out += '"';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (!entity.empty() && entity[0] == '#')
            out += static_cast<char>(std::stoi(std::string(entity.substr(1))));
        i = end;
    }
    return out;
}

// The rows of a truth file: attribute name -> value; an absent attribute is NULL.
std::vector<std::map<std::string, std::string>> ReadTruthRows(const std::filesystem::path& path)
{
    std::ifstream in(path);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t at = xml.find("<ROW "); at != std::string::npos; at = xml.find("<ROW ", at + 1)) {
        const std::size_t end = xml.find("/>", at);
        std::map<std::string, std::string> row;
        std::size_t pos = at + 5;
        while (true) {
            const std::size_t eq = xml.find("=\"", pos);
            if (eq == std::string::npos || eq > end)
                break;
            const std::size_t nameStart = xml.rfind(' ', eq) + 1;
            const std::size_t valueEnd = xml.find('"', eq + 2);
            row[xml.substr(nameStart, eq - nameStart)] = DecodeXmlEntities(xml.substr(eq + 2, valueEnd - eq - 2));
            pos = valueEnd + 1;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

struct SampleColumn {
    const char* name;  // attribute name in the truth file
    std::uint8_t type;
    std::uint16_t length;
};

struct SampleTable {
    const char* truthFile;
    std::uint32_t relationId;  // in dbdemos.gdb
    std::vector<SampleColumn> columns;
};

// Truth texts of a dateTime attribute ("19880503T12:00:00000") in both forms.
void ExpectedStamp(const std::string& truth, std::string& preview, std::string& literal)
{
    const std::string date = truth.substr(4, 2) + "/" + truth.substr(6, 2) + "/" + truth.substr(0, 4);
    if (truth.size() == 8) {
        preview = date + " ";
        literal = "'" + date + " 00:00:00'";
        return;
    }
    const int hour = std::stoi(truth.substr(9, 2));
    const std::string minutesSeconds = truth.substr(11, 6);
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    preview = date + " " + std::to_string(hour12) + minutesSeconds + (hour < 12 ? " AM" : " PM");
    literal = "'" + date + " " + std::to_string(hour) + minutesSeconds + "'";
}

TEST(ValueDecoder, DemoDatabaseRecordsMatchTheirKnownContent)
{
    const std::filesystem::path samples = RAVELIN_SAMPLES_DIR;
    const std::filesystem::path file = samples / "ods16" / "dbdemos.gdb";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "sample databases not present";
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    const std::vector<std::byte> database = ReadWholeFile(file);
    constexpr std::size_t kPageSize = 4096;

    const SampleTable tables[] = {
        {"orders.xml", 140,
         {{"OrderNo", tc::kTypeDouble, 8},        {"CustNo", tc::kTypeDouble, 8},
          {"SaleDate", tc::kTypeTimestamp, 8},    {"ShipDate", tc::kTypeTimestamp, 8},
          {"EmpNo", tc::kTypeInteger, 4},         {"ShipToContact", tc::kTypeVarchar, 20},
          {"ShipToAddr1", tc::kTypeVarchar, 30},  {"ShipToAddr2", tc::kTypeVarchar, 30},
          {"ShipToCity", tc::kTypeVarchar, 15},   {"ShipToState", tc::kTypeVarchar, 20},
          {"ShipToZip", tc::kTypeVarchar, 10},    {"ShipToCountry", tc::kTypeVarchar, 20},
          {"ShipToPhone", tc::kTypeVarchar, 15},  {"ShipVIA", tc::kTypeVarchar, 7},
          {"PO", tc::kTypeVarchar, 15},           {"Terms", tc::kTypeVarchar, 6},
          {"PaymentMethod", tc::kTypeVarchar, 7}, {"ItemsTotal", tc::kTypeDouble, 8},
          {"TaxRate", tc::kTypeDouble, 8},        {"Freight", tc::kTypeDouble, 8},
          {"AmountPaid", tc::kTypeDouble, 8}}},
        {"customer.xml", 132,
         {{"CustNo", tc::kTypeDouble, 8},   {"Company", tc::kTypeVarchar, 30}, {"Addr1", tc::kTypeVarchar, 30},
          {"Addr2", tc::kTypeVarchar, 30},  {"City", tc::kTypeVarchar, 15},    {"State", tc::kTypeVarchar, 20},
          {"Zip", tc::kTypeVarchar, 10},    {"Country", tc::kTypeVarchar, 20}, {"Phone", tc::kTypeVarchar, 15},
          {"FAX", tc::kTypeVarchar, 15},    {"TaxRate", tc::kTypeDouble, 8},   {"Contact", tc::kTypeVarchar, 20},
          {"LastInvoiceDate", tc::kTypeTimestamp, 8}}},
        {"employee.xml", 133,
         {{"EmpNo", tc::kTypeInteger, 4},
          {"LastName", tc::kTypeVarchar, 20},
          {"FirstName", tc::kTypeVarchar, 15},
          {"PhoneExt", tc::kTypeVarchar, 4},
          {"HireDate", tc::kTypeTimestamp, 8},
          {"Salary", tc::kTypeDouble, 8}}},
    };

    for (const SampleTable& table : tables) {
        SCOPED_TRACE(table.truthFile);
        const auto truthRows = ReadTruthRows(samples / "truth" / table.truthFile);
        ASSERT_FALSE(truthRows.empty());
        std::map<std::string, const std::map<std::string, std::string>*> truthByKey;
        for (const auto& row : truthRows)
            truthByKey[row.at(table.columns[0].name)] = &row;

        // Column offsets in the decompressed data: the null flags take 4
        // bytes; a VARCHAR starts on an even offset, the other types here on
        // a multiple of 4.
        std::vector<std::size_t> offsets;
        std::size_t offset = 4;
        for (const SampleColumn& column : table.columns) {
            const std::size_t align = column.type == tc::kTypeVarchar ? 2 : 4;
            offset = (offset + align - 1) / align * align;
            offsets.push_back(offset);
            offset += FieldStorageSize(Column(column.type, column.length));
        }
        const std::size_t recordLength = offset;

        ods::RecordImage image;
        std::size_t recordsChecked = 0;
        for (std::size_t page = 0; page < database.size() / kPageSize; ++page) {
            const std::span<const std::byte> bytes(database.data() + page * kPageSize, kPageSize);
            if (std::to_integer<unsigned>(bytes[0]) != 5 || Word(bytes, 20) != table.relationId)
                continue;
            const unsigned slots = Word(bytes, 22);
            for (unsigned slot = 0; slot < slots; ++slot) {
                const unsigned recordOffset = Word(bytes, 24 + 4 * slot);
                const unsigned recordSize = Word(bytes, 26 + 4 * slot);
                if (recordOffset == 0 || recordOffset + recordSize > kPageSize || recordSize <= 13)
                    continue;
                const auto record = bytes.subspan(recordOffset, recordSize);
                if (std::to_integer<unsigned>(record[10]) != 0)
                    continue;  // fragments are not part of this check
                image.Expand(record.subspan(13), recordLength);
                ASSERT_TRUE(image.complete());

                const COLUMN keyColumn = Column(table.columns[0].type, table.columns[0].length);
                const std::string key = DecodeFieldValue(image.Field(offsets[0], FieldStorageSize(keyColumn)), keyColumn,
                                                         Options(OutputMode::Preview))
                                            .text;
                ASSERT_TRUE(truthByKey.count(key)) << key;
                const auto& truth = *truthByKey[key];
                ++recordsChecked;

                const std::uint32_t nullFlags = static_cast<std::uint32_t>(std::to_integer<unsigned>(image.bytes()[0])) |
                                                (std::to_integer<std::uint32_t>(image.bytes()[1]) << 8) |
                                                (std::to_integer<std::uint32_t>(image.bytes()[2]) << 16);
                for (std::size_t i = 0; i < table.columns.size(); ++i) {
                    const SampleColumn& sample = table.columns[i];
                    SCOPED_TRACE(key + " " + sample.name);
                    const auto expected = truth.find(sample.name);
                    const bool isNull = (nullFlags >> i) & 1u;
                    ASSERT_EQ(isNull, expected == truth.end());
                    if (isNull)
                        continue;
                    const COLUMN column = Column(sample.type, sample.length);
                    const auto field = image.Field(offsets[i], FieldStorageSize(column));
                    const FieldValue preview = DecodeFieldValue(field, column, Options(OutputMode::Preview));
                    const FieldValue repair = DecodeFieldValue(field, column, Options(OutputMode::Repair));
                    const std::string literal = InsertValueText(sample.type, repair);
                    ASSERT_FALSE(preview.damaged);
                    if (sample.type == tc::kTypeDouble) {
                        // The truth file rounds to 15 or 16 digits; the
                        // decoder keeps every digit the stored value has.
                        const double truthValue = std::stod(expected->second);
                        double decoded = 0;
                        std::from_chars(preview.text.data(), preview.text.data() + preview.text.size(), decoded);
                        EXPECT_NEAR(decoded, truthValue, 1e-9 * std::max(1.0, std::fabs(truthValue)));
                        EXPECT_EQ(literal, preview.text);
                    } else if (sample.type == tc::kTypeTimestamp) {
                        std::string previewText, literalText;
                        ExpectedStamp(expected->second, previewText, literalText);
                        EXPECT_EQ(preview.text, previewText);
                        EXPECT_EQ(literal, literalText);
                    } else if (sample.type == tc::kTypeVarchar) {
                        std::string quoted = "'";
                        for (char c : expected->second)
                            quoted += c == '\'' ? std::string("''") : std::string(1, c);
                        EXPECT_EQ(preview.text, expected->second);
                        EXPECT_EQ(literal, quoted + "'");
                    } else {
                        EXPECT_EQ(preview.text, expected->second);
                        EXPECT_EQ(literal, expected->second);
                    }
                }
            }
        }
        EXPECT_EQ(recordsChecked, truthRows.size());
    }
}

// The SALES table of the ODS 15 employee sample stores its fields in an order
// of its own; the offsets below are those of that file's records. The
// expected texts follow the table's data script, except for the years: the
// file holds the same months and days nineteen years later.
TEST(ValueDecoder, EmployeeSalesRecordsMatchTheirDataScript)
{
    const std::filesystem::path file = std::filesystem::path(RAVELIN_SAMPLES_DIR) / "ods15" / "EMPLOYEE.GDB";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "sample databases not present";
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    const std::vector<std::byte> database = ReadWholeFile(file);
    constexpr std::size_t kPageSize = 1024;
    constexpr std::uint32_t kSalesRelation = 137;
    constexpr std::size_t kRecordLength = 79;

    struct StoredColumn {
        const char* name;
        std::uint8_t type;
        std::uint16_t length;
        std::uint16_t scale;
        std::size_t offset;
    };
    const StoredColumn columns[] = {
        {"ship_date", tc::kTypeTimestamp, 8, 0, 12},   {"order_date", tc::kTypeTimestamp, 8, 0, 20},
        {"po_number", tc::kTypeChar, 8, 0, 28},        {"discount", tc::kTypeFloat, 4, 0, 36},
        {"total_value", tc::kTypeDecimal, 4, 2, 40},   {"qty_ordered", tc::kTypeInteger, 4, 0, 44},
        {"cust_no", tc::kTypeInteger, 4, 0, 48},       {"item_type", tc::kTypeVarchar, 12, 0, 52},
        {"sales_rep", tc::kTypeSmallint, 2, 0, 66},    {"paid", tc::kTypeChar, 1, 0, 68},
        {"order_status", tc::kTypeVarchar, 7, 0, 70},
    };
    // Preview texts per record, in the order of columns above.
    const std::vector<std::vector<std::string>> expected = {
        {"03/05/2010 ", "03/04/2010 ", "V91E0210", "0.100000", "5000.00", "10", "1004", "hardware", "11", "y",
         "shipped"},
        {"08/20/2012 ", "08/20/2012 ", "V93J3100", "0.100000", "18000.40", "16", "1010", "software", "118", "y",
         "shipped"},
        {"08/16/2012 ", "08/16/2012 ", "V9324320", "1.000000", "0", "1", "1001", "software", "127", "y", "shipped"},
        {"02/10/2013 ", "02/07/2013 ", "V9427029", "0", "422210.97", "17", "1001", "hardware", "127", "n",
         "shipped"},
        {"01/01/2013 ", "12/27/2012 ", "V9336100", "0.050000", "14850.00", "150", "1002", "software", "11", "n",
         "waiting"},
        {"10/28/2012 ", "10/27/2012 ", "V93S4702", "0", "120000.00", "4", "1011", "hardware", "121", "y",
         "shipped"},
    };

    std::map<std::string, std::vector<std::byte>> recordsByNumber;
    ods::RecordImage image;
    for (std::size_t page = 0; page < database.size() / kPageSize; ++page) {
        const std::span<const std::byte> bytes(database.data() + page * kPageSize, kPageSize);
        if (std::to_integer<unsigned>(bytes[0]) != 5 || Word(bytes, 20) != kSalesRelation)
            continue;
        for (unsigned slot = 0; slot < Word(bytes, 22); ++slot) {
            const unsigned offset = Word(bytes, 24 + 4 * slot);
            const unsigned size = Word(bytes, 26 + 4 * slot);
            if (offset == 0 || offset + size > kPageSize || size <= 13 || std::to_integer<unsigned>(bytes[offset + 10]) != 0)
                continue;
            image.Expand(bytes.subspan(offset + 13, size - 13), kRecordLength);
            ASSERT_TRUE(image.complete());
            const COLUMN number = Column(tc::kTypeChar, 8);
            recordsByNumber[DecodeFieldValue(image.Field(28, 8), number, Options(OutputMode::Preview)).text] =
                std::vector<std::byte>(image.bytes().begin(), image.bytes().end());
        }
    }
    ASSERT_EQ(recordsByNumber.size(), 33u);

    for (const auto& row : expected) {
        SCOPED_TRACE(row[2]);
        ASSERT_TRUE(recordsByNumber.count(row[2]));
        const std::span<const std::byte> record = recordsByNumber[row[2]];
        for (std::size_t i = 0; i < std::size(columns); ++i) {
            const StoredColumn& stored = columns[i];
            SCOPED_TRACE(stored.name);
            const COLUMN column = Column(stored.type, stored.length, stored.scale);
            const auto field = record.subspan(stored.offset, FieldStorageSize(column));
            EXPECT_EQ(DecodeFieldValue(field, column, Options(OutputMode::Preview)).text, row[i]);
        }
    }
    // The repair forms of the first record.
    const std::span<const std::byte> first = recordsByNumber["V91E0210"];
    const std::pair<std::size_t, const char*> literals[] = {
        {0, "'03/05/2010 00:00:00'"}, {2, "'V91E0210'"}, {3, "0.100000"}, {4, "5000.00"}, {8, "11"}, {9, "'y'"},
    };
    for (const auto& [index, literal] : literals) {
        const StoredColumn& stored = columns[index];
        SCOPED_TRACE(stored.name);
        const COLUMN column = Column(stored.type, stored.length, stored.scale);
        const FieldValue value =
            DecodeFieldValue(first.subspan(stored.offset, FieldStorageSize(column)), column, Options(OutputMode::Repair));
        EXPECT_EQ(InsertValueText(stored.type, value), literal);
    }
}

}  // namespace
}  // namespace ravelin::extract
