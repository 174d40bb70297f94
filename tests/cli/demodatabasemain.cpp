// ravelin-demo-database [--damaged] OUTPUT: writes the small synthetic
// database of cli/demodatabase.h that the demo repairs; --damaged writes the
// damaged variant and prints what was spoilt, one line each, and how many
// records a repair can still recover.

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
        if (demo.damage.empty())
            return 0;
        for (const std::string& line : demo.damage)
            std::cout << "damage: " << line << '\n';
        std::size_t records = 0;
        std::size_t readable = 0;
        std::string perTable;
        for (const auto& table : demo.tables) {
            records += table.records;
            readable += table.readable;
            perTable += (perTable.empty() ? "" : ", ") + table.name + ' ' + std::to_string(table.readable) + " of " +
                        std::to_string(table.records);
        }
        std::cout << "a repair can recover " << readable << " of the " << records << " records: " << perTable << '\n';
    } catch (const std::exception& error) {
        std::cerr << "ravelin-demo-database: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
