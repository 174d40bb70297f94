#include "extract/blobextractor.h"

namespace ravelin::extract {

BlobFileResult WriteBlobFile(ods::BlobStore& store, const ods::BlobLocation& location, const std::filesystem::path& folder,
                             std::string_view tableName, std::uint32_t number, const std::atomic<bool>* stop)
{
    BlobFileResult result;
    const auto header = store.ReadHeader(location);
    if (!header)
        return result;
    BlobFileWriter writer(folder, std::string(tableName), number, header->length);
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

BlobExtraction::BlobExtraction(const std::filesystem::path& targetPath) : folder_(BlobFolderPath(targetPath)) {}

std::string BlobExtraction::BlobValuePath(const catalogue::TableNode& table, std::uint32_t valueNumber,
                                          const BlobId& id)
{
    if (table.name != notedTable_) {
        notedTable_ = table.name;
        notedValues_.clear();
    }
    notedValues_.emplace_back(valueNumber, id);
    return extract::BlobValuePath(folder_, table.name, valueNumber).string();
}

TableBlobSummary BlobExtraction::ExtractTableBlobs(const ods::ReadingContext& context, const ods::PageList& lists,
                                                   const catalogue::TableNode& table, job::WorkerLink& link,
                                                   job::WorkerDialogs* dialogs)
{
    TableBlobSummary summary;
    std::vector<std::pair<std::uint32_t, BlobId>> values;
    if (table.name == notedTable_)
        values.swap(notedValues_);
    notedTable_.clear();
    notedValues_.clear();

    ods::BlobStore store(context, lists, table.relationId);
    // Each blob to write: its number in the file name and its record.
    std::vector<std::pair<std::uint32_t, std::optional<ods::BlobLocation>>> blobs;
    if (!values.empty()) {
        std::vector<BlobId> ids;
        ids.reserve(values.size());
        for (const auto& value : values)
            ids.push_back(value.second);
        store.FitRecordNumbering(ids);
        for (const auto& [number, id] : values)
            blobs.emplace_back(number, store.Locate(id));
    } else {
        std::uint32_t number = 0;
        for (const ods::BlobLocation& location : store.IndexedHeaderRecords(&link.stopRequested))
            blobs.emplace_back(++number, location);
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
    for (const auto& [number, location] : blobs) {
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
                    WriteBlobFile(store, *location, folder_, table.name, number, &link.stopRequested);
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
