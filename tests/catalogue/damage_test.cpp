// Scans of damaged files: copies of the real samples with their header page
// zeroed, with 5% of their pages overwritten by random bytes, or cut short,
// and synthetic files built to mislead the walks. Every scan must end (no
// crash, no endless walk) and keep every table whose own catalogue pages
// came through.

#include "catalogue/readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <sys/wait.h>

#include "fixture/fielddefinitionrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/indexrecords.h"
#include "fixture/recordingframe.h"
#include "fixture/relationfieldrecords.h"
#include "fixture/relationrecords.h"
#include "job/testfiles.h"
#include "ods/constants.h"
#include "ods/readingcontext.h"
#include "ods/slotwalk.h"

namespace ravelin::catalogue {
namespace {

namespace fs = std::filesystem;
using fixture::Bytes;
using fixture::FixtureWriter;
using fixture::RecordingFrame;
using ravelin::testing::TempDir;

const fs::path kSamples = RAVELIN_SAMPLES_DIR;

// Everything one scan works on, and what it left.
struct Scan {
    ods::ReadingContext context;
    ods::PageList lists;
    SchemaModel model;
    RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;
    CatalogueContext catalogue{context, lists, model, link, tableCount};
};

// Opens path and runs the scan driver over it. Yields false when the file
// was not opened (no page size detected).
bool ScanFile(Scan& scan, const std::string& path)
{
    if (!scan.context.OpenDatabaseFile(path))
        return false;
    ScanDatabase(scan.catalogue);
    return true;
}

// A scan that ran to its end closes its last progress range.
void ExpectFinished(const Scan& scan)
{
    const std::vector<RecordingFrame::Sent> progress = scan.frame.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().wParam, job::kProgressEnd);
    EXPECT_FALSE(scan.link.Stopped());
}

using ColumnFacts = std::tuple<std::string, std::string, int, int, std::int32_t>;

// What the relation-fields records say of a column: name, field source,
// NOT NULL, default, position.
std::vector<ColumnFacts> FactsOf(const TableNode& table)
{
    std::vector<ColumnFacts> facts;
    for (const COLUMN& c : table.columns)
        facts.emplace_back(c.name, c.fieldSource, c.notNull, c.hasDefault, c.position);
    return facts;
}

std::uint32_t LongAt(std::span<const std::byte> bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
        value |= std::to_integer<std::uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

// Per table of the intact file: the pages that hold its catalogue records.
// A relations page holds the table when the pre-pass finds the table's name
// on that page alone; a relation-fields page when the reader finds one of its
// columns there; a page that continues a fragmented record on such a page
// (followed to its end) holds the table as well.
std::map<std::string, std::set<std::uint64_t>> CataloguePagesOfTables(const std::string& path)
{
    Scan intact;
    EXPECT_TRUE(ScanFile(intact, path));
    const std::uint64_t pageSize = intact.context.pageSize;
    std::map<std::string, std::set<std::uint64_t>> pages;
    for (const ods::PageListNode& node : intact.lists) {
        const bool relations = node.relationId == ods::kRelRelations;
        const bool fields = node.relationId == ods::kRelRelationFields && node.pageType == ods::kDataPage;
        if (!relations && !fields)
            continue;
        for (const std::uint64_t start : node.pagePositions) {
            Scan one;
            EXPECT_TRUE(one.context.OpenDatabaseFile(path));
            const ods::PageListNode single{node.relationId, node.pageType, {start}};
            std::set<std::string> names;
            if (relations) {
                ReadRelations(one.catalogue, single);
                for (const TABLEIDNAME& r : one.model.relations)
                    names.insert(r.name);
            } else {
                ReadRelationFields(one.catalogue, single);
                for (const TableNode& t : one.model.tables)
                    names.insert(t.name);
            }
            // The page and every page its fragmented records continue on.
            std::set<std::uint64_t> held{start / pageSize};
            std::vector<std::uint64_t> toWalk{start};
            while (!toWalk.empty()) {
                const ods::PageListNode walk{node.relationId, node.pageType, {toWalk.back()}};
                toWalk.pop_back();
                ods::ForEachRecordSlot(one.context, walk, one.frame.stopRequested, [&](ods::RecordStream& record) {
                    const auto bytes = record.bytes();
                    if (bytes.size() < ods::kFlaggedRecordDataOffset ||
                        (std::to_integer<unsigned>(bytes[ods::kRecordFlagsOffset]) & ods::kFlagFirstFragment) == 0)
                        return;
                    const std::uint64_t next = LongAt(bytes, ods::kRecordForwardPageOffset);
                    if (next < one.context.PageCount() && held.insert(next).second)
                        toWalk.push_back(next * pageSize);
                });
            }
            for (const std::string& name : names)
                pages[name].insert(held.begin(), held.end());
        }
    }
    return pages;
}

struct Sample {
    const char* file;
    std::uint32_t seed;  // of the random damage
};

const Sample kSampleFiles[] = {
    {"ods13/MASTSQL.GDB", 1301},
    {"ods13/DBUTILSTEST.IB", 1302},
    {"ods15/EMPLOYEE.GDB", 1501},
    {"ods16/EVENTS.GDB", 1601},
    {"ods16/dbdemos.gdb", 1602},
};

struct Damage {
    std::string name;
    Bytes bytes;
    std::set<std::uint64_t> pages;  // pages whose bytes changed or went missing
};

// The three damages of a file of pageSize pages.
std::vector<Damage> DamagesOf(const Bytes& intact, std::uint32_t pageSize, std::uint32_t seed)
{
    const std::uint64_t pageCount = intact.size() / pageSize;
    std::vector<Damage> damages;

    Damage zeroed{"page 0 zeroed", intact, {0}};
    std::fill_n(zeroed.bytes.begin(), pageSize, std::byte{0});
    damages.push_back(std::move(zeroed));

    Damage random{"5% of the pages random", intact, {}};
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::uint64_t> pick(0, pageCount - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::uint64_t count = (pageCount * 5 + 99) / 100;
    while (random.pages.size() < count)
        random.pages.insert(pick(generator));
    for (const std::uint64_t page : random.pages) {
        for (std::uint32_t i = 0; i < pageSize; ++i)
            random.bytes[page * pageSize + i] = static_cast<std::byte>(byte(generator));
    }
    damages.push_back(std::move(random));

    Damage truncated{"truncated at 70%", intact, {}};
    truncated.bytes.resize(intact.size() * 7 / 10);
    for (std::uint64_t page = truncated.bytes.size() / pageSize; page < pageCount; ++page)
        truncated.pages.insert(page);
    damages.push_back(std::move(truncated));
    return damages;
}

std::string Describe(const std::set<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += name + " ";
    return text;
}

// A sample as it is, with the catalogue pages of each of its tables.
struct IntactSample {
    std::string file;
    Bytes bytes;
    std::unique_ptr<Scan> scan = std::make_unique<Scan>();
    std::map<std::string, std::set<std::uint64_t>> cataloguePages;

    explicit IntactSample(const std::string& relative) : file(relative)
    {
        const std::string path = (kSamples / relative).string();
        bytes = fixture::ReadFileBytes(path).value_or(Bytes{});
        EXPECT_TRUE(ScanFile(*scan, path));
        EXPECT_FALSE(scan->model.tables.empty());
        cataloguePages = CataloguePagesOfTables(path);
    }
    std::uint32_t pageSize() const { return scan->context.pageSize; }
};

// Scans a copy with the damage and checks that every table whose catalogue
// pages the damage left alone is found with the same columns.
void ExpectSurvivors(const IntactSample& intact, const Damage& damage, const TempDir& dir)
{
    const std::string copy = dir.File("DAMAGED.GDB");
    ravelin::testing::WriteBytes(copy, std::string(reinterpret_cast<const char*>(damage.bytes.data()), damage.bytes.size()));
    Scan damaged;
    const bool opened = ScanFile(damaged, copy);
    // Only the checksum words of pages 5 to 7 decide whether the file opens.
    const bool probesHit = damage.pages.count(5) || damage.pages.count(6) || damage.pages.count(7);
    if (!opened) {
        EXPECT_TRUE(probesHit) << "the page size was lost although pages 5 to 7 are intact";
        std::cout << "[ damage   ] " << intact.file << ", " << damage.name << ": not opened (page size lost)\n";
        return;
    }
    ExpectFinished(damaged);

    const SchemaModel& before = intact.scan->model;
    std::set<std::string> expected;
    std::set<std::string> found;
    for (const TableNode& table : before.tables) {
        const auto held = intact.cataloguePages.find(table.name);
        ASSERT_NE(held, intact.cataloguePages.end()) << table.name << " has no catalogue page";
        const bool survived = std::none_of(held->second.begin(), held->second.end(),
                                           [&](std::uint64_t page) { return damage.pages.count(page) != 0; });
        const TableNode* after = damaged.model.FindTable(table.name);
        if (after && after->relationId == table.relationId && FactsOf(*after) == FactsOf(table))
            found.insert(table.name);
        if (survived)
            expected.insert(table.name);
    }
    std::set<std::string> missing;
    std::set_difference(expected.begin(), expected.end(), found.begin(), found.end(),
                        std::inserter(missing, missing.begin()));
    EXPECT_TRUE(missing.empty()) << "lost although their catalogue pages are intact: " << Describe(missing);
    if (damage.pages == std::set<std::uint64_t>{0}) {
        // Pages before 80 are never read: nothing may change.
        EXPECT_EQ(damaged.model.relations.size(), before.relations.size());
        EXPECT_EQ(damaged.model.views.size(), before.views.size());
        EXPECT_EQ(damaged.model.indices.size(), before.indices.size());
        EXPECT_EQ(damaged.model.keyConstraints.size(), before.keyConstraints.size());
        EXPECT_EQ(damaged.model.domains.size(), before.domains.size());
        EXPECT_EQ(found.size(), before.tables.size());
    }
    std::cout << "[ damage   ] " << intact.file << ", " << damage.name << ": " << found.size() << " of "
              << before.tables.size() << " tables found unchanged (" << expected.size()
              << " with intact catalogue pages), " << damaged.model.tables.size() << " tables in all\n";
}

#define SKIP_WITHOUT_SAMPLES()       \
    if (!fs::is_directory(kSamples)) \
    GTEST_SKIP() << "no sample databases at " << kSamples.string()

TEST(DamagedSamples, ScansEndAndKeepEveryTableWhoseCataloguePagesSurvive)
{
    SKIP_WITHOUT_SAMPLES();
    TempDir dir;
    for (const Sample& sample : kSampleFiles) {
        SCOPED_TRACE(sample.file);
        const IntactSample intact(sample.file);
        for (const Damage& damage : DamagesOf(intact.bytes, intact.pageSize(), sample.seed)) {
            SCOPED_TRACE(damage.name);
            ExpectSurvivors(intact, damage, dir);
        }
    }
}

// The first page the scan files is a relation-fields page that holds only
// columns of system relations. When it is damaged, the relation-fields
// pages after it must still be filed and read, so no table is lost with it.
TEST(DamagedSamples, FirstRelationFieldsPageDamagedKeepsTheTables)
{
    SKIP_WITHOUT_SAMPLES();
    TempDir dir;
    for (const Sample& sample : kSampleFiles) {
        SCOPED_TRACE(sample.file);
        const IntactSample intact(sample.file);
        const ods::PageListNode& first = intact.scan->lists.front();
        ASSERT_EQ(first.relationId, ods::kRelRelationFields);
        const std::uint64_t page = first.pagePositions.front() / intact.pageSize();
        Damage damage{"first relation-fields page random", intact.bytes, {page}};
        std::mt19937 generator(sample.seed);
        for (std::uint32_t i = 0; i < intact.pageSize(); ++i)
            damage.bytes[page * intact.pageSize() + i] = static_cast<std::byte>(generator());
        ExpectSurvivors(intact, damage, dir);
    }
}

// ---- Synthetic files built to mislead the walks ----

constexpr std::uint16_t kGoodRelation = 128;

// A small intact catalogue: table GOOD with ID INTEGER NOT NULL (primary key)
// and NAME VARCHAR(20). The relation-fields page is the first page filed.
FixtureWriter GoodCatalogue(std::uint32_t pageSize)
{
    FixtureWriter writer(pageSize, 13);
    fixture::RelationFieldOptions id;
    id.notNull = true;
    fixture::AddRelationFieldRecord(writer, "ID", "GOOD", "RDB$1", id);
    fixture::RelationFieldOptions name;
    name.position = 1;
    name.fieldId = 1;
    fixture::AddRelationFieldRecord(writer, "NAME", "GOOD", "RDB$2", name);
    fixture::AddRelationRecord(writer, "GOOD", kGoodRelation, 2);
    fixture::AddFieldDefinition(writer, "RDB$1", fixture::FixedField(8, 4));
    fixture::AddFieldDefinition(writer, "RDB$2", fixture::CharacterField(37, 20));
    const auto header = fixture::CatalogueRecordHeader(13);
    fixture::AddCatalogueRecord(writer, ods::kRelIndexSegments, fixture::IndexSegmentData("RDB$PRIMARY1", "ID", 0), header);
    fixture::AddCatalogueRecord(writer, ods::kRelIndices, fixture::IndexData("RDB$PRIMARY1", "GOOD"), header);
    fixture::AddCatalogueRecord(writer, ods::kRelRelationConstraints,
                                fixture::RelationConstraintData("INTEG_1", "PRIMARY KEY", "GOOD", "RDB$PRIMARY1"), header);
    return writer;
}

// Stored bytes of a record whose data is cut after keep bytes although its
// runs claim more.
Bytes CutRecord(const Bytes& data, std::size_t keep, const fixture::RecordHeaderOptions& header)
{
    Bytes compressed = fixture::Compress(data);
    compressed.resize(std::min(keep, compressed.size()));
    Bytes stored = fixture::BuildStoredRecord(header, {});
    stored.resize(ods::kRecordDataOffset);
    stored.insert(stored.end(), compressed.begin(), compressed.end());
    return stored;
}

// Fills a data page with random bytes, keeping its type and relation id.
void Garble(FixtureWriter& writer, std::uint32_t page, std::mt19937& generator)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::span<std::byte> bytes = writer.Page(page);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0 && i != ods::kDataPageRelationOffset && i != ods::kDataPageRelationOffset + 1)
            bytes[i] = static_cast<std::byte>(byte(generator));
    }
}

