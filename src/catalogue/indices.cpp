#include "catalogue/readers.h"

namespace ravelin::catalogue {

void ReadIndexSegments(CatalogueContext&, const ods::PageListNode&) {}
void ReadIndices(CatalogueContext&, const ods::PageListNode&) {}
void ReadRelationConstraints(CatalogueContext&, const ods::PageListNode&) {}
void DeriveColumnKeys(SchemaModel&, const std::string&) {}

}  // namespace ravelin::catalogue
