#pragma once

// Record formats: how the records of one relation were laid out when they
// were stored. A relation gets a new format whenever its columns change
// (ALTER TABLE); every record keeps the number of the format it was stored
// in (header byte 12), so records older than a change still decode.
//
// The formats catalogue (relation 8) holds one record per relation and
// format number: 4 null-flag bytes, the relation id (16 bits) at 4, the
// format number (16 bits) at 6, and at 8 the blob id of the format's
// descriptor. The descriptor blob holds 16 bytes per field, in field-id
// order, nothing before or after them (the same in ODS 13, 15 and 16):
//
//    0  1 byte   always 0
//    1  1 byte   stored type (the k* codes below)
//    2  1 byte   scale, signed (-2: two digits after the point); the
//                character set of a text blob
//    3  1 byte   precision of an exact number (0 when not declared)
//    4  2 bytes  storage length (VARCHAR: the text bytes plus the 2-byte length word)
//    6  2 bytes  sub type: the character set id (low byte) and collation of a
//                text; the blob sub type; 1 NUMERIC or 2 DECIMAL for a scaled integer
//    8  2 bytes  flags (0, 0x0100 on the fields of some newest formats, 8 in
//                system relations: not needed for reading)
//   10  2 bytes  always 0
//   12  4 bytes  offset of the field in the decompressed record
//
// A dropped field keeps its place as 16 zero bytes (its field id is not
// given to another column). A computed field has offset 0: it takes no bytes
// in the record and its null flag is always set.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ravelin::ods {

// Stored types of a format's fields.
inline constexpr std::uint8_t kStoredNone = 0;  // a dropped field
inline constexpr std::uint8_t kStoredText = 1;
inline constexpr std::uint8_t kStoredVarying = 3;
inline constexpr std::uint8_t kStoredShort = 8;
inline constexpr std::uint8_t kStoredLong = 9;
inline constexpr std::uint8_t kStoredFloat = 11;
inline constexpr std::uint8_t kStoredDouble = 12;
inline constexpr std::uint8_t kStoredDate = 14;
inline constexpr std::uint8_t kStoredTime = 15;
inline constexpr std::uint8_t kStoredTimestamp = 16;
inline constexpr std::uint8_t kStoredBlob = 17;
inline constexpr std::uint8_t kStoredArray = 18;
inline constexpr std::uint8_t kStoredInt64 = 19;

inline constexpr std::size_t kFormatFieldSize = 16;

struct FormatField {
    std::uint8_t type = kStoredNone;
    std::int8_t scale = 0;
    std::uint8_t precision = 0;
    std::uint16_t length = 0;
    std::uint16_t subType = 0;
    std::uint16_t flags = 0;
    std::uint32_t offset = 0;

    bool dropped() const { return type == kStoredNone; }
    // The character set of a text field (CHAR or VARCHAR); 0 otherwise.
    std::uint8_t characterSet() const;
};

struct RecordFormat {
    std::uint32_t relationId = 0;
    std::uint16_t number = 0;
    std::vector<FormatField> fields;  // by field id

    // Bytes of the null-flag area: one bit per field, 4 * ceil(n / 32).
    std::size_t NullFlagBytes() const;
    // Whether the field takes bytes in the record: not dropped, and placed
    // after the null flags with room for its length inside a record.
    bool Stored(const FormatField& field) const;
    // Bytes of a whole decompressed record: the end of the last stored field.
    std::size_t RecordLength() const;
};

// Where a decompressed record of the format holds bytes that a sound record
// keeps zero: bytes between the stored fields (alignment) and the bytes of a
// field whose null flag is set. Records the server wrote keep every one of
// them zero, so a byte set there is damage. (The unused tail of a VARCHAR
// is not among them: an update in place leaves old bytes there; nor are
// the null-flag bits past the last field, which the server sets.) Yields the first such
// offset, or nullopt when there is none. data shorter than the format's
// length is checked as far as it goes.
std::optional<std::size_t> FindStraySlackByte(const RecordFormat& format, std::span<const std::byte> data);

// The same, with the format's places worked out once for all its records.
class SlackCheck {
public:
    explicit SlackCheck(const RecordFormat& format);
    std::optional<std::size_t> FindStrayByte(std::span<const std::byte> data) const;

private:
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    struct FieldSpan {
        std::size_t id = 0;
        Span bytes;
    };
    std::size_t flagBytes_ = 0;
    std::vector<Span> gaps_;         // bytes no stored field holds, after the null flags
    std::vector<FieldSpan> fields_;  // the stored fields
};

// The fields of a descriptor blob; nullopt when its length is not a whole
// number of 16-byte fields, or a field names an offset or length no record
// can hold (a damaged descriptor).
std::optional<std::vector<FormatField>> ParseFormatDescriptor(std::span<const std::byte> bytes);

// Character sets by id, as the files of these servers number them.
// Bytes one character takes (1 for every single-byte set and for ids not
// known here).
unsigned BytesPerCharacter(std::uint8_t characterSet);
// Texts of these sets are stored as UTF-8 (UTF8 and UNICODE_FSS).
bool IsUtf8CharacterSet(std::uint8_t characterSet);
// The set's name as a CHARACTER SET clause writes it, for the ids that both
// this family of servers and the target engine give the same set (and for
// UTF8 under both of its ids); empty for any other id.
std::string_view CharacterSetName(std::uint8_t characterSet);

inline constexpr std::uint8_t kCharsetNone = 0;
inline constexpr std::uint8_t kCharsetUnicodeFss = 3;
inline constexpr std::uint8_t kCharsetUtf8 = 59;

}  // namespace ravelin::ods