struct Hostile {
    const char* name;
    std::function<void(FixtureWriter&)> spoil;
    bool goodKept;  // GOOD keeps both columns, their types and its key
};

const Hostile kHostileFiles[] = {
    {"slot counts and offsets beyond the page",
     [](FixtureWriter& w) {
         for (const std::uint16_t relation : {ods::kRelRelationFields, ods::kRelRelations, ods::kRelFields,
                                              ods::kRelIndexSegments, ods::kRelIndices, ods::kRelRelationConstraints}) {
             const std::uint32_t page = w.AddDataPage(relation);
             w.SetSlotCount(page, 0xFFFF);
             const std::uint16_t size = static_cast<std::uint16_t>(w.pageSize());
             const std::uint16_t slots[][2] = {{0xFFFF, 0xFFFF},         {size, 40},     {static_cast<std::uint16_t>(size - 2), 500},
                                               {static_cast<std::uint16_t>(size - 30), 0xFFFF}, {24, 0xFFFF}, {1, 1}};
             for (std::uint16_t s = 0; s < std::size(slots); ++s)
                 w.SetSlot(page, s, slots[s][0], slots[s][1]);
             const std::uint32_t type12 = w.AddType12Page(ods::kRelRelationFields);
             w.SetSlotCount(type12, 0xFFFF);
             w.SetSlot(type12, 0, static_cast<std::uint16_t>(size - 4), 0xFFFF);
         }
     },
     true},
    {"pointer entries beyond the file",
     [](FixtureWriter& w) {
         const std::uint32_t entries[] = {0xFFFFFFFF, 0x7FFFFFFF, w.pageCount() + 5, 0, 1, 80};
         const std::uint32_t page = w.AddPointerPage(kGoodRelation, entries);
         w.SetPageWord(page, ods::kPointerPageCountOffset, 0xFFFF);
         const std::uint32_t blobIndex = w.AddBlobIndexPage(kGoodRelation);
         w.SetPageWord(blobIndex, ods::kPointerPageCountOffset, 0xFFFF);
         w.SetPageLong(blobIndex, ods::kPointerPageEntriesOffset, 0xFFFFFFFF);
         w.AddPointerPage(12, entries);
     },
     true},
    {"records whose runs claim more than they hold",
     [](FixtureWriter& w) {
         const auto header = fixture::CatalogueRecordHeader(13);
         // They all describe another table, so whatever a reader makes of
         // them never touches GOOD.
         const Bytes column = fixture::RelationFieldRecordData("LOST", "LOSTTABLE", "RDB$9");
         const Bytes relation = fixture::RelationRecordData("LOSTTABLE", 129, 3);
         const Bytes field = fixture::FieldDefinitionData("RDB$9", fixture::FixedField(8, 4));
         for (const std::size_t keep : {1, 2, 5, 40, 80, 150}) {
             w.AddStoredRecord(ods::kRelRelationFields, CutRecord(column, keep, fixture::RelationFieldRecordHeader(13)));
             w.AddStoredRecord(ods::kRelRelations, CutRecord(relation, keep, fixture::RelationRecordHeader(13)));
             w.AddStoredRecord(ods::kRelFields, CutRecord(field, keep, fixture::FieldDefinitionHeader(13)));
             w.AddStoredRecord(ods::kRelIndexSegments, CutRecord(fixture::IndexSegmentData("IX", "LOST", 0), keep, header));
             w.AddStoredRecord(ods::kRelIndices, CutRecord(fixture::IndexData("IX", "LOSTTABLE"), keep, header));
             w.AddStoredRecord(ods::kRelRelationConstraints,
                               CutRecord(fixture::RelationConstraintData("C", "UNIQUE", "LOSTTABLE", "IX"), keep, header));
         }
         // Runs that claim the whole record length: literal 127 and repeat 128 at the end.
         const Bytes claims = fixture::FromHex("7f 01 02 03 80 20 7f");
         for (const std::uint16_t relation : {ods::kRelRelationFields, ods::kRelRelations, ods::kRelFields,
                                              ods::kRelIndexSegments, ods::kRelIndices, ods::kRelRelationConstraints}) {
             Bytes stored = fixture::BuildStoredRecord(header, {});
             stored.resize(ods::kRecordDataOffset);
             stored.insert(stored.end(), claims.begin(), claims.end());
             w.AddStoredRecord(relation, stored);
         }
         // First fragments whose forward pointers lead nowhere, to themselves
         // or to a page of another relation.
         fixture::RecordHeaderOptions first = fixture::RelationFieldRecordHeader(13);
         first.flags = ods::kFlagFirstFragment;
         const Bytes compressed = fixture::Compress(column);
         const Bytes part(compressed.begin(), compressed.begin() + static_cast<std::ptrdiff_t>(compressed.size() / 2));
         const std::uint32_t relationsPage = w.AddDataPage(ods::kRelRelations);
         for (const auto& [page, line] : std::vector<std::pair<std::uint32_t, std::uint16_t>>{
                  {0xFFFFFFFF, 0}, {w.pageCount() + 1, 0}, {80, 0}, {80, 0xFFFF}, {relationsPage, 0}, {0, 0}}) {
             first.forwardPage = page;
             first.forwardLine = line;
             w.AddStoredRecord(ods::kRelRelationFields, fixture::BuildStoredRecord(first, part));
         }
         // A fragment that continues itself.
         const fixture::RecordLocation self = w.AddStoredRecord(ods::kRelRelationFields, fixture::BuildStoredRecord(first, part));
         first.forwardPage = self.page;
         first.forwardLine = self.slot;
         const Bytes looped = fixture::BuildStoredRecord(first, part);
         std::copy(looped.begin(), looped.end(), w.Page(self.page).begin() + self.offset);
     },
     true},
    {"garbage pages after the intact ones of every catalogue relation",
     [](FixtureWriter& w) {
         std::mt19937 generator(2024);
         for (const std::uint16_t relation : {ods::kRelRelationFields, ods::kRelFields, ods::kRelIndexSegments,
                                              ods::kRelIndices, ods::kRelRelationConstraints, ods::kRelRelations}) {
             for (int i = 0; i < 10; ++i)
                 Garble(w, w.AddDataPage(relation), generator);
         }
     },
     true},
    {"a relation-fields list of nothing but garbage pages",
     [](FixtureWriter& w) {
         std::mt19937 generator(2025);
         Garble(w, FixtureWriter::kFirstFreePage, generator);
         for (int i = 0; i < 40; ++i)
             Garble(w, w.AddDataPage(ods::kRelRelationFields), generator);
     },
     false},
};

