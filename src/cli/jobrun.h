#pragma once

// What every ravelin-cli command needs around a job: the exit code of its
// outcome, and Ctrl-C turned into the job's stop request.

#include <atomic>
#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "cli/scancommand.h"
#include "job/jobdriver.h"

namespace ravelin::cli {

// The process exit code of a finished job.
int ExitCodeOf(job::JobOutcome outcome);

// Scans file (under its absolute path where one can be formed) and waits for
// the scan to end; yields its exit code, kExitError when it could not start
// (said on err).
int ScanAndWait(job::JobDriver& driver, const std::string& file, std::ostream& err);

// Saves the log lines as a report at path when one is asked for; yields code,
// or kExitError when the report could not be written (said on err).
int SaveReport(const std::string& path, const std::vector<std::string>& lines, std::ostream& err, int code);

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
