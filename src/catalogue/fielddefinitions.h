#pragma once

// The field-definition catalogue (relation 2): one record per field source,
// the implicit "RDB$..." definitions behind plain columns and the user
// domains. Its reader gives every column the type of its field source; the
// entry points of the scan are in catalogue/readers.h.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "catalogue/schemamodel.h"
#include "ods/blobstore.h"
#include "ods/recordimage.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue {

// One accepted field definition, its type already mapped.
struct FieldDefinition {
    std::string name;
    bool userDomain = false;  // the name does not begin with "RDB$"
    std::uint8_t typeCode = 0;
    std::uint16_t length = 0;
    std::string typeName;
    std::uint16_t precision = 0;
    std::uint16_t scale = 0;  // decimal places, positive
    std::uint8_t blobSegmentByte = 0;
    std::string blobSubTypeName;
    std::uint16_t dimensions = 0;  // an array's dimension count; 0 otherwise
};

// Type byte -> type code, stored length and SQL type word. Fixed-size types
// get their own length; NUMERIC, DECIMAL, CHAR, VARCHAR and unknown bytes keep
// length. Unknown bytes keep the byte as code and get no type word.
struct MappedType {
    std::uint8_t typeCode = 0;
    std::uint16_t length = 0;
    const char* typeName = "";
};
MappedType MapTypeByte(std::uint8_t typeByte, std::uint16_t length);

// Name of a blob sub-type (0 "DEFAULT" .. 9 "UNKNOWN"); empty for others.
std::string BlobSubTypeName(std::uint8_t subType);

// Walks the runs of one field-definition record (data: the record's runs,
// cursor at its first control byte). Yields nothing when the record does
// not show the shape of a field definition. Never reads outside data.
std::optional<FieldDefinition> ParseFieldDefinition(ods::RecordStream& data);

// The fixed fields of a field-definition record that its run walk does not
// give. Decompressed, such a record is 380 bytes with 4 null-flag bytes
// (ODS 13 and 15) or 384 with 8 (ODS 16, every later offset 4 further):
// the name at 4, the computed BLR's blob id at 156 (field 4), the computed
// source's at 164 (field 5), the NOT NULL flag at 370 (field 23).
struct FieldExtras {
    std::string name;  // blanks trimmed
    bool computed = false;                       // it has a computed BLR
    std::optional<ods::BlobId> computedSource;   // a blob of the field-definitions catalogue
    std::optional<ods::BlobId> validationSource;  // a domain's "CHECK (…)", the same catalogue's blob
    std::optional<ods::BlobId> defaultSource;     // a domain's "DEFAULT …", the same catalogue's blob
    bool notNull = false;
};
// From the record's runs (a whole current version); nullopt when they do
// not expand to one of those lengths.
std::optional<FieldExtras> ReadFieldExtras(std::span<const std::byte> runs, ods::RecordImage& image);

// Gives the definition's type, length, precision, scale, blob details and
// dimension count to the first column whose field source equals its name
// exactly, walking the tables in order. A column with an empty field source
// ends the search in its table. At most one column changes. Stops when stop
// is set.
void ApplyFieldDefinition(SchemaModel& model, const FieldDefinition& definition, const std::atomic<bool>& stop);

}  // namespace ravelin::catalogue
