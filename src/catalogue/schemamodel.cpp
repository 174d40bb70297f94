#include "catalogue/schemamodel.h"

#include <algorithm>

namespace ravelin::catalogue {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::uint16_t CharacterLength(const COLUMN& column)
{
    return static_cast<std::uint16_t>(column.length / ods::BytesPerCharacter(column.characterSet));
}

bool HoldsUtf8Text(const COLUMN& column)
{
    return (column.typeCode == kTypeChar || column.typeCode == kTypeVarchar) &&
           ods::IsUtf8CharacterSet(column.characterSet);
}

void SchemaModel::ResetSchemaModel()
{
    *this = SchemaModel{};
}

namespace {
template <typename List>
auto* FindByName(List& list, std::string_view name)
{
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& node) { return node.name == name; });
    return it == list.end() ? nullptr : &*it;
}
}  // namespace

bool SchemaModel::AddColumn(const std::string& relationName, const COLUMN& column)
{
    if (TableNode* node = FindTable(relationName)) {
        node->columns.push_back(column);
        return true;
    }
    TableNode node;
    node.name = relationName;
    const TABLEIDNAME* relation = FindRelation(relationName);
    if (relation) {
        node.relationId = relation->relationId;
        node.fieldIdCount = relation->fieldIdCount;
    }
    node.columns.push_back(column);
    tables.push_back(std::move(node));
    return relation != nullptr;
}

void SchemaModel::AddViewColumn(const std::string& viewName, const VIEWCOLUMN& column)
{
    if (ViewNode* node = FindView(viewName)) {
        node->columns.push_back(column);
        return;
    }
    views.push_back(ViewNode{viewName, {column}});
}

void SchemaModel::AddIndexSegment(const std::string& indexName, const std::string& columnName)
{
    if (IndexNode* node = FindIndex(indexName)) {
        node->segments.push_back(columnName);
        return;
    }
    IndexNode node;
    node.name = indexName;
    node.segments.push_back(columnName);
    indices.push_back(std::move(node));
}

TableNode* SchemaModel::FindTable(std::string_view name) { return FindByName(tables, name); }
const TableNode* SchemaModel::FindTable(std::string_view name) const { return FindByName(tables, name); }
ViewNode* SchemaModel::FindView(std::string_view name) { return FindByName(views, name); }
IndexNode* SchemaModel::FindIndex(std::string_view name) { return FindByName(indices, name); }
const TABLEIDNAME* SchemaModel::FindRelation(std::string_view name) const { return FindByName(relations, name); }

const ods::RecordFormat* SchemaModel::FindRecordFormat(std::uint32_t relationId, std::uint16_t number) const
{
    const auto found = recordFormats.find(relationId);
    if (found == recordFormats.end())
        return nullptr;
    for (const ods::RecordFormat& format : found->second) {
        if (format.number == number)
            return &format;
    }
    return nullptr;
}

const ods::RecordFormat* SchemaModel::NewestRecordFormat(std::uint32_t relationId) const
{
    const auto found = recordFormats.find(relationId);
    return found == recordFormats.end() || found->second.empty() ? nullptr : &found->second.back();
}

}  // namespace ravelin::catalogue
