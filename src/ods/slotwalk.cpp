#include "ods/slotwalk.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ods/constants.h"

namespace ravelin::ods {
namespace {

std::uint16_t WordAt(const std::vector<std::byte>& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[at]) |
                                      (std::to_integer<unsigned>(bytes[at + 1]) << 8));
}

}  // namespace

void ForEachRecordSlot(ReadingContext& context, const PageListNode& node, const std::atomic<bool>& stop,
                       const std::function<void(RecordStream&)>& visitor, const SlotWalkHooks& hooks,
                       std::size_t maxPages)
{
    const std::uint32_t pageSize = context.pageSize;
    if (pageSize <= kDataPageSlotArrayOffset)
        return;
    // The slot descriptors that fit between offset 24 and the page end; a
    // larger slot count is garbage and its excess descriptors would lie on
    // the next page.
    const std::size_t maxSlots = (pageSize - kDataPageSlotArrayOffset) / kSlotSize;
    std::size_t pagesLeft = maxPages == 0 ? node.pagePositions.size() : std::min(maxPages, node.pagePositions.size());
    std::vector<std::byte> slotArray;

    for (std::uint64_t pageStart : node.pagePositions) {
        if (pagesLeft-- == 0 || stop.load(std::memory_order_relaxed))
            return;
        std::array<std::byte, 2> countBytes{};
        context.ReadAt(pageStart + kDataPageSlotCountOffset, countBytes);
        const std::uint16_t storedCount = static_cast<std::uint16_t>(std::to_integer<unsigned>(countBytes[0]) |
                                                                     (std::to_integer<unsigned>(countBytes[1]) << 8));
        const std::uint16_t slotCount = static_cast<std::uint16_t>(std::min<std::size_t>(storedCount, maxSlots));
        if (hooks.pageStart)
            hooks.pageStart(slotCount);

        slotArray.assign(std::size_t{slotCount} * kSlotSize, std::byte{0});
        if (!slotArray.empty())
            context.ReadAt(pageStart + kDataPageSlotArrayOffset, slotArray);
        const std::uint64_t pageEnd = pageStart + pageSize;
        bool stopped = false;
        for (std::uint16_t slot = 0; slot < slotCount; ++slot) {
            if (stop.load(std::memory_order_relaxed)) {
                stopped = true;
                break;
            }
            const std::uint16_t offset = WordAt(slotArray, std::size_t{slot} * kSlotSize);
            const std::uint16_t length = WordAt(slotArray, std::size_t{slot} * kSlotSize + 2);
            // Offset 0 marks an empty slot; an offset past the page end names
            // no byte of this page, and a length of 0 no byte at all.
            if (offset != 0 && offset < pageSize && length != 0) {
                RecordStream record = RecordStream::FromFile(context, pageStart + offset, length, pageEnd);
                visitor(record);
            }
            if (hooks.afterSlot)
                hooks.afterSlot();
        }
        if (hooks.pageEnd)
            hooks.pageEnd();
        if (stopped)
            return;
    }
}

}  // namespace ravelin::ods
