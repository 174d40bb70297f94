#pragma once

// Reading a user table's records from the file: the data page numbers its
// pointer pages list, the record slots of each data page, record headers,
// and the records themselves decompressed into a RecordImage, a record
// stored in fragments joined again. Nothing outside the file, a page or a
// record's stored bytes is ever read: a page number past the file, a slot
// count larger than the page can hold, a slot reaching past the page end or
// a fragment chain that loops are all taken as damage and passed over.
//
// Only the recovery worker thread uses these.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ods/recordimage.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"
#include "ods/recordstream.h"

namespace ravelin::extract {

// The pointer pages the page scan filed for the table: the first node of
// page type 4 with relationId; null when the scan found none. (Blob index
// pages, type 11, are filed under the same relation id in nodes of their
// own and are never read as pointer pages.)
const ods::PageListNode* FindPointerPageList(const ods::PageList& lists, std::uint32_t relationId);

// The data page numbers listed by the pointer page that starts at
// pagePosition: the 16-bit count at offset 24, then 32-bit numbers from
// offset 32; a count larger than the page holds is cut to what it holds.
std::vector<std::uint32_t> ReadPointerPage(ods::ReadingContext& context, std::uint64_t pagePosition);

// Collects a table's data page numbers in the order its pointer pages list
// them, passing over numbers that cannot name a data page of the file (0,
// the header page, or past the last page) and numbers already listed.
class DataPageNumberCollector {
public:
    explicit DataPageNumberCollector(std::uint64_t pageCount) : pageCount_(pageCount) {}
    // Appends the acceptable entries to pages; yields how many it appended.
    std::size_t Append(std::span<const std::uint32_t> entries, std::vector<std::uint32_t>& pages);

private:
    std::uint64_t pageCount_;
    std::vector<bool> seen_;
};

// What one record slot of a data page holds, as the table walks see it.
enum class SlotKind {
    Empty,         // offset and length 0
    PassedOver,    // no record: transaction 0, no bytes inside the page, or no data (a deleted record's stub)
    BlobHeader,    // a blob header record kept among the table's records
    Continuation,  // the continuation of a record stored in fragments: part of another record
    Record,        // a record; its decompressed data is in the image
};

struct SlotDescriptor {
    std::uint16_t offset = 0;  // from the page start
    std::uint16_t length = 0;  // stored length
};

class DataPageReader {
public:
    // Continuation fragments followed for one record at most.
    static constexpr int kMaxFragments = 64;

    DataPageReader(ods::ReadingContext& context, std::uint32_t relationId);

    // Reads page pageNumber whole. Yields false, and leaves no slots, unless
    // it lies inside the file and is a data page (type 5) of the relation.
    bool Load(std::uint32_t pageNumber);
    // Slots of the loaded page: the stored count, cut to the descriptors the
    // page can hold.
    std::uint16_t SlotCount() const { return slotCount_; }
    SlotDescriptor Slot(std::uint16_t slot) const;

    // Classifies the slot and, for a record, decompresses its data into image
    // (at most limit bytes). A first fragment (header byte 10 with bit 8: 22-
    // byte header, forward page at 16 and line at 20) is joined with its
    // continuations when each is found where the forward pointer says: inside
    // the file, on a data page of the same relation, in a slot of that page,
    // with flags 4 (the last) or 12 (continued again), and not visited before.
    // An unusable continuation leaves the data of the fragments before it.
    // header receives the record's header fields.
    SlotKind ReadSlot(std::uint16_t slot, ods::RecordImage& image, std::size_t limit, ods::RecordHeader& header);

    // Whether the last record read was a first fragment whose whole chain
    // was found.
    bool lastRecordJoined() const { return lastJoined_; }

private:
    // A page's slot count cut to what its size allows.
    std::uint16_t UsableSlots(std::span<const std::byte> page) const;
    // The stored bytes of a slot of page, cut at the page end; empty when
    // the slot is empty or starts outside the page.
    std::span<const std::byte> RecordBytes(std::span<const std::byte> page, std::uint16_t slot) const;
    bool LoadInto(std::uint32_t pageNumber, std::vector<std::byte>& buffer);
    void JoinContinuations(std::uint16_t firstSlot, std::uint32_t page, std::uint16_t line, ods::RecordImage& image);

    ods::ReadingContext& context_;
    std::uint32_t relationId_;
    std::uint32_t pageSize_;
    std::uint32_t loadedPage_ = 0;
    std::vector<std::byte> page_;
    std::vector<std::byte> other_;
    std::uint16_t slotCount_ = 0;
    bool lastJoined_ = false;
};

}  // namespace ravelin::extract
