#include "extract/blobextractor.h"

namespace ravelin::extract {

BlobFileResult WriteBlobFile(ods::BlobStore& store, const ods::BlobLocation& location, const std::filesystem::path& folder,
                             std::string_view tableName, std::uint32_t number, const std::atomic<bool>* stop,
                             const std::string* extension)
{
    BlobFileResult result;
    const auto header = store.ReadHeader(location);
    if (!header)
        return result;
    BlobFileWriter writer(folder, std::string(tableName), number, header->length,
                          extension != nullptr ? std::optional<std::string>(*extension) : std::nullopt);
    const ods::BlobReadResult read =
        store.Read(location, [&writer](std::span<const std::byte> bytes) { return writer.Write(bytes); }, stop);
    result.read = read.status;
    switch (read.status) {
    case ods::BlobReadStatus::Missing:
        return result;
    case ods::BlobReadStatus::Stopped:
        writer.Abandon();
        return result;
    case ods::BlobReadStatus::Refused:
        writer.Finish();  // removes the temporary file
        result.errorText = writer.errorText();
        return result;
    case ods::BlobReadStatus::Complete:
    case ods::BlobReadStatus::Partial:
        break;
    }
    if (!writer.Finish()) {
        result.errorText = writer.errorText();
        return result;
    }
    result.written = true;
    result.file = writer.filePath();
    return result;
}

BlobFileResult ExtractBlob(const ods::ReadingContext& context, const ods::PageList& lists, std::uint32_t relationId,
                           const BlobId& id, const std::filesystem::path& folder, std::string_view tableName,
                           std::uint32_t number)
{
    ods::BlobStore store(context, lists, relationId);
    const auto location = store.Locate(id);
    if (!location)
        return BlobFileResult{};
    BlobFileResult result;
    if (!EnsureBlobFolder(folder, &result.errorText))
        return result;
    return WriteBlobFile(store, *location, folder, tableName, number);
}

std::optional<std::string> BlobTypeAt(ods::BlobStore& store, const ods::BlobLocation& location)
{
    const auto header = store.ReadHeader(location);
    if (!header)
        return std::nullopt;
    std::vector<std::byte> head;
    store.Read(location, [&head](std::span<const std::byte> bytes) {
        const std::size_t take = std::min(bytes.size(), kBlobTypeBytes - head.size());
        head.insert(head.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        return head.size() < kBlobTypeBytes;  // enough read: end the read
    });
    return DetectBlobType(head, header->length);
}

BlobExtraction::BlobExtraction(const std::filesystem::path& targetPath) : folder_(BlobFolderPath(targetPath)) {}

std::optional<ods::BlobLocation> BlobExtraction::LocateValue(const ods::ReadingContext& context,
                                                             const ods::PageList& lists,
                                                             const catalogue::TableNode& table, const BlobId& id)
{
    if (table.name != notedTable_ || !valueStore_ || valueStore_->relationId() != table.relationId) {
        notedTable_ = table.name;
        notedValues_.clear();
        valueStore_ = std::make_unique<ods::BlobStore>(context, lists, table.relationId);
        valueIds_.clear();
        idsAtLastFit_ = 0;
        fittedWhole_ = false;
    }
    valueIds_.push_back(id);
    std::optional<ods::BlobLocation> location = valueStore_->Locate(id);
    if (!location && !fittedWhole_ && id.relationId == table.relationId && valueIds_.size() >= 2 * idsAtLastFit_) {
        valueStore_->FitRecordNumbering(valueIds_);
        idsAtLastFit_ = valueIds_.size();
        location = valueStore_->Locate(id);
    }
    return location;
}

void BlobExtraction::FitValueNumbering(const ods::ReadingContext& context, const ods::PageList& lists,
                                       const catalogue::TableNode& table, std::span<const BlobId> ids)
{
    notedTable_ = table.name;
    notedValues_.clear();
    valueStore_ = std::make_unique<ods::BlobStore>(context, lists, table.relationId);
    valueIds_.clear();
    idsAtLastFit_ = 0;
    valueStore_->FitRecordNumbering(ids);
    fittedWhole_ = true;
}

std::string BlobExtraction::BlobValuePath(const ods::ReadingContext& context, const ods::PageList& lists,
                                          const catalogue::TableNode& table, std::uint32_t valueNumber,
                                          const BlobId& id)
{
    const std::optional<ods::BlobLocation> location = LocateValue(context, lists, table, id);
    std::string extension;
    if (location)
        extension = BlobTypeAt(*valueStore_, *location).value_or(std::string());
    notedValues_.push_back({valueNumber, id, extension});
    return BlobFilePath(folder_, table.name, valueNumber, extension).string();
}

ods::BlobReadStatus BlobExtraction::ReadBlobValue(const ods::ReadingContext& context, const ods::PageList& lists,
                                                  const catalogue::TableNode& table, const BlobId& id,
                                                  std::vector<std::byte>& bytes, const std::atomic<bool>* stop)
{
    bytes.clear();
    const std::optional<ods::BlobLocation> location = LocateValue(context, lists, table, id);
    if (!location)
        return ods::BlobReadStatus::Missing;
    const ods::BlobReadResult result = valueStore_->Read(
        *location,
        [&bytes](std::span<const std::byte> piece) {
            bytes.insert(bytes.end(), piece.begin(), piece.end());
            return true;
        },
        stop);
    return result.status;
}

TableBlobSummary BlobExtraction::ExtractTableBlobs(const ods::ReadingContext& context, const ods::PageList& lists,
                                                   const catalogue::TableNode& table, job::WorkerLink& link,
                                                   job::WorkerDialogs* dialogs)
{
    TableBlobSummary summary;
    std::vector<NotedValue> values;
    if (table.name == notedTable_)
        values.swap(notedValues_);
    notedTable_.clear();
    notedValues_.clear();
    valueStore_.reset();
    valueIds_.clear();

    ods::BlobStore store(context, lists, table.relationId);
    // Each blob to write: its number in the file name, its record, and the
    // extension its value was given (none: the content type test decides).
    struct Blob {
        std::uint32_t number = 0;
        std::optional<ods::BlobLocation> location;
        std::optional<std::string> extension;
    };
    std::vector<Blob> blobs;
    if (!values.empty()) {
        std::vector<BlobId> ids;
        ids.reserve(values.size());
        for (const NotedValue& value : values)
            ids.push_back(value.id);
        store.FitRecordNumbering(ids);
        for (const NotedValue& value : values)
            blobs.push_back({value.number, store.Locate(value.id), value.extension});
    } else {
        std::uint32_t number = 0;
        for (const ods::BlobLocation& location : store.IndexedHeaderRecords(&link.stopRequested))
            blobs.push_back({++number, location, std::nullopt});
    }

    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(blobs.size()));
    bool errorShown = false;
    const auto reportError = [&](const std::string& text) {
        ++summary.failed;
        if (dialogs && !errorShown) {
            errorShown = true;
            dialogs->ShowMessageOk(text);
        }
    };
    for (const Blob& blob : blobs) {
        const std::uint32_t number = blob.number;
        const std::optional<ods::BlobLocation>& location = blob.location;
        if (link.Stopped()) {
            summary.stopped = true;
            break;
        }
        if (!location) {
            ++summary.missing;
        } else {
            std::string folderError;
            if (!folderCreated_)
                folderCreated_ = EnsureBlobFolder(folder_, &folderError);
            if (!folderCreated_) {
                reportError(folderError);
            } else {
                const BlobFileResult result =
                    WriteBlobFile(store, *location, folder_, table.name, number, &link.stopRequested,
                                  blob.extension ? &*blob.extension : nullptr);
                if (result.read == ods::BlobReadStatus::Stopped) {
                    summary.stopped = true;
                    break;
                }
                if (result.written) {
                    ++summary.written;
                    if (result.read == ods::BlobReadStatus::Partial)
                        ++summary.partial;
                } else if (result.read == ods::BlobReadStatus::Missing) {
                    ++summary.missing;
                } else {
                    reportError(result.errorText);
                }
            }
        }
        link.Progress(job::kProgressStep);
    }
    link.Progress(job::kProgressEnd);
    return summary;
}

}  // namespace ravelin::extract
