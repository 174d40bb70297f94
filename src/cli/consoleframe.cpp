#include "cli/consoleframe.h"

#include <algorithm>
#include <chrono>

#include "job/jobdriver.h"
#include "ods/textcodec.h"

namespace ravelin::cli {
namespace {
constexpr int kBarWidth = 40;
}

ConsoleFrame::ConsoleFrame(std::ostream& out, std::ostream& err, bool showProgress)
    : out_(out), err_(err), showProgress_(showProgress)
{
}

void ConsoleFrame::Attach(const job::JobState& state, job::RecoveryEngine& engine)
{
    state_ = &state;
    engine_ = &engine;
}

void ConsoleFrame::AppendLine(const std::string& line)
{
    // Texts from the file in a log line are shown escaped (ods::ShownText),
    // on the terminal and in the report alike.
    const std::string text = ods::ShownText(line);
    ClearProgress();
    lines_.push_back(text);
    out_ << text << '\n';
    out_.flush();
    DrawProgress();
    if (onLogLine)
        onLogLine(text);
}

std::intptr_t ConsoleFrame::Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case job::UM_LOG_LINE:
        AppendLine(state_ ? state_->currentLogLine : std::string());
        return 0;
    case job::UM_FILL_TREE:
        if (engine_)
            job::CountTreeObjects(*engine_);
        return 0;
    case job::UM_PROGRESS:
        // The bar shows the share of the announced steps taken so far (the
        // start counts as the first).
        if (wParam == job::kProgressStart) {
            ClearProgress();
            barActive_ = true;
            barLabel_ = state_ && state_->scanning    ? "Scanning"
                        : state_ && state_->repairing ? "Repairing " + ods::ShownText(state_->repairedTableName)
                                                      : "Processing";
            barStartedAt_ = std::chrono::steady_clock::now();
            barUpper_ = std::max<std::int64_t>(lParam, 1);
            barPosition_ = 1;
            DrawProgress();
        } else if (wParam == job::kProgressStep && barActive_) {
            barPosition_ = std::min(barPosition_ + 1, barUpper_);
            DrawProgress();
        } else if (wParam == job::kProgressEnd) {
            ClearProgress();
            barActive_ = false;
        }
        return 0;
    case job::UM_CLEAR_TREE:
    case job::UM_RESET_VIEW:
        return 1;
    default:
        return 0;
    }
}

void ConsoleFrame::DrawProgress()
{
    if (!showProgress_ || !barActive_)
        return;
    // A table being copied: the share of its data pages walked, the records
    // copied of those met so far, the rate and the time left.
    const bool copying = state_ && state_->repairing && engine_ && !engine_->dataPageNumbers.empty();
    const auto now = std::chrono::steady_clock::now();
    int percent = static_cast<int>(barPosition_ * 100 / barUpper_);
    double done = 0;
    if (copying) {
        done = static_cast<double>(engine_->currentDataPage) / static_cast<double>(engine_->dataPageNumbers.size());
        percent = static_cast<int>(done * 100);
    }
    if (barDrawn_ && percent == barPercentShown_ && (!copying || now - barDrawnAt_ < std::chrono::milliseconds(250)))
        return;
    const int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
    err_ << '\r' << barLabel_ << "    [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << percent << '%';
    if (copying) {
        const double seconds = std::chrono::duration<double>(now - barStartedAt_).count();
        err_ << "  " << engine_->recordsRecovered << " of " << engine_->recordsPresent << " records copied";
        if (seconds >= 1) {
            err_ << ", " << static_cast<std::uint64_t>(engine_->recordsRecovered / seconds) << "/s";
            if (done > 0.01) {
                const auto left = static_cast<std::uint64_t>(seconds * (1 - done) / done);
                err_ << ", " << left / 60 << ':' << (left % 60 < 10 ? "0" : "") << left % 60 << " left";
            }
        }
        err_ << "\033[K";
    }
    err_.flush();
    barDrawn_ = true;
    barDrawnAt_ = now;
    barPercentShown_ = percent;
}

void ConsoleFrame::ClearProgress()
{
    if (!barDrawn_)
        return;
    err_ << "\r\033[K";
    err_.flush();
    barDrawn_ = false;
    barPercentShown_ = -1;
}

int ConsoleDialogs::ShowMessageDialog(const std::string& text, job::MessageButtons)
{
    err_ << text << '\n';
    err_.flush();
    return job::kAnswerOk;
}

int ConsoleDialogs::ShowMessageOk(const std::string& text)
{
    err_ << text << '\n';
    err_.flush();
    return job::kAnswerOk;
}

int ConsoleDialogs::ShowConnectionDialog(job::ConnectionAnswer&)
{
    return job::kAnswerNo;
}

}  // namespace ravelin::cli
