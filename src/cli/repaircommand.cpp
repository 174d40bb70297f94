#include "cli/repaircommand.h"

#include <CLI/CLI.hpp>

#include "cli/consoleframe.h"
#include "cli/jobrun.h"
#include "extract/recordextraction.h"
#include "job/jobdriver.h"
#include "job/logreport.h"
#include "writer/recordtransfer.h"
#include "writer/repairjob.h"

namespace ravelin::cli {
namespace {

template <typename Node>
bool AddNamed(const std::vector<Node>& nodes, const std::vector<std::string>& wanted, const char* option,
              const char* kind, const std::string& file, std::vector<std::string>& names, std::string& error)
{
    for (const std::string& name : wanted) {
        const Node* found = nullptr;
        for (const Node& node : nodes) {
            if (catalogue::EqualsNoCase(node.name, name)) {
                found = &node;
                break;
            }
        }
        if (found == nullptr) {
            std::string known;
            for (const Node& node : nodes)
                known += (known.empty() ? "" : ", ") + node.name;
            error = std::string(option) + ": the scan of " + file + " found no " + kind + " named " + name + " (" +
                    (known.empty() ? std::string("it found none") : "it found " + known) + ")";
            return false;
        }
        names.push_back(found->name);
    }
    return true;
}

constexpr const char* kRepairExitCodesText =
    "Exit codes:\n"
    "  0  the repair completed\n"
    "  1  usage error, an unknown name, a target that could not be created or attached, a repair cut short\n"
    "     (the target stopped answering), or the report could not be written\n"
    "  2  the file is not a database the reader recognises (\"Invalid Database File.\")\n"
    "  3  the file is in use: another process (a running database server) holds it locked\n"
    "  4  the scan or the repair was stopped with Ctrl-C (a second Ctrl-C ends the program at once)\n"
    "  5  the repair ran to its end but did not copy everything: a selected table was not created or\n"
    "     records were not copied (the log ends with one line for each)";

}  // namespace

CLI::App* AddRepairCommand(CLI::App& app, RepairCommandOptions& options, std::string& codePage)
{
    CLI::App* repair = app.add_subcommand(
        "repair", "Scan a damaged database file, then re-create its tables with their records, its views and its "
                  "index statements in a blank target database (the damaged file is only read).");
    repair->footer(kRepairExitCodesText);
    repair->add_option("FILE", options.file, "The damaged database file (opened read-only)")->required();
    repair->add_option("--target", options.target,
                       "The blank target database: a local file (opened by the embedded engine) or host:/path, "
                       "host/port:/path on a Firebird server")
        ->required();
    repair->add_option("--user", options.user, "User name of the target's account (default SYSDBA)")
        ->envname("ISC_USER");
    repair->add_option("--password", options.password, "Password of the target's account")->envname("ISC_PASSWORD");
    repair->add_flag("--create", options.create,
                     "Create the blank target first (SQL dialect 3); refused when the file already exists");
    repair->add_flag("--exact", options.exact,
                     "Exact restore: the domains, every column of its own type or domain in declared order (DATE, "
                     "TIME, BIGINT, BOOLEAN, NUMERIC(p,s), texts with their character set, BLOB with its sub-type, "
                     "arrays with their bounds), computed columns, blob and array values inside their columns "
                     "instead of files; after the data the views from their source, every index, the foreign keys "
                     "and the domains' and tables' CHECK constraints, and the generators with "
                     "their values; exceptions, procedures and triggers written to <target>Procedures.sql (not "
                     "executed). Needs a dialect 3 target. Without it the salvage repair runs");
    repair->add_option("--tables", options.tables,
                       "Tables to repair, separated by commas (letter case ignored). Without --tables, --views "
                       "and --indices every table, view and index is repaired")
        ->delimiter(',');
    repair->add_option("--views", options.views, "Views to re-create, separated by commas")->delimiter(',');
    repair->add_option("--indices", options.indices, "Indices whose statements to write, separated by commas")
        ->delimiter(',');
    repair->add_option("--commit-every", options.commitEvery,
                       "INSERT statements per commit (default 1: each in its own transaction). More is faster; "
                       "a refused record loses only itself either way")
        ->check(CLI::Range(1u, 1000000u));
    repair->add_flag("--text-statements", options.textStatements,
                     "Send each record as its INSERT text (as `inserts` prints it) instead of binding its values "
                     "to one prepared INSERT per table; slower, the same values land");
    repair->add_option("--codepage", codePage, "Single-byte code page of the stored texts (default WIN1252)");
    repair->add_option("--log", options.reportPath,
                       "Also save the log as a report file: UTF-16LE, no byte-order mark, CR LF line ends; an "
                       "existing file is replaced");
    return repair;
}

bool ChooseRepairNames(const catalogue::SchemaModel& model, const RepairCommandOptions& options,
                       std::vector<std::string>& names, std::string& error)
{
    names.clear();
    if (options.tables.empty() && options.views.empty() && options.indices.empty()) {
        for (const catalogue::TableNode& table : model.tables)
            names.push_back(table.name);
        for (const catalogue::ViewNode& view : model.views)
            names.push_back(view.name);
        for (const catalogue::IndexNode& index : model.indices)
            names.push_back(index.name);
        return true;
    }
    return AddNamed(model.tables, options.tables, "--tables", "table", options.file, names, error) &&
           AddNamed(model.views, options.views, "--views", "view", options.file, names, error) &&
           AddNamed(model.indices, options.indices, "--indices", "index", options.file, names, error);
}

int RunRepairCommand(const RepairCommandOptions& options, ScanStreams& streams)
{
    ConsoleFrame console(streams.out, streams.err, streams.showProgress);
    ConsoleDialogs dialogs(streams.err);
    job::JobDriver driver(console, dialogs);
    extract::RecordExtraction extraction;
    driver.SetExtractionSteps(extraction);
    writer::RecordTransfer transfer;
    writer::TargetWriterImpl targetWriter(transfer);
    driver.SetTargetWriter(targetWriter);
    console.Attach(driver.State(), driver.Engine());
    console.onLogLine = streams.onLogLine;
    console.AppendLine(job::kLogHeaderLine);

    int code = kExitError;
    {
        InterruptGuard interrupt(driver.State().stopRequested);
        code = ScanAndWait(driver, options.file, streams.err);
        if (code == kExitCompleted) {
            writer::RepairOptions repair;
            std::string namesError;
            if (!ChooseRepairNames(driver.Engine().model, options, repair.repairNames, namesError)) {
                streams.err << "ravelin-cli: " << namesError << '\n';
                code = kExitError;
            } else {
                repair.cadence.statementsPerCommit = options.commitEvery == 0 ? 1 : options.commitEvery;
                repair.cadence.textStatements = options.textStatements;
                repair.login = writer::TargetLogin{options.target, options.user, options.password};
                repair.createTarget = options.create;
                repair.exactRestore = options.exact;
                targetWriter.SetOptions(std::move(repair));
                if (!driver.StartRepair()) {
                    streams.err << "ravelin-cli: the repair could not be started\n";
                    return kExitError;
                }
                driver.Wait();
                code = ExitCodeOf(driver.Outcome());
            }
        }
    }

    return SaveReport(options.reportPath, console.Lines(), streams.err, code);
}

}  // namespace ravelin::cli
