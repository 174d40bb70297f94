#include "cli/schemacommand.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli/scancommand.h"
#include "job/messagedialog.h"
#include "job/testfiles.h"

namespace ravelin::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using ravelin::testing::DatabaseImage;
using ravelin::testing::TempDir;
using ravelin::testing::WriteBytes;

const fs::path kSamples = RAVELIN_SAMPLES_DIR;

struct Output {
    int code = -1;
    std::string out;
    std::string err;
};

Output RunSchema(const std::string& file, bool json)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunSchemaCommand({file, json}, out, err, false);
    return {code, out.str(), err.str()};
}

Output RunArgs(std::vector<std::string> args)
{
    args.insert(args.begin(), "ravelin-cli");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return {code, out.str(), err.str()};
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The JSON schema of a sample, or nullopt (with a failure) when the command
// did not complete or printed no JSON.
std::optional<Json> SampleSchema(const std::string& relative)
{
    const Output run = RunSchema((kSamples / relative).string(), true);
    EXPECT_EQ(run.code, kExitCompleted) << run.err;
    EXPECT_EQ(run.err, "");
    Json json = Json::parse(run.out, nullptr, false);
    EXPECT_FALSE(json.is_discarded()) << run.out;
    if (run.code != kExitCompleted || json.is_discarded())
        return std::nullopt;
    return json;
}

const Json* FindNamed(const Json& list, const std::string& name)
{
    for (const Json& item : list) {
        if (item.at("name") == name)
            return &item;
    }
    return nullptr;
}

#define SKIP_WITHOUT_SAMPLES()                                        \
    if (!fs::is_directory(kSamples))                                  \
    GTEST_SKIP() << "no sample databases at " << kSamples.string()

// Every object of the output carries exactly the keys of the contract, with
// values of the stated JSON types.
void ExpectContractShape(const Json& root)
{
    const auto keysOf = [](const Json& object) {
        std::vector<std::string> keys;
        for (auto it = object.begin(); it != object.end(); ++it)
            keys.push_back(it.key());
        return keys;
    };
    const auto textOrNull = [](const Json& value) { return value.is_string() || value.is_null(); };
    using Keys = std::vector<std::string>;
    ASSERT_TRUE(root.is_object());
    EXPECT_EQ(keysOf(root), (Keys{"page_size", "tables", "views", "indices", "constraints", "domains", "generators",
                                  "triggers", "procedures", "exceptions"}));
    EXPECT_TRUE(root["page_size"].is_number_unsigned());
    for (const Json& table : root.at("tables")) {
        EXPECT_EQ(keysOf(table), (Keys{"name", "relation_id", "columns", "keys"}));
        EXPECT_TRUE(table["name"].is_string());
        EXPECT_TRUE(table["relation_id"].is_number_unsigned());
        std::set<std::string> columnNames;
        for (const Json& column : table.at("columns")) {
            EXPECT_EQ(keysOf(column), (Keys{"name", "field_source", "type", "type_code", "length", "character_length",
                                            "character_set", "field_id", "precision", "scale", "not_null",
                                            "domain_not_null", "computed", "computed_source", "has_default", "default",
                                            "position", "blob_sub_type", "segment"}));
            EXPECT_TRUE(column["domain_not_null"].is_boolean() && column["computed"].is_boolean());
            EXPECT_TRUE(textOrNull(column["computed_source"]));
            EXPECT_TRUE(column["name"].is_string() && column["field_source"].is_string() && column["type"].is_string());
            EXPECT_TRUE(column["type_code"].is_number_unsigned() && column["length"].is_number_unsigned() &&
                        column["precision"].is_number_unsigned() && column["scale"].is_number_unsigned() &&
                        column["segment"].is_number_unsigned());
            EXPECT_TRUE(column["not_null"].is_boolean() && column["has_default"].is_boolean());
            EXPECT_TRUE(column["position"].is_number_integer());
            EXPECT_TRUE(textOrNull(column["default"]) && textOrNull(column["blob_sub_type"]));
            // A default text is only ever shown for a column that has one.
            if (column["default"].is_string()) {
                EXPECT_TRUE(column["has_default"].get<bool>()) << column;
            }
            columnNames.insert(column["name"].get<std::string>());
        }
        for (const Json& key : table.at("keys")) {
            EXPECT_EQ(keysOf(key), (Keys{"column", "type", "constraint"}));
            EXPECT_TRUE(key["type"].is_string() && key["constraint"].is_string());
            // Keys belong to the table they are listed under.
            EXPECT_TRUE(columnNames.count(key["column"].get<std::string>())) << table["name"] << " " << key;
        }
    }
    for (const Json& view : root.at("views")) {
        EXPECT_EQ(keysOf(view), (Keys{"name", "columns", "source"}));
        EXPECT_TRUE(textOrNull(view["source"]));
        for (const Json& column : view.at("columns"))
            EXPECT_EQ(keysOf(column), (Keys{"name", "field_source"}));
    }
    for (const Json& index : root.at("indices")) {
        EXPECT_EQ(keysOf(index),
                  (Keys{"name", "relation", "segments", "foreign_key", "unique", "descending", "inactive"}));
        // Every index record of the samples is read whole.
        for (const char* attribute : {"unique", "descending", "inactive"})
            EXPECT_TRUE(index[attribute].is_boolean()) << index;
        EXPECT_TRUE(index["segments"].is_array());
        for (const Json& segment : index["segments"])
            EXPECT_TRUE(segment.is_string());
        EXPECT_TRUE(textOrNull(index["foreign_key"]));
    }
    for (const Json& constraint : root.at("constraints"))
        EXPECT_EQ(keysOf(constraint), (Keys{"type", "name", "relation", "index"}));
    for (const Json& domain : root.at("domains")) {
        EXPECT_EQ(keysOf(domain), (Keys{"name", "type", "length"}));
        EXPECT_TRUE(domain["length"].is_number_unsigned());
    }
}

TEST(SchemaCommand, JsonListsExactlyTheUserTablesOfEachSample)
{
    SKIP_WITHOUT_SAMPLES();
    struct Case {
        const char* file;
        unsigned pageSize;
        std::vector<std::string> tables;  // relation ids 128 upwards
        std::vector<std::string> views;
    };
    const std::vector<std::string> mastsql = {"CUSTOMER", "EMPLOYEE", "ITEMS",  "NEXTCUST",
                                              "NEXTORD",  "ORDERS",   "PARTS",  "VENDORS"};
    const Case cases[] = {
        {"ods13/MASTSQL.GDB", 4096, mastsql, {}},
        {"ods13/DBUTILSTEST.IB", 8192, {"TEST_TABLE"}, {}},
        {"ods15/EMPLOYEE.GDB", 1024,
         {"COUNTRY", "JOB", "DEPARTMENT", "EMPLOYEE", "PROJECT", "EMPLOYEE_PROJECT", "PROJ_DEPT_BUDGET",
          "SALARY_HISTORY", "CUSTOMER", "SALES"},
         {"PHONE_LIST"}},
        {"ods16/EVENTS.GDB", 4096,
         {"CUSTOMER", "EMPLOYEE", "ITEMS", "NEXTCUST", "NEXTORD", "VENDORS", "ORDERS", "PARTS"}, {}},
        {"ods16/dbdemos.gdb", 4096,
         {"ANIMALS", "BIOLIFE", "COUNTRY", "CUSTOLY", "CUSTOMER", "EMPLOYEE", "INDUSTRY", "ITEMS", "MASTER",
          "NEXTCUST", "NEXTITEM", "NEXTORD", "ORDERS", "PARTS", "VENDORS", "VENUES"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::optional<Json> schema = SampleSchema(c.file);
        if (!schema)
            continue;
        ExpectContractShape(*schema);
        EXPECT_EQ((*schema)["page_size"], c.pageSize);

        std::vector<std::pair<unsigned, std::string>> tables;
        for (const Json& table : (*schema)["tables"]) {
            tables.emplace_back(table["relation_id"].get<unsigned>(), table["name"].get<std::string>());
            EXPECT_FALSE(table["columns"].empty()) << table["name"];
        }
        std::sort(tables.begin(), tables.end());
        std::vector<std::pair<unsigned, std::string>> expected;
        for (std::size_t i = 0; i < c.tables.size(); ++i)
            expected.emplace_back(static_cast<unsigned>(128 + i), c.tables[i]);
        EXPECT_EQ(tables, expected);

        std::vector<std::string> views;
        for (const Json& view : (*schema)["views"])
            views.push_back(view["name"]);
        EXPECT_EQ(views, c.views);
    }
}

// ---- The DBDEMOS tables against their XML data packets ----

struct XmlField {
    std::string name;       // as the table stores it: upper case, SIZE as SIZ_
    std::string fieldType;  // string, i2, i4, r8, dateTime, bin.hex, boolean
    unsigned width = 0;
    std::string subType;
    bool required = false;
};

std::vector<XmlField> XmlFields(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t end = text.find("</FIELDS>");
    std::vector<XmlField> fields;
    const std::regex fieldPattern("<FIELD ([^>]*)/>");
    const std::regex attributePattern("(\\w+)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), fieldPattern);
         it != std::sregex_iterator(); ++it) {
        XmlField field;
        const std::string attributes = (*it)[1];
        for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attributePattern);
             a != std::sregex_iterator(); ++a) {
            const std::string key = (*a)[1];
            const std::string value = (*a)[2];
            if (key == "attrname")
                field.name = Upper(value) == "SIZE" ? "SIZ_" : Upper(value);
            else if (key == "fieldtype")
                field.fieldType = value;
            else if (key == "WIDTH")
                field.width = static_cast<unsigned>(std::stoul(value));
            else if (key == "SUBTYPE")
                field.subType = value;
            else if (key == "required")
                field.required = value == "true";
        }
        fields.push_back(field);
    }
    return fields;
}

// The table's columns in declared order (by position).
std::vector<Json> ColumnsByPosition(const Json& table)
{
    std::vector<Json> columns(table["columns"].begin(), table["columns"].end());
    std::stable_sort(columns.begin(), columns.end(),
                     [](const Json& a, const Json& b) { return a["position"].get<int>() < b["position"].get<int>(); });
    return columns;
}

TEST(SchemaCommand, DbdemosColumnsAgreeWithTheirXmlPackets)
{
    SKIP_WITHOUT_SAMPLES();
    const std::optional<Json> schema = SampleSchema("ods16/dbdemos.gdb");
    ASSERT_TRUE(schema);
    // The types the packets' field types stand for in the database.
    const std::map<std::string, std::set<std::string>> typeWords = {
        {"string", {"VARCHAR", "CHAR"}}, {"i2", {"SMALLINT"}},         {"i4", {"INTEGER"}},
        {"r8", {"DOUBLE PRECISION"}},    {"dateTime", {"TIMESTAMP"}},  {"bin.hex", {"BLOB"}},
        {"boolean", {"VARCHAR", "CHAR", "BOOLEAN"}},
    };
    int packets = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kSamples / "truth")) {
        if (entry.path().extension() != ".xml")
            continue;
        ++packets;
        const std::string tableName = Upper(entry.path().stem().string());
        SCOPED_TRACE(tableName);
        const Json* table = FindNamed((*schema)["tables"], tableName);
        ASSERT_NE(table, nullptr);
        const std::vector<XmlField> fields = XmlFields(entry.path());
        const std::vector<Json> columns = ColumnsByPosition(*table);
        ASSERT_EQ(columns.size(), fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const XmlField& field = fields[i];
            const Json& column = columns[i];
            SCOPED_TRACE(field.name);
            EXPECT_EQ(column["name"], field.name);
            EXPECT_EQ(column["position"], static_cast<int>(i + 1));
            ASSERT_TRUE(typeWords.count(field.fieldType)) << field.fieldType;
            EXPECT_TRUE(typeWords.at(field.fieldType).count(column["type"].get<std::string>())) << column;
            if (field.fieldType == "string") {
                EXPECT_EQ(column["length"], field.width);
            }
            if (field.fieldType == "boolean" && column["type"] != "BOOLEAN") {
                EXPECT_EQ(column["length"], 1u);
            }
            if (field.fieldType == "bin.hex") {
                EXPECT_EQ(column["blob_sub_type"] == "TEXT", field.subType == "Text") << column;
            }
            if (field.required) {
                EXPECT_TRUE(column["not_null"].get<bool>());
            }
        }
    }
    EXPECT_EQ(packets, 16);
}

