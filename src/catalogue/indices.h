#pragma once

// Record walks of the index-segment (relation 3), index (relation 4) and
// relation-constraint (relation 22) catalogues. The scan's entry points that
// run them over the page lists are in catalogue/readers.h.

#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/schemamodel.h"
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

// Walks one relation-constraint record. Yields nothing for a constraint that
// no index enforces (its record starts with 0xE0: NOT NULL and CHECK) and for
// records without the expected filler runs.
std::optional<KEYSCONTRAINTS> ParseRelationConstraint(ods::RecordStream& data);

}  // namespace ravelin::catalogue
