#include "catalogue/indices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/readers.h"
#include "catalogue/recordruns.h"
#include "fixture/fixturewriter.h"
#include "fixture/indexrecords.h"
#include "fixture/recordingframe.h"
#include "ods/constants.h"
#include "ods/pagescan.h"

namespace ravelin::catalogue {
namespace {

using fixture::Bytes;
using testing::Runs;
using Names = std::vector<std::string>;

ods::RecordStream Runs_(const Bytes& data) { return ods::RecordStream(fixture::Compress(data)); }

// A 67-character name without three equal characters in a row.
const std::string kFullWidthName = "RELATION_NAME_THAT_FILLS_ITS_WHOLE_FIELD_OF_SIXTY_SEVEN_CHARACTERS1";

TEST(ParseIndexSegment, NamesAndPlaceOfEveryFileGeneration)
{
    struct Case {
        const char* label;
        std::string index;
        std::string column;
        std::uint16_t position;
        std::string wantIndex;
        std::string wantColumn;
    };
    const Case cases[] = {
        {"primary key segment", "RDB$PRIMARY1", "CUSTNO", 0, "RDB$PRIMARY1", "CUSTNO"},
        {"second segment", "LASTNAME", "FIRSTNAME", 1, "LASTNAME", "FIRSTNAME"},
        {"third segment", "RDB$PRIMARY20", "UPDATER_ID", 2, "RDB$PRIMARY20", "UPDATER_ID"},
        {"blanks inside names", "BY NAME", "LAST NAME", 0, "BY_NAME", "LAST_NAME"},
        {"digits repeated in the index name", "RDB$PRIMARY1000", "ORDERNO", 0, "RDB$PRIMARY1000", "ORDERNO"},
    };
    for (int ods : {13, 15, 16}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + ", ODS " + std::to_string(ods));
            ods::RecordStream data = Runs_(fixture::IndexSegmentData(c.index, c.column, c.position, ods));
            const IndexSegmentRecord segment = ParseIndexSegment(data);
            EXPECT_EQ(segment.indexName, c.wantIndex);
            EXPECT_EQ(segment.columnName, c.wantColumn);
            EXPECT_EQ(segment.position, c.position);
        }
    }
}

