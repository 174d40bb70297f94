#pragma once

// The record commands of ravelin-cli: preview (a table's records as the
// record grid shows them), count (the record counting block of a scan's
// log) and inserts (the INSERT statements a repair would execute). Each
// scans the file first through the job driver.

#include <ostream>
#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin::cli {

struct PreviewOptions {
    std::string file;
    std::string table;      // letter case ignored
    std::uint64_t page = 0;  // preview page, 0 = first
    bool all = false;       // every page, one after the other
    bool json = false;      // {"columns":[...],"rows":[[...],...]}
};

// Appends text as a JSON string (in its quotes) as the preview's --json
// output writes it: quotes, backslashes and control characters escaped,
// every byte that is not part of well-formed UTF-8 replaced by U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

struct RecordCommandStreams {
    std::ostream& out;
    std::ostream& err;
    bool showProgress = false;
};

// Prints the columns and the rows of the chosen preview page(s): without
// --json a line of column names, then one line per row, cells separated by
// tabs.
int RunPreviewCommand(const PreviewOptions& options, RecordCommandStreams& streams);
// Prints the lines record counting logs at the end of the scan.
int RunCountCommand(const std::string& file, RecordCommandStreams& streams);
// Prints one INSERT statement per record of the table, in table order.
int RunInsertsCommand(const std::string& file, const std::string& table, RecordCommandStreams& streams);

}  // namespace ravelin::cli
