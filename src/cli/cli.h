#pragma once

// ravelin-cli's command line: parses the arguments and runs the command.

#include <ostream>

namespace ravelin::cli {

// Runs ravelin-cli with its arguments; yields the process exit code.
// progressOnErr: draw a progress bar on err (only when it is a terminal).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progressOnErr);

}  // namespace ravelin::cli
