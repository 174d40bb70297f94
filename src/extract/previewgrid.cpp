#include "extract/previewgrid.h"

#include <algorithm>

namespace ravelin::extract {

void PreviewGrid::SetColumns(std::vector<std::string> names)
{
    columns_ = std::move(names);
    rows_.clear();
    damaged_.clear();
}

void PreviewGrid::Cell(std::string text, bool recordDamaged)
{
    if (columnCounter_ == 0) {
        // A new row goes in at the row counter, or at the end when the
        // counter has run past the rows.
        itemIndex_ = std::min(rowCounter_, rows_.size());
        std::vector<std::string> row;
        row.reserve(columns_.size());
        row.push_back(std::move(text));
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(itemIndex_), std::move(row));
        damaged_.insert(damaged_.begin() + static_cast<std::ptrdiff_t>(itemIndex_), false);
    } else if (itemIndex_ < rows_.size()) {
        std::vector<std::string>& row = rows_[itemIndex_];
        if (row.size() <= columnCounter_)
            row.resize(columnCounter_ + 1);
        row[columnCounter_] = std::move(text);
    }
    ++columnCounter_;
    if (columnCounter_ >= columns_.size()) {
        ++rowCounter_;
        columnCounter_ = 0;
    }
    if (recordDamaged) {
        if (itemIndex_ < damaged_.size())
            damaged_[itemIndex_] = true;
        // The row ends here, whatever cells it still lacks.
        if (columnCounter_ != 0) {
            ++rowCounter_;
            columnCounter_ = 0;
        }
    }
}

void PreviewGrid::PagingState(std::uintptr_t wParam, std::intptr_t lParam, const job::RecoveryEngine& engine,
                              std::uint64_t forwardSteps)
{
    if (wParam == 0 && lParam == 0) {
        nextEnabled_ = true;
        previousEnabled_ = false;
        rowCounter_ = 0;
    } else if (wParam == 0 && lParam == 1) {
        nextEnabled_ = true;
        previousEnabled_ = true;
        rowCounter_ = 0;
    } else if (wParam == 1 && lParam == 0) {
        rows_.clear();
        damaged_.clear();
    } else if (wParam == 1 && lParam == 1) {
        if (rowCounter_ > 100)
            return;
        const bool lastPage = !engine.dataPageNumbers.empty() &&
                              engine.currentDataPage + 1u == engine.dataPageNumbers.size();
        if (lastPage && forwardSteps != 0) {
            nextEnabled_ = false;
            previousEnabled_ = true;
        } else if (engine.slotsLeft == 0) {
            nextEnabled_ = false;
            previousEnabled_ = false;
        }
    }
}

void PreviewGrid::PagingOff()
{
    nextEnabled_ = false;
    previousEnabled_ = false;
}

std::vector<std::vector<std::string>> PreviewGrid::Rows() const
{
    std::vector<std::vector<std::string>> rows = rows_;
    for (auto& row : rows)
        if (row.size() < columns_.size())
            row.resize(columns_.size());
    return rows;
}

}  // namespace ravelin::extract
