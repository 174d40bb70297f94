#pragma once

// The message dialog: one dialog whose text and buttons follow the engine's
// one-shot flags, first set flag wins. Front ends show it through their
// WorkerDialogs; the choice of text and the clearing of the flags live here
// so every front end behaves alike.

#include <string>

#include "job/frame.h"
#include "job/recoveryengine.h"

namespace ravelin::job {

inline constexpr const char* kInvalidFileText = "Invalid Database File.";
inline constexpr const char* kCloseConfirmationText = "Do you want to close Application?";
inline constexpr const char* kFileInUseText = "Cannot open the file because it is being used by another process.";
// Logged after the invalid-file message: why the file was refused.
inline constexpr const char* kNoPageSizeText =
    "No page size could be found: the file is not a database, or too few of its pages can be read.";
inline constexpr const char* kRepairSucceededText = "Repair process completed successfully.";
inline constexpr const char* kConnectionFailedText = "Connection failed";

struct MessageDialogContent {
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
};

// Chooses what the dialog shows as it opens: the text of the first set flag
// among invalidFile, closeConfirmation, fileInUse, repairSucceeded and
// connectionFailed, else ownText. Clears the flag it chose, except
// fileInUse, which its caller clears once the user has confirmed.
MessageDialogContent OpenMessageDialog(RecoveryEngine& engine, const std::string& ownText);

// Opens the dialog through dialogs and yields the answer (1 Yes/OK, 2 No).
int ShowMessageDialog(RecoveryEngine& engine, WorkerDialogs& dialogs, const std::string& ownText = {});

}  // namespace ravelin::job
