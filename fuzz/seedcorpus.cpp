// Writes the seed corpus of the fuzz targets, built with the test fixture
// writer, into the folder named first on the command line:
//   open/       whole database files
//   catalogue/  a selector byte (page size, file generation), then the
//               files' pages from page 80 on (fuzz/fuzzinput.h)
//   extract/    the same inputs as catalogue/
//   record/     single stored records (header and compressed runs)
// The files hold small catalogues of the three file generations, with the
// shapes that real files show (fragments, views, defaults, domains, keys)
// and a few that damage makes; a table of every column type with a blob, and
// a table with a history of versions and formats over a transaction
// inventory.
//
// A second folder, when given, is searched for real database files (*.gdb,
// *.ib): each gives the open target its first 64 KiB and the catalogue-depth
// targets 64 KiB from the first page of each catalogue relation and of the
// first user table (the pages shift, so references between pages mostly
// break; the records on them stay real).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <algorithm>
#include <map>
#include <set>

#include "fixture/blobrecords.h"
#include "fixture/fielddefinitionrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/formatrecords.h"
#include "fixture/generatorrecords.h"
#include "fixture/indexrecords.h"
#include "fixture/relationfieldrecords.h"
#include "fixture/relationrecords.h"
#include "fixture/tablerecords.h"
#include "fixture/transactioninventory.h"
#include "fixture/versionrecords.h"
#include "fuzz/fuzzinput.h"
#include "job/frame.h"
#include "ods/constants.h"
#include "ods/pagescan.h"
#include "ods/pagesource.h"
#include "ods/readingcontext.h"

