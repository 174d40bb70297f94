// ravelin-demo-database [--damaged] [--orders N] OUTPUT: writes the small
// synthetic database of cli/demodatabase.h that the demo repairs; --damaged
// writes the damaged variant and prints what was spoilt, one line each, and
// how many records a repair can still recover. --orders N writes N orders
// (and 2 or 3 items each) instead of 120: a file of any size, for the
// benchmarks.

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "cli/demodatabase.h"

int main(int argc, char** argv)
{
    bool damaged = false;
    long orders = 120;
    int next = 1;
    for (; next < argc - 1; ++next) {
        const std::string option = argv[next];
        if (option == "--damaged")
            damaged = true;
        else if (option == "--orders" && next + 1 < argc - 1)
            orders = std::strtol(argv[++next], nullptr, 10);
        else
            break;
    }
    if (next != argc - 1 || orders < 120 || orders > 2000000000) {
        std::cerr << "usage: ravelin-demo-database [--damaged] [--orders N (120 or more)] OUTPUT\n";
        return 1;
    }
    const std::string output = argv[argc - 1];
    try {
        const ravelin::testing::DemoDatabase demo =
            ravelin::testing::BuildDemoDatabase(damaged, static_cast<int>(orders));
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
