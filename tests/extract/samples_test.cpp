// The real sample databases previewed through the whole reader: the scan
// rebuilds the schema, every table is previewed page after page, and every
// cell is compared with the known content of the samples' truth files.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
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

// The table's rows, page after page; damaged, when given, receives per row
// whether it is marked damaged.
std::vector<Row> PreviewEveryPage(Harness& h, const tc::TableNode& table, std::vector<bool>* damaged = nullptr)
{
    h.StartPreview(table.name);
    TransferTableData(h.job);
    std::vector<Row> rows = h.grid.Rows();
    if (damaged)
        *damaged = h.grid.damaged();
    while (h.grid.nextEnabled()) {
        ++h.engine.previewPage;
        ++h.state.forwardSteps;
        h.state.pageRequested = true;
        const auto start = h.engine.previewPositions.at(h.engine.previewPage);
        WalkTableRecords(h.job, start.first, start.second, table);
        const std::vector<Row> more = h.grid.Rows();
        rows.insert(rows.end(), more.begin(), more.end());
        if (damaged)
            damaged->insert(damaged->end(), h.grid.damaged().begin(), h.grid.damaged().end());
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

// Every record of every intact sample is sound: no previewed row is marked
// damaged, and a repair walk inserts every record and sets none aside.
TEST(SampleTables, EveryRecordOfAnIntactSampleIsSound)
{
    if (!fs::is_directory(kSamples))
        GTEST_SKIP() << "no sample databases in " << kSamples;
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    class CountingSink final : public StatementSink, public DamagedRecordSink {
    public:
        std::size_t inserts = 0;
        std::size_t setAside = 0;
        bool ExecuteInsert(const std::string&) override { return ++inserts, true; }
        bool SetAside(const tc::TableNode&, std::uint32_t, std::uint16_t, const std::vector<std::string>&) override
        {
            return ++setAside, true;
        }
        const std::string& Location() const override { return location_; }

    private:
        std::string location_ = "set-aside file";
    };
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(kSamples)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() && (extension == ".gdb" || extension == ".ib"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::size_t tables = 0;
    std::size_t records = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        Harness h;
        if (!ScanSample(h, file))
            GTEST_SKIP() << "the catalogue gave no columns";
        for (const tc::TableNode& table : h.engine.model.tables) {
            SCOPED_TRACE(table.name);
            std::vector<bool> damaged;
            const std::vector<Row> rows = PreviewEveryPage(h, table, &damaged);
            ASSERT_EQ(damaged.size(), rows.size());
            EXPECT_EQ(std::count(damaged.begin(), damaged.end(), true), 0);

            CountingSink sink;
            TransferHooks hooks;
            hooks.statements = &sink;
            hooks.damaged = &sink;
            h.state.repairing = true;
            h.state.repairedTableName = table.name;
            TransferTableData(h.job, hooks);
            h.state.repairing = false;
            EXPECT_EQ(sink.setAside, 0u);
            EXPECT_EQ(sink.inserts, rows.size());
            ++tables;
            records += rows.size();
        }
    }
    std::cout << "[ figure   ] " << records << " records of " << tables << " tables in " << files.size()
              << " intact samples, none damaged\n";
    EXPECT_GE(files.size(), 7u);
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

// The EMPLOYEE sample against its data script. The script's rows are what
// a server makes of it (its UPDATE statements and its salary-history trigger
// included), so the platform's own engine runs it into a scratch database
// (isql-fb, embedded, no server needed) and gives every column of every
// table as text; those texts are turned into the preview's forms here.

std::string ReadCommand(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), got);
    pclose(pipe);
    return out;
}

// A scratch folder, removed with its content.
struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        std::string name = (fs::temp_directory_path() / "ravelin-employee-XXXXXX").string();
        path = mkdtemp(name.data()) ? fs::path(name) : fs::path();
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
};

constexpr char kCellSeparator = '\t';

