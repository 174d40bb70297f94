#include "catalogue/readers.h"

namespace ravelin::catalogue {

void ScanDatabase(CatalogueContext&) {}
void ReadRelations(CatalogueContext&, const ods::PageListNode&) {}

}  // namespace ravelin::catalogue
