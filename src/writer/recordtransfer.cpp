#include "writer/recordtransfer.h"

#include "extract/blobextractor.h"
#include "extract/tabletransfer.h"
#include "writer/damagedrecords.h"
#include "writer/targetconnection.h"

namespace ravelin::writer {
namespace {

class TargetSink final : public extract::StatementSink {
public:
    explicit TargetSink(TargetDatabase& target) : target_(target) {}
    bool ExecuteInsert(const std::string& sqlUtf8) override { return target_.ExecuteInsert(sqlUtf8); }
    bool ExecuteInsert(const std::string& sqlUtf8, std::span<const extract::InsertParameter> parameters) override
    {
        return target_.ExecuteInsertWithParameters(sqlUtf8, parameters);
    }
    bool PrepareInsert(const std::string& sqlUtf8) override { return target_.PrepareInsert(sqlUtf8); }
    bool ExecutePrepared(std::span<const extract::InsertValue> values,
                         std::span<const extract::InsertParameter> parameters) override
    {
        return target_.ExecutePrepared(values, parameters);
    }

private:
    TargetDatabase& target_;
};

class TargetBlobs final : public extract::BlobHandler {
public:
    TargetBlobs(extract::BlobExtraction& extraction, const job::RecoveryEngine& engine)
        : extraction_(extraction), engine_(engine)
    {
    }
    std::string BlobValuePath(const catalogue::TableNode& table, std::uint32_t valueNumber,
                              const extract::BlobId& id) override
    {
        return extraction_.BlobValuePath(engine_.context, engine_.pageLists, table, valueNumber, id);
    }
    extract::BlobShortfall ExtractTableBlobs(job::JobContext& job, const catalogue::TableNode& table) override
    {
        const extract::TableBlobSummary summary =
            extraction_.ExtractTableBlobs(job.engine.context, job.engine.pageLists, table, job.link, &job.dialogs);
        return {summary.missing + summary.failed, summary.partial};
    }
    ods::BlobReadStatus ReadBlobValue(const catalogue::TableNode& table, const extract::BlobId& id,
                                      std::vector<std::byte>& bytes) override
    {
        return extraction_.ReadBlobValue(engine_.context, engine_.pageLists, table, id, bytes);
    }
    void FitBlobNumbering(const catalogue::TableNode& table, std::span<const extract::BlobId> ids) override
    {
        extraction_.FitValueNumbering(engine_.context, engine_.pageLists, table, ids);
    }

private:
    extract::BlobExtraction& extraction_;
    const job::RecoveryEngine& engine_;
};

}  // namespace

RecordTransfer::RecordTransfer() = default;

RecordTransfer::~RecordTransfer() = default;

void RecordTransfer::TransferTableData(job::JobContext& job, TargetDatabase& target, const std::string& targetPath)
{
    // The blob folder sits beside the target's file, also when a server
    // holds the target.
    if (!blobs_ || blobTarget_ != targetPath) {
        blobs_ = std::make_unique<extract::BlobExtraction>(LocalTargetPath(targetPath));
        blobTarget_ = targetPath;
    }
    if (!damaged_ || damaged_->Location() != DamagedRecordsPath(targetPath))
        damaged_ = std::make_unique<DamagedRecordFile>(DamagedRecordsPath(targetPath));
    damaged_->SetLink(&job.link);
    TargetSink sink(target);
    TargetBlobs blobs(*blobs_, job.engine);
    extract::TransferHooks hooks;
    hooks.statements = &sink;
    hooks.blobs = &blobs;
    hooks.damaged = damaged_.get();
    extract::TransferTableData(job, hooks);
    damaged_->SetLink(nullptr);
}

}  // namespace ravelin::writer
