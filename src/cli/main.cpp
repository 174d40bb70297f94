#include <clocale>
#include <iostream>

#include <unistd.h>

#include "cli/cli.h"

int main(int argc, char** argv)
{
    // Time stamps in the log name days and months in the user's language.
    std::setlocale(LC_TIME, "");
    return ravelin::cli::RunCli(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
