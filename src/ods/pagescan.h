#pragma once

// The page scan: reads the type byte of every page (and the relation id of
// pages of types 4, 5, 11 and 12) and files each page under the page-list
// node of the relation it claims to belong to. Runs on the recovery worker
// thread.

#include <cstdint>
#include <unordered_map>

#include "job/frame.h"
#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::ods {

// FindPageList's page type that matches a node of any type.
inline constexpr std::uint8_t kAnyPageType = 0;

// Lookup and tail append over the page lists. Nodes are only ever appended,
// so the first node of a key never changes once it exists; the finder keeps
// an index of them so a scan over millions of pages stays linear.
class PageListFinder {
public:
    // Indexes the nodes lists already holds.
    explicit PageListFinder(PageList& lists);

    // The first node with relationId and (unless pageType is kAnyPageType)
    // pageType; null when there is none. Valid until the next append.
    PageListNode* FindPageList(std::uint32_t relationId, std::uint8_t pageType);
    // Appends a node at the tail and yields it.
    PageListNode& AppendPageList(std::uint32_t relationId, std::uint8_t pageType);
    bool Empty() const { return lists_.empty(); }

private:
    static std::uint64_t Key(std::uint32_t relationId, std::uint8_t pageType)
    {
        return (std::uint64_t{relationId} << 8) | pageType;
    }
    PageList& lists_;
    std::unordered_map<std::uint64_t, std::size_t> firstOfKey_;
};

// The offset of the relation id on a page of this type: 20 on data pages
// (type 5) and type-12 pages, 26 on pointer (4) and blob index (11) pages;
// 0 for the types the scan does not file.
std::uint32_t RelationIdOffset(std::uint8_t pageType);

// Files the page starting at pageStart by its type byte and the relation id
// read at RelationIdOffset(pageType):
//   type 5:  relation 2, 3, 4, 5, 6, 7, 22: the first node of that relation,
//            whatever its type, else a new type-5 node; relation 8, 20 or
//            >= 128: the first type-5 node of the relation; other
//            relations: not filed.
//   type 4:  relation 8, 12 or >= 128: the first type-4 node of the relation.
//   type 11: relation 8 or >= 128: the first type-11 node of the relation.
//   type 12: relation 5, 8 or 12: the first type-12 node of the relation.
//   type 3:  (transaction inventory) the first type-3 node, relation id 0.
//   type 9:  (generator values) the first type-9 node, relation id 0.
// A missing node is appended at the tail; other types and relations are not
// filed.
void FilePage(PageListFinder& finder, std::uint64_t pageStart, std::uint8_t pageType, std::uint32_t relationId);

// Visits pages 1 .. P-1 (P = file size / page size) in file order and files
// them into lists (appending to what lists holds; the caller empties it
// before a scan). Pages 1 to 79 are filed only when they belong to a user
// table (relation id 128 or more) or are data pages of the record formats
// (relation 8);
// the catalogue relations and the transaction inventory are filed from
// page 80 on; generator pages wherever they stand. Sends UM_PROGRESS (1, P) before, (2) after every page and
// (3) at the end, also after a stop. A stop request ends the scan before
// the next page.
void ScanPages(ReadingContext& context, PageList& lists, job::WorkerLink& link);

}  // namespace ravelin::ods
