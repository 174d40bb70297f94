#pragma once

// The bounds of array fields, from the field-dimensions catalogue
// (relation 21): one record per dimension of each array field.

#include "catalogue/cataloguecontext.h"

namespace ravelin::catalogue {

// Reads the field-dimensions records filed under node into
// model.fieldBounds: every whole current record of 84 bytes (null flags,
// the field name in 67 bytes, the dimension number as a 16-bit word at 72,
// the lower and upper bounds as 32-bit words at 76 and 80) whose name,
// dimension and bounds are present and whose upper bound is not below its
// lower. A field keeps its bounds only when its dimensions run 0, 1, …
// without a gap; a dimension met twice keeps the first.
void ReadFieldDimensions(CatalogueContext& scan, const ods::PageListNode& node);

}  // namespace ravelin::catalogue
