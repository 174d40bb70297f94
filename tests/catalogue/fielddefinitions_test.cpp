#include "catalogue/fielddefinitions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "catalogue/readers.h"
#include "catalogue/recordruns.h"
#include "fixture/fielddefinitionrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/indexrecords.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"
#include "ods/pagescan.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;
using fixture::FieldDefinitionOptions;
using testing::Runs;

// What a definition should yield.
struct Expected {
    std::uint8_t typeCode;
    std::uint16_t length;
    std::string typeName;
    std::uint16_t precision = 0;
    std::uint16_t scale = 0;
    std::string blobSubTypeName = "";
    std::uint8_t blobSegmentByte = 0;
    std::uint16_t dimensions = 0;
};

void ExpectDefinition(const std::optional<FieldDefinition>& got, const std::string& name, bool userDomain,
                      const Expected& expected)
{
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->name, name);
    EXPECT_EQ(got->userDomain, userDomain);
    EXPECT_EQ(got->typeCode, expected.typeCode);
    EXPECT_EQ(got->length, expected.length);
    EXPECT_EQ(got->typeName, expected.typeName);
    EXPECT_EQ(got->precision, expected.precision);
    EXPECT_EQ(got->scale, expected.scale);
    EXPECT_EQ(got->blobSubTypeName, expected.blobSubTypeName);
    EXPECT_EQ(got->blobSegmentByte, expected.blobSegmentByte);
    EXPECT_EQ(got->dimensions, expected.dimensions);
}

std::optional<FieldDefinition> Parse(std::string_view name, const FieldDefinitionOptions& options)
{
    ods::RecordStream data(fixture::Compress(fixture::FieldDefinitionData(name, options)));
    return ParseFieldDefinition(data);
}

FieldDefinitionOptions With(FieldDefinitionOptions options, void (*change)(FieldDefinitionOptions&))
{
    change(options);
    return options;
}

// An array of the definition's type: the dimension count, present.
FieldDefinitionOptions Array(FieldDefinitionOptions options, std::uint16_t dimensions)
{
    options.dimensions = dimensions;
    options.nullFlags[ods::kFieldDimensionsFieldNumber / 8] &= static_cast<std::uint8_t>(~(1u << (ods::kFieldDimensionsFieldNumber % 8)));
    return options;
}

