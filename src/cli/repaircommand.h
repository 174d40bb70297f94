#pragma once

// The repair command of ravelin-cli: scans the damaged file, then repairs
// the chosen tables, views and indices (all of them when none is named)
// into a blank target database through the target writer.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/scancommand.h"
#include "writer/repair.h"

namespace CLI {
class App;
}

namespace ravelin::cli {

struct RepairCommandOptions {
    std::string file;        // the damaged database file (read-only)
    std::string target;      // local path (embedded engine) or host:path (server)
    std::string user = "SYSDBA";
    std::string password;
    bool create = false;     // create the blank target first; never over an existing file
    bool exact = false;      // an exact restore instead of the salvage repair
    std::vector<std::string> tables;
    std::vector<std::string> views;
    std::vector<std::string> indices;
    std::uint32_t commitEvery = 1;  // INSERTs per commit; 1 commits each on its own
    bool textStatements = false;    // each record as its INSERT text, not through a prepared INSERT
    std::string reportPath;         // where to save the log report; empty: none
};

// Adds the "repair" subcommand to app, filling options (and codePage, shared
// with the other commands) when it is parsed.
CLI::App* AddRepairCommand(CLI::App& app, RepairCommandOptions& options, std::string& codePage);

// The names to repair, in tree order: the named tables, views and indices
// as the model spells them, or every table, view and index when none is
// named. A name the model does not hold is an error, reported in error.
bool ChooseRepairNames(const catalogue::SchemaModel& model, const RepairCommandOptions& options,
                       std::vector<std::string>& names, std::string& error);

// Scans options.file (counting its records), then repairs into
// options.target: tables with their records and blobs, views, index
// statements. SIGINT requests a stop while a job runs.
int RunRepairCommand(const RepairCommandOptions& options, ScanStreams& streams);

}  // namespace ravelin::cli
