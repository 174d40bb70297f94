#pragma once

// The record grid of a table preview without a window: the effects of the
// grid messages on the grid's rows and on the two paging buttons, for front
// ends that show the grid another way (the command line) and for tests.
//
//   UM_GRID_COLUMNS  SetColumns: one column per table column, no rows
//   UM_GRID_CELL     Cell: the next cell; a full row, or a cell that comes
//                    with recordDamaged set, ends the row; recordDamaged
//                    marks the row as a damaged record's
//   UM_PAGING_STATE  PagingState: (0, 0) Next only, (0, 1) both buttons, each
//                    resetting the row counter; (1, 0) deletes the rows;
//                    (1, 1) the end of the table's data
//   UM_PAGING_OFF    PagingOff: both buttons disabled
//
// Not thread-safe: called by the thread that handles the messages.

#include <cstdint>
#include <string>
#include <vector>

#include "job/recoveryengine.h"

namespace ravelin::extract {

class PreviewGrid {
public:
    void SetColumns(std::vector<std::string> names);
    void Cell(std::string text, bool recordDamaged);
    // engine: the preview fetch's currentDataPage, dataPageNumbers and
    // slotsLeft; forwardSteps: Next Record(s) clicks since the table was chosen.
    void PagingState(std::uintptr_t wParam, std::intptr_t lParam, const job::RecoveryEngine& engine,
                     std::uint64_t forwardSteps);
    void PagingOff();

    const std::vector<std::string>& columns() const { return columns_; }
    // The rows, each padded with empty cells to the column count.
    std::vector<std::vector<std::string>> Rows() const;
    // The rows as the grid holds them: a row may lack its last cells (they
    // show empty).
    const std::vector<std::vector<std::string>>& RowsAsShown() const { return rows_; }
    // Per row of Rows(): whether it shows a damaged record.
    const std::vector<bool>& damaged() const { return damaged_; }
    bool nextEnabled() const { return nextEnabled_; }
    bool previousEnabled() const { return previousEnabled_; }

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<bool> damaged_;  // parallel to rows_
    std::size_t columnCounter_ = 0;
    std::size_t rowCounter_ = 0;
    std::size_t itemIndex_ = 0;
    bool nextEnabled_ = false;
    bool previousEnabled_ = false;
};

}  // namespace ravelin::extract