// The select that gives one line per row of the table: "ROW", the table
// name, then every column's text, NULL for absent values, blobs and arrays
// only as present or absent, and "END".
std::string RowTextSelect(const tc::TableNode& table)
{
    std::string select = "SELECT 'ROW' || ASCII_CHAR(9) || '" + table.name + "'";
    for (const tc::COLUMN& column : table.columns) {
        std::string text;
        if (column.typeCode == tc::kTypeBlob || column.dimensions != 0)
            text = "TRIM(CASE WHEN " + column.name + " IS NULL THEN 'NULL' ELSE '" +
                   (column.dimensions != 0 ? "Array" : "Blob") + "' END)";
        else
            text = "COALESCE(CAST(" + column.name + " AS VARCHAR(300)), 'NULL')";
        select += " || ASCII_CHAR(9) || " + text;
    }
    return select + " || ASCII_CHAR(9) || 'END' FROM " + table.name + ";\n";
}

struct ScriptContent {
    std::map<std::string, std::vector<Row>> rows;  // per table, cells in the model's column order
    std::set<std::string> computedColumns;         // TABLE.COLUMN
};

// Runs the script into a scratch database and reads back the tables of the
// model; nullopt (with the reason) when the engine cannot be run here.
std::optional<ScriptContent> RunDataScript(const fs::path& script, const tc::SchemaModel& model, std::string& reason)
{
    if (std::system("command -v isql-fb >/dev/null 2>&1 && command -v gzip >/dev/null 2>&1") != 0) {
        reason = "isql-fb or gzip is not installed";
        return std::nullopt;
    }
    ScratchFolder scratch;
    const fs::path database = scratch.path / "employee.fdb";
    std::string text = ReadCommand("gzip -dc '" + script.string() + "'");
    const std::string createLine = "create database 'employee.fdb'";
    const std::size_t at = text.find(createLine);
    if (scratch.path.empty() || at == std::string::npos) {
        reason = "no scratch folder, or the script creates no database";
        return std::nullopt;
    }
    text.replace(at, createLine.size(), "create database '" + database.string() + "'");
    std::ofstream(scratch.path / "create.sql") << text;
    const std::string created =
        ReadCommand("isql-fb -q -i '" + (scratch.path / "create.sql").string() + "' 2>&1");
    if (!fs::exists(database)) {
        reason = "the engine did not run the script: " + created.substr(0, 400);
        return std::nullopt;
    }
    EXPECT_EQ(created.find("Statement failed"), std::string::npos) << created;

    std::ofstream query(scratch.path / "select.sql");
    query << "CONNECT '" << database.string() << "';\nSET HEADING OFF;\n";
    for (const tc::TableNode& table : model.tables)
        query << RowTextSelect(table);
    query << "SELECT 'COMPUTED' || ASCII_CHAR(9) || TRIM(rf.RDB$RELATION_NAME) || '.' || TRIM(rf.RDB$FIELD_NAME) "
             "FROM RDB$RELATION_FIELDS rf JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
             "WHERE f.RDB$COMPUTED_BLR IS NOT NULL AND rf.RDB$SYSTEM_FLAG = 0;\n";
    query.close();
    const std::string output = ReadCommand("isql-fb -q -i '" + (scratch.path / "select.sql").string() + "' 2>&1");

    ScriptContent content;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (std::size_t tab = line.find(kCellSeparator); tab != std::string::npos; tab = line.find(kCellSeparator, start)) {
            cells.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        cells.push_back(line.substr(start));
        if (cells.size() == 2 && cells[0].find("COMPUTED") != std::string::npos) {
            content.computedColumns.insert(cells[1].substr(0, cells[1].find_last_not_of(' ') + 1));
        } else if (cells.size() >= 3 && cells[0].find("ROW") != std::string::npos && cells.back().rfind("END", 0) == 0) {
            content.rows[cells[1]].emplace_back(cells.begin() + 2, cells.end() - 1);
        }
    }
    return content;
}

