#pragma once

// The catalogues of the database's code: triggers (relation 12), stored
// procedures (26), their parameters (27) and exceptions (30). The triggers
// catalogue gives each user trigger's name, table, firing and stored source
// text; a CHECK constraint is kept there as well, as the triggers that
// enforce it (source "CHECK (...)").
//
// Decompressed, a trigger record holds its null-flag bytes (4), the trigger
// name at 4 and the relation name at 71 (67 bytes each), the sequence at
// 138 and the type at 140 (16-bit), the source's blob id at 144 (field 4),
// the BLR's at 152, the description's at 160, then the inactive flag at 168
// and the system flag at 170 (16-bit).

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "catalogue/cataloguecontext.h"
#include "ods/blobstore.h"
#include "ods/recordimage.h"

namespace ravelin::catalogue {

struct TriggerRecord {
    std::string name;          // blanks trimmed
    std::string relationName;  // blanks trimmed
    std::uint16_t sequence = 0;
    std::uint16_t type = 0;
    bool inactive = false;
    bool system = false;
    std::optional<ods::BlobId> source;  // a blob of the triggers catalogue
};

// From a trigger record's runs (a whole current version); nullopt when they
// expand to fewer than 174 bytes or name no trigger and no table.
std::optional<TriggerRecord> ReadTriggerRecord(std::span<const std::byte> runs, ods::RecordImage& image);

// Relation 12 data pages: every user trigger into model.triggers, with its
// source text where it could be read.
void ReadTriggers(CatalogueContext& scan, const ods::PageListNode& node);

// Relation 26 data pages: every stored procedure into model.procedures with
// its source. Decompressed, a procedure record holds the name at 4 and its
// source's blob id at 88 (field 5); the records are 250 bytes in ODS 15.
void ReadProcedures(CatalogueContext& scan, const ods::PageListNode& node);

// Relation 27 data pages: every procedure parameter into
// model.procedureParameters. Decompressed: the parameter name at 4, the
// procedure name at 71, the number at 138 and the type at 140 (1: output),
// the field source at 142; 222 bytes in ODS 15.
void ReadProcedureParameters(CatalogueContext& scan, const ods::PageListNode& node);

// Relation 30 data pages: every user exception into model.exceptions.
// Decompressed: the name at 4, the message at 76 (a 16-bit length, then up
// to 78 bytes of text), the system flag at 164; 166 bytes in ODS 15.
void ReadExceptions(CatalogueContext& scan, const ods::PageListNode& node);

}  // namespace ravelin::catalogue
