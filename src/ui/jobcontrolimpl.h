#pragma once

// The job control of the application: the recovery job driver, reporting to
// the main frame through the worker bridge.

#include <memory>
#include <string>
#include <vector>

#include "extract/recordextraction.h"
#include "job/jobdriver.h"
#include "ui/jobcontrol.h"
#include "writer/recordtransfer.h"
#include "writer/repairjob.h"

namespace ravelin::ui {

class JobControlImpl final : public JobControl {
public:
    JobControlImpl(job::Frame& frame, job::WorkerDialogs& dialogs);
    // Stops a running job and lets it finish: its last messages still reach
    // the windows, so the event loop keeps running until the worker is done.
    ~JobControlImpl() override;

    job::JobDriver& Driver() { return driver; }
    // The names the last repair was started for, in tree order.
    const std::vector<std::string>& RepairNames() const { return repairNames; }

    job::JobState& State() override { return driver.State(); }
    job::RecoveryEngine& Engine() override { return driver.Engine(); }
    bool StartScan(const std::string& path, const std::string& name) override;
    bool StartPreview(PreviewKind kind, const std::string& objectName) override;
    bool StartPage(bool forward) override;
    bool StartRepair(std::vector<std::string> names) override;
    bool RequestStop() override;
    MessageChoice ChooseMessage(const std::string& ownText, bool closeConfirmation) override;
    void ReleaseScan() override;
    PagingFacts Paging() override;

    // Runs the event loop until no job runs.
    void WaitIdle();

private:
    // The record walks and the target side live as long as the driver and
    // are declared first, so that the driver (which stops its job) goes first.
    extract::RecordExtraction extraction;
    writer::RecordTransfer transfer;
    writer::TargetWriterImpl targetWriter{transfer};
    job::JobDriver driver;
    std::vector<std::string> repairNames;
};

}  // namespace ravelin::ui
