#pragma once

// The walk over the record slots of the data pages filed under one page-list
// node, shared by every catalogue reader.

#include <atomic>
#include <cstdint>
#include <functional>

#include "ods/pagelist.h"
#include "ods/readingcontext.h"
#include "ods/recordstream.h"

namespace ravelin::ods {

struct SlotWalkHooks {
    // Called once per page before its slots, with the page's slot count.
    std::function<void(std::uint16_t slotCount)> pageStart;
    // Called after every slot (empty or not).
    std::function<void()> afterSlot;
    // Called after the last slot of a page.
    std::function<void()> pageEnd;
};

// Visits every record of the node's pages in order: for each page its slot
// count at offset 22, then the 4-byte slot descriptors from offset 24; an
// empty slot (offset 0) is passed over. The visitor gets the record's bytes
// (its stored length, clipped to the page). The walk stops at the next slot
// once stop is set. maxPages bounds the pages walked (0: all).
// Nothing outside a page is read for it: a slot count larger than the
// descriptors the page can hold is cut to those, and a slot whose offset
// lies past the page end or whose length is 0 is passed over like an empty
// one (afterSlot is still called). pageEnd follows every pageStart, also
// when a stop cut the page short.
void ForEachRecordSlot(ReadingContext& context, const PageListNode& node, const std::atomic<bool>& stop,
                       const std::function<void(RecordStream&)>& visitor, const SlotWalkHooks& hooks = {},
                       std::size_t maxPages = 0);

}  // namespace ravelin::ods
