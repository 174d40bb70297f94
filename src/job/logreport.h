#pragma once

// The log report: the lines of the log pane saved as a text file, UTF-16
// little-endian without a byte-order mark, each line followed by CR LF.

#include <string>
#include <string_view>
#include <vector>

namespace ravelin::job {

// The first line of every log.
inline constexpr const char* kLogHeaderLine = "Ravelin Database(s) Log Report.........................";

// The report's bytes for lines (UTF-8 texts), in order.
std::string EncodeLogReport(const std::vector<std::string>& lines);

// Creates (or truncates) the file at path and writes the report of lines.
// Yields false with errorText saying why when the file cannot be written.
bool WriteLogReport(const std::string& path, const std::vector<std::string>& lines, std::string& errorText);

}  // namespace ravelin::job
