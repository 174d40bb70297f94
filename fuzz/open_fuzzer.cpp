// Fuzz target, first depth: the input is a whole database file. Opens it from
// memory (page-size detection from the checksum words of pages 5 to 7) and
// runs the page scan that files its pages by relation.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/fuzzinput.h"
#include "ods/pagescan.h"
#include "ods/pagesource.h"
#include "ods/readingcontext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelin;
    ods::ReadingContext context;
    if (!context.OpenSource(std::make_unique<ods::MemoryPageSource>(fuzz::Copy(data, size))))
        return 0;
    fuzz::QuietLink quiet;
    ods::PageList lists;
    ods::ScanPages(context, lists, quiet.link);
    return 0;
}
