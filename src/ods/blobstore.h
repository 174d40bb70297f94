#pragma once

// Where a table's blobs lie in the damaged file, and reading their bytes back.
//
// A blob is kept as a blob header record of its table's relation:
//   - in ODS 15/16 files on the relation's blob header pages (type 12, laid
//     out like data pages, relation id at 20), which the relation's blob
//     index pages (type 11) list;
//   - in ODS 13 files, and for the system relations, on the relation's data
//     pages (type 5), which its pointer pages list.
// A header record's number is its page's sequence (offset 16 of the page)
// times the records such a page is numbered for, plus its slot. The blob id
// a BLOB field stores is the relation id and this number. Data pages are
// numbered for (page size - 24) / 39 records. Blob header pages of user
// relations are numbered for fewer, a count the file does not state (9 and
// 10 on two relations of one 1024-byte file, 17 at 4096 bytes): it is at
// least the largest slot count of the relation's blob header pages, which is
// what the store assumes until FitRecordNumbering has seen the table's ids.
//
// The header record (raw layout in ods/constants.h) is stored uncompressed.
// It holds the blob's stored bytes itself after its 28-byte header (level 0,
// lead page 0), or the numbers of the blob pages (type 8) that hold them
// (level 1), or the numbers of pointer pages (type 8) that list those blob
// pages (level 2). A blob page holds at 24 its byte count and from 28 its
// share of the stored bytes; at 16 the blob's lead page and at 20 its place
// in the blob (0, 1, ...). The stored bytes of a segmented blob are its
// segments, each preceded by a 2-byte length; a stream blob (flag 0x20)
// stores its data as it is.
//
// Damage: nothing outside the file, a page or a record is read. A blob page
// that is missing, outside the file, of another type, or not the page the
// blob's list expects there (its lead page or place differs) ends the blob:
// the bytes before it are given and the read reports Partial. A byte count
// beyond its page is cut to the page and ends the blob the same way. A
// segment whose length reaches past the stored bytes gives the bytes that
// are there. Page lists are walked once, front to back, and never followed
// from page to page, so no damaged reference can loop.
//
// Only the recovery worker thread uses a store.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::ods {

// A stored blob id (8 bytes in a record): the relation whose blob it is and
// the number of its blob header record.
struct BlobId {
    std::uint32_t relationId = 0;
    std::uint32_t recordNumber = 0;
};

// A blob header record, decoded.
struct BlobHeader {
    std::uint32_t leadPage = 0;     // first blob page; 0 when the record holds the bytes
    std::uint32_t maxSequence = 0;  // blob pages - 1
    std::uint16_t maxSegment = 0;   // longest segment, bytes
    std::uint8_t flags = 0;         // record flags: 0x10 blob header, 0x20 stream, 0x40 on pages
    std::uint8_t level = 0;         // 0 bytes in the record, 1 blob pages, 2 pointer pages
    std::uint32_t segmentCount = 0;
    std::uint32_t length = 0;       // data bytes, segment lengths not counted

    bool stream() const;
    // The record holds the stored bytes (lead page 0).
    bool inRecord() const { return leadPage == 0; }
};

// Decodes the header of a blob header record (record: its stored bytes);
// nullopt when the record is shorter than the 28-byte header or its flags
// do not carry the blob header bit.
std::optional<BlobHeader> ParseBlobHeader(std::span<const std::byte> record);

// Turns the stored bytes of a segmented blob, fed in pieces of any size,
// into its data: each segment's 2-byte length is dropped, its bytes passed
// on. A zero-length segment gives nothing. With an end (the data length and
// segment count of the blob's header), the blob ends at the first segment
// boundary where both have been reached, and later bytes are ignored: a
// record whose slot length runs past its bytes adds nothing to its blob.
class SegmentReader {
public:
    SegmentReader() = default;
    SegmentReader(std::uint64_t endBytes, std::uint32_t endSegments)
        : hasEnd_(true), endBytes_(endBytes), endSegments_(endSegments)
    {
    }

    // Passes the data bytes of stored to emit; stops and yields false as soon
    // as emit does.
    bool Feed(std::span<const std::byte> stored, const std::function<bool(std::span<const std::byte>)>& emit);
    // All bytes fed so far (up to the end) formed whole segments.
    bool AtSegmentBoundary() const { return lengthBytes_ == 0 && segmentLeft_ == 0; }
    // The end was reached.
    bool ended() const { return ended_; }

private:
    bool hasEnd_ = false;
    std::uint64_t endBytes_ = 0;
    std::uint32_t endSegments_ = 0;
    bool ended_ = false;
    std::uint64_t dataBytes_ = 0;
    std::uint32_t segments_ = 0;
    std::uint16_t lengthLow_ = 0;
    int lengthBytes_ = 0;            // bytes of the next length already read (0 or 1)
    std::uint32_t segmentLeft_ = 0;  // data bytes of the current segment still to come
};

// Place of a blob header record.
struct BlobLocation {
    std::uint32_t page = 0;
    std::uint16_t slot = 0;
    bool operator==(const BlobLocation&) const = default;
};

enum class BlobReadStatus {
    Complete,  // every page and segment as the header describes, length included
    Partial,   // damage cut the blob short or its bytes disagree with its length; what was read was given
    Missing,   // no blob header record at the location
    Stopped,   // a stop request ended the read
    Refused,   // the receiver of the bytes refused them (a write failed)
};

