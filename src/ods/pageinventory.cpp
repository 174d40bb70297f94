#include "ods/pageinventory.h"

#include <cstddef>

#include "ods/constants.h"
#include "ods/littleendian.h"

namespace ravelin::ods {

PageInventory::PageInventory(ReadingContext& context) : context_(context)
{
    if (context_.pageSize > kPageInventoryBitsOffset)
        pagesPerPage_ = std::uint64_t{context_.pageSize - kPageInventoryBitsOffset} * 8;
}

std::uint64_t PageInventory::InventoryPageOf(std::uint64_t page) const
{
    if (pagesPerPage_ == 0)
        return 0;
    const std::uint64_t range = page / pagesPerPage_;
    return range == 0 ? kFirstPageInventoryPage : range * pagesPerPage_ - 1;
}

std::optional<bool> PageInventory::IsFree(std::uint64_t page)
{
    if (pagesPerPage_ == 0 || page >= context_.PageCount())
        return std::nullopt;
    const std::vector<std::uint8_t>& bits = Range(page / pagesPerPage_);
    if (bits.empty())
        return std::nullopt;
    const std::uint64_t bit = page % pagesPerPage_;
    return ((bits[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1u) != 0;
}

const std::vector<std::uint8_t>& PageInventory::Range(std::uint64_t range)
{
    const auto found = ranges_.find(range);
    if (found != ranges_.end())
        return found->second;
    std::vector<std::uint8_t>& bits = ranges_[range];
    const std::uint64_t inventoryPage = InventoryPageOf(range * pagesPerPage_);
    if (inventoryPage >= context_.PageCount())
        return bits;
    std::vector<std::byte> page(context_.pageSize);
    context_.ReadAt(inventoryPage * context_.pageSize, page);
    if (std::to_integer<std::uint8_t>(page[0]) != kPageInventoryPage ||
        LittleEndian(page, kChecksumOffset, 2) != kPageChecksum)
        return bits;
    bits.reserve(page.size() - kPageInventoryBitsOffset);
    for (std::size_t i = kPageInventoryBitsOffset; i < page.size(); ++i)
        bits.push_back(std::to_integer<std::uint8_t>(page[i]));
    return bits;
}

}  // namespace ravelin::ods
