#include "cli/scancommand.h"

#include <atomic>
#include <filesystem>

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

    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(options.file, error);
    if (error)
        path = options.file;
    const std::string name = path.filename().string();

    {
        InterruptGuard interrupt(driver.State().stopRequested);
        if (!driver.StartScan(path.string(), name)) {
            streams.err << "ravelin-cli: the scan could not be started\n";
            return kExitError;
        }
        driver.Wait();
    }

    int code = ExitCodeOf(driver.Outcome());
    if (!options.reportPath.empty()) {
        std::string reportError;
        if (!job::WriteLogReport(options.reportPath, console.Lines(), reportError)) {
            streams.err << "ravelin-cli: " << reportError << '\n';
            code = kExitError;
        }
    }
    return code;
}

}  // namespace ravelin::cli
