#include "extract/recordextraction.h"

#include "extract/recordcount.h"

namespace ravelin::extract {

void RecordExtraction::CountTableRecords(job::JobContext& job)
{
    extract::CountTableRecords(job);
}

void RecordExtraction::TransferTableData(job::JobContext& job)
{
    extract::TransferTableData(job, hooks_);
}

void RecordExtraction::WalkTableRecords(job::JobContext& job)
{
    job::RecoveryEngine& engine = job.engine;
    const catalogue::TableNode* table = FindTableNoCase(engine.model, job.state.selectedObjectName);
    if (!table || engine.previewPage >= engine.previewPositions.size())
        return;
    // The page list of the first page is kept between pages; a count or a
    // repair in between may have emptied it.
    if (engine.dataPageNumbers.empty())
        CollectDataPageNumbers(job, table->relationId);
    const catalogue::RECORDPOSCOUNT start = engine.previewPositions[engine.previewPage];
    extract::WalkTableRecords(job, start.first, start.second, *table, hooks_);
}

}  // namespace ravelin::extract
