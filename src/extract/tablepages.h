#pragma once

// The data pages of a user table, in the order its records are walked.
//
// The table's pointer pages are the map of its data pages: the pages they
// list come first, in the order listed, as the scan met the pointer pages.
// A pointer page lost to damage must not cost the table the records of the
// data pages it listed: every data page of the table that the page scan
// found (ods/pagescan.h) and that no surviving pointer page covers is read
// as well. A data page is covered when its sequence number (offset 16)
// lies in the range of a surviving pointer page of the table: pointer page
// s with n entries covers sequences s * D .. s * D + n - 1, D the data pages
// one pointer page lists (ods/constants.h). A covered page that its pointer
// page does not list is a page the table let go of, and so is a page the
// page inventory marks free (ods/pageinventory.h); neither is read. The
// pages adopted this way are placed among the listed ones by sequence
// number. No page is read twice for one table, and a file whose pointer
// pages all survive gives exactly the pages they list.
//
// Only the recovery worker thread uses this.

#include <cstdint>
#include <functional>
#include <vector>

#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::extract {

struct TablePages {
    std::vector<std::uint32_t> pages;  // data page numbers, walk order
    std::uint32_t adopted = 0;         // pages no surviving pointer page lists
};

struct TablePageHooks {
    // Asked before every pointer page and every entry; true ends the
    // collection with what it has.
    std::function<bool()> interrupted;
    // Called after every pointer page entry and every unlisted page looked at.
    std::function<void()> step;
};

TablePages CollectTableDataPages(ods::ReadingContext& context, const ods::PageList& lists, std::uint32_t relationId,
                                 const TablePageHooks& hooks = {});

// The data pages one pointer page lists at this page size when no pointer
// page of the file tells: (page size - 32) * 8 / 34, a 4-byte number and
// 2 bits of flags per data page.
std::uint32_t DefaultDataPagesPerPointerPage(std::uint32_t pageSize);

}  // namespace ravelin::extract