// ---- EMPLOYEE.GDB against the script that made it ----

struct SqlType {
    std::string word;  // "" for a computed column
    unsigned length = 0;
    unsigned precision = 0;
    unsigned scale = 0;
    bool textBlob = false;
    std::string domain;  // the domain the column is declared with, if any
};

struct SqlColumn {
    std::string name;
    SqlType type;
    bool notNull = false;
    std::optional<std::string> defaultText;
};

struct SqlTable {
    std::string name;
    std::vector<SqlColumn> columns;
    std::multiset<std::pair<std::string, std::string>> keys;  // (first column, constraint type)
};

struct SqlScript {
    std::vector<SqlTable> tables;
    std::map<std::string, SqlType> domains;
    std::map<std::string, std::pair<std::string, std::vector<std::string>>> indices;  // name -> table, columns
    std::map<std::string, std::pair<bool, bool>> indexKinds;                          // name -> unique, descending
    std::map<std::string, std::vector<std::string>> views;
};

std::string Collapse(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
        if (space && (out.empty() || out.back() == ' '))
            continue;
        out += space ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::vector<std::string> SplitTopLevel(const std::string& text)
{
    std::vector<std::string> parts;
    std::string part;
    int depth = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '\'')
            quoted = !quoted;
        if (!quoted && c == '(')
            ++depth;
        if (!quoted && c == ')')
            --depth;
        if (!quoted && depth == 0 && c == ',') {
            parts.push_back(Collapse(part));
            part.clear();
            continue;
        }
        part += c;
    }
    parts.push_back(Collapse(part));
    return parts;
}

