#pragma once

// The job state shared by the windows and the recovery worker. Starters
// change it only while busy is clear; the worker writes the shared texts only
// right before a blocking send, so the receiving thread reads them while the
// worker waits. The flags the other thread writes while a job runs
// (stopRequested, skipCounting) and busy are atomic.

#include <atomic>
#include <string>

namespace ravelin::job {

struct JobState {
    std::atomic<bool> busy{false};
    bool scanning = false;
    bool repairing = false;
    // The repair is an exact restore: own column types, real blobs,
    // generators (set by the target writer for the run).
    bool exactRestore = false;
    bool previewRequested = false;
    bool pageRequested = false;
    bool tableSelected = false;
    bool viewSelected = false;
    bool indexSelected = false;
    std::atomic<bool> stopRequested{false};
    bool connected = false;
    bool databaseLoaded = false;

    std::string currentLogLine;
    std::string databasePath;
    std::string databaseName;
    std::string selectedObjectName;
    std::string repairedTableName;

    // Grid cell hand-over of the record preview.
    std::string valueText;
    bool recordDamaged = false;

    // Next Record(s) clicks since the object was selected.
    std::uint64_t forwardSteps = 0;
    // The right view shows a filled grid.
    bool rightViewFilled = false;
    // The find dialog's Match Case box.
    bool matchCase = false;
};

}  // namespace ravelin::job
