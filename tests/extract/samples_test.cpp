// The real sample databases previewed through the whole reader: the scan
// rebuilds the schema, every table is previewed page after page, and every
// cell is compared with the known content of the samples' truth files.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/readers.h"
#include "extract/tabletransfer.h"
#include "extractharness.h"
#include "ods/textcodec.h"

namespace ravelin::extract {
namespace {

namespace fs = std::filesystem;
namespace tc = catalogue;
using testing::Harness;
using Row = std::vector<std::string>;

const fs::path kSamples = RAVELIN_SAMPLES_DIR;

// Scans the sample into the harness; false when the catalogue gave no typed
// columns (its field-definition reader is not linked in).
bool ScanSample(Harness& h, const fs::path& file)
{
    if (!h.engine.context.OpenDatabaseFile(file.string()))
        return false;
    tc::CatalogueContext scan{h.engine.context, h.engine.pageLists, h.engine.model, h.link, h.engine.tableCount};
    tc::ScanDatabase(scan);
    return std::any_of(h.engine.model.tables.begin(), h.engine.model.tables.end(),
                       [](const tc::TableNode& table) {
                           return std::any_of(table.columns.begin(), table.columns.end(),
                                              [](const tc::COLUMN& column) { return column.typeCode != 0; });
                       });
}

std::vector<Row> PreviewEveryPage(Harness& h, const tc::TableNode& table)
{
    h.StartPreview(table.name);
    TransferTableData(h.job);
    std::vector<Row> rows = h.grid.Rows();
    while (h.grid.nextEnabled()) {
        ++h.engine.previewPage;
        ++h.state.forwardSteps;
        h.state.pageRequested = true;
        const auto start = h.engine.previewPositions.at(h.engine.previewPage);
        WalkTableRecords(h.job, start.first, start.second, table);
        const std::vector<Row> more = h.grid.Rows();
        rows.insert(rows.end(), more.begin(), more.end());
    }
    return rows;
}

std::string DecodeXmlEntities(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        if (entity == "apos")
            out += '\'';
        else if (entity == "amp")
            out += '&';
        else if (entity == "quot")
            out += '"';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (!entity.empty() && entity[0] == '#') {
            // A character reference: its UTF-8 form.
            const unsigned code = static_cast<unsigned>(std::stoul(std::string(entity.substr(1))));
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
        }
        i = end;
    }
    return out;
}

// A truth file's rows: column name as the database stores it -> value; an
// absent attribute is NULL.
std::vector<std::map<std::string, std::string>> ReadTruthRows(const fs::path& path)
{
    std::ifstream in(path);
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Attribute names differ from the column names in letter case and where
    // a character the column names do not allow was replaced by "_".
    const auto columnName = [](std::string name) {
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : '_';
        return name == "SIZE" ? std::string("SIZ_") : name;
    };
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t at = xml.find("<ROW "); at != std::string::npos; at = xml.find("<ROW ", at + 1)) {
        const std::size_t end = xml.find("/>", at);
        std::map<std::string, std::string> row;
        std::size_t pos = at + 5;
        while (true) {
            const std::size_t eq = xml.find("=\"", pos);
            if (eq == std::string::npos || eq > end)
                break;
            const std::size_t nameStart = xml.rfind(' ', eq) + 1;
            const std::size_t valueEnd = xml.find('"', eq + 2);
            row[columnName(xml.substr(nameStart, eq - nameStart))] = DecodeXmlEntities(xml.substr(eq + 2, valueEnd - eq - 2));
            pos = valueEnd + 1;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// The preview text of a truth value of the column's type; doubles are
// compared by value (the truth files round them to 15 or 16 digits).
bool CellMatches(const tc::COLUMN& column, const std::string& cell, const std::string* truth)
{
    if (!truth)
        return cell == "NULL";
    switch (column.typeCode) {
    case tc::kTypeDouble: {
        double decoded = 0;
        const auto parsed = std::from_chars(cell.data(), cell.data() + cell.size(), decoded);
        const double expected = std::stod(*truth);
        return parsed.ec == std::errc() && std::fabs(decoded - expected) <= 1e-9 * std::max(1.0, std::fabs(expected));
    }
    case tc::kTypeTimestamp: {
        // "19880503T12:00:00000" or "19880503": MM/DD/YYYY, a blank, and the
        // time of day in the 12-hour form unless it is midnight.
        std::string expected = truth->substr(4, 2) + "/" + truth->substr(6, 2) + "/" + truth->substr(0, 4) + " ";
        if (truth->size() > 8 && truth->substr(9, 8) != "00:00:00") {
            const int hour = std::stoi(truth->substr(9, 2));
            expected += std::to_string(hour % 12 == 0 ? 12 : hour % 12) + truth->substr(11, 6) + (hour < 12 ? " AM" : " PM");
        }
        return cell == expected;
    }
    case tc::kTypeBlob:
        return cell == "Blob";
    case tc::kTypeVarchar:
        // A boolean of the truth file is stored as one letter, T or F.
        if (column.length == 1 && (*truth == "TRUE" || *truth == "FALSE"))
            return cell == truth->substr(0, 1);
        return cell == (truth->empty() ? " " : *truth);
    default:
        return cell == *truth;
    }
}

std::string Describe(const Row& row)
{
    std::string text;
    for (const std::string& cell : row)
        text += (text.empty() ? "" : " | ") + cell;
    return text;
}

struct SampleDatabase {
    const char* file;
    // Per table, the columns whose stored values differ from the truth file
    // in some rows (the files hold the demo tables with differences of their
    // own), and truth rows the file does not hold.
    std::map<std::string, std::set<std::string>> otherValues;
    std::map<std::string, std::size_t> truthRowsNotStored;
    std::set<std::string> tablesOfTheirOwn;  // not compared with the truth file
};

const std::map<std::string, std::set<std::string>> kVariantDifferences = {
    {"CUSTOMER", {"COUNTRY", "LASTINVOICEDATE"}},
    {"EMPLOYEE", {"HIREDATE"}},
    {"PARTS", {"DESCRIPTION", "ONORDER", "VENDORNO"}},
};
const std::set<std::string> kVariantOwnTables = {"ITEMS", "ORDERS", "NEXTCUST", "NEXTORD"};

TEST(SampleTables, EveryCellMatchesTheKnownContent)
{
    if (!fs::is_directory(kSamples / "truth"))
        GTEST_SKIP() << "no sample databases in " << kSamples;
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    const SampleDatabase databases[] = {
        // One fish is "Triggerfishy" in the truth file, "Triggerfish" in the database.
        {"ods16/dbdemos.gdb", {{"BIOLIFE", {"CATEGORY"}}}, {}, {}},
        // These two hold the demo tables with content of their own: the
        // columns below differ from the truth file in some rows, and ITEMS,
        // ORDERS, NEXTCUST and NEXTORD hold rows the file does not have.
        // The two files hold the same content, which the next test checks.
        {"ods13/MASTSQL.GDB", kVariantDifferences, {}, kVariantOwnTables},
        {"ods16/EVENTS.GDB", kVariantDifferences, {}, kVariantOwnTables},
    };
    for (const SampleDatabase& database : databases) {
        SCOPED_TRACE(database.file);
        Harness h;
        if (!ScanSample(h, kSamples / database.file))
            GTEST_SKIP() << "the catalogue gave no columns";
        std::size_t tablesChecked = 0;
        for (const tc::TableNode& table : h.engine.model.tables) {
            std::string truthName = table.name;
            std::transform(truthName.begin(), truthName.end(), truthName.begin(), [](unsigned char c) { return std::tolower(c); });
            const fs::path truthFile = kSamples / "truth" / (truthName + ".xml");
            if (!fs::exists(truthFile) || database.tablesOfTheirOwn.count(table.name))
                continue;
            SCOPED_TRACE(table.name);
            ++tablesChecked;
            auto truthRows = ReadTruthRows(truthFile);
            const std::vector<Row> rows = PreviewEveryPage(h, table);
            // Each previewed row takes a truth row equal to it in every cell
            // but those of the columns this file is known to hold other
            // values in; a row no truth row matches fails.
            const auto known = database.otherValues.find(table.name);
            const auto checked = [&](std::size_t i) {
                return known == database.otherValues.end() || !known->second.count(table.columns[i].name);
            };
            std::set<std::string> differing;
            std::size_t rowsNotInTruth = 0;
            for (const Row& row : rows) {
                ASSERT_EQ(row.size(), table.columns.size());
                const auto match = std::find_if(truthRows.begin(), truthRows.end(), [&](const auto& truth) {
                    for (std::size_t i = 0; i < row.size(); ++i) {
                        const auto value = truth.find(table.columns[i].name);
                        if (checked(i) && !CellMatches(table.columns[i], row[i], value == truth.end() ? nullptr : &value->second))
                            return false;
                    }
                    return true;
                });
                if (match == truthRows.end()) {
                    ++rowsNotInTruth;
                    ADD_FAILURE() << "no truth row for: " << Describe(row);
                    continue;
                }
                for (std::size_t i = 0; i < row.size(); ++i) {
                    const auto value = match->find(table.columns[i].name);
                    if (!CellMatches(table.columns[i], row[i], value == match->end() ? nullptr : &value->second))
                        differing.insert(table.columns[i].name);
                }
                truthRows.erase(match);
            }
            // The known differences are real: each column listed differs somewhere.
            EXPECT_EQ(differing, known == database.otherValues.end() ? std::set<std::string>{} : known->second);
            std::size_t extra = 0;
            if (const auto rowsMore = database.truthRowsNotStored.find(table.name); rowsMore != database.truthRowsNotStored.end())
                extra = rowsMore->second;
            EXPECT_EQ(truthRows.size(), extra) << "truth rows that were not previewed";
        }
        EXPECT_GE(tablesChecked, 4u);
    }
}

// The same demo tables written by servers of two on-disk generations (a
// 4-byte-aligned ODS 13 file and an ODS 16 file) preview identically.
TEST(SampleTables, TwoGenerationsOfTheSameTablesPreviewAlike)
{
    if (!fs::is_directory(kSamples))
        GTEST_SKIP() << "no sample databases in " << kSamples;
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    Harness older;
    Harness newer;
    if (!ScanSample(older, kSamples / "ods13" / "MASTSQL.GDB") || !ScanSample(newer, kSamples / "ods16" / "EVENTS.GDB"))
        GTEST_SKIP() << "the catalogue gave no columns";
    ASSERT_EQ(older.engine.model.tables.size(), newer.engine.model.tables.size());
    std::size_t rowsCompared = 0;
    for (const tc::TableNode& table : older.engine.model.tables) {
        SCOPED_TRACE(table.name);
        const tc::TableNode* other = newer.FindTable(table.name);
        ASSERT_NE(other, nullptr);
        std::vector<Row> a = PreviewEveryPage(older, table);
        std::vector<Row> b = PreviewEveryPage(newer, *other);
        EXPECT_EQ(Harness::ColumnNames(table), Harness::ColumnNames(*other));
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b);
        rowsCompared += a.size();
    }
    EXPECT_EQ(rowsCompared, 55u + 42 + 947 + 1 + 1 + 205 + 59 + 23);
}

}  // namespace
}  // namespace ravelin::extract
