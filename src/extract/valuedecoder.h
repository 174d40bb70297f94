#pragma once

// Field value decoding: one stored field of a user record turned into text,
// either the cell text of the record preview or the value text of the INSERT
// statement that copies the record into the target database.
//
// A decoder gets the bytes of one column as they stand in the decompressed
// record (see extract/recordimage.h), starting at the column's first byte.
// It never reads outside that span: a span shorter than the column's storage
// marks the field damaged. Texts are UTF-8; stored 8-bit text is converted
// through the configured code page (ods/textcodec.h).
//
// Stored forms, all little-endian:
//   NUMERIC, DECIMAL  2, 4 or 8 bytes: two's-complement integer scaled by
//                     10^-scale (COLUMN::scale: digits after the point)
//   BLOB              8 bytes: relation id, then record number
//   SMALLINT 2 bytes, INTEGER 4 bytes: two's complement
//   FLOAT             4 bytes IEEE 754 single, DOUBLE PRECISION 8 bytes double
//   DATE              4 bytes: days from 17 November 1858 (day 0)
//   TIME              4 bytes unsigned: 1/10000 second since midnight
//   TIMESTAMP         8 bytes: DATE day number, then TIME value
//   BOOLEAN           2 bytes: 1 true, 0 false
//   CHAR              declared length: 8-bit text padded with blanks
//   VARCHAR           2-byte text length, then declared length bytes of text
//   array column      8 bytes: the array id (any element type); the elements
//                     are stored apart and are not read
//
// Only the recovery worker thread calls these functions.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "catalogue/schemamodel.h"
#include "extract/insertparameter.h"
#include "ods/blobstore.h"

