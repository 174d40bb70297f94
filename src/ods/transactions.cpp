#include "ods/transactions.h"

#include <set>

#include "ods/constants.h"
#include "ods/littleendian.h"

namespace ravelin::ods {
namespace {

// Inventory pages kept in memory at once.
constexpr std::size_t kLoadedPages = 64;

std::uint32_t Long(std::span<const std::byte> bytes, std::size_t at) { return LittleEndian(bytes, at, 4); }
std::uint32_t Word(std::span<const std::byte> bytes, std::size_t at) { return LittleEndian(bytes, at, 2); }

bool KnownOdsVersion(std::uint16_t version)
{
    return version == 13 || version == 15 || version == kOdsVersion16;
}

}  // namespace

TransactionInventory::TransactionInventory(const ReadingContext& context, const PageList& lists) : context_(&context)
{
    const std::uint32_t pageSize = context.pageSize;
    const std::uint64_t pageCount = context.PageCount();
    if (pageSize <= kTransactionStatesOffset || pageCount == 0)
        return;

    std::vector<std::byte> page(pageSize);
    context.ReadAt(0, page);
    if (std::to_integer<std::uint8_t>(page[0]) != kHeaderPage || Word(page, kHeaderPageSizeOffset) != pageSize ||
        !KnownOdsVersion(Word(page, kHeaderOdsVersionOffset)))
        return;
    std::uint64_t newest = Long(page, kHeaderNewestTransactionOffset);
    if (Word(page, kHeaderOdsVersionOffset) == kOdsVersion16) {
        newest = Long(page, kHeaderNewestTransactionOffsetOds16) |
                 (std::uint64_t{Long(page, kHeaderNewestTransactionOffsetOds16 + 4)} << 32);
    }

    // Every inventory page with the page it names next.
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t number = 1; number < kFirstScannedPage && number < pageCount; ++number)
        candidates.push_back(number);
    for (const PageListNode& node : lists) {
        if (node.pageType != kTransactionPage)
            continue;
        for (const std::uint64_t position : node.pagePositions)
            candidates.push_back(static_cast<std::uint32_t>(position / pageSize));
    }
    std::unordered_map<std::uint32_t, std::uint32_t> next;
    std::set<std::uint32_t> named;
    for (const std::uint32_t number : candidates) {
        context.ReadAt(std::uint64_t{number} * pageSize, page);
        if (std::to_integer<std::uint8_t>(page[0]) != kTransactionPage)
            continue;
        const std::uint32_t following = Long(page, kTransactionNextPageOffset);
        next[number] = following;
        if (following != 0)
            named.insert(following);
    }
    std::vector<std::uint32_t> heads;
    for (const auto& [number, following] : next) {
        if (named.count(number) == 0)
            heads.push_back(number);
    }
    if (heads.size() != 1)
        return;

    const std::uint64_t perPage = std::uint64_t{pageSize - kTransactionStatesOffset} * 4;
    const std::uint64_t needed = newest / perPage + 1;
    std::vector<std::uint32_t> chain;
    std::set<std::uint32_t> visited;
    for (std::uint32_t number = heads.front(); number != 0 && chain.size() < needed;) {
        const auto found = next.find(number);
        if (found == next.end() || !visited.insert(number).second)
            return;  // the chain leads to a page that is no inventory page, or loops
        chain.push_back(number);
        number = found->second;
    }
    if (chain.size() < needed)
        return;
    newest_ = newest;
    perPage_ = perPage;
    chain_ = std::move(chain);
}

TransactionState TransactionInventory::State(std::uint64_t transaction)
{
    if (chain_.empty() || transaction > newest_)
        return TransactionState::Unknown;
    const std::uint64_t index = transaction / perPage_;
    const std::uint64_t within = transaction % perPage_;
    // Records of one stretch of the file were mostly written by transactions
    // of one inventory page: the page last asked for is tried first.
    if (lastPage_ == nullptr || index != lastIndex_) {
        auto loaded = loaded_.find(index);
        if (loaded == loaded_.end()) {
            if (loaded_.size() >= kLoadedPages)
                loaded_.clear();
            std::vector<std::byte> page(context_->pageSize);
            context_->ReadAt(std::uint64_t{chain_[index]} * context_->pageSize, page);
            loaded = loaded_.emplace(index, std::move(page)).first;
        }
        lastIndex_ = index;
        lastPage_ = &loaded->second;
    }
    const auto byte = std::to_integer<unsigned>((*lastPage_)[kTransactionStatesOffset + within / 4]);
    switch ((byte >> (2 * (within % 4))) & 3u) {
    case kTransactionActive:
        return TransactionState::Active;
    case kTransactionLimbo:
        return TransactionState::Limbo;
    case kTransactionDead:
        return TransactionState::Dead;
    default:
        return TransactionState::Committed;
    }
}

}  // namespace ravelin::ods
