#pragma once

// Where each column of a user table lies in the decompressed data of its
// records. The data starts with the null flags, one bit per column in column
// order (least significant bit first, a set bit means NULL), padded to
// 4 * ceil(n / 32) bytes for n columns. Each column follows at the next offset
// its type's alignment allows, with the storage size of extract/valuedecoder.h:
//
//   CHAR                             1-byte boundary
//   VARCHAR, SMALLINT, BOOLEAN,
//   NUMERIC/DECIMAL on 2 bytes       2-byte boundary
//   INTEGER, FLOAT, DATE, TIME,
//   TIMESTAMP, BLOB, NUMERIC/DECIMAL
//   on 4 bytes, an array column
//   (8-byte array id, any type)      4-byte boundary
//   DOUBLE PRECISION,
//   NUMERIC/DECIMAL on 8 bytes       4-byte boundary in the files of the
//                                    servers this reader knows (measured);
//                                    8 in files written by 64-bit servers
//
// Columns come in the table's stored order (the order of their field ids).
// A column the server computes (COMPUTED BY) keeps its null flag, always
// set, but has no bytes in the record; nothing in the column records says
// so, which is why InferRecordLayout looks at the table's records.
//
// Where the file still holds the table's record formats, every record is
// laid out by the format it names instead (FormatRecordLayout): records
// stored before an ALTER TABLE keep their old places, dropped fields keep
// their slot, and the inferred layout is only the fallback.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "catalogue/schemamodel.h"
#include "ods/recordformat.h"

namespace ravelin::extract {

struct ColumnPlace {
    std::size_t offset = 0;  // first byte of the column in the decompressed data
    std::size_t size = 0;    // bytes it occupies; 0 for a column not stored
    bool stored = true;      // false: a computed column, or one of no known width
    std::size_t nullBit = 0; // its bit in the null flags: the field id in a record format
    // The record's format has no field for the column (it was added after
    // the record was stored): the column reads NULL, as the server shows it.
    bool absent = false;
    // The type the record's format stores the column in, when it is not the
    // column's own (the column's type changed since): the bytes decode as this.
    std::optional<catalogue::COLUMN> storedType;
};

struct RecordLayout {
    std::size_t flagBytes = 0;          // bytes of the null flag area
    std::vector<ColumnPlace> columns;   // one per column, in column order
    std::size_t length = 0;             // bytes of the whole decompressed record
};

// Bytes of the null flag area of a record of columnCount columns.
std::size_t NullFlagBytes(std::size_t columnCount);

// Whether the null flag bit (a column's ColumnPlace::nullBit) is set in the
// decompressed data, or the data ends before the flag byte.
bool ColumnIsNull(std::span<const std::byte> data, std::size_t bit);

struct LayoutOptions {
    // Boundary of DOUBLE PRECISION and 8-byte NUMERIC/DECIMAL values: 4 or 8.
    std::size_t eightByteAlignment = 4;
    // Columns to lay out without bytes (computed columns); indices into the
    // column list. May be empty.
    std::vector<bool> notStored;
};

// The layout of records holding every column of columns (none computed).
RecordLayout ComputeRecordLayout(std::span<const catalogue::COLUMN> columns, const LayoutOptions& options = {});

// The layout that agrees with the table's records. samples are decompressed
// records of the table (expanded without a limit): the length most of them
// share is the length of the table's record format. When the plain layout
// has that length it is the answer; otherwise the first of these that has it:
// 8-byte values on 8-byte boundaries; then, taking the fewest columns first,
// columns whose null flag is set in every sample laid out without bytes (the
// computed columns), with 4- and then 8-byte boundaries. Without samples, or
// when nothing fits (damage), the plain layout.
RecordLayout InferRecordLayout(std::span<const catalogue::COLUMN> columns,
                               std::span<const std::vector<std::byte>> samples);

// Whether every column tells its field id, so records can be laid out by the
// table's stored formats.
bool HasFieldIds(std::span<const catalogue::COLUMN> columns);

// The layout of records stored in format (ods/recordformat.h): each column
// at the offset of the field its field id names, with that field's null
// bit; a column the format has no field for is absent; a computed field is
// not stored; a field stored in another type or character set than the
// column's own carries that type. The length is the format's record length.
RecordLayout FormatRecordLayout(std::span<const catalogue::COLUMN> columns, const ods::RecordFormat& format);

}  // namespace ravelin::extract
