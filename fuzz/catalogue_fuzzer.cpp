// Fuzz target, second depth: the catalogue. The input's first byte picks the
// page size (1024, 2048 or 4096 bytes); the rest are the file's pages from
// page 80 on, the first page the scan reads. The target puts 80 pages in
// front whose checksum words let the page size be detected, so every input
// reaches the readers. Runs the scan driver (page scan, relation pre-pass,
// catalogue readers), then what the schema's users do with the model: the
// key derivation of every table and the schema command's JSON.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "catalogue/readers.h"
#include "cli/schemacommand.h"
#include "fuzz/fuzzinput.h"
#include "ods/constants.h"
#include "ods/pagesource.h"
#include "ods/readingcontext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelin;
    if (size < 1)
        return 0;
    const std::uint32_t pageSize = 1024u << (data[0] % 3);
    std::vector<std::byte> image(std::size_t{ods::kFirstScannedPage} * pageSize);
    // The system pages before the fuzzed ones all carry a page header (an
    // index page's type, which the scan does not file), so the page size
    // is this one whatever the fuzzed pages hold.
    constexpr std::uint8_t kIndexPage = 7;
    for (std::uint32_t page = 0; page < ods::kFirstScannedPage; ++page) {
        const std::size_t at = std::size_t{page} * pageSize;
        image[at] = std::byte{page == 0 ? ods::kHeaderPage : kIndexPage};
        image[at + ods::kChecksumOffset] = std::byte{ods::kPageChecksum & 0xFF};
        image[at + ods::kChecksumOffset + 1] = std::byte{ods::kPageChecksum >> 8};
    }
    image[ods::kHeaderPageSizeOffset] = std::byte{static_cast<std::uint8_t>(pageSize & 0xFF)};
    image[ods::kHeaderPageSizeOffset + 1] = std::byte{static_cast<std::uint8_t>(pageSize >> 8)};
    const std::vector<std::byte> pages = fuzz::Copy(data + 1, size - 1);
    image.insert(image.end(), pages.begin(), pages.end());

    ods::ReadingContext context;
    if (!context.OpenSource(std::make_unique<ods::MemoryPageSource>(std::move(image))))
        return 0;
    fuzz::QuietLink quiet;
    ods::PageList lists;
    catalogue::SchemaModel model;
    std::uint16_t tableCount = 0;
    catalogue::CatalogueContext scan{context, lists, model, quiet.link, tableCount};
    catalogue::ScanDatabase(scan);

    for (const catalogue::TableNode& table : model.tables)
        catalogue::DeriveColumnKeys(model, table.name);
    cli::SchemaJson(model, context.pageSize);
    return 0;
}
