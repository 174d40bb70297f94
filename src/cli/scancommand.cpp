#include "cli/scancommand.h"

#include <atomic>
#include <csignal>
#include <filesystem>

#include "cli/consoleframe.h"
#include "extract/recordextraction.h"
#include "job/jobdriver.h"
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

// Routes SIGINT to the stop flag for its lifetime. The handler resets itself
// when it runs, so a second Ctrl-C ends the process the usual way.
class InterruptGuard {
public:
    explicit InterruptGuard(std::atomic<bool>& stopRequested)
    {
        interruptTarget.store(&stopRequested);
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptGuard()
    {
        ::sigaction(SIGINT, &previous_, nullptr);
        interruptTarget.store(nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction previous_ {};
};

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
    default:
        return kExitError;
    }
}

}  // namespace

int RunScanCommand(const ScanOptions& options, ScanStreams& streams)
{
    ConsoleFrame console(streams.out, streams.err, streams.showProgress);
    ConsoleDialogs dialogs(streams.err);
    job::JobDriver driver(console, dialogs);
    // The scan ends with the record count of every table, through the same
    // extraction steps as the other commands.
    extract::RecordExtraction extraction;
    driver.SetExtractionSteps(extraction);
    console.Attach(driver.State(), driver.Engine());
    console.onLogLine = streams.onLogLine;
    console.AppendLine(job::kLogHeaderLine);

    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(options.file, error);
    if (error)
        path = options.file;
    const std::string name = path.filename().string();

    {
        InterruptGuard interrupt(driver.State().stopRequested);
        if (!driver.StartScan(path.string(), name)) {
            streams.err << "ravelin-cli: the scan could not be started\n";
            return kExitError;
        }
        driver.Wait();
    }

    int code = ExitCodeOf(driver.Outcome());
    if (!options.reportPath.empty()) {
        std::string reportError;
        if (!job::WriteLogReport(options.reportPath, console.Lines(), reportError)) {
            streams.err << "ravelin-cli: " << reportError << '\n';
            code = kExitError;
        }
    }
    return code;
}

}  // namespace ravelin::cli