std::vector<std::string> NameList(const std::string& text)
{
    std::vector<std::string> names;
    for (const std::string& part : SplitTopLevel(text))
        names.push_back(Upper(part));
    return names;
}

// The type at the start of a definition; a leading name that is no type
// word is the domain.
SqlType ParseType(const std::string& definition, const std::map<std::string, SqlType>& domains)
{
    const std::string upper = Upper(definition);
    std::smatch m;
    SqlType type;
    if (std::regex_search(upper, m, std::regex("^(VARCHAR|CHAR|NUMERIC|DECIMAL)\\b\\s*(?:\\((\\d+)(?:\\s*,\\s*(\\d+))?\\))?"))) {
        type.word = m[1];
        const unsigned first = m[2].matched ? static_cast<unsigned>(std::stoul(m[2])) : 1;
        const unsigned second = m[3].matched ? static_cast<unsigned>(std::stoul(m[3])) : 0;
        if (type.word == "VARCHAR" || type.word == "CHAR") {
            type.length = first;
        } else {
            type.precision = first;
            type.scale = second;
        }
    } else if (std::regex_search(upper, m, std::regex("^BLOB\\b\\s*(?:\\((\\d+)\\s*,\\s*(\\d+)\\))?"))) {
        type.word = "BLOB";
        type.length = 8;
        type.textBlob = m[2].matched && m[2] == "1";
    } else if (std::regex_search(upper, m, std::regex("^(DOUBLE PRECISION|INTEGER|SMALLINT|TIMESTAMP|DATE|FLOAT)\\b"))) {
        const std::map<std::string, unsigned> sizes = {{"DOUBLE PRECISION", 8}, {"INTEGER", 4}, {"SMALLINT", 2},
                                                       {"TIMESTAMP", 8},        {"DATE", 4},    {"FLOAT", 4}};
        type.word = m[1];
        type.length = sizes.at(type.word);
    } else if (std::regex_search(upper, m, std::regex("^COMPUTED\\b"))) {
        // Its type is whatever the server derived; nothing to compare.
    } else if (std::regex_search(upper, m, std::regex("^(\\w+)"))) {
        const auto found = domains.find(m[1]);
        if (found != domains.end())
            type = found->second;
        type.domain = m[1];
    }
    return type;
}

