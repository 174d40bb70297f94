#include "cli/jobrun.h"

#include <filesystem>
#include <system_error>

#include "job/logreport.h"

namespace ravelin::cli {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

std::atomic<std::atomic<bool>*> interruptTarget{nullptr};

extern "C" void OnInterrupt(int)
{
    if (std::atomic<bool>* flag = interruptTarget.load())
        flag->store(true);
}

}  // namespace

int ExitCodeOf(job::JobOutcome outcome)
{
    switch (outcome) {
    case job::JobOutcome::Completed:
        return kExitCompleted;
    case job::JobOutcome::InvalidFile:
        return kExitInvalidFile;
    case job::JobOutcome::FileInUse:
        return kExitFileInUse;
    case job::JobOutcome::Aborted:
        return kExitAborted;
    case job::JobOutcome::Incomplete:
        return kExitIncomplete;
    default:
        return kExitError;
    }
}

int ScanAndWait(job::JobDriver& driver, const std::string& file, std::ostream& err)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(file, error);
    if (error)
        path = file;
    if (!driver.StartScan(path.string(), path.filename().string())) {
        err << "ravelin-cli: the scan could not be started\n";
        return kExitError;
    }
    driver.Wait();
    return ExitCodeOf(driver.Outcome());
}

int SaveReport(const std::string& path, const std::vector<std::string>& lines, std::ostream& err, int code)
{
    if (path.empty())
        return code;
    std::string reportError;
    if (!job::WriteLogReport(path, lines, reportError)) {
        err << "ravelin-cli: " << reportError << '\n';
        return kExitError;
    }
    return code;
}

InterruptGuard::InterruptGuard(std::atomic<bool>& stopRequested)
{
    interruptTarget.store(&stopRequested);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(SIGINT, &action, &previous_);
}

InterruptGuard::~InterruptGuard()
{
    ::sigaction(SIGINT, &previous_, nullptr);
    interruptTarget.store(nullptr);
}

}  // namespace ravelin::cli
