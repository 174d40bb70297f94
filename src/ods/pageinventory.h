#pragma once

// The page inventory: which pages of the file the database had given back
// as free. A data page marked free there is a page the table let go of;
// its records were deleted or moved, so it must not be read as the table's.
// Inventory pages are read on first use; a page whose inventory page is
// damaged (not an inventory page, no checksum word) is of unknown state.
// Only the recovery worker thread uses this.

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ods/readingcontext.h"

namespace ravelin::ods {

class PageInventory {
public:
    explicit PageInventory(ReadingContext& context);

    // Pages one inventory page covers: (page size - 20) * 8.
    std::uint64_t PagesPerInventoryPage() const { return pagesPerPage_; }
    // The page number of the inventory page that covers page.
    std::uint64_t InventoryPageOf(std::uint64_t page) const;
    // True when the inventory marks page free, false when it marks it in
    // use; nullopt when the inventory page that covers it cannot be read.
    std::optional<bool> IsFree(std::uint64_t page);

private:
    // The inventory bits of the range'th inventory page; empty when that
    // page is damaged.
    const std::vector<std::uint8_t>& Range(std::uint64_t range);

    ReadingContext& context_;
    std::uint64_t pagesPerPage_ = 0;
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> ranges_;
};

}  // namespace ravelin::ods
