#include "job/repairoutcome.h"

namespace ravelin::job {

std::vector<std::string> RepairShortfallLines(const std::vector<RepairedTable>& tables,
                                              std::uint64_t recordsLostAtCommit)
{
    std::vector<std::string> lines;
    for (const RepairedTable& table : tables) {
        if (!table.created) {
            lines.push_back(kTableNotCreatedText + table.name);
        } else if (table.recovered < table.present) {
            lines.push_back(kRecordsNotCopiedText + std::to_string(table.present - table.recovered) + " of " +
                            std::to_string(table.present) + " in " + table.name);
            if (table.setAside != 0)
                lines.push_back(kRecordsSetAsideLineText + std::to_string(table.setAside) + " in " + table.name +
                                ", see " + table.setAsideFile);
            if (table.damaged > table.setAside && !table.setAsideFile.empty())
                lines.push_back(kRecordsNotSetAsideLineText + std::to_string(table.damaged - table.setAside) +
                                " in " + table.name + ", " + table.setAsideFile + " could not be written");
        }
        if (table.created && table.blobsLost != 0)
            lines.push_back(kBlobsNotCopiedText + std::to_string(table.blobsLost) + " in " + table.name);
        if (table.created && table.blobsPartial != 0)
            lines.push_back(kBlobsCopiedInPartText + std::to_string(table.blobsPartial) + " in " + table.name);
        if (table.created && table.arraysLost != 0)
            lines.push_back(kArraysNotCopiedText + std::to_string(table.arraysLost) + " in " + table.name);
    }
    if (recordsLostAtCommit != 0) {
        lines.push_back(kRecordsNotCopiedText + std::to_string(recordsLostAtCommit) +
                        " whose batch the target could not commit");
    }
    return lines;
}

std::string RepairIncompleteMessage(const std::vector<std::string>& shortfalls)
{
    std::string text = kRepairIncompleteText;
    for (std::size_t i = 0; i < shortfalls.size() && i < kWarningShortfallLines; ++i)
        text += "\n" + shortfalls[i];
    if (shortfalls.size() > kWarningShortfallLines) {
        text += "\n... and " + std::to_string(shortfalls.size() - kWarningShortfallLines) +
                " more, listed at the end of the log";
    }
    return text;
}

}  // namespace ravelin::job
