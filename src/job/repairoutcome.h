#pragma once

// What a repair left undone. The writer notes every selected table the
// target did not create, the table transfer notes every copied table's
// record figures; the job driver turns the shortfalls into the closing lines
// of the log and the warning a repair shows instead of its success message.

#include <cstdint>
#include <string>
#include <vector>

namespace ravelin::job {

// One selected table of a repair, in repair order.
struct RepairedTable {
    std::string name;             // as the log names it
    std::uint32_t present = 0;    // records an INSERT was tried for
    std::uint32_t recovered = 0;  // records whose INSERT succeeded
    bool created = true;          // false: refused, by the target or before reaching it
    std::uint32_t setAside = 0;   // damaged records not inserted but kept in the set-aside file
    std::uint32_t damaged = 0;    // damaged records not inserted, kept or not
    std::string setAsideFile{};   // where damaged records go; empty when the repair keeps none
    std::uint32_t blobsLost = 0;     // blob values whose blob was not found or could not be written
    std::uint32_t blobsPartial = 0;  // blob values copied only as far as damage let them be read
    std::uint32_t arraysLost = 0;    // array values whose elements were not copied (NULL written)
};

// Closing log lines, one per shortfall.
inline constexpr const char* kTableNotCreatedText = "Table not created: ";
inline constexpr const char* kRecordsNotCopiedText = "Records not copied: ";
inline constexpr const char* kRecordsSetAsideLineText = "Damaged records set aside: ";
inline constexpr const char* kRecordsNotSetAsideLineText = "Damaged records not set aside: ";
inline constexpr const char* kBlobsNotCopiedText = "Blobs not copied: ";
inline constexpr const char* kBlobsCopiedInPartText = "Blobs copied in part: ";
inline constexpr const char* kArraysNotCopiedText = "Arrays not copied: ";
// The first line of the warning.
inline constexpr const char* kRepairIncompleteText = "Repair process finished, but not everything was copied:";
// The warning names at most this many shortfalls; the log names them all.
inline constexpr std::size_t kWarningShortfallLines = 10;

// One line per shortfall, in repair order: "Table not created: T" for a
// table that was not created, "Records not copied: N of M in T" for a table
// whose M records present lost N, followed by "Damaged records set aside:
// K in T, see F" where K of those were damaged records kept in the
// set-aside file F, and "Damaged records not set aside: L in T, F could not
// be written" where L damaged records were lost because F could not be
// written; then, when the target could not commit
// records it had taken, "Records not copied: N whose batch the target could
// not commit". Empty when nothing was lost.
std::vector<std::string> RepairShortfallLines(const std::vector<RepairedTable>& tables,
                                              std::uint64_t recordsLostAtCommit);

// The warning's text: kRepairIncompleteText and the shortfall lines, one a
// line; past kWarningShortfallLines a last line says how many more the log
// names.
std::string RepairIncompleteMessage(const std::vector<std::string>& shortfalls);

}  // namespace ravelin::job