namespace ravelin::extract {

// Which text a decoder produces: the preview cell, the value written into
// the INSERT statement of a repair, or that of an exact restore, whose
// target columns keep their own types: DATE as YYYY-MM-DD, TIME as
// HH:MM:SS.ffff (fractions of a second kept), TIMESTAMP as both, and a
// BLOB as the parameter marker "?" (its bytes travel beside the
// statement). Everything else is written as in a repair.
enum class OutputMode { Preview, Repair, Exact };

// A stored blob id: the relation whose blob it is and the blob's number.
using ods::BlobId;

struct DecodeOptions {
    OutputMode mode = OutputMode::Preview;
    // The relation id of the table being walked; a blob id naming another
    // relation gives no text.
    std::uint32_t relationId = 0;
    // Repair and exact modes: the text a BLOB column receives for a blob id
    // of this table (the path of the blob's file; "?" in an exact restore).
    // Called once per such value, in record order. Without it the value is
    // empty.
    std::function<std::string(const BlobId&)> blobPath;
    // Repair and exact modes: called once per non-empty array id of this
    // table, in record order. An exact restore's value is the parameter
    // marker it yields, or NULL when it yields nothing; a repair writes
    // NULL whatever it yields.
    std::function<std::string(const BlobId&)> arrayValue;
};

// One decoded field.
struct FieldValue {
    // The preview cell text, or in repair mode the INSERT value text before
    // quoting and escaping (see InsertValueText).
    std::string text;
    // The INSERT receives the bare keyword NULL: the record's null flag is set
    // for the column, or the stored value is one the target cannot hold (an
    // infinite or NaN number). text still describes the stored value.
    bool nullLiteral = false;
    // The stored bytes are no value the server writes (too few bytes for the
    // column, a VARCHAR length beyond its declared length, a date outside
    // the years 1 to 9999, a time of day past 23:59:59, a UTF8 text that is
    // not well-formed UTF-8, a column of length or type 0): the record is
    // damaged (extract/tabletransfer.h) and text is not to be shown.
    bool damaged = false;
    // A NUMERIC or DECIMAL column wider than 8 bytes: its first 8 bytes were
    // decoded; the walk shows NumericProblemText once.
    bool numericTooWide = false;
    // A text of a UTF8 or UNICODE_FSS column: the INSERT introduces its
    // literal with _UTF8 so that it reaches the target as UTF-8.
    bool utf8 = false;
    // An exact restore's blob or array value whose bytes travel beside the
    // statement: text is the bare parameter marker.
    bool parameter = false;
};

// The field of a column whose null flag is set: text "NULL", written bare.
FieldValue NullFieldValue();

// Bytes the column occupies in the decompressed record: the type's width,
// the declared length for CHAR, NUMERIC and DECIMAL, the declared length plus
// the 2-byte length word for VARCHAR, 8 for an array column of any type; 0
// for an unknown type code.
std::size_t FieldStorageSize(const catalogue::COLUMN& column);

// Decodes the column's bytes; field starts at the column's first byte and
// holds FieldStorageSize(column) bytes, or fewer when the record ends early.
// A field whose bytes are all zero gives the zero text of its type: "0" for
// the numeric types, "False" for BOOLEAN, " " for CHAR (and for VARCHAR in
// the preview; an empty VARCHAR text in a repair), "" for BLOB; dates and
// times decode as any other value. Unknown type codes give no text.
// An array column shows "Array" ("NULL" for an array id of zero bytes) and
// is always written as NULL (nullLiteral): its elements are not read.
FieldValue DecodeFieldValue(std::span<const std::byte> field, const catalogue::COLUMN& column,
                            const DecodeOptions& options);

// A repair's or exact restore's value as a prepared INSERT binds it, with
// the flags DecodeFieldValue gives (damaged, nullLiteral, numericTooWide,
// utf8); bound receives the value. The numbers are bound from their stored
// bytes (Integer with the column's scale for NUMERIC, DECIMAL and BIGINT,
// Float, Double, Boolean), as are an exact restore's DATE, TIME and
// TIMESTAMP; their text is not made. Every other value is bound as the text
// the INSERT statement would hold (Text or Utf8Text: CHAR, VARCHAR, the
// salvage repair's dates and times and blob paths), and a blob or array
// parameter as Parameter (numbered by the caller). Where the statement text
// holds the keyword NULL, bound is Null. A column of a type no decoder reads
// is bound as Null. Same bytes, same values as the INSERT text.
FieldValue DecodeInsertValue(std::span<const std::byte> field, const catalogue::COLUMN& column,
                             const DecodeOptions& options, InsertValue& bound);

// SMALLINT and INTEGER: the n = bytes.size() bytes assembled little-endian,
// negative when bit 7 of the last byte is set, as decimal digits with a
// leading "-" for negative values. FF FF gives -1, 85 FF FF FF gives -123,
// 39 30 gives 12345. n must be 1 to 2 for SMALLINT and 1 to 4 for INTEGER;
// other sizes and type codes give "".
std::string FormatIntegerBytes(std::span<const std::byte> bytes, std::uint8_t typeCode);

// NUMERIC and DECIMAL: the scaled integer value with scale digits after the
// point. At least scale digits are written (left-padded with zeros) and the
// integer part is left out when it is 0: 12345 with scale 2 gives 123.45, 5
// gives .05, -5 gives -.05, 0 with scale 3 gives .000.
std::string FormatScaledInteger(std::int64_t value, std::uint16_t scale);

// The date dayNumber days after 17 November 1858 (proleptic Gregorian) as
// month/day/year, month and day two digits. The preview writes the year as
// it is; the repair writes at least four digits, because the server reads a
// one- or two-digit year as one of the current century. Years outside
// 1..9999 are written as they are (see DayNumberInTargetRange). 15018 gives
// 12/30/1899, 53071 gives 03/07/2004.
std::string FormatCalendarDate(std::int64_t dayNumber, OutputMode mode);

// The date dayNumber days after 17 November 1858 as the exact restore
// writes it: YYYY-MM-DD, the year with four digits. 15018 gives 1899-12-30.
std::string FormatIsoDate(std::int64_t dayNumber);

// A TIME value below 24 hours as HH:MM:SS.ffff (ten-thousandths of a second
// kept): 453000001 gives 12:35:00.0001. Empty from 24 hours on.
std::string FormatIsoTime(std::uint32_t time);

// Whether the year of dayNumber lies in 1..9999, the range the target holds.
bool DayNumberInTargetRange(std::int64_t dayNumber);

// A TIME value (1/10000 second since midnight; fractions of a second are
// dropped) as a time of day. Seconds and minutes always have two digits, the
// hour none to spare. Preview: 12-hour clock with " AM"/" PM" (0 is 12 AM, 12
// is 12 PM); the hour is the value's whole hours modulo 60, an hour of 24
// shows as 12 PM and one above 24 gives an empty text.
// Repair: 24-hour clock without suffix, so that an afternoon time keeps its
// half of the day; a value of 24 hours or more gives an empty text.
std::string FormatClockTime(std::uint32_t time, OutputMode mode);

// DOUBLE PRECISION: the shortest text that reads back as the same double;
// fixed notation unless that takes more than 18 digits (the server reads
// longer digit strings as out-of-range exact numbers), then the shortest
// scientific form. 8.5 gives 8.5, 123456.75 gives 123456.75, 1e22 gives
// 1e+22. Infinities and NaN give "Infinity", "-Infinity", "NaN".
std::string FormatDoubleText(double value);

// FLOAT: "%f" (six decimals, 1.5 gives 1.500000) when that text reads back as
// the same single-precision value and has at most 18 digits; otherwise the
// shortest text that does, as for DOUBLE PRECISION (1e-07).
std::string FormatFloatText(float value);

// Makes a text safe inside a single-quoted SQL string literal: every
// apostrophe is doubled; zero characters, which would end the statement
// early, are removed. Every other character, double quotes included, stays
// as it is. O'Brien gives O''Brien.
std::string EscapeSqlText(std::string_view text);

// The value as it goes into the VALUES list of an INSERT statement: NULL when
// value.nullLiteral is set; the bare marker of a parameter; otherwise the
// escaped text, in single quotes for
// CHAR, VARCHAR, BLOB, DATE, TIME and TIMESTAMP (preceded by _UTF8 for a
// UTF-8 text, value.utf8) and bare for the other types.
// A stored text that reads "NULL" is a text like any other ('NULL').
std::string InsertValueText(std::uint8_t typeCode, const FieldValue& value);

// EscapeSqlText and InsertValueText, appended to out.
void AppendEscapedSqlText(std::string& out, std::string_view text);
void AppendInsertValueText(std::string& out, std::uint8_t typeCode, const FieldValue& value);

// The message shown once for a NUMERIC or DECIMAL column wider than 8 bytes.
std::string NumericProblemText(std::uint8_t typeCode);

}  // namespace ravelin::extract
