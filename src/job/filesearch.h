#pragma once

// The file search: finds InterBase database files (*.ib, *.gdb in any letter
// case) below a start folder on the search worker, CSearchThread, and reports
// to the file selection dialog with UM_SEARCH_PROGRESS and UM_SEARCH_RESULTS.
// Every send blocks the worker until the dialog has run the handler, so the
// handler of UM_SEARCH_RESULTS reads the results while the worker waits.
//
// Hidden entries (names beginning with ".") are passed over, folders and
// files alike. Symbolic links to folders are never followed, no folder is
// visited twice, and the walk does not enter pseudo file systems (proc,
// sysfs, ...) mounted below the start folder; the start folder itself is
// always searched.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "job/frame.h"
#include "job/searchroots.h"

namespace ravelin::job {

// One search result: five texts, in the order of the result list's columns.
struct FILEPROP {
    std::string path;      // folder and file name
    std::string size;      // whole kilobytes: the size in bytes / 1024, truncated, in decimal
    std::string modified;  // local time in the user's format; empty when unknown (see FileTimeText)
    std::string created;
    std::string accessed;
};

// The search state the dialog and the worker share. The flags are written by
// the dialog's thread and polled by the worker; results is written by the
// worker and read by the dialog only inside UM_SEARCH_RESULTS.
struct SearchState {
    std::atomic<bool> searchRunning{false};
    std::atomic<bool> searchStop{false};
    std::vector<FILEPROP> results;
};

// UM_SEARCH_PROGRESS: (kSearchProgressRange, kSearchProgressStart) shows the
// dialog's bar with range 1..wParam and step 2 and advances it one step;
// (0, kSearchProgressStep) advances it; (0, kSearchProgressEnd) sets it to 10
// and hides it.
inline constexpr std::uintptr_t kSearchProgressRange = 500;
inline constexpr std::intptr_t kSearchProgressStart = 1;
inline constexpr std::intptr_t kSearchProgressStep = 2;
inline constexpr std::intptr_t kSearchProgressEnd = 3;

inline constexpr const char* kSearchAbortedText = "Process aborted by user.";

// Formats a local time for the result list.
using TimeFormatter = std::function<std::string(const std::tm& localTime)>;

// The C library's date and time of the current locale ("%x %X").
std::string DefaultTimeText(const std::tm& localTime);

// The text of a file time given in seconds since 1970 (UTC): empty when it
// cannot be converted to local time or is not later than midnight at the
// start of 30 December 1899 local time; otherwise format(local time).
std::string FileTimeText(std::int64_t seconds, const TimeFormatter& format);

// The size column: bytes / 1024, truncated, in decimal (64-bit).
std::string SizeText(std::uint64_t bytes);

// *.ib or *.gdb, without regard to letter case.
bool IsDatabaseFileName(std::string_view name);
// A name beginning with "." (hidden by convention).
bool IsHiddenName(std::string_view name);

struct SearchParams {
    std::string startPath;
    bool subfolders = true;
    // The time format of the result list; empty: DefaultTimeText.
    TimeFormatter formatTime;
    // The mount table, to keep the walk out of pseudo file systems.
    std::vector<MountPoint> mounts;
};

// What the worker reports to: the dialog (messages and the OK box), the log
// line that carries the box's text, and the shared search state.
struct SearchLink {
    Frame& dialog;
    WorkerDialogs& dialogs;
    std::string& currentLogLine;
    SearchState& state;
};

// The search worker's body, run on the calling thread:
//  1. UM_SEARCH_PROGRESS (500, 1).
//  2. Unless stopped: with subfolders, the folder list is the start folder
//     and every folder below it, depth first, names in ascending order
//     (each entry examined sends a progress step); without, only the start
//     folder. Each folder is searched in list order; the stop flag is polled
//     before each folder (a stop sends (0, 3) and ends the visits) and
//     before each file found (a step, then a FILEPROP appended).
//  3. UM_SEARCH_RESULTS (0, 0), also after a stop, so the dialog restores
//     its controls. Not stopped: (0, 3), searchRunning cleared, end.
//  4. Stopped: the stop flag cleared, (0, 3), the results freed,
//     "Process aborted by user." shown in the OK box through currentLogLine,
//     which is emptied afterwards, and searchRunning cleared.
// A folder that cannot be listed contributes nothing.
void RunSearch(const SearchParams& params, SearchLink link);

// The search worker: one thread per search.
class CSearchThread {
public:
    CSearchThread() = default;
    ~CSearchThread() { Join(); }
    CSearchThread(const CSearchThread&) = delete;
    CSearchThread& operator=(const CSearchThread&) = delete;

    // Sets searchRunning and runs RunSearch on a new thread (joining the
    // previous one first). The link's objects must outlive the search.
    void Start(SearchParams params, SearchLink link);
    // Waits for the thread; does nothing when none runs.
    void Join();

private:
    std::thread thread_;
};

}  // namespace ravelin::job
