#include "writer/tabledefinition.h"

#include <algorithm>
#include <optional>

#include "catalogue/fielddefinitions.h"
#include "ods/recordformat.h"

#include "writer/sqlnames.h"

namespace ravelin::writer {
namespace {

using catalogue::EqualsNoCase;

// The default text of column, when it has one that can be found.
const std::string* FindDefaultText(const catalogue::SchemaModel& model, const catalogue::COLUMN& column)
{
    for (const catalogue::COLIDANDDEFINDEX& link : model.columnDefaults) {
        if (link.name == column.fieldSource) {
            if (link.defaultIndex < model.defaultTexts.size())
                return &model.defaultTexts[link.defaultIndex];
            return nullptr;
        }
    }
    return nullptr;
}

bool IsNotNull(const catalogue::SchemaModel& model, const catalogue::COLUMN& column)
{
    for (const catalogue::SPLITCOLIDWITHNULL& marker : model.notNullSources) {
        if (EqualsNoCase(marker.fieldSource, column.fieldSource))
            return marker.notNull != 0 || column.notNull != 0;
    }
    return column.notNull != 0;
}

bool IsGeneratedName(const std::string& name)
{
    return name.size() >= 6 && EqualsNoCase(std::string_view(name).substr(0, 6), "INTEG_");
}

// The columns of the key that key (attached to its first column) stands
// for: the segments of the index that enforces the constraint, or the one
// column when that index is not in the model.
std::vector<std::string> KeySegments(const catalogue::SchemaModel& model, const catalogue::TableNode& table,
                                     const catalogue::COLKEYCONSNAME& key, const catalogue::COLUMN& column)
{
    for (const catalogue::KEYSCONTRAINTS& constraint : model.keyConstraints) {
        if (!EqualsNoCase(constraint.relationName, table.name) ||
            !EqualsNoCase(constraint.constraintType, key.constraintType))
            continue;
        const bool sameName = key.constraintName == " " ? IsGeneratedName(constraint.constraintName)
                                                        : EqualsNoCase(constraint.constraintName, key.constraintName);
        if (!sameName)
            continue;
        for (const catalogue::IndexNode& index : model.indices) {
            if (EqualsNoCase(index.name, constraint.indexName) && !index.segments.empty() &&
                EqualsNoCase(index.segments.front(), column.name))
                return index.segments;
        }
    }
    return {column.name};
}

// The key clause of one column, or nothing.
std::optional<std::string> KeyClause(const catalogue::SchemaModel& model, const catalogue::TableNode& table,
                                     const catalogue::COLUMN& column, std::vector<std::string>* notes)
{
    for (const catalogue::COLKEYCONSNAME& key : model.columnKeys) {
        if (!EqualsNoCase(key.columnName, column.name) || !EqualsNoCase(key.relationName, table.name))
            continue;
        std::string typeText;
        if (EqualsNoCase(key.constraintType, "PRIMARY KEY"))
            typeText = key.constraintType;
        else if (EqualsNoCase(key.constraintType, "UNIQUE"))
            typeText = "UNIQUE";
        else
            return std::nullopt;
        // Every column of a composite key: a key on its first column alone
        // would refuse rows the table holds.
        std::string columns;
        for (const std::string& segment : KeySegments(model, table, key, column)) {
            const catalogue::COLUMN* member = nullptr;
            for (const catalogue::COLUMN& candidate : table.columns) {
                if (EqualsNoCase(candidate.name, segment)) {
                    member = &candidate;
                    break;
                }
            }
            if (member == nullptr) {
                if (notes != nullptr)
                    notes->push_back("Key left out for column " + LoggableName(column.name) + " of table " +
                                     LoggableName(table.name) + ": its column " + LoggableName(segment) +
                                     " is not in the table");
                return std::nullopt;
            }
            if (!columns.empty())
                columns += ',';
            columns += WrittenColumnName(member->name);
        }
        std::string clause;
        if (key.constraintName != " ") {
            if (IsPlainIdentifier(key.constraintName)) {
                clause = "CONSTRAINT " + key.constraintName + " ";
            } else if (notes != nullptr) {
                notes->push_back("Constraint name left out for column " + LoggableName(column.name) + " of table " +
                                 LoggableName(table.name) + ": it is not a plain SQL identifier: " +
                                 LoggableName(key.constraintName));
            }
        }
        clause += typeText + "(" + columns + ")";
        return clause;
    }
    return std::nullopt;
}

}  // namespace

std::string UnsafeTableName(const catalogue::TableNode& table)
{
    if (!IsPlainIdentifier(table.name))
        return "the table name is not a plain SQL identifier (letters, digits, _ and $, starting with a letter)";
    for (const catalogue::COLUMN& column : table.columns) {
        if (!IsPlainIdentifier(column.name))
            return "the column name " + LoggableName(column.name) +
                   " is not a plain SQL identifier (letters, digits, _ and $, starting with a letter)";
    }
    return {};
}

namespace {

// " [l:u, …]": the bounds of an array column, when the file gives one for
// each of its dimensions; empty otherwise (and for a column that is no
// array).
std::string ArrayBoundsText(const catalogue::SchemaModel& model, const catalogue::COLUMN& column)
{
    if (column.dimensions == 0)
        return {};
    const auto found = model.fieldBounds.find(column.fieldSource);
    if (found == model.fieldBounds.end() || found->second.size() != column.dimensions)
        return {};
    std::string text = " [";
    for (std::size_t d = 0; d < found->second.size(); ++d) {
        if (d != 0)
            text += ", ";
        text += std::to_string(found->second[d].lower) + ':' + std::to_string(found->second[d].upper);
    }
    return text + ']';
}

// The type word of the salvage repair: DATE and TIME become TIMESTAMP.
std::string SalvageTypeWord(const catalogue::COLUMN& column)
{
    std::string typeWord = column.typeName;
    if (EqualsNoCase(typeWord, "DATE") || EqualsNoCase(typeWord, "TIME"))
        typeWord = "TIMESTAMP";
    // A 64-bit integer that carries a scale is a number with decimals.
    if (column.typeCode == catalogue::kTypeBigint && column.scale != 0 && !typeWord.empty())
        typeWord = "NUMERIC(18," + std::to_string(column.scale) + ")";
    return typeWord;
}

// The type text of the salvage repair: SalvageTypeWord with its size, BLOB
// a CHAR(250) path; empty when the type word is unknown.
std::string SalvageTypeText(const catalogue::COLUMN& column)
{
    const std::string typeWord = SalvageTypeWord(column);
    if (typeWord.empty())
        return {};
    if (EqualsNoCase(typeWord, "BLOB"))
        return "CHAR(250)";
    if (catalogue::HoldsUtf8Text(column)) {
        // UTF-8 texts keep their characters: the target column is
        // declared in characters of its own UTF8 set.
        return typeWord + "(" + std::to_string(catalogue::CharacterLength(column)) + ") CHARACTER SET UTF8 ";
    }
    if (column.typeCode == catalogue::kTypeChar || column.typeCode == catalogue::kTypeVarchar) {
        // Other texts arrive one byte per character.
        return typeWord + "(" + std::to_string(column.length) + ") ";
    }
    if (column.typeCode == catalogue::kTypeNumeric || column.typeCode == catalogue::kTypeDecimal)
        return typeWord + "(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")";
    return typeWord;
}

// The columns in the order the definition lists them. An exact restore
// lists them in declared order and leaves the computed ones to be added
// after the data (ExactComputedColumns).
std::vector<const catalogue::COLUMN*> DefinitionOrder(const catalogue::SchemaModel& model,
                                                      const catalogue::TableNode& table, bool declared)
{
    std::vector<const catalogue::COLUMN*> order;
    order.reserve(table.columns.size());
    for (const catalogue::COLUMN& column : table.columns) {
        if (!declared || model.computedFields.count(column.fieldSource) == 0)
            order.push_back(&column);
    }
    if (declared) {
        std::stable_sort(order.begin(), order.end(), [](const catalogue::COLUMN* a, const catalogue::COLUMN* b) {
            return a->position < b->position;
        });
    }
    return order;
}

std::string CreateTableText(const catalogue::SchemaModel& model, const catalogue::TableNode& table, bool exact,
                            const std::atomic<bool>* stopRequested, std::vector<std::string>* notes,
                            std::size_t* keyClauses, const std::set<std::string>* domains = nullptr)
{
    if (keyClauses != nullptr)
        *keyClauses = 0;
    if (!UnsafeTableName(table).empty())
        return {};
    std::string statement = "CREATE TABLE " + table.name + "(";
    std::vector<std::string> clauses;
    const std::vector<const catalogue::COLUMN*> order = DefinitionOrder(model, table, exact);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (stopRequested != nullptr && stopRequested->load(std::memory_order_relaxed))
            break;
        const catalogue::COLUMN& column = *order[i];
        const std::string writtenName = WrittenColumnName(column.name);
        statement += writtenName;
        statement += ' ';

        // A column whose type could not be read (a computed column, a type
        // without a word) still gets one, so that the table and its other
        // columns' values are not lost with it.
        const bool ofDomain = exact && domains != nullptr && domains->count(column.fieldSource) != 0;
        const std::string typeText = ofDomain ? column.fieldSource
                                     : exact  ? ExactTypeText(column)
                                              : SalvageTypeText(column);
        const bool unknown = typeText.empty();
        statement += unknown ? std::string(kUnknownTypeText) : typeText;
        // An exact restore gives an array column of a known type its bounds,
        // and its values are copied.
        const std::string bounds = exact && !unknown && !ofDomain ? ArrayBoundsText(model, column) : std::string();
        statement += bounds;
        if (unknown && exact && notes != nullptr)
            notes->push_back("Column " + LoggableName(column.name) + " of table " + LoggableName(table.name) +
                             " created as " + kUnknownTypeText + ": its type could not be read");

        if (column.hasDefault) {
            // A default whose text cannot be found is left out.
            if (const std::string* stored = FindDefaultText(model, column)) {
                if (const std::optional<std::string> text = SafeDefaultText(*stored)) {
                    statement += " DEFAULT " + *text;
                } else if (notes != nullptr && !stored->empty() && *stored != " ") {
                    notes->push_back("Default left out for column " + LoggableName(column.name) + " of table " +
                                     LoggableName(table.name) + ": it is not a single value: " +
                                     LoggableName(*stored));
                }
            }
        }

        // An array column becomes a plain column of its element type: its
        // elements are not read, every record gives it NULL, so it must
        // accept NULL.
        if (column.dimensions != 0 && bounds.empty()) {
            if (notes != nullptr)
                notes->push_back("Array column " + LoggableName(column.name) + " of table " +
                                 LoggableName(table.name) + " created as a plain " +
                                 (unknown ? std::string(kUnknownTypeText)
                                          : exact ? typeText
                                                  : SalvageTypeWord(column)) +
                                 " column: its array values are not copied");
        } else if (IsNotNull(model, column) || (exact && model.notNullFields.count(column.fieldSource) != 0)) {
            statement += " NOT NULL ";
        }

        if (std::optional<std::string> clause = KeyClause(model, table, column, notes))
            clauses.push_back(std::move(*clause));

        if (i + 1 < order.size())
            statement += ',';
    }
    if (!clauses.empty()) {
        statement += ',';
        for (std::size_t i = 0; i < clauses.size(); ++i) {
            if (i > 0)
                statement += ',';
            statement += clauses[i];
        }
    }
    statement += ')';
    if (keyClauses != nullptr)
        *keyClauses = clauses.size();
    return statement;
}

}  // namespace

