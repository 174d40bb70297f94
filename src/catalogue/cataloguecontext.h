#pragma once

// What the catalogue readers work with during a scan.

#include <cstdint>

#include "catalogue/schemamodel.h"
#include "job/frame.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::catalogue {

struct CatalogueContext {
    ods::ReadingContext& context;
    ods::PageList& pageLists;
    SchemaModel& model;
    job::WorkerLink& link;
    std::uint16_t& tableCount;  // user tables met by the relation pre-pass
};

}  // namespace ravelin::catalogue