// The preview form of a value the engine gave as text, for the column's
// type; dates move by dayShift days.
std::string PreviewForm(const tc::COLUMN& column, std::string text, int dayShift)
{
    if (text == "NULL")
        return text;
    switch (column.typeCode) {
    case tc::kTypeNumeric:
    case tc::kTypeDecimal:
        // A zero is stored as zero bytes, which the preview shows as "0".
        if (text.find_first_not_of("-0.") == std::string::npos)
            return "0";
        // The preview leaves out an integer part of 0: .05, -.05.
        if (text.rfind("0.", 0) == 0)
            text.erase(0, 1);
        else if (text.rfind("-0.", 0) == 0)
            text.erase(1, 1);
        return text;
    case tc::kTypeTimestamp: {
        // "1988-12-28 00:00:00.0000": MM/DD/YYYY, a blank, and the time of
        // day in the 12-hour form unless it is midnight.
        const std::chrono::year_month_day script{std::chrono::year(std::stoi(text.substr(0, 4))),
                                                 std::chrono::month(static_cast<unsigned>(std::stoi(text.substr(5, 2)))),
                                                 std::chrono::day(static_cast<unsigned>(std::stoi(text.substr(8, 2))))};
        const std::chrono::year_month_day date{std::chrono::sys_days(script) + std::chrono::days(dayShift)};
        const auto two = [](unsigned n) { return (n < 10 ? "0" : "") + std::to_string(n); };
        std::string preview = two(static_cast<unsigned>(date.month())) + "/" + two(static_cast<unsigned>(date.day())) +
                              "/" + std::to_string(static_cast<int>(date.year())) + " ";
        const std::string clock = text.substr(11, 8);
        if (clock != "00:00:00") {
            const int hour = std::stoi(clock.substr(0, 2));
            preview += std::to_string(hour % 12 == 0 ? 12 : hour % 12) + clock.substr(2) + (hour < 12 ? " AM" : " PM");
        }
        return preview;
    }
    case tc::kTypeChar:
        text.erase(text.find_last_not_of(' ') + 1);
        return text.empty() ? " " : text;
    case tc::kTypeVarchar:
        return text.empty() ? " " : text;
    default:
        return text;
    }
}

bool PreviewCellMatches(const tc::COLUMN& column, const std::string& cell, const std::string& expected)
{
    if (expected != "NULL" && column.dimensions == 0 &&
        (column.typeCode == tc::kTypeDouble || column.typeCode == tc::kTypeFloat)) {
        // Compared by value: the engine writes all 16 or 7 digits.
        double decoded = 0;
        const auto parsed = std::from_chars(cell.data(), cell.data() + cell.size(), decoded);
        const double value = std::stod(expected);
        const double tolerance = column.typeCode == tc::kTypeFloat ? 1e-6 : 1e-12;
        return parsed.ec == std::errc() && std::fabs(decoded - value) <= tolerance * std::max(1.0, std::fabs(value));
    }
    return cell == expected;
}

