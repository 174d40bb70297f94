// Writes the seed corpus of the fuzz targets, built with the test fixture
// writer, into the folder named on the command line:
//   open/       whole database files
//   catalogue/  a page-size byte, then the files' pages from page 80 on
//   record/     single stored records (header and compressed runs)
// The files hold small catalogues of the three file generations, with the
// shapes that real files show (fragments, views, defaults, domains, keys)
// and a few that damage makes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fixture/fielddefinitionrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/indexrecords.h"
#include "fixture/relationfieldrecords.h"
#include "fixture/relationrecords.h"
#include "ods/constants.h"

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

    const std::uint32_t defaults = writer.AddType12Page(ods::kRelRelationFields);
    writer.PlaceRecord(defaults, fixture::DefaultSourceBlobRecord("DEFAULT 'X'"));
    writer.PlaceRecord(defaults, fixture::DefaultSourceBlobRecord("DEFAULT 0"));
    const std::uint32_t data = writer.AddDataPage(128);
    const std::uint32_t entries[] = {data};
    writer.AddPointerPage(128, entries);
    writer.AddBlobIndexPage(128);
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 1;
    }
    try {
        const fs::path root = argv[1];
        for (const char* target : {"open", "catalogue", "record"})
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
        };
        for (const Image& image : images) {
            Write(root / "open" / image.name, image.writer.image());
            const std::uint32_t pageSize = image.writer.pageSize();
            Bytes pages{static_cast<std::byte>(pageSize == 1024 ? 0 : pageSize == 2048 ? 1 : 2)};
            pages.insert(pages.end(), image.writer.image().begin() + std::ptrdiff_t{ods::kFirstScannedPage} * pageSize,
                         image.writer.image().end());
            Write(root / "catalogue" / image.name, pages);
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
        std::cout << "wrote " << std::size(images) << " files and " << count << " records under " << root.string() << '\n';
    } catch (const std::exception& error) {
        std::cerr << argv[0] << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
