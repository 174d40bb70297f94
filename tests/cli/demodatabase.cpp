// ravelin-demo-database OUTPUT: writes the small synthetic database that the
// demo scans when no real sample database is at hand.

#include <exception>
#include <iostream>

#include "cli/demodatabase.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: ravelin-demo-database OUTPUT\n";
        return 1;
    }
    try {
        ravelin::testing::DemoDatabase().WriteTo(argv[1]);
    } catch (const std::exception& error) {
        std::cerr << "ravelin-demo-database: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
