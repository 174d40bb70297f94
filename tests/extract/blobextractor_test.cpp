#include "extract/blobextractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

#ifdef RAVELIN_HAVE_ZLIB
#include <zlib.h>
#endif

#include "catalogue/readers.h"
#include "ods/recordimage.h"
#include "fixture/blobrecords.h"
#include "fixture/fixturewriter.h"
#include "fixture/recordingframe.h"
#include "fixture/truthpackets.h"
#include "ods/constants.h"
#include "ods/pagescan.h"
#include "ods/scratchdir.h"

namespace ravelin::extract {
namespace {

namespace fs = std::filesystem;
using fixture::BlobLayout;
using fixture::BlobTableWriter;
using fixture::Bytes;
using fixture::DecodeBase64;
using fixture::FixtureWriter;
using fixture::PacketRows;
using fixture::RecordingFrame;
using fixture::StoredBlob;
using ods::testing::ScratchDir;

Bytes FileBytes(const fs::path& path)
{
    return fixture::ReadFileBytes(path).value_or(Bytes{});
}

std::string Text(const Bytes& bytes)
{
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<std::string> FilesBelow(const fs::path& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files.push_back(fs::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// The OK boxes a pass shows.
struct RecordingDialogs final : job::WorkerDialogs {
    std::vector<std::string> shown;
    int ShowMessageDialog(const std::string& text, job::MessageButtons) override
    {
        shown.push_back(text);
        return job::kAnswerOk;
    }
    int ShowMessageOk(const std::string& text) override
    {
        shown.push_back(text);
        return job::kAnswerOk;
    }
    int ShowConnectionDialog(job::ConnectionAnswer&) override { return job::kAnswerNo; }
};

// A database opened as a scan opens it: page lists and the relations.
struct OpenDatabase {
    ods::ReadingContext context;
    ods::PageList lists;
    catalogue::SchemaModel model;
    RecordingFrame frame;
    job::WorkerLink link = frame.Link();
    std::uint16_t tableCount = 0;

    bool Open(std::unique_ptr<ods::PageSource> source) { return context.OpenSource(std::move(source)) && Scan(); }
    bool Open(const fs::path& path) { return context.OpenDatabaseFile(path.string()) && Scan(); }

    bool Scan()
    {
        ods::ScanPages(context, lists, link);
        catalogue::CatalogueContext catalogue{context, lists, model, link, tableCount};
        for (const ods::PageListNode& node : lists) {
            if (node.relationId == ods::kRelRelations)
                catalogue::ReadRelations(catalogue, node);
        }
        return true;
    }

    catalogue::TableNode Table(const std::string& name) const
    {
        catalogue::TableNode table;
        table.name = name;
        if (const catalogue::TABLEIDNAME* relation = model.FindRelation(name))
            table.relationId = relation->relationId;
        return table;
    }

    // The decompressed data of the relation's records, in the order of its
    // pointer pages (user tables) or its filed data pages (system
    // relations); blob header records and back versions are passed over.
    std::vector<Bytes> Records(std::uint32_t relationId)
    {
        std::vector<std::uint32_t> pages;
        Bytes page(context.pageSize);
        for (const ods::PageListNode& node : lists) {
            if (node.relationId != relationId)
                continue;
            for (const std::uint64_t position : node.pagePositions) {
                if (node.pageType == ods::kDataPage) {
                    pages.push_back(static_cast<std::uint32_t>(position / context.pageSize));
                } else if (node.pageType == ods::kPointerPage) {
                    context.ReadAt(position, page);
                    const std::uint32_t count = Word(page, ods::kPointerPageCountOffset);
                    for (std::uint32_t i = 0; i < count; ++i)
                        pages.push_back(Long(page, ods::kPointerPageEntriesOffset + 4 * i));
                }
            }
        }
        // A data page both listed and filed by the scan is read once.
        std::set<std::uint32_t> read;
        std::vector<Bytes> records;
        ods::RecordImage image;
        for (const std::uint32_t number : pages) {
            if (!read.insert(number).second)
                continue;
            context.ReadAt(std::uint64_t{number} * context.pageSize, page);
            if (std::to_integer<int>(page[0]) != ods::kDataPage || Word(page, ods::kDataPageRelationOffset) != relationId)
                continue;
            const std::uint32_t slots = Word(page, ods::kDataPageSlotCountOffset);
            for (std::uint32_t slot = 0; slot < slots; ++slot) {
                const std::uint32_t offset = Word(page, ods::kDataPageSlotArrayOffset + 4 * slot);
                const std::uint32_t length = Word(page, ods::kDataPageSlotArrayOffset + 4 * slot + 2);
                if (offset == 0 || offset + length > page.size() || length < ods::kFlaggedRecordDataOffset)
                    continue;
                const auto record = std::span<const std::byte>(page).subspan(offset, length);
                const auto flags = std::to_integer<std::uint8_t>(record[ods::kRecordFlagsOffset]);
                if (Long(record, 0) == 0 || (flags & ~ods::kFlagFirstFragment) != 0)
                    continue;
                const std::size_t data = flags == 0 ? ods::kRecordDataOffset : ods::kFlaggedRecordDataOffset;
                image.Expand(record.subspan(data), ods::kMaxRecordLength);
                records.emplace_back(image.bytes().begin(), image.bytes().end());
            }
        }
        return records;
    }

    // Files the relation's blob index pages (type 11) in a node of their own.
    void FileBlobIndexPages(std::uint32_t relationId)
    {
        ods::PageListNode node;
        node.relationId = relationId;
        node.pageType = ods::kBlobIndexPage;
        Bytes head(ods::kPointerPageEntriesOffset);
        for (std::uint64_t page = 0; page < context.PageCount(); ++page) {
            context.ReadAt(page * context.pageSize, head);
            if (std::to_integer<int>(head[0]) == ods::kBlobIndexPage &&
                Word(head, ods::kPointerPageRelationOffset) == relationId)
                node.pagePositions.push_back(page * context.pageSize);
        }
        if (!node.pagePositions.empty())
            lists.push_back(std::move(node));
    }

    static std::uint32_t Word(std::span<const std::byte> b, std::size_t at)
    {
        return std::to_integer<std::uint32_t>(b[at]) | (std::to_integer<std::uint32_t>(b[at + 1]) << 8);
    }
    static std::uint32_t Long(std::span<const std::byte> b, std::size_t at) { return Word(b, at) | (Word(b, at + 2) << 16); }
};

BlobId IdAt(const Bytes& record, std::size_t offset)
{
    if (offset + 8 > record.size())
        return {};
    return BlobId{OpenDatabase::Long(record, offset), OpenDatabase::Long(record, offset + 4)};
}

std::string VaryingAt(const Bytes& record, std::size_t offset)
{
    const std::size_t length = OpenDatabase::Word(record, offset);
    return Text(Bytes(record.begin() + static_cast<std::ptrdiff_t>(offset + 2),
                      record.begin() + static_cast<std::ptrdiff_t>(offset + 2 + length)));
}

// ---- Known content ----------------------------------------------------------

// Column names of a data packet, upper case.
std::vector<std::string> PacketColumns(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    const std::string marker = "attrname=\"";
    for (std::size_t at = xml.find(marker); at != std::string::npos; at = xml.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        std::string name = xml.substr(start, xml.find('"', start) - start);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
        names.push_back(name);
    }
    return names;
}

std::optional<std::string> GunzipText(const fs::path& path)
{
#ifdef RAVELIN_HAVE_ZLIB
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::string text;
    char buffer[65536];
    int n = 0;
    while ((n = gzread(file, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    gzclose(file);
    return text;
#else
    (void)path;
    return std::nullopt;
#endif
}

// The value after marker (searched from at): a quoted SQL string ('' stands
// for ') or a bare word; at moves past it. Empty when marker is not found.
std::optional<std::string> ValueAfter(const std::string& text, std::size_t& at, const std::string& marker)
{
    const std::size_t found = text.find(marker, at);
    if (found == std::string::npos)
        return std::nullopt;
    std::size_t p = text.find_first_not_of(" \n", found + marker.size());
    std::string value;
    if (p != std::string::npos && text[p] == '\'') {
        for (++p; p < text.size(); ++p) {
            if (text[p] == '\'') {
                if (p + 1 < text.size() && text[p + 1] == '\'') {
                    value += '\'';
                    ++p;
                    continue;
                }
                ++p;
                break;
            }
            value += text[p];
        }
    } else {
        while (p < text.size() && std::isalnum(static_cast<unsigned char>(text[p])))
            value += text[p++];
    }
    at = p;
    return value;
}

// The UPDATE statements of the script that set column of table: the value
// set, keyed by the WHERE values joined with "/".
std::map<std::string, std::string> ScriptUpdates(const std::string& script, const std::string& table,
                                                 const std::string& column, const std::vector<std::string>& keys)
{
    std::map<std::string, std::string> values;
    const std::string head = "UPDATE " + table + "\nSET " + column + " =";
    for (std::size_t at = script.find(head); at != std::string::npos; at = script.find(head, at)) {
        const auto value = ValueAfter(script, at, head);
        std::string key;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const auto part = ValueAfter(script, at, keys[i] + " =");
            key += (i ? "/" : "") + part.value_or("");
        }
        values[key] = value.value_or("");
    }
    return values;
}

#define REQUIRE_SAMPLE(path)                                   \
    do {                                                       \
        if (!fs::exists(path))                                 \
            GTEST_SKIP() << "sample not available: " << (path); \
    } while (0)

const fs::path kSamples(RAVELIN_SAMPLES_DIR);

// Notes values to the extraction in record order, as the repair's record
// walk does (k counts the values), and runs the pass. Yields, per record,
// the value numbers of its blob columns (0 for a value of no blob), and
// checks that every value names the file its blob was written to.
struct Pass {
    std::vector<std::vector<std::uint32_t>> numbers;
    TableBlobSummary summary;
};

fs::path FileOfValue(const fs::path& folder, const std::string& table, std::uint32_t k);

Pass RunPass(OpenDatabase& db, BlobExtraction& extraction, const catalogue::TableNode& table,
             const std::vector<Bytes>& records, const std::vector<std::size_t>& blobOffsets)
{
    Pass pass;
    std::uint32_t k = 0;
    std::vector<std::pair<std::uint32_t, std::string>> paths;
    for (const Bytes& record : records) {
        std::vector<std::uint32_t> numbers;
        for (const std::size_t offset : blobOffsets) {
            const BlobId id = IdAt(record, offset);
            if (id.relationId != table.relationId) {
                numbers.push_back(0);
                continue;
            }
            ++k;
            const std::string path = extraction.BlobValuePath(db.context, db.lists, table, k, id);
            EXPECT_EQ(path.rfind(BlobValuePath(extraction.folder(), table.name, k).string() + ".", 0), 0u) << path;
            paths.emplace_back(k, path);
            numbers.push_back(k);
        }
        pass.numbers.push_back(numbers);
    }
    pass.summary = extraction.ExtractTableBlobs(db.context, db.lists, table, db.link);
    std::uint32_t opened = 0;
    for (const auto& [number, path] : paths) {
        const fs::path file = FileOfValue(extraction.folder(), table.name, number);
        if (!file.empty()) {
            EXPECT_EQ(file.string(), path) << "the value does not name its blob's file";
            ++opened;
        }
    }
    EXPECT_EQ(opened, pass.summary.written);
    return pass;
}

fs::path FileOfValue(const fs::path& folder, const std::string& table, std::uint32_t k)
{
    const std::string prefix = table + "Blob" + std::to_string(k) + ".";
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.find('.', prefix.size()) == std::string::npos)
            return entry.path();
    }
    return {};
}

// dbdemos.gdb (ODS 16, 4096-byte pages): the fish pictures and notes of
// BIOLIFE and the animal bitmaps of ANIMALS against the data packets. Blob
// ids in the stored records: BIOLIFE's Notes at 120 and Graphic at 128
// (Species No, a double, at 4); ANIMALS' BMP at 44 (NAME, VARCHAR, at 4).
TEST(BlobExtractionSamples, DemoPicturesAndNotesEqualTheirPackets)
{
    const fs::path file = kSamples / "ods16" / "dbdemos.gdb";
    REQUIRE_SAMPLE(file);
    OpenDatabase db;
    ASSERT_TRUE(db.Open(file));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    BlobExtraction extraction(dir.path() / "REPAIRED.GDB");

    // BIOLIFE.
    const catalogue::TableNode biolife = db.Table("BIOLIFE");
    ASSERT_EQ(biolife.relationId, 129u);
    const std::vector<Bytes> fish = db.Records(biolife.relationId);
    ASSERT_EQ(fish.size(), 28u);
    const Pass fishPass = RunPass(db, extraction, biolife, fish, {120, 128});
    EXPECT_EQ(fishPass.summary.written, 56u);
    EXPECT_EQ(fishPass.summary.partial + fishPass.summary.missing + fishPass.summary.failed, 0u);
    std::map<double, std::map<std::string, std::string>> packet;
    for (auto& row : PacketRows(kSamples / "truth" / "biolife.xml"))
        packet[std::stod(row["Species_No"])] = row;
    ASSERT_EQ(packet.size(), 28u);
    for (std::size_t i = 0; i < fish.size(); ++i) {
        const double species = std::bit_cast<double>(std::uint64_t{OpenDatabase::Long(fish[i], 4)} |
                                                     (std::uint64_t{OpenDatabase::Long(fish[i], 8)} << 32));
        SCOPED_TRACE(species);
        ASSERT_EQ(packet.count(species), 1u);
        auto& row = packet[species];
        const fs::path notes = FileOfValue(extraction.folder(), "BIOLIFE", fishPass.numbers[i][0]);
        const fs::path graphic = FileOfValue(extraction.folder(), "BIOLIFE", fishPass.numbers[i][1]);
        // The file ends the notes' lines with LF where the packet has CR LF,
        // and lacks the lines of blanks that end some of the packet's notes.
        std::string expectedNotes = row["Notes"];
        for (std::size_t at = expectedNotes.find("\r\n"); at != std::string::npos; at = expectedNotes.find("\r\n", at))
            expectedNotes.erase(at, 1);
        const std::string stored = Text(FileBytes(notes));
        EXPECT_EQ(stored.substr(0, stored.find_last_not_of(" \n") + 1),
                  expectedNotes.substr(0, expectedNotes.find_last_not_of(" \n") + 1));
        EXPECT_EQ(notes.extension(), ".");
        EXPECT_EQ(FileBytes(graphic), DecodeBase64(row["Graphic"]));
        EXPECT_EQ(graphic.extension(), ".bmp");
    }

    // ANIMALS.
    const catalogue::TableNode animals = db.Table("ANIMALS");
    ASSERT_EQ(animals.relationId, 128u);
    const std::vector<Bytes> beasts = db.Records(animals.relationId);
    ASSERT_EQ(beasts.size(), 7u);
    const Pass animalPass = RunPass(db, extraction, animals, beasts, {44});
    EXPECT_EQ(animalPass.summary.written, 7u);
    std::map<std::string, std::string> bitmaps;
    for (auto& row : PacketRows(kSamples / "truth" / "animals.xml"))
        bitmaps[row["NAME"]] = row["BMP"];
    for (std::size_t i = 0; i < beasts.size(); ++i) {
        const std::string name = VaryingAt(beasts[i], 4);
        SCOPED_TRACE(name);
        ASSERT_EQ(bitmaps.count(name), 1u);
        const fs::path bmp = FileOfValue(extraction.folder(), "ANIMALS", animalPass.numbers[i][0]);
        EXPECT_EQ(FileBytes(bmp), DecodeBase64(bitmaps[name]));
        EXPECT_EQ(bmp.extension(), ".bmp");
    }
    // Nothing but the blob files: no temporary file is left behind.
    EXPECT_EQ(FilesBelow(extraction.folder()).size(), 56u + 7u);
}

// EMPLOYEE.GDB (ODS 15, 1024-byte pages): JOB.JOB_REQUIREMENT and
// PROJECT.PROJ_DESC against the UPDATE statements of the script, which set
// them. The stored texts end every line, the last one included, with a line
// feed. Blob ids: JOB's at 4 (JOB_GRADE at 28, JOB_COUNTRY at 68, JOB_CODE
// at 86); PROJECT's at 4 (PROJ_ID, CHAR(5), at 50).
TEST(BlobExtractionSamples, EmployeeTextBlobsEqualTheScript)
{
    const fs::path file = kSamples / "ods15" / "EMPLOYEE.GDB";
    REQUIRE_SAMPLE(file);
    const auto script = GunzipText(kSamples / "truth" / "employee.sql.gz");
    if (!script)
        GTEST_SKIP() << "the script cannot be read";
    OpenDatabase db;
    ASSERT_TRUE(db.Open(file));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    BlobExtraction extraction(dir.path() / "employee_copy.gdb");

    std::map<std::string, std::string> requirements =
        ScriptUpdates(*script, "job", "job_requirement", {"job_code", "job_grade", "job_country"});
    ASSERT_EQ(requirements.size(), 29u);

    const catalogue::TableNode job = db.Table("JOB");
    const std::vector<Bytes> jobs = db.Records(job.relationId);
    ASSERT_EQ(jobs.size(), 31u);
    const Pass jobPass = RunPass(db, extraction, job, jobs, {4});
    EXPECT_EQ(jobPass.summary.written, 29u);
    std::size_t compared = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::string key = VaryingAt(jobs[i], 86) + "/" + std::to_string(OpenDatabase::Word(jobs[i], 28)) + "/" +
                                VaryingAt(jobs[i], 68);
        SCOPED_TRACE(key);
        if (jobPass.numbers[i][0] == 0) {
            EXPECT_EQ(requirements.count(key), 0u);  // no requirement set
            continue;
        }
        ASSERT_EQ(requirements.count(key), 1u);
        const fs::path text = FileOfValue(extraction.folder(), "JOB", jobPass.numbers[i][0]);
        EXPECT_EQ(Text(FileBytes(text)), requirements[key] + "\n");
        ++compared;
    }
    EXPECT_EQ(compared, 29u);

    std::map<std::string, std::string> descriptions = ScriptUpdates(*script, "project", "proj_desc", {"proj_id"});
    ASSERT_EQ(descriptions.size(), 6u);
    const catalogue::TableNode project = db.Table("PROJECT");
    const std::vector<Bytes> projects = db.Records(project.relationId);
    const Pass projectPass = RunPass(db, extraction, project, projects, {4});
    EXPECT_EQ(projectPass.summary.written, 6u);
    for (std::size_t i = 0; i < projects.size(); ++i) {
        const std::string id = Text(Bytes(projects[i].begin() + 50, projects[i].begin() + 55));
        SCOPED_TRACE(id);
        const fs::path text = FileOfValue(extraction.folder(), "PROJECT", projectPass.numbers[i][0]);
        EXPECT_EQ(Text(FileBytes(text)), descriptions[id] + "\n");
    }
}

// The relations catalogue keeps, per relation, a blob listing its fields
// (id at 428 of the decompressed record, name at 38): on the relation's data
// pages in ODS 13 files, on blob header pages numbered as data pages are in
// ODS 15 files. Every field name appears in it, each after a byte 1.
TEST(BlobExtractionSamples, RelationFieldListsInBothStorageGenerations)
{
    struct Case {
        const char* file;
        std::map<std::string, std::vector<std::string>> fields;  // empty: the data packet's columns
    };
    const Case cases[] = {
        {"ods13/MASTSQL.GDB",
         {{"CUSTOMER", {}}, {"EMPLOYEE", {}}, {"ITEMS", {}}, {"NEXTCUST", {}}, {"NEXTORD", {}}, {"VENDORS", {}},
          {"ORDERS", {}}, {"PARTS", {}}}},
        // From the script's CREATE TABLE statements.
        {"ods15/EMPLOYEE.GDB",
         {{"COUNTRY", {"COUNTRY", "CURRENCY"}},
          {"JOB",
           {"JOB_CODE", "JOB_GRADE", "JOB_COUNTRY", "JOB_TITLE", "MIN_SALARY", "MAX_SALARY", "JOB_REQUIREMENT",
            "LANGUAGE_REQ"}},
          {"PROJECT", {"PROJ_ID", "PROJ_NAME", "PROJ_DESC", "TEAM_LEADER", "PRODUCT"}},
          {"EMPLOYEE_PROJECT", {"EMP_NO", "PROJ_ID"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = kSamples / c.file;
        REQUIRE_SAMPLE(file);
        OpenDatabase db;
        ASSERT_TRUE(db.Open(file));
        // The page scan files the blob index pages of user tables only; file
        // the relations catalogue's own here.
        db.FileBlobIndexPages(ods::kRelRelations);
        ScratchDir dir;
        ASSERT_TRUE(dir.ok());
        BlobExtraction extraction(dir.path() / "target.ib");
        catalogue::TableNode relations;
        relations.name = "RELATIONS";
        relations.relationId = ods::kRelRelations;
        const std::vector<Bytes> records = db.Records(ods::kRelRelations);
        const Pass pass = RunPass(db, extraction, relations, records, {428});
        EXPECT_EQ(pass.summary.missing + pass.summary.partial, 0u);

        std::size_t checked = 0;
        for (std::size_t i = 0; i < records.size(); ++i) {
            std::string name = Text(Bytes(records[i].begin() + 38, records[i].begin() + 38 + 67));
            name.erase(name.find_last_not_of(' ') + 1);
            const auto wanted = c.fields.find(name);
            if (wanted == c.fields.end())
                continue;
            SCOPED_TRACE(name);
            ASSERT_NE(pass.numbers[i][0], 0u);
            std::vector<std::string> fields = wanted->second;
            if (fields.empty()) {
                std::string lower = name;
                std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return std::tolower(ch); });
                fields = PacketColumns(kSamples / "truth" / (lower + ".xml"));
            }
            const std::string blob = Text(FileBytes(FileOfValue(extraction.folder(), "RELATIONS", pass.numbers[i][0])));
            for (const std::string& field : fields)
                EXPECT_NE(blob.find("\x01" + field), std::string::npos) << field;
            ++checked;
        }
        EXPECT_EQ(checked, c.fields.size());
    }
}

// ---- Synthetic databases ------------------------------------------------------

constexpr std::uint16_t kOrders = 140;
constexpr std::uint16_t kParts = 141;

Bytes Png(std::size_t size, std::uint8_t fill)
{
    Bytes bytes = fixture::FromHex("89504e470d0a1a0a0000000d49484452");
    bytes.resize(size, static_cast<std::byte>(fill));
    return bytes;
}

struct TwoTables {
    FixtureWriter writer{1024};
    std::vector<StoredBlob> orders;
    std::vector<Bytes> ordersData;
    std::vector<StoredBlob> parts;
    std::vector<Bytes> partsData;

    TwoTables()
    {
        BlobTableWriter orderBlobs(writer, kOrders, {BlobLayout::Place::HeaderPages, 6, false});
        BlobTableWriter partBlobs(writer, kParts, {BlobLayout::Place::DataPages, 0, false});
        ordersData = {Png(3000, 1), fixture::ToBytes("first order note\n"), fixture::FromHex("255044462d312e340a"),
                      fixture::ToBytes("GIF89a-ish"), Png(40, 2)};
        for (const Bytes& data : ordersData)
            orders.push_back(orderBlobs.AddBlob(data, {.segmentSize = 700}));
        partsData = {fixture::ToBytes("part sheet"), Png(2500, 3)};
        for (const Bytes& data : partsData)
            parts.push_back(partBlobs.AddBlob(data, {.segmentSize = 1000}));
        orderBlobs.Finish();
        partBlobs.Finish();
    }
};

catalogue::TableNode Node(const std::string& name, std::uint32_t relationId)
{
    catalogue::TableNode table;
    table.name = name;
    table.relationId = relationId;
    return table;
}

TEST(BlobExtraction, ValueAndFileNumbersNameTheSameBlob)
{
    TwoTables fx;
    OpenDatabase db;
    ASSERT_TRUE(db.Open(fx.writer.Source()));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    BlobExtraction extraction(dir.path() / "new.ib");
    EXPECT_EQ(extraction.folder(), dir.path() / "BlobData_new.ib");

    // Records met the blobs in another order than they are stored.
    const catalogue::TableNode orders = Node("ORDERS", kOrders);
    // Each value holds the path of the file its blob is written to, the
    // content type's extension included.
    const std::vector<std::size_t> order{3, 0, 4, 1, 2};
    const std::vector<std::string> files{"ORDERSBlob1.gif", "ORDERSBlob2.png", "ORDERSBlob3.png", "ORDERSBlob4.",
                                         "ORDERSBlob5.pdf"};
    for (std::size_t k = 0; k < order.size(); ++k) {
        const StoredBlob& blob = fx.orders[order[k]];
        EXPECT_EQ(extraction.BlobValuePath(db.context, db.lists, orders, static_cast<std::uint32_t>(k + 1),
                                           {blob.relationId, blob.recordNumber}),
                  (extraction.folder() / files[k]).string());
    }
    const TableBlobSummary summary = extraction.ExtractTableBlobs(db.context, db.lists, orders, db.link);
    EXPECT_EQ(summary.written, 5u);
    EXPECT_EQ(FilesBelow(extraction.folder()), files);
    for (std::size_t k = 0; k < order.size(); ++k) {
        SCOPED_TRACE(k + 1);
        EXPECT_EQ(FileBytes(FileOfValue(extraction.folder(), "ORDERS", static_cast<std::uint32_t>(k + 1))),
                  fx.ordersData[order[k]]);
    }

    // The next table writes only its own blobs; an id of another relation
    // is not its blob.
    db.frame.sent.clear();
    const catalogue::TableNode parts = Node("PARTS", kParts);
    EXPECT_EQ(extraction.BlobValuePath(db.context, db.lists, parts, 1, {kParts, fx.parts[1].recordNumber}),
              (extraction.folder() / "PARTSBlob1.png").string());
    EXPECT_EQ(extraction.BlobValuePath(db.context, db.lists, parts, 2, {kParts, fx.parts[0].recordNumber}),
              (extraction.folder() / "PARTSBlob2.").string());
    // Not this table's blob: no type, and no file.
    EXPECT_EQ(extraction.BlobValuePath(db.context, db.lists, parts, 3, {kOrders, fx.orders[0].recordNumber}),
              (extraction.folder() / "PARTSBlob3.").string());
    const TableBlobSummary second = extraction.ExtractTableBlobs(db.context, db.lists, parts, db.link);
    EXPECT_EQ(second.written, 2u);
    EXPECT_EQ(second.missing, 1u);
    EXPECT_EQ(FileBytes(extraction.folder() / "PARTSBlob1.png"), fx.partsData[1]);
    EXPECT_EQ(FileBytes(extraction.folder() / "PARTSBlob2."), fx.partsData[0]);
    EXPECT_FALSE(fs::exists(extraction.folder() / "PARTSBlob3."));
    EXPECT_EQ(db.frame.Progress(),
              (std::vector<RecordingFrame::Sent>{{job::UM_PROGRESS, job::kProgressStart, 3},
                                                 {job::UM_PROGRESS, job::kProgressStep, 0},
                                                 {job::UM_PROGRESS, job::kProgressStep, 0},
                                                 {job::UM_PROGRESS, job::kProgressStep, 0},
                                                 {job::UM_PROGRESS, job::kProgressEnd, 0}}));
}

TEST(BlobExtraction, WithoutNotedValuesEveryIndexedBlobInIndexOrder)
{
    TwoTables fx;
    OpenDatabase db;
    ASSERT_TRUE(db.Open(fx.writer.Source()));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    BlobExtraction extraction(dir.path() / "new.ib");
    // Values noted for another table are dropped, not written for this one.
    extraction.BlobValuePath(db.context, db.lists, Node("PARTS", kParts), 1, {kParts, fx.parts[0].recordNumber});
    const TableBlobSummary summary = extraction.ExtractTableBlobs(db.context, db.lists, Node("ORDERS", kOrders), db.link);
    EXPECT_EQ(summary.written, 5u);
    for (std::size_t n = 0; n < fx.ordersData.size(); ++n) {
        SCOPED_TRACE(n + 1);
        EXPECT_EQ(FileBytes(FileOfValue(extraction.folder(), "ORDERS", static_cast<std::uint32_t>(n + 1))),
                  fx.ordersData[n]);
    }
    EXPECT_EQ(FilesBelow(extraction.folder()).size(), 5u);
}

TEST(BlobExtraction, DamagedBlobsAreWrittenAsFarAsTheyRead)
{
    TwoTables fx;
    // The second blob page of the first ORDERS picture belongs to no blob.
    ASSERT_GE(fx.orders[0].pages.size(), 2u);
    fx.writer.SetPageByte(fx.orders[0].pages[1], 0, 0);
    OpenDatabase db;
    ASSERT_TRUE(db.Open(fx.writer.Source()));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    BlobExtraction extraction(dir.path() / "new.ib");
    const catalogue::TableNode orders = Node("ORDERS", kOrders);
    extraction.BlobValuePath(db.context, db.lists, orders, 1, {kOrders, fx.orders[0].recordNumber});
    extraction.BlobValuePath(db.context, db.lists, orders, 2, {kOrders, fx.orders[1].recordNumber});
    const TableBlobSummary summary = extraction.ExtractTableBlobs(db.context, db.lists, orders, db.link);
    EXPECT_EQ(summary.written, 2u);
    EXPECT_EQ(summary.partial, 1u);
    const Bytes partial = FileBytes(extraction.folder() / "ORDERSBlob1.png");
    ASSERT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), fx.ordersData[0].size());
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), fx.ordersData[0].begin()));
    EXPECT_EQ(FileBytes(extraction.folder() / "ORDERSBlob2."), fx.ordersData[1]);
}

TEST(BlobExtraction, StopEndsThePassBeforeTheNextBlob)
{
    TwoTables fx;
    OpenDatabase db;
    ASSERT_TRUE(db.Open(fx.writer.Source()));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    BlobExtraction extraction(dir.path() / "new.ib");
    const catalogue::TableNode orders = Node("ORDERS", kOrders);
    for (std::uint32_t k = 1; k <= 5; ++k)
        extraction.BlobValuePath(db.context, db.lists, orders, k, {kOrders, fx.orders[k - 1].recordNumber});
    db.frame.sent.clear();
    db.frame.onSend = [&db](const RecordingFrame::Sent& sent) {
        if (sent.message == job::UM_PROGRESS && sent.wParam == job::kProgressStep)
            db.frame.stopRequested = true;
    };
    const TableBlobSummary summary = extraction.ExtractTableBlobs(db.context, db.lists, orders, db.link);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.written, 1u);
    EXPECT_EQ(FilesBelow(extraction.folder()), std::vector<std::string>{"ORDERSBlob1.png"});
    EXPECT_EQ(db.frame.ProgressCount(job::kProgressEnd), 1u);
}

