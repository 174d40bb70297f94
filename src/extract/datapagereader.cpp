#include "extract/datapagereader.h"

#include <algorithm>
#include <set>
#include <utility>

#include "ods/constants.h"

namespace ravelin::extract {
namespace {

std::uint32_t Word(std::span<const std::byte> bytes, std::size_t offset)
{
    if (offset >= bytes.size() || bytes.size() - offset < 2)
        return 0;
    return std::to_integer<std::uint32_t>(bytes[offset]) | (std::to_integer<std::uint32_t>(bytes[offset + 1]) << 8);
}

std::uint32_t Long(std::span<const std::byte> bytes, std::size_t offset)
{
    if (offset >= bytes.size() || bytes.size() - offset < 4)
        return 0;
    return Word(bytes, offset) | (Word(bytes, offset + 2) << 16);
}

// Header byte 10 of a fragment that is continued on another page.
constexpr std::uint8_t kFlagContinuedAgain = ods::kFlagContinuation | ods::kFlagFirstFragment;
// The 16-bit flags word of a blob header record kept among a table's records.
constexpr std::uint32_t kBlobHeaderFlags = 0x50;

}  // namespace

const ods::PageListNode* FindPointerPageList(const ods::PageList& lists, std::uint32_t relationId)
{
    for (const ods::PageListNode& node : lists)
        if (node.relationId == relationId && node.pageType == ods::kPointerPage)
            return &node;
    return nullptr;
}

std::vector<std::uint32_t> ReadPointerPage(ods::ReadingContext& context, std::uint64_t pagePosition)
{
    std::vector<std::uint32_t> entries;
    const std::uint32_t pageSize = context.pageSize;
    if (pageSize <= ods::kPointerPageEntriesOffset)
        return entries;
    std::vector<std::byte> page(pageSize);
    context.ReadAt(pagePosition, page);
    const std::uint32_t capacity = (pageSize - ods::kPointerPageEntriesOffset) / 4;
    const std::uint32_t count = std::min(Word(page, ods::kPointerPageCountOffset), capacity);
    entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        entries.push_back(Long(page, ods::kPointerPageEntriesOffset + 4 * i));
    return entries;
}

std::size_t DataPageNumberCollector::Append(std::span<const std::uint32_t> entries, std::vector<std::uint32_t>& pages)
{
    std::size_t appended = 0;
    for (const std::uint32_t page : entries) {
        if (page == 0 || page >= pageCount_)
            continue;
        if (seen_.empty())
            seen_.assign(static_cast<std::size_t>(pageCount_), false);
        if (seen_[page])
            continue;
        seen_[page] = true;
        pages.push_back(page);
        ++appended;
    }
    return appended;
}

DataPageReader::DataPageReader(ods::ReadingContext& context, std::uint32_t relationId)
    : context_(context), relationId_(relationId), pageSize_(context.pageSize)
{
}

bool DataPageReader::LoadInto(std::uint32_t pageNumber, std::vector<std::byte>& buffer)
{
    if (pageSize_ <= ods::kDataPageSlotArrayOffset || pageNumber == 0 || pageNumber >= context_.PageCount())
        return false;
    buffer.resize(pageSize_);
    context_.ReadAt(std::uint64_t{pageNumber} * pageSize_, buffer);
    return std::to_integer<std::uint8_t>(buffer[0]) == ods::kDataPage &&
           Word(buffer, ods::kDataPageRelationOffset) == (relationId_ & 0xFFFFu);
}

bool DataPageReader::Load(std::uint32_t pageNumber)
{
    slotCount_ = 0;
    loadedPage_ = pageNumber;
    if (!LoadInto(pageNumber, page_))
        return false;
    slotCount_ = UsableSlots(page_);
    return true;
}

std::uint16_t DataPageReader::UsableSlots(std::span<const std::byte> page) const
{
    const std::uint32_t capacity = (pageSize_ - ods::kDataPageSlotArrayOffset) / ods::kSlotSize;
    return static_cast<std::uint16_t>(std::min(Word(page, ods::kDataPageSlotCountOffset), capacity));
}

SlotDescriptor DataPageReader::Slot(std::uint16_t slot) const
{
    if (slot >= slotCount_)
        return {};
    const std::size_t at = ods::kDataPageSlotArrayOffset + std::size_t{ods::kSlotSize} * slot;
    return {static_cast<std::uint16_t>(Word(page_, at)), static_cast<std::uint16_t>(Word(page_, at + 2))};
}

std::span<const std::byte> DataPageReader::RecordBytes(std::span<const std::byte> page, std::uint16_t slot) const
{
    const std::size_t at = ods::kDataPageSlotArrayOffset + std::size_t{ods::kSlotSize} * slot;
    const std::size_t offset = Word(page, at);
    const std::size_t length = Word(page, at + 2);
    // A record never starts inside the page header and slot array.
    if (offset < ods::kDataPageSlotArrayOffset || offset >= page.size())
        return {};
    return page.subspan(offset, std::min(length, page.size() - offset));
}

SlotKind DataPageReader::ReadSlot(std::uint16_t slot, ods::RecordImage& image, std::size_t limit, ods::RecordHeader& header)
{
    lastJoined_ = false;
    header = ods::RecordHeader{};
    const SlotDescriptor descriptor = Slot(slot);
    if (descriptor.offset == 0 && descriptor.length == 0)
        return SlotKind::Empty;
    const std::span<const std::byte> record = RecordBytes(page_, slot);
    if (record.size() < ods::kRecordDataOffset)
        return SlotKind::PassedOver;

    header.transaction = Long(record, ods::kRecordTransactionOffset);
    header.backPage = Long(record, ods::kRecordBackPageOffset);
    header.backLine = static_cast<std::uint16_t>(Word(record, ods::kRecordBackLineOffset));
    header.flags = std::to_integer<std::uint8_t>(record[ods::kRecordFlagsOffset]);
    header.flags2 = std::to_integer<std::uint8_t>(record[ods::kRecordFlags2Offset]);
    header.format = std::to_integer<std::uint8_t>(record[ods::kRecordFormatOffset]);
    if (header.transaction == 0)
        return SlotKind::PassedOver;
    if (header.backPage != 0 && header.backLine != 0 && Word(record, ods::kRecordFlagsOffset) == kBlobHeaderFlags)
        return SlotKind::BlobHeader;
    if ((header.flags & ods::kFlagContinuation) != 0)
        return SlotKind::Continuation;

    if ((header.flags & ods::kFlagFirstFragment) != 0) {
        if (record.size() < ods::kFlaggedRecordDataOffset)
            return SlotKind::PassedOver;
        header.forwardPage = Long(record, ods::kRecordForwardPageOffset);
        header.forwardLine = static_cast<std::uint16_t>(Word(record, ods::kRecordForwardLineOffset));
        image.Expand(record.subspan(ods::kFlaggedRecordDataOffset), limit);
        JoinContinuations(slot, header.forwardPage, header.forwardLine, image);
    } else {
        image.Expand(record.subspan(ods::kRecordDataOffset), limit);
    }
    return image.size() == 0 ? SlotKind::PassedOver : SlotKind::Record;
}

void DataPageReader::JoinContinuations(std::uint16_t firstSlot, std::uint32_t page, std::uint16_t line,
                                       ods::RecordImage& image)
{
    std::set<std::pair<std::uint32_t, std::uint16_t>> visited;
    visited.insert({loadedPage_, firstSlot});
    for (int hop = 0; hop < kMaxFragments && !image.complete(); ++hop) {
        if (!visited.insert({page, line}).second || !LoadInto(page, other_))
            return;
        if (line >= UsableSlots(other_))
            return;
        const std::span<const std::byte> fragment = RecordBytes(other_, line);
        if (fragment.size() < ods::kRecordDataOffset)
            return;
        const auto flags = std::to_integer<std::uint8_t>(fragment[ods::kRecordFlagsOffset]);
        if (flags == ods::kFlagContinuation) {
            image.Append(fragment.subspan(ods::kRecordDataOffset));
            lastJoined_ = true;
            return;
        }
        if (flags != kFlagContinuedAgain || fragment.size() < ods::kFlaggedRecordDataOffset)
            return;
        image.Append(fragment.subspan(ods::kFlaggedRecordDataOffset));
        page = Long(fragment, ods::kRecordForwardPageOffset);
        line = static_cast<std::uint16_t>(Word(fragment, ods::kRecordForwardLineOffset));
    }
}

}  // namespace ravelin::extract
