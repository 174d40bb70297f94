#pragma once

// The one engine object: the reading context, the page lists, the schema
// model and the state of the extraction and the writer. Reset, never
// recreated, between jobs. Used by the recovery worker; the windows read it
// only in message handlers or while no worker runs.

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "catalogue/schemamodel.h"
#include "job/repairoutcome.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"
#include "ods/transactions.h"

namespace ravelin::job {

struct RecoveryEngine {
    ods::ReadingContext context;
    ods::PageList pageLists;
    catalogue::SchemaModel model;
    // The file's transaction inventory: read when a record walk first needs
    // it, forgotten with the scan.
    std::optional<ods::TransactionInventory> transactions;

    // Flags the worker reads or writes.
    bool fileInUse = false;
    bool invalidFile = false;
    bool repairSucceeded = false;
    bool saveLogEnabled = false;
    bool clearLogEnabled = false;
    std::atomic<bool> skipCounting{false};
    // The message dialog's close-confirmation and connection-failed cases.
    bool closeConfirmation = false;
    bool connectionFailed = false;

    // Counters of the scan and repair summaries.
    std::uint16_t tableCount = 0;
    std::uint16_t viewCount = 0;
    std::uint16_t indexCount = 0;
    // What the last repair gave the target's indices: the indices of the
    // PRIMARY KEY and UNIQUE constraints of the tables it created, and the
    // CREATE INDEX statements written to the side file only.
    std::uint32_t indicesCreated = 0;
    std::uint32_t indexStatementsInSideFile = 0;

    // Record walk and transfer state of the table being previewed, counted or
    // copied; emptied with the rest of the per-scan state.
    std::vector<std::uint8_t> nullFlags;          // one per column: 1 value, 0 NULL
    std::vector<std::uint32_t> dataPageNumbers;   // the table's data pages
    std::vector<catalogue::RECORDPOSCOUNT> previewPositions;  // entry k: where preview page k starts
    std::uint64_t previewPage = 0;                // preview page to show, 0 = first
    std::uint32_t previewPageRows = 100;          // records per preview page
    std::uint32_t currentDataPage = 0;            // index into dataPageNumbers
    std::uint16_t slotsLeft = 0;                  // record slots of the current data page not yet visited
    std::uint32_t recordsPresent = 0;             // records of the table an INSERT was tried for
    std::uint32_t recordsRecovered = 0;           // records whose INSERT succeeded
    std::uint32_t recordsDamaged = 0;             // damaged records of the table, not inserted
    std::uint32_t recordsSetAside = 0;            // of those, the records kept in the set-aside file
    // Blob values met in the table (32 bits: the blob files are numbered
    // by it, and a table may hold more than 65535 of them).
    std::uint32_t blobFileCount = 0;
    // An exact restore: blob values whose blob was not found in the file
    // (the column receives NULL) or was read only in part (it receives
    // what was read).
    std::uint32_t blobsNotFound = 0;
    std::uint32_t blobsPartial = 0;
    // Array values met in the table (non-empty array ids), and those whose
    // elements did not go with their record (NULL written): every one in a
    // salvage repair, which has no array columns; in an exact restore those
    // whose elements could not be read whole.
    std::uint32_t arrayCount = 0;
    std::uint32_t arraysNotCopied = 0;

    // What the current (or last) repair left undone; emptied as a repair
    // starts. Every selected table the target did not create, and the
    // figures of every table whose records were copied to the end.
    std::vector<RepairedTable> repairedTables;
    // Records the target took but could not commit.
    std::uint64_t recordsLostAtCommit = 0;
};

}  // namespace ravelin::job
