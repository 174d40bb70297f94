// Fuzz target, first depth: the input is a whole database file, read in
// place. Opens it (page-size detection over every size from 1024 to 16384
// bytes) and runs the page scan that files its pages by relation, the page
// inventory and the transaction inventory.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/fuzzinput.h"
#include "ods/pageinventory.h"
#include "ods/pagescan.h"
#include "ods/readingcontext.h"
#include "ods/transactions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelin;
    ods::ReadingContext context;
    if (!context.OpenSource(std::make_unique<fuzz::SplicedPageSource>(std::span<const std::byte>{},
                                                                      fuzz::InputBytes(data, size))))
        return 0;
    fuzz::QuietLink quiet;
    ods::PageList lists;
    ods::ScanPages(context, lists, quiet.link);

    // What a repair asks of the inventories: the state of a few transactions
    // and whether the pages past the file's end and a few inside are free.
    ods::TransactionInventory transactions(context, lists);
    for (const std::uint64_t transaction : {std::uint64_t{1}, transactions.newestTransaction(),
                                            transactions.newestTransaction() / 2})
        transactions.State(transaction);
    ods::PageInventory inventory(context);
    const std::uint64_t pages = context.PageCount();
    for (const std::uint64_t page : {std::uint64_t{1}, pages / 2, pages})
        inventory.IsFree(page);
    return 0;
}
