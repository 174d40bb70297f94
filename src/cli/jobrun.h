#pragma once

// What every ravelin-cli command needs around a job: the exit code of its
// outcome, and Ctrl-C turned into the job's stop request.

#include <atomic>
#include <csignal>

#include "cli/scancommand.h"
#include "job/jobdriver.h"

namespace ravelin::cli {

// The process exit code of a finished job.
int ExitCodeOf(job::JobOutcome outcome);

// Routes SIGINT to the stop flag for its lifetime. The handler resets itself
// when it runs, so a second Ctrl-C ends the process the usual way. One guard
// at a time.
class InterruptGuard {
public:
    explicit InterruptGuard(std::atomic<bool>& stopRequested);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction previous_ {};
};

}  // namespace ravelin::cli
