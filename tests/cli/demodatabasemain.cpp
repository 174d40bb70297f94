// ravelin-demo-database [--damaged] OUTPUT: writes the small synthetic
// database of cli/demodatabase.h that the demo repairs; --damaged writes the
// damaged variant and prints what was spoilt, one line each.

#include <exception>
#include <iostream>
#include <string>

#include "cli/demodatabase.h"

int main(int argc, char** argv)
{
    const bool damaged = argc == 3 && std::string(argv[1]) == "--damaged";
    if (argc != 2 && !damaged) {
        std::cerr << "usage: ravelin-demo-database [--damaged] OUTPUT\n";
        return 1;
    }
    const std::string output = argv[argc - 1];
    try {
        const ravelin::testing::DemoDatabase demo = ravelin::testing::BuildDemoDatabase(damaged);
        demo.image.WriteTo(output);
        std::cout << output << ": " << demo.image.pageCount() << " pages of " << demo.image.pageSize() << " bytes;";
        for (const auto& table : demo.tables)
            std::cout << ' ' << table.name << " (" << table.columns << " columns, " << table.records << " records)";
        std::cout << '\n';
        for (const std::string& line : demo.damage)
            std::cout << "damage: " << line << '\n';
    } catch (const std::exception& error) {
        std::cerr << "ravelin-demo-database: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
