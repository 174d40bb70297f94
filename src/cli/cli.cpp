#include "cli/cli.h"

#include <string>

#include <CLI/CLI.hpp>

#include "cli/scancommand.h"
#include "cli/schemacommand.h"
#include "ods/textcodec.h"

namespace ravelin::cli {
namespace {

constexpr const char* kExitCodesText =
    "Exit codes:\n"
    "  0  the scan completed\n"
    "  1  usage error, or the job failed, or the report could not be written\n"
    "  2  the file is not a database the reader recognises (\"Invalid Datbase File.\")\n"
    "  3  the file is in use: another process (a running database server) holds it locked\n"
    "  4  the scan was stopped with Ctrl-C (a second Ctrl-C ends the program at once)";

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progressOnErr)
{
    CLI::App app{
        "Ravelin reads a damaged InterBase database file directly, without a database server, and rebuilds "
        "its schema. The file is only ever read, never written.",
        "ravelin-cli"};
    app.footer(kExitCodesText);
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

    SchemaOptions schemaOptions;
    CLI::App* schema = app.add_subcommand(
        "schema", "Scan a database file without counting its records and print the schema it rebuilt.");
    schema->footer(kExitCodesText);
    schema->add_option("FILE", schemaOptions.file, "The database file to scan (opened read-only)")->required();
    schema->add_flag("--json", schemaOptions.json, "Print the schema as JSON");
    schema->add_option("--codepage", codePage, "Single-byte code page of the texts stored in the file (as for scan)");

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

    if (scan->parsed()) {
        ScanStreams streams{out, err, progressOnErr, {}};
        return RunScanCommand(options, streams);
    }
    if (schema->parsed())
        return RunSchemaCommand(schemaOptions, out, err, progressOnErr);
    return kExitError;
}

}  // namespace ravelin::cli
