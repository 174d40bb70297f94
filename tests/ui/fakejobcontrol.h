#pragma once

// A job control that starts no worker: it records which job a window would
// have started, so tests drive the handlers themselves and check the
// windows' reactions. A start sets busy only when startSetsBusy is set.

#include <string>
#include <vector>

#include "job/messagedialog.h"
#include "ui/jobcontrol.h"

namespace ravelin::ui::testing {

struct StartedJob {
    std::string kind;    // "scan", "preview", "page", "repair"
    std::string detail;  // path, object name, "forward"/"back"
    std::vector<std::string> names;
};

class FakeJobControl final : public JobControl {
public:
    job::JobState state;
    job::RecoveryEngine engine;
    std::vector<StartedJob> starts;
    int stopRequests = 0;
    int releases = 0;
    PagingFacts paging;
    bool startSetsBusy = false;

    job::JobState& State() override { return state; }
    job::RecoveryEngine& Engine() override { return engine; }

    bool StartScan(const std::string& path, const std::string& name) override
    {
        return Record({"scan", path + "|" + name, {}});
    }
    bool StartPreview(PreviewKind kind, const std::string& objectName) override
    {
        const char* kinds[] = {"table", "view", "index"};
        return Record({"preview", std::string(kinds[static_cast<int>(kind)]) + ":" + objectName, {}});
    }
    bool StartPage(bool forward) override
    {
        if (!Record({"page", forward ? "forward" : "back", {}}))
            return false;
        paging.previewPage = static_cast<std::uint16_t>(paging.previewPage + (forward ? 1 : -1));
        return true;
    }
    bool StartRepair(std::vector<std::string> names) override { return Record({"repair", "", std::move(names)}); }
    // Counts every request, late ones included.
    bool RequestStop() override
    {
        ++stopRequests;
        return state.busy;
    }
    MessageChoice ChooseMessage(const std::string& ownText, bool closeConfirmation) override
    {
        engine.closeConfirmation = engine.closeConfirmation || closeConfirmation;
        const job::MessageDialogContent content = job::OpenMessageDialog(engine, ownText);
        return {content.text, content.buttons};
    }
    void ReleaseScan() override { ++releases; }
    PagingFacts Paging() override { return paging; }

private:
    bool Record(StartedJob job)
    {
        if (state.busy)
            return false;
        starts.push_back(std::move(job));
        if (startSetsBusy)
            state.busy = true;
        return true;
    }
};

}  // namespace ravelin::ui::testing
