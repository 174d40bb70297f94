#pragma once

// Little-endian values inside a span of bytes (every multi-byte value in the
// file is little-endian). A value that does not lie whole inside the span
// reads as 0: nothing outside the bytes is ever touched.

#include <cstddef>
#include <cstdint>
#include <span>

namespace ravelin::ods {

inline std::uint32_t LittleEndian(std::span<const std::byte> bytes, std::size_t at, std::size_t width)
{
    if (width > 4 || at > bytes.size() || bytes.size() - at < width)
        return 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value |= std::to_integer<std::uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

// The 64-bit value at at; 0 when it does not lie whole inside the span.
inline std::uint64_t LittleEndian64(std::span<const std::byte> bytes, std::size_t at)
{
    if (at > bytes.size() || bytes.size() - at < 8)
        return 0;
    return std::uint64_t{LittleEndian(bytes, at, 4)} | (std::uint64_t{LittleEndian(bytes, at + 4, 4)} << 32);
}

}  // namespace ravelin::ods