// Every definition shape, in the record layouts of the three file generations.
TEST(ParseFieldDefinition, TypesOfEveryFileGeneration)
{
    struct Case {
        const char* label;
        std::string name;
        FieldDefinitionOptions options;
        Expected expected;
    };
    const Case cases[] = {
        {"VARCHAR(30)", "RDB$2", fixture::CharacterField(37, 30), {37, 30, "VARCHAR"}},
        {"CHAR(1)", "RDB$22", fixture::CharacterField(14, 1), {14, 1, "CHAR"}},
        {"VARCHAR(300): length in two bytes", "RDB$3", fixture::CharacterField(37, 300), {37, 300, "VARCHAR"}},
        {"VARCHAR(512): low length byte 0", "RDB$4", fixture::CharacterField(37, 512), {37, 512, "VARCHAR"}},
        {"SMALLINT", "RDB$5", fixture::FixedField(7, 2), {7, 2, "SMALLINT"}},
        {"INTEGER", "RDB$6", fixture::FixedField(8, 4), {8, 4, "INTEGER"}},
        {"FLOAT", "RDB$7", fixture::FixedField(10, 4), {10, 4, "FLOAT"}},
        {"DATE", "RDB$8", fixture::FixedField(12, 4), {12, 4, "DATE"}},
        {"TIME", "RDB$9", fixture::FixedField(13, 4), {13, 4, "TIME"}},
        {"BOOLEAN", "RDB$10", fixture::FixedField(17, 2), {17, 2, "BOOLEAN"}},
        {"DOUBLE PRECISION", "RDB$11", fixture::FixedField(27, 8), {27, 8, "DOUBLE PRECISION"}},
        {"TIMESTAMP", "RDB$12", fixture::FixedField(35, 8), {35, 8, "TIMESTAMP"}},
        {"BLOB SUB_TYPE TEXT SEGMENT SIZE 80", "RDB$13", fixture::BlobField(1, 80),
         {5, 8, "BLOB", 0, 0, "TEXT", 80}},
        // Sub-type 0 lies in a zero run: the definition names it "UNKNOWN".
        {"BLOB SUB_TYPE 0", "RDB$14", fixture::BlobField(0, 80), {5, 8, "BLOB", 0, 0, "UNKNOWN", 80}},
        {"BLOB with a negative sub-type", "RDB$15", fixture::BlobField(-1, 80), {5, 8, "BLOB", 0, 0, "DEFAULT", 80}},
        // Only the low byte of the segment length is kept.
        {"BLOB SEGMENT SIZE 400", "RDB$16", fixture::BlobField(1, 400), {5, 8, "BLOB", 0, 0, "TEXT", 144}},
        {"NUMERIC(9,2) stored as INTEGER", "RDB$17", fixture::ScaledField(8, 1, -2, 9), {1, 4, "NUMERIC", 9, 2}},
        {"DECIMAL(4,1) stored as SMALLINT", "RDB$18", fixture::ScaledField(7, 2, -1, 4), {2, 2, "DECIMAL", 4, 1}},
        {"DECIMAL(12,2) stored as 64 bits", "RDB$19", fixture::ScaledField(16, 2, -2, 12), {2, 8, "DECIMAL", 12, 2}},
        {"NUMERIC(18,0) stored as 64 bits", "RDB$20", fixture::ScaledField(16, 1, 0, 18), {1, 8, "NUMERIC", 18, 0}},
        {"NUMERIC(9,0) stored as INTEGER", "RDB$21", fixture::ScaledField(8, 1, 0, 9), {1, 4, "NUMERIC", 9, 0}},
        // A computed 64-bit value with a scale and no sub-type reads as
        // BIGINT (its scale is not read).
        {"64-bit integer without a sub-type", "RDB$31", fixture::ScaledField(16, 0, -9, 0), {16, 8, "BIGINT"}},
        {"array VARCHAR(15)[5]: the field length and one dimension", "RDB$23", Array(fixture::CharacterField(37, 15), 1),
         {37, 15, "VARCHAR", 0, 0, "", 0, 1}},
        {"array INTEGER[4]", "RDB$25", Array(fixture::FixedField(8, 4), 1), {8, 4, "INTEGER", 0, 0, "", 0, 1}},
        {"array CHAR(2)[3, 0:9]: two dimensions", "RDB$26", Array(fixture::CharacterField(14, 2), 2),
         {14, 2, "CHAR", 0, 0, "", 0, 2}},
        {"array NUMERIC(9,2)[2]", "RDB$27", Array(fixture::ScaledField(8, 1, -2, 9), 1), {1, 4, "NUMERIC", 9, 2, "", 0, 1}},
        // A dimension count whose null flag is set is no count.
        {"dimensions flagged NULL", "RDB$28",
         With(fixture::FixedField(8, 4), [](FieldDefinitionOptions& o) { o.dimensions = 1; }), {8, 4, "INTEGER"}},
        {"COMPUTED BY a text: the field length", "RDB$24", With(fixture::CharacterField(37, 37), [](FieldDefinitionOptions& o) {
             o.computed = true;
             o.characterLength = 0;
         }),
         {37, 37, "VARCHAR"}},
        {"domain with CHECK and DEFAULT", "DEPTNO", With(fixture::CharacterField(14, 3), [](FieldDefinitionOptions& o) {
             o.validation = true;
             o.defaultValue = true;
         }),
         {14, 3, "CHAR"}},
        {"scaled domain with CHECK and DEFAULT", "SALARY", With(fixture::ScaledField(16, 1, -2, 10), [](FieldDefinitionOptions& o) {
             o.validation = true;
             o.defaultValue = true;
         }),
         {1, 8, "NUMERIC", 10, 2}},
        {"digits repeated after RDB$", "RDB$111", fixture::FixedField(8, 4), {8, 4, "INTEGER"}},
        {"digits repeated inside the name", "RDB$1000", fixture::FixedField(8, 4), {8, 4, "INTEGER"}},
        {"repeat run then literal run in the name", "RDB$10001", fixture::FixedField(8, 4), {8, 4, "INTEGER"}},
        {"domain name of 40 characters", "A_DOMAIN_NAME_OF_FORTY_CHARACTERS_LENGTH", fixture::CharacterField(37, 8),
         {37, 8, "VARCHAR"}},
        {"domain name filling its field", "DOMAIN_NAME_THAT_FILLS_ITS_WHOLE_FIELD_OF_SIXTY_SEVEN_CHARACTERS_AB", fixture::FixedField(7, 2),
         {7, 2, "SMALLINT"}},
    };
    for (int ods : {13, 15, 16}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + ", ODS " + std::to_string(ods));
            FieldDefinitionOptions options = c.options;
            options.ods = ods;
            ExpectDefinition(Parse(c.name, options), c.name, c.name.rfind("RDB$", 0) != 0, c.expected);
        }
    }
}

