#include "cli/demodatabase.h"

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <string>

#include "fixture/fielddefinitionrecords.h"
#include "fixture/indexrecords.h"
#include "fixture/relationfieldrecords.h"
#include "fixture/relationrecords.h"
#include "fixture/tablerecords.h"
#include "ods/constants.h"

namespace ravelin::testing {
namespace {

using fixture::Bytes;
using fixture::FieldDefinitionOptions;
using fixture::FieldSpec;
using fixture::FixtureWriter;
using Values = std::vector<std::optional<Bytes>>;

struct Column {
    const char* name;
    FieldSpec stored;                   // type and storage in the records
    FieldDefinitionOptions definition;  // the field-definition record
    bool notNull;
};

struct Table {
    const char* name;
    std::uint16_t relationId;
    std::vector<Column> columns;
    const char* primaryKey;  // a one-column key; null: none
};

std::vector<Table> Tables()
{
    using fixture::CharacterField;
    using fixture::FixedField;
    using fixture::ScaledField;
    const FieldDefinitionOptions money = ScaledField(8, 1, -2, 9);  // NUMERIC(9,2) stored in 32 bits
    return {
        {"CUSTOMER",
         128,
         {{"CUST_NO", {8, 4}, FixedField(8, 4), true},
          {"NAME", {37, 30}, CharacterField(37, 30), false},
          {"CITY", {37, 20}, CharacterField(37, 20), false},
          {"COUNTRY", {14, 2}, CharacterField(14, 2), false},
          {"SINCE", {12, 4}, FixedField(12, 4), false},
          {"CREDIT_LIMIT", {1, 4}, money, false}},
         "CUST_NO"},
        {"ORDERS",
         129,
         {{"ORDER_NO", {8, 4}, FixedField(8, 4), true},
          {"CUST_NO", {8, 4}, FixedField(8, 4), false},
          {"ORDERED", {35, 8}, FixedField(35, 8), false},
          {"STATUS", {14, 8}, CharacterField(14, 8), false},
          {"TOTAL", {1, 4}, money, false},
          {"WEIGHT", {27, 8}, FixedField(27, 8), false}},
         "ORDER_NO"},
        {"ITEMS",
         130,
         {{"ORDER_NO", {8, 4}, FixedField(8, 4), true},
          {"LINE_NO", {7, 2}, FixedField(7, 2), true},
          {"PART", {37, 24}, CharacterField(37, 24), false},
          {"QTY", {8, 4}, FixedField(8, 4), false},
          {"PRICE", {1, 4}, money, false},
          {"DISCOUNT", {27, 8}, FixedField(27, 8), false}},
         nullptr},
    };
}

// Some of the system relations whose records stand in the relations
// catalogue of every file; the scan reads them and makes no table of them.
struct SystemRelation {
    const char* name;
    std::uint16_t relationId;
    std::uint16_t fieldIdCount;
};
constexpr SystemRelation kSystemRelations[] = {
    {"RDB$PAGES", 0, 4},           {"RDB$DATABASE", 1, 3},          {"RDB$FIELDS", 2, 26},
    {"RDB$INDEX_SEGMENTS", 3, 3},  {"RDB$INDICES", 4, 12},          {"RDB$RELATION_FIELDS", 5, 16},
    {"RDB$RELATIONS", 6, 16},      {"RDB$VIEW_RELATIONS", 7, 4},    {"RDB$FORMATS", 8, 3},
    {"RDB$SECURITY_CLASSES", 9, 3}, {"RDB$FILES", 10, 4},           {"RDB$TYPES", 11, 4},
};

std::string FieldSource(int number)
{
    return "RDB$" + std::to_string(number);
}

// The catalogue records of the tables, in the order real files hold them:
// the column records first (page 80), then the relations, the field
// definitions and the primary keys. Yields the page of the system
// relations' records.
std::uint32_t AddCatalogue(FixtureWriter& writer, const std::vector<Table>& tables)
{
    int source = 0;
    for (const Table& table : tables) {
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            fixture::RelationFieldOptions options;
            options.position = static_cast<std::uint16_t>(i);
            options.fieldId = static_cast<std::uint16_t>(i);
            options.notNull = table.columns[i].notNull;
            fixture::AddRelationFieldRecord(writer, table.columns[i].name, table.name, FieldSource(++source), options);
        }
    }
    for (const Table& table : tables)
        fixture::AddRelationRecord(writer, table.name, table.relationId, static_cast<std::uint16_t>(table.columns.size()));
    const std::uint32_t systemPage = writer.AddDataPage(ods::kRelRelations);
    for (const SystemRelation& relation : kSystemRelations)
        fixture::AddRelationRecord(writer, relation.name, relation.relationId, relation.fieldIdCount);

