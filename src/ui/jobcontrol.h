#pragma once

// What the windows need of the recovery jobs: the shared job state and
// engine, the job starters and the stop request. The application runs the
// real recovery worker behind it; window tests put a fake in its place that
// records which job would have started.
//
// Every member is called on the user-interface thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "job/frame.h"
#include "job/jobstate.h"
#include "job/recoveryengine.h"

namespace ravelin::ui {

// Text and buttons of the message dialog, chosen from the job flags.
struct MessageChoice {
    std::string text;
    job::MessageButtons buttons = job::MessageButtons::Ok;
};

// The facts of the preview fetch that decide the paging buttons.
struct PagingFacts {
    std::uint64_t previewPage = 0;  // the preview page shown, 0 = first
    bool onLastDataPage = false;    // currentDataPage is the last index of dataPageNumbers
    std::uint16_t slotsLeft = 0;    // slots of the current data page not yet visited
};

enum class PreviewKind { Table, View, Index };

class JobControl {
public:
    virtual ~JobControl() = default;

    virtual job::JobState& State() = 0;
    virtual job::RecoveryEngine& Engine() = 0;

    // Job starters. Each does nothing and yields false while busy is set;
    // otherwise it sets the job kind's flags and busy, starts the worker and
    // yields true.
    // Scan of the file at path, shown in the log and the tree as name.
    virtual bool StartScan(const std::string& path, const std::string& name) = 0;
    // Preview of the table, view or index named objectName, from its first page.
    virtual bool StartPreview(PreviewKind kind, const std::string& objectName) = 0;
    // The next (forward) or previous page of the previewed table; moves
    // previewPage (and counts forwardSteps) itself.
    virtual bool StartPage(bool forward) = 0;
    // Repair of the checked names, in tree order.
    virtual bool StartRepair(std::vector<std::string> names) = 0;

    // The Yes of the stop confirmation; yields false when no job runs.
    virtual bool RequestStop() = 0;

    // The message dialog's first-match flag table: yields the text and
    // buttons for the flags now set (ownText when none is) and clears the
    // one-shot flag it used. closeConfirmation sets the close question's
    // flag first.
    virtual MessageChoice ChooseMessage(const std::string& ownText, bool closeConfirmation = false) = 0;

    // Releases the schema model and the engine's per-scan state (the
    // application is closing).
    virtual void ReleaseScan() = 0;

    virtual PagingFacts Paging() = 0;
};

}  // namespace ravelin::ui
