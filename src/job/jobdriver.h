#pragma once

// The recovery job driver: owns the job state and the engine, starts scan,
// preview and repair jobs on the recovery worker, runs each job's sequence
// and its closing steps, and reports everything to the frame.
//
// Threads: the starters, RequestStop and Wait are called from the front
// end's thread (the one that owns the frame). While busy is set the worker
// owns the job state and the engine; the front end reads them only inside
// frame handlers (the worker is then blocked in its send) or after Wait.

#include <cstdint>
#include <memory>
#include <string>

#include "job/frame.h"
#include "job/jobstate.h"
#include "job/jobsteps.h"
#include "job/recoveryengine.h"
#include "job/recoverythread.h"

namespace ravelin::job {

// Log texts of the job sequences.
inline constexpr const char* kScanStartedText = "Scanning process started on ";
inline constexpr const char* kScanCompletedText = "Scanning process completed on ";
inline constexpr const char* kScanInProcessText = "Scanning is being in process, for.............................";
inline constexpr const char* kCountingText = "Counting table(s) records in database.....................";
inline constexpr const char* kAbortedLogText = "Process aborted by user";
inline constexpr const char* kAbortedMessageText = "Process aborted by user.";
inline constexpr const char* kJobFailedText = "Process failed: ";

enum class PreviewKind { Table, View, Index };

// How the most recent job ended.
enum class JobOutcome {
    None,          // no job has run yet, or the job had nothing to do
    Completed,     // the sequence ran to its end
    Incomplete,    // a repair ran to its end, but a selected table was not created or lost records
    FileInUse,     // the scanned file is held by another process
    InvalidFile,   // the scanned file could not be opened as a database
    NotConnected,  // the repair's target was not attached
    Aborted,       // the user stopped the job
    Failed,        // an unexpected error ended the job (logged)
};

// Empties the per-scan state of the engine: the scratch arrays of the schema
// model, the record walk and transfer state, selectedObjectName; clears
// repairSucceeded. Keeps the table, view and index lists.
void ResetScanState(RecoveryEngine& engine, JobState& state);

// Adds the model's views and indices to viewCount and indexCount, as filling
// the object tree does (the UM_FILL_TREE handler of every front end).
void CountTreeObjects(RecoveryEngine& engine);

class JobDriver {
public:
    JobDriver(Frame& frame, WorkerDialogs& dialogs);
    // Stops a running job and waits for its worker.
    ~JobDriver();

    JobDriver(const JobDriver&) = delete;
    JobDriver& operator=(const JobDriver&) = delete;

    // Steps used by the following jobs; only while no job runs. The driver
    // starts with catalogue::ScanDatabase, CatalogueOnlyExtraction and
    // UnavailableTargetWriter. The objects must outlive the driver's jobs.
    void SetScanStep(ScanStep step);
    void SetExtractionSteps(ExtractionSteps& steps);
    void SetTargetWriter(TargetWriter& writer);

    // Job starters. Each does nothing and yields false while a job runs;
    // otherwise sets the job's flags, starts the worker and yields true.
    // Scan of the file at path, shown in the log and tree as name.
    bool StartScan(const std::string& path, const std::string& name);
    // Preview of the table, view or index named objectName.
    bool StartPreview(PreviewKind kind, const std::string& objectName);
    // The next (forward) or previous page of the selected table's records.
    // The previous page of page 0 does not exist: yields false.
    bool StartPage(bool forward);
    // Repair of the scanned database into a blank target.
    bool StartRepair();

    // The Stop command: asks the running job to stop. Yields false when no
    // job runs. Safe from a frame handler.
    bool RequestStop();
    // Blocks until the worker of the last job has ended (returns at once when
    // called on the worker itself).
    void Wait();

    bool Busy() const { return state_.busy.load(); }
    // How the last job ended; read after Wait.
    JobOutcome Outcome() const { return outcome_; }

    JobState& State() { return state_; }
    RecoveryEngine& Engine() { return engine_; }

private:
    bool Claim();
    void Launch();

    // The worker's entry point: one sequence, then the closing steps.
    void RunJob();
    void RunScan(JobContext& job);
    void RunPreview(JobContext& job);
    void RunRepair(JobContext& job);
    void RunClosingSteps(JobContext& job);
    void ReportFailure(JobContext& job, const std::string& what);
    // Discards the schema model and the per-scan state, as a new scan does.
    void DiscardScan();

    Frame& frame_;
    WorkerDialogs& dialogs_;
    JobState state_;
    RecoveryEngine engine_;

    ScanStep scanStep_;
    std::unique_ptr<ExtractionSteps> ownExtraction_;
    std::unique_ptr<TargetWriter> ownWriter_;
    ExtractionSteps* extraction_ = nullptr;
    TargetWriter* writer_ = nullptr;

    JobOutcome outcome_ = JobOutcome::None;
    // databaseLoaded as the running repair found it; a stopped repair keeps
    // its schema model and gives it back.
    bool loadedBeforeRepair_ = false;
    CRecoveryThread workerThread_;
};

}  // namespace ravelin::job
