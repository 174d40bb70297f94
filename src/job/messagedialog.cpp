#include "job/messagedialog.h"

namespace ravelin::job {

MessageDialogContent OpenMessageDialog(RecoveryEngine& engine, const std::string& ownText)
{
    if (engine.invalidFile) {
        engine.invalidFile = false;
        return {kInvalidFileText, MessageButtons::Ok};
    }
    if (engine.closeConfirmation) {
        engine.closeConfirmation = false;
        return {kCloseConfirmationText, MessageButtons::YesNo};
    }
    if (engine.fileInUse)
        return {kFileInUseText, MessageButtons::Ok};
    if (engine.repairSucceeded) {
        engine.repairSucceeded = false;
        return {kRepairSucceededText, MessageButtons::Ok};
    }
    if (engine.connectionFailed) {
        engine.connectionFailed = false;
        return {kConnectionFailedText, MessageButtons::Ok};
    }
    return {ownText, MessageButtons::Ok};
}

int ShowMessageDialog(RecoveryEngine& engine, WorkerDialogs& dialogs, const std::string& ownText)
{
    const MessageDialogContent content = OpenMessageDialog(engine, ownText);
    return dialogs.ShowMessageDialog(content.text, content.buttons);
}

}  // namespace ravelin::job
