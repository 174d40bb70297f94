#pragma once

// A value of an exact restore's INSERT that travels beside the statement,
// one per "?" of the statement, in order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ravelin::extract {

struct InsertParameter {
    // A blob's bytes; for an array, its elements as the file stores them
    // (row-major, each arrayElementLength bytes).
    std::vector<std::byte> bytes;
    // An array's stored element length, and its table and column as the
    // target names them; 0 and empty for a blob.
    std::uint16_t arrayElementLength = 0;
    std::string arrayTable;
    std::string arrayColumn;

    bool IsArray() const { return arrayElementLength != 0; }
};

}  // namespace ravelin::extract
