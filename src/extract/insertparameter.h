#pragma once

// The values of an INSERT that travel beside its statement text: an exact
// restore's blobs and arrays (InsertParameter), and the typed values a
// prepared INSERT binds, one per column it names (InsertValue).

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

// One value of a prepared INSERT, as the decoded bytes give it; the target
// converts it to its column's type as it would the literal of the INSERT
// text.
enum class ValueKind : std::uint8_t {
    Null,
    // text in UTF-8: a text of the code page (sent in the code page, as the
    // statement text would be) or a UTF-8 text (sent as UTF8).
    Text,
    Utf8Text,
    // integer scaled by 10^-scale (SMALLINT, INTEGER, BIGINT, NUMERIC,
    // DECIMAL).
    Integer,
    Float,   // real, single precision
    Double,  // real
    Boolean, // integer 1 or 0
    // The stored forms: integer the day number (DATE), time the time of day
    // in 1/10000 second (TIME), both (TIMESTAMP).
    Date,
    Time,
    Timestamp,
    // The InsertParameter numbered integer (from 0) of the record: a blob or
    // an array created beside the statement.
    Parameter,
};

struct InsertValue {
    ValueKind kind = ValueKind::Null;
    std::int16_t scale = 0;
    std::uint32_t time = 0;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
};

}  // namespace ravelin::extract
