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
#include <functional>
#include <span>
#include <vector>

#include "ods/constants.h"
#include "ods/recordimage.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"
#include "ods/recordstream.h"
#include "ods/transactions.h"

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
// Only a Record is a row: the current version of a record. Which version is
// current follows the transaction inventory (ods/transactions.h): the newest
// version whose transaction committed, or the newest of all where the
// inventory cannot tell.
enum class SlotKind {
    Empty,         // offset and length 0
    PassedOver,    // no record: transaction 0, no bytes inside the page, or no data
    BlobHeader,    // a blob header record kept among the table's records
    Continuation,  // the continuation of a record stored in fragments: part of another record
    OldVersion,    // a version behind a newer one (or a change mask): reached through the newer one only
    Deleted,       // the current version is a deletion stub: the row was deleted
    Uncommitted,   // every version was written by a transaction that did not commit: no row
    Unreadable,    // the current version is lost: a change mask, or a chain that breaks off
    Record,        // a row; its current version's decompressed data is in the image
};

struct SlotDescriptor {
    std::uint16_t offset = 0;  // from the page start
    std::uint16_t length = 0;  // stored length
};

// Bytes a record stored in a format takes when decompressed (the expansion
// limit for its data), by format number.
using RecordLengths = std::function<std::size_t(std::uint8_t format)>;

class DataPageReader {
public:
    // Continuation fragments followed for one record at most.
    static constexpr int kMaxFragments = 64;
    // Older versions followed behind one record at most.
    static constexpr int kMaxVersions = 64;

    // transactions: the file's inventory; null when the walk does not look
    // at transaction states (every version counts as committed).
    DataPageReader(ods::ReadingContext& context, std::uint32_t relationId,
                   ods::TransactionInventory* transactions = nullptr);

    // Reads page pageNumber whole. Yields false, and leaves no slots, unless
    // it lies inside the file and is a data page (type 5) of the relation.
    bool Load(std::uint32_t pageNumber);
    // Slots of the loaded page: the stored count, cut to the descriptors the
    // page can hold.
    std::uint16_t SlotCount() const { return slotCount_; }
    SlotDescriptor Slot(std::uint16_t slot) const;

    // Classifies the slot and, for a row, decompresses its current version's
    // data into image (at most lengths(format) bytes). header receives the
    // header of the version read (its format number says how to decode it).
    //
    // A first fragment (flags 8: forward page at 16, line at 20, data at 22)
    // is joined with its continuations when each is found where the forward
    // pointer says: inside the file, on a data page of the same relation, in
    // a slot of that page, with flags 4 (the last) or 12 (continued again),
    // and not visited before. An unusable continuation leaves the data of
    // the fragments before it.
    //
    // A newest version whose transaction did not commit is passed by for the
    // version behind it (back page and line), on this page or another data
    // page of the relation: a whole old version is decompressed; the old
    // version behind a record flagged 0x20 holds a difference string that is
    // applied to the newer version's data; a change mask holds no values and
    // leaves the record Unreadable, as does a back pointer that leads to no
    // old version of the relation or loops.
    SlotKind ReadSlot(std::uint16_t slot, ods::RecordImage& image, ods::RecordHeader& header,
                      const RecordLengths& lengths);
    // The same with one expansion limit for every format.
    SlotKind ReadSlot(std::uint16_t slot, ods::RecordImage& image, std::size_t limit, ods::RecordHeader& header);

    // What the slot holds, without decompressing the data of a current
    // version whose transaction committed (Record when it has data). Other
    // versions are resolved as ReadSlot resolves them.
    SlotKind ClassifySlot(std::uint16_t slot);

    // Whether the last record read was a first fragment whose whole chain
    // was found.
    bool lastRecordJoined() const { return lastJoined_; }
    // Whether the last Record read is an older version standing in for a
    // newer one whose transaction did not commit.
    bool lastRecordOlder() const { return lastOlder_; }

private:
    // A stored record: its page and slot, its bytes and header.
    struct Version {
        std::uint32_t page = 0;
        std::uint16_t slot = 0;
        std::span<const std::byte> bytes;
        ods::RecordHeader header;
    };

    // A page's slot count cut to what its size allows.
    std::uint16_t UsableSlots(std::span<const std::byte> page) const;
    // The stored bytes of a slot of page, cut at the page end; empty when
    // the slot is empty or starts outside the page.
    std::span<const std::byte> RecordBytes(std::span<const std::byte> page, std::uint16_t slot) const;
    bool LoadInto(std::uint32_t pageNumber, std::vector<std::byte>& buffer);
    bool CountsAsCommitted(std::uint32_t transaction);
    // The slot's kind before decompression; version holds the record.
    SlotKind Examine(std::uint16_t slot, Version& version);
    // Decompresses a version's own data (joining its fragments).
    void Expand(const Version& version, ods::RecordImage& image, std::size_t limit);
    void JoinContinuations(const Version& first, ods::RecordImage& image);
    // Walks back from a version whose transaction did not commit; image
    // holds its data when it has any.
    SlotKind ResolveOlder(Version newer, bool newerHasData, ods::RecordImage& image, ods::RecordHeader& header);
    // ReadSlot's work, under the lengths it was given.
    SlotKind ReadCurrentVersion(std::uint16_t slot, ods::RecordImage& image, ods::RecordHeader& header);
    std::size_t LengthOf(std::uint8_t format) const;

    ods::ReadingContext& context_;
    std::uint32_t relationId_;
    std::uint32_t pageSize_;
    ods::TransactionInventory* transactions_;
    std::uint32_t loadedPage_ = 0;
    std::vector<std::byte> page_;
    std::vector<std::byte> other_;
    std::vector<std::vector<std::byte>> olderPages_;  // pages holding the versions of one chain
    ods::RecordImage differences_;
    // The expansion limits of the ReadSlot call under way: per format, or one for all.
    const RecordLengths* lengths_ = nullptr;
    std::size_t fixedLimit_ = ods::kMaxRecordLength;
    std::uint16_t slotCount_ = 0;
    bool lastJoined_ = false;
    bool lastOlder_ = false;
    std::uint32_t lastTransaction_ = 0;  // transaction 0 writes no row version: never asked for
    bool lastCommitted_ = true;
};

}  // namespace ravelin::extract
