#pragma once

// The table data transfer of the extraction layer as the repair's table
// transfer: every INSERT it builds goes to the target database, and the
// table's blobs go to files in the blob folder beside the target, and the
// damaged records it does not insert to the set-aside file beside it.

#include <memory>
#include <string>

#include "writer/repair.h"

namespace ravelin::extract {
class BlobExtraction;
}

namespace ravelin::writer {

class DamagedRecordFile;

class RecordTransfer final : public TableTransfer {
public:
    RecordTransfer();
    ~RecordTransfer() override;

    void TransferTableData(job::JobContext& job, TargetDatabase& target, const std::string& targetPath) override;

private:
    // The blob folder of the target most recently repaired into.
    std::unique_ptr<extract::BlobExtraction> blobs_;
    std::string blobTarget_;
    // The set-aside file of the target most recently repaired into.
    std::unique_ptr<DamagedRecordFile> damaged_;
};

}  // namespace ravelin::writer
