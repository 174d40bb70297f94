#include "cli/schemacommand.h"

#include "catalogue/generators.h"

#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include "catalogue/generators.h"
#include "catalogue/readers.h"
#include "cli/consoleframe.h"
#include "cli/jobrun.h"
#include "cli/scancommand.h"
#include "job/jobdriver.h"
#include "ods/textcodec.h"

namespace ravelin::cli {
namespace {

using catalogue::COLDOMAIN;
using catalogue::COLUMN;
using catalogue::SchemaModel;
using Json = nlohmann::ordered_json;

// Record counting is not needed for the schema: it is logged as skipped.
class SkippedCounting final : public job::ExtractionSteps {
public:
    void CountTableRecords(job::JobContext& job) override
    {
        if (!job.state.scanning)
            return;
        job.engine.skipCounting.store(true);
        job::FinishRecordCounting(job);
    }
    void TransferTableData(job::JobContext&) override {}
    void WalkTableRecords(job::JobContext&) override {}
};

bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

std::string TypeText(std::uint8_t typeCode, const std::string& typeName, std::uint16_t length,
                     std::uint16_t precision, std::uint16_t scale)
{
    if (typeName.empty())
        return typeCode == 0 ? "(type unknown)" : "(type " + std::to_string(typeCode) + ")";
    switch (typeCode) {
    case catalogue::kTypeChar:
    case catalogue::kTypeVarchar:
        return typeName + "(" + std::to_string(length) + ")";
    case catalogue::kTypeNumeric:
    case catalogue::kTypeDecimal:
        if (precision != 0)
            return typeName + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
        // The precision was not read: the scale alone still tells the decimals.
        if (scale != 0)
            return typeName + "(?," + std::to_string(scale) + ")";
        return typeName;
    case catalogue::kTypeBigint:
        return scale != 0 ? "NUMERIC(18," + std::to_string(scale) + ")" : typeName;
    default:
        return typeName;
    }
}

Json OptionalText(const std::string& text)
{
    return text.empty() ? Json(nullptr) : Json(text);
}

// The keys DeriveColumnKeys attaches to the table's columns.
std::vector<catalogue::COLKEYCONSNAME> KeysOf(SchemaModel& scratch, const std::string& tableName)
{
    catalogue::DeriveColumnKeys(scratch, tableName);
    std::vector<catalogue::COLKEYCONSNAME> keys;
    for (const catalogue::COLKEYCONSNAME& key : scratch.columnKeys) {
        if (catalogue::EqualsNoCase(key.relationName, tableName))
            keys.push_back(key);
    }
    return keys;
}

// A model to derive keys in, so the caller's columnKeys stay as they are.
SchemaModel KeyScratch(const SchemaModel& model)
{
    SchemaModel scratch;
    scratch.indices = model.indices;
    scratch.keyConstraints = model.keyConstraints;
    return scratch;
}

std::string Padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

void WriteTableText(std::ostream& out, const SchemaModel& model, SchemaModel& scratch, const catalogue::TableNode& table)
{
    out << "TABLE " << table.name << " (relation " << table.relationId << ")\n";
    std::size_t nameWidth = 0;
    for (const COLUMN& column : table.columns)
        nameWidth = std::max(nameWidth, column.name.size());
    for (const COLUMN& column : table.columns) {
        out << "    " << Padded(column.name, nameWidth) << "  " << SqlTypeText(column);
        if (const auto text = ColumnDefaultText(model, column))
            out << " DEFAULT " << *text;
        else if (column.hasDefault)
            out << " DEFAULT (text not found)";
        if (column.notNull)
            out << " NOT NULL";
        if (!column.fieldSource.empty() && column.fieldSource.rfind("RDB$", 0) != 0)
            out << "  -- domain " << column.fieldSource;
        out << '\n';
    }
    for (const catalogue::COLKEYCONSNAME& key : KeysOf(scratch, table.name)) {
        out << "    " << key.constraintType << " (" << key.columnName << ")";
        if (!IsBlank(key.constraintName))
            out << " constraint " << key.constraintName;
        out << '\n';
    }
    out << '\n';
}

}  // namespace

std::string SqlTypeText(const COLUMN& column)
{
    if (column.typeCode == catalogue::kTypeBlob && !column.typeName.empty()) {
        std::string text = column.typeName;
        if (!column.blobSubTypeName.empty())
            text += " SUB_TYPE " + column.blobSubTypeName;
        return text;
    }
    std::string text = TypeText(column.typeCode, column.typeName, catalogue::CharacterLength(column),
                                column.precision, column.scale);
    if (catalogue::HoldsUtf8Text(column))
        text += " CHARACTER SET UTF8";
    return text;
}

std::string SqlTypeText(const COLDOMAIN& domain)
{
    return TypeText(domain.typeCode, domain.typeName, domain.length, domain.precision, domain.scale);
}

std::optional<std::string> ColumnDefaultText(const SchemaModel& model, const COLUMN& column)
{
    if (!column.hasDefault)
        return std::nullopt;
    const auto link = std::find_if(model.columnDefaults.begin(), model.columnDefaults.end(),
                                   [&column](const catalogue::COLIDANDDEFINDEX& entry) {
                                       return entry.name == column.fieldSource;
                                   });
    if (link == model.columnDefaults.end() || link->defaultIndex >= model.defaultTexts.size())
        return std::nullopt;
    const std::string& text = model.defaultTexts[link->defaultIndex];
    if (IsBlank(text))
        return std::nullopt;
    return text;
}

std::string SchemaJson(const SchemaModel& model, std::uint32_t pageSize)
{
    SchemaModel scratch = KeyScratch(model);
    Json root;
    root["page_size"] = pageSize;

    Json tables = Json::array();
    for (const catalogue::TableNode& table : model.tables) {
        Json columns = Json::array();
        for (const COLUMN& column : table.columns) {
            const auto defaultText = ColumnDefaultText(model, column);
            const auto computedSource = model.computedSources.find(column.fieldSource);
            columns.push_back(Json{
                {"name", column.name},
                {"field_source", column.fieldSource},
                {"type", column.typeName},
                {"type_code", column.typeCode},
                {"length", column.length},
                {"character_length", catalogue::CharacterLength(column)},
                {"character_set", column.characterSet},
                {"field_id", column.fieldId},
                {"precision", column.precision},
                {"scale", column.scale},
                {"not_null", column.notNull != 0},
                {"domain_not_null", model.notNullFields.count(column.fieldSource) != 0},
                {"computed", model.computedFields.count(column.fieldSource) != 0},
                {"computed_source",
                 computedSource == model.computedSources.end() ? Json(nullptr) : Json(computedSource->second)},
                {"has_default", column.hasDefault != 0},
                {"default", defaultText ? Json(*defaultText) : Json(nullptr)},
                {"position", column.position},
                {"blob_sub_type", OptionalText(column.blobSubTypeName)},
                {"segment", column.blobSegmentByte},
            });
        }
        Json keys = Json::array();
        for (const catalogue::COLKEYCONSNAME& key : KeysOf(scratch, table.name))
            keys.push_back(Json{{"column", key.columnName}, {"type", key.constraintType}, {"constraint", key.constraintName}});
        tables.push_back(Json{{"name", table.name}, {"relation_id", table.relationId}, {"columns", std::move(columns)},
                              {"keys", std::move(keys)}});
    }
    root["tables"] = std::move(tables);

    Json views = Json::array();
    for (const catalogue::ViewNode& view : model.views) {
        Json columns = Json::array();
        for (const catalogue::VIEWCOLUMN& column : view.columns)
            columns.push_back(Json{{"name", column.columnName}, {"field_source", column.fieldSource}});
        const auto source = model.viewSources.find(view.name);
        views.push_back(Json{{"name", view.name},
                             {"columns", std::move(columns)},
                             {"source", source == model.viewSources.end() ? Json(nullptr) : Json(source->second)}});
    }
    root["views"] = std::move(views);

    Json indices = Json::array();
    for (const catalogue::IndexNode& index : model.indices) {
        Json entry{{"name", index.name},
                   {"relation", index.relationName},
                   {"segments", index.segments},
                   {"foreign_key", OptionalText(index.foreignKey)}};
        // The record's fixed fields; null where they could not be read.
        const auto attribute = [&index](bool value) { return index.attributesRead ? Json(value) : Json(nullptr); };
        entry["unique"] = attribute(index.unique);
        entry["descending"] = attribute(index.descending);
        entry["inactive"] = attribute(index.inactive);
        indices.push_back(std::move(entry));
    }
    root["indices"] = std::move(indices);

    Json constraints = Json::array();
    for (const catalogue::KEYSCONTRAINTS& constraint : model.keyConstraints) {
        constraints.push_back(Json{{"type", constraint.constraintType},
                                   {"name", constraint.constraintName},
                                   {"relation", constraint.relationName},
                                   {"index", constraint.indexName}});
    }
    root["constraints"] = std::move(constraints);

    Json domains = Json::array();
    for (const COLDOMAIN& domain : model.domains)
        domains.push_back(Json{{"name", domain.name}, {"type", domain.typeName}, {"length", domain.length}});
    root["domains"] = std::move(domains);
    Json generators = Json::array();
    for (const catalogue::GENERATOR& generator : model.generators) {
        if (generator.system)
            continue;
        const std::optional<std::int64_t> value = catalogue::GeneratorValue(model, generator.id);
        generators.push_back(
            {{"name", generator.name}, {"id", generator.id}, {"value", value ? Json(*value) : Json(nullptr)}});
    }
    root["generators"] = std::move(generators);

    Json triggers = Json::array();
    for (const catalogue::TRIGGER& trigger : model.triggers) {
        triggers.push_back(Json{{"name", trigger.name},
                                {"relation", trigger.relationName},
                                {"sequence", trigger.sequence},
                                {"type", trigger.type},
                                {"inactive", trigger.inactive},
                                {"source", OptionalText(trigger.source)}});
    }
    root["triggers"] = std::move(triggers);

    Json procedures = Json::array();
    for (const catalogue::PROCEDURE& procedure : model.procedures) {
        Json parameters = Json::array();
        for (const catalogue::PROCEDUREPARAMETER& parameter : model.procedureParameters) {
            if (parameter.procedureName == procedure.name)
                parameters.push_back(Json{{"name", parameter.name},
                                          {"number", parameter.number},
                                          {"output", parameter.output},
                                          {"field_source", parameter.fieldSource}});
        }
        procedures.push_back(Json{{"name", procedure.name},
                                  {"parameters", std::move(parameters)},
                                  {"source", OptionalText(procedure.source)}});
    }
    root["procedures"] = std::move(procedures);

    Json exceptions = Json::array();
    for (const catalogue::EXCEPTION& exception : model.exceptions)
        exceptions.push_back(Json{{"name", exception.name}, {"message", exception.message}});
    root["exceptions"] = std::move(exceptions);

    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string SchemaText(const SchemaModel& model, std::uint32_t pageSize)
{
    SchemaModel scratch = KeyScratch(model);
    std::ostringstream out;
    out << "Page size: " << pageSize << " bytes\n\n";

    out << "Tables: " << model.tables.size() << "\n\n";
    for (const catalogue::TableNode& table : model.tables)
        WriteTableText(out, model, scratch, table);

    out << "Views: " << model.views.size() << "\n\n";
    for (const catalogue::ViewNode& view : model.views) {
        out << "VIEW " << view.name << '\n';
        std::size_t nameWidth = 0;
        for (const catalogue::VIEWCOLUMN& column : view.columns)
            nameWidth = std::max(nameWidth, column.columnName.size());
        for (const catalogue::VIEWCOLUMN& column : view.columns)
            out << "    " << Padded(column.columnName, nameWidth) << "  -- field source " << column.fieldSource << '\n';
        out << '\n';
    }

    out << "Indices: " << model.indices.size() << '\n';
    for (const catalogue::IndexNode& index : model.indices) {
        out << "    " << index.name << " ON " << (index.relationName.empty() ? "(relation unknown)" : index.relationName)
            << " (";
        for (std::size_t i = 0; i < index.segments.size(); ++i)
            out << (i ? ", " : "") << index.segments[i];
        out << ")";
        if (!index.foreignKey.empty())
            out << " REFERENCES " << index.foreignKey;
        out << '\n';
    }
    out << '\n';

    out << "Constraints: " << model.keyConstraints.size() << '\n';
    for (const catalogue::KEYSCONTRAINTS& constraint : model.keyConstraints) {
        out << "    " << constraint.constraintName << "  " << constraint.constraintType << " ON "
            << constraint.relationName;
        if (!constraint.indexName.empty())
            out << " USING INDEX " << constraint.indexName;
        out << '\n';
    }
    out << '\n';

    out << "Domains: " << model.domains.size() << '\n';
    for (const COLDOMAIN& domain : model.domains)
        out << "    " << domain.name << "  " << SqlTypeText(domain) << '\n';

    // The database's own generators with their current values (the
    // server's own are left out).
    std::vector<const catalogue::GENERATOR*> generators;
    for (const catalogue::GENERATOR& generator : model.generators) {
        if (!generator.system)
            generators.push_back(&generator);
    }
    out << "\nGenerators: " << generators.size() << '\n';
    for (const catalogue::GENERATOR* generator : generators) {
        const std::optional<std::int64_t> value = catalogue::GeneratorValue(model, generator->id);
        out << "    " << generator->name << " = " << (value ? std::to_string(*value) : "(value lost)") << '\n';
    }
    return out.str();
}

// The schema text with every line shown escaped (ods::ShownText): names
// from the file never hold a line break or a control sequence on the
// terminal.
std::string ShownSchemaText(const SchemaModel& model, std::uint32_t pageSize)
{
    const std::string text = SchemaText(model, pageSize);
    std::string shown;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        shown += ods::ShownText(std::string_view(text).substr(start, end - start));
        shown += '\n';
        start = end + 1;
    }
    return shown + ods::ShownText(std::string_view(text).substr(start));
}

int RunSchemaCommand(const SchemaOptions& options, std::ostream& out, std::ostream& err, bool showProgress)
{
    // The scan's log is kept, not printed: the output is the schema alone.
    std::ostringstream log;
    ConsoleFrame console(log, err, showProgress);
    ConsoleDialogs dialogs(err);
    SkippedCounting counting;
    job::JobDriver driver(console, dialogs);
    driver.SetExtractionSteps(counting);
    console.Attach(driver.State(), driver.Engine());

    if (const int code = ScanAndWait(driver, options.file, err); code != kExitCompleted) {
        for (const std::string& line : console.Lines()) {
            if (line.rfind(job::kJobFailedText, 0) == 0)
                err << "ravelin-cli: " << line << '\n';
        }
        return code;
    }
    const SchemaModel& model = driver.Engine().model;
    const std::uint32_t pageSize = driver.Engine().context.pageSize;
    out << (options.json ? SchemaJson(model, pageSize) : ShownSchemaText(model, pageSize));
    out.flush();
    return kExitCompleted;
}

}  // namespace ravelin::cli
