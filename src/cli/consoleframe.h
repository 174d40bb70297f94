#pragma once

// The command line's stand-in for the main window: prints every log line to
// the output as the log pane would show it, keeps the lines for the report,
// draws the progress bar on the error stream, and answers the worker's
// dialogs without asking anyone.
//
// Handlers run on the recovery worker while it waits in its send; the main
// thread only waits for the job, so nothing here needs a lock.

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "job/frame.h"
#include "job/jobstate.h"
#include "job/recoveryengine.h"

namespace ravelin::cli {

class ConsoleFrame final : public job::Frame {
public:
    // out receives the log lines; err the progress bar when showProgress.
    ConsoleFrame(std::ostream& out, std::ostream& err, bool showProgress);

    // The job state and engine the handlers read; before the first job.
    void Attach(const job::JobState& state, job::RecoveryEngine& engine);
    // Appends text as a log line without a worker (the log's header line).
    void AppendLine(const std::string& text);

    std::intptr_t Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

    // Called with every line after it was printed (on the thread that sent it).
    std::function<void(const std::string&)> onLogLine;

    // Every line appended so far, in order.
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    void DrawProgress();
    void ClearProgress();

    std::ostream& out_;
    std::ostream& err_;
    bool showProgress_;
    const job::JobState* state_ = nullptr;
    job::RecoveryEngine* engine_ = nullptr;
    std::vector<std::string> lines_;

    // The progress bar: shown between a start and an end.
    bool barActive_ = false;
    bool barDrawn_ = false;
    std::string barLabel_;
    std::int64_t barUpper_ = 0;
    std::int64_t barPosition_ = 0;
    int barPercentShown_ = -1;
    std::chrono::steady_clock::time_point barStartedAt_;
    std::chrono::steady_clock::time_point barDrawnAt_;
};

// Dialog answers of an unattended run: every message goes to err and is
// answered with OK (Yes); the target login is cancelled.
class ConsoleDialogs final : public job::WorkerDialogs {
public:
    explicit ConsoleDialogs(std::ostream& err) : err_(err) {}
    int ShowMessageDialog(const std::string& text, job::MessageButtons buttons) override;
    int ShowMessageOk(const std::string& text) override;
    int ShowConnectionDialog(job::ConnectionAnswer& answer) override;

private:
    std::ostream& err_;
};

}  // namespace ravelin::cli
