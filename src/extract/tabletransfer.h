#pragma once

// Table data transfer: walks the records of one user table straight from the
// file and either shows them in the record grid, 100 records per preview
// page (state.previewRequested), or copies each into the target database
// with one INSERT statement (state.repairing).
//
// The walk: the table's data pages (extract/tablepages.h), then per page its
// record slots; the current version of each record (DataPageReader) is
// decompressed and its columns, in the table's stored order, decoded by
// DecodeFieldValue at the places the layout of the record's own format gives
// (extract/recordlayout.h). Old versions, deletion stubs and fragments are
// no rows; a record whose current version cannot be read is a damaged row.
// So is a record whose bytes do not fit its format (its runs do not end
// exactly at the format's length, or bytes the server keeps zero are set:
// ods::SlackCheck) or that holds a value the decoders reject: the preview shows its readable cells and marks the row (the
// row's last cell comes with recordDamaged set); a repair does not insert
// it but hands its readable cells to TransferHooks::damaged, and counts it
// among the records present, not among those recovered.
//
// Messages (all sent through job.link, on the recovery worker thread):
//   UM_PROGRESS      1 at the start of a walk (upper bound: the number of data
//                    pages when 100 or more, else 10 times it), 2 after every
//                    column and, in a repair, after every record, 3 when a
//                    preview page or a repaired table ends
//   UM_GRID_CELL     one per column: state.valueText is the cell text (empty
//                    where the value cannot be read); state.recordDamaged is
//                    set with the last cell of a damaged record
//   UM_PAGING_STATE  (1, 0) before the first record of a further page;
//                    (0, 0) a first page with more to follow, (0, 1) a middle
//                    page, (1, 1) the end of the table's data
//   UM_LOG_LINE      the summary of a repaired table

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/schemamodel.h"
#include "extract/insertparameter.h"
#include "extract/valuedecoder.h"
#include "job/jobsteps.h"

