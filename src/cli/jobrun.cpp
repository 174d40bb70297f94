#include "cli/jobrun.h"

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
    default:
        return kExitError;
    }
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
