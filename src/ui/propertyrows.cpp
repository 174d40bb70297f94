#include "ui/propertyrows.h"

#include <algorithm>

namespace ravelin::ui {

using catalogue::EqualsNoCase;

std::string ColumnTypeText(const catalogue::COLUMN& column)
{
    const std::string& word = column.typeName;
    if (EqualsNoCase(word, "CHAR") || EqualsNoCase(word, "VARCHAR"))
        return word + "(" + std::to_string(catalogue::CharacterLength(column)) + ")";
    if (EqualsNoCase(word, "NUMERIC") || EqualsNoCase(word, "DECIMAL"))
        return word + "(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")";
    if (EqualsNoCase(word, "BLOB")) {
        const std::string subType = column.blobSubTypeName == "DEFAULT" ? "-1" : column.blobSubTypeName;
        return word + " SUB_TYPE " + subType + " SEGMENT_SIZE " + std::to_string(column.blobSegmentByte);
    }
    return word;
}

ListRows TablePropertyRows(const catalogue::SchemaModel& model, std::string_view tableName)
{
    ListRows rows;
    const auto table = std::find_if(model.tables.begin(), model.tables.end(),
                                    [&](const catalogue::TableNode& t) { return EqualsNoCase(t.name, tableName); });
    if (table == model.tables.end())
        return rows;
    for (const catalogue::COLUMN& column : table->columns) {
        std::string defaultValue;
        if (column.hasDefault == 1) {
            const auto link =
                std::find_if(model.columnDefaults.begin(), model.columnDefaults.end(),
                             [&](const catalogue::COLIDANDDEFINDEX& d) { return d.name == column.fieldSource; });
            // A link to a default text that was never read shows nothing.
            if (link != model.columnDefaults.end() && link->defaultIndex < model.defaultTexts.size())
                defaultValue = model.defaultTexts[link->defaultIndex];
        }
        const bool notNull =
            column.notNull == 1 ||
            std::any_of(model.notNullSources.begin(), model.notNullSources.end(),
                        [&](const catalogue::SPLITCOLIDWITHNULL& n) { return n.fieldSource == column.fieldSource; });
        // The character set is named where it changes what the texts hold:
        // UTF-8 texts, whose length counts characters, not bytes.
        const std::string characterSet = catalogue::HoldsUtf8Text(column) ? "UTF8" : "";
        rows.push_back({column.name, ColumnTypeText(column), characterSet, defaultValue, notNull ? "No" : "Yes"});
    }
    return rows;
}

ListRows TableKeyRows(const catalogue::SchemaModel& model, std::string_view tableName)
{
    ListRows rows;
    for (const catalogue::IndexNode& index : model.indices) {
        if (!EqualsNoCase(index.relationName, tableName))
            continue;
        for (const catalogue::KEYSCONTRAINTS& key : model.keyConstraints) {
            if (!EqualsNoCase(key.indexName, index.name))
                continue;
            const bool systemName =
                key.constraintName.size() >= 6 && EqualsNoCase(std::string_view(key.constraintName).substr(0, 6), "INTEG_");
            rows.push_back({index.segments.empty() ? std::string() : index.segments.front(), key.constraintType,
                            systemName ? std::string(" ") : key.constraintName});
        }
    }
    return rows;
}

ListRows ViewPropertyRows(const catalogue::SchemaModel& model, std::string_view viewName)
{
    ListRows rows;
    const auto view = std::find_if(model.views.begin(), model.views.end(),
                                   [&](const catalogue::ViewNode& v) { return EqualsNoCase(v.name, viewName); });
    if (view == model.views.end())
        return rows;
    auto cursor = view->columns.begin();
    for (const catalogue::TableNode& table : model.tables) {
        for (const catalogue::COLUMN& column : table.columns) {
            if (cursor == view->columns.end())
                return rows;
            if (EqualsNoCase(cursor->fieldSource, column.fieldSource)) {
                rows.push_back({cursor->columnName, table.name, "\"" + table.name + "\".\"" + column.name + "\"",
                                column.typeName + "(" + std::to_string(catalogue::CharacterLength(column)) + ")"});
                ++cursor;
            }
        }
    }
    return rows;
}

ListRows IndexPropertyRows(const catalogue::SchemaModel& model, std::string_view indexName)
{
    ListRows rows;
    const auto index = std::find_if(model.indices.begin(), model.indices.end(),
                                    [&](const catalogue::IndexNode& i) { return EqualsNoCase(i.name, indexName); });
    if (index == model.indices.end())
        return rows;
    std::string segments;
    for (std::size_t i = 0; i < index->segments.size(); ++i) {
        if (i != 0)
            segments += " , ";
        segments += index->segments[i];
    }
    rows.push_back({segments, index->relationName, index->foreignKey, std::string()});
    return rows;
}

}  // namespace ravelin::ui
