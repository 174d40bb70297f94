#include "extract/datapagereader.h"

#include <algorithm>
#include <set>
#include <utility>

#include "ods/constants.h"
#include "ods/littleendian.h"

namespace ravelin::extract {
namespace {

std::uint32_t Word(std::span<const std::byte> bytes, std::size_t offset) { return ods::LittleEndian(bytes, offset, 2); }
std::uint32_t Long(std::span<const std::byte> bytes, std::size_t offset) { return ods::LittleEndian(bytes, offset, 4); }

// Header byte 10 of a fragment that is continued on another page.
constexpr std::uint8_t kFlagContinuedAgain = ods::kFlagContinuation | ods::kFlagFirstFragment;
// The 16-bit flags word of a blob header record kept among a table's records.
constexpr std::uint32_t kBlobHeaderFlags = 0x50;

// The header fields of a record's stored bytes (at least 13 of them); the
// forward pointer of a first fragment when its 22-byte header is there.
ods::RecordHeader ParseHeader(std::span<const std::byte> record)
{
    ods::RecordHeader header;
    header.transaction = Long(record, ods::kRecordTransactionOffset);
    header.backPage = Long(record, ods::kRecordBackPageOffset);
    header.backLine = static_cast<std::uint16_t>(Word(record, ods::kRecordBackLineOffset));
    header.flags = std::to_integer<std::uint8_t>(record[ods::kRecordFlagsOffset]);
    header.flags2 = std::to_integer<std::uint8_t>(record[ods::kRecordFlags2Offset]);
    header.format = std::to_integer<std::uint8_t>(record[ods::kRecordFormatOffset]);
    if ((header.flags & ods::kFlagFirstFragment) != 0 && record.size() >= ods::kFlaggedRecordDataOffset) {
        header.forwardPage = Long(record, ods::kRecordForwardPageOffset);
        header.forwardLine = static_cast<std::uint16_t>(Word(record, ods::kRecordForwardLineOffset));
    }
    return header;
}

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

DataPageReader::DataPageReader(ods::ReadingContext& context, std::uint32_t relationId,
                               ods::TransactionInventory* transactions)
    : context_(context), relationId_(relationId), pageSize_(context.pageSize), transactions_(transactions)
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

bool DataPageReader::CountsAsCommitted(std::uint32_t transaction)
{
    if (transactions_ == nullptr)
        return true;
    // Neighbouring records were mostly written by one transaction.
    if (transaction != lastTransaction_) {
        lastTransaction_ = transaction;
        lastCommitted_ = ods::CountsAsCommitted(transactions_->State(transaction));
    }
    return lastCommitted_;
}

SlotKind DataPageReader::Examine(std::uint16_t slot, Version& version)
{
    const SlotDescriptor descriptor = Slot(slot);
    if (descriptor.offset == 0 && descriptor.length == 0)
        return SlotKind::Empty;
    version.page = loadedPage_;
    version.slot = slot;
    version.bytes = RecordBytes(page_, slot);
    if (version.bytes.size() < ods::kRecordDataOffset)
        return SlotKind::PassedOver;
    version.header = ParseHeader(version.bytes);
    const ods::RecordHeader& header = version.header;
    if (header.transaction == 0)
        return SlotKind::PassedOver;
    if (header.backPage != 0 && header.backLine != 0 && Word(version.bytes, ods::kRecordFlagsOffset) == kBlobHeaderFlags)
        return SlotKind::BlobHeader;
    if ((header.flags & ods::kFlagContinuation) != 0)
        return SlotKind::Continuation;
    if ((header.flags & ods::kFlagOldVersion) != 0 || (header.flags2 & ods::kFlag2ChangeMask) != 0)
        return SlotKind::OldVersion;
    if ((header.flags & ods::kFlagFirstFragment) != 0 && version.bytes.size() < ods::kFlaggedRecordDataOffset)
        return SlotKind::PassedOver;
    return SlotKind::Record;
}

void DataPageReader::Expand(const Version& version, ods::RecordImage& image, std::size_t limit)
{
    if ((version.header.flags & ods::kFlagFirstFragment) != 0) {
        image.Expand(version.bytes.subspan(std::min(version.bytes.size(), std::size_t{ods::kFlaggedRecordDataOffset})),
                     limit);
        JoinContinuations(version, image);
    } else {
        image.Expand(version.bytes.subspan(ods::kRecordDataOffset), limit);
    }
}

SlotKind DataPageReader::ReadSlot(std::uint16_t slot, ods::RecordImage& image, std::size_t limit,
                                  ods::RecordHeader& header)
{
    lengths_ = nullptr;
    fixedLimit_ = limit;
    return ReadCurrentVersion(slot, image, header);
}

SlotKind DataPageReader::ReadSlot(std::uint16_t slot, ods::RecordImage& image, ods::RecordHeader& header,
                                  const RecordLengths& lengths)
{
    lengths_ = &lengths;
    return ReadCurrentVersion(slot, image, header);
}

std::size_t DataPageReader::LengthOf(std::uint8_t format) const
{
    return lengths_ != nullptr ? (*lengths_)(format) : fixedLimit_;
}

SlotKind DataPageReader::ReadCurrentVersion(std::uint16_t slot, ods::RecordImage& image, ods::RecordHeader& header)
{
    lastJoined_ = false;
    lastOlder_ = false;
    header = ods::RecordHeader{};
    Version version;
    const SlotKind kind = Examine(slot, version);
    header = version.header;
    if (kind != SlotKind::Record)
        return kind;
    const bool deleted = (header.flags & ods::kFlagDeleted) != 0;
    if (!CountsAsCommitted(header.transaction)) {
        // Not the current version: the one behind it may be.
        if (!deleted)
            Expand(version, image, LengthOf(header.format));
        return ResolveOlder(version, !deleted && image.size() != 0, image, header);
    }
    if (deleted)
        return SlotKind::Deleted;
    Expand(version, image, LengthOf(header.format));
    return image.size() == 0 ? SlotKind::PassedOver : SlotKind::Record;
}

SlotKind DataPageReader::ClassifySlot(std::uint16_t slot)
{
    Version version;
    const SlotKind kind = Examine(slot, version);
    if (kind != SlotKind::Record)
        return kind;
    const ods::RecordHeader& header = version.header;
    if (!CountsAsCommitted(header.transaction)) {
        ods::RecordImage scratch;
        ods::RecordHeader read;
        return ReadSlot(slot, scratch, ods::kMaxRecordLength, read);
    }
    if ((header.flags & ods::kFlagDeleted) != 0)
        return SlotKind::Deleted;
    // Data is there when the first run gives at least one byte.
    const std::size_t start =
        (header.flags & ods::kFlagFirstFragment) != 0 ? ods::kFlaggedRecordDataOffset : ods::kRecordDataOffset;
    const bool hasData = version.bytes.size() > start + 1 && version.bytes[start] != std::byte{0};
    return hasData ? SlotKind::Record : SlotKind::PassedOver;
}

SlotKind DataPageReader::ResolveOlder(Version newer, bool newerHasData, ods::RecordImage& image,
                                      ods::RecordHeader& header)
{
    std::set<std::pair<std::uint32_t, std::uint16_t>> visited{{newer.page, newer.slot}};
    if (olderPages_.size() < static_cast<std::size_t>(kMaxVersions))
        olderPages_.resize(kMaxVersions);
    for (int hop = 0; hop < kMaxVersions; ++hop) {
        const std::uint32_t page = newer.header.backPage;
        const std::uint16_t line = newer.header.backLine;
        if (page == 0)
            return SlotKind::Uncommitted;  // the record's first version did not commit either
        if (!visited.insert({page, line}).second)
            return SlotKind::Unreadable;
        // The version behind: on this page or another data page of the relation.
        std::span<const std::byte> pageBytes = page_;
        if (page != loadedPage_) {
            if (!LoadInto(page, olderPages_[static_cast<std::size_t>(hop)]))
                return SlotKind::Unreadable;
            pageBytes = olderPages_[static_cast<std::size_t>(hop)];
        }
        if (line >= UsableSlots(pageBytes))
            return SlotKind::Unreadable;
        Version older{page, line, RecordBytes(pageBytes, line), {}};
        if (older.bytes.size() < ods::kRecordDataOffset)
            return SlotKind::Unreadable;
        older.header = ParseHeader(older.bytes);
        const ods::RecordHeader& old = older.header;
        if ((old.flags & ods::kFlagOldVersion) == 0 || (old.flags2 & ods::kFlag2ChangeMask) != 0)
            return SlotKind::Unreadable;  // no old version, or one that keeps no values
        if ((old.flags & ods::kFlagFirstFragment) != 0 && older.bytes.size() < ods::kFlaggedRecordDataOffset)
            return SlotKind::Unreadable;
        const bool deleted = (old.flags & ods::kFlagDeleted) != 0;
        std::size_t length = LengthOf(old.format);
        if ((newer.header.flags & ods::kFlagDeltaBackVersion) != 0) {
            if (!newerHasData)
                return SlotKind::Unreadable;
            if (length >= ods::kMaxRecordLength)
                length = image.size();  // no format tells the older length: the newer one's
            Expand(older, differences_, ods::kMaxRecordLength);
            if (!image.ApplyDifferences(differences_.bytes(), length))
                return SlotKind::Unreadable;
        } else if (!deleted) {
            Expand(older, image, length);
        }
        const bool hasData = !deleted && image.size() != 0;
        if (CountsAsCommitted(old.transaction)) {
            header = old;
            lastOlder_ = true;
            if (deleted)
                return SlotKind::Deleted;
            return hasData ? SlotKind::Record : SlotKind::Unreadable;
        }
        newer = older;
        newerHasData = hasData;
    }
    return SlotKind::Unreadable;
}

void DataPageReader::JoinContinuations(const Version& first, ods::RecordImage& image)
{
    std::set<std::pair<std::uint32_t, std::uint16_t>> visited;
    visited.insert({first.page, first.slot});
    std::uint32_t page = first.header.forwardPage;
    std::uint16_t line = first.header.forwardLine;
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
