// Fuzz target, second depth: the catalogue. The input is a selector byte
// (page size 1024 to 16384, file generation) and the file's pages from page
// 80 on, read in place behind a fixed front section (fuzz/fuzzinput.h), so
// every input reaches the readers. Runs the scan driver (page scan,
// relation pre-pass, catalogue readers, record formats and the rebuild from
// them), then what the schema's users do with the model: the key derivation
// of every table, the schema command's JSON and text, and each table's
// CREATE TABLE statement.

#include <cstddef>
#include <cstdint>

#include "catalogue/readers.h"
#include "cli/schemacommand.h"
#include "fuzz/fuzzinput.h"
#include "ods/readingcontext.h"
#include "writer/tabledefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace ravelin;
    const auto input = fuzz::DecodePagesInput(data, size);
    if (!input)
        return 0;
    ods::ReadingContext context;
    if (!context.OpenSource(fuzz::PagesInputSource(*input)))
        return 0;
    fuzz::QuietLink quiet;
    ods::PageList lists;
    catalogue::SchemaModel model;
    std::uint16_t tableCount = 0;
    catalogue::CatalogueContext scan{context, lists, model, quiet.link, tableCount};
    catalogue::ScanDatabase(scan);

    for (const catalogue::TableNode& table : model.tables) {
        catalogue::DeriveColumnKeys(model, table.name);
        std::vector<std::string> notes;
        writer::BuildCreateTable(model, table, nullptr, &notes);
    }
    cli::SchemaJson(model, context.pageSize);
    cli::SchemaText(model, context.pageSize);
    return 0;
}