std::string BuildCreateTable(const catalogue::SchemaModel& model, const catalogue::TableNode& table,
                             const std::atomic<bool>* stopRequested, std::vector<std::string>* notes,
                             std::size_t* keyClauses)
{
    return CreateTableText(model, table, false, stopRequested, notes, keyClauses);
}

std::string BuildExactCreateTable(const catalogue::SchemaModel& model, const catalogue::TableNode& table,
                                  const std::atomic<bool>* stopRequested, std::vector<std::string>* notes,
                                  std::size_t* keyClauses, const std::set<std::string>* domains)
{
    return CreateTableText(model, table, true, stopRequested, notes, keyClauses, domains);
}

std::string BuildCreateDomain(const catalogue::SchemaModel& model, const catalogue::COLDOMAIN& domain)
{
    if (domain.dimensions != 0 || !IsPlainIdentifier(domain.name))
        return {};
    // The type of a column of the domain, which knows its character set;
    // the domain's own where no column uses it.
    catalogue::COLUMN type;
    bool found = false;
    for (const catalogue::TableNode& table : model.tables) {
        for (const catalogue::COLUMN& column : table.columns) {
            if (column.fieldSource == domain.name && column.typeCode == domain.typeCode) {
                type = column;
                found = true;
                break;
            }
        }
        if (found)
            break;
    }
    if (!found) {
        type.typeCode = domain.typeCode;
        type.length = domain.length;
        type.typeName = domain.typeName;
        type.precision = domain.precision;
        type.scale = domain.scale;
        type.blobSubTypeName = domain.blobSubTypeName;
    }
    const std::string typeText = ExactTypeText(type);
    if (typeText.empty())
        return {};
    std::string statement = "CREATE DOMAIN " + domain.name + " AS " + typeText;
    const auto stored = model.domainDefaults.find(domain.name);
    if (stored != model.domainDefaults.end()) {
        std::string_view text = stored->second;
        if (text.size() > 7 && EqualsNoCase(text.substr(0, 7), "DEFAULT"))
            text.remove_prefix(7);
        if (const std::optional<std::string> value = SafeDefaultText(text))
            statement += " DEFAULT " + *value;
    }
    if (model.notNullFields.count(domain.name) != 0)
        statement += " NOT NULL";
    return statement;
}

