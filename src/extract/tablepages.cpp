#include "extract/tablepages.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "extract/datapagereader.h"
#include "ods/constants.h"
#include "ods/littleendian.h"
#include "ods/pageinventory.h"

namespace ravelin::extract {
namespace {

// The first bytes of a page: type byte, sequence at 16, relation id at 20
// (data pages) or entry count at 24 (pointer pages).
using PageHead = std::array<std::byte, ods::kPointerPageEntriesOffset>;

PageHead ReadHead(ods::ReadingContext& context, std::uint64_t page)
{
    PageHead head{};
    context.ReadAt(page * context.pageSize, head);
    return head;
}

std::uint32_t Long(const PageHead& head, std::size_t at) { return ods::LittleEndian(head, at, 4); }
std::uint32_t Word(const PageHead& head, std::size_t at) { return ods::LittleEndian(head, at, 2); }

// A surviving pointer page: its sequence and the entries it holds.
struct PointerRange {
    std::uint32_t sequence = 0;
    std::uint32_t count = 0;
};

// A listed data page: the pointer page that lists it and its entry there.
struct ListedPlace {
    std::uint32_t pointerSequence = 0;
    std::uint32_t entry = 0;
};

struct Candidate {
    std::uint64_t sequence = 0;
    std::uint32_t page = 0;
};

// D, the data pages one pointer page lists: learned from a pointer page of
// sequence s > 0 whose listed data page at entry i holds sequence
// s * D + i; otherwise the default for the page size.
std::uint64_t DataPagesPerPointerPage(ods::ReadingContext& context, std::uint32_t relationId,
                                      const std::vector<std::uint32_t>& pages,
                                      const std::vector<ListedPlace>& places)
{
    const std::uint32_t capacity = (context.pageSize - ods::kPointerPageEntriesOffset) / 4;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const ListedPlace& place = places[i];
        if (place.pointerSequence == 0)
            continue;
        const PageHead head = ReadHead(context, pages[i]);
        if (std::to_integer<std::uint8_t>(head[0]) != ods::kDataPage ||
            Word(head, ods::kDataPageRelationOffset) != relationId)
            continue;
        const std::uint32_t sequence = Long(head, ods::kPageSequenceOffset);
        if (sequence < place.entry || (sequence - place.entry) % place.pointerSequence != 0)
            continue;
        const std::uint32_t perPage = (sequence - place.entry) / place.pointerSequence;
        if (perPage > place.entry && perPage <= capacity)
            return perPage;
    }
    return DefaultDataPagesPerPointerPage(context.pageSize);
}

}  // namespace

std::uint32_t DefaultDataPagesPerPointerPage(std::uint32_t pageSize)
{
    if (pageSize <= ods::kPointerPageEntriesOffset)
        return 0;
    return (pageSize - ods::kPointerPageEntriesOffset) * 8 / ods::kPointerPageBitsPerEntry;
}

TablePages CollectTableDataPages(ods::ReadingContext& context, const ods::PageList& lists, std::uint32_t relationId,
                                 const TablePageHooks& hooks)
{
    TablePages result;
    const auto interrupted = [&hooks] { return hooks.interrupted && hooks.interrupted(); };
    const auto step = [&hooks] {
        if (hooks.step)
            hooks.step();
    };
    const std::uint64_t pageCount = context.PageCount();
    DataPageNumberCollector collector(pageCount);
    std::vector<PointerRange> ranges;
    std::vector<ListedPlace> places;

    if (const ods::PageListNode* pointers = FindPointerPageList(lists, relationId)) {
        for (const std::uint64_t position : pointers->pagePositions) {
            if (interrupted())
                return result;
            std::array<std::byte, 4> sequenceBytes{};
            context.ReadAt(position + ods::kPointerPageSequenceOffset, sequenceBytes);
            const std::uint32_t sequence = ods::LittleEndian(sequenceBytes, 0, 4);
            const std::vector<std::uint32_t> entries = ReadPointerPage(context, position);
            ranges.push_back(PointerRange{sequence, static_cast<std::uint32_t>(entries.size())});
            for (std::uint32_t entry = 0; entry < entries.size(); ++entry) {
                if (interrupted())
                    return result;
                if (collector.Append(std::span<const std::uint32_t>(&entries[entry], 1), result.pages) != 0)
                    places.push_back(ListedPlace{sequence, entry});
                step();
            }
        }
    }

    // The table's data pages that the scan found and no pointer page lists.
    const ods::PageListNode* dataPages = nullptr;
    for (const ods::PageListNode& node : lists) {
        if (node.relationId == relationId && node.pageType == ods::kDataPage) {
            dataPages = &node;
            break;
        }
    }
    if (dataPages == nullptr || context.pageSize == 0)
        return result;
    std::vector<Candidate> candidates;
    std::vector<std::uint32_t> unlisted;
    for (const std::uint64_t position : dataPages->pagePositions) {
        if (interrupted())
            return result;
        const auto page = static_cast<std::uint32_t>(position / context.pageSize);
        unlisted.clear();
        if (collector.Append(std::span<const std::uint32_t>(&page, 1), unlisted) != 0)
            candidates.push_back(Candidate{Long(ReadHead(context, page), ods::kPageSequenceOffset), page});
        step();
    }
    if (candidates.empty())
        return result;

    const std::uint64_t perPointerPage = DataPagesPerPointerPage(context, relationId, result.pages, places);
    const auto covered = [&ranges, perPointerPage](std::uint64_t sequence) {
        return std::any_of(ranges.begin(), ranges.end(), [&](const PointerRange& range) {
            const std::uint64_t first = range.sequence * perPointerPage;
            return sequence >= first && sequence - first < range.count;
        });
    };
    ods::PageInventory inventory(context);
    std::erase_if(candidates, [&](const Candidate& candidate) {
        return covered(candidate.sequence) || inventory.IsFree(candidate.page).value_or(false);
    });
    if (candidates.empty())
        return result;
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::pair(a.sequence, a.page) < std::pair(b.sequence, b.page);
    });

    // The listed pages keep their order; each adopted page goes before the
    // first listed page of a higher sequence.
    std::vector<std::uint32_t> merged;
    merged.reserve(result.pages.size() + candidates.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < result.pages.size(); ++i) {
        const std::uint64_t key = places[i].pointerSequence * perPointerPage + places[i].entry;
        while (next < candidates.size() && candidates[next].sequence < key)
            merged.push_back(candidates[next++].page);
        merged.push_back(result.pages[i]);
    }
    for (; next < candidates.size(); ++next)
        merged.push_back(candidates[next].page);
    result.adopted = static_cast<std::uint32_t>(candidates.size());
    result.pages = std::move(merged);
    return result;
}

}  // namespace ravelin::extract
