#pragma once

// The page lists: the pages of the file filed under the relation it
// claims to belong to. The only map of the file the other readers use.

#include <cstdint>
#include <vector>

namespace ravelin::ods {

struct PageListNode {
    std::uint32_t relationId = 0;
    std::uint8_t pageType = 0;                 // type of the page that created the node: 4, 5, 11 or 12
    std::vector<std::uint64_t> pagePositions;  // start offsets (bytes) of the filed pages, file order
};

// Nodes in the order the scan met the first page of each.
using PageList = std::vector<PageListNode>;

}  // namespace ravelin::ods
