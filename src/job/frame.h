#pragma once

// Worker-to-window messages. A worker writes the shared field a message needs
// (currentLogLine, valueText, ...) and then sends the message; Send blocks the
// worker until the receiver has run the handler on its own thread, so the
// handler reads the field while the worker waits and no lock is needed.
// Handlers never wait for the worker.
//
// Header-only: the reader, catalogue and extraction layers report through
// these interfaces without depending on the job driver.

#include <atomic>
#include <cstdint>
#include <string>

namespace ravelin::job {

// Message numbers: WM_USER (1024) plus an offset; 1135 is not used.
enum Message : std::uint32_t {
    UM_FILL_TREE = 1125,
    UM_GRID_COLUMNS = 1126,
    UM_CLEAR_TREE = 1127,
    UM_GRID_CELL = 1128,
    UM_TAB_SELECTED = 1129,
    UM_PAGING_STATE = 1130,
    UM_PROGRESS = 1131,
    UM_LOG_LINE = 1132,
    UM_SEARCH_PROGRESS = 1133,
    UM_SEARCH_RESULTS = 1134,
    UM_RESET_VIEW = 1136,
    UM_VIEW_PROPERTIES = 1137,
    UM_TABLE_PROPERTIES = 1138,
    UM_INDEX_PROPERTIES = 1139,
    UM_TABLE_KEYS = 1140,
    UM_PAGING_OFF = 1141,
    UM_MARK_REPAIRED = 1142,
    UM_FIND_ITEM = 1143,
    UM_SKIP_DIALOG = 1144,
    UM_REPAIR_STATE = 1145,
};

// UM_PROGRESS wParam values.
inline constexpr std::uintptr_t kProgressStart = 1;
inline constexpr std::uintptr_t kProgressStep = 2;
inline constexpr std::uintptr_t kProgressEnd = 3;

// The receiver of worker messages (the main frame, or the command line).
class Frame {
public:
    virtual ~Frame() = default;
    // Runs the handler of message and yields its result. Called from a worker
    // thread; returns only after the handler has run.
    virtual std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// Dialog answers: 1 Yes/OK, 2 No/Cancel.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerNo = 2;

// Which buttons a message dialog offers.
enum class MessageButtons { Ok, YesNo };

// Login values of the target database, as the connection dialog yields them.
struct ConnectionAnswer {
    std::string targetPath;
    std::string userName;
    std::string password;
    // The user chose an exact restore (own column types, real blobs,
    // generators) instead of the salvage repair.
    bool exactRestore = false;
};

// The modal dialogs a worker opens. Each call blocks the worker until the
// user (or the command line) has answered.
class WorkerDialogs {
public:
    virtual ~WorkerDialogs() = default;
    // The message dialog with the given text; yields 1 (Yes/OK) or 2 (No).
    virtual int ShowMessageDialog(const std::string& text, MessageButtons buttons) = 0;
    // The OK box showing text.
    virtual int ShowMessageOk(const std::string& text) = 0;
    // The OK box showing a warning: text says what went wrong, its first
    // line a summary, each further line one thing. A front end without a
    // look of its own for warnings shows it as its OK box.
    virtual int ShowWarning(const std::string& text) { return ShowMessageOk(text); }
    // The target database and login dialog; yields 1 with answer filled, or 2.
    virtual int ShowConnectionDialog(ConnectionAnswer& answer) = 0;
};

// What the reader, catalogue and extraction layers need of the job: the
// frame to report to, the stop flag to poll, and the log line to fill.
struct WorkerLink {
    Frame& frame;
    const std::atomic<bool>& stopRequested;
    std::string& currentLogLine;

    bool Stopped() const { return stopRequested.load(std::memory_order_relaxed); }
    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0)
    {
        return frame.Send(message, wParam, lParam);
    }
    void Progress(std::uintptr_t phase, std::intptr_t upperBound = 0) { frame.Send(UM_PROGRESS, phase, upperBound); }
    // Logs text (an empty text appends a blank separator line).
    void Log(std::string text)
    {
        currentLogLine = std::move(text);
        frame.Send(UM_LOG_LINE, 0, 0);
    }
    void Blank() { Log(std::string()); }
};

}  // namespace ravelin::job
