#pragma once

// The CREATE TABLE statement of one table of the schema model.

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "catalogue/schemamodel.h"

namespace ravelin::writer {

// The type of a column whose type word is unknown.
inline constexpr const char* kUnknownTypeText = "VARCHAR(250)";

// Why the table cannot be written safely: its name or one of its column
// names is not a plain identifier. Empty when every name is usable.
std::string UnsafeTableName(const catalogue::TableNode& table);

// The CREATE TABLE text of table, from the model's columnDefaults,
// defaultTexts, notNullSources and columnKeys (DeriveColumnKeys has been
// run for the table). DATE and TIME become TIMESTAMP, BLOB becomes
// CHAR(250), a column without a type word becomes VARCHAR(250), the six
// reserved column names get "1" appended, names are not quoted, and there
// is no closing semicolon. A key names every column of the index that
// enforces it (its first column alone when that index is unknown); a key
// whose columns are not all in the table is left out. A default text that is not one
// literal value and a constraint name that is not a plain identifier are
// left out (the key itself stays); each omission adds a line to notes when
// given. An array column is written as a plain column of its element type
// without NOT NULL (its records give it NULL), with a line in notes. A stop
// request ends the column loop and closes the statement. keyClauses, when
// given, receives the number of PRIMARY KEY and UNIQUE clauses written
// (each gives the target table an index).
// Empty when UnsafeTableName refuses the table.
std::string BuildCreateTable(const catalogue::SchemaModel& model, const catalogue::TableNode& table,
                             const std::atomic<bool>* stopRequested = nullptr,
                             std::vector<std::string>* notes = nullptr, std::size_t* keyClauses = nullptr);

// A computed column of a table, as an exact restore adds it after the
// table's data: ALTER TABLE T ADD C type COMPUTED BY (expression), then
// ALTER TABLE T ALTER C POSITION n (its place in declared order, from 1).
// Both statements are empty when its expression was not read or a name is
// not a plain identifier: the column is left out.
struct ComputedColumn {
    std::string name;
    std::uint32_t position = 0;
    std::string statement;
    std::string placement;
};
// The table's computed columns in declared order.
std::vector<ComputedColumn> ExactComputedColumns(const catalogue::SchemaModel& model, const catalogue::TableNode& table);

// The column's own type as an exact restore declares it: SMALLINT, INTEGER,
// BIGINT (NUMERIC(18,s) when it carries a scale), NUMERIC/DECIMAL(p,s) (p
// from the storage width when the file gives none: 4, 9 or 18 digits),
// FLOAT, DOUBLE PRECISION, DATE, TIME, TIMESTAMP, BOOLEAN, CHAR(n) and
// VARCHAR(n) with n in characters and the CHARACTER SET clause of a known
// set other than NONE, BLOB SUB_TYPE TEXT / BINARY / n. Empty when the
// type is not known.
std::string ExactTypeText(const catalogue::COLUMN& column);

// The CREATE TABLE text of an exact restore: as BuildCreateTable, but the
// columns in their declared order (their stored positions; the stored order
// where positions repeat), each of its own type (ExactTypeText), NOT NULL
// also where the column's domain declares it, and without the computed
// columns (ExactComputedColumns adds them). A column of unknown type is
// still written as VARCHAR(250), with a line in notes. A column whose field
// source is one of domains (the domains the target has) is declared of
// that domain.
std::string BuildExactCreateTable(const catalogue::SchemaModel& model, const catalogue::TableNode& table,
                                  const std::atomic<bool>* stopRequested = nullptr,
                                  std::vector<std::string>* notes = nullptr, std::size_t* keyClauses = nullptr,
                                  const std::set<std::string>* domains = nullptr);

// The CREATE DOMAIN text of an exact restore for a user domain: its type
// (ExactTypeText), its stored default when that is a single value, NOT NULL
// where the domain declares it. Its CHECK is left out: the data goes in
// first, ALTER DOMAIN adds it afterwards. Empty for a domain this text
// cannot declare: an array, a type not known, a name that is no plain
// identifier.
std::string BuildCreateDomain(const catalogue::SchemaModel& model, const catalogue::COLDOMAIN& domain);

}  // namespace ravelin::writer