std::vector<ComputedColumn> ExactComputedColumns(const catalogue::SchemaModel& model, const catalogue::TableNode& table)
{
    std::vector<const catalogue::COLUMN*> declared;
    for (const catalogue::COLUMN& column : table.columns)
        declared.push_back(&column);
    std::stable_sort(declared.begin(), declared.end(), [](const catalogue::COLUMN* a, const catalogue::COLUMN* b) {
        return a->position < b->position;
    });
    std::vector<ComputedColumn> computed;
    for (std::size_t i = 0; i < declared.size(); ++i) {
        const catalogue::COLUMN& column = *declared[i];
        if (model.computedFields.count(column.fieldSource) == 0)
            continue;
        ComputedColumn entry;
        entry.name = column.name;
        entry.position = static_cast<std::uint32_t>(i + 1);
        const auto source = model.computedSources.find(column.fieldSource);
        if (source != model.computedSources.end() && IsPlainIdentifier(table.name) && IsPlainIdentifier(column.name)) {
            std::string expression = source->second;
            if (expression.empty() || expression.front() != '(' || expression.back() != ')')
                expression = "(" + expression + ")";
            const std::string type = ExactTypeText(column);
            entry.statement = "ALTER TABLE " + table.name + " ADD " + WrittenColumnName(column.name) + " " +
                              (type.empty() ? std::string() : type + " ") + "COMPUTED BY " + expression;
            entry.placement = "ALTER TABLE " + table.name + " ALTER " + WrittenColumnName(column.name) + " POSITION " +
                              std::to_string(entry.position);
        }
        computed.push_back(std::move(entry));
    }
    return computed;
}