struct BlobReadResult {
    BlobReadStatus status = BlobReadStatus::Missing;
    BlobHeader header;
    std::uint64_t bytes = 0;  // data bytes given
};

// Receives a blob's data in order; yields false to end the read.
using BlobSink = std::function<bool(std::span<const std::byte>)>;

class BlobStore {
public:
    // Indexes the relation's blob header pages: the pages its type-11 nodes
    // list (entries of 8 bytes, or of 4 bytes when an 8-byte reading gives a
    // page number beyond 32 bits) that are pages with slots (type 12 or 5) of
    // the relation. Data pages, from its type-4 nodes (the pointer pages'
    // entries) and type-5 nodes, are looked at only when an id is not found on
    // the blob header pages.
    BlobStore(const ReadingContext& context, const PageList& lists, std::uint32_t relationId);

    std::uint32_t relationId() const { return relationId_; }
    // Records a blob header page is numbered for (see above), and a data page.
    std::uint32_t headerPageRecords() const { return headerStride_; }
    std::uint32_t dataPageRecords() const { return dataStride_; }
    // Blob header pages found through the blob index pages.
    std::size_t headerPageCount() const { return headerPages_.size(); }

    // Chooses the numbering of the blob header pages from the ids the
    // table's records store (ids of other relations are ignored): the first
    // of the largest slot count, the data-page numbering and then every count
    // above the largest slot count that puts every id on a blob header
    // record; when none does, the one that places the most. A large id list
    // is judged by an even sample of it.
    void FitRecordNumbering(std::span<const BlobId> ids);

    // The blob header record an id names; nullopt when the id is of another
    // relation or names no blob header record.
    std::optional<BlobLocation> Locate(const BlobId& id);

    // Every blob header record on the pages the blob index pages list, in
    // their order and in slot order (the pass that has no blob ids).
    std::vector<BlobLocation> IndexedHeaderRecords(const std::atomic<bool>* stop = nullptr);

    // The header of the record at location; nullopt when it is no blob header.
    std::optional<BlobHeader> ReadHeader(const BlobLocation& location);

    // Reads the blob at location and passes its data to sink, in pieces.
    // Polls stop between blob pages.
    BlobReadResult Read(const BlobLocation& location, const BlobSink& sink, const std::atomic<bool>* stop = nullptr);

private:
    struct HeaderPage {
        std::uint32_t page = 0;
        std::uint32_t sequence = 0;
        std::vector<bool> headerSlots;  // per slot: holds a blob header record
    };

    // Copies page number into buffer; false when it does not lie in the file.
    bool LoadPage(std::uint32_t page, std::vector<std::byte>& buffer) const;
    // Loads page into page_, unless it is there already.
    bool LoadRecordPage(std::uint32_t page);
    // Slots of a loaded page with slots, cut to what the page holds.
    std::uint16_t UsableSlots(std::span<const std::byte> page) const;
    // The stored bytes of a slot, cut at the page end; empty when none.
    std::span<const std::byte> SlotRecord(std::span<const std::byte> page, std::uint16_t slot) const;
    bool IsHeaderSlot(std::span<const std::byte> page, std::uint16_t slot) const;
    // A page with slots of this relation: type 12 or 5 and the relation id.
    bool IsRelationSlotPage(std::span<const std::byte> page) const;

    void IndexHeaderPages(const PageList& lists);
    void ListDataPages(const PageList& lists);
    std::size_t CountPlaced(std::span<const BlobId> ids, std::uint32_t stride) const;
    std::optional<BlobLocation> LocateOnHeaderPages(std::uint32_t number, std::uint32_t stride) const;
    std::optional<BlobLocation> LocateOnDataPages(std::uint32_t number);
    std::optional<std::uint32_t> DataPageOfSequence(std::uint32_t sequence);

    // Feeds the data of the blob pages listed in pages (level 1) or in the
    // pointer pages listed there (level 2).
    BlobReadStatus ReadBlobPages(const BlobHeader& header, std::span<const std::byte> pageNumbers,
                                 const std::function<bool(std::span<const std::byte>)>& feed,
                                 const std::atomic<bool>* stop);

    const ReadingContext& context_;
    std::uint32_t relationId_ = 0;
    std::uint32_t pageSize_ = 0;
    std::uint64_t pageCount_ = 0;

    std::vector<HeaderPage> headerPages_;                           // index order
    std::unordered_map<std::uint32_t, std::size_t> headerBySequence_;  // sequence -> headerPages_ entry
    std::uint32_t largestSlotCount_ = 0;
    std::uint32_t headerStride_ = 1;
    std::uint32_t dataStride_ = 1;

    std::vector<std::uint32_t> dataPages_;  // pointer page order, then filed data pages
    std::unordered_map<std::uint32_t, std::uint32_t> dataBySequence_;
    bool dataMapBuilt_ = false;

    std::vector<std::byte> page_;  // a page of header records (recordPageNumber_; 0: none)
    std::uint32_t recordPageNumber_ = 0;
    std::vector<std::byte> blobPage_;
    std::vector<std::byte> pointerPage_;
};

}  // namespace ravelin::ods
