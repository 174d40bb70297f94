#pragma once

// The texts the desktop windows show or log, exactly as users see them
// (misspellings included: the log reports and dialogs have always read so).

namespace ravelin::ui::text {

inline constexpr char kAppTitle[] = "Ravelin";
inline constexpr char kReady[] = "Ready";
inline constexpr char kScanning[] = "Scanning";
inline constexpr char kRepairing[] = "Repairing";
inline constexpr char kProcessing[] = "Processing";

inline constexpr char kLogWindowTitle[] = "Log window";
inline constexpr char kLogHeader[] = "Ravelin Database(s) Log Report.........................";
inline constexpr char kLogReportName[] = "Ravelin.log";
inline constexpr char kLogFilter[] = "All Files(*.log)";

inline constexpr char kCloseQuestion[] = "Do you want to close Application?";
inline constexpr char kStopFirst[] = "Please first stop the current running process";
inline constexpr char kStopQuestion[] = "Do you want to stop current process?";
inline constexpr char kSelectTable[] = "select atleast one table for repair.";
inline constexpr char kFileExists[] = "File already exists.";
inline constexpr char kOverwrite[] = "Do you want to overwrite?";
inline constexpr char kNotFoundPrefix[] = "\r\nItem '";
inline constexpr char kNotFoundSuffix[] = "' not found, Try again.";

inline constexpr char kDatabaseFilter[] = "InterBase Files (*.ib *.gdb)";

inline constexpr char kSkipLine1[] =
    "Counting Total Record(s) in database.                  This will shown the total record(s) present in each table.";
inline constexpr char kSkipLine2[] = "This process will take longer time you may skip this step.";
inline constexpr char kSkipLine3[] = "Skipping this process will not impact the recovery process of database.";
inline constexpr char kSkipButton[] = "Skip This Step>>";

inline constexpr char kTables[] = "Tables";
inline constexpr char kViews[] = "Views";
inline constexpr char kIndices[] = "Indices";

inline constexpr char kNextRecords[] = "Next Record(s)";
inline constexpr char kPreviousRecords[] = "Previous  Record(s)";

}  // namespace ravelin::ui::text
