#pragma once

// The record formats of the file's relations (ods/recordformat.h) and what
// the catalogue takes from them: the physical layout every record was
// stored in, and for each column of a table its stored type, length and
// character set as the table's newest format has them.

#include "catalogue/cataloguecontext.h"
#include "catalogue/schemamodel.h"
#include "ods/recordformat.h"

namespace ravelin::catalogue {

// Reads the formats catalogue (relation 8) from the data pages filed under
// node: every current record (no deletion stub, old version, fragment or
// blob) of 16 bytes whose three fields are present gives a relation id, a
// format number and the blob id of the descriptor, which is read from
// relation 8's blob pages. The formats go to model.recordFormats, each
// relation's in increasing number; a format number met twice keeps the
// first, a descriptor that cannot be read or parsed gives no format.
void ReadRecordFormats(CatalogueContext& scan, const ods::PageListNode& node);

// Whether the column's type as the catalogue has it describes the field's
// stored bytes: the same kind of value in the same number of bytes (a
// scaled integer with the same scale). Stored types this reader does not
// know agree with every column.
bool ColumnAgreesWithField(const COLUMN& column, const ods::FormatField& field);

// The column with the type, length, scale, precision and blob sub type of
// the stored field (name, field source, defaults, not-null marker, position
// and field id kept).
COLUMN ColumnOfField(const COLUMN& column, const ods::FormatField& field);

// Completes every table's columns from the table's newest format: each
// column whose field id names a stored field takes the field's character
// set, and the field's type where the catalogue's disagrees with it (a
// field definition lost or misread). Called once the field definitions and
// domains are applied.
void ApplyRecordFormats(SchemaModel& model);

}  // namespace ravelin::catalogue
