#include "cli/cli.h"

#include <string>

#include <CLI/CLI.hpp>

#include "cli/extractcommands.h"
#include "cli/repaircommand.h"
#include "cli/scancommand.h"
#include "cli/schemacommand.h"
#include "ods/textcodec.h"

namespace ravelin::cli {
namespace {

constexpr const char* kExitCodesText =
    "Exit codes:\n"
    "  0  the scan completed\n"
    "  1  usage error, or the job failed, or the report could not be written\n"
    "  2  the file is not a database the reader recognises (\"Invalid Database File.\")\n"
    "  3  the file is in use: another process (a running database server) holds it locked\n"
    "  4  the scan was stopped with Ctrl-C (a second Ctrl-C ends the program at once)";

// The program's own list adds the code only a repair ends with.
constexpr const char* kRepairOnlyExitCodeText =
    "\n  5  repair only: the repair ran to its end but did not copy everything (see repair --help)";

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progressOnErr)
{
    CLI::App app{
        "Ravelin reads a damaged InterBase database file directly, without a database server, and rebuilds "
        "its schema. The file is only ever read, never written.",
        "ravelin-cli"};
    app.footer(std::string(kExitCodesText) + kRepairOnlyExitCodeText);
    app.require_subcommand(1);

    ScanOptions options;
    std::string codePage;
    CLI::App* scan = app.add_subcommand(
        "scan", "Scan a database file: log its size, detect its page size, rebuild the schema and print the log.");
    scan->footer(kExitCodesText);
    scan->add_option("FILE", options.file, "The database file to scan (opened read-only)")->required();
    scan->add_option("--codepage", codePage,
                     "Single-byte code page of the texts stored in the file (default WIN1252; e.g. WIN1251, "
                     "ISO-8859-2)");
    scan->add_option("--log", options.reportPath,
                     "Also save the log as a report file: UTF-16LE, no byte-order mark, CR LF line ends; an "
                     "existing file is replaced");

    PreviewOptions preview;
    CLI::App* previewCommand = app.add_subcommand(
        "preview", "Scan a database file, then print a table's records as the record grid shows them, 100 per page.");
    previewCommand->footer(kExitCodesText);
    previewCommand->add_option("FILE", preview.file, "The database file (opened read-only)")->required();
    previewCommand->add_option("TABLE", preview.table, "The table (letter case ignored)")->required();
    CLI::Option* pageOption =
        previewCommand->add_option("--page", preview.page, "The preview page to print (0 = the first, the default)");
    previewCommand->add_flag("--all", preview.all, "Print every page, one after the other")->excludes(pageOption);
    previewCommand->add_flag("--json", preview.json, "Print {\"columns\":[...],\"rows\":[[...],...]} instead of tab-separated lines");
    previewCommand->add_option("--codepage", codePage, "Single-byte code page of the stored texts (default WIN1252)");

    std::string recordFile;
    std::string recordTable;
    CLI::App* countCommand = app.add_subcommand(
        "count", "Scan a database file and print the record count of every table, as the scan's log ends.");
    countCommand->footer(kExitCodesText);
    countCommand->add_option("FILE", recordFile, "The database file (opened read-only)")->required();

    CLI::App* insertsCommand = app.add_subcommand(
        "inserts", "Scan a database file and print the INSERT statements a repair would execute for a table, one "
                   "per record.");
    insertsCommand->footer(kExitCodesText);
    insertsCommand->add_option("FILE", recordFile, "The database file (opened read-only)")->required();
    insertsCommand->add_option("TABLE", recordTable, "The table (letter case ignored)")->required();
    insertsCommand->add_option("--codepage", codePage, "Single-byte code page of the stored texts (default WIN1252)");
    SchemaOptions schemaOptions;
    CLI::App* schema = app.add_subcommand(
        "schema", "Scan a database file without counting its records and print the schema it rebuilt.");
    schema->footer(kExitCodesText);
    schema->add_option("FILE", schemaOptions.file, "The database file to scan (opened read-only)")->required();
    schema->add_flag("--json", schemaOptions.json, "Print the schema as JSON");
    schema->add_option("--codepage", codePage, "Single-byte code page of the texts stored in the file (as for scan)");

    RepairCommandOptions repairOptions;
    CLI::App* repairCommand = AddRepairCommand(app, repairOptions, codePage);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitCompleted : kExitError;
    }

    if (!codePage.empty() && !ods::SetCodePage(codePage)) {
        err << "ravelin-cli: --codepage: \"" << codePage
            << "\" is not a single-byte code page this system knows (expected a name such as WIN1252, "
               "WIN1251 or ISO-8859-2)\n";
        return kExitError;
    }

    RecordCommandStreams recordStreams{out, err, progressOnErr};
    if (previewCommand->parsed())
        return RunPreviewCommand(preview, recordStreams);
    if (countCommand->parsed())
        return RunCountCommand(recordFile, recordStreams);
    if (insertsCommand->parsed())
        return RunInsertsCommand(recordFile, recordTable, recordStreams);
    if (scan->parsed()) {
        ScanStreams streams{out, err, progressOnErr, {}};
        return RunScanCommand(options, streams);
    }
    if (schema->parsed())
        return RunSchemaCommand(schemaOptions, out, err, progressOnErr);
    if (repairCommand->parsed()) {
        ScanStreams streams{out, err, progressOnErr, {}};
        return RunRepairCommand(repairOptions, streams);
    }
    return kExitError;
}

}  // namespace ravelin::cli