std::string ReadScript(const fs::path& gz)
{
    std::string text;
    if (FILE* pipe = ::popen(("zcat '" + gz.string() + "'").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    // Comments out.
    return std::regex_replace(text, std::regex("/\\*[^*]*\\*+(?:[^/*][^*]*\\*+)*/"), " ");
}

SqlScript ParseScript(const std::string& text)
{
    SqlScript script;
    const auto each = [&text](const char* pattern, const std::function<void(const std::smatch&)>& visit) {
        const std::regex re(pattern, std::regex::icase);
        for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
            visit(*it);
    };
    each("CREATE DOMAIN (\\w+)\\s+AS\\s+([^;]*);",
         [&](const std::smatch& m) { script.domains[Upper(m[1])] = ParseType(Collapse(m[2]), {}); });

    each("CREATE TABLE (\\w+)\\s*\\(", [&](const std::smatch& m) {
        SqlTable table;
        table.name = Upper(m[1]);
        // The body runs to the parenthesis that closes the one just matched.
        const std::size_t open = static_cast<std::size_t>(m.position(0) + m.length(0));
        std::size_t close = open;
        for (int depth = 1; close < text.size() && depth > 0; ++close)
            depth += text[close] == '(' ? 1 : text[close] == ')' ? -1 : 0;
        for (const std::string& item : SplitTopLevel(text.substr(open, close - 1 - open))) {
            const std::string upper = Upper(item);
            std::smatch k;
            if (std::regex_search(upper, k, std::regex("^(PRIMARY KEY|FOREIGN KEY|UNIQUE) \\(([^)]*)\\)"))) {
                table.keys.insert({NameList(k[2]).front(), k[1]});
                continue;
            }
            if (upper.rfind("CHECK", 0) == 0 || upper.empty())
                continue;
            SqlColumn column;
            const std::size_t space = item.find(' ');
            column.name = Upper(item.substr(0, space));
            const std::string definition = item.substr(space + 1);
            column.type = ParseType(definition, script.domains);
            // Constraints of the column itself, before any CHECK.
            const std::string head = Upper(definition.substr(0, Upper(definition).find("CHECK")));
            column.notNull = std::regex_search(head, std::regex("\\bNOT NULL\\b"));
            std::smatch d;
            const std::string headAsWritten = definition.substr(0, head.size());
            if (std::regex_search(headAsWritten, d, std::regex("DEFAULT\\s+('(?:[^']|'')*'|[^ ]+)", std::regex::icase)))
                column.defaultText = d[1];
            if (std::regex_search(head, std::regex("\\bPRIMARY KEY\\b")))
                table.keys.insert({column.name, "PRIMARY KEY"});
            if (std::regex_search(head, std::regex("\\bUNIQUE\\b")))
                table.keys.insert({column.name, "UNIQUE"});
            table.columns.push_back(column);
        }
        script.tables.push_back(table);
    });
    each("ALTER TABLE (\\w+) ADD (PRIMARY KEY|FOREIGN KEY|UNIQUE) \\(([^)]*)\\)", [&](const std::smatch& m) {
        for (SqlTable& table : script.tables) {
            if (table.name == Upper(m[1]))
                table.keys.insert({NameList(m[3]).front(), Upper(m[2])});
        }
    });
    each("CREATE (UNIQUE )?(ASC\\w* |DESC\\w* )?INDEX (\\w+) ON (\\w+) \\(([^)]*)\\)", [&](const std::smatch& m) {
        script.indices[Upper(m[3])] = {Upper(m[4]), NameList(m[5])};
        script.indexKinds[Upper(m[3])] = {m[1].matched, m[2].matched && Upper(m[2]).rfind("DESC", 0) == 0};
    });
    each("CREATE VIEW (\\w+) AS SELECT ([^;]*?) FROM", [&](const std::smatch& m) {
        script.views[Upper(m[1])] = NameList(Collapse(m[2]));
    });
    return script;
}

// The default as stored: the script's 'NOW' was written as CURRENT_TIMESTAMP
// in the database the sample holds.
bool SameDefault(const std::string& stored, const std::string& scripted)
{
    return stored == scripted || (Upper(scripted) == "'NOW'" && stored == "CURRENT_TIMESTAMP");
}

class EmployeeSample : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_SAMPLES();
        script_ = ParseScript(ReadScript(kSamples / "truth" / "employee.sql.gz"));
        ASSERT_EQ(script_.tables.size(), 10u);
        schema_ = SampleSchema("ods15/EMPLOYEE.GDB");
        ASSERT_TRUE(schema_);
    }
    SqlScript script_;
    std::optional<Json> schema_;
};