std::string ExactTypeText(const catalogue::COLUMN& column)
{
    using namespace catalogue;
    const auto sized = [](std::string_view word, unsigned precision, unsigned scale) {
        return std::string(word) + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    };
    switch (column.typeCode) {
    case kTypeSmallint:
        return "SMALLINT";
    case kTypeInteger:
        return "INTEGER";
    case kTypeBigint:
        return column.scale != 0 ? sized("NUMERIC", 18, column.scale) : std::string("BIGINT");
    case kTypeNumeric:
    case kTypeDecimal: {
        // Without a stored precision the storage width gives the most digits
        // it holds.
        unsigned precision = column.precision;
        if (precision == 0)
            precision = column.length <= 2 ? 4 : column.length <= 4 ? 9 : 18;
        precision = std::max<unsigned>(precision, column.scale);
        return sized(column.typeCode == kTypeNumeric ? "NUMERIC" : "DECIMAL", precision, column.scale);
    }
    case kTypeFloat:
        return "FLOAT";
    case kTypeDouble:
        return "DOUBLE PRECISION";
    case kTypeDate:
        return "DATE";
    case kTypeTime:
        return "TIME";
    case kTypeTimestamp:
        return "TIMESTAMP";
    case kTypeBoolean:
        return "BOOLEAN";
    case kTypeChar:
    case kTypeVarchar: {
        std::string text = column.typeCode == kTypeChar ? "CHAR(" : "VARCHAR(";
        text += std::to_string(std::max<unsigned>(CharacterLength(column), 1)) + ")";
        const std::string_view set = ods::CharacterSetName(column.characterSet);
        if (!set.empty() && column.characterSet != ods::kCharsetNone)
            text += " CHARACTER SET " + std::string(set);
        return text;
    }
    case kTypeBlob: {
        if (column.blobSubTypeName == "TEXT")
            return "BLOB SUB_TYPE TEXT";
        if (column.blobSubTypeName.empty() || column.blobSubTypeName == "DEFAULT" ||
            column.blobSubTypeName == "UNKNOWN")
            return "BLOB SUB_TYPE BINARY";
        // The server's own sub-types (BLR, ACL, ...) by number.
        for (std::uint8_t subType = 2; subType < 9; ++subType) {
            if (BlobSubTypeName(subType) == column.blobSubTypeName)
                return "BLOB SUB_TYPE " + std::to_string(subType);
        }
        return "BLOB SUB_TYPE BINARY";
    }
    default:
        return {};
    }
}

}  // namespace ravelin::writer