// GOOD as the intact catalogue gives it.
void ExpectGood(const SchemaModel& model)
{
    const TableNode* good = model.FindTable("GOOD");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->relationId, kGoodRelation);
    ASSERT_EQ(good->columns.size(), 2u);
    EXPECT_EQ(good->columns[0].name, "ID");
    EXPECT_EQ(good->columns[0].typeName, "INTEGER");
    EXPECT_EQ(good->columns[0].notNull, 1);
    EXPECT_EQ(good->columns[1].name, "NAME");
    EXPECT_EQ(good->columns[1].typeName, "VARCHAR");
    EXPECT_EQ(good->columns[1].length, 20);
    SchemaModel keys = model;
    DeriveColumnKeys(keys, "GOOD");
    ASSERT_EQ(keys.columnKeys.size(), 1u);
    EXPECT_EQ(keys.columnKeys[0].columnName, "ID");
    EXPECT_EQ(keys.columnKeys[0].constraintType, "PRIMARY KEY");
}

TEST(HostileFiles, ScansEndAndKeepTheIntactCatalogue)
{
    // The intact catalogue alone, as the reference.
    {
        Scan scan;
        ASSERT_TRUE(scan.context.OpenSource(GoodCatalogue(1024).Source()));
        ScanDatabase(scan.catalogue);
        ExpectGood(scan.model);
    }
    for (const Hostile& hostile : kHostileFiles) {
        for (const std::uint32_t pageSize : {1024u, 4096u}) {
            SCOPED_TRACE(std::string(hostile.name) + ", page size " + std::to_string(pageSize));
            FixtureWriter writer = GoodCatalogue(pageSize);
            hostile.spoil(writer);
            Scan scan;
            ASSERT_TRUE(scan.context.OpenSource(writer.Source()));
            ScanDatabase(scan.catalogue);
            ExpectFinished(scan);
            ASSERT_NE(scan.model.FindRelation("GOOD"), nullptr);
            if (hostile.goodKept)
                ExpectGood(scan.model);
        }
    }
}

