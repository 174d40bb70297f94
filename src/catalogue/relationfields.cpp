#include "catalogue/readers.h"

namespace ravelin::catalogue {

void ReadRelationFields(CatalogueContext&, const ods::PageListNode&) {}
void ReadDefaultTexts(CatalogueContext&, const ods::PageListNode&) {}

}  // namespace ravelin::catalogue
