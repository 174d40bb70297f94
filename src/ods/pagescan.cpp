#include "ods/pagescan.h"

#include <array>

#include "ods/constants.h"

namespace ravelin::ods {
namespace {

// The blob header pages of the relations and field-definitions catalogues
// form lists of their own that no data page of the relation is filed into.
bool FiledApart(std::uint32_t relationId, std::uint8_t pageType)
{
    return (relationId == kRelRelations || relationId == kRelFields) && pageType == kType12Page;
}

}  // namespace

PageListFinder::PageListFinder(PageList& lists) : lists_(lists)
{
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        firstOfKey_.try_emplace(Key(lists_[i].relationId, lists_[i].pageType), i);
        if (!FiledApart(lists_[i].relationId, lists_[i].pageType))
            firstOfKey_.try_emplace(Key(lists_[i].relationId, kAnyPageType), i);
    }
}

PageListNode* PageListFinder::FindPageList(std::uint32_t relationId, std::uint8_t pageType)
{
    const auto it = firstOfKey_.find(Key(relationId, pageType));
    return it == firstOfKey_.end() ? nullptr : &lists_[it->second];
}

PageListNode& PageListFinder::AppendPageList(std::uint32_t relationId, std::uint8_t pageType)
{
    const std::size_t index = lists_.size();
    lists_.push_back(PageListNode{relationId, pageType, {}});
    firstOfKey_.try_emplace(Key(relationId, pageType), index);
    if (!FiledApart(relationId, pageType))
        firstOfKey_.try_emplace(Key(relationId, kAnyPageType), index);
    return lists_.back();
}

std::uint32_t RelationIdOffset(std::uint8_t pageType)
{
    switch (pageType) {
    case kDataPage:
    case kType12Page:
        return kDataPageRelationOffset;
    case kPointerPage:
    case kBlobIndexPage:
        return kPointerPageRelationOffset;
    default:
        return 0;
    }
}

void FilePage(PageListFinder& finder, std::uint64_t pageStart, std::uint8_t pageType, std::uint32_t relationId)
{
    PageListNode* node = nullptr;
    switch (pageType) {
    case kDataPage:
        switch (relationId) {
        case kRelFields:
        case kRelIndexSegments:
        case kRelIndices:
        case kRelRelations:
        case kRelSeven:
        case kRelRelationConstraints:
            // Data pages match a node by relation id alone.
            node = finder.FindPageList(relationId, kAnyPageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
            break;
        case kRelRelationFields:
            // Column records are filed wherever their first page stands: a
            // damaged first page must not cost every table its columns. The
            // scan driver reads this list before every other catalogue.
            node = finder.FindPageList(relationId, kAnyPageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
            break;
        case kRelTwelve:
        case kRelProcedures:
        case kRelProcedureParameters:
        case kRelExceptions:
            // Triggers, stored procedures, their parameters, exceptions: their
            // records, apart from the header pages of their source blobs.
        case kRelGenerators:
            // The generators' names and ids.
        case kRelFieldDimensions:
            // The bounds of array fields.
            node = finder.FindPageList(relationId, pageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
            break;
        case kRelFormats:
            // The record formats: their data pages, apart from the pages of
            // their descriptor blobs.
            node = finder.FindPageList(relationId, pageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
            break;
        default:
            // A user table's data pages: read by the table walks where no
            // surviving pointer page lists them.
            if (relationId >= kFirstUserRelation) {
                node = finder.FindPageList(relationId, pageType);
                if (!node)
                    node = &finder.AppendPageList(relationId, pageType);
            }
            break;
        }
        break;
    case kPointerPage:
        if (relationId >= kFirstUserRelation || relationId == kRelTwelve || relationId == kRelFormats) {
            node = finder.FindPageList(relationId, pageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
        }
        break;
    case kBlobIndexPage:
        if (relationId >= kFirstUserRelation || relationId == kRelFormats) {
            node = finder.FindPageList(relationId, pageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
        }
        break;
    case kType12Page:
        // The relations and field-definitions catalogues' own are the
        // header pages of their blobs (a view's or a computed column's
        // stored source), filed apart.
        if (relationId == kRelRelationFields || relationId == kRelTwelve || relationId == kRelFormats ||
            relationId == kRelRelations || relationId == kRelFields || relationId == kRelProcedures) {
            node = finder.FindPageList(relationId, pageType);
            if (!node)
                node = &finder.AppendPageList(relationId, pageType);
        }
        break;
    case kGeneratorPage:
        // Generator pages belong to no relation; they are filed together.
        node = finder.FindPageList(0, pageType);
        if (!node)
            node = &finder.AppendPageList(0, pageType);
        break;
    case kTransactionPage:
        // Inventory pages belong to no relation; they are filed together.
        node = finder.FindPageList(0, pageType);
        if (!node)
            node = &finder.AppendPageList(0, pageType);
        break;
    default:
        break;
    }
    if (node)
        node->pagePositions.push_back(pageStart);
}

void ScanPages(ReadingContext& context, PageList& lists, job::WorkerLink& link)
{
    const std::uint64_t pageSize = context.pageSize;
    const std::uint64_t pageCount = pageSize ? context.fileSize / pageSize : 0;
    context.scanStart = std::uint64_t{kFirstScannedPage} * pageSize;
    PageListFinder finder(lists);

    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(pageCount));
    // The type byte and both relation-id words lie in the first 28 bytes of
    // a page; one read through the block cache fetches them.
    std::array<std::byte, kPointerPageRelationOffset + 2> head{};
    for (std::uint64_t page = kFirstPageOfUserTables; page < pageCount; ++page) {
        if (link.Stopped())
            break;
        const std::uint64_t pageStart = page * pageSize;
        context.ReadAt(pageStart, head);
        const auto pageType = std::to_integer<std::uint8_t>(head[0]);
        const bool systemArea = page < kFirstScannedPage;
        if (const std::uint32_t at = RelationIdOffset(pageType)) {
            const std::uint32_t relationId =
                std::to_integer<std::uint32_t>(head[at]) | (std::to_integer<std::uint32_t>(head[at + 1]) << 8);
            // Before page 80 only the pages of user tables and the data pages
            // of the record formats are filed: a damaged or reused file may
            // hold them there, and the catalogue readers keep to pages 80 on.
            if (!systemArea || relationId >= kFirstUserRelation ||
                (relationId == kRelFormats && pageType == kDataPage))
                FilePage(finder, pageStart, pageType, relationId);
        } else if ((pageType == kTransactionPage && !systemArea) || pageType == kGeneratorPage) {
            FilePage(finder, pageStart, pageType, 0);
        }
        link.Progress(job::kProgressStep);
    }
    link.Progress(job::kProgressEnd);
}

}  // namespace ravelin::ods
