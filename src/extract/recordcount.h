#pragma once

// Record counting at the end of a scan: a quick count of every user table's
// rows taken from its data pages' slots and record headers (no current
// record is decompressed), logged as one block per table:
//
//   Table Name : <name>
//   Total Records : <count>
//   <blank>
//
// then "Counting table(s) records process has been completed", 66 hyphens
// and a blank line. While it runs the skip-counting dialog is open; its
// button sets engine.skipCounting, which every loop polls: the count then
// ends with "Counting table(s) records process has been skipped", 62
// hyphens and a blank line, and the flag is cleared.
//
// The rows counted are those a preview shows: the current version of each
// record (extract/datapagereader.h), readable or not. Old versions, deletion
// stubs, change masks, continuation fragments and blob records are not rows.
// A table the page scan found no pointer pages for is logged with a count of
// 0. Runs on the recovery worker thread.

#include <cstdint>

#include "job/jobsteps.h"

namespace ravelin::extract {

inline constexpr const char* kTableNameText = "Table Name : ";
inline constexpr const char* kTotalRecordsText = "Total Records : ";
inline constexpr const char* kCountingCompletedText = "Counting table(s) records process has been completed";
inline constexpr const char* kCountingSkippedText = "Counting table(s) records process has been skipped";

// Counts and logs the records of every table of the model, in list order;
// does nothing unless state.scanning is set. A stop request ends the current
// table's count early (that table is logged with what was counted) and gives
// every later table a count of 0.
void CountTableRecords(job::JobContext& job);

// Counts the rows of the data pages in engine.dataPageNumbers and empties
// the list. Pages that are not data pages of relationId inside the
// file count nothing.
std::uint64_t CountDataPageRecords(job::JobContext& job, std::uint32_t relationId);

// The closing lines of the count: skipped or completed (see above).
void FinishRecordCount(job::JobContext& job);

}  // namespace ravelin::extract
