#include "extract/singleprecision.h"

#include <cmath>
#include <limits>

namespace ravelin::extract {

CSinglePrecision CSinglePrecision::FromBytes(std::span<const std::byte, 4> bytes)
{
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i)
        bits |= std::to_integer<std::uint32_t>(bytes[i]) << (8 * i);
    return CSinglePrecision(bits);
}

double CSinglePrecision::Value() const
{
    const double sign = negative() ? -1.0 : 1.0;
    if (exponent() == 0xFF) {
        if (fraction() != 0)
            return std::numeric_limits<double>::quiet_NaN();
        return sign * std::numeric_limits<double>::infinity();
    }
    // Sum of the fraction bits: bit i (0..22) weighs 2^(i - 23). Every partial
    // sum has at most 24 significant bits, so the double holds it exactly.
    double mantissa = 0.0;
    for (int i = 0; i < 23; ++i) {
        if ((fraction() >> i) & 1u)
            mantissa += std::ldexp(1.0, i - 23);
    }
    int scale = -126;  // subnormal numbers and zero: no implicit leading 1
    if (exponent() != 0) {
        mantissa += 1.0;
        scale = static_cast<int>(exponent()) - 127;
    }
    return sign * std::ldexp(mantissa, scale);
}

}  // namespace ravelin::extract
