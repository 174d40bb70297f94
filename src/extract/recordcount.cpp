#include "extract/recordcount.h"

#include <string>
#include <vector>

#include "extract/datapagereader.h"
#include "extract/tablepages.h"
#include "extract/tabletransfer.h"

namespace ravelin::extract {
namespace {

// Progress upper bound while a table's pointer pages are looked for.
constexpr std::intptr_t kSearchProgressRange = 30;

bool Skipped(const job::JobContext& job)
{
    return job.engine.skipCounting.load(std::memory_order_relaxed);
}

void LogCount(job::WorkerLink& link, const std::string& table, std::uint64_t count)
{
    link.Log(kTableNameText + table);
    link.Log(kTotalRecordsText + std::to_string(count));
    link.Blank();
}

// Collects the table's data page numbers (extract/tablepages.h) into
// engine.dataPageNumbers. Yields false when the count was skipped meanwhile.
bool CollectForCount(job::JobContext& job, std::uint32_t relationId, std::size_t pointerPages)
{
    job::WorkerLink& link = job.link;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(pointerPages));
    TablePageHooks hooks;
    hooks.interrupted = [&job] { return Skipped(job); };
    hooks.step = [&link] { link.Progress(job::kProgressStep); };
    job.engine.dataPageNumbers =
        CollectTableDataPages(job.engine.context, job.engine.pageLists, relationId, hooks).pages;
    return !Skipped(job);
}

}  // namespace

void FinishRecordCount(job::JobContext& job)
{
    job::WorkerLink& link = job.link;
    if (Skipped(job)) {
        link.Log(kCountingSkippedText);
        link.Log(std::string(62, '-'));
        job.engine.skipCounting.store(false);
    } else {
        link.Send(job::UM_SKIP_DIALOG, 0, 1);
        link.Log(kCountingCompletedText);
        link.Log(std::string(66, '-'));
    }
    link.Blank();
}

std::uint64_t CountDataPageRecords(job::JobContext& job, std::uint32_t relationId)
{
    job::WorkerLink& link = job.link;
    std::vector<std::uint32_t>& pages = job.engine.dataPageNumbers;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(pages.size()));
    const auto interrupted = [&job, &link] { return link.Stopped() || Skipped(job); };
    DataPageReader reader(job.engine.context, relationId, &TransactionsOf(job.engine));
    std::uint64_t count = 0;
    for (const std::uint32_t page : pages) {
        if (interrupted())
            break;
        reader.Load(page);
        for (std::uint16_t slot = 0; slot < reader.SlotCount() && !interrupted(); ++slot) {
            // The rows a preview shows: current versions, readable or not.
            const SlotKind kind = reader.ClassifySlot(slot);
            if (kind == SlotKind::Record || kind == SlotKind::Unreadable)
                ++count;
        }
        // One step per data page: the bar's steps are the pages.
        link.Progress(job::kProgressStep);
    }
    link.Progress(job::kProgressEnd);
    std::vector<std::uint32_t>().swap(pages);
    return count;
}

void CountTableRecords(job::JobContext& job)
{
    if (!job.state.scanning)
        return;
    job::WorkerLink& link = job.link;
    const std::vector<catalogue::TableNode>& tables = job.engine.model.tables;
    const ods::PageList& lists = job.engine.pageLists;
    if (!tables.empty()) {
        for (const catalogue::TableNode& table : tables) {
            if (Skipped(job)) {
                link.Progress(job::kProgressEnd);
                FinishRecordCount(job);
                return;
            }
            link.Progress(job::kProgressStart, kSearchProgressRange);
            // The chain is walked from its head; a step for every node passed.
            const ods::PageListNode* node = FindPointerPageList(lists, table.relationId);
            for (const ods::PageListNode& passed : lists) {
                if (&passed == node)
                    break;
                link.Progress(job::kProgressStep);
            }
            if (!CollectForCount(job, table.relationId, node ? node->pagePositions.size() : 0)) {
                link.Progress(job::kProgressEnd);
                job.engine.dataPageNumbers.clear();
                FinishRecordCount(job);
                return;
            }
            link.Progress(job::kProgressEnd);
            const std::uint64_t count = CountDataPageRecords(job, table.relationId);
            if (Skipped(job)) {
                FinishRecordCount(job);
                return;
            }
            LogCount(link, table.name, count);
        }
        link.Progress(job::kProgressEnd);
    }
    FinishRecordCount(job);
}

}  // namespace ravelin::extract
