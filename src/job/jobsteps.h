#pragma once

// The steps a recovery job calls in the extraction and writer layers. The
// driver runs them on the worker thread, in the order of its sequences; each
// reports through the link (log lines, progress) and polls the stop request.
// Front ends and tests swap them; the driver starts with the ones below.

#include <functional>

#include "catalogue/cataloguecontext.h"
#include "job/frame.h"
#include "job/jobstate.h"
#include "job/recoveryengine.h"

namespace ravelin::job {

// Everything a step may read or write while the worker runs it.
struct JobContext {
    JobState& state;
    RecoveryEngine& engine;
    WorkerLink& link;
    WorkerDialogs& dialogs;
};

// Page scan, relation pre-pass and catalogue walk of a scan job.
using ScanStep = std::function<void(catalogue::CatalogueContext&)>;

// Record counting at the end of a scan and the record fetch of a preview.
class ExtractionSteps {
public:
    virtual ~ExtractionSteps() = default;
    // Counts the records of every table and logs the counting lines; runs
    // only while state.scanning is set. Opens with the skip panel already
    // shown (UM_SKIP_DIALOG 1) and engine.skipCounting clear.
    virtual void CountTableRecords(JobContext& job) = 0;
    // Shows the first page of the records of the table named
    // state.selectedObjectName in the grid.
    virtual void TransferTableData(JobContext& job) = 0;
    // Shows the preview page that starts at engine.previewPositions[engine.previewPage].
    virtual void WalkTableRecords(JobContext& job) = 0;
};

// The target side of a repair job.
class TargetWriter {
public:
    virtual ~TargetWriter() = default;
    // Asks for the blank target and the account and attaches; sets
    // state.connected on success. Logs and shows its own failure.
    virtual void AttachTarget(JobContext& job) = 0;
    // Re-creates the checked tables with their data, then the views and index
    // statements, and detaches. Sets engine.repairSucceeded only when the
    // whole repair ran to its end; notes in engine.repairedTables and
    // engine.recordsLostAtCommit what it left undone.
    virtual void RunRepair(JobContext& job) = 0;
};

// The closing lines of record counting: the skipped or completed line, its
// row of hyphens and a blank line. A completed count closes the skip panel
// first; a skipped one clears engine.skipCounting.
void FinishRecordCounting(JobContext& job);

// Extraction while no record decoder is linked in: record counting logs only
// its closing lines, and a preview shows the schema lists without records.
class CatalogueOnlyExtraction final : public ExtractionSteps {
public:
    void CountTableRecords(JobContext& job) override;
    void TransferTableData(JobContext&) override {}
    void WalkTableRecords(JobContext&) override {}
};

// A writer that cannot reach any target: the attach fails with a log line,
// so a repair never starts and never reports success.
class UnavailableTargetWriter final : public TargetWriter {
public:
    void AttachTarget(JobContext& job) override;
    void RunRepair(JobContext&) override {}
};

}  // namespace ravelin::job
