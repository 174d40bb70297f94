#include "catalogue/readers.h"

namespace ravelin::catalogue {

void ReadFieldDefinitions(CatalogueContext&, const ods::PageListNode&) {}
void ApplyUserDomains(CatalogueContext&) {}

}  // namespace ravelin::catalogue