    source = 0;
    for (const Table& table : tables) {
        for (const Column& column : table.columns)
            fixture::AddFieldDefinition(writer, FieldSource(++source), column.definition);
    }

    const fixture::RecordHeaderOptions header = fixture::CatalogueRecordHeader(13);
    int key = 0;
    for (const Table& table : tables) {
        if (!table.primaryKey)
            continue;
        ++key;
        const std::string index = "RDB$PRIMARY" + std::to_string(key);
        fixture::IndexOptions options;
        options.indexId = 1;
        options.unique = true;
        fixture::AddCatalogueRecord(writer, ods::kRelIndexSegments,
                                    fixture::IndexSegmentData(index, table.primaryKey, 0), header);
        fixture::AddCatalogueRecord(writer, ods::kRelIndices, fixture::IndexData(index, table.name, options), header);
        fixture::AddCatalogueRecord(writer, ods::kRelRelationConstraints,
                                    fixture::RelationConstraintData("INTEG_" + std::to_string(key), "PRIMARY KEY",
                                                                    table.name, index),
                                    header);
    }
    return systemPage;
}

std::vector<FieldSpec> StoredFields(const Table& table)
{
    std::vector<FieldSpec> fields;
    for (const Column& column : table.columns)
        fields.push_back(column.stored);
    return fields;
}

// ---- The records. Every value follows from the record's number. ----

constexpr std::array kFirstNames = {"Ada", "Bruno", "Chiara", "Dmitri", "Elif", "Farah", "Goran", "Hana", "Ivo", "Jun"};
constexpr std::array kLastNames = {"Okafor", "O'Neil", "Lindqvist", "Moreau", "Novak",
                                   "Petrov", "Quinn",  "Rossi",     "Sato",   "Tanaka"};
struct City {
    const char* name;
    const char* country;
};
constexpr std::array<City, 8> kCities = {{{"Lisbon", "PT"}, {"Lyon", "FR"}, {"Graz", "AT"}, {"Porto", "PT"},
                                          {"Ghent", "BE"}, {"Turku", "FI"}, {"Bergen", "NO"}, {"Krakow", "PL"}}};
struct Part {
    const char* name;
    std::int32_t cents;
};
constexpr std::array<Part, 12> kParts = {{{"Hex bolt M8", 45},
                                          {"Washer 8 mm", 5},
                                          {"Hinge, brass", 1290},
                                          {"Cable 3 m", 799},
                                          {"Bracket L", 350},
                                          {"Caster wheel", 1475},
                                          {"Drawer slide", 2250},
                                          {"Wood glue 250 ml", 625},
                                          {"Sandpaper P120", 99},
                                          {"Spirit level", 3400},
                                          {"Tape measure 5 m", 1150},
                                          {"Pipe clamp", 275}}};
constexpr std::array kStatuses = {"PAID", "SHIPPED", "OPEN", "RETURNED"};
constexpr std::array kDiscounts = {0.0, 0.05, 0.1, 0.25};

constexpr int kCustomers = 40;
constexpr int kOrdersPerPage = 40;

Values CustomerValues(int i)
{
    using namespace fixture;
    const City& city = kCities[(i * 5) % kCities.size()];
    return {IntegerBytes(i),
            VarcharBytes(std::string(kFirstNames[(i - 1) % 10]) + " " + kLastNames[(i * 3) % 10], 30),
            i % 13 == 0 ? std::nullopt : std::optional<Bytes>(VarcharBytes(city.name, 20)),
            CharBytes(city.country, 2),
            DateBytes(DayNumber(2012 + i % 10, 1 + i % 12, 1 + (i * 7) % 28)),
            ScaledBytes((5000 + i * 250) * 100 + (i * 37) % 100, 4)};
}

int LinesOf(int order)
{
    return order % 2 == 1 ? 3 : 2;
}

Values ItemValues(int order, int line)
{
    using namespace fixture;
    const Part& part = kParts[(order * 5 + line * 3) % kParts.size()];
    return {IntegerBytes(1000 + order),
            SmallintBytes(static_cast<std::int16_t>(line)),
            VarcharBytes(part.name, 24),
            IntegerBytes(1 + (order + line * 4) % 9),
            ScaledBytes(part.cents, 4),
            DoubleBytes(kDiscounts[(order + line) % kDiscounts.size()])};
}

Values OrderValues(int order)
{
    using namespace fixture;
    std::int64_t total = 0;
    for (int line = 1; line <= LinesOf(order); ++line) {
        const Part& part = kParts[(order * 5 + line * 3) % kParts.size()];
        total += std::int64_t{part.cents} * (1 + (order + line * 4) % 9);
    }
    const std::uint32_t seconds = static_cast<std::uint32_t>((8 + order % 10) * 3600 + (order * 13 % 60) * 60);
    return {IntegerBytes(1000 + order),
            IntegerBytes(1 + (order * 7) % kCustomers),
            // Every third day from 2 January 2023, starting over after some
            // 2,400 years, so that a table of millions of orders keeps its
            // dates inside the years a target holds.
            TimestampBytes(DayNumber(2023, 1, 2) + (order * 3) % 900000, seconds * 10000),
            CharBytes(kStatuses[order % kStatuses.size()], 8),
            ScaledBytes(total, 4),
            DoubleBytes(0.5 + order * 0.25)};
}

void Scramble(std::span<std::byte> bytes, std::mt19937& generator)
{
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::byte& b : bytes)
        b = static_cast<std::byte>(byte(generator));
}

}  // namespace

