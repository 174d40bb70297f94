#pragma once

// Blob extraction: the blobs of a repaired table written to files in the blob
// folder beside the target database (extract/blobfiles.h names them), read
// from the damaged file through a BlobStore (ods/blobstore.h).
//
// Pairing values and files: while a repair walks a table's records, every
// BLOB value of the table receives BlobValuePath: the path of the file its
// blob is written to, the blob folder, the table's name, "Blob", the value's
// number k (1 for the first BLOB value of the table, counting BLOB fields in
// record order), "." and the content type's extension (empty when the type
// is not recognised or the blob is not found yet). The type is told from
// the blob's first bytes, read when the value is met. The extraction object
// notes each value's blob id and extension; at the end of the table
// ExtractTableBlobs writes the blob each id names to that same path, so the
// column holds the path of its own blob's file. A table
// whose values were not noted (ExtractTableBlobs without BlobValuePath
// calls) gets every blob header record its blob index pages list, numbered
// 1, 2, ... in index order.
//
// Only the recovery worker thread uses these.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/schemamodel.h"
#include "extract/blobfiles.h"
#include "ods/blobstore.h"
#include "extract/valuedecoder.h"
#include "job/frame.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::extract {

// What became of one blob.
struct BlobFileResult {
    bool written = false;           // the blob file exists with the bytes read
    ods::BlobReadStatus read = ods::BlobReadStatus::Missing;
    std::filesystem::path file;     // the blob file (when written)
    std::string errorText;          // a file error's text
};

// Reads the blob at location and writes it as
// BlobFilePath(folder, tableName, number, its extension), through the
// temporary file. A blob that cannot be read at all (Missing) writes
// nothing; a Partial one writes what was read. A stop leaves the temporary
// file behind, closed. The folder must exist.
// extension, when given, is the file's extension instead of the one the
// content type test gives.
BlobFileResult WriteBlobFile(ods::BlobStore& store, const ods::BlobLocation& location, const std::filesystem::path& folder,
                             std::string_view tableName, std::uint32_t number,
                             const std::atomic<bool>* stop = nullptr, const std::string* extension = nullptr);

// The content type's extension of the blob at location, from its first
// kBlobTypeBytes bytes and its length (DetectBlobType); nullopt when no
// blob header record is there.
std::optional<std::string> BlobTypeAt(ods::BlobStore& store, const ods::BlobLocation& location);

// One blob by the id a record stores: the store of the relation is built for
// this call (with the numbering it assumes without the table's other ids),
// the folder created when missing, and the blob written as for
// WriteBlobFile. For many blobs of one table keep a BlobStore and call
// WriteBlobFile, or use BlobExtraction.
BlobFileResult ExtractBlob(const ods::ReadingContext& context, const ods::PageList& lists, std::uint32_t relationId,
                           const BlobId& id, const std::filesystem::path& folder, std::string_view tableName,
                           std::uint32_t number);

// Counts of one table's extraction pass.
struct TableBlobSummary {
    std::uint32_t written = 0;  // blob files written (partial ones included)
    std::uint32_t partial = 0;  // of them, blobs that damage cut short
    std::uint32_t missing = 0;  // values whose blob was not found in the file
    std::uint32_t failed = 0;   // blobs whose file could not be written
    bool stopped = false;
};

// The blob half of a repair, for one target database.
class BlobExtraction {
public:
    // targetPath: the target database's full path; the blob folder is
    // BlobFolderPath(targetPath).
    explicit BlobExtraction(const std::filesystem::path& targetPath);

    const std::filesystem::path& folder() const { return folder_; }

    // The text the valueNumber-th BLOB value of table receives (see above),
    // noting id for ExtractTableBlobs; the blob's first bytes are read from
    // the file open in context. A value of another table than the noted ones
    // drops those.
    std::string BlobValuePath(const ods::ReadingContext& context, const ods::PageList& lists,
                              const catalogue::TableNode& table, std::uint32_t valueNumber, const BlobId& id);

    // An exact restore: the blob id names, in table, read whole into bytes
    // (emptied first), located as BlobValuePath locates it; nothing is
    // noted for a file. Yields the read's status (Missing: not found).
    ods::BlobReadStatus ReadBlobValue(const ods::ReadingContext& context, const ods::PageList& lists,
                                      const catalogue::TableNode& table, const BlobId& id,
                                      std::vector<std::byte>& bytes, const std::atomic<bool>* stop = nullptr);

    // An exact restore, before the table's first value: fits the numbering
    // of the table's blob header pages to ids, every blob and array id its
    // records store, once; the table's values are then located under it
    // alone. (The ids of a table's first records can fit a wrong numbering
    // and name other blobs that exist.)
    void FitValueNumbering(const ods::ReadingContext& context, const ods::PageList& lists,
                           const catalogue::TableNode& table, std::span<const BlobId> ids);

    // Writes the table's blobs, then forgets its noted values. Creates the
    // blob folder before the first file of the job (trying again for later
    // tables until it exists). UM_PROGRESS: (1, number of blobs), (2) after
    // each blob, (3) at the end. A stop request ends the pass before the
    // next blob or blob page. The first file error of the pass is shown with
    // dialogs (when given) in an OK box; later ones only count.
    TableBlobSummary ExtractTableBlobs(const ods::ReadingContext& context, const ods::PageList& lists,
                                       const catalogue::TableNode& table, job::WorkerLink& link,
                                       job::WorkerDialogs* dialogs = nullptr);

private:
    // The blob header record of id, a value of table: the table's store is
    // built on its first value, and its numbering fitted again to the ids
    // met so far when an id is not found and their count has doubled.
    std::optional<ods::BlobLocation> LocateValue(const ods::ReadingContext& context, const ods::PageList& lists,
                                                 const catalogue::TableNode& table, const BlobId& id);

    std::filesystem::path folder_;
    bool folderCreated_ = false;
    struct NotedValue {
        std::uint32_t number = 0;
        BlobId id;
        std::string extension;
    };
    std::string notedTable_;
    std::vector<NotedValue> notedValues_;
    // The noted table's blobs as the values are met: its numbering is fitted
    // again to the ids met so far when an id is not found and their count
    // has doubled since the last fit.
    std::unique_ptr<ods::BlobStore> valueStore_;
    std::vector<BlobId> valueIds_;
    std::size_t idsAtLastFit_ = 0;
    bool fittedWhole_ = false;  // fitted to every id of the table: not again
};

}  // namespace ravelin::extract
