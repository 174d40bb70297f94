#include "ui/jobcontrolimpl.h"

#include <QCoreApplication>
#include <QThread>

#include "job/messagedialog.h"

namespace ravelin::ui {

JobControlImpl::JobControlImpl(job::Frame& frame, job::WorkerDialogs& dialogs) : driver(frame, dialogs)
{
    driver.SetExtractionSteps(extraction);
    driver.SetTargetWriter(targetWriter);
}

JobControlImpl::~JobControlImpl()
{
    driver.RequestStop();
    WaitIdle();
}

void JobControlImpl::WaitIdle()
{
    // The worker may be waiting in a send to this thread: keep serving it.
    while (driver.Busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    driver.Wait();
}

bool JobControlImpl::StartScan(const std::string& path, const std::string& name)
{
    return driver.StartScan(path, name);
}

bool JobControlImpl::StartPreview(PreviewKind kind, const std::string& objectName)
{
    const job::PreviewKind driverKind = kind == PreviewKind::Table  ? job::PreviewKind::Table
                                        : kind == PreviewKind::View ? job::PreviewKind::View
                                                                    : job::PreviewKind::Index;
    return driver.StartPreview(driverKind, objectName);
}

bool JobControlImpl::StartPage(bool forward)
{
    return driver.StartPage(forward);
}

bool JobControlImpl::StartRepair(std::vector<std::string> names)
{
    if (driver.Busy())
        return false;
    repairNames = std::move(names);
    // The target and the account come from the connection dialog, which the
    // worker opens; every statement is committed on its own.
    writer::RepairOptions options;
    options.repairNames = repairNames;
    targetWriter.SetOptions(std::move(options));
    return driver.StartRepair();
}

bool JobControlImpl::RequestStop()
{
    return driver.RequestStop();
}

MessageChoice JobControlImpl::ChooseMessage(const std::string& ownText, bool closeConfirmation)
{
    job::RecoveryEngine& engine = driver.Engine();
    if (closeConfirmation)
        engine.closeConfirmation = true;
    const job::MessageDialogContent content = job::OpenMessageDialog(engine, ownText);
    return {content.text, content.buttons};
}

void JobControlImpl::ReleaseScan()
{
    if (driver.Busy())
        return;
    job::ResetScanState(driver.Engine(), driver.State());
    driver.Engine().model.ResetSchemaModel();
}

PagingFacts JobControlImpl::Paging()
{
    const job::RecoveryEngine& engine = driver.Engine();
    PagingFacts facts;
    facts.previewPage = engine.previewPage;
    facts.onLastDataPage =
        !engine.dataPageNumbers.empty() && engine.currentDataPage + 1 == engine.dataPageNumbers.size();
    // The engine keeps no count of the slots left on the current page; the
    // record walk reports the end of a table only once the last page has
    // none left, which is what the count then holds.
    facts.slotsLeft = 0;
    return facts;
}

}  // namespace ravelin::ui
