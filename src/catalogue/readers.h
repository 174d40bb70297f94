#pragma once

// The catalogue readers, run by the scan driver over the page lists in list
// order. Each checks the stop request before each record and returns at once
// when it is set, keeping what it appended.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/cataloguecontext.h"
#include "ods/blobstore.h"

namespace ravelin::catalogue {

// Page scan, relation pre-pass and catalogue walk (the scan driver).
void ScanDatabase(CatalogueContext& scan);

// The texts stored in blobs of a catalogue relation (a view's or a computed
// column's source), by the name each id is given for: blanks around them
// trimmed. A text longer than a statement holds, or one damage cut short,
// is left out.
std::map<std::string, std::string> ReadStoredTexts(CatalogueContext& scan, std::uint32_t relationId,
                                                   const std::vector<std::pair<std::string, ods::BlobId>>& sources);

// Relation pre-pass over relation 6: TABLEIDNAME records and tableCount,
// and each view's stored source (model.viewSources).
void ReadRelations(CatalogueContext& scan, const ods::PageListNode& node);

// Relation 5 data pages: columns, view columns, default links, not-null markers.
void ReadRelationFields(CatalogueContext& scan, const ods::PageListNode& node);
// Relation 5 type-12 pages: default texts.
void ReadDefaultTexts(CatalogueContext& scan, const ods::PageListNode& node);

// Relation 2: field definitions applied to the columns, then user domains.
void ReadFieldDefinitions(CatalogueContext& scan, const ods::PageListNode& node);
void ApplyUserDomains(CatalogueContext& scan);

// Relation 3, 4 and 22: index segments, indices, relation constraints.
void ReadIndexSegments(CatalogueContext& scan, const ods::PageListNode& node);
void ReadIndices(CatalogueContext& scan, const ods::PageListNode& node);
void ReadRelationConstraints(CatalogueContext& scan, const ods::PageListNode& node);

// Rebuilds model.columnKeys for one table from the constraints and indices
// (an empty tableName: for every table). Each key goes to the first segment
// of the index that enforces it.
void DeriveColumnKeys(SchemaModel& model, const std::string& tableName);

}  // namespace ravelin::catalogue