TEST(BlobExtraction, AFolderThatCannotBeMadeIsReportedOnce)
{
    TwoTables fx;
    OpenDatabase db;
    ASSERT_TRUE(db.Open(fx.writer.Source()));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    std::ofstream(dir.path() / "BlobData_new.ib") << "a file where the folder belongs";
    BlobExtraction extraction(dir.path() / "new.ib");
    const catalogue::TableNode orders = Node("ORDERS", kOrders);
    for (std::uint32_t k = 1; k <= 3; ++k)
        extraction.BlobValuePath(db.context, db.lists, orders, k, {kOrders, fx.orders[k - 1].recordNumber});
    RecordingDialogs dialogs;
    const TableBlobSummary summary = extraction.ExtractTableBlobs(db.context, db.lists, orders, db.link, &dialogs);
    EXPECT_EQ(summary.written, 0u);
    EXPECT_EQ(summary.failed, 3u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].find("BlobData_new.ib"), std::string::npos);
}

TEST(BlobExtraction, HostileTableNamesWriteInsideTheBlobFolderOnly)
{
    const char* names[] = {"../../escape", "..", "/etc/cron.d/x", ".profile", "a\\..\\b", "\n"};
    for (const char* hostile : names) {
        SCOPED_TRACE(hostile);
        TwoTables fx;
        OpenDatabase db;
        ASSERT_TRUE(db.Open(fx.writer.Source()));
        ScratchDir dir;
        ASSERT_TRUE(dir.ok());
        const fs::path target = dir.path() / "inner" / "new.ib";
        fs::create_directories(target.parent_path());
        BlobExtraction extraction(target);
        const catalogue::TableNode table = Node(hostile, kOrders);
        const std::string value = extraction.BlobValuePath(db.context, db.lists, table, 1, {kOrders, fx.orders[1].recordNumber});
        EXPECT_EQ(fs::path(value).parent_path(), extraction.folder());
        const TableBlobSummary summary = extraction.ExtractTableBlobs(db.context, db.lists, table, db.link);
        EXPECT_EQ(summary.written, 1u);
        const std::vector<std::string> files = FilesBelow(dir.path());
        ASSERT_EQ(files.size(), 3u);  // inner, the blob folder, its one file
        EXPECT_EQ(fs::path(files[2]).parent_path(), fs::path("inner") / "BlobData_new.ib");
        EXPECT_EQ(Text(FileBytes(dir.path() / files[2])), Text(fx.ordersData[1]));
    }
}

TEST(ExtractBlob, OneBlobByItsId)
{
    TwoTables fx;
    OpenDatabase db;
    ASSERT_TRUE(db.Open(fx.writer.Source()));
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    const fs::path folder = BlobFolderPath(dir.path() / "new.ib");
    const BlobFileResult result =
        ExtractBlob(db.context, db.lists, kParts, {kParts, fx.parts[1].recordNumber}, folder, "PARTS", 7);
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.read, ods::BlobReadStatus::Complete);
    EXPECT_EQ(result.file, folder / "PARTSBlob7.png");
    EXPECT_EQ(FileBytes(result.file), fx.partsData[1]);

    const BlobFileResult missing = ExtractBlob(db.context, db.lists, kParts, {kParts, 99999}, folder, "PARTS", 8);
    EXPECT_FALSE(missing.written);
    EXPECT_EQ(missing.read, ods::BlobReadStatus::Missing);
    EXPECT_EQ(FilesBelow(folder), std::vector<std::string>{"PARTSBlob7.png"});
}

}  // namespace
}  // namespace ravelin::extract
