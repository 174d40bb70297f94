// The demo's synthetic database: both variants rebuild the same schema, and
// each repaired into a fresh embedded target lands every record the file
// still holds, with its values; the damaged variant loses exactly the
// records on its zeroed page and its scrambled record.

#include "cli/demodatabase.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/repaircommand.h"
#include "cli/schemacommand.h"
#include "writer/blanktarget.h"
#include "writer/repair.h"
#include "writer/writertesting.h"

namespace ravelin::cli {
namespace {

using ravelin::testing::BuildDemoDatabase;
using ravelin::testing::DemoDatabase;
using writer::testing::IsqlAvailable;
using writer::testing::ReadAll;
using writer::testing::RunIsql;
using writer::testing::TempFolder;
using writer::testing::Words;

struct Variant {
    const char* name;
    bool damaged;
    // Per table: records present in the file, records recovered.
    std::map<std::string, std::pair<int, int>> records;
    // Rows of the damaged variant's spoilt places found in the target.
    std::string zeroedOrders;
    std::string scrambledCustomer;
    // How the repair ends: its exit code, and the lines naming what it did
    // not copy (the scrambled record is present but cannot be sent).
    int exitCode;
    std::vector<std::string> shortfalls;
};

const Variant kVariants[] = {
    {"intact", false, {{"CUSTOMER", {40, 40}}, {"ORDERS", {120, 120}}, {"ITEMS", {300, 300}}}, "40", "1",
     kExitCompleted, {}},
    {"damaged", true, {{"CUSTOMER", {40, 39}}, {"ORDERS", {80, 80}}, {"ITEMS", {300, 300}}}, "0", "0",
     kExitIncomplete,
     {"Records not copied: 1 of 40 in CUSTOMER", "Damaged records set aside: 1 in CUSTOMER, see <target>Damaged.csv"}},
};

// The end of a repair's log: the shortfall lines (each followed by nothing,
// the last by a blank line), then the closing lines the job writes.
// The shortfall lines of a variant, <target> standing for the target's path.
std::vector<std::string> ShortfallsInto(const std::vector<std::string>& shortfalls, const std::string& target)
{
    std::vector<std::string> lines;
    for (std::string line : shortfalls) {
        if (const auto at = line.find("<target>"); at != std::string::npos)
            line.replace(at, 8, target);
        lines.push_back(std::move(line));
    }
    return lines;
}

// The closing lines: indices counts the key indices the created tables
// carry; the demo's two index statements go to the side file only.
std::string ClosingBlock(const std::vector<std::string>& shortfalls, int views, int indices)
{
    std::string block;
    for (const std::string& line : shortfalls)
        block += line + "\n";
    if (!shortfalls.empty())
        block += "\n";
    return block + "Views recovered   :" + std::to_string(views) + "\n\nIndices recovered :" +
           std::to_string(indices) + "\nIndex statements written to the side file only :2\n\nRepairing process completed on ";
}

constexpr const char* kSuccessText = "Repair process completed successfully.";
constexpr const char* kWarningText = "Repair process finished, but not everything was copied:";

TEST(DemoDatabase, BothVariantsRebuildTheSameSchema)
{
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string expected = R"(Page size: 4096 bytes

Tables: 3

TABLE CUSTOMER (relation 128)
    CUST_NO       INTEGER NOT NULL
    NAME          VARCHAR(30)
    CITY          VARCHAR(20)
    COUNTRY       CHAR(2)
    SINCE         DATE
    CREDIT_LIMIT  NUMERIC(9,2)
    PRIMARY KEY (CUST_NO)

TABLE ORDERS (relation 129)
    ORDER_NO  INTEGER NOT NULL
    CUST_NO   INTEGER
    ORDERED   TIMESTAMP
    STATUS    CHAR(8)
    TOTAL     NUMERIC(9,2)
    WEIGHT    DOUBLE PRECISION
    PRIMARY KEY (ORDER_NO)

TABLE ITEMS (relation 130)
    ORDER_NO  INTEGER NOT NULL
    LINE_NO   SMALLINT NOT NULL
    PART      VARCHAR(24)
    QTY       INTEGER
    PRICE     NUMERIC(9,2)
    DISCOUNT  DOUBLE PRECISION

Views: 0

Indices: 2
    RDB$PRIMARY1 ON CUSTOMER (CUST_NO)
    RDB$PRIMARY2 ON ORDERS (ORDER_NO)

Constraints: 2
    INTEG_1  PRIMARY KEY ON CUSTOMER USING INDEX RDB$PRIMARY1
    INTEG_2  PRIMARY KEY ON ORDERS USING INDEX RDB$PRIMARY2

Domains: 0

Generators: 0
)";
    for (const Variant& variant : kVariants) {
        SCOPED_TRACE(variant.name);
        const DemoDatabase demo = BuildDemoDatabase(variant.damaged);
        EXPECT_EQ(demo.damage.size(), variant.damaged ? 3u : 0u);
        // What the demo program tells the user: records written (all of
        // them present in the intact file) and records a repair can recover.
        ASSERT_EQ(demo.tables.size(), variant.records.size());
        for (const ravelin::testing::DemoTable& table : demo.tables) {
            EXPECT_EQ(table.records, kVariants[0].records.at(table.name).first) << table.name;
            EXPECT_EQ(table.readable, variant.records.at(table.name).second) << table.name;
        }
        const std::string file = folder.File(std::string(variant.name) + ".gdb");
        demo.image.WriteTo(file);

        std::ostringstream out;
        std::ostringstream err;
        ASSERT_EQ(RunSchemaCommand({file, false}, out, err, false), kExitCompleted) << err.str();
        EXPECT_EQ(out.str(), expected);
    }
}

// Rows that stand on pages the damage leaves alone, as isql-fb prints them
// from the target (its words), in both variants.
struct KnownRow {
    const char* query;
    const char* words;
};

const KnownRow kKnownRows[] = {
    // An apostrophe in a text; DATE lands as the target's timestamp.
    {"SELECT * FROM CUSTOMER WHERE CUST_NO = 7", "7 Goran O'Neil Porto PT 2019-08-22 00:00:00.0000 6750.59"},
    {"SELECT * FROM CUSTOMER WHERE CUST_NO = 13", "13 Chiara Tanaka <null> FR 2015-02-08 00:00:00.0000 8250.81"},
    // The last order before the zeroed page and the first after it.
    {"SELECT * FROM ORDERS WHERE ORDER_NO = 1040", "1040 1 2023-05-02 08:40:00.0000 PAID 76.35 10.50000000000000"},
    {"SELECT * FROM ORDERS WHERE ORDER_NO = 1081",
     "1081 8 2023-09-02 09:33:00.0000 SHIPPED 164.16 20.75000000000000"},
    {"SELECT * FROM ITEMS WHERE ORDER_NO = 1001 ORDER BY LINE_NO",
     "1001 1 Sandpaper P120 6 0.99 0.1000000000000000 "
     "1001 2 Pipe clamp 1 2.75 0.2500000000000000 "
     "1001 3 Hinge, brass 5 12.90 0.000000000000000"},
    // The items of the orders on the zeroed page stand on ITEMS's own pages.
    {"SELECT COUNT(*) FROM ITEMS WHERE ORDER_NO BETWEEN 1041 AND 1080", "100"},
};

TEST(DemoDatabase, RepairIntoAFreshEmbeddedTargetLandsEveryReadableRecord)
{
    if (!IsqlAvailable())
        GTEST_SKIP() << "isql-fb is not installed: the repair tests need the Firebird utilities";
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    for (const Variant& variant : kVariants) {
        SCOPED_TRACE(variant.name);
        const std::string file = folder.File(std::string(variant.name) + ".gdb");
        BuildDemoDatabase(variant.damaged).image.WriteTo(file);
        const std::string before = ReadAll(file);

        RepairCommandOptions options;
        options.file = file;
        options.target = folder.File(std::string(variant.name) + ".fdb");
        options.create = true;
        std::ostringstream out;
        std::ostringstream err;
        ScanStreams streams{out, err, false, {}};
        EXPECT_EQ(RunRepairCommand(options, streams), variant.exitCode) << err.str() << out.str();
        // Success is claimed only by a repair that copied everything; one
        // that lost a record warns instead and names what it lost.
        EXPECT_EQ(err.str().find(kSuccessText) != std::string::npos, variant.shortfalls.empty()) << err.str();
        EXPECT_EQ(err.str().find(kWarningText) != std::string::npos, !variant.shortfalls.empty()) << err.str();
        const std::vector<std::string> shortfalls = ShortfallsInto(variant.shortfalls, options.target);
        for (const std::string& line : shortfalls)
            EXPECT_NE(err.str().find("\n" + line + "\n"), std::string::npos) << err.str();
        const std::string closing = ClosingBlock(shortfalls, 0, 2);
        EXPECT_NE(out.str().find("\n\n" + closing), std::string::npos) << closing << "\nnot in\n" << out.str();
        EXPECT_EQ(out.str().find("Table not created: "), std::string::npos) << out.str();
        EXPECT_EQ(ReadAll(file), before) << "the repaired file changed";

        std::string script;
        std::map<std::string, int> recovered;
        for (const auto& [table, records] : variant.records) {
            recovered[table] = records.second;
            const std::string block = "Table Recovered : " + table + "\nTotal Records Present   : " +
                                      std::to_string(records.first) +
                                      "\nTotal Records Recovered : " + std::to_string(records.second) + "\n";
            EXPECT_NE(out.str().find(block), std::string::npos) << block << "not in\n" << out.str();
            script += "SELECT '" + table + "', COUNT(*) FROM " + table + ";\n";
        }
        std::map<std::string, int> landed;
        const std::vector<std::string> counts = Words(RunIsql(options.target, script));
        for (std::size_t i = 0; i + 1 < counts.size(); i += 2)
            landed[counts[i]] = std::stoi(counts[i + 1]);
        EXPECT_EQ(landed, recovered);

        for (const KnownRow& row : kKnownRows) {
            SCOPED_TRACE(row.query);
            EXPECT_EQ(Words(RunIsql(options.target, std::string(row.query) + ";")), Words(row.words));
        }
        EXPECT_EQ(Words(RunIsql(options.target, "SELECT COUNT(*) FROM ORDERS WHERE ORDER_NO BETWEEN " +
                                                    std::to_string(ravelin::testing::kDemoZeroedOrdersFirst) +
                                                    " AND " + std::to_string(ravelin::testing::kDemoZeroedOrdersLast) +
                                                    ";")),
                  Words(variant.zeroedOrders));
        EXPECT_EQ(Words(RunIsql(options.target, "SELECT COUNT(*) FROM CUSTOMER WHERE CUST_NO = " +
                                                    std::to_string(ravelin::testing::kDemoScrambledCustomer) + ";")),
                  Words(variant.scrambledCustomer));
    }
}

// A target that already holds tables of the same names refuses their CREATE
// TABLE. When it refuses some, the rest is copied and the repair ends as
// incomplete, naming each refused table; when it refuses all, nothing was
// copied and the repair fails as before.
TEST(DemoDatabase, TablesTheTargetRefusesEndTheRepairWithoutSuccess)
{
    if (!IsqlAvailable())
        GTEST_SKIP() << "isql-fb is not installed: the repair tests need the Firebird utilities";
    TempFolder folder;
    ASSERT_TRUE(folder.Ok());
    const std::string file = folder.File("intact.gdb");
    BuildDemoDatabase(false).image.WriteTo(file);
    struct Case {
        const char* name;
        std::vector<std::string> inTarget;  // tables the target holds before the repair
        int exitCode;
        std::vector<std::string> shortfalls;
        bool noneCreated;
        std::map<std::string, std::string> landed;  // rows per table afterwards
        int keys;  // primary keys of the created tables (CUSTOMER and ORDERS have one)
    };
    const Case cases[] = {
        {"ORDERS exists", {"ORDERS"}, kExitIncomplete, {"Table not created: ORDERS"}, false,
         {{"CUSTOMER", "40"}, {"ORDERS", "0"}, {"ITEMS", "300"}}, 1},
        {"CUSTOMER and ITEMS exist", {"CUSTOMER", "ITEMS"}, kExitIncomplete,
         {"Table not created: CUSTOMER", "Table not created: ITEMS"}, false,
         {{"CUSTOMER", "0"}, {"ORDERS", "120"}, {"ITEMS", "0"}}, 1},
        {"every table exists", {"CUSTOMER", "ORDERS", "ITEMS"}, kExitError, {}, true,
         {{"CUSTOMER", "0"}, {"ORDERS", "0"}, {"ITEMS", "0"}}, 0},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = folder.File("held" + std::to_string(++run) + ".fdb");
        ASSERT_EQ(writer::CreateBlankTarget({target, "SYSDBA", "masterkey"}), "");
        std::string script;
        for (const std::string& table : c.inTarget)
            script += "CREATE TABLE " + table + " (OLD_ID INTEGER);\n";
        ASSERT_EQ(RunIsql(target, script), "");

        RepairCommandOptions options;
        options.file = file;
        options.target = target;
        std::ostringstream out;
        std::ostringstream err;
        ScanStreams streams{out, err, false, {}};
        EXPECT_EQ(RunRepairCommand(options, streams), c.exitCode) << err.str() << out.str();
        EXPECT_EQ(err.str().find(kSuccessText), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find(kWarningText) != std::string::npos, !c.shortfalls.empty()) << err.str();
        EXPECT_EQ(out.str().find(writer::kNoTableCreatedText) != std::string::npos, c.noneCreated) << out.str();
        for (const std::string& table : c.inTarget) {
            // The target's own words stay where the refusal happened.
            EXPECT_NE(out.str().find("Table not created: " + table + ": "), std::string::npos) << out.str();
            if (!c.noneCreated) {
                EXPECT_NE(err.str().find("\n" + std::string("Table not created: ") + table), std::string::npos)
                    << err.str();
            }
        }
        if (!c.noneCreated) {
            const std::string closing = ClosingBlock(c.shortfalls, 0, c.keys);
            EXPECT_NE(out.str().find("\n\n" + closing), std::string::npos) << closing << "\nnot in\n" << out.str();
        } else {
            EXPECT_NE(out.str().find(std::string(writer::kNoTableCreatedText) + "\n\n" + ClosingBlock({}, 0, c.keys)),
                      std::string::npos)
                << out.str();
        }

        std::string count;
        for (const auto& [table, rows] : c.landed)
            count += "SELECT '" + table + "', COUNT(*) FROM " + table + ";\n";
        std::map<std::string, std::string> landed;
        const std::vector<std::string> words = Words(RunIsql(target, count));
        for (std::size_t i = 0; i + 1 < words.size(); i += 2)
            landed[words[i]] = words[i + 1];
        EXPECT_EQ(landed, c.landed);
    }
}

}  // namespace
}  // namespace ravelin::cli
