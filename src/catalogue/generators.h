#pragma once

// Generators (sequences): their names and ids from the generators catalogue
// (relation 20) and their current values from the generator pages (type 9),
// so that a restored database can go on numbering where the damaged one
// stopped.

#include <cstdint>
#include <optional>

#include "catalogue/cataloguecontext.h"
#include "catalogue/schemamodel.h"

namespace ravelin::catalogue {

// Reads the generators catalogue from the data pages filed under node:
// every whole current record of 76 bytes (null flags, the name in 67
// bytes, the id and the system flag as 16-bit words at 72 and 74) whose
// name and id are present gives a GENERATOR. A name met twice keeps the
// first.
void ReadGenerators(CatalogueContext& scan, const ods::PageListNode& node);

// Reads the values of the generator pages filed under node into
// model.generatorValues by generator id. A page whose sequence an earlier
// page already gave is passed over.
void ReadGeneratorValues(CatalogueContext& scan, const ods::PageListNode& node);

// The value of the generator with this id; nullopt when no generator page
// holds it.
std::optional<std::int64_t> GeneratorValue(const SchemaModel& model, std::uint16_t id);

}  // namespace ravelin::catalogue
