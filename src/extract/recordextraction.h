#pragma once

// The extraction steps of the recovery job: record counting at the end of a
// scan and the record fetch of a preview, over the readers of this layer.
// Front ends hand one to JobDriver::SetExtractionSteps.

#include "extract/tabletransfer.h"
#include "job/jobsteps.h"

namespace ravelin::extract {

class RecordExtraction final : public job::ExtractionSteps {
public:
    RecordExtraction() = default;
    // hooks: the statement sink and blob handler a repair's transfers use.
    explicit RecordExtraction(const TransferHooks& hooks) : hooks_(hooks) {}

    // CountTableRecords (extract/recordcount.h).
    void CountTableRecords(job::JobContext& job) override;
    // TransferTableData for the table named state.selectedObjectName.
    void TransferTableData(job::JobContext& job) override;
    // The preview page engine.previewPage of the table named
    // state.selectedObjectName, from its entry in engine.previewPositions.
    void WalkTableRecords(job::JobContext& job) override;

    const TransferHooks& hooks() const { return hooks_; }

private:
    TransferHooks hooks_;
};

}  // namespace ravelin::extract
