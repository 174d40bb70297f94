#include "job/jobdriver.h"

#include <exception>
#include <string>
#include <vector>

#include "catalogue/readers.h"
#include "job/messagedialog.h"
#include "job/repairoutcome.h"
#include "ods/readingcontext.h"

namespace ravelin::job {
namespace {

std::string Hyphens(std::size_t count)
{
    return std::string(count, '-');
}

std::string TimeStamp()
{
    return ods::FormatTimeStamp();
}

}  // namespace

void ResetScanState(RecoveryEngine& engine, JobState& state)
{
    state.selectedObjectName.clear();
    catalogue::SchemaModel& model = engine.model;
    model.columnDefaults.clear();
    model.defaultTexts.clear();
    model.pendingSources.clear();
    model.domains.clear();
    model.keyConstraints.clear();
    model.columnKeys.clear();
    engine.nullFlags.clear();
    engine.dataPageNumbers.clear();
    engine.previewPositions.clear();
    engine.previewPage = 0;
    engine.currentDataPage = 0;
    engine.recordsPresent = 0;
    engine.recordsRecovered = 0;
    engine.repairSucceeded = false;
    engine.transactions.reset();
}

void CountTreeObjects(RecoveryEngine& engine)
{
    engine.viewCount = static_cast<std::uint16_t>(engine.viewCount + engine.model.views.size());
    engine.indexCount = static_cast<std::uint16_t>(engine.indexCount + engine.model.indices.size());
}

JobDriver::JobDriver(Frame& frame, WorkerDialogs& dialogs)
    : frame_(frame),
      dialogs_(dialogs),
      scanStep_(catalogue::ScanDatabase),
      ownExtraction_(std::make_unique<CatalogueOnlyExtraction>()),
      ownWriter_(std::make_unique<UnavailableTargetWriter>()),
      extraction_(ownExtraction_.get()),
      writer_(ownWriter_.get())
{
}

JobDriver::~JobDriver()
{
    RequestStop();
    Wait();
}

void JobDriver::SetScanStep(ScanStep step)
{
    if (!Busy())
        scanStep_ = std::move(step);
}

void JobDriver::SetExtractionSteps(ExtractionSteps& steps)
{
    if (!Busy())
        extraction_ = &steps;
}

void JobDriver::SetTargetWriter(TargetWriter& writer)
{
    if (!Busy())
        writer_ = &writer;
}

bool JobDriver::Claim()
{
    if (state_.busy.load())
        return false;
    // No job runs, so a stop request still pending belongs to a job that has
    // already ended; it must not stop the new one.
    state_.stopRequested.store(false);
    bool expected = false;
    return state_.busy.compare_exchange_strong(expected, true);
}

void JobDriver::Launch()
{
    outcome_ = JobOutcome::None;
    workerThread_.Start([this] { RunJob(); });
}

bool JobDriver::StartScan(const std::string& path, const std::string& name)
{
    if (!Claim())
        return false;
    state_.databasePath = path;
    state_.databaseName = name;
    state_.scanning = true;
    state_.repairing = false;
    Launch();
    return true;
}

bool JobDriver::StartPreview(PreviewKind kind, const std::string& objectName)
{
    if (!Claim())
        return false;
    // A new object starts its preview from its first page.
    engine_.dataPageNumbers.clear();
    engine_.previewPositions.clear();
    engine_.previewPage = 0;
    engine_.currentDataPage = 0;
    state_.forwardSteps = 0;
    state_.pageRequested = false;
    state_.selectedObjectName = objectName;
    state_.tableSelected = kind == PreviewKind::Table;
    state_.viewSelected = kind == PreviewKind::View;
    state_.indexSelected = kind == PreviewKind::Index;
    state_.previewRequested = true;
    state_.scanning = false;
    Launch();
    return true;
}

bool JobDriver::StartPage(bool forward)
{
    if (Busy() || !state_.tableSelected || (!forward && engine_.previewPage == 0))
        return false;
    if (!Claim())
        return false;
    if (forward) {
        ++state_.forwardSteps;
        ++engine_.previewPage;
    } else {
        --engine_.previewPage;
    }
    state_.pageRequested = true;
    state_.previewRequested = true;
    Launch();
    return true;
}

bool JobDriver::StartRepair()
{
    if (!Claim())
        return false;
    state_.repairing = true;
    state_.scanning = false;
    state_.previewRequested = false;
    Launch();
    return true;
}

bool JobDriver::RequestStop()
{
    if (!Busy())
        return false;
    state_.stopRequested.store(true);
    return true;
}

void JobDriver::Wait()
{
    workerThread_.Join();
}

void JobDriver::RunJob()
{
    WorkerLink link{frame_, state_.stopRequested, state_.currentLogLine};
    JobContext job{state_, engine_, link, dialogs_};
    try {
        if (state_.scanning)
            RunScan(job);
        else if (state_.previewRequested)
            RunPreview(job);
        else if (state_.repairing)
            RunRepair(job);
    } catch (const std::exception& error) {
        ReportFailure(job, error.what());
    } catch (...) {
        ReportFailure(job, "unexpected error");
    }
    try {
        RunClosingSteps(job);
    } catch (...) {
        // The front end could not take the abort report; the job ends anyway.
        state_.stopRequested.store(false);
    }
    state_.busy.store(false);
}

void JobDriver::RunScan(JobContext& job)
{
    WorkerLink& link = job.link;
    link.Log(Hyphens(97));
    link.Blank();
    link.Log("File Selected: " + state_.databasePath);
    link.Blank();

    // The flag describes this file only: an in-use answer left unconfirmed by
    // an earlier scan must not block this one.
    engine_.fileInUse = false;
    const std::uint64_t size = engine_.context.QueryDatabaseFileSize(state_.databasePath, engine_.fileInUse);
    link.Log("File Size: " + std::to_string(static_cast<long long>(size)) + " bytes");
    link.Blank();
    link.Log(kScanStartedText + TimeStamp());
    link.Blank();
    link.Log(kScanInProcessText + state_.databaseName);
    link.Blank();

    if (engine_.fileInUse) {
        if (ShowMessageDialog(engine_, dialogs_) == kAnswerOk)
            engine_.fileInUse = false;
        // The job was a scan and is over: a later paging click must not run
        // it again.
        state_.scanning = false;
        outcome_ = JobOutcome::FileInUse;
        return;
    }

    if (!engine_.context.OpenDatabaseFile(state_.databasePath)) {
        engine_.invalidFile = true;
        if (ShowMessageDialog(engine_, dialogs_) == kAnswerOk)
            engine_.invalidFile = false;
        link.Log(kNoPageSizeText);
        state_.scanning = false;
        outcome_ = JobOutcome::InvalidFile;
        return;
    }

    DiscardScan();
    link.Send(UM_RESET_VIEW);
    link.Send(UM_CLEAR_TREE);

    catalogue::CatalogueContext scan{engine_.context, engine_.pageLists, engine_.model, link, engine_.tableCount};
    scanStep_(scan);
    if (link.Stopped()) {
        state_.scanning = false;
        return;
    }

    link.Send(UM_FILL_TREE, 1, 0);
    link.Progress(kProgressEnd);
    link.Log(kScanCompletedText + TimeStamp());
    engine_.saveLogEnabled = true;
    engine_.clearLogEnabled = true;
    link.Blank();
    link.Log("Database details : ");
    link.Blank();
    link.Log(Hyphens(21));
    link.Log("Database name : " + state_.databaseName);
    link.Log("Total table(s)    : " + std::to_string(engine_.tableCount));
    link.Log("Total View(s)     : " + std::to_string(engine_.viewCount));
    link.Log("Total Indices(s)  : " + std::to_string(engine_.indexCount));
    link.Blank();
    link.Log(kCountingText);
    link.Blank();

    engine_.skipCounting.store(false);
    link.Send(UM_SKIP_DIALOG, 1, 0);
    extraction_->CountTableRecords(job);

    // A stop during the counting discards the scan in the closing steps, so
    // the database is not offered for repair.
    if (!link.Stopped()) {
        state_.databaseLoaded = true;
        outcome_ = JobOutcome::Completed;
    }
    state_.scanning = false;
}

void JobDriver::RunPreview(JobContext& job)
{
    WorkerLink& link = job.link;
    state_.repairing = false;
    link.Send(UM_PAGING_OFF);

    if (state_.pageRequested) {
        if (engine_.previewPage < engine_.previewPositions.size())
            extraction_->WalkTableRecords(job);
        // Cleared even when the page does not exist, so the next selection in
        // the tree previews its object instead of asking for a page again.
        state_.pageRequested = false;
        outcome_ = JobOutcome::Completed;
        return;
    }
    if (state_.tableSelected) {
        link.Send(UM_GRID_COLUMNS);
        extraction_->TransferTableData(job);
        link.Send(UM_TABLE_PROPERTIES);
        link.Send(UM_TABLE_KEYS);
    } else if (state_.viewSelected) {
        link.Send(UM_VIEW_PROPERTIES);
    } else if (state_.indexSelected) {
        link.Send(UM_INDEX_PROPERTIES);
    }
    outcome_ = JobOutcome::Completed;
}

void JobDriver::RunRepair(JobContext& job)
{
    WorkerLink& link = job.link;
    state_.connected = false;
    state_.previewRequested = false;
    loadedBeforeRepair_ = state_.databaseLoaded;
    writer_->AttachTarget(job);
    if (!state_.connected) {
        outcome_ = JobOutcome::NotConnected;
        return;
    }

    state_.databaseLoaded = false;
    link.Log("Repairing process started on: " + TimeStamp());
    link.Blank();
    link.Log("Repairing is being in process, for.............................. " + state_.databaseName);
    link.Blank();

    engine_.previewPage = 0;
    engine_.recordsPresent = 0;
    engine_.recordsRecovered = 0;
    engine_.recordsDamaged = 0;
    engine_.recordsSetAside = 0;
    engine_.dataPageNumbers.clear();
    engine_.blobFileCount = 0;
    engine_.blobsNotFound = 0;
    engine_.blobsPartial = 0;
    engine_.repairSucceeded = false;
    engine_.repairedTables.clear();
    engine_.recordsLostAtCommit = 0;
    link.Send(UM_REPAIR_STATE, 1, 0);

    writer_->RunRepair(job);
    if (link.Stopped())
        return;

    // A repair that ran to its end but left a selected table uncreated or
    // records behind is no success: the log names every shortfall.
    std::vector<std::string> shortfalls;
    if (engine_.repairSucceeded) {
        shortfalls = RepairShortfallLines(engine_.repairedTables, engine_.recordsLostAtCommit);
        if (!shortfalls.empty()) {
            engine_.repairSucceeded = false;
            for (const std::string& line : shortfalls)
                link.Log(line);
            link.Blank();
        }
    }

    link.Log("Views recovered   :" + std::to_string(engine_.viewCount));
    link.Blank();
    link.Log("Indices recovered :" + std::to_string(engine_.indicesCreated));
    if (engine_.indexStatementsInSideFile != 0)
        link.Log("Index statements written to the side file only :" +
                 std::to_string(engine_.indexStatementsInSideFile));
    link.Blank();
    link.Log("Repairing process completed on " + TimeStamp());
    link.Blank();
    link.Progress(kProgressEnd);
    state_.connected = false;
    link.Send(UM_REPAIR_STATE, 0, 1);

    // Only a repair that completed says so; an incomplete one shows no
    // success message, and one with shortfalls warns of them instead.
    const bool succeeded = engine_.repairSucceeded;
    if (succeeded)
        ShowMessageDialog(engine_, dialogs_);
    else if (!shortfalls.empty())
        dialogs_.ShowWarning(RepairIncompleteMessage(shortfalls));
    link.Send(UM_CLEAR_TREE);
    state_.previewRequested = false;
    state_.repairing = false;
    DiscardScan();
    // The model is gone: a stop reported from here on has nothing to keep.
    loadedBeforeRepair_ = false;
    if (succeeded)
        outcome_ = JobOutcome::Completed;
    else
        outcome_ = shortfalls.empty() ? JobOutcome::Failed : JobOutcome::Incomplete;
}

void JobDriver::RunClosingSteps(JobContext& job)
{
    WorkerLink& link = job.link;
    if (link.Stopped()) {
        state_.currentLogLine.clear();
        if (!state_.repairing) {
            // A stopped scan or preview discards its schema model; the tree
            // and the repair command follow it.
            DiscardScan();
            state_.connected = false;
            state_.databaseLoaded = false;
            state_.scanning = false;
            link.Send(UM_CLEAR_TREE);
        } else {
            // A stopped repair keeps its model and can be run again.
            state_.databaseLoaded = loadedBeforeRepair_;
        }
        link.Progress(kProgressEnd);
        link.Log(kAbortedLogText + TimeStamp());
        state_.repairing = false;
        engine_.repairSucceeded = false;
        link.Send(UM_REPAIR_STATE, 0, 1);
        state_.currentLogLine = kAbortedMessageText;
        dialogs_.ShowMessageOk(state_.currentLogLine);
        state_.stopRequested.store(false);
        outcome_ = JobOutcome::Aborted;
    }
}

void JobDriver::ReportFailure(JobContext& job, const std::string& what)
{
    outcome_ = JobOutcome::Failed;
    const bool wasRepair = state_.repairing;
    state_.scanning = false;
    state_.pageRequested = false;
    state_.connected = false;
    if (wasRepair) {
        state_.databaseLoaded = loadedBeforeRepair_;
        // A pending stop is still reported as the stop of a repair.
        if (!job.link.Stopped())
            state_.repairing = false;
    } else {
        // Whatever a broken scan or preview left in the model is not trusted.
        DiscardScan();
        state_.databaseLoaded = false;
    }
    try {
        job.link.Progress(kProgressEnd);
        if (wasRepair)
            job.link.Send(UM_REPAIR_STATE, 0, 1);
        else
            job.link.Send(UM_CLEAR_TREE);
        job.link.Log(kJobFailedText + what);
        job.link.Blank();
    } catch (...) {
        // The front end could not take the report either.
    }
}

void JobDriver::DiscardScan()
{
    ResetScanState(engine_, state_);
    state_.pageRequested = false;
    state_.selectedObjectName.clear();
    engine_.model.ResetSchemaModel();
    engine_.pageLists.clear();
    engine_.tableCount = 0;
    engine_.viewCount = 0;
    engine_.indexCount = 0;
}

}  // namespace ravelin::job
