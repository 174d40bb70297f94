#pragma once

// A small schema model for window tests: tables, views and indices with the
// names the tests look for.

#include <string>
#include <vector>

#include "catalogue/schemamodel.h"

namespace ravelin::ui::testing {

inline catalogue::TableNode MakeTable(const std::string& name, const std::vector<std::string>& columns)
{
    catalogue::TableNode table;
    table.name = name;
    for (const std::string& column : columns) {
        catalogue::COLUMN c;
        c.name = column;
        c.fieldSource = "RDB$" + column;
        c.typeName = "INTEGER";
        c.length = 4;
        table.columns.push_back(c);
    }
    return table;
}

// Tables CUSTOMERS, ORDERS, ORDER_LINES; view BIG_ORDERS; indices
// PK_CUSTOMERS, IDX_ORDERS_DATE.
inline catalogue::SchemaModel MakeModel()
{
    catalogue::SchemaModel model;
    model.tables.push_back(MakeTable("CUSTOMERS", {"ID", "NAME", "CITY"}));
    model.tables.push_back(MakeTable("ORDERS", {"ID", "CUSTOMER_ID", "ORDER_DATE"}));
    model.tables.push_back(MakeTable("ORDER_LINES", {"ORDER_ID", "LINE", "AMOUNT"}));
    catalogue::ViewNode view;
    view.name = "BIG_ORDERS";
    model.views.push_back(view);
    catalogue::IndexNode pk;
    pk.name = "PK_CUSTOMERS";
    pk.relationName = "CUSTOMERS";
    pk.segments = {"ID"};
    model.indices.push_back(pk);
    catalogue::IndexNode date;
    date.name = "IDX_ORDERS_DATE";
    date.relationName = "ORDERS";
    date.segments = {"ORDER_DATE"};
    model.indices.push_back(date);
    return model;
}

}  // namespace ravelin::ui::testing
