#pragma once

// The transaction inventory: whether the transaction that wrote a record
// version committed, rolled back or never ended. A version written by a
// transaction that did not commit is not the record's current version; the
// version behind it is.
//
// The inventory pages (type 3, layout in ods/constants.h) form a chain, each
// naming the next at offset 16; the chain's first page holds transactions
// 0 .. (page size - 20) * 4 - 1, the second the following ones, and so on.
// No page states its own place, so the chain is trusted only when it can be
// checked: the header page must be sound (type 1, a known ODS version) and
// give the newest transaction started, exactly one inventory page must be
// named by no other (the first), and the chain from it must hold enough
// pages for every transaction up to the newest. A damaged or missing page
// anywhere breaks that check and every state reads Unknown: the newest
// version of each record then wins. A transaction number beyond the newest
// started is Unknown as well.
//
// Inventory pages are found among the pages the page scan filed (relation
// id 0, page type 3) and on pages 1 to 79, which the scan does not visit.
// The states of one page are read when a transaction of that page is first
// asked for, and a bounded number of pages is kept.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ods/pagelist.h"
#include "ods/readingcontext.h"

namespace ravelin::ods {

enum class TransactionState {
    Active,     // running when the file was copied, or never ended
    Limbo,      // prepared, neither committed nor rolled back
    Dead,       // rolled back
    Committed,
    Unknown,    // the inventory cannot tell
};

// Committed, or the inventory cannot tell: the version counts as current.
inline bool CountsAsCommitted(TransactionState state)
{
    return state == TransactionState::Committed || state == TransactionState::Unknown;
}

class TransactionInventory {
public:
    TransactionInventory() = default;
    // Finds and checks the inventory chain of the open file.
    TransactionInventory(const ReadingContext& context, const PageList& lists);
    // Moved, never copied: it keeps a pointer into its own page store.
    TransactionInventory(TransactionInventory&&) = default;
    TransactionInventory& operator=(TransactionInventory&&) = default;
    TransactionInventory(const TransactionInventory&) = delete;
    TransactionInventory& operator=(const TransactionInventory&) = delete;

    // Whether the chain passed its check (every state then comes from it).
    bool readable() const { return !chain_.empty(); }
    std::uint64_t newestTransaction() const { return newest_; }

    TransactionState State(std::uint64_t transaction);

private:
    const ReadingContext* context_ = nullptr;
    std::uint64_t newest_ = 0;
    std::uint64_t perPage_ = 0;
    std::vector<std::uint32_t> chain_;  // inventory pages in transaction order
    std::unordered_map<std::uint64_t, std::vector<std::byte>> loaded_;  // chain index -> page
    std::uint64_t lastIndex_ = 0;
    const std::vector<std::byte>* lastPage_ = nullptr;  // the page of lastIndex_ in loaded_
};

}  // namespace ravelin::ods