namespace ravelin::extract {

// Records per preview page (engine.previewPageRows starts at it; a front
// end that streams a whole table may take more per page).
inline constexpr std::uint32_t kPreviewPageRows = 100;

// Log texts of a repaired table's summary.
inline constexpr const char* kTableRecoveredText = "Table Recovered : ";
inline constexpr const char* kRecordsPresentText = "Total Records Present   : ";
inline constexpr const char* kRecordsRecoveredText = "Total Records Recovered : ";
inline constexpr const char* kBlobsRecoveredText = "Total Blob Recovered : ";
inline constexpr const char* kRecordsSetAsideText = "Damaged records set aside : ";
// An exact restore's blob values that did not reach the target whole.
inline constexpr const char* kBlobsNotFoundText = "Blobs not found (NULL written) : ";
inline constexpr const char* kBlobsPartialText = "Blobs read in part : ";
inline constexpr const char* kArraysCopiedText = "Arrays copied : ";
inline constexpr const char* kArraysNotCopiedLogText = "Arrays not copied (NULL written) : ";

// The target side of a repair's INSERT statements (the target connection).
class StatementSink {
public:
    virtual ~StatementSink() = default;
    // Executes one INSERT statement, UTF-8 text, in a transaction of its own
    // that is committed whatever the outcome; yields whether the server
    // accepted it.
    virtual bool ExecuteInsert(const std::string& sqlUtf8) = 0;
    // An exact restore's INSERT whose blob and array values are
    // parameters: the statement holds one "?" per parameter, in order.
    // Without parameters, as ExecuteInsert; a sink that takes no parameters
    // refuses the others.
    virtual bool ExecuteInsert(const std::string& sqlUtf8, std::span<const InsertParameter> parameters)
    {
        return parameters.empty() && ExecuteInsert(sqlUtf8);
    }
    // A prepared INSERT for the table's records: sqlUtf8 is the statement
    // with one "?" per value. Yields whether the records' values are to come
    // through ExecutePrepared (a sink that takes statement texts only, or a
    // target that cannot prepare it, says no: the texts come then).
    virtual bool PrepareInsert(const std::string& sqlUtf8)
    {
        (void)sqlUtf8;
        return false;
    }
    // One record through the prepared INSERT: one value per "?", in order;
    // a Parameter value names its entry of parameters. Yields whether the
    // target took it; commits as ExecuteInsert does.
    virtual bool ExecutePrepared(std::span<const InsertValue> values, std::span<const InsertParameter> parameters)
    {
        (void)values;
        (void)parameters;
        return false;
    }
};

// Blob values of a table that did not arrive whole.
struct BlobShortfall {
    std::uint32_t lost = 0;     // not found in the file, or not written
    std::uint32_t partial = 0;  // read only in part (damage cut them short)
};

// The blob half of a repair: the value a BLOB column receives and the pass
// that writes the table's blobs to files.
class BlobHandler {
public:
    virtual ~BlobHandler() = default;
    // The text of the valueNumber-th blob value of the table (1 for the
    // first, counting BLOB fields in record order; engine.blobFileCount).
    virtual std::string BlobValuePath(const catalogue::TableNode& table, std::uint32_t valueNumber,
                                      const BlobId& id) = 0;
    // Writes the table's blobs; called at the end of a repaired table that
    // had blob values, before its summary lines (not in an exact restore).
    virtual BlobShortfall ExtractTableBlobs(job::JobContext& job, const catalogue::TableNode& table) = 0;
    // An exact restore: reads the blob id names, in table, whole into bytes
    // (emptied first). Yields Complete or Partial (what was read is in
    // bytes) or why nothing was read.
    virtual ods::BlobReadStatus ReadBlobValue(const catalogue::TableNode& table, const BlobId& id,
                                              std::vector<std::byte>& bytes)
    {
        (void)table;
        (void)id;
        bytes.clear();
        return ods::BlobReadStatus::Missing;
    }
    // An exact restore, before the table's first ReadBlobValue: every blob
    // and array id of this table its records store, in record order.
    virtual void FitBlobNumbering(const catalogue::TableNode& table, std::span<const BlobId> ids)
    {
        (void)table;
        (void)ids;
    }
};

// Where a repair puts the records it does not insert because they are
// damaged.
class DamagedRecordSink {
public:
    virtual ~DamagedRecordSink() = default;
    // Keeps the record of table at data page page, slot slot: cells holds
    // one text per column, empty where the value is NULL or unreadable.
    // Yields whether it was kept.
    virtual bool SetAside(const catalogue::TableNode& table, std::uint32_t page, std::uint16_t slot,
                          const std::vector<std::string>& cells) = 0;
    // Where the records are kept, as the repair's outcome names it.
    virtual const std::string& Location() const = 0;
};

struct TransferHooks {
    StatementSink* statements = nullptr;   // without one, no INSERT succeeds
    BlobHandler* blobs = nullptr;          // without one, BLOB values are empty texts
    DamagedRecordSink* damaged = nullptr;  // without one, damaged records are only counted
};

// The engine's transaction inventory, read from the file when first asked
// for after a scan.
ods::TransactionInventory& TransactionsOf(job::RecoveryEngine& engine);

// The first table of the model whose name equals name without regard to
// letter case; null when none does.
const catalogue::TableNode* FindTableNoCase(const catalogue::SchemaModel& model, std::string_view name);

// A column's name as the INSERT (and the table definition) writes it: the
// names YEAR, GROUP, FROM, CHARACTER, VALUE and VALUES, in any letter case,
// get "1" appended. Identifiers are not quoted.
std::string InsertColumnName(std::string_view name);

// "INSERT INTO T(A,B) VALUES (": everything before the first value.
// leftOut, when given, marks columns (by index) the statement leaves out.
std::string InsertStatementHead(const catalogue::TableNode& table, const std::vector<bool>* leftOut = nullptr);

// The whole statement: the head, the values joined by ",", then ")".
std::string BuildInsertStatement(const catalogue::TableNode& table, std::span<const std::string> values);

// Fills engine.dataPageNumbers (emptied first) with the table's data pages
// (extract/tablepages.h), while no stop is requested.
void CollectDataPageNumbers(job::JobContext& job, std::uint32_t relationId);

// Chooses the table (state.selectedObjectName in a preview,
// state.repairedTableName in a repair; letter case ignored), collects its
// data pages and walks its records: a preview from its first page (or from
// entry engine.previewPage of engine.previewPositions when that page is
// known), a repair from the first record to the last. A name that matches no
// table does nothing.
void TransferTableData(job::JobContext& job, const TransferHooks& hooks = {});

// Walks the table's records from data page startIndex of
// engine.dataPageNumbers, passing over the first skipSlots slots of that
// page when state.pageRequested is set (a further preview page). A preview
// stops after 100 records and records in engine.previewPositions where the
// next page starts; a repair runs to the end of the table and logs its
// summary. A stop request ends the walk before the next data page, after
// the current record, and in a repair before the next value; the summary is
// then not written.
void WalkTableRecords(job::JobContext& job, std::uint32_t startIndex, std::uint32_t skipSlots,
                      const catalogue::TableNode& table, const TransferHooks& hooks = {});

}  // namespace ravelin::extract