DemoDatabase BuildDemoDatabase(bool damaged, int orderCount)
{
    DemoDatabase demo;
    FixtureWriter& image = demo.image;
    const std::vector<Table> tables = Tables();
    const std::uint32_t systemPage = AddCatalogue(image, tables);

    const auto note = [&demo](const Table& table, std::size_t records, const fixture::UserTableWriter& writer) {
        demo.tables.push_back(
            {table.name, table.relationId, table.columns.size(), records, records, writer.dataPages()});
    };

    const fixture::TableRecordBuilder customerRecord(StoredFields(tables[0]));
    fixture::UserTableWriter customers(image, tables[0].relationId);
    customers.NewPage();
    std::optional<fixture::RecordLocation> scrambled;
    for (int i = 1; i <= kCustomers; ++i) {
        const fixture::RecordLocation at = customers.Add(customerRecord.Record(CustomerValues(i)));
        if (i == kDemoScrambledCustomer)
            scrambled = at;
    }
    customers.Finish();
    note(tables[0], kCustomers, customers);

    const fixture::TableRecordBuilder orderRecord(StoredFields(tables[1]));
    fixture::UserTableWriter orders(image, tables[1].relationId);
    for (int order = 1; order <= orderCount; ++order) {
        if ((order - 1) % kOrdersPerPage == 0)
            orders.NewPage();
        orders.Add(orderRecord.Record(OrderValues(order)));
    }
    orders.Finish();
    note(tables[1], static_cast<std::size_t>(orderCount), orders);

    const fixture::TableRecordBuilder itemRecord(StoredFields(tables[2]));
    fixture::UserTableWriter items(image, tables[2].relationId);
    items.NewPage();
    std::size_t itemCount = 0;
    for (int order = 1; order <= orderCount; ++order) {
        for (int line = 1; line <= LinesOf(order); ++line, ++itemCount)
            items.Add(itemRecord.Record(ItemValues(order, line)));
    }
    items.Finish();
    note(tables[2], itemCount, items);

    if (!damaged)
        return demo;

    std::mt19937 generator(20240517);
    const std::uint32_t zeroed = demo.tables[1].dataPages.at((kDemoZeroedOrdersFirst - 1001) / kOrdersPerPage);
    std::ranges::fill(image.Page(zeroed), std::byte{0});
    demo.tables[1].readable -= kOrdersPerPage;
    demo.damage.push_back("page " + std::to_string(zeroed) + ": a data page of ORDERS (orders " +
                          std::to_string(kDemoZeroedOrdersFirst) + " to " + std::to_string(kDemoZeroedOrdersLast) +
                          ") zeroed");

    const std::size_t dataBytes = scrambled->length - ods::kRecordDataOffset;
    Scramble(image.Page(scrambled->page).subspan(scrambled->offset + ods::kRecordDataOffset, dataBytes), generator);
    demo.tables[0].readable -= 1;
    demo.damage.push_back("page " + std::to_string(scrambled->page) + ", slot " + std::to_string(scrambled->slot) +
                          ": the record of CUSTOMER " + std::to_string(kDemoScrambledCustomer) + " (" +
                          std::to_string(dataBytes) + " bytes after its header) overwritten with random bytes");

    Scramble(image.Page(systemPage), generator);
    demo.damage.push_back("page " + std::to_string(systemPage) +
                          ": a relations-catalogue page (the system relations' records) overwritten with random bytes");
    return demo;
}

}  // namespace ravelin::testing
