#include "ods/blobstore.h"

#include <algorithm>
#include <array>

#include "ods/constants.h"

namespace ravelin::ods {
namespace {

// Ids judged when fitting the numbering of a large table.
constexpr std::size_t kFitSample = 512;

std::uint32_t Byte(std::span<const std::byte> bytes, std::size_t at)
{
    return at < bytes.size() ? std::to_integer<std::uint32_t>(bytes[at]) : 0;
}

std::uint16_t Word(std::span<const std::byte> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(Byte(bytes, at) | (Byte(bytes, at + 1) << 8));
}

std::uint32_t Long(std::span<const std::byte> bytes, std::size_t at)
{
    return Byte(bytes, at) | (Byte(bytes, at + 1) << 8) | (Byte(bytes, at + 2) << 16) | (Byte(bytes, at + 3) << 24);
}

}  // namespace

bool BlobHeader::stream() const
{
    return (flags & kFlagStreamBlob) != 0;
}

std::optional<BlobHeader> ParseBlobHeader(std::span<const std::byte> record)
{
    if (record.size() < kBlobDataOffset)
        return std::nullopt;
    BlobHeader header;
    header.flags = static_cast<std::uint8_t>(Byte(record, kBlobFlagsOffset));
    if ((header.flags & kFlagBlob) == 0)
        return std::nullopt;
    header.leadPage = Long(record, kBlobLeadPageOffset);
    header.maxSequence = Long(record, kBlobMaxSequenceOffset);
    header.maxSegment = Word(record, kBlobMaxSegmentOffset);
    header.level = static_cast<std::uint8_t>(Byte(record, kBlobLevelOffset));
    header.segmentCount = Long(record, kBlobSegmentCountOffset);
    header.length = Long(record, kBlobLengthOffset);
    return header;
}

bool SegmentReader::Feed(std::span<const std::byte> stored,
                         const std::function<bool(std::span<const std::byte>)>& emit)
{
    std::size_t at = 0;
    while (at < stored.size() && !ended_) {
        if (segmentLeft_ == 0) {
            if (lengthBytes_ == 0 && hasEnd_ && dataBytes_ >= endBytes_ && segments_ >= endSegments_) {
                ended_ = true;
                break;
            }
            const auto byte = std::to_integer<std::uint16_t>(stored[at++]);
            if (lengthBytes_ == 0) {
                lengthLow_ = byte;
                lengthBytes_ = 1;
            } else {
                segmentLeft_ = static_cast<std::uint32_t>(lengthLow_ | (byte << 8));
                lengthBytes_ = 0;
                ++segments_;
            }
            continue;
        }
        const std::size_t take = std::min<std::size_t>(segmentLeft_, stored.size() - at);
        if (!emit(stored.subspan(at, take)))
            return false;
        at += take;
        dataBytes_ += take;
        segmentLeft_ -= static_cast<std::uint32_t>(take);
    }
    return true;
}

BlobStore::BlobStore(const ReadingContext& context, const PageList& lists, std::uint32_t relationId)
    : context_(context), relationId_(relationId), pageSize_(context.pageSize), pageCount_(context.PageCount())
{
    if (pageSize_ > kDataPageSlotArrayOffset)
        dataStride_ = std::max<std::uint32_t>(1, (pageSize_ - kDataPageSlotArrayOffset) / kRecordNumberDivisor);
    if (pageSize_ == 0)
        return;
    IndexHeaderPages(lists);
    ListDataPages(lists);
    // System relations number their blob header pages as data pages are
    // numbered; user relations by a count that is at least the fullest page.
    headerStride_ = relationId_ < kFirstUserRelation ? dataStride_ : std::max<std::uint32_t>(1, largestSlotCount_);
}

bool BlobStore::LoadPage(std::uint32_t page, std::vector<std::byte>& buffer) const
{
    // Page 0 is the header page: no list names it for blob data.
    if (page == 0 || page >= pageCount_)
        return false;
    buffer.resize(pageSize_);
    context_.ReadAt(std::uint64_t{page} * pageSize_, buffer);
    return true;
}

bool BlobStore::LoadRecordPage(std::uint32_t page)
{
    // The file does not change under a pass: a page read stays valid.
    if (page != 0 && page == recordPageNumber_)
        return true;
    recordPageNumber_ = 0;
    if (!LoadPage(page, page_))
        return false;
    recordPageNumber_ = page;
    return true;
}

std::uint16_t BlobStore::UsableSlots(std::span<const std::byte> page) const
{
    const std::uint32_t count = Word(page, kDataPageSlotCountOffset);
    const std::uint32_t room = page.size() > kDataPageSlotArrayOffset
                                   ? static_cast<std::uint32_t>((page.size() - kDataPageSlotArrayOffset) / kSlotSize)
                                   : 0;
    return static_cast<std::uint16_t>(std::min(count, room));
}

std::span<const std::byte> BlobStore::SlotRecord(std::span<const std::byte> page, std::uint16_t slot) const
{
    const std::size_t at = kDataPageSlotArrayOffset + std::size_t{kSlotSize} * slot;
    const std::uint16_t offset = Word(page, at);
    const std::uint16_t length = Word(page, at + 2);
    if (offset == 0 || length == 0 || offset >= page.size())
        return {};
    return page.subspan(offset, std::min<std::size_t>(length, page.size() - offset));
}

bool BlobStore::IsHeaderSlot(std::span<const std::byte> page, std::uint16_t slot) const
{
    return ParseBlobHeader(SlotRecord(page, slot)).has_value();
}

bool BlobStore::IsRelationSlotPage(std::span<const std::byte> page) const
{
    const std::uint32_t type = Byte(page, 0);
    return (type == kType12Page || type == kDataPage) &&
           Word(page, kDataPageRelationOffset) == relationId_;
}

void BlobStore::IndexHeaderPages(const PageList& lists)
{
    std::vector<std::uint32_t> listed;
    std::vector<std::byte> index;
    for (const PageListNode& node : lists) {
        if (node.relationId != relationId_ || node.pageType != kBlobIndexPage)
            continue;
        for (const std::uint64_t position : node.pagePositions) {
            if (position % pageSize_ != 0 || !LoadPage(static_cast<std::uint32_t>(position / pageSize_), index))
                continue;
            const std::size_t count = Word(index, kPointerPageCountOffset);
            const std::size_t room = (pageSize_ - kBlobIndexEntriesOffset);
            // Entries are 8 bytes wide unless one read so holds a page number
            // beyond 32 bits: then the page holds 4-byte entries.
            bool wide = true;
            for (std::size_t i = 0; i < std::min(count, room / 8); ++i) {
                if (Long(index, kBlobIndexEntriesOffset + 8 * i + 4) != 0) {
                    wide = false;
                    break;
                }
            }
            const std::size_t width = wide ? 8 : 4;
            for (std::size_t i = 0; i < std::min(count, room / width); ++i) {
                const std::uint32_t page = Long(index, kBlobIndexEntriesOffset + width * i);
                if (page != 0)
                    listed.push_back(page);
            }
        }
    }
    // Header pages the page scan filed itself (it does so for relations
    // whose blob index pages lie before the pages it visits): after the
    // listed ones.
    for (const PageListNode& node : lists) {
        if (node.relationId != relationId_ || node.pageType != kType12Page)
            continue;
        for (const std::uint64_t position : node.pagePositions) {
            if (position % pageSize_ == 0)
                listed.push_back(static_cast<std::uint32_t>(position / pageSize_));
        }
    }
    std::vector<bool> seen;
    for (const std::uint32_t page : listed) {
        if (page >= pageCount_)
            continue;
        if (seen.size() <= page)
            seen.resize(page + 1, false);
        if (seen[page] || !LoadRecordPage(page) || !IsRelationSlotPage(page_))
            continue;
        seen[page] = true;
        HeaderPage entry;
        entry.page = page;
        entry.sequence = Long(page_, kPageSequenceOffset);
        const std::uint16_t slots = UsableSlots(page_);
        entry.headerSlots.resize(slots);
        for (std::uint16_t slot = 0; slot < slots; ++slot)
            entry.headerSlots[slot] = IsHeaderSlot(page_, slot);
        largestSlotCount_ = std::max<std::uint32_t>(largestSlotCount_, slots);
        // The first page claiming a sequence keeps it.
        headerBySequence_.emplace(entry.sequence, headerPages_.size());
        headerPages_.push_back(std::move(entry));
    }
}

void BlobStore::ListDataPages(const PageList& lists)
{
    // The pages the pointer pages list come first, so that a sequence
    // number is taken from them before any data page the pointer pages do
    // not list (a user table's pages that hold only fragments or older
    // versions, or pages whose pointer page was lost).
    std::vector<std::byte> pointer;
    for (const PageListNode& node : lists) {
        if (node.relationId != relationId_)
            continue;
        if (node.pageType == kPointerPage) {
            for (const std::uint64_t position : node.pagePositions) {
                if (position % pageSize_ != 0 || !LoadPage(static_cast<std::uint32_t>(position / pageSize_), pointer))
                    continue;
                const std::size_t count =
                    std::min<std::size_t>(Word(pointer, kPointerPageCountOffset),
                                          (pageSize_ - kPointerPageEntriesOffset) / 4);
                for (std::size_t i = 0; i < count; ++i)
                    dataPages_.push_back(Long(pointer, kPointerPageEntriesOffset + 4 * i));
            }
        }
    }
    for (const PageListNode& node : lists) {
        if (node.relationId != relationId_ || node.pageType != kDataPage)
            continue;
        for (const std::uint64_t position : node.pagePositions) {
            if (position % pageSize_ == 0)
                dataPages_.push_back(static_cast<std::uint32_t>(position / pageSize_));
        }
    }
}

std::optional<BlobLocation> BlobStore::LocateOnHeaderPages(std::uint32_t number, std::uint32_t stride) const
{
    const auto found = headerBySequence_.find(number / stride);
    if (found == headerBySequence_.end())
        return std::nullopt;
    const HeaderPage& page = headerPages_[found->second];
    const std::uint32_t slot = number % stride;
    if (slot >= page.headerSlots.size() || !page.headerSlots[slot])
        return std::nullopt;
    return BlobLocation{page.page, static_cast<std::uint16_t>(slot)};
}

std::size_t BlobStore::CountPlaced(std::span<const BlobId> ids, std::uint32_t stride) const
{
    return static_cast<std::size_t>(std::count_if(ids.begin(), ids.end(), [&](const BlobId& id) {
        return LocateOnHeaderPages(id.recordNumber, stride).has_value();
    }));
}

void BlobStore::FitRecordNumbering(std::span<const BlobId> ids)
{
    if (headerPages_.empty())
        return;
    std::vector<BlobId> own;
    for (const BlobId& id : ids) {
        if (id.relationId == relationId_)
            own.push_back(id);
    }
    if (own.empty())
        return;
    std::vector<BlobId> sample;
    if (own.size() <= kFitSample) {
        sample = std::move(own);
    } else {
        for (std::size_t i = 0; i < kFitSample; ++i)
            sample.push_back(own[i * own.size() / kFitSample]);
    }

    std::vector<std::uint32_t> candidates{std::max<std::uint32_t>(1, largestSlotCount_), dataStride_};
    const std::uint32_t most = (pageSize_ - kDataPageSlotArrayOffset) / kSlotSize;
    for (std::uint32_t stride = largestSlotCount_ + 1; stride <= most; ++stride)
        candidates.push_back(stride);

    std::uint32_t best = headerStride_;
    std::size_t bestPlaced = CountPlaced(sample, headerStride_);
    for (const std::uint32_t stride : candidates) {
        const std::size_t placed = CountPlaced(sample, stride);
        if (placed == sample.size()) {
            best = stride;
            break;
        }
        if (placed > bestPlaced) {
            best = stride;
            bestPlaced = placed;
        }
    }
    headerStride_ = best;
}

std::optional<std::uint32_t> BlobStore::DataPageOfSequence(std::uint32_t sequence)
{
    // Pointer pages list a relation's data pages in sequence order: try the
    // page at that place first, and map every listed page only when the
    // place does not hold it.
    if (sequence < dataPages_.size() && LoadRecordPage(dataPages_[sequence]) && IsRelationSlotPage(page_) &&
        Long(page_, kPageSequenceOffset) == sequence) {
        return dataPages_[sequence];
    }
    if (!dataMapBuilt_) {
        dataMapBuilt_ = true;
        std::array<std::byte, kDataPageSlotArrayOffset> head{};
        for (const std::uint32_t page : dataPages_) {
            if (page == 0 || page >= pageCount_)
                continue;
            context_.ReadAt(std::uint64_t{page} * pageSize_, head);
            if (IsRelationSlotPage(head))
                dataBySequence_.emplace(Long(head, kPageSequenceOffset), page);
        }
    }
    const auto found = dataBySequence_.find(sequence);
    if (found == dataBySequence_.end())
        return std::nullopt;
    return found->second;
}

std::optional<BlobLocation> BlobStore::LocateOnDataPages(std::uint32_t number)
{
    const auto page = DataPageOfSequence(number / dataStride_);
    if (!page || !LoadRecordPage(*page) || !IsRelationSlotPage(page_))
        return std::nullopt;
    const auto slot = static_cast<std::uint16_t>(number % dataStride_);
    if (slot >= UsableSlots(page_) || !IsHeaderSlot(page_, slot))
        return std::nullopt;
    return BlobLocation{*page, slot};
}

std::optional<BlobLocation> BlobStore::Locate(const BlobId& id)
{
    if (id.relationId != relationId_ || pageSize_ == 0)
        return std::nullopt;
    if (auto location = LocateOnHeaderPages(id.recordNumber, headerStride_))
        return location;
    return LocateOnDataPages(id.recordNumber);
}

std::vector<BlobLocation> BlobStore::IndexedHeaderRecords(const std::atomic<bool>* stop)
{
    std::vector<BlobLocation> records;
    for (const HeaderPage& page : headerPages_) {
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        for (std::size_t slot = 0; slot < page.headerSlots.size(); ++slot) {
            if (page.headerSlots[slot])
                records.push_back(BlobLocation{page.page, static_cast<std::uint16_t>(slot)});
        }
    }
    return records;
}

std::optional<BlobHeader> BlobStore::ReadHeader(const BlobLocation& location)
{
    if (!LoadRecordPage(location.page) || location.slot >= UsableSlots(page_))
        return std::nullopt;
    return ParseBlobHeader(SlotRecord(page_, location.slot));
}

BlobReadStatus BlobStore::ReadBlobPages(const BlobHeader& header, std::span<const std::byte> pageNumbers,
                                        const std::function<bool(std::span<const std::byte>)>& feed,
                                        const std::atomic<bool>* stop)
{
    const std::uint64_t pagesWanted = std::uint64_t{header.maxSequence} + 1;
    const std::uint32_t room = pageSize_ - kBlobPageDataOffset;
    std::uint32_t sequence = 0;

    // One blob page: the next in the blob's order, or the end of the blob.
    const auto readPage = [&](std::uint32_t page, bool checkLead) -> BlobReadStatus {
        if (stop && stop->load(std::memory_order_relaxed))
            return BlobReadStatus::Stopped;
        if (!LoadPage(page, blobPage_) || Byte(blobPage_, 0) != kBlobPage ||
            Long(blobPage_, kBlobPageSequenceOffset) != sequence ||
            (checkLead && Long(blobPage_, kBlobPageLeadOffset) != header.leadPage)) {
            return BlobReadStatus::Partial;
        }
        const std::uint32_t length = Long(blobPage_, kBlobPageLengthOffset);
        const auto data = std::span<const std::byte>(blobPage_).subspan(kBlobPageDataOffset, std::min(length, room));
        if (!feed(data))
            return BlobReadStatus::Refused;
        ++sequence;
        return length > room ? BlobReadStatus::Partial : BlobReadStatus::Complete;
    };

    const std::size_t listed = pageNumbers.size() / 4;
    if (header.level != 2) {
        // Level 1: the record lists the blob pages.
        const std::uint64_t count = std::min<std::uint64_t>(listed, pagesWanted);
        for (std::uint64_t i = 0; i < count; ++i) {
            const BlobReadStatus status = readPage(Long(pageNumbers, 4 * i), true);
            if (status != BlobReadStatus::Complete)
                return status;
        }
        return count == pagesWanted ? BlobReadStatus::Complete : BlobReadStatus::Partial;
    }
    // Level 2: the record lists pointer pages, each listing blob pages.
    for (std::size_t i = 0; i < listed && sequence < pagesWanted; ++i) {
        if (!LoadPage(Long(pageNumbers, 4 * i), pointerPage_) || Byte(pointerPage_, 0) != kBlobPage)
            return BlobReadStatus::Partial;
        const std::uint32_t bytes = std::min(Long(pointerPage_, kBlobPageLengthOffset), room);
        for (std::uint32_t entry = 0; entry < bytes / 4 && sequence < pagesWanted; ++entry) {
            const BlobReadStatus status = readPage(Long(pointerPage_, kBlobPageDataOffset + 4 * entry), false);
            if (status != BlobReadStatus::Complete)
                return status;
        }
    }
    return sequence == pagesWanted ? BlobReadStatus::Complete : BlobReadStatus::Partial;
}

BlobReadResult BlobStore::Read(const BlobLocation& location, const BlobSink& sink, const std::atomic<bool>* stop)
{
    BlobReadResult result;
    if (!LoadRecordPage(location.page) || !IsRelationSlotPage(page_) || location.slot >= UsableSlots(page_))
        return result;
    const std::span<const std::byte> slotBytes = SlotRecord(page_, location.slot);
    const auto header = ParseBlobHeader(slotBytes);
    if (!header)
        return result;
    result.header = *header;
    // The record is copied out, so that the page buffer is free for other
    // reads while its blob is read.
    const std::vector<std::byte> record(slotBytes.begin(), slotBytes.end());
    const auto stored = std::span<const std::byte>(record).subspan(kBlobDataOffset);

    // Counts and passes on data bytes; a stream blob ends at its length.
    const auto emit = [&](std::span<const std::byte> data) {
        if (header->stream()) {
            if (result.bytes >= header->length)
                return true;
            data = data.first(std::min<std::uint64_t>(data.size(), header->length - result.bytes));
        }
        if (data.empty())
            return true;
        result.bytes += data.size();
        return sink(data);
    };
    SegmentReader segments(header->length, header->segmentCount);
    const auto feed = [&](std::span<const std::byte> bytes) {
        return header->stream() ? emit(bytes) : segments.Feed(bytes, emit);
    };

    BlobReadStatus status = BlobReadStatus::Complete;
    if (header->inRecord()) {
        if (!feed(stored))
            status = BlobReadStatus::Refused;
    } else if (header->level > 2) {
        status = BlobReadStatus::Partial;  // no layout known beyond pointer pages
    } else {
        status = ReadBlobPages(*header, stored, feed, stop);
    }
    if (status == BlobReadStatus::Complete &&
        ((!header->stream() && !segments.AtSegmentBoundary()) || result.bytes != header->length)) {
        status = BlobReadStatus::Partial;
    }
    result.status = status;
    return result;
}

}  // namespace ravelin::ods
