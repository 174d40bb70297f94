#include "catalogue/recordformats.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "catalogue/fielddefinitions.h"
#include "ods/blobstore.h"
#include "ods/constants.h"
#include "ods/littleendian.h"
#include "ods/recordimage.h"
#include "ods/slotwalk.h"

namespace ravelin::catalogue {
namespace {

// A formats record, decompressed: null flags, relation id, format number,
// descriptor blob id.
constexpr std::size_t kFormatRecordLength = 16;
constexpr std::size_t kRelationIdAt = 4;
constexpr std::size_t kFormatNumberAt = 6;
constexpr std::size_t kDescriptorAt = 8;
// The null bits of its three fields.
constexpr unsigned kFieldNullBits = 0x07;

struct FormatEntry {
    std::uint32_t relationId = 0;
    std::uint16_t number = 0;
    ods::BlobId descriptor;
};

std::optional<FormatEntry> ReadFormatEntry(const ods::RecordStream& record, ods::RecordImage& image)
{
    const std::optional<std::span<const std::byte>> expanded = ExpandFixedRecord(record, image, kFormatRecordLength);
    if (!expanded || (std::to_integer<unsigned>((*expanded)[0]) & kFieldNullBits) != 0)
        return std::nullopt;
    const std::span<const std::byte> data = *expanded;
    FormatEntry entry;
    entry.relationId = ods::LittleEndian(data, kRelationIdAt, 2);
    entry.number = static_cast<std::uint16_t>(ods::LittleEndian(data, kFormatNumberAt, 2));
    entry.descriptor.relationId = ods::LittleEndian(data, kDescriptorAt, 4);
    entry.descriptor.recordNumber = ods::LittleEndian(data, kDescriptorAt + 4, 4);
    if (entry.descriptor.relationId != ods::kRelFormats)
        return std::nullopt;
    return entry;
}

std::uint8_t IntegerCode(std::uint8_t storedType)
{
    switch (storedType) {
    case ods::kStoredShort:
        return kTypeSmallint;
    case ods::kStoredLong:
        return kTypeInteger;
    default:
        return kTypeBigint;
    }
}

bool IsInteger(std::uint8_t storedType)
{
    return storedType == ods::kStoredShort || storedType == ods::kStoredLong || storedType == ods::kStoredInt64;
}

// The exact numeric kind of a scaled integer: DECIMAL when its sub type says
// so, NUMERIC otherwise.
std::uint8_t ScaledCode(const ods::FormatField& field)
{
    return field.subType == kTypeDecimal ? kTypeDecimal : kTypeNumeric;
}

}  // namespace

void ReadRecordFormats(CatalogueContext& scan, const ods::PageListNode& node)
{
    std::vector<FormatEntry> entries;
    ods::RecordImage image;
    ods::ForEachRecordSlot(scan.context, node, scan.link.stopRequested, [&](ods::RecordStream& record) {
        if (std::optional<FormatEntry> entry = ReadFormatEntry(record, image))
            entries.push_back(*entry);
    });
    if (entries.empty() || scan.link.Stopped())
        return;

    ods::BlobStore store(scan.context, scan.pageLists, ods::kRelFormats);
    std::vector<std::byte> descriptor;
    for (const FormatEntry& entry : entries) {
        if (scan.link.Stopped())
            return;
        std::vector<ods::RecordFormat>& formats = scan.model.recordFormats[entry.relationId];
        const bool known = std::any_of(formats.begin(), formats.end(),
                                       [&entry](const ods::RecordFormat& format) { return format.number == entry.number; });
        const std::optional<ods::BlobLocation> location = known ? std::nullopt : store.Locate(entry.descriptor);
        if (!location)
            continue;
        descriptor.clear();
        const ods::BlobReadResult read = store.Read(*location, [&descriptor](std::span<const std::byte> bytes) {
            descriptor.insert(descriptor.end(), bytes.begin(), bytes.end());
            return descriptor.size() <= ods::kMaxRecordLength;
        });
        if (read.status != ods::BlobReadStatus::Complete)
            continue;
        std::optional<std::vector<ods::FormatField>> fields = ods::ParseFormatDescriptor(descriptor);
        if (!fields)
            continue;
        ods::RecordFormat format;
        format.relationId = entry.relationId;
        format.number = entry.number;
        format.fields = std::move(*fields);
        const auto at = std::upper_bound(
            formats.begin(), formats.end(), format.number,
            [](std::uint16_t number, const ods::RecordFormat& other) { return number < other.number; });
        formats.insert(at, std::move(format));
    }
    std::erase_if(scan.model.recordFormats, [](const auto& item) { return item.second.empty(); });
}

bool ColumnAgreesWithField(const COLUMN& column, const ods::FormatField& field)
{
    if (field.type == ods::kStoredArray || column.dimensions != 0)
        return field.type == ods::kStoredArray && column.dimensions != 0;
    if (IsInteger(field.type)) {
        if (column.typeCode == kTypeNumeric || column.typeCode == kTypeDecimal)
            return column.length == field.length && column.scale == static_cast<std::uint16_t>(-field.scale);
        return field.scale == 0 && column.typeCode == IntegerCode(field.type) && column.length == field.length;
    }
    switch (field.type) {
    case ods::kStoredText:
        return column.typeCode == kTypeChar && column.length == field.length;
    case ods::kStoredVarying:
        return column.typeCode == kTypeVarchar && column.length + 2u == field.length;
    case ods::kStoredFloat:
        return column.typeCode == kTypeFloat;
    case ods::kStoredDouble:
        return column.typeCode == kTypeDouble;
    case ods::kStoredDate:
        return column.typeCode == kTypeDate;
    case ods::kStoredTime:
        return column.typeCode == kTypeTime;
    case ods::kStoredTimestamp:
        return column.typeCode == kTypeTimestamp;
    case ods::kStoredBlob:
        return column.typeCode == kTypeBlob;
    default:
        return true;
    }
}

COLUMN ColumnOfField(const COLUMN& column, const ods::FormatField& field)
{
    COLUMN typed = column;
    typed.scale = 0;
    typed.precision = 0;
    typed.dimensions = 0;
    typed.length = field.length;
    std::uint8_t code = 0;
    if (field.type == ods::kStoredArray) {
        // The element type is not in the format; the catalogue's stays.
        typed = column;
        typed.dimensions = std::max<std::uint16_t>(column.dimensions, 1);
        return typed;
    }
    if (IsInteger(field.type)) {
        if (field.scale != 0 || field.subType == kTypeNumeric || field.subType == kTypeDecimal) {
            code = ScaledCode(field);
            typed.scale = static_cast<std::uint16_t>(-field.scale);
            typed.precision = field.precision;
        } else {
            code = IntegerCode(field.type);
        }
    } else {
        switch (field.type) {
        case ods::kStoredText:
            code = kTypeChar;
            break;
        case ods::kStoredVarying:
            code = kTypeVarchar;
            typed.length = static_cast<std::uint16_t>(field.length >= 2 ? field.length - 2 : 0);
            break;
        case ods::kStoredFloat:
            code = kTypeFloat;
            break;
        case ods::kStoredDouble:
            code = kTypeDouble;
            break;
        case ods::kStoredDate:
            code = kTypeDate;
            break;
        case ods::kStoredTime:
            code = kTypeTime;
            break;
        case ods::kStoredTimestamp:
            code = kTypeTimestamp;
            break;
        case ods::kStoredBlob:
            code = kTypeBlob;
            typed.blobSubTypeName = BlobSubTypeName(static_cast<std::uint8_t>(field.subType));
            break;
        default:
            return column;  // a stored type this reader does not know: nothing better to offer
        }
    }
    const MappedType mapped = MapTypeByte(code, typed.length);
    typed.typeCode = mapped.typeCode;
    typed.length = mapped.length;
    typed.typeName = mapped.typeName;
    typed.characterSet = field.characterSet();
    return typed;
}

void ApplyRecordFormats(SchemaModel& model)
{
    for (TableNode& table : model.tables) {
        const ods::RecordFormat* newest = model.NewestRecordFormat(table.relationId);
        if (newest == nullptr)
            continue;
        for (COLUMN& column : table.columns) {
            if (column.fieldId < 0 || static_cast<std::size_t>(column.fieldId) >= newest->fields.size())
                continue;
            const ods::FormatField& field = newest->fields[static_cast<std::size_t>(column.fieldId)];
            if (!newest->Stored(field))
                continue;
            if (!ColumnAgreesWithField(column, field))
                column = ColumnOfField(column, field);
            column.characterSet = field.characterSet();
        }
    }
}

std::string RebuiltColumnName(std::uint16_t fieldId) { return "COLUMN_" + std::to_string(fieldId); }

std::string RebuiltTableName(std::uint32_t relationId) { return "TABLE_" + std::to_string(relationId); }

namespace {

// A column for the field numbered fieldId of a format; nullopt for a field
// that is not stored or whose type cannot be declared.
std::optional<COLUMN> RebuiltColumn(const ods::RecordFormat& format, std::uint16_t fieldId)
{
    const ods::FormatField& field = format.fields[fieldId];
    if (!format.Stored(field) || field.type == ods::kStoredArray)
        return std::nullopt;
    COLUMN blank;
    blank.name = RebuiltColumnName(fieldId);
    blank.fieldId = fieldId;
    blank.position = fieldId;
    COLUMN column = ColumnOfField(blank, field);
    if (column.typeCode == 0 || column.typeName.empty())
        return std::nullopt;
    return column;
}

// Adds a rebuilt column for every stored field no column of the table
// names; yields the names added.
std::vector<std::string> AddMissingColumns(TableNode& table, const ods::RecordFormat& format)
{
    std::vector<std::string> added;
    std::vector<bool> named(format.fields.size(), false);
    for (const COLUMN& column : table.columns) {
        if (column.fieldId < 0)
            return added;  // the surviving columns cannot say which fields they are
        if (static_cast<std::size_t>(column.fieldId) < named.size())
            named[static_cast<std::size_t>(column.fieldId)] = true;
    }
    for (std::size_t id = 0; id < format.fields.size(); ++id) {
        if (named[id])
            continue;
        if (auto column = RebuiltColumn(format, static_cast<std::uint16_t>(id))) {
            added.push_back(column->name);
            table.columns.push_back(std::move(*column));
        }
    }
    if (!added.empty()) {
        std::stable_sort(table.columns.begin(), table.columns.end(),
                         [](const COLUMN& a, const COLUMN& b) { return a.fieldId < b.fieldId; });
    }
    return added;
}

// Whether the columns are exactly the fields of the format: one column per
// stored field, by field id, each agreeing with its field; a computed
// column names a field the format keeps without storing it.
bool ColumnsMatchFormat(const TableNode& table, const ods::RecordFormat& format)
{
    std::size_t stored = 0;
    for (const ods::FormatField& field : format.fields)
        stored += format.Stored(field) ? 1 : 0;
    std::size_t matched = 0;
    for (const COLUMN& column : table.columns) {
        if (column.fieldId < 0 || static_cast<std::size_t>(column.fieldId) >= format.fields.size())
            return false;
        const ods::FormatField& field = format.fields[static_cast<std::size_t>(column.fieldId)];
        if (field.dropped())
            return false;
        if (!format.Stored(field))
            continue;
        if (!ColumnAgreesWithField(column, field))
            return false;
        ++matched;
    }
    return stored != 0 && matched == stored;
}

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

void RebuildFromRecordFormats(CatalogueContext& scan)
{
    SchemaModel& model = scan.model;
    std::set<std::uint32_t> withPages;
    for (const ods::PageListNode& node : scan.pageLists) {
        if (node.relationId >= ods::kFirstUserRelation &&
            (node.pageType == ods::kPointerPage || node.pageType == ods::kDataPage) && !node.pagePositions.empty())
            withPages.insert(node.relationId);
    }
    const auto hasTable = [&model](std::uint32_t relationId) {
        return std::any_of(model.tables.begin(), model.tables.end(),
                           [relationId](const TableNode& table) { return table.relationId == relationId; });
    };

    // Relations whose relation record survives but not one column record.
    for (const TABLEIDNAME& relation : model.relations) {
        if (relation.relationId < ods::kFirstUserRelation || model.FindTable(relation.name) != nullptr ||
            hasTable(relation.relationId))
            continue;
        const ods::RecordFormat* newest = model.NewestRecordFormat(relation.relationId);
        if (newest == nullptr)
            continue;
        TableNode table{relation.name, relation.relationId, relation.fieldIdCount, {}};
        const std::vector<std::string> added = AddMissingColumns(table, *newest);
        if (added.empty())
            continue;
        scan.link.Log(kColumnsRebuiltText + table.name + ": " + JoinNames(added));
        model.tables.push_back(std::move(table));
    }

    // Tables that lost some of their column records.
    for (TableNode& table : model.tables) {
        if (table.relationId < ods::kFirstUserRelation)
            continue;
        const ods::RecordFormat* newest = model.NewestRecordFormat(table.relationId);
        if (newest == nullptr)
            continue;
        const std::vector<std::string> added = AddMissingColumns(table, *newest);
        if (!added.empty())
            scan.link.Log(kColumnsRebuiltText + table.name + ": " + JoinNames(added));
    }

    // Relations with pages and a format that no relation record names.
    std::vector<std::uint32_t> unnamed;
    for (const auto& [relationId, formats] : model.recordFormats) {
        if (relationId >= ods::kFirstUserRelation && !formats.empty() && withPages.count(relationId) != 0 &&
            !hasTable(relationId))
            unnamed.push_back(relationId);
    }
    // A table known by its columns alone takes the one such relation its
    // columns match.
    for (TableNode& table : model.tables) {
        if (table.relationId != 0)
            continue;
        std::vector<std::uint32_t> matches;
        for (const std::uint32_t relationId : unnamed) {
            if (ColumnsMatchFormat(table, *model.NewestRecordFormat(relationId)))
                matches.push_back(relationId);
        }
        if (matches.size() != 1)
            continue;
        table.relationId = matches.front();
        table.fieldIdCount = static_cast<std::uint32_t>(model.NewestRecordFormat(table.relationId)->fields.size());
        std::erase(unnamed, table.relationId);
        ++scan.tableCount;
        scan.link.Log(kRelationFoundText + table.name + ": " + std::to_string(table.relationId));
    }
    for (const std::uint32_t relationId : unnamed) {
        const ods::RecordFormat& newest = *model.NewestRecordFormat(relationId);
        TableNode table{RebuiltTableName(relationId), relationId, static_cast<std::uint32_t>(newest.fields.size()), {}};
        if (model.FindTable(table.name) != nullptr || AddMissingColumns(table, newest).empty())
            continue;
        model.relations.push_back(TABLEIDNAME{table.name, relationId, table.fieldIdCount});
        ++scan.tableCount;
        const std::size_t columns = table.columns.size();
        scan.link.Log(kTableRebuiltText + table.name + " (" + std::to_string(columns) +
                      (columns == 1 ? " column)" : " columns)"));
        model.tables.push_back(std::move(table));
    }
}

}  // namespace ravelin::catalogue
