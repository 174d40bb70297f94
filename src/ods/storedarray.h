#pragma once

// An array value as the file stores it: a blob whose bytes begin with the
// array's descriptor, followed by every element in row-major order.
//
//   0  version (byte)           1  dimension count (byte)
//   2  struct count (16 bits)   4  element length in bytes (16 bits)
//   6  descriptor length (16 bits): where the elements begin
//   8  element count (32 bits)  12 elements' length in bytes (32 bits)
//   16 one entry per dimension, of equal size, each ending with the
//      dimension's lower and upper bound (32 bits each)
//
// A VARCHAR element is stored as its 16-bit length and the declared number
// of bytes; other elements as the column's own value.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ravelin::ods {

struct ArrayBound {
    std::int32_t lower = 1;
    std::int32_t upper = 1;
    friend bool operator==(const ArrayBound&, const ArrayBound&) = default;
};

struct StoredArray {
    std::uint16_t elementLength = 0;
    std::uint32_t elementCount = 0;
    std::vector<ArrayBound> bounds;        // one per dimension
    std::span<const std::byte> elements;   // elementLength * elementCount bytes
};

// The array stored in bytes, or nothing when its descriptor does not
// describe them: a dimension count of 0, entries that do not fit the
// descriptor's length, an element count that is not the product of the
// bounds or times the element length not the elements' length, or elements
// that run past the bytes. Nothing outside bytes is read.
std::optional<StoredArray> ParseStoredArray(std::span<const std::byte> bytes);

}  // namespace ravelin::ods
