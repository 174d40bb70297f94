#pragma once

// Record walks of the index-segment (relation 3), index (relation 4) and
// relation-constraint (relation 22) catalogues. The scan's entry points that
// run them over the page lists are in catalogue/readers.h.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "catalogue/schemamodel.h"
#include "ods/recordimage.h"
#include "ods/recordstream.h"

namespace ravelin::catalogue {

// One index-segment record: an index name, one of its columns and, when the
// record shows it, the column's place in the index (0 first).
struct IndexSegmentRecord {
    std::string indexName;
    std::string columnName;
    std::optional<std::uint16_t> position;
};

// Walks one index-segment record (data: its runs, cursor at the first
// control byte). A record without the expected index-name run yields empty
// names. Names have their blanks replaced by "_".
IndexSegmentRecord ParseIndexSegment(ods::RecordStream& data);

// One index record: the index, its relation and, for a foreign-key index,
// the index it refers to.
struct IndexRecord {
    std::string indexName;
    std::string relationName;
    std::string foreignKey;
};

// Walks one index record. Where a filler test fails, the names not yet read
// stay empty.
IndexRecord ParseIndex(ods::RecordStream& data);

// The fixed fields of an index record, decompressed (254 bytes in the files
// of ODS 13, 15 and 16): null flags at 0, the index name at 4, the unique
// flag at 140, the inactive flag at 154, the index type at 156 (1:
// descending), each 16-bit; a field whose null bit is set reads 0.
struct IndexAttributes {
    std::string indexName;  // blanks trimmed
    bool unique = false;
    bool descending = false;
    bool inactive = false;
};
// From the record's runs (a whole current version); nullopt when they do
// not expand to exactly that length.
std::optional<IndexAttributes> ReadIndexAttributes(std::span<const std::byte> runs, ods::RecordImage& image);

// Walks one relation-constraint record. Yields nothing for a constraint that
// no index enforces (its record starts with 0xE0: NOT NULL and CHECK) and for
// records without the expected filler runs.
std::optional<KEYSCONTRAINTS> ParseRelationConstraint(ods::RecordStream& data);

}  // namespace ravelin::catalogue
