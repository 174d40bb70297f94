#pragma once

// A FLOAT column's stored value: IEEE 754 single precision, 4 bytes
// little-endian. The value is evaluated arithmetically from its sign, 8-bit
// exponent (bias 127) and 23 fraction bits, so the result does not depend on
// how the host lays out floating-point numbers.

#include <cstddef>
#include <cstdint>
#include <span>

namespace ravelin::extract {

class CSinglePrecision {
public:
    // bits: the 32-bit pattern, sign in bit 31.
    explicit CSinglePrecision(std::uint32_t bits) : bits_(bits) {}
    // The 4 stored bytes, least significant first.
    static CSinglePrecision FromBytes(std::span<const std::byte, 4> bytes);

    std::uint32_t bits() const { return bits_; }
    bool negative() const { return (bits_ >> 31) != 0; }
    // Biased exponent, 0..255.
    unsigned exponent() const { return (bits_ >> 23) & 0xFFu; }
    // The 23 stored fraction bits.
    std::uint32_t fraction() const { return bits_ & 0x7FFFFFu; }

    bool IsInfinity() const { return exponent() == 0xFF && fraction() == 0; }
    bool IsNaN() const { return exponent() == 0xFF && fraction() != 0; }

    // The value as a double: exact for every pattern (normal and subnormal
    // numbers, signed zeros, infinities; NaN for the NaN patterns). Normal
    // numbers are (1 + sum of the set fraction bits' powers of two) scaled by
    // 2^(exponent - 127); subnormal ones have no leading 1 and the scale 2^-126.
    double Value() const;
    float ValueAsFloat() const { return static_cast<float>(Value()); }

private:
    std::uint32_t bits_;
};

}  // namespace ravelin::extract