TEST_F(EmployeeSample, ColumnsAgreeWithTheScript)
{
    for (const SqlTable& expected : script_.tables) {
        SCOPED_TRACE(expected.name);
        const Json* table = FindNamed((*schema_)["tables"], expected.name);
        ASSERT_NE(table, nullptr);
        const std::vector<Json> columns = ColumnsByPosition(*table);
        ASSERT_EQ(columns.size(), expected.columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const SqlColumn& want = expected.columns[i];
            const Json& column = columns[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(column["name"], want.name);
            EXPECT_EQ(column["position"], static_cast<int>(i + 1));
            EXPECT_EQ(column["not_null"], want.notNull);
            EXPECT_EQ(column["has_default"], want.defaultText.has_value());
            if (want.defaultText) {
                ASSERT_TRUE(column["default"].is_string()) << column;
                EXPECT_TRUE(SameDefault(column["default"], *want.defaultText)) << column["default"];
            } else {
                EXPECT_TRUE(column["default"].is_null());
            }
            if (!want.type.domain.empty()) {
                EXPECT_EQ(column["field_source"], want.type.domain);
            }
            else
                EXPECT_EQ(column["field_source"].get<std::string>().rfind("RDB$", 0), 0u) << column;
            if (want.type.word.empty())
                continue;  // computed
            EXPECT_EQ(column["type"], want.type.word);
            if (want.type.word == "NUMERIC" || want.type.word == "DECIMAL") {
                EXPECT_EQ(column["precision"], want.type.precision);
                EXPECT_EQ(column["scale"], want.type.scale);
            } else {
                EXPECT_EQ(column["length"], want.type.length);
            }
            if (want.type.word == "BLOB") {
                EXPECT_EQ(column["blob_sub_type"] == "TEXT", want.type.textBlob) << column;
            }
        }
    }
}

TEST_F(EmployeeSample, KeysIndicesViewsAndDomainsAgreeWithTheScript)
{
    for (const SqlTable& expected : script_.tables) {
        SCOPED_TRACE(expected.name);
        const Json* table = FindNamed((*schema_)["tables"], expected.name);
        ASSERT_NE(table, nullptr);
        std::multiset<std::pair<std::string, std::string>> keys;
        for (const Json& key : (*table)["keys"])
            keys.insert({key["column"].get<std::string>(), key["type"].get<std::string>()});
        EXPECT_EQ(keys, expected.keys);
    }

    // The indices the script creates by name, with their table and columns.
    for (const auto& [name, where] : script_.indices) {
        SCOPED_TRACE(name);
        const Json* index = FindNamed((*schema_)["indices"], name);
        ASSERT_NE(index, nullptr);
        EXPECT_EQ((*index)["relation"], where.first);
        EXPECT_EQ((*index)["segments"].get<std::vector<std::string>>(), where.second);
        EXPECT_TRUE((*index)["foreign_key"].is_null());
        // UNIQUE and DESCENDING as the script created them.
        EXPECT_EQ((*index)["unique"], script_.indexKinds.at(name).first);
        EXPECT_EQ((*index)["descending"], script_.indexKinds.at(name).second);
        EXPECT_EQ((*index)["inactive"], false);
    }
    // Every foreign-key constraint's index refers to the index of a primary key.
    for (const Json& constraint : (*schema_)["constraints"]) {
        if (constraint["type"] != "FOREIGN KEY")
            continue;
        const Json* index = FindNamed((*schema_)["indices"], constraint["index"]);
        ASSERT_NE(index, nullptr) << constraint;
        ASSERT_TRUE((*index)["foreign_key"].is_string()) << *index;
        EXPECT_EQ((*index)["foreign_key"].get<std::string>().rfind("RDB$PRIMARY", 0), 0u) << *index;
    }

    for (const auto& [name, columns] : script_.views) {
        SCOPED_TRACE(name);
        const Json* view = FindNamed((*schema_)["views"], name);
        ASSERT_NE(view, nullptr);
        std::multiset<std::string> shown;
        for (const Json& column : (*view)["columns"])
            shown.insert(column["name"].get<std::string>());
        EXPECT_EQ(shown, std::multiset<std::string>(columns.begin(), columns.end()));
    }

    std::set<std::string> domainNames;
    for (const Json& domain : (*schema_)["domains"]) {
        const std::string name = domain["name"];
        domainNames.insert(name);
        SCOPED_TRACE(name);
        const auto want = script_.domains.find(name);
        ASSERT_NE(want, script_.domains.end());
        EXPECT_EQ(domain["type"], want->second.word);
        // NUMERIC and DECIMAL keep the length of their storage, which the
        // script does not state.
        if (want->second.length != 0) {
            EXPECT_EQ(domain["length"], want->second.length);
        }
    }
    EXPECT_EQ(domainNames.size(), script_.domains.size());

    // The text names each domain with its whole type.
    const Output text = RunSchema((kSamples / "ods15/EMPLOYEE.GDB").string(), false);
    const std::string domains = text.out.substr(text.out.find("\nDomains: "));
    for (const auto& [name, type] : script_.domains) {
        std::string shown = type.word;
        if (type.word == "VARCHAR" || type.word == "CHAR")
            shown += "(" + std::to_string(type.length) + ")";
        else if (type.word == "NUMERIC" || type.word == "DECIMAL")
            shown += "(" + std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
        EXPECT_NE(domains.find("\n    " + name + "  " + shown + "\n"), std::string::npos) << shown << " in\n" << domains;
    }
}

// The computed columns with the expressions the script gave them, and the
// columns whose domain (PRODTYPE) is declared NOT NULL.
TEST_F(EmployeeSample, ComputedColumnsAndDomainNotNull)
{
    std::map<std::string, std::string> computed;
    std::set<std::string> domainNotNull;
    for (const Json& table : (*schema_)["tables"]) {
        for (const Json& column : table["columns"]) {
            const std::string name = table["name"].get<std::string>() + "." + column["name"].get<std::string>();
            if (column["computed"] == true)
                computed[name] = column["computed_source"].is_string() ? column["computed_source"].get<std::string>() : "";
            if (column["domain_not_null"] == true && column["field_source"].get<std::string>().rfind("RDB$", 0) != 0)
                domainNotNull.insert(name);
        }
    }
    EXPECT_EQ(computed, (std::map<std::string, std::string>{
                            {"EMPLOYEE.FULL_NAME", "(last_name || ', ' || first_name)"},
                            {"SALARY_HISTORY.NEW_SALARY", "(old_salary + old_salary * percent_change / 100)"},
                            {"SALES.AGED", "(ship_date - order_date)"},
                        }));
    EXPECT_EQ(domainNotNull, (std::set<std::string>{"PROJECT.PRODUCT", "SALES.ITEM_TYPE"}));
}

// What a person reads for a column: its name, then its SQL type, default
// and NOT NULL as the script declared them.
// Every generator the script creates, with the value its last SET
// GENERATOR gave it (0 when none did), and nothing else.
TEST_F(EmployeeSample, GeneratorsKeepTheValuesTheScriptLeftThem)
{
    const std::string text = ReadScript(kSamples / "truth" / "employee.sql.gz");
    std::map<std::string, std::int64_t> expected;
    const std::regex create(R"(CREATE\s+GENERATOR\s+(\w+))", std::regex::icase);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), create); it != std::sregex_iterator(); ++it)
        expected[Upper((*it)[1])] = 0;
    const std::regex set(R"(SET\s+GENERATOR\s+(\w+)\s+TO\s+(-?\d+))", std::regex::icase);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), set); it != std::sregex_iterator(); ++it)
        expected[Upper((*it)[1])] = std::stoll((*it)[2]);
    ASSERT_EQ(expected.size(), 2u);

    std::map<std::string, std::int64_t> found;
    for (const Json& generator : (*schema_)["generators"]) {
        ASSERT_TRUE(generator["value"].is_number_integer()) << generator;
        found[generator["name"]] = generator["value"].get<std::int64_t>();
    }
    EXPECT_EQ(found, expected);
}