TEST(ParseIndexSegment, UnexpectedRunsLeaveNamesEmpty)
{
    struct Case {
        const char* label;
        Runs runs;
        std::string index;
        std::string column;
    };
    const Case cases[] = {
        {"marker byte 0x14 before the index name",
         Runs().Literal({0xf8}).Raw({0xfd, 0x14}).Literal("IDX").Repeat(64, ' ').Literal("COL").Repeat(64, ' ').Literal({1, 0}),
         "IDX", "COL"},
        {"no filler before the index name", Runs().Literal({0xf8, 0, 0, 0}).Literal("IDX").Repeat(64, ' '), "", ""},
        {"no filler after the index name", Runs().Literal({0xf8}).Repeat(3, 0).Literal("IDX").Literal("COL"), "IDX", ""},
        {"record ends after the null flags", Runs().Literal({0xf8}), "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = c.runs.Stream();
        const IndexSegmentRecord segment = ParseIndexSegment(data);
        EXPECT_EQ(segment.indexName, c.index);
        EXPECT_EQ(segment.columnName, c.column);
    }
}

TEST(ParseIndex, RelationAndReferencedIndex)
{
    struct Case {
        const char* label;
        std::string index;
        std::string relation;
        fixture::IndexOptions options;
        std::string foreignKey;
    };
    auto options = [](std::uint16_t id, bool unique, std::uint16_t segments, bool descending, std::string_view fk) {
        fixture::IndexOptions o;
        o.indexId = id;
        o.unique = unique;
        o.segmentCount = segments;
        o.descending = descending;
        o.foreignKey = fk;
        o.statistics = 0.25;
        return o;
    };
    const Case cases[] = {
        {"unique primary key index", "RDB$PRIMARY1", "CUSTOMER", options(1, true, 1, false, ""), ""},
        {"plain index", "CUSTNAMEX", "CUSTOMER", options(3, false, 1, false, ""), ""},
        {"descending index of two segments", "MAXSALX", "JOB", options(2, false, 2, true, ""), ""},
        {"foreign-key index", "RDB$FOREIGN23", "CUSTOMER", options(4, false, 1, false, "RDB$PRIMARY1"), "RDB$PRIMARY1"},
        {"foreign key of three segments", "RDB$FOREIGN9", "EMPLOYEE", options(4, false, 3, false, "RDB$PRIMARY2"),
         "RDB$PRIMARY2"},
        {"digits repeated in the referenced name", "RDB$FOREIGN1001", "ITEMS", options(5, false, 1, false, "RDB$PRIMARY111"),
         "RDB$PRIMARY111"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = Runs_(fixture::IndexData(c.index, c.relation, c.options));
        const IndexRecord index = ParseIndex(data);
        EXPECT_EQ(index.indexName, c.index);
        EXPECT_EQ(index.relationName, c.relation);
        EXPECT_EQ(index.foreignKey, c.foreignKey);
    }

    // A relation name without its filler ends the walk: no foreign key.
    ods::RecordStream damaged = Runs().Literal({0x10, 0xcf, 0, 0}, "IDX").Repeat(64, ' ').Literal("REL").Literal({1}).Stream();
    const IndexRecord index = ParseIndex(damaged);
    EXPECT_EQ(index.indexName, "IDX");
    EXPECT_EQ(index.relationName, "REL");
    EXPECT_EQ(index.foreignKey, "");
}

// The fixed fields of an index record: uniqueness, direction and the
// inactive flag, from the whole decompressed record; a null field reads
// false, and runs that do not give the record's length give nothing.
TEST(ReadIndexAttributes, UniqueDescendingAndInactive)
{
    ods::RecordImage image;
    fixture::IndexOptions plain;
    fixture::IndexOptions unique;
    unique.unique = true;
    fixture::IndexOptions descending;
    descending.descending = true;
    descending.segmentCount = 2;
    const struct {
        const char* label;
        Bytes data;
        bool unique;
        bool descending;
        bool inactive;
    } cases[] = {
        {"plain", fixture::IndexData("NAMEX", "EMPLOYEE", plain), false, false, false},
        {"unique", fixture::IndexData("PRODTYPEX", "PROJECT", unique), true, false, false},
        {"descending", fixture::IndexData("MAXSALX", "JOB", descending), false, true, false},
        {"inactive", [] {
             Bytes data = fixture::IndexData("IDLE", "JOB");
             data[154] = std::byte{1};
             return data;
         }(), false, false, true},
        {"unique flag set but null", [&] {
             Bytes data = fixture::IndexData("NULLED", "JOB", unique);
             data[0] |= std::byte{0x08};  // field 3: the unique flag
             return data;
         }(), false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::optional<IndexAttributes> attributes = ReadIndexAttributes(fixture::Compress(c.data), image);
        ASSERT_TRUE(attributes.has_value());
        EXPECT_EQ(attributes->unique, c.unique);
        EXPECT_EQ(attributes->descending, c.descending);
        EXPECT_EQ(attributes->inactive, c.inactive);
    }
    const Bytes whole = fixture::IndexData("SHORT", "JOB");
    EXPECT_EQ(ReadIndexAttributes(fixture::Compress(Bytes(whole.begin(), whole.begin() + 200)), image), std::nullopt);
    Bytes longer = whole;
    longer.resize(300);
    EXPECT_EQ(ReadIndexAttributes(fixture::Compress(longer), image), std::nullopt);
}

TEST(ParseRelationConstraint, TypeRelationAndEnforcingIndex)
{
    struct Case {
        const char* label;
        std::string name;
        std::string type;
        std::string relation;
        std::string index;
        std::optional<KEYSCONTRAINTS> want;
    };
    const Case cases[] = {
        {"primary key", "INTEG_3", "PRIMARY KEY", "CUSTOMER", "RDB$PRIMARY1",
         KEYSCONTRAINTS{"PRIMARY KEY", "INTEG_3", "CUSTOMER", "RDB$PRIMARY1"}},
        {"unique (a type of 6 characters)", "INTEG_15", "UNIQUE", "DEPARTMENT", "RDB$4",
         KEYSCONTRAINTS{"UNIQUE", "INTEG_15", "DEPARTMENT", "RDB$4"}},
        {"foreign key", "INTEG_11", "FOREIGN KEY", "JOB", "RDB$FOREIGN3",
         KEYSCONTRAINTS{"FOREIGN KEY", "INTEG_11", "JOB", "RDB$FOREIGN3"}},
        {"named constraint", "PK_ORDERS", "PRIMARY KEY", "ORDERS", "PK_ORDERS",
         KEYSCONTRAINTS{"PRIMARY KEY", "PK_ORDERS", "ORDERS", "PK_ORDERS"}},
        {"digits repeated in the names", "INTEG_1000", "PRIMARY KEY", "TABLE111", "RDB$PRIMARY222",
         KEYSCONTRAINTS{"PRIMARY KEY", "INTEG_1000", "TABLE111", "RDB$PRIMARY222"}},
        // The relation name runs on into the deferral flags and the index name.
        {"relation name filling its field", "INTEG_9", "UNIQUE", kFullWidthName, "RDB$9",
         KEYSCONTRAINTS{"UNIQUE", "INTEG_9", kFullWidthName, "RDB$9"}},
        {"primary key of a relation name filling its field", "INTEG_8", "PRIMARY KEY", kFullWidthName, "RDB$PRIMARY9",
         KEYSCONTRAINTS{"PRIMARY KEY", "INTEG_8", kFullWidthName, "RDB$PRIMARY9"}},
        {"NOT NULL: no index", "INTEG_1", "NOT NULL", "CUSTOMER", "", std::nullopt},
        {"CHECK: no index", "INTEG_12", "CHECK", "JOB", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = Runs_(fixture::RelationConstraintData(c.name, c.type, c.relation, c.index));
        const auto got = ParseRelationConstraint(data);
        ASSERT_EQ(got.has_value(), c.want.has_value());
        if (got) {
            EXPECT_EQ(got->constraintType, c.want->constraintType);
            EXPECT_EQ(got->constraintName, c.want->constraintName);
            EXPECT_EQ(got->relationName, c.want->relationName);
            EXPECT_EQ(got->indexName, c.want->indexName);
        }
    }

    struct Damaged {
        const char* label;
        Runs runs;
    };
    const Damaged damaged[] = {
        {"no filler after the constraint name", Runs().Literal({0xc0}).Repeat(3, 0).Literal("INTEG_3").Literal("PRIMARY KEYT")},
        {"no filler after the null flags", Runs().Literal({0xc0, 0, 0, 0}).Literal("INTEG_3").Repeat(60, ' ')},
        {"record ends after the null flags", Runs().Literal({0xc0})},
    };
    for (const Damaged& c : damaged) {
        SCOPED_TRACE(c.label);
        ods::RecordStream data = c.runs.Stream();
        EXPECT_FALSE(ParseRelationConstraint(data).has_value());
    }

    // No filler after the relation name: kept with the type read, no index.
    ods::RecordStream noFiller = Runs()
                                     .Literal({0xc0})
                                     .Repeat(3, 0)
                                     .Literal("INTEG_7")
                                     .Repeat(60, ' ')
                                     .Literal("UNIQUE")
                                     .Repeat(5, ' ')
                                     .Literal("ORDERS")
                                     .Literal("NO NO X")
                                     .Stream();
    const auto kept = ParseRelationConstraint(noFiller);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->constraintType, "UNIQUE");
    EXPECT_EQ(kept->relationName, "ORDERS");
    EXPECT_EQ(kept->indexName, "");
}

// Damaged records never make a walk leave the record: every prefix of each
// kind of record, and every literal run claiming 127 bytes.
TEST(IndexRecords, TruncatedAndOverclaimingRecordsStayInsideTheRecord)
{
    fixture::IndexOptions fk;
    fk.foreignKey = "RDB$PRIMARY1";
    const Bytes records[] = {
        fixture::Compress(fixture::IndexSegmentData("RDB$PRIMARY20", "CHANGE_DATE", 1, 16)),
        fixture::Compress(fixture::IndexData("RDB$FOREIGN23", "CUSTOMER", fk)),
        fixture::Compress(fixture::RelationConstraintData("INTEG_15", "UNIQUE", "DEPARTMENT", "RDB$4")),
    };
    auto walkAll = [](const Bytes& runs) {
        for (int kind = 0; kind < 3; ++kind) {
            ods::RecordStream data(runs);
            if (kind == 0)
                ParseIndexSegment(data);
            else if (kind == 1)
                ParseIndex(data);
            else
                ParseRelationConstraint(data);
            EXPECT_LE(data.offset(), runs.size());
        }
    };
    for (const Bytes& runs : records) {
        for (std::size_t size = 0; size <= runs.size(); ++size)
            walkAll(Bytes(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(size)));
        for (std::size_t at = 0; at < runs.size();) {
            const auto control = std::to_integer<unsigned>(runs[at]);
            const bool literal = control >= 1 && control <= 127;
            if (literal) {
                Bytes damaged = runs;
                damaged[at] = std::byte{127};
                walkAll(damaged);
            }
            at += literal ? 1 + control : 2;
        }
    }
    // A truncated segment record keeps only what its bytes hold.
    const Bytes segment = records[0];
    ods::RecordStream cut(Bytes(segment.begin(), segment.begin() + 10));
    const IndexSegmentRecord partial = ParseIndexSegment(cut);
    EXPECT_EQ(partial.indexName, "RDB$P");
    EXPECT_EQ(partial.columnName, "");
    EXPECT_FALSE(partial.position.has_value());
}

struct Scan {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    fixture::RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;
    CatalogueContext scan{context, lists, model, link, tableCount};

    const ods::PageListNode& Node(std::uint32_t relationId)
    {
        if (lists.empty()) {
            ods::ScanPages(context, lists, link);
            frame.sent.clear();
        }
        for (const ods::PageListNode& node : lists) {
            if (node.relationId == relationId)
                return node;
        }
        ADD_FAILURE() << "no page list for relation " << relationId;
        static const ods::PageListNode none;
        return none;
    }
};

Names SegmentsOf(const SchemaModel& model, const std::string& index)
{
    for (const IndexNode& node : model.indices) {
        if (node.name == index)
            return node.segments;
    }
    return {"<no such index>"};
}

// An image of the three catalogues as the EMPLOYEE sample stores them.
fixture::FixtureWriter EmployeeCatalogues()
{
    fixture::FixtureWriter writer(1024);
    const auto header = fixture::CatalogueRecordHeader(15);
    auto segment = [&](const char* index, const char* column, std::uint16_t position) {
        fixture::AddCatalogueRecord(writer, ods::kRelIndexSegments, fixture::IndexSegmentData(index, column, position, 15),
                                    header);
    };
    // Records of one index are not always stored in segment order.
    segment("NAMEX", "FIRST_NAME", 1);
    segment("NAMEX", "LAST_NAME", 0);
    segment("RDB$PRIMARY7", "EMP_NO", 0);
    segment("RDB$FOREIGN8", "DEPT_NO", 0);
    segment("RDB$PRIMARY20", "EMP_NO", 0);
    segment("RDB$PRIMARY20", "CHANGE_DATE", 1);
    segment("RDB$PRIMARY20", "UPDATER_ID", 2);
    // Two segments claiming the same place keep the order they were met in.
    segment("ODDX", "B", 0);
    segment("ODDX", "A", 0);

    auto index = [&](const char* name, const char* relation, std::uint16_t segments, std::string_view fk = {}) {
        fixture::IndexOptions options;
        options.segmentCount = segments;
        options.foreignKey = fk;
        return fixture::IndexData(name, relation, options);
    };
    fixture::AddCatalogueRecord(writer, ods::kRelIndices, index("NAMEX", "EMPLOYEE", 2), header);
    fixture::AddCatalogueRecord(writer, ods::kRelIndices, index("RDB$PRIMARY7", "EMPLOYEE", 1), header);
    // Stored in two fragments, cut inside the referenced index's name.
    fixture::AddFragmentedRecord(writer, ods::kRelIndices, index("RDB$FOREIGN8", "EMPLOYEE", 1, "RDB$PRIMARY5"), header,
                                 45, true);
    fixture::AddCatalogueRecord(writer, ods::kRelIndices, index("RDB$PRIMARY20", "SALARY_HISTORY", 3), header);
    // An index without segment records.
    fixture::AddCatalogueRecord(writer, ods::kRelIndices, index("ORPHANX", "EMPLOYEE", 1), header);

    auto constraint = [&](const char* name, const char* type, const char* relation, const char* enforcing) {
        fixture::AddCatalogueRecord(writer, ods::kRelRelationConstraints,
                                    fixture::RelationConstraintData(name, type, relation, enforcing), header);
    };
    constraint("INTEG_18", "NOT NULL", "EMPLOYEE", "");
    constraint("INTEG_27", "PRIMARY KEY", "EMPLOYEE", "RDB$PRIMARY7");
    constraint("INTEG_28", "FOREIGN KEY", "EMPLOYEE", "RDB$FOREIGN8");
    constraint("INTEG_55", "PRIMARY KEY", "SALARY_HISTORY", "RDB$PRIMARY20");
    return writer;
}

TEST(IndexReaders, BuildTheIndexListAndConstraintsOfAnImage)
{
    const fixture::FixtureWriter writer = EmployeeCatalogues();
    Scan s;
    ASSERT_TRUE(s.context.OpenSource(writer.Source()));
    ReadIndexSegments(s.scan, s.Node(ods::kRelIndexSegments));
    const auto segmentProgress = s.frame.Progress();
    ReadIndices(s.scan, s.Node(ods::kRelIndices));
    const std::size_t afterIndices = s.frame.Progress().size();
    ReadRelationConstraints(s.scan, s.Node(ods::kRelRelationConstraints));

    Names names;
    for (const IndexNode& node : s.model.indices)
        names.push_back(node.name);
    EXPECT_EQ(names, (Names{"NAMEX", "RDB$PRIMARY7", "RDB$FOREIGN8", "RDB$PRIMARY20", "ODDX"}));
    EXPECT_EQ(SegmentsOf(s.model, "NAMEX"), (Names{"LAST_NAME", "FIRST_NAME"}));
    EXPECT_EQ(SegmentsOf(s.model, "RDB$PRIMARY20"), (Names{"EMP_NO", "CHANGE_DATE", "UPDATER_ID"}));
    EXPECT_EQ(SegmentsOf(s.model, "ODDX"), (Names{"B", "A"}));

    const IndexNode& fk = s.model.indices[2];
    EXPECT_EQ(fk.relationName, "EMPLOYEE");
    EXPECT_EQ(fk.foreignKey, "RDB$PRIMARY5");
    EXPECT_EQ(s.model.indices[3].relationName, "SALARY_HISTORY");
    EXPECT_EQ(s.model.indices[4].relationName, "") << "no index record for ODDX";

    ASSERT_EQ(s.model.keyConstraints.size(), 3u);
    EXPECT_EQ(s.model.keyConstraints[0].constraintName, "INTEG_27");
    EXPECT_EQ(s.model.keyConstraints[1].indexName, "RDB$FOREIGN8");
    EXPECT_EQ(s.model.keyConstraints[2].relationName, "SALARY_HISTORY");

    // Segments and indices report their pages and slots; constraints nothing.
    ASSERT_GE(segmentProgress.size(), 2u);
    EXPECT_EQ(segmentProgress.front().wParam, job::kProgressStart);
    EXPECT_EQ(segmentProgress.back().wParam, job::kProgressEnd);
    EXPECT_EQ(std::count_if(segmentProgress.begin(), segmentProgress.end(),
                            [](const auto& p) { return p.wParam == job::kProgressStep; }),
              9);
    EXPECT_EQ(s.frame.Progress().size(), afterIndices);
}

TEST(IndexReaders, IndexRecordsMetBeforeTheirSegmentsAreDropped)
{
    const fixture::FixtureWriter writer = EmployeeCatalogues();
    Scan s;
    ASSERT_TRUE(s.context.OpenSource(writer.Source()));
    ReadIndices(s.scan, s.Node(ods::kRelIndices));
    EXPECT_TRUE(s.model.indices.empty());
    ReadIndexSegments(s.scan, s.Node(ods::kRelIndexSegments));
    for (const IndexNode& node : s.model.indices) {
        SCOPED_TRACE(node.name);
        EXPECT_EQ(node.relationName, "");
        EXPECT_EQ(node.foreignKey, "");
    }
}

TEST(IndexReaders, StopRequestEndsTheWalk)
{
    const fixture::FixtureWriter writer = EmployeeCatalogues();
    Scan s;
    ASSERT_TRUE(s.context.OpenSource(writer.Source()));
    const ods::PageListNode& segments = s.Node(ods::kRelIndexSegments);
    s.frame.onSend = [&s](const fixture::RecordingFrame::Sent& sent) {
        if (sent.wParam == job::kProgressStep && s.frame.ProgressCount(job::kProgressStep) == 3)
            s.frame.stopRequested = true;
    };
    ReadIndexSegments(s.scan, segments);
    EXPECT_EQ(s.model.indices.size(), 2u);
    EXPECT_EQ(SegmentsOf(s.model, "NAMEX"), (Names{"LAST_NAME", "FIRST_NAME"}));
    EXPECT_EQ(s.frame.ProgressCount(job::kProgressEnd), 0u);
    ReadRelationConstraints(s.scan, s.Node(ods::kRelRelationConstraints));
    EXPECT_TRUE(s.model.keyConstraints.empty());
}

TEST(DeriveColumnKeys, KeysGoToTheFirstSegmentOfTheirIndex)
{
    SchemaModel model;
    model.AddIndexSegment("RDB$PRIMARY7", "EMP_NO");
    model.AddIndexSegment("UQ_AB", "A");
    model.AddIndexSegment("UQ_AB", "B");
    model.AddIndexSegment("RDB$FOREIGN8", "DEPT_NO");
    model.AddIndexSegment("EMPTIED", "X");
    model.indices.back().segments.clear();
    model.AddIndexSegment("PLAINX", "LAST_NAME");
    model.keyConstraints = {
        {"PRIMARY KEY", "INTEG_27", "EMPLOYEE", "rdb$primary7"},
        {"UNIQUE", "UQ_AB", "EMPLOYEE", "UQ_AB"},
        {"FOREIGN KEY", "integ_28", "EMPLOYEE", "RDB$FOREIGN8"},
        {"UNIQUE", "INTEG_3", "EMPLOYEE", "EMPTIED"},
        {"PRIMARY KEY", "PK_GONE", "EMPLOYEE", "NO_SUCH_INDEX"},
        {"PRIMARY KEY", "PK_OTHER", "OTHER", "RDB$PRIMARY7"},
    };
    model.columnKeys = {{"STALE", "EMPLOYEE", "X", "UNIQUE"}};

    DeriveColumnKeys(model, "");
    using Key = std::tuple<std::string, std::string, std::string, std::string>;
    std::vector<Key> keys;
    for (const COLKEYCONSNAME& k : model.columnKeys)
        keys.emplace_back(k.columnName, k.relationName, k.constraintName, k.constraintType);
    // The first constraint naming an index wins; generated INTEG_ names
    // (any letter case) become a single blank.
    EXPECT_EQ(keys, (std::vector<Key>{{"EMP_NO", "EMPLOYEE", " ", "PRIMARY KEY"},
                                      {"A", "EMPLOYEE", "UQ_AB", "UNIQUE"},
                                      {"DEPT_NO", "EMPLOYEE", " ", "FOREIGN KEY"}}));

    DeriveColumnKeys(model, "other");
    EXPECT_TRUE(model.columnKeys.empty()) << "RDB$PRIMARY7's first constraint belongs to EMPLOYEE";
    DeriveColumnKeys(model, "employee");
    EXPECT_EQ(model.columnKeys.size(), 3u);
}

// ---- The real samples ----------------------------------------------------

std::unique_ptr<Scan> ScanSample(const std::string& file)
{
    const std::filesystem::path path = std::filesystem::path(RAVELIN_SAMPLES_DIR) / file;
    auto s = std::make_unique<Scan>();
    if (!std::filesystem::exists(path) || !s->context.OpenDatabaseFile(path.string()))
        return nullptr;
    ScanDatabase(s->scan);
    return s;
}

// An index as the DDL declares it: relation, columns in order, and the
// relation a foreign key refers to.
using DeclaredIndex = std::tuple<std::string, Names, std::string>;

std::multiset<DeclaredIndex> IndicesOf(const SchemaModel& model)
{
    std::multiset<DeclaredIndex> out;
    for (const IndexNode& node : model.indices) {
        std::string referenced;
        if (!node.foreignKey.empty()) {
            const auto target = std::find_if(model.indices.begin(), model.indices.end(),
                                             [&](const IndexNode& n) { return n.name == node.foreignKey; });
            referenced = target == model.indices.end() ? "<missing " + node.foreignKey + ">" : target->relationName;
        }
        out.emplace(node.relationName, node.segments, referenced);
    }
    return out;
}

TEST(IndicesOfTheSamples, EmployeeIndicesKeysAndReferencesAgreeWithTheDdl)
{
    auto s = ScanSample("ods15/EMPLOYEE.GDB");
    if (!s)
        GTEST_SKIP() << "samples not available";

    // Every PRIMARY KEY, UNIQUE, FOREIGN KEY and CREATE INDEX of employee.sql.
    const std::multiset<DeclaredIndex> declared = {
        {"COUNTRY", {"COUNTRY"}, ""},
        {"JOB", {"JOB_CODE", "JOB_GRADE", "JOB_COUNTRY"}, ""},
        {"JOB", {"JOB_COUNTRY"}, "COUNTRY"},
        {"JOB", {"JOB_COUNTRY", "MIN_SALARY"}, ""},
        {"JOB", {"JOB_COUNTRY", "MAX_SALARY"}, ""},
        {"DEPARTMENT", {"DEPARTMENT"}, ""},
        {"DEPARTMENT", {"DEPT_NO"}, ""},
        {"DEPARTMENT", {"HEAD_DEPT"}, "DEPARTMENT"},
        {"DEPARTMENT", {"BUDGET"}, ""},
        {"DEPARTMENT", {"MNGR_NO"}, "EMPLOYEE"},
        {"EMPLOYEE", {"EMP_NO"}, ""},
        {"EMPLOYEE", {"DEPT_NO"}, "DEPARTMENT"},
        {"EMPLOYEE", {"JOB_CODE", "JOB_GRADE", "JOB_COUNTRY"}, "JOB"},
        {"EMPLOYEE", {"LAST_NAME", "FIRST_NAME"}, ""},
        {"PROJECT", {"PROJ_NAME"}, ""},
        {"PROJECT", {"PROJ_ID"}, ""},
        {"PROJECT", {"TEAM_LEADER"}, "EMPLOYEE"},
        {"PROJECT", {"PRODUCT", "PROJ_NAME"}, ""},
        {"EMPLOYEE_PROJECT", {"EMP_NO", "PROJ_ID"}, ""},
        {"EMPLOYEE_PROJECT", {"EMP_NO"}, "EMPLOYEE"},
        {"EMPLOYEE_PROJECT", {"PROJ_ID"}, "PROJECT"},
        {"PROJ_DEPT_BUDGET", {"FISCAL_YEAR", "PROJ_ID", "DEPT_NO"}, ""},
        {"PROJ_DEPT_BUDGET", {"DEPT_NO"}, "DEPARTMENT"},
        {"PROJ_DEPT_BUDGET", {"PROJ_ID"}, "PROJECT"},
        {"SALARY_HISTORY", {"EMP_NO", "CHANGE_DATE", "UPDATER_ID"}, ""},
        {"SALARY_HISTORY", {"EMP_NO"}, "EMPLOYEE"},
        {"SALARY_HISTORY", {"UPDATER_ID"}, ""},
        {"SALARY_HISTORY", {"CHANGE_DATE"}, ""},
        {"CUSTOMER", {"CUST_NO"}, ""},
        {"CUSTOMER", {"COUNTRY"}, "COUNTRY"},
        {"CUSTOMER", {"CUSTOMER"}, ""},
        {"CUSTOMER", {"COUNTRY", "CITY"}, ""},
        {"SALES", {"PO_NUMBER"}, ""},
        {"SALES", {"CUST_NO"}, "CUSTOMER"},
        {"SALES", {"SALES_REP"}, "EMPLOYEE"},
        {"SALES", {"DATE_NEEDED"}, ""},
        {"SALES", {"ORDER_STATUS", "PAID"}, ""},
        {"SALES", {"ITEM_TYPE", "QTY_ORDERED"}, ""},
    };
    EXPECT_EQ(IndicesOf(s->model), declared);

    // Primary and unique keys land on the first column of their index.
    DeriveColumnKeys(s->model, "");
    std::set<std::tuple<std::string, std::string, std::string>> keys;
    std::size_t foreignKeys = 0;
    for (const COLKEYCONSNAME& key : s->model.columnKeys) {
        EXPECT_EQ(key.constraintName, " ") << "every constraint of the DDL has a generated name";
        if (key.constraintType == "FOREIGN KEY")
            ++foreignKeys;
        else
            keys.emplace(key.relationName, key.columnName, key.constraintType);
    }
    EXPECT_EQ(keys, (std::set<std::tuple<std::string, std::string, std::string>>{
                        {"COUNTRY", "COUNTRY", "PRIMARY KEY"},
                        {"JOB", "JOB_CODE", "PRIMARY KEY"},
                        {"DEPARTMENT", "DEPARTMENT", "UNIQUE"},
                        {"DEPARTMENT", "DEPT_NO", "PRIMARY KEY"},
                        {"EMPLOYEE", "EMP_NO", "PRIMARY KEY"},
                        {"PROJECT", "PROJ_NAME", "UNIQUE"},
                        {"PROJECT", "PROJ_ID", "PRIMARY KEY"},
                        {"EMPLOYEE_PROJECT", "EMP_NO", "PRIMARY KEY"},
                        {"PROJ_DEPT_BUDGET", "FISCAL_YEAR", "PRIMARY KEY"},
                        {"SALARY_HISTORY", "EMP_NO", "PRIMARY KEY"},
                        {"CUSTOMER", "CUST_NO", "PRIMARY KEY"},
                        {"SALES", "PO_NUMBER", "PRIMARY KEY"},
                    }));
    EXPECT_EQ(foreignKeys, 14u);
}

TEST(IndicesOfTheSamples, SameSchemaInTwoGenerationsGivesTheSameIndices)
{
    // MASTSQL.GDB stores two indices' segment records out of their order;
    // EVENTS.GDB, a newer file of the same schema, in order.
    auto older = ScanSample("ods13/MASTSQL.GDB");
    auto newer = ScanSample("ods16/EVENTS.GDB");
    if (!older || !newer)
        GTEST_SKIP() << "samples not available";
    auto named = [](const SchemaModel& model) {
        std::map<std::string, std::pair<std::string, Names>> out;
        for (const IndexNode& node : model.indices)
            out[node.name] = {node.relationName, node.segments};
        return out;
    };
    EXPECT_EQ(named(older->model), named(newer->model));
    EXPECT_EQ(SegmentsOf(older->model, "RDB$PRIMARY3"), (Names{"ORDERNO", "ITEMNO"}));
    EXPECT_EQ(SegmentsOf(older->model, "LASTNAME"), (Names{"LASTNAME", "FIRSTNAME"}));
    EXPECT_EQ(older->model.indices.size(), 12u);
    EXPECT_EQ(older->model.keyConstraints.size(), 8u) << "one primary key per table";
}

TEST(IndicesOfTheSamples, ForeignKeysReferToPrimaryKeys)
{
    for (const char* file : {"ods15/EMPLOYEE.GDB", "ods16/dbdemos.gdb"}) {
        SCOPED_TRACE(file);
        auto s = ScanSample(file);
        if (!s)
            GTEST_SKIP() << "samples not available";
        std::size_t foreignKeys = 0;
        for (const IndexNode& node : s->model.indices) {
            if (node.foreignKey.empty())
                continue;
            ++foreignKeys;
            SCOPED_TRACE(node.name);
            const auto constraint = std::find_if(s->model.keyConstraints.begin(), s->model.keyConstraints.end(),
                                                 [&](const KEYSCONTRAINTS& k) { return k.indexName == node.foreignKey; });
            ASSERT_NE(constraint, s->model.keyConstraints.end());
            EXPECT_TRUE(constraint->constraintType == "PRIMARY KEY" || constraint->constraintType == "UNIQUE");
        }
        EXPECT_GT(foreignKeys, 0u);
    }
}

}  // namespace
}  // namespace ravelin::catalogue
