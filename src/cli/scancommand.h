#pragma once

// The scan command of ravelin-cli: runs one scan job through the job driver
// and turns its outcome into the process exit code.

#include <functional>
#include <ostream>
#include <string>

namespace ravelin::cli {

// Exit codes of ravelin-cli.
enum ExitCode : int {
    kExitCompleted = 0,
    kExitError = 1,        // bad arguments, a failed job, a report that could not be written
    kExitInvalidFile = 2,  // the file is not a database the reader recognises
    kExitFileInUse = 3,    // another process holds the file locked
    kExitAborted = 4,      // stopped with Ctrl-C
    kExitIncomplete = 5,   // a repair ran to its end without copying everything
};

struct ScanOptions {
    std::string file;        // the database file to scan
    std::string reportPath;  // where to save the log report; empty: none
};

struct ScanStreams {
    std::ostream& out;  // the log lines
    std::ostream& err;  // dialog messages, errors and the progress bar
    bool showProgress = false;
    // Called on the worker with every log line as it is printed.
    std::function<void(const std::string&)> onLogLine;
};

// Scans options.file with the code page already configured. While the scan
// runs, SIGINT requests a stop; a second SIGINT ends the process.
int RunScanCommand(const ScanOptions& options, ScanStreams& streams);

}  // namespace ravelin::cli
