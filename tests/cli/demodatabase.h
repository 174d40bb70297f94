#pragma once

// A small synthetic database for the demo and the command-line tests: 4096-
// byte pages (ODS 13), three user tables with their columns, types, primary
// keys and a few hundred records, laid out the way real files lay them out:
//
//   CUSTOMER (relation 128)  CUST_NO INTEGER NOT NULL (primary key),
//                            NAME VARCHAR(30), CITY VARCHAR(20), COUNTRY
//                            CHAR(2), SINCE DATE, CREDIT_LIMIT NUMERIC(9,2);
//                            40 records on one data page
//   ORDERS (relation 129)    ORDER_NO INTEGER NOT NULL (primary key),
//                            CUST_NO INTEGER, ORDERED TIMESTAMP, STATUS
//                            CHAR(8), TOTAL NUMERIC(9,2), WEIGHT DOUBLE
//                            PRECISION; 120 records, 40 on each of 3 pages
//   ITEMS (relation 130)     ORDER_NO INTEGER NOT NULL, LINE_NO SMALLINT NOT
//                            NULL, PART VARCHAR(24), QTY INTEGER, PRICE
//                            NUMERIC(9,2), DISCOUNT DOUBLE PRECISION; 300
//                            records, 2 or 3 lines per order
//
// The catalogue: the column records on the first page after the system pages
// (page 80, so the scan files the relation-fields pages), the relations
// catalogue (the three tables on one page, the records of some system
// relations on the next), the field definitions, and the index, index-segment
// and constraint records of the two primary keys.
//
// The damaged variant spoils three things, each described in a line of
// DemoDatabase::damage: ORDERS's second data page (orders 1041 to 1080) is
// zeroed, the compressed data of CUSTOMER 17's record is overwritten with
// random bytes, and the relations-catalogue page of the system relations is
// overwritten with random bytes. Every other record reads as in the intact
// file. The random bytes come from a fixed seed, so every run writes the same
// file.

#include <cstdint>
#include <string>
#include <vector>

#include "fixture/fixturewriter.h"

namespace ravelin::testing {

struct DemoTable {
    std::string name;
    std::uint16_t relationId = 0;
    std::size_t columns = 0;
    std::size_t records = 0;   // records written
    std::size_t readable = 0;  // records a repair can recover: fewer in the damaged variant
    std::vector<std::uint32_t> dataPages;
};

struct DemoDatabase {
    fixture::FixtureWriter image{4096};
    std::vector<DemoTable> tables;  // CUSTOMER, ORDERS, ITEMS
    std::vector<std::string> damage;  // empty for the intact file
};

// The damaged variant's records lost with their page or their bytes.
inline constexpr std::int32_t kDemoZeroedOrdersFirst = 1041;
inline constexpr std::int32_t kDemoZeroedOrdersLast = 1080;
inline constexpr std::int32_t kDemoScrambledCustomer = 17;

// orders: the number of ORDERS records (and so of ITEMS records, 2 or 3 per
// order); more than 120 makes a file of any size for benchmarks. The
// damaged variant needs at least 120.
DemoDatabase BuildDemoDatabase(bool damaged = false, int orders = 120);

}  // namespace ravelin::testing
