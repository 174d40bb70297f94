#include "cli/scancommand.h"

#include "cli/consoleframe.h"
#include "cli/jobrun.h"
#include "extract/recordextraction.h"
#include "job/jobdriver.h"
#include "job/logreport.h"

namespace ravelin::cli {

int RunScanCommand(const ScanOptions& options, ScanStreams& streams)
{
    ConsoleFrame console(streams.out, streams.err, streams.showProgress);
    ConsoleDialogs dialogs(streams.err);
    job::JobDriver driver(console, dialogs);
    // The scan ends with the record count of every table, through the same
    // extraction steps as the other commands.
    extract::RecordExtraction extraction;
    driver.SetExtractionSteps(extraction);
    console.Attach(driver.State(), driver.Engine());
    console.onLogLine = streams.onLogLine;
    console.AppendLine(job::kLogHeaderLine);

    int code = kExitError;
    {
        InterruptGuard interrupt(driver.State().stopRequested);
        code = ScanAndWait(driver, options.file, streams.err);
    }
    return SaveReport(options.reportPath, console.Lines(), streams.err, code);
}

}  // namespace ravelin::cli