namespace {

namespace fs = std::filesystem;
using namespace ravelin;
using fixture::Bytes;
using fixture::FixtureWriter;

void Write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

fixture::RelationFieldOptions Column(int ods, std::uint16_t position, bool notNull = false)
{
    fixture::RelationFieldOptions options;
    options.ods = ods;
    options.position = position;
    options.fieldId = position;
    options.notNull = notNull;
    return options;
}

// Two tables with a key between them, a view, a domain, a default and a
// record stored in two fragments, in the shapes of one file generation.
FixtureWriter Catalogue(std::uint32_t pageSize, int ods)
{
    FixtureWriter writer(pageSize, static_cast<std::uint16_t>(ods));
    fixture::AddRelationFieldRecord(writer, "CUST_NO", "CUSTOMER", "CUSTNO", Column(ods, 0, true));
    fixture::RelationFieldOptions name = Column(ods, 1);
    name.defaultValue = 1;
    name.defaultSource = 0;
    fixture::AddRelationFieldRecord(writer, "NAME", "CUSTOMER", "RDB$1", name);
    fixture::AddRelationFieldRecord(writer, "NOTES", "CUSTOMER", "RDB$2", Column(ods, 2));
    fixture::AddRelationFieldRecord(writer, "ORDER_NO", "ORDERS", "RDB$3", Column(ods, 0, true));
    const std::uint32_t continuationPage = writer.AddDataPage(ods::kRelRelationFields);
    fixture::AddFragmentedRelationFieldRecord(writer, continuationPage, 300, "CUST_NO", "ORDERS", "CUSTNO",
                                              Column(ods, 1));
    fixture::RelationFieldOptions viewColumn = Column(ods, 0);
    viewColumn.baseField = "NAME";
    fixture::AddRelationFieldRecord(writer, "NAME", "CUSTOMER_NAMES", "RDB$1", viewColumn);

    fixture::RelationRecordOptions relation;
    relation.ods = ods;
    fixture::AddRelationRecord(writer, "CUSTOMER", 128, 3, relation);
    fixture::AddRelationRecord(writer, "ORDERS", 129, 2, relation);

    fixture::AddFieldDefinition(writer, "CUSTNO", fixture::FixedField(8, 4, ods));
    fixture::AddFieldDefinition(writer, "RDB$1", fixture::CharacterField(37, 30, ods));
    fixture::AddFieldDefinition(writer, "RDB$2", fixture::BlobField(1, 80, ods));
    fixture::AddFieldDefinition(writer, "RDB$3", fixture::ScaledField(16, 1, -2, 15, ods));

    const fixture::RecordHeaderOptions header = fixture::CatalogueRecordHeader(ods);
    const auto add = [&](std::uint16_t relationId, const Bytes& data) {
        fixture::AddCatalogueRecord(writer, relationId, data, header);
    };
    add(ods::kRelIndexSegments, fixture::IndexSegmentData("RDB$PRIMARY1", "CUST_NO", 0, ods));
    add(ods::kRelIndexSegments, fixture::IndexSegmentData("RDB$PRIMARY2", "ORDER_NO", 0, ods));
    add(ods::kRelIndexSegments, fixture::IndexSegmentData("RDB$FOREIGN3", "CUST_NO", 0, ods));
    add(ods::kRelIndices, fixture::IndexData("RDB$PRIMARY1", "CUSTOMER"));
    add(ods::kRelIndices, fixture::IndexData("RDB$PRIMARY2", "ORDERS"));
    fixture::IndexOptions foreign;
    foreign.foreignKey = "RDB$PRIMARY1";
    add(ods::kRelIndices, fixture::IndexData("RDB$FOREIGN3", "ORDERS", foreign));
    add(ods::kRelRelationConstraints, fixture::RelationConstraintData("INTEG_1", "PRIMARY KEY", "CUSTOMER", "RDB$PRIMARY1"));
    add(ods::kRelRelationConstraints, fixture::RelationConstraintData("PK_ORDERS", "PRIMARY KEY", "ORDERS", "RDB$PRIMARY2"));
    add(ods::kRelRelationConstraints, fixture::RelationConstraintData("INTEG_3", "FOREIGN KEY", "ORDERS", "RDB$FOREIGN3"));
    add(ods::kRelRelationConstraints, fixture::RelationConstraintData("INTEG_4", "NOT NULL", "ORDERS", ""));
    add(ods::kRelGenerators, fixture::GeneratorRecordData("RDB$SECURITY_CLASS", 1, true));
    add(ods::kRelGenerators, fixture::GeneratorRecordData("CUST_NO_GEN", 10, false));
    fixture::AddGeneratorPage(writer, 0, {{1, 4}, {10, 1015}});

    const std::uint32_t defaults = writer.AddType12Page(ods::kRelRelationFields);
    writer.PlaceRecord(defaults, fixture::DefaultSourceBlobRecord("DEFAULT 'X'"));
    writer.PlaceRecord(defaults, fixture::DefaultSourceBlobRecord("DEFAULT 0"));
    const std::uint32_t data = writer.AddDataPage(128);
    const std::uint32_t entries[] = {data};
    writer.AddPointerPage(128, entries);
    writer.AddBlobIndexPage(128);

    // A table of types only the catalogue names (no record format): BOOLEAN,
    // an array, a NUMERIC wider than 8 bytes, with rows.
    fixture::AddRelationFieldRecord(writer, "OK", "FLAGS", "RDB$5", Column(ods, 0));
    fixture::AddRelationFieldRecord(writer, "ARR", "FLAGS", "RDB$6", Column(ods, 1));
    fixture::AddRelationFieldRecord(writer, "WIDE", "FLAGS", "RDB$7", Column(ods, 2));
    fixture::AddRelationRecord(writer, "FLAGS", 130, 3, relation);
    fixture::AddFieldDefinition(writer, "RDB$5", fixture::FixedField(17, 2, ods));
    fixture::FieldDefinitionOptions array = fixture::FixedField(8, 4, ods);
    array.dimensions = 1;
    array.nullFlags[ods::kFieldDimensionsFieldNumber / 8] &= static_cast<std::uint8_t>(
        ~(1u << (ods::kFieldDimensionsFieldNumber % 8)));  // the dimensions are not NULL
    fixture::AddFieldDefinition(writer, "RDB$6", array);
    fixture::FieldDefinitionOptions wide = fixture::ScaledField(16, 1, -2, 18, ods);
    wide.fieldLength = 16;
    fixture::AddFieldDefinition(writer, "RDB$7", wide);
    fixture::FieldSpec arrayField{8, 4};
    arrayField.dimensions = 1;
    const fixture::TableRecordBuilder flags({{17, 2}, arrayField, {1, 16}});
    fixture::UserTableWriter rows(writer, 130);
    rows.Add(flags.Record({fixture::BooleanBytes(true), fixture::BlobIdBytes(130, 3), fixture::ScaledBytes(-12345, 8)}));
    rows.Add(flags.Record({fixture::BooleanBytes(false), std::nullopt, std::nullopt}));
    rows.Finish();
    return writer;
}

// The catalogue with slot arrays, slot counts and forward pointers that lead
// off the page or out of the file.
FixtureWriter Misleading(std::uint32_t pageSize)
{
    FixtureWriter writer = Catalogue(pageSize, 13);
    for (const std::uint16_t relation : {ods::kRelRelationFields, ods::kRelRelations, ods::kRelFields,
                                         ods::kRelIndexSegments, ods::kRelIndices, ods::kRelRelationConstraints}) {
        const std::uint32_t page = writer.AddDataPage(relation);
        writer.SetSlotCount(page, 0xFFFF);
        writer.SetSlot(page, 0, static_cast<std::uint16_t>(pageSize - 2), 0xFFFF);
        writer.SetSlot(page, 1, 24, 400);
    }
    fixture::RecordHeaderOptions first = fixture::RelationFieldRecordHeader(13);
    first.flags = ods::kFlagFirstFragment;
    first.forwardPage = 0xFFFFFFF0;
    const Bytes column = fixture::Compress(fixture::RelationFieldRecordData("LOST", "ORDERS", "RDB$9"));
    writer.AddStoredRecord(ods::kRelRelationFields, fixture::BuildStoredRecord(first, Bytes(column.begin(), column.begin() + static_cast<std::ptrdiff_t>(column.size() / 2))));
    const std::uint32_t entries[] = {0xFFFFFFFF, 0x7FFFFFFF};
    writer.AddPointerPage(130, entries);
    return writer;
}

// A table of every column type a record format stores (relation 128, no
// catalogue records: the scan rebuilds it from its record format), rows
// with values, NULLs and a blob; then a table (relation 129) whose rows have
// a history: two formats, updates stored whole and as differences, a
// deletion, versions of rolled-back, active and limbo transactions, over a
// transaction inventory.
FixtureWriter Typed(std::uint32_t pageSize, int ods)
{
    using fixture::FieldSpec;
    FixtureWriter writer(pageSize, static_cast<std::uint16_t>(ods));
    FieldSpec numeric{1, 4};
    numeric.scale = -2;
    numeric.precision = 9;
    FieldSpec wide{2, 8};
    wide.scale = -3;
    wide.precision = 18;
    FieldSpec utf8{37, 20};
    utf8.characterSet = 59;
    FieldSpec text{14, 6};
    FieldSpec blob{5, 8};
    blob.blobSubType = 1;
    const fixture::TableRecordBuilder all({{7, 2}, {8, 4}, {16, 8}, numeric, wide, {10, 4}, {27, 8}, {12, 4}, {13, 4},
                                           {35, 8}, text, utf8, blob});
    const fixture::TableRecordBuilder before({{8, 4}, {37, 10}});
    const fixture::TableRecordBuilder after({{8, 4}, {37, 10}, {37, 20}});

    fixture::FormatWriter formats(writer, ods);
    formats.Add(128, 1, fixture::FormatFieldsOf(all));
    formats.Add(129, 1, fixture::FormatFieldsOf(before));
    formats.Add(129, 2, fixture::FormatFieldsOf(after));
    formats.Finish();

    fixture::BlobTableWriter blobs(writer, 128,
                                   {ods == 13 ? fixture::BlobLayout::Place::DataPages
                                              : fixture::BlobLayout::Place::HeaderPages});
    const fixture::StoredBlob note = blobs.AddBlob(fixture::ToBytes("a text blob of two segments"), {8});
    const fixture::StoredBlob image = blobs.AddBlob(fixture::Bytes(pageSize * 2, std::byte{0x42}));
    blobs.Finish();

    fixture::UserTableWriter table(writer, 128);
    table.Add(all.Record({fixture::SmallintBytes(-7), fixture::IntegerBytes(123456), fixture::ScaledBytes(-9, 8),
                          fixture::IntegerBytes(12345), fixture::ScaledBytes(1234567, 8), fixture::FloatBytes(1.5f),
                          fixture::DoubleBytes(-2.25), fixture::DateBytes(fixture::DayNumber(1999, 12, 31)),
                          fixture::TimeBytes(235959 * 10), fixture::TimestampBytes(fixture::DayNumber(1, 1, 1), 0),
                          fixture::CharBytes("abc", 6), fixture::VarcharBytes("gr\xc3\xbc\xc3\x9f", 20),
                          fixture::BlobIdBytes(128, note.recordNumber)}));
    table.Add(all.Record({std::nullopt, fixture::IntegerBytes(2), std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          fixture::BlobIdBytes(128, image.recordNumber)}));
    table.Finish();

    using fixture::VersionHeader;
    const std::uint32_t page = writer.AddDataPage(129);
    const auto header = [&](std::uint32_t transaction, std::uint8_t format, std::uint16_t backLine = 0,
                            bool differences = false) {
        VersionHeader h;
        h.transaction = transaction;
        h.format = format;
        h.backPage = backLine != 0 ? page : 0;
        h.backLine = backLine;
        h.backHoldsDifferences = differences;
        return h;
    };
    const auto row = [&](std::int32_t id, std::string_view name, std::string_view note) {
        return after.Record({fixture::IntegerBytes(id), fixture::VarcharBytes(name, 10), fixture::VarcharBytes(note, 20)});
    };
    const auto place = [&](std::uint16_t slot, const Bytes& stored) { writer.PlaceRecordAt(page, slot, stored); };
    place(0, fixture::PrimaryVersion(header(2, 1), before.Record({fixture::IntegerBytes(1), fixture::VarcharBytes("old", 10)})));
    const Bytes three = row(3, "three", "now");
    place(1, fixture::PrimaryVersion(header(10, 2, 8, true), three));
    place(8, fixture::DifferenceOldVersion(header(5, 2), three, row(3, "three", "before")));
    place(2, fixture::PrimaryVersion(header(20, 2, 9), row(4, "rolled", "back")));
    place(9, fixture::WholeOldVersion(header(6, 2), row(4, "four", "")));
    place(3, fixture::DeletionStub(header(8, 2, 10)));
    place(10, fixture::WholeOldVersion(header(4, 2), row(6, "six", "")));
    place(4, fixture::PrimaryVersion(header(22, 2), row(8, "active", "")));
    place(5, fixture::PrimaryVersion(header(23, 2), row(9, "limbo", "")));
    writer.AddPointerPage(129, std::vector<std::uint32_t>{page});
    using fixture::TransactionState;
    fixture::AddTransactionInventory(writer, fixture::CommittedExcept(30, {{20, TransactionState::Dead},
                                                                          {22, TransactionState::Active},
                                                                          {23, TransactionState::Limbo}}));
    return writer;
}

// The catalogue-depth input of an image: its selector byte, then its pages
// from page 80 on.
Bytes PagesInput(const Bytes& image, std::uint32_t pageSize, std::uint16_t odsVersion, std::uint64_t firstPage,
                 std::size_t maxBytes)
{
    const std::uint64_t from = std::min<std::uint64_t>(firstPage * pageSize, image.size());
    const std::uint64_t to = std::min<std::uint64_t>(from + maxBytes, image.size());
    Bytes input(1 + (to - from));
    input[0] = static_cast<std::byte>(fuzz::PagesInputSelector(pageSize, odsVersion));
    std::copy(image.begin() + static_cast<std::ptrdiff_t>(from), image.begin() + static_cast<std::ptrdiff_t>(to),
              input.begin() + 1);
    return input;
}

// Seeds from the real database files under folder (see the top).
int WriteSampleSeeds(const fs::path& folder, const fs::path& root)
{
    constexpr std::size_t kSeedBytes = 64 * 1024;
    int written = 0;
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && (extension == ".gdb" || extension == ".ib"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::optional<Bytes> image = fixture::ReadFileBytes(file);
        if (!image)
            continue;
        ods::ReadingContext context;
        if (!context.OpenSource(std::make_unique<ods::MemoryPageSource>(*image)))
            continue;
        const std::string name = file.stem().string();
        Write(root / "open" / name, Bytes(image->begin(), image->begin() + static_cast<std::ptrdiff_t>(
                                                                             std::min(image->size(), kSeedBytes))));
        fuzz::QuietLink quiet;
        ods::PageList lists;
        ods::ScanPages(context, lists, quiet.link);
        const std::uint16_t odsVersion = static_cast<std::uint16_t>(
            std::to_integer<unsigned>((*image)[ods::kHeaderOdsVersionOffset]) |
            (std::to_integer<unsigned>((*image)[ods::kHeaderOdsVersionOffset + 1]) << 8));
        std::set<std::uint64_t> starts;
        std::set<std::uint32_t> seen;
        for (const ods::PageListNode& node : lists) {
            const bool user = node.relationId >= ods::kFirstUserRelation;
            const bool catalogue = node.relationId == ods::kRelFields || node.relationId == ods::kRelRelationFields ||
                                   node.relationId == ods::kRelRelations || node.relationId == ods::kRelFormats;
            if (node.pageType != ods::kDataPage || node.pagePositions.empty() || !(user || catalogue))
                continue;
            if (!seen.insert(user ? 0u : node.relationId).second)
                continue;
            starts.insert(node.pagePositions.front() / context.pageSize);
        }
        for (const std::uint64_t start : starts) {
            const Bytes input = PagesInput(*image, context.pageSize, odsVersion, start, kSeedBytes - 1);
            const std::string seed = name + "-p" + std::to_string(start);
            Write(root / "catalogue" / seed, input);
            Write(root / "extract" / seed, input);
            ++written;
        }
    }
    return written;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::cerr << "usage: " << argv[0] << " FOLDER [SAMPLES]\n";
        return 1;
    }
    try {
        const fs::path root = argv[1];
        for (const char* target : {"open", "catalogue", "record", "extract"})
            fs::create_directories(root / target);

        struct Image {
            const char* name;
            FixtureWriter writer;
        };
        const Image images[] = {
            {"ods13-1k", Catalogue(1024, 13)},
            {"ods15-1k", Catalogue(1024, 15)},
            {"ods16-4k", Catalogue(4096, 16)},
            {"misleading-1k", Misleading(1024)},
            {"typed-ods13-2k", Typed(2048, 13)},
            {"typed-ods16-8k", Typed(8192, 16)},
            {"typed-ods15-4k", Typed(4096, 15)},
        };
        for (const Image& image : images) {
            Write(root / "open" / image.name, image.writer.image());
            const Bytes& bytes = image.writer.image();
            const std::uint16_t odsVersion = static_cast<std::uint16_t>(
                std::to_integer<unsigned>(bytes[18]) | (std::to_integer<unsigned>(bytes[19]) << 8));
            const Bytes pages = PagesInput(bytes, image.writer.pageSize(), odsVersion, ods::kFirstScannedPage, bytes.size());
            Write(root / "catalogue" / image.name, pages);
            Write(root / "extract" / image.name, pages);
        }

        int count = 0;
        const auto record = [&](const Bytes& stored) {
            Write(root / "record" / ("record-" + std::to_string(count++)), stored);
        };
        for (const int ods : {13, 15, 16}) {
            fixture::RelationRecordOptions relation;
            relation.ods = ods;
            record(fixture::RelationStoredRecord("CUSTOMER", 128, 3, relation));
            record(fixture::BuildStoredRecord(fixture::RelationFieldRecordHeader(ods),
                                              fixture::Compress(fixture::RelationFieldRecordData(
                                                  "CUST_NO", "CUSTOMER", "CUSTNO", Column(ods, 0, true)))));
            fixture::RelationFieldOptions view = Column(ods, 0);
            view.baseField = "NAME";
            record(fixture::BuildStoredRecord(
                fixture::RelationFieldRecordHeader(ods),
                fixture::Compress(fixture::RelationFieldRecordData("NAME", "NAMES", "RDB$1", view))));
            record(fixture::FieldDefinitionStoredRecord("RDB$1", fixture::CharacterField(37, 30, ods)));
            record(fixture::FieldDefinitionStoredRecord("SALARY", fixture::ScaledField(8, 2, -2, 9, ods)));
            record(fixture::FieldDefinitionStoredRecord("RDB$2", fixture::BlobField(1, 80, ods)));
            const fixture::RecordHeaderOptions header = fixture::CatalogueRecordHeader(ods);
            record(fixture::BuildStoredRecord(header, fixture::Compress(fixture::IndexSegmentData("RDB$PRIMARY1", "CUST_NO", 0, ods))));
            fixture::IndexOptions foreign;
            foreign.foreignKey = "RDB$PRIMARY1";
            record(fixture::BuildStoredRecord(header, fixture::Compress(fixture::IndexData("RDB$FOREIGN3", "ORDERS", foreign))));
            record(fixture::BuildStoredRecord(
                header, fixture::Compress(fixture::RelationConstraintData("UQ_NAME", "UNIQUE", "CUSTOMER", "RDB$4"))));
        }
        record(fixture::DefaultSourceBlobRecord("DEFAULT 'new'"));
        fixture::RecordHeaderOptions first = fixture::RelationFieldRecordHeader(13);
        const fixture::Fragments fragments =
            fixture::BuildFragments(first, fixture::RelationFieldRecordData("CUST_NO", "ORDERS", "CUSTNO"), 200, 90, 1);
        record(fragments.first);
        record(fragments.continuation);
        // Runs that claim more than the record holds.
        record(fixture::FromHex("01000000 00000000 0000 00 00 01 7f 41 42 43 80 20"));
        const int samples = argc == 3 && fs::is_directory(argv[2]) ? WriteSampleSeeds(argv[2], root) : 0;
        std::cout << "wrote " << std::size(images) << " files, " << count << " records and " << samples
                  << " sample slices under " << root.string() << '\n';
    } catch (const std::exception& error) {
        std::cerr << argv[0] << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
