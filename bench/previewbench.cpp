// Measures the record walk of a user table.
//
// 1. First preview page: a table of 1,000,000 records (INTEGER, VARCHAR(40),
//    DOUBLE PRECISION, TIMESTAMP, NUMERIC(9,2)) built by the fixture writer;
//    the table's record format in the model and the file's transaction
//    inventory on page 2, as a scan leaves them;
//    the time TransferTableData takes to show its first 100 records, through
//    the file's page source (median of 5 runs, the first cold in this
//    process).
// 2. Whole table: a table of at least 1 GiB (data pages of the same kind,
//    repeated) walked three ways over the same records, in turn, three
//    rounds each (median reported):
//      - decompress-and-discard: every data page read, every record's header
//        tested (its transaction's state looked up) and its data expanded,
//        nothing decoded;
//      - decode: the same, and every column decoded to its preview text;
//      - repair walk: WalkTableRecords in repair mode, every INSERT statement
//        built and handed to a sink that drops it.
//    Prints records/s of each and the ratios to decompress-and-discard.
//
// Usage: ravelin-bench-preview [--size-mib N] [--dir PATH] [--keep]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "extract/datapagereader.h"
#include "ods/recordimage.h"
#include "extract/recordlayout.h"
#include "extract/tabletransfer.h"
#include "extract/valuedecoder.h"
#include "fixture/fixturewriter.h"
#include "fixture/formatrecords.h"
#include "fixture/tablerecords.h"
#include "fixture/transactioninventory.h"
#include "job/jobsteps.h"
#include "ods/constants.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ravelin;

constexpr std::uint16_t kRelation = 128;
constexpr std::uint32_t kPageSize = 4096;

struct Options {
    std::uint64_t sizeMiB = 1024;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    bool keep = false;
};

class NullFrame final : public job::Frame {
public:
    std::uint64_t messages = 0;
    std::intptr_t Send(std::uint32_t, std::uintptr_t, std::intptr_t) override
    {
        ++messages;
        return 0;
    }
};

class NullDialogs final : public job::WorkerDialogs {
public:
    int ShowMessageDialog(const std::string&, job::MessageButtons) override { return job::kAnswerOk; }
    int ShowMessageOk(const std::string&) override { return job::kAnswerOk; }
    int ShowConnectionDialog(job::ConnectionAnswer&) override { return job::kAnswerNo; }
};

class DropSink final : public extract::StatementSink {
public:
    std::uint64_t statements = 0;
    std::uint64_t bytes = 0;
    bool ExecuteInsert(const std::string& sql) override
    {
        ++statements;
        bytes += sql.size();
        return true;
    }
};

fixture::TableRecordBuilder Builder() { return fixture::TableRecordBuilder({{8, 4}, {37, 40}, {27, 8}, {35, 8}, {1, 4}}); }

std::vector<catalogue::COLUMN> Columns()
{
    const auto column = [](const char* name, std::uint8_t type, std::uint16_t length, std::uint16_t scale = 0) {
        catalogue::COLUMN c;
        c.name = name;
        c.typeCode = type;
        c.length = length;
        c.scale = scale;
        return c;
    };
    return {column("ID", 8, 4), column("NAME", 37, 40), column("AMOUNT", 27, 8), column("STAMP", 35, 8),
            column("PRICE", 1, 4, 2)};
}

fixture::Bytes RecordOf(const fixture::TableRecordBuilder& builder, std::uint32_t n)
{
    return builder.Record({fixture::IntegerBytes(static_cast<std::int32_t>(n)),
                           fixture::VarcharBytes("customer name " + std::to_string(n % 9973), 40),
                           fixture::DoubleBytes(n * 0.25),
                           fixture::TimestampBytes(fixture::DayNumber(2004, 3, 7) + static_cast<std::int32_t>(n % 4000),
                                                   (n % 86400) * 10000u),
                           (n % 7 == 0) ? std::nullopt : std::optional<fixture::Bytes>(fixture::ScaledBytes(n % 100000, 4))});
}

