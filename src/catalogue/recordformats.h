#pragma once

// The record formats of the file's relations (ods/recordformat.h) and what
// the catalogue takes from them: the physical layout every record was
// stored in, and for each column of a table its stored type, length and
// character set as the table's newest format has them.

#include <cstdint>
#include <string>

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

// Log texts of what RebuildFromRecordFormats rebuilt.
inline constexpr const char* kTableRebuiltText = "Table rebuilt from its record format: ";
inline constexpr const char* kColumnsRebuiltText = "Columns rebuilt from the record format in ";
inline constexpr const char* kRelationFoundText = "Relation id found by its record format for ";

// The name of a column whose column record was lost: COLUMN_<field id>.
std::string RebuiltColumnName(std::uint16_t fieldId);
// The name of a table whose relation record was lost: TABLE_<relation id>.
std::string RebuiltTableName(std::uint32_t relationId);

// Rebuilds from the record formats what the catalogue pages lost, for user
// tables (relation id 128 or more) that have a record format:
// - a table whose relation record survives but none of whose column
//   records do gets a column for every stored field of its newest format;
// - a table some of whose column records were lost (every surviving one
//   carrying a field id) gets a column for each stored field of its newest
//   format that no column names;
// - a table whose column records survive but whose relation record was lost
//   (relation id 0) takes the relation id of the one table with data pages
//   and no relation record whose newest format its columns match exactly;
// - a relation with data or pointer pages and a format but neither a
//   relation record nor a table becomes table TABLE_<relation id>.
// Rebuilt columns are typed from the format and named COLUMN_<field id>;
// fields of a type this reader cannot declare are left out. The columns of
// a table stay in field-id order. Every rebuild is logged through
// scan.link, and a rebuilt table counts in scan.tableCount. Run once the
// formats are applied (ApplyRecordFormats).
void RebuildFromRecordFormats(CatalogueContext& scan);

}  // namespace ravelin::catalogue