TEST(ParseFieldDefinition, RecordsWithoutTheShapeOfADefinitionYieldNothing)
{
    const Runs intactType = Runs().Literal({4}).Repeat(3, 0).Literal({8}).Repeat(187, 0);
    struct Case {
        const char* label;
        Runs runs;
    };
    const Case cases[] = {
        {"blank filler short of the name field",
         Runs().Literal({0xfe, 0x78, 0xff, 0xff}, "RDB$5").Repeat(30, ' ').Repeat(117, 0).Append(intactType)},
        {"name followed by another name instead of filler",
         Runs().Literal({0xfe, 0x78, 0xff, 0xff}, "RDB$5").Literal("QUERY").Repeat(117, 0).Append(intactType)},
        {"first run is a repeat run", Runs().Repeat(4, 0xfe).Literal("RDB$5").Repeat(62, ' ').Repeat(117, 0).Append(intactType)},
        {"first run shorter than the null flags", Runs().Literal({0xfe, 0x78}).Literal("RDB$5").Repeat(62, ' ').Append(intactType)},
        {"further null flags that are not a zero run",
         Runs().Literal({0xfc, 0x70, 0xfb, 0xff}).Literal({1, 2, 3, 4}).Literal("RDB$5").Repeat(129, ' ').Append(intactType)},
        {"zero run passing the field length by more than a byte",
         Runs().Literal({0xfe, 0x78, 0xff, 0xff}, "RDB$5").Repeat(62, ' ').Repeat(120, 0).Append(intactType)},
        {"literal run passing the field length",
         Runs().Literal({0xfe, 0x78, 0xff, 0xff}, "RDB$5").Repeat(62, ' ').Repeat(116, 0).Literal({9, 4}).Repeat(3, 0)},
        {"record ends before the field length", Runs().Literal({0xfe, 0x78, 0xff, 0xff}, "RDB$5").Repeat(62, ' ').Repeat(60, 0)},
        {"empty record", Runs()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = c.runs.Stream();
        EXPECT_FALSE(ParseFieldDefinition(data).has_value());
    }
}

// A damaged record is read only as far as its own bytes go: every prefix of
// a definition, and records whose runs claim more bytes than remain.
TEST(ParseFieldDefinition, TruncatedAndOverclaimingRecordsStayInsideTheRecord)
{
    struct Case {
        const char* label;
        std::string name;
        FieldDefinitionOptions options;
    };
    const Case cases[] = {
        {"VARCHAR, ODS 13", "RDB$2", fixture::CharacterField(37, 30, 13)},
        {"NUMERIC domain with CHECK, ODS 15", "SALARY",
         With(fixture::ScaledField(16, 1, -2, 10, 15), [](FieldDefinitionOptions& o) { o.validation = true; })},
        {"BLOB, ODS 16", "RDB$111", fixture::BlobField(1, 80, 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Bytes data = fixture::FieldDefinitionData(c.name, c.options);
        const Bytes runs = fixture::Compress(data);
        const std::size_t lengthAt = c.options.ods == 16 ? 192 : 188;
        for (std::size_t size = 0; size <= runs.size(); ++size) {
            SCOPED_TRACE("first " + std::to_string(size) + " bytes");
            const Bytes prefix(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(size));
            ods::RecordStream stream(prefix);
            const auto got = ParseFieldDefinition(stream);
            // Before the field length is stored there is no definition.
            if (fixture::Decompress(prefix).size() <= lengthAt) {
                EXPECT_FALSE(got.has_value());
            }
            EXPECT_LE(stream.offset(), prefix.size());
        }
        // Every literal run in turn claims 127 bytes.
        for (std::size_t at = 0; at < runs.size();) {
            const auto control = std::to_integer<unsigned>(runs[at]);
            if (control >= 1 && control <= 127) {
                Bytes damaged = runs;
                damaged[at] = std::byte{127};
                ods::RecordStream stream(damaged);
                ParseFieldDefinition(stream);
                EXPECT_LE(stream.offset(), damaged.size());
            }
            at += control >= 1 && control <= 127 ? 1 + control : 2;
        }
    }
}

COLUMN Column(std::string name, std::string fieldSource)
{
    COLUMN column;
    column.name = std::move(name);
    column.fieldSource = std::move(fieldSource);
    column.hasDefault = 1;
    column.notNull = 1;
    column.position = 3;
    return column;
}

TableNode Table(std::string name, std::vector<COLUMN> columns)
{
    TableNode table;
    table.name = std::move(name);
    table.columns = std::move(columns);
    return table;
}

TEST(ApplyFieldDefinition, TypesTheFirstColumnOfTheFieldSourceOnly)
{
    SchemaModel model;
    model.tables.push_back(Table("T1", {Column("A", "RDB$1"), Column("B", ""), Column("C", "RDB$2")}));
    model.tables.push_back(Table("T2", {Column("D", "RDB$2"), Column("E", "RDB$1"), Column("F", "rdb$3")}));
    std::atomic<bool> stop{false};

    FieldDefinition numeric{"RDB$1", false, 1, 8, "NUMERIC", 10, 2, 0, "", 1};
    ApplyFieldDefinition(model, numeric, stop);
    const COLUMN& a = model.tables[0].columns[0];
    EXPECT_EQ(a.typeCode, 1);
    EXPECT_EQ(a.length, 8);
    EXPECT_EQ(a.typeName, "NUMERIC");
    EXPECT_EQ(a.precision, 10);
    EXPECT_EQ(a.scale, 2);
    EXPECT_EQ(a.dimensions, 1);
    // Name, source, default, not-null flag and position stay.
    EXPECT_EQ(a.name, "A");
    EXPECT_EQ(a.fieldSource, "RDB$1");
    EXPECT_EQ(a.hasDefault, 1);
    EXPECT_EQ(a.notNull, 1);
    EXPECT_EQ(a.position, 3);
    EXPECT_EQ(model.tables[1].columns[1].typeCode, 0) << "one column per definition";

    // The empty field source of B ends the search in T1, so C is not reached.
    FieldDefinition blob{"RDB$2", false, 5, 8, "BLOB", 0, 0, 80, "TEXT"};
    ApplyFieldDefinition(model, blob, stop);
    EXPECT_EQ(model.tables[0].columns[2].typeCode, 0);
    EXPECT_EQ(model.tables[1].columns[0].typeCode, 5);
    EXPECT_EQ(model.tables[1].columns[0].blobSubTypeName, "TEXT");
    EXPECT_EQ(model.tables[1].columns[0].blobSegmentByte, 80);

    // Field sources are compared exactly.
    FieldDefinition integer{"RDB$3", false, 8, 4, "INTEGER", 0, 0, 0, ""};
    ApplyFieldDefinition(model, integer, stop);
    EXPECT_EQ(model.tables[1].columns[2].typeCode, 0);

    stop = true;
    FieldDefinition late{"rdb$3", false, 8, 4, "INTEGER", 0, 0, 0, ""};
    ApplyFieldDefinition(model, late, stop);
    EXPECT_EQ(model.tables[1].columns[2].typeCode, 0);
}

// The pieces a reader needs over a database image.
struct Scan {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;
    CatalogueContext scan{context, lists, model, link, tableCount};

    bool Open(std::unique_ptr<ods::PageSource> source) { return context.OpenSource(std::move(source)); }
    bool Open(const std::filesystem::path& path) { return context.OpenDatabaseFile(path.string()); }
    // Files the pages and yields the first node of the relation.
    const ods::PageListNode* Lists(std::uint32_t relationId)
    {
        ods::ScanPages(context, lists, link);
        frame.sent.clear();
        for (const ods::PageListNode& node : lists) {
            if (node.relationId == relationId)
                return &node;
        }
        return nullptr;
    }
};

TEST(ApplyUserDomains, EveryColumnOfADomainTakesItsTypeInEveryTable)
{
    Scan s;
    s.model.tables.push_back(Table("JOB", {Column("JOB_CODE", "JOBCODE"), Column("MAX_SALARY", "SALARY")}));
    s.model.tables.push_back(Table("EMPLOYEE", {Column("EMP_NO", "EMPNO"), Column("SALARY", "SALARY")}));
    s.model.tables.push_back(Table("OTHER", {Column("X", ""), Column("OLD_SALARY", "SALARY")}));
    COLDOMAIN salary{"SALARY", 1, 8, "NUMERIC", 0, 10, 2, "", 0};
    COLDOMAIN jobcode{"JOBCODE", 37, 5, "VARCHAR", 0, 0, 0, "", 0, 2};
    s.model.domains = {salary, jobcode};

    ApplyUserDomains(s.scan);

    for (const COLUMN* column : {&s.model.tables[0].columns[1], &s.model.tables[1].columns[1]}) {
        SCOPED_TRACE(column->name);
        EXPECT_EQ(column->typeCode, 1);
        EXPECT_EQ(column->length, 8);
        EXPECT_EQ(column->typeName, "NUMERIC");
        EXPECT_EQ(column->precision, 10);
        EXPECT_EQ(column->scale, 2);
        EXPECT_EQ(column->hasDefault, 1);
        EXPECT_EQ(column->notNull, 1);
    }
    EXPECT_EQ(s.model.tables[0].columns[0].typeName, "VARCHAR");
    EXPECT_EQ(s.model.tables[0].columns[0].length, 5);
    EXPECT_EQ(s.model.tables[0].columns[0].dimensions, 2) << "an array domain gives its columns its dimensions";
    EXPECT_EQ(s.model.tables[0].columns[1].dimensions, 0);
    // A column with an empty field source ends the walk in its table.
    EXPECT_EQ(s.model.tables[2].columns[1].typeCode, 0);

    using Sent = fixture::RecordingFrame::Sent;
    EXPECT_EQ(s.frame.Progress(), (std::vector<Sent>{{job::UM_PROGRESS, job::kProgressStart, 2},
                                                     {job::UM_PROGRESS, job::kProgressStep, 0},
                                                     {job::UM_PROGRESS, job::kProgressStep, 0},
                                                     {job::UM_PROGRESS, job::kProgressEnd, 0}}));
}

TEST(ApplyUserDomains, StopRequestEndsThePass)
{
    Scan s;
    s.model.tables.push_back(Table("T", {Column("A", "D1"), Column("B", "D2")}));
    s.model.domains = {COLDOMAIN{"D1", 8, 4, "INTEGER", 0, 0, 0, "", 0}, COLDOMAIN{"D2", 7, 2, "SMALLINT", 0, 0, 0, "", 0}};
    // Domains are applied from the last appended; stop after the first step.
    s.frame.onSend = [&s](const fixture::RecordingFrame::Sent& sent) {
        if (sent.wParam == job::kProgressStep)
            s.frame.stopRequested = true;
    };
    ApplyUserDomains(s.scan);
    EXPECT_EQ(s.model.tables[0].columns[1].typeCode, 7);
    EXPECT_EQ(s.model.tables[0].columns[0].typeCode, 0);
    EXPECT_EQ(s.frame.ProgressCount(job::kProgressEnd), 0u);
}

// A relation-2 image: what the reader keeps, skips and reports.
TEST(ReadFieldDefinitions, ReadsTheCurrentDefinitionsOfTheImage)
{
    fixture::FixtureWriter writer(1024);
    fixture::AddFieldDefinition(writer, "RDB$1", fixture::CharacterField(37, 10, 16));
    fixture::AddFieldDefinition(writer, "FIRSTNAME", fixture::CharacterField(37, 15, 16));
    // The database's own definitions (transaction 0) are not read.
    fixture::AddFieldDefinition(writer, "RDB$FIELD_NAME", fixture::CharacterField(14, 67, 16), 0);
    // An older version of a definition is not read.
    fixture::RecordHeaderOptions older = fixture::FieldDefinitionHeader(16);
    older.flags = ods::kFlagOldVersion;
    writer.AddStoredRecord(ods::kRelFields, fixture::BuildStoredRecord(
                                                older, fixture::Compress(fixture::FieldDefinitionData(
                                                           "RDB$2", fixture::FixedField(27, 8, 16)))));
    // A record format the reader does not know.
    fixture::RecordHeaderOptions format2 = fixture::FieldDefinitionHeader(16);
    format2.format = 2;
    writer.AddStoredRecord(ods::kRelFields, fixture::BuildStoredRecord(
                                                format2, fixture::Compress(fixture::FieldDefinitionData(
                                                             "RDB$3", fixture::FixedField(8, 4, 16)))));
    const auto last = fixture::AddFieldDefinition(writer, "RDB$2", fixture::FixedField(7, 2, 16));
    writer.AddEmptySlot(last.page);

    Scan s;
    ASSERT_TRUE(s.Open(writer.Source()));
    s.model.tables.push_back(Table("T", {Column("NAME", "RDB$1"), Column("FIRST", "FIRSTNAME"),
                                         Column("N", "RDB$2"), Column("M", "RDB$3"), Column("SYS", "RDB$FIELD_NAME")}));
    s.model.tables.push_back(Table("U", {Column("FIRST2", "FIRSTNAME")}));
    const ods::PageListNode* node = s.Lists(ods::kRelFields);
    ASSERT_NE(node, nullptr);

    ReadFieldDefinitions(s.scan, *node);
    const auto progress = s.frame.Progress();
    const std::size_t steps = s.frame.ProgressCount(job::kProgressStep);

    const auto& columns = s.model.tables[0].columns;
    EXPECT_EQ(columns[0].typeName, "VARCHAR");
    EXPECT_EQ(columns[0].length, 10);
    EXPECT_EQ(columns[1].length, 15);
    EXPECT_EQ(columns[2].typeName, "SMALLINT");
    EXPECT_EQ(columns[3].typeCode, 0);
    EXPECT_EQ(columns[4].typeCode, 0);
    ASSERT_EQ(s.model.domains.size(), 1u);
    EXPECT_EQ(s.model.domains[0].name, "FIRSTNAME");
    EXPECT_EQ(s.model.domains[0].length, 15);
    // Only the first column of a field source is typed by the definition;
    // the domain pass types the others.
    EXPECT_EQ(s.model.tables[1].columns[0].typeCode, 0);
    ApplyUserDomains(s.scan);
    EXPECT_EQ(s.model.tables[1].columns[0].typeName, "VARCHAR");

    // Progress: the page count, a step for every slot (the empty one too), the end.
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front().wParam, job::kProgressStart);
    EXPECT_EQ(progress.front().lParam, static_cast<std::intptr_t>(node->pagePositions.size()));
    EXPECT_EQ(progress.back().wParam, job::kProgressEnd);
    std::size_t slots = 0;
    for (std::uint64_t page : node->pagePositions)
        slots += writer.SlotCount(static_cast<std::uint32_t>(page / writer.pageSize()));
    EXPECT_EQ(slots, 7u);
    EXPECT_EQ(steps, slots);
}

TEST(ReadFieldDefinitions, FragmentedDefinitionIsReadWhole)
{
    fixture::FixtureWriter writer(1024);
    FieldDefinitionOptions deptno = fixture::CharacterField(14, 3, 15);
    deptno.validation = true;
    // Cut after the null flags, the name and part of the blob ids, as the
    // files do with domains whose definition holds a CHECK clause.
    fixture::AddFragmentedRecord(writer, ods::kRelFields, fixture::FieldDefinitionData("DEPTNO", deptno),
                                 fixture::FieldDefinitionHeader(15), 20, true);

    Scan s;
    ASSERT_TRUE(s.Open(writer.Source()));
    s.model.tables.push_back(Table("DEPARTMENT", {Column("DEPT_NO", "DEPTNO"), Column("HEAD_DEPT", "DEPTNO")}));
    ReadFieldDefinitions(s.scan, *s.Lists(ods::kRelFields));
    ApplyUserDomains(s.scan);
    for (const COLUMN& column : s.model.tables[0].columns) {
        SCOPED_TRACE(column.name);
        EXPECT_EQ(column.typeName, "CHAR");
        EXPECT_EQ(column.length, 3);
    }
}

TEST(ReadFieldDefinitions, StopRequestEndsTheWalk)
{
    fixture::FixtureWriter writer(1024);
    for (int i = 1; i <= 6; ++i)
        fixture::AddFieldDefinition(writer, "RDB$" + std::to_string(i), fixture::FixedField(8, 4));
    Scan s;
    ASSERT_TRUE(s.Open(writer.Source()));
    std::vector<COLUMN> columns;
    for (int i = 1; i <= 6; ++i)
        columns.push_back(Column("C" + std::to_string(i), "RDB$" + std::to_string(i)));
    s.model.tables.push_back(Table("T", columns));
    const ods::PageListNode* node = s.Lists(ods::kRelFields);
    s.frame.onSend = [&s](const fixture::RecordingFrame::Sent& sent) {
        if (sent.wParam == job::kProgressStep && s.frame.ProgressCount(job::kProgressStep) == 2)
            s.frame.stopRequested = true;
    };
    ReadFieldDefinitions(s.scan, *node);
    int typed = 0;
    for (const COLUMN& column : s.model.tables[0].columns)
        typed += column.typeCode != 0;
    EXPECT_EQ(typed, 2);
    EXPECT_EQ(s.frame.ProgressCount(job::kProgressEnd), 0u);
}

// ---- The real samples ----------------------------------------------------

std::filesystem::path Samples() { return std::filesystem::path(RAVELIN_SAMPLES_DIR); }

struct ColumnType {
    std::uint8_t typeCode;
    std::uint16_t length;
    std::uint16_t precision = 0;
    std::uint16_t scale = 0;
    std::uint16_t dimensions = 0;
};

// Scans a sample; null when it is absent.
std::unique_ptr<Scan> ScanSample(const std::string& file)
{
    auto s = std::make_unique<Scan>();
    if (!std::filesystem::exists(Samples() / file) || !s->Open(Samples() / file))
        return nullptr;
    ScanDatabase(s->scan);
    return s;
}

void ExpectColumns(const SchemaModel& model, const std::map<std::pair<std::string, std::string>, ColumnType>& truth)
{
    std::size_t checked = 0;
    for (const TableNode& table : model.tables) {
        for (const COLUMN& column : table.columns) {
            SCOPED_TRACE(table.name + "." + column.name + " (" + column.fieldSource + ")");
            const auto expected = truth.find({table.name, column.name});
            ASSERT_NE(expected, truth.end()) << "column not in the truth";
            ++checked;
            EXPECT_EQ(column.typeCode, expected->second.typeCode);
            EXPECT_EQ(column.length, expected->second.length);
            EXPECT_EQ(column.precision, expected->second.precision);
            EXPECT_EQ(column.scale, expected->second.scale);
            EXPECT_EQ(column.dimensions, expected->second.dimensions);
            const MappedType mapped = MapTypeByte(column.typeCode, column.length);
            EXPECT_EQ(column.typeName, mapped.typeName);
        }
    }
    EXPECT_EQ(checked, truth.size()) << "columns of the truth not found in the file";
}

// The DBDEMOS tables as XML data packets: the FIELD elements of each table's
// METADATA. string: CHAR or VARCHAR of WIDTH; i2 SMALLINT; i4 INTEGER; r8
// DOUBLE PRECISION; dateTime TIMESTAMP; bin.hex BLOB. "boolean" is how the
// packet shows VENDORS.PREFERRED, stored as VARCHAR(1) (values "T" and "F").
std::map<std::pair<std::string, std::string>, ColumnType> XmlTruth(const std::vector<std::string>& tables)
{
    std::map<std::pair<std::string, std::string>, ColumnType> truth;
    const std::regex field(R"(<FIELD ([^>]*)/>)");
    const std::regex attribute(R"re((\w+)="([^"]*)")re");
    for (const std::string& table : tables) {
        std::string lower = table;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::ifstream in(Samples() / "truth" / (lower + ".xml"), std::ios::binary);
        std::string head(32768, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
        head = head.substr(0, head.find("</METADATA>"));
        for (auto f = std::sregex_iterator(head.begin(), head.end(), field); f != std::sregex_iterator(); ++f) {
            std::map<std::string, std::string> a;
            const std::string body = (*f)[1];
            for (auto m = std::sregex_iterator(body.begin(), body.end(), attribute); m != std::sregex_iterator(); ++m)
                a[(*m)[1]] = (*m)[2];
            std::string column = a["attrname"];
            for (char& c : column)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (column == "SIZE")
                column = "SIZ_";
            const std::string& type = a["fieldtype"];
            ColumnType expected{0, 0};
            if (type == "string")
                expected = {kTypeVarchar, static_cast<std::uint16_t>(std::stoi(a["WIDTH"]))};
            else if (type == "i2")
                expected = {kTypeSmallint, 2};
            else if (type == "i4")
                expected = {kTypeInteger, 4};
            else if (type == "r8")
                expected = {kTypeDouble, 8};
            else if (type == "dateTime")
                expected = {kTypeTimestamp, 8};
            else if (type == "bin.hex")
                expected = {kTypeBlob, 8};
            else if (type == "boolean")
                expected = {kTypeVarchar, 1};
            truth[{table, column}] = expected;
        }
    }
    return truth;
}

TEST(FieldDefinitionsOfTheSamples, DemoTablesAgreeWithTheirDataPackets)
{
    const std::vector<std::string> mastTables = {"CUSTOMER", "EMPLOYEE", "ITEMS",   "NEXTCUST",
                                                 "NEXTORD",  "ORDERS",   "PARTS", "VENDORS"};
    const std::vector<std::string> demoTables = {"ANIMALS", "BIOLIFE",  "COUNTRY", "CUSTOLY", "CUSTOMER", "EMPLOYEE",
                                                 "INDUSTRY", "ITEMS",   "MASTER",  "NEXTCUST", "NEXTITEM", "NEXTORD",
                                                 "ORDERS",  "PARTS",    "VENDORS", "VENUES"};
    const std::pair<const char*, const std::vector<std::string>*> samples[] = {
        {"ods13/MASTSQL.GDB", &mastTables}, {"ods16/EVENTS.GDB", &mastTables}, {"ods16/dbdemos.gdb", &demoTables}};
    for (const auto& [file, tables] : samples) {
        SCOPED_TRACE(file);
        auto s = ScanSample(file);
        if (!s)
            GTEST_SKIP() << "samples not available";
        ASSERT_FALSE(s->model.tables.empty());
        ExpectColumns(s->model, XmlTruth(*tables));
    }
}

TEST(FieldDefinitionsOfTheSamples, EmployeeColumnsAgreeWithTheDdl)
{
    auto s = ScanSample("ods15/EMPLOYEE.GDB");
    if (!s)
        GTEST_SKIP() << "samples not available";
    ASSERT_FALSE(s->model.tables.empty());

    constexpr std::uint8_t V = kTypeVarchar, C = kTypeChar, S = kTypeSmallint, I = kTypeInteger, N = kTypeNumeric,
                           D = kTypeDecimal, B = kTypeBlob, T = kTypeTimestamp, F = kTypeFloat, P = kTypeDouble;
    // From employee.sql: domains resolved (FIRSTNAME VARCHAR(15), EMPNO
    // SMALLINT, SALARY NUMERIC(10,2), BUDGET DECIMAL(12,2), ...); arrays give
    // their element type and their one dimension. Computed columns declare no type: they show the
    // type their definition stores (FULL_NAME a VARCHAR(37), NEW_SALARY a
    // DOUBLE PRECISION, AGED a BIGINT).
    const std::map<std::pair<std::string, std::string>, ColumnType> truth = {
        {{"COUNTRY", "COUNTRY"}, {V, 15}},           {{"COUNTRY", "CURRENCY"}, {V, 10}},
        {{"JOB", "JOB_CODE"}, {V, 5}},               {{"JOB", "JOB_GRADE"}, {S, 2}},
        {{"JOB", "JOB_COUNTRY"}, {V, 15}},           {{"JOB", "JOB_TITLE"}, {V, 25}},
        {{"JOB", "MIN_SALARY"}, {N, 8, 10, 2}},      {{"JOB", "MAX_SALARY"}, {N, 8, 10, 2}},
        {{"JOB", "JOB_REQUIREMENT"}, {B, 8}},        {{"JOB", "LANGUAGE_REQ"}, {V, 15, 0, 0, 1}},
        {{"DEPARTMENT", "DEPT_NO"}, {C, 3}},         {{"DEPARTMENT", "DEPARTMENT"}, {V, 25}},
        {{"DEPARTMENT", "HEAD_DEPT"}, {C, 3}},       {{"DEPARTMENT", "MNGR_NO"}, {S, 2}},
        {{"DEPARTMENT", "BUDGET"}, {D, 8, 12, 2}},   {{"DEPARTMENT", "LOCATION"}, {V, 15}},
        {{"DEPARTMENT", "PHONE_NO"}, {V, 20}},       {{"EMPLOYEE", "EMP_NO"}, {S, 2}},
        {{"EMPLOYEE", "FIRST_NAME"}, {V, 15}},       {{"EMPLOYEE", "LAST_NAME"}, {V, 20}},
        {{"EMPLOYEE", "PHONE_EXT"}, {V, 4}},         {{"EMPLOYEE", "HIRE_DATE"}, {T, 8}},
        {{"EMPLOYEE", "DEPT_NO"}, {C, 3}},           {{"EMPLOYEE", "JOB_CODE"}, {V, 5}},
        {{"EMPLOYEE", "JOB_GRADE"}, {S, 2}},         {{"EMPLOYEE", "JOB_COUNTRY"}, {V, 15}},
        {{"EMPLOYEE", "SALARY"}, {N, 8, 10, 2}},     {{"EMPLOYEE", "FULL_NAME"}, {V, 37}},
        {{"PROJECT", "PROJ_ID"}, {C, 5}},            {{"PROJECT", "PROJ_NAME"}, {V, 20}},
        {{"PROJECT", "PROJ_DESC"}, {B, 8}},          {{"PROJECT", "TEAM_LEADER"}, {S, 2}},
        {{"PROJECT", "PRODUCT"}, {V, 12}},           {{"EMPLOYEE_PROJECT", "EMP_NO"}, {S, 2}},
        {{"EMPLOYEE_PROJECT", "PROJ_ID"}, {C, 5}},   {{"PROJ_DEPT_BUDGET", "FISCAL_YEAR"}, {I, 4}},
        {{"PROJ_DEPT_BUDGET", "PROJ_ID"}, {C, 5}},   {{"PROJ_DEPT_BUDGET", "DEPT_NO"}, {C, 3}},
        {{"PROJ_DEPT_BUDGET", "QUART_HEAD_CNT"}, {I, 4, 0, 0, 1}}, {{"PROJ_DEPT_BUDGET", "PROJECTED_BUDGET"}, {D, 8, 12, 2}},
        {{"SALARY_HISTORY", "EMP_NO"}, {S, 2}},      {{"SALARY_HISTORY", "CHANGE_DATE"}, {T, 8}},
        {{"SALARY_HISTORY", "UPDATER_ID"}, {V, 20}}, {{"SALARY_HISTORY", "OLD_SALARY"}, {N, 8, 10, 2}},
        {{"SALARY_HISTORY", "PERCENT_CHANGE"}, {P, 8}}, {{"SALARY_HISTORY", "NEW_SALARY"}, {P, 8}},
        {{"CUSTOMER", "CUST_NO"}, {I, 4}},           {{"CUSTOMER", "CUSTOMER"}, {V, 25}},
        {{"CUSTOMER", "CONTACT_FIRST"}, {V, 15}},    {{"CUSTOMER", "CONTACT_LAST"}, {V, 20}},
        {{"CUSTOMER", "PHONE_NO"}, {V, 20}},         {{"CUSTOMER", "ADDRESS_LINE1"}, {V, 30}},
        {{"CUSTOMER", "ADDRESS_LINE2"}, {V, 30}},    {{"CUSTOMER", "CITY"}, {V, 25}},
        {{"CUSTOMER", "STATE_PROVINCE"}, {V, 15}},   {{"CUSTOMER", "COUNTRY"}, {V, 15}},
        {{"CUSTOMER", "POSTAL_CODE"}, {V, 12}},      {{"CUSTOMER", "ON_HOLD"}, {C, 1}},
        {{"SALES", "PO_NUMBER"}, {C, 8}},            {{"SALES", "CUST_NO"}, {I, 4}},
        {{"SALES", "SALES_REP"}, {S, 2}},            {{"SALES", "ORDER_STATUS"}, {V, 7}},
        {{"SALES", "ORDER_DATE"}, {T, 8}},           {{"SALES", "SHIP_DATE"}, {T, 8}},
        {{"SALES", "DATE_NEEDED"}, {T, 8}},          {{"SALES", "PAID"}, {C, 1}},
        {{"SALES", "QTY_ORDERED"}, {I, 4}},          {{"SALES", "TOTAL_VALUE"}, {D, 4, 9, 2}},
        {{"SALES", "DISCOUNT"}, {F, 4}},             {{"SALES", "ITEM_TYPE"}, {V, 12}},
        {{"SALES", "AGED"}, {16, 8}},
    };
    ExpectColumns(s->model, truth);

    // The user domains of the DDL, in the order they were defined.
    std::vector<std::string> domains;
    for (const COLDOMAIN& domain : s->model.domains)
        domains.push_back(domain.name);
    EXPECT_EQ(domains, (std::vector<std::string>{"FIRSTNAME", "LASTNAME", "PHONENUMBER", "COUNTRYNAME", "ADDRESSLINE",
                                                 "EMPNO", "DEPTNO", "PROJNO", "CUSTNO", "JOBCODE", "JOBGRADE", "SALARY",
                                                 "BUDGET", "PRODTYPE", "PONUMBER"}));
}

TEST(FieldDefinitionsOfTheSamples, NineTypesOfTheTestTable)
{
    auto s = ScanSample("ods13/DBUTILSTEST.IB");
    if (!s)
        GTEST_SKIP() << "samples not available";
    ASSERT_FALSE(s->model.tables.empty());
    // The column names say the type; sizes as the definitions store them.
    ExpectColumns(s->model, {
                                {{"TEST_TABLE", "STRING_FIELD"}, {kTypeVarchar, 10}},
                                {{"TEST_TABLE", "INT32_FIELD"}, {kTypeInteger, 4}},
                                {{"TEST_TABLE", "DOUBLE_FIELD"}, {kTypeDouble, 8}},
                                {{"TEST_TABLE", "MEMO_FIELD"}, {kTypeBlob, 8}},
                                {{"TEST_TABLE", "DATE_FIELD"}, {kTypeTimestamp, 8}},
                                {{"TEST_TABLE", "DECIMAL_FIELD"}, {kTypeDecimal, 8, 18, 0}},
                                {{"TEST_TABLE", "BLOB_FIELD"}, {kTypeBlob, 8}},
                                {{"TEST_TABLE", "INT64_FIELD"}, {kTypeNumeric, 8, 18, 0}},
                                {{"TEST_TABLE", "SINGLE_FIELD"}, {kTypeFloat, 4}},
                            });
}

}  // namespace
}  // namespace ravelin::catalogue
