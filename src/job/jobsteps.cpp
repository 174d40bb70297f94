#include "job/jobsteps.h"

#include "job/messagedialog.h"

namespace ravelin::job {

void FinishRecordCounting(JobContext& job)
{
    WorkerLink& link = job.link;
    if (job.engine.skipCounting.load()) {
        link.Log("Counting table(s) records process has been skipped");
        link.Log(std::string(62, '-'));
        job.engine.skipCounting.store(false);
    } else {
        link.Send(UM_SKIP_DIALOG, 0, 1);
        link.Log("Counting table(s) records process has been completed");
        link.Log(std::string(66, '-'));
    }
    link.Blank();
}

void CatalogueOnlyExtraction::CountTableRecords(JobContext& job)
{
    if (!job.state.scanning)
        return;
    FinishRecordCounting(job);
}

void UnavailableTargetWriter::AttachTarget(JobContext& job)
{
    job.state.connected = false;
    job.link.Log("Connection Failed.");
    job.link.Log("No target database writer is available: nothing was repaired.");
    job.engine.connectionFailed = true;
    ShowMessageDialog(job.engine, job.dialogs);
}

}  // namespace ravelin::job