std::uint64_t MedianNs(std::vector<std::uint64_t> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F>
std::uint64_t TimeNs(F&& f)
{
    const auto start = Clock::now();
    f();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

struct Engine {
    NullFrame frame;
    std::atomic<bool> stop{false};
    std::string logLine;
    job::WorkerLink link{frame, stop, logLine};
    job::JobState state;
    job::RecoveryEngine engine;
    NullDialogs dialogs;
    job::JobContext job{state, engine, link, dialogs};

    bool Open(const std::filesystem::path& file)
    {
        if (!engine.context.OpenDatabaseFile(file.string()))
            return false;
        // The table's pointer pages, as the page scan files them.
        engine.pageLists.clear();
        ods::PageListNode node;
        node.relationId = kRelation;
        node.pageType = ods::kPointerPage;
        for (std::uint64_t page = fixture::FixtureWriter::kFirstFreePage; page < engine.context.PageCount(); ++page) {
            std::byte header[32];
            engine.context.ReadAt(page * kPageSize, header);
            if (std::to_integer<int>(header[0]) != ods::kPointerPage)
                break;  // pointer pages come first in these files
            node.pagePositions.push_back(page * kPageSize);
        }
        engine.pageLists.push_back(std::move(node));
        engine.model.tables.clear();
        catalogue::TableNode table;
        table.name = "T";
        table.relationId = kRelation;
        table.columns = Columns();
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            table.columns[i].fieldId = static_cast<std::int32_t>(i);
        engine.model.tables.push_back(table);
        // The table's record format, as the scan reads it from the formats
        // catalogue: every record is laid out by it.
        ods::RecordFormat format;
        format.relationId = kRelation;
        format.number = 1;
        for (const fixture::FormatField& field : fixture::FormatFieldsOf(Builder())) {
            ods::FormatField stored;
            stored.type = field.dtype;
            stored.scale = field.scale;
            stored.length = field.length;
            stored.subType = static_cast<std::uint16_t>(field.subType);
            stored.offset = field.offset;
            format.fields.push_back(stored);
        }
        engine.model.recordFormats[kRelation] = {format};
        return true;
    }
};

// Writes the table's file: pages 0..79, the pointer pages, then dataPages
// data pages taken in turn from the template's pages.
void WriteTableFile(const std::filesystem::path& path, const fixture::FixtureWriter& templateWriter,
                    const std::vector<std::uint32_t>& templatePages, std::uint64_t dataPages)
{
    const std::uint64_t perPointer = (kPageSize - 32) / 4;
    const std::uint64_t pointerPages = (dataPages + perPointer - 1) / perPointer;
    const std::uint64_t firstData = fixture::FixtureWriter::kFirstFreePage + pointerPages;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const fixture::Bytes& image = templateWriter.image();
    out.write(reinterpret_cast<const char*>(image.data()), std::streamsize{fixture::FixtureWriter::kFirstFreePage} * kPageSize);
    std::vector<std::byte> page(kPageSize);
    for (std::uint64_t p = 0; p < pointerPages; ++p) {
        std::fill(page.begin(), page.end(), std::byte{0});
        const std::uint64_t first = p * perPointer;
        const std::uint64_t count = std::min(perPointer, dataPages - first);
        page[0] = std::byte{ods::kPointerPage};
        const auto put = [&page](std::size_t at, std::uint64_t value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                page[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
        };
        put(2, ods::kPageChecksum, 2);
        put(24, count, 2);
        put(26, kRelation, 2);
        for (std::uint64_t i = 0; i < count; ++i)
            put(32 + 4 * i, firstData + first + i, 4);
        out.write(reinterpret_cast<const char*>(page.data()), kPageSize);
    }
    for (std::uint64_t d = 0; d < dataPages; ++d) {
        const std::uint32_t source = templatePages[d % templatePages.size()];
        out.write(reinterpret_cast<const char*>(image.data()) + std::uint64_t{source} * kPageSize, kPageSize);
    }
}

// Builds a template of data pages holding records, and yields its pages.
// Page 2 of the template holds the transaction inventory: the records'
// transaction (1) committed, so every record's state is looked up.
std::vector<std::uint32_t> BuildTemplate(fixture::FixtureWriter& writer, std::uint32_t records)
{
    const fixture::TableRecordBuilder builder = Builder();
    writer.InitPage(2, fixture::kTipPage);
    writer.SetPageByte(2, 20, 0xFC);  // transaction 0 active, 1..3 committed
    fixture::SetHeaderTransactions(writer, {1});
    fixture::UserTableWriter table(writer, kRelation);
    for (std::uint32_t n = 1; n <= records; ++n)
        table.Add(RecordOf(builder, n));
    return table.dataPages();
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size-mib" && i + 1 < argc)
            options.sizeMiB = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--dir" && i + 1 < argc)
            options.dir = argv[++i];
        else if (arg == "--keep")
            options.keep = true;
        else {
            std::fprintf(stderr, "usage: ravelin-bench-preview [--size-mib N] [--dir PATH] [--keep]\n");
            return 1;
        }
    }
    const std::filesystem::path smallFile = options.dir / "ravelin-bench-preview-1m.gdb";
    const std::filesystem::path bigFile = options.dir / "ravelin-bench-preview-big.gdb";

    // 1. The first page of a table of a million records.
    {
        fixture::FixtureWriter writer(kPageSize);
        const std::vector<std::uint32_t> pages = BuildTemplate(writer, 1000000);
        WriteTableFile(smallFile, writer, pages, pages.size());
        Engine e;
        if (!e.Open(smallFile)) {
            std::fprintf(stderr, "cannot open %s\n", smallFile.string().c_str());
            return 1;
        }
        std::vector<std::uint64_t> times;
        std::uint64_t cells = 0;
        for (int run = 0; run < 5; ++run) {
            e.state.previewRequested = true;
            e.state.selectedObjectName = "T";
            e.engine.previewPage = 0;
            e.engine.previewPositions.clear();
            e.frame.messages = 0;
            times.push_back(TimeNs([&] { extract::TransferTableData(e.job); }));
            cells = e.frame.messages;
        }
        std::printf("first preview page of 1,000,000 records (%zu data pages): first %.3f ms, median %.3f ms "
                    "(%llu messages)\n",
                    pages.size(), times.front() / 1e6, MedianNs(times) / 1e6, static_cast<unsigned long long>(cells));
    }

    // 2. A table of at least sizeMiB MiB.
    fixture::FixtureWriter writer(kPageSize);
    const std::vector<std::uint32_t> templatePages = BuildTemplate(writer, 20000);
    const std::uint64_t dataPages = options.sizeMiB * 1024 * 1024 / kPageSize;
    WriteTableFile(bigFile, writer, templatePages, dataPages);
    const std::uint64_t fileBytes = std::filesystem::file_size(bigFile);

    Engine e;
    if (!e.Open(bigFile)) {
        std::fprintf(stderr, "cannot open %s\n", bigFile.string().c_str());
        return 1;
    }
    extract::CollectDataPageNumbers(e.job, kRelation);
    const std::vector<std::uint32_t> pages = e.engine.dataPageNumbers;
    const catalogue::TableNode& table = e.engine.model.tables.front();
    const extract::RecordLayout layout = extract::ComputeRecordLayout(table.columns);

    std::uint64_t records = 0;
    std::uint64_t sink = 0;
    const auto discard = [&] {
        extract::DataPageReader reader(e.engine.context, kRelation, &extract::TransactionsOf(e.engine));
        ods::RecordImage image;
        ods::RecordHeader header;
        records = 0;
        for (const std::uint32_t page : pages) {
            reader.Load(page);
            for (std::uint16_t slot = 0; slot < reader.SlotCount(); ++slot)
                if (reader.ReadSlot(slot, image, layout.length, header) == extract::SlotKind::Record) {
                    ++records;
                    sink += image.size();
                }
        }
    };
    const auto decode = [&] {
        extract::DataPageReader reader(e.engine.context, kRelation, &extract::TransactionsOf(e.engine));
        ods::RecordImage image;
        ods::RecordHeader header;
        extract::DecodeOptions decodeOptions;
        decodeOptions.relationId = kRelation;
        records = 0;
        for (const std::uint32_t page : pages) {
            reader.Load(page);
            for (std::uint16_t slot = 0; slot < reader.SlotCount(); ++slot) {
                if (reader.ReadSlot(slot, image, layout.length, header) != extract::SlotKind::Record)
                    continue;
                ++records;
                for (std::size_t c = 0; c < table.columns.size(); ++c) {
                    if (extract::ColumnIsNull(image.bytes(), c)) {
                        sink += 4;
                        continue;
                    }
                    const auto& place = layout.columns[c];
                    sink += extract::DecodeFieldValue(image.Field(place.offset, place.size), table.columns[c], decodeOptions)
                                .text.size();
                }
            }
        }
    };
    DropSink drop;
    const auto repairWalk = [&] {
        e.state.previewRequested = false;
        e.state.repairing = true;
        e.engine.dataPageNumbers = pages;
        extract::TransferHooks hooks;
        hooks.statements = &drop;
        drop.statements = 0;
        extract::WalkTableRecords(e.job, 0, 0, table, hooks);
        records = drop.statements;
    };

    std::vector<std::uint64_t> discardNs, decodeNs, repairNs;
    std::uint64_t discardRecords = 0, decodeRecords = 0, repairRecords = 0;
    for (int round = 0; round < 3; ++round) {
        discardNs.push_back(TimeNs(discard));
        discardRecords = records;
        decodeNs.push_back(TimeNs(decode));
        decodeRecords = records;
        repairNs.push_back(TimeNs(repairWalk));
        repairRecords = records;
    }
    const auto rate = [](std::uint64_t count, std::uint64_t ns) { return count / (ns / 1e9); };
    const double discardRate = rate(discardRecords, MedianNs(discardNs));
    const double decodeRate = rate(decodeRecords, MedianNs(decodeNs));
    const double repairRate = rate(repairRecords, MedianNs(repairNs));
    std::printf("table file %.1f MiB, %zu data pages, %llu records\n", fileBytes / 1048576.0, pages.size(),
                static_cast<unsigned long long>(discardRecords));
    std::printf("decompress-and-discard: %.0f records/s (%.2f s)\n", discardRate, MedianNs(discardNs) / 1e9);
    std::printf("decode every column:    %.0f records/s (%.2f s), %.2f of decompress-and-discard\n", decodeRate,
                MedianNs(decodeNs) / 1e9, decodeRate / discardRate);
    std::printf("repair walk (INSERTs):  %.0f records/s (%.2f s), %.2f of decompress-and-discard (%llu statements)\n",
                repairRate, MedianNs(repairNs) / 1e9, repairRate / discardRate, static_cast<unsigned long long>(repairRecords));
    std::printf("(checksum %llu)\n", static_cast<unsigned long long>(sink % 1000));

    if (!options.keep) {
        std::filesystem::remove(smallFile);
        std::filesystem::remove(bigFile);
    }
    return 0;
}
