#pragma once

// The rows of the right view's Properties and Keys and Constraints lists,
// made from the schema model for the selected object. Each row holds one
// text per list column, in column order; an object that matches no name
// yields no rows.

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/schemamodel.h"

namespace ravelin::ui {

using ListRows = std::vector<std::vector<std::string>>;

// Name, Type, Character Set, Default Value, Allow Nulls; one row per column
// of the first table named so (without regard to case).
ListRows TablePropertyRows(const catalogue::SchemaModel& model, std::string_view tableName);

// Column Name, Key(s), Constraint(s); one row per relation constraint of
// each index on the table.
ListRows TableKeyRows(const catalogue::SchemaModel& model, std::string_view tableName);

// View Column Name, Relation Table, Select Statement, Datatype.
ListRows ViewPropertyRows(const catalogue::SchemaModel& model, std::string_view viewName);

// Column Name, Relation Table, Foreign Key, Unique; one row.
ListRows IndexPropertyRows(const catalogue::SchemaModel& model, std::string_view indexName);

// The Type cell of a column.
std::string ColumnTypeText(const catalogue::COLUMN& column);

}  // namespace ravelin::ui