// ---- The command line over damaged copies ----

struct CliRun {
    int exitCode = -1;
    std::string out;
};

CliRun RunCliScan(const TempDir& dir, const std::string& file)
{
    // A hang ends in the timeout's kill, reported as exit code 124 or 137.
    const std::string outPath = dir.File("out.txt");
    const std::string command = "timeout -s KILL 300 '" + std::string(RAVELIN_CLI_PATH) + "' scan '" + file + "' >'" +
                                outPath + "' 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ravelin::testing::ReadBytes(outPath);
    return run;
}

TEST(DamagedSamples, CommandLineScanEndsWithTheSummary)
{
    const std::string sample = (kSamples / "ods15/EMPLOYEE.GDB").string();
    if (!fs::exists(sample))
        GTEST_SKIP() << "no sample database " << sample;
    TempDir dir;
    const std::optional<Bytes> intact = fixture::ReadFileBytes(sample);
    ASSERT_TRUE(intact);
    std::vector<Damage> files = DamagesOf(*intact, 1024, 1501);
    for (const Hostile& hostile : kHostileFiles) {
        FixtureWriter writer = GoodCatalogue(1024);
        hostile.spoil(writer);
        files.push_back({hostile.name, writer.image(), {}});
    }
    for (const Damage& file : files) {
        SCOPED_TRACE(file.name);
        const std::string copy = dir.File("DAMAGED.GDB");
        ravelin::testing::WriteBytes(copy, std::string(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
        Scan scan;
        const bool opens = ScanFile(scan, copy);
        const CliRun run = RunCliScan(dir, copy);
        if (!opens) {
            EXPECT_EQ(run.exitCode, 2) << run.out;
            EXPECT_NE(run.out.find("Invalid Database File."), std::string::npos) << run.out;
            continue;
        }
        EXPECT_EQ(run.exitCode, 0) << run.out;
        EXPECT_NE(run.out.find("\nTotal table(s)    : " + std::to_string(scan.tableCount) + "\n"), std::string::npos)
            << run.out;
        EXPECT_TRUE(std::regex_search(run.out, std::regex("\nCounting table\\(s\\) records process has been \\w+\n")))
            << run.out;
    }
}

}  // namespace
}  // namespace ravelin::catalogue