TEST(SampleTables, EmployeeCellsMatchItsDataScript)
{
    const fs::path script = kSamples / "truth" / "employee.sql.gz";
    if (!fs::exists(script) || !fs::exists(kSamples / "ods15" / "EMPLOYEE.GDB"))
        GTEST_SKIP() << "no EMPLOYEE sample in " << kSamples;
    ASSERT_TRUE(ods::SetCodePage("WIN1252"));
    Harness h;
    if (!ScanSample(h, kSamples / "ods15" / "EMPLOYEE.GDB"))
        GTEST_SKIP() << "the catalogue gave no columns";
    std::string reason;
    const std::optional<ScriptContent> truth = RunDataScript(script, h.engine.model, reason);
    if (!truth)
        GTEST_SKIP() << reason;
    ASSERT_EQ(truth->computedColumns,
              (std::set<std::string>{"EMPLOYEE.FULL_NAME", "SALARY_HISTORY.NEW_SALARY", "SALES.AGED"}));

    // The file was distributed with every date moved 6940 days (19 years and
    // a day) on from the script's: 12/28/1988 is stored as 12/29/2007.
    constexpr int kDayShift = 6940;
    // Cells the file holds other values in than the script gives, per table
    // and column, with their number:
    // - the jobs' language arrays and the projects' head-count arrays are
    //   filled in the file, never by the script ("Array" against NULL);
    // - the salaries of the sales representatives in Italy and France: the
    //   file's jobs range from 17352.00 to 86764.00 and from 18019.00 to
    //   90097.00, the script's both from 20000.00 to 100000.00; the file's
    //   Roberto Ferrari (121) earns 51129.10 and Jacques Glon (134) 59530.90,
    //   the script's 33000.00 and 38500.00, and their salary-history rows
    //   start from 46481.00 and 54119.00 instead of 30000.00 and 35000.00.
    const std::map<std::string, std::map<std::string, std::size_t>> otherValues = {
        {"JOB", {{"LANGUAGE_REQ", 10}, {"MIN_SALARY", 2}, {"MAX_SALARY", 2}}},
        {"PROJ_DEPT_BUDGET", {{"QUART_HEAD_CNT", 24}}},
        {"EMPLOYEE", {{"SALARY", 2}}},
        {"SALARY_HISTORY", {{"OLD_SALARY", 2}}},
    };
    // The file has no rows for the countries the script added later.
    const std::map<std::string, std::size_t> scriptRowsNotStored = {{"COUNTRY", 2}};

    std::size_t rowsCompared = 0;
    for (const tc::TableNode& table : h.engine.model.tables) {
        SCOPED_TRACE(table.name);
        std::vector<Row> expectedRows;
        if (const auto found = truth->rows.find(table.name); found != truth->rows.end())
            expectedRows = found->second;
        // A computed column has no bytes in the record: its cell is NULL.
        for (Row& expected : expectedRows) {
            ASSERT_EQ(expected.size(), table.columns.size());
            for (std::size_t i = 0; i < expected.size(); ++i)
                expected[i] = truth->computedColumns.count(table.name + "." + table.columns[i].name)
                                  ? "NULL"
                                  : PreviewForm(table.columns[i], expected[i], kDayShift);
        }
        const auto known = otherValues.find(table.name);
        const auto mayDiffer = [&](std::size_t i) { return known != otherValues.end() && known->second.count(table.columns[i].name); };
        std::map<std::string, std::size_t> differing;
        const std::vector<Row> rows = PreviewEveryPage(h, table);
        for (const Row& row : rows) {
            ASSERT_EQ(row.size(), table.columns.size()) << Describe(row);
            const auto match = std::find_if(expectedRows.begin(), expectedRows.end(), [&](const Row& expected) {
                for (std::size_t i = 0; i < row.size(); ++i)
                    if (!mayDiffer(i) && !PreviewCellMatches(table.columns[i], row[i], expected[i]))
                        return false;
                return true;
            });
            if (match == expectedRows.end()) {
                ADD_FAILURE() << "no row of the script for: " << Describe(row);
                continue;
            }
            for (std::size_t i = 0; i < row.size(); ++i)
                if (!PreviewCellMatches(table.columns[i], row[i], (*match)[i]))
                    ++differing[table.columns[i].name];
            expectedRows.erase(match);
            ++rowsCompared;
        }
        using Counts = std::map<std::string, std::size_t>;
        EXPECT_EQ(differing, known == otherValues.end() ? Counts{} : known->second);
        const auto notStored = scriptRowsNotStored.find(table.name);
        EXPECT_EQ(expectedRows.size(), notStored == scriptRowsNotStored.end() ? 0u : notStored->second)
            << "rows of the script that were not previewed, the first: "
            << (expectedRows.empty() ? std::string() : Describe(expectedRows.front()));
    }
    EXPECT_EQ(rowsCompared, 14u + 31 + 21 + 42 + 6 + 28 + 24 + 49 + 15 + 33);
}

}  // namespace
}  // namespace ravelin::extract