TEST_F(EmployeeSample, TextShowsEachColumnAsDeclared)
{
    const Output run = RunSchema((kSamples / "ods15/EMPLOYEE.GDB").string(), false);
    ASSERT_EQ(run.code, kExitCompleted);
    const std::string& text = run.out;

    // Blocks in order: the tables, then views, indices, constraints, domains.
    std::vector<std::size_t> at;
    for (const SqlTable& table : script_.tables)
        at.push_back(text.find("\nTABLE " + table.name + " (relation "));
    for (const char* heading : {"\nViews: 1\n", "\nVIEW PHONE_LIST\n", "\nIndices: ", "\nConstraints: ", "\nDomains: "})
        at.push_back(text.find(heading));
    for (std::size_t i = 0; i < at.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << "block " << i << " missing:\n" << text;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << "block " << i;
        }
    }

    const auto escape = [](const std::string& s) { return std::regex_replace(s, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"); };
    for (const SqlTable& table : script_.tables) {
        const std::size_t begin = text.find("\nTABLE " + table.name + " (");
        const std::string block = text.substr(begin, text.find("\n\n", begin + 1) - begin);
        for (const SqlColumn& column : table.columns) {
            if (column.type.word.empty())
                continue;
            std::string type = column.type.word;
            if (type == "VARCHAR" || type == "CHAR")
                type += "(" + std::to_string(column.type.length) + ")";
            else if (type == "NUMERIC" || type == "DECIMAL")
                type += "(" + std::to_string(column.type.precision) + "," + std::to_string(column.type.scale) + ")";
            else if (type == "BLOB" && column.type.textBlob)
                type += " SUB_TYPE TEXT";
            std::string pattern = "\n    " + column.name + " +" + escape(type);
            if (column.defaultText)
                pattern += " DEFAULT " + (Upper(*column.defaultText) == "'NOW'" ? std::string("CURRENT_TIMESTAMP")
                                                                                 : escape(*column.defaultText));
            if (column.notNull)
                pattern += " NOT NULL";
            pattern += "(  -- domain " + column.type.domain + ")?\n";
            EXPECT_TRUE(std::regex_search(block + "\n", std::regex(pattern))) << pattern << "\nin\n" << block;
        }
    }
}

// ---- The command's own rules, on small models ----

TEST(SqlTypeText, ReadsAsAPersonWritesTheType)
{
    struct Case {
        const char* name;
        std::uint8_t typeCode;
        const char* typeName;
        std::uint16_t length, precision, scale;
        const char* subType;
        std::string expected;
    };
    const Case cases[] = {
        {"varchar", catalogue::kTypeVarchar, "VARCHAR", 15, 0, 0, "", "VARCHAR(15)"},
        {"char", catalogue::kTypeChar, "CHAR", 1, 0, 0, "", "CHAR(1)"},
        {"numeric", catalogue::kTypeNumeric, "NUMERIC", 8, 15, 2, "", "NUMERIC(15,2)"},
        {"decimal without scale", catalogue::kTypeDecimal, "DECIMAL", 4, 9, 0, "", "DECIMAL(9,0)"},
        {"numeric whose precision was not read", catalogue::kTypeNumeric, "NUMERIC", 4, 0, 2, "", "NUMERIC(?,2)"},
        {"numeric with neither", catalogue::kTypeNumeric, "NUMERIC", 4, 0, 0, "", "NUMERIC"},
        {"text blob", catalogue::kTypeBlob, "BLOB", 8, 0, 0, "TEXT", "BLOB SUB_TYPE TEXT"},
        {"blob without sub-type name", catalogue::kTypeBlob, "BLOB", 8, 0, 0, "", "BLOB"},
        {"fixed size", catalogue::kTypeDouble, "DOUBLE PRECISION", 8, 0, 0, "", "DOUBLE PRECISION"},
        {"code without a type word", 16, "", 8, 18, 0, "", "(type 16)"},
        {"unresolved", 0, "", 0, 0, 0, "", "(type unknown)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        catalogue::COLUMN column;
        column.typeCode = c.typeCode;
        column.typeName = c.typeName;
        column.length = c.length;
        column.precision = c.precision;
        column.scale = c.scale;
        column.blobSubTypeName = c.subType;
        column.blobSegmentByte = 80;
        EXPECT_EQ(SqlTypeText(column), c.expected);
    }
}

TEST(ColumnDefaultText, FollowsTheFirstLinkOfTheFieldSource)
{
    catalogue::SchemaModel model;
    model.defaultTexts = {"'X'", " ", "0", "'Y'"};
    model.columnDefaults = {{"RDB$1", 0}, {"RDB$1", 3}, {"BLANK", 1}, {"FAR", 4}, {"ZERO", 2}};
    struct Case {
        const char* name;
        const char* fieldSource;
        std::uint8_t hasDefault;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"first link wins", "RDB$1", 1, "'X'"},
        {"text 0", "ZERO", 1, "0"},
        {"column without a default ignores a link", "RDB$1", 0, std::nullopt},
        {"no link for the field source", "RDB$9", 1, std::nullopt},
        {"field source compared exactly", "rdb$1", 1, std::nullopt},
        {"index past the texts", "FAR", 1, std::nullopt},
        {"blank text holds no default", "BLANK", 1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        catalogue::COLUMN column;
        column.name = "C";
        column.fieldSource = c.fieldSource;
        column.hasDefault = c.hasDefault;
        EXPECT_EQ(ColumnDefaultText(model, column), c.expected);

        catalogue::SchemaModel withTable = model;
        withTable.AddColumn("T", column);
        const Json json = Json::parse(SchemaJson(withTable, 4096));
        const Json& shown = json["tables"][0]["columns"][0]["default"];
        if (c.expected) {
            EXPECT_EQ(shown, *c.expected);
        }
        else
            EXPECT_TRUE(shown.is_null()) << shown;
    }
}

TEST(SchemaJson, StaysValidJsonWhateverTheNamesHold)
{
    catalogue::SchemaModel model;
    catalogue::COLUMN column;
    column.name = std::string("BAD\xff\xfe", 5);  // not UTF-8
    column.fieldSource = "QUOTE\"BACKSLASH\\\nNEWLINE";
    model.AddColumn(std::string("T\x01", 2), column);
    model.AddIndexSegment("IDX", "");
    const Json json = Json::parse(SchemaJson(model, 1024), nullptr, false);
    ASSERT_FALSE(json.is_discarded());
    EXPECT_EQ(json["tables"][0]["name"], std::string("T\x01", 2));
    EXPECT_EQ(json["tables"][0]["columns"][0]["name"], "BAD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(json["tables"][0]["columns"][0]["field_source"], column.fieldSource);
    EXPECT_EQ(json["indices"][0]["relation"], "");
    EXPECT_TRUE(json["indices"][0]["foreign_key"].is_null());
}

// ---- Failures ----

TEST(SchemaCommand, FailuresPrintNoSchemaAndSayWhy)
{
    TempDir dir;
    const std::string noPageSize = dir.File("NOSIZE.GDB");
    WriteBytes(noPageSize, std::string(16 * 1024, '\0'));
    const std::string empty = dir.File("EMPTY.GDB");
    WriteBytes(empty, DatabaseImage(1024, 8));

    struct Case {
        const char* name;
        std::vector<std::string> args;
        int code;
        std::string errContains;
        bool printsSchema;
    };
    const Case cases[] = {
        {"no page size", {"schema", noPageSize}, kExitInvalidFile, job::kInvalidFileText, false},
        {"missing file", {"schema", dir.File("MISSING.GDB")}, kExitInvalidFile, job::kInvalidFileText, false},
        {"no file named", {"schema", "--json"}, kExitError, "FILE", false},
        {"unknown code page", {"schema", "--codepage", "NO-SUCH-PAGE", empty}, kExitError, "--codepage", false},
        {"a database without catalogue", {"schema", "--json", empty}, kExitCompleted, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Output run = RunArgs(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.err.find(c.errContains), std::string::npos) << run.err;
        if (c.printsSchema) {
            const Json json = Json::parse(run.out, nullptr, false);
            ASSERT_FALSE(json.is_discarded()) << run.out;
            EXPECT_EQ(json["page_size"], 1024u);
            EXPECT_TRUE(json["tables"].empty());
        } else {
            EXPECT_EQ(run.out, "");
        }
    }
}

}  // namespace
}  // namespace ravelin::cli
