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
};

const Variant kVariants[] = {
    {"intact", false, {{"CUSTOMER", {40, 40}}, {"ORDERS", {120, 120}}, {"ITEMS", {300, 300}}}, "40", "1"},
    {"damaged", true, {{"CUSTOMER", {40, 39}}, {"ORDERS", {80, 80}}, {"ITEMS", {300, 300}}}, "0", "0"},
};

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
        EXPECT_EQ(RunRepairCommand(options, streams), kExitCompleted) << err.str() << out.str();
        EXPECT_NE(err.str().find("Repair process completed successfully."), std::string::npos) << err.str();
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

}  // namespace
}  // namespace ravelin::cli
