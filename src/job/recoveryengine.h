#pragma once

// The one engine object: the reading context, the page lists, the schema
// model and the state of the extraction and the writer. Reset, never
// recreated, between jobs. Used by the recovery worker; the windows read it
// only in message handlers or while no worker runs.

#include <atomic>
#include <cstdint>

#include "catalogue/schemamodel.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::job {

struct RecoveryEngine {
    ods::ReadingContext context;
    ods::PageList pageLists;
    catalogue::SchemaModel model;

    // Flags the worker reads or writes.
    bool fileInUse = false;
    bool invalidFile = false;
    bool repairSucceeded = false;
    bool saveLogEnabled = false;
    bool clearLogEnabled = false;
    std::atomic<bool> skipCounting{false};

    // Counters of the scan and repair summaries.
    std::uint16_t tableCount = 0;
    std::uint16_t viewCount = 0;
    std::uint16_t indexCount = 0;
};

}  // namespace ravelin::job
