#include "writer/repair.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "catalogue/readers.h"
#include "extract/valuedecoder.h"
#include "writer/sidefile.h"
#include "writer/sqlnames.h"
#include "writer/tabledefinition.h"
#include "writer/targetconnection.h"

namespace ravelin::writer {
namespace {

using catalogue::EqualsNoCase;

constexpr const char* kNotPlainText = "is not a plain SQL identifier (letters, digits, _ and $, starting with a letter)";

// Whether the target names the damaged file, also through a server on this
// machine ("localhost:/data/DAMAGED.GDB").
bool IsDamagedFile(const std::string& targetPath, const std::string& damagedPath)
{
    const std::string target = LocalTargetPath(targetPath);
    if (target.empty() || damagedPath.empty())
        return false;
    std::error_code error;
    return std::filesystem::equivalent(target, damagedPath, error) && !error;
}

bool Stopped(const RepairSession& session)
{
    return session.job.link.Stopped();
}

void LogLost(RepairSession& session)
{
    job::WorkerLink& link = session.job.link;
    link.Log(kConnectionFailedLogText);
    link.Log("The target database stopped answering; the repair ends here: " + session.target.FailureText());
    link.Blank();
}

// Makes sure the side file exists; says so, once per repair and file, when
// it cannot be created.
std::string PrepareSideFile(RepairSession& session, SideFileKind kind)
{
    const std::string path = SideFilePath(session.targetPath, kind);
    if (!CreateSideFile(path, kind) && session.unwritableSideFiles.insert(path).second) {
        session.job.link.Log("Side file could not be created, its statements are not kept: " + LoggableName(path));
        session.job.link.Blank();
    }
    return path;
}

// Notes a selected table that was not created among what the repair left
// undone.
void NoteNotCreated(RepairSession& session, const catalogue::TableNode& table)
{
    job::RepairedTable refused;
    refused.name = LoggableName(table.name);
    refused.created = false;
    session.job.engine.repairedTables.push_back(std::move(refused));
}

// An exact restore's computed columns of a created table, after its data.
void AddComputedColumns(RepairSession& session, const catalogue::TableNode& table)
{
    job::WorkerLink& link = session.job.link;
    bool logged = false;
    for (const ComputedColumn& column : ExactComputedColumns(session.job.engine.model, table)) {
        if (Stopped(session) || session.target.Lost())
            return;
        const std::string where = LoggableName(column.name) + " of table " + LoggableName(table.name);
        if (column.statement.empty()) {
            link.Log("Computed column left out: " + where + ": its expression could not be read");
            logged = true;
            continue;
        }
        session.currentStatement = column.statement;
        if (!session.target.ExecuteDefinition(column.statement)) {
            if (!Stopped(session) && !session.target.Lost()) {
                link.Log("Computed column not created: " + where + ": " + session.target.FailureText() + ": " +
                         column.statement);
                logged = true;
            }
            continue;
        }
        if (!session.target.ExecuteDefinition(column.placement) && !Stopped(session) && !session.target.Lost()) {
            link.Log("Computed column left at the end: " + where + ": " + session.target.FailureText());
            logged = true;
        }
    }
    session.currentStatement.clear();
    if (logged)
        link.Blank();
}

// Yields whether the target accepted the table's CREATE TABLE.
bool RepairTable(RepairSession& session, const catalogue::TableNode& table)
{
    job::JobContext& job = session.job;
    catalogue::SchemaModel& model = job.engine.model;
    const std::string refusal = UnsafeTableName(table);
    if (!refusal.empty()) {
        job.link.Log("Table not repaired: " + LoggableName(table.name) + ": " + refusal);
        job.link.Blank();
        NoteNotCreated(session, table);
        return false;
    }
    catalogue::DeriveColumnKeys(model, table.name);
    std::vector<std::string> notes;
    std::size_t keys = 0;
    session.currentStatement = session.exact
                                   ? BuildExactCreateTable(model, table, &job.link.stopRequested, &notes, &keys,
                                                           &session.createdDomains)
                                   : BuildCreateTable(model, table, &job.link.stopRequested, &notes, &keys);
    for (std::string& note : notes)
        job.link.Log(std::move(note));
    if (session.target.ExecuteDefinition(session.currentStatement)) {
        session.keysCreated += keys;
        session.createdTables.push_back(table.name);
        session.transfer.TransferTableData(job, session.target, session.targetPath);
        if (session.exact)
            AddComputedColumns(session, table);
        return true;
    }
    if (!Stopped(session) && !session.target.Lost()) {
        job.link.Log("Table not created: " + table.name + ": " + session.target.FailureText());
        job.link.Blank();
        NoteNotCreated(session, table);
    }
    return false;
}

// "Foreign key not created: NAME: T(A, B) references U", one line per
// foreign key of the model, for the tables it names. Taken before the index
// branch empties the segments of the indices it writes.
std::vector<std::pair<std::string, std::string>> ForeignKeyLines(const catalogue::SchemaModel& model)
{
    std::vector<std::pair<std::string, std::string>> lines;  // (table, line)
    for (const catalogue::KEYSCONTRAINTS& key : model.keyConstraints) {
        if (!EqualsNoCase(key.constraintType, "FOREIGN KEY"))
            continue;
        std::string columns;
        std::string referenced;
        for (const catalogue::IndexNode& index : model.indices) {
            if (index.name != key.indexName)
                continue;
            for (const std::string& segment : index.segments)
                columns += (columns.empty() ? "" : ", ") + LoggableName(segment);
            for (const catalogue::IndexNode& target : model.indices) {
                if (target.name == index.foreignKey)
                    referenced = LoggableName(target.relationName);
            }
            break;
        }
        std::string line = "Foreign key not created: " + LoggableName(key.constraintName) + ": " +
                           LoggableName(key.relationName) + "(" + columns + ")";
        if (!referenced.empty())
            line += " references " + referenced;
        lines.emplace_back(key.relationName, std::move(line));
    }
    return lines;
}

}  // namespace

bool AttachTarget(job::JobContext& job, TargetDatabase& target, const TargetLogin& login)
{
    job::WorkerLink& link = job.link;
    std::string reason;
    bool attached = false;
    if (IsDamagedFile(login.targetPath, job.state.databasePath)) {
        reason = "the target is the damaged database file itself, which is never written; choose a blank database";
    } else {
        attached = target.Attach(login);
        if (!attached)
            reason = target.FailureText();
    }
    job.state.connected = attached;
    if (attached) {
        link.Log(kConnectionCreatedText);
        link.Blank();
        return true;
    }
    link.Log(kConnectionFailedLogText);
    link.Log(kConnectionHintText);
    link.Log("Target database " + login.targetPath + ": " + reason);
    link.Blank();
    job.state.repairing = false;
    return false;
}

std::vector<ViewColumnMatch> MatchViewColumns(const catalogue::SchemaModel& model, const catalogue::ViewNode& view)
{
    std::vector<ViewColumnMatch> matches;
    std::size_t tableIndex = 0;
    std::size_t columnIndex = 0;
    std::size_t viewIndex = 0;
    // Tables without columns hold no position.
    auto settle = [&] {
        while (tableIndex < model.tables.size() && columnIndex >= model.tables[tableIndex].columns.size()) {
            ++tableIndex;
            columnIndex = 0;
        }
    };
    settle();
    while (viewIndex < view.columns.size() && tableIndex < model.tables.size()) {
        const catalogue::TableNode& table = model.tables[tableIndex];
        const catalogue::COLUMN& column = table.columns[columnIndex];
        const catalogue::VIEWCOLUMN& wanted = view.columns[viewIndex];
        if (EqualsNoCase(wanted.fieldSource, column.fieldSource)) {
            ViewColumnMatch match;
            match.viewColumn = wanted.columnName;
            match.baseTable = table.name;
            match.baseReference = "\"" + table.name + "\".\"" + column.name + "\"";
            match.baseType = column.typeName;
            if (column.typeCode == catalogue::kTypeChar)
                match.baseType += "(" + std::to_string(column.length) + ")";
            matches.push_back(std::move(match));
            ++viewIndex;
        }
        ++columnIndex;
        settle();
    }
    return matches;
}

bool RepairView(RepairSession& session, const std::string& name)
{
    job::JobContext& job = session.job;
    const catalogue::ViewNode* view = nullptr;
    for (const catalogue::ViewNode& node : job.engine.model.views) {
        if (EqualsNoCase(node.name, name)) {
            view = &node;
            break;
        }
    }
    if (view == nullptr)
        return false;

    const std::string path = PrepareSideFile(session, SideFileKind::Views);
    const std::vector<ViewColumnMatch> matches = MatchViewColumns(job.engine.model, *view);
    std::string refusal;
    if (!IsPlainIdentifier(name))
        refusal = "the view name " + std::string(kNotPlainText);
    const std::string baseTable = matches.empty() ? std::string() : matches.back().baseTable;
    if (refusal.empty() && !baseTable.empty() && !IsPlainIdentifier(baseTable))
        refusal = "the table name " + LoggableName(baseTable) + " " + kNotPlainText;
    for (const ViewColumnMatch& match : matches) {
        if (refusal.empty() && !IsPlainIdentifier(match.viewColumn))
            refusal = "the column name " + LoggableName(match.viewColumn) + " " + kNotPlainText;
    }
    if (!refusal.empty()) {
        job.link.Log("View not repaired: " + LoggableName(name) + ": " + refusal);
        job.link.Blank();
        return true;
    }

    std::string columns;
    for (const ViewColumnMatch& match : matches) {
        if (!columns.empty())
            columns += ',';
        columns += match.viewColumn;
    }
    session.currentStatement = "CREATE VIEW  " + name + "(" + columns + ")AS SELECT * FROM " + baseTable;
    if (session.target.ExecuteDefinition(session.currentStatement)) {
        ++job.engine.viewCount;
    } else if (!Stopped(session) && !session.target.Lost()) {
        job.link.Log("View not created: " + name + ": " + session.target.FailureText());
        job.link.Blank();
    }
    AppendToSideFile(session.currentStatement, path);
    job.link.Send(job::UM_MARK_REPAIRED, 1, 0);
    session.currentStatement.clear();
    return true;
}

bool RepairIndex(RepairSession& session, const std::string& name)
{
    job::JobContext& job = session.job;
    catalogue::IndexNode* index = nullptr;
    for (catalogue::IndexNode& node : job.engine.model.indices) {
        if (EqualsNoCase(node.name, name)) {
            index = &node;
            break;
        }
    }
    if (index == nullptr)
        return false;

    const std::string path = PrepareSideFile(session, SideFileKind::Indices);
    std::string refusal;
    if (!IsPlainIdentifier(name))
        refusal = "the index name " + std::string(kNotPlainText);
    else if (!index->relationName.empty() && !IsPlainIdentifier(index->relationName))
        refusal = "the table name " + LoggableName(index->relationName) + " " + kNotPlainText;
    for (const std::string& segment : index->segments) {
        if (refusal.empty() && !segment.empty() && !IsPlainIdentifier(segment))
            refusal = "the column name " + LoggableName(segment) + " " + kNotPlainText;
    }
    if (!refusal.empty()) {
        job.link.Log("Index not written: " + LoggableName(name) + ": " + refusal);
        job.link.Blank();
        return true;
    }

    // The columns as the re-created table names them.
    std::string columns;
    for (const std::string& segment : index->segments) {
        if (!columns.empty())
            columns += " , ";
        columns += WrittenColumnName(segment);
    }
    session.currentStatement = "CREATE INDEX  " + name + " ON " + index->relationName + "(" + columns + ")";
    if (AppendToSideFile(session.currentStatement, path))
        ++session.indexStatementsWritten;
    job.link.Send(job::UM_MARK_REPAIRED, 1, 0);
    index->segments.clear();
    session.currentStatement.clear();
    return true;
}

namespace {

bool WasCreated(const RepairSession& session, const std::string& table)
{
    return std::any_of(session.createdTables.begin(), session.createdTables.end(),
                       [&table](const std::string& name) { return EqualsNoCase(name, table); });
}

// The index's columns as the re-created table names them, joined by ", ";
// empty (with why in refusal) when one of them is not a plain identifier.
std::string IndexColumns(const catalogue::IndexNode& index, std::string& refusal)
{
    std::string columns;
    for (const std::string& segment : index.segments) {
        if (!IsPlainIdentifier(segment)) {
            refusal = "the column name " + LoggableName(segment) + " " + kNotPlainText;
            return {};
        }
        columns += (columns.empty() ? "" : ", ") + WrittenColumnName(segment);
    }
    return columns;
}

// The constraint an index enforces, when one does.
const catalogue::KEYSCONTRAINTS* ConstraintOf(const catalogue::SchemaModel& model, const catalogue::IndexNode& index)
{
    for (const catalogue::KEYSCONTRAINTS& constraint : model.keyConstraints) {
        if (!constraint.indexName.empty() && EqualsNoCase(constraint.indexName, index.name))
            return &constraint;
    }
    return nullptr;
}

}  // namespace

void RestoreViews(RepairSession& session, std::vector<std::string> names)
{
    job::JobContext& job = session.job;
    const catalogue::SchemaModel& model = job.engine.model;
    struct Refused {
        std::string name;
        std::string statement;
        std::string reason;
    };
    while (!names.empty()) {
        std::vector<std::string> again;
        std::vector<Refused> refused;
        for (const std::string& name : names) {
            if (Stopped(session) || session.target.Lost())
                return;
            const auto view = std::find_if(model.views.begin(), model.views.end(),
                                           [&name](const catalogue::ViewNode& node) { return node.name == name; });
            const auto source = model.viewSources.find(name);
            job.state.repairedTableName = name;
            if (view == model.views.end() || source == model.viewSources.end() || !IsPlainIdentifier(name)) {
                // No stored source: the salvage guess.
                RepairView(session, name);
                continue;
            }
            // The view's own column names, in their declared order, when
            // each is usable.
            std::vector<const catalogue::VIEWCOLUMN*> columns;
            for (const catalogue::VIEWCOLUMN& column : view->columns)
                columns.push_back(&column);
            std::stable_sort(columns.begin(), columns.end(),
                             [](const catalogue::VIEWCOLUMN* a, const catalogue::VIEWCOLUMN* b) {
                                 return a->position < b->position;
                             });
            std::string list;
            for (const catalogue::VIEWCOLUMN* column : columns) {
                if (!IsPlainIdentifier(column->columnName)) {
                    list.clear();
                    break;
                }
                list += (list.empty() ? "" : ", ") + WrittenColumnName(column->columnName);
            }
            const std::string statement =
                "CREATE VIEW " + name + (list.empty() ? std::string() : " (" + list + ")") + " AS " + source->second;
            session.currentStatement = statement;
            if (session.target.ExecuteDefinition(statement)) {
                ++job.engine.viewCount;
                AppendToSideFile(statement, PrepareSideFile(session, SideFileKind::Views));
                job.link.Send(job::UM_MARK_REPAIRED, 1, 0);
            } else if (!Stopped(session) && !session.target.Lost()) {
                // Perhaps a view it reads is still to come: tried again
                // after the others.
                again.push_back(name);
                refused.push_back({name, statement, session.target.FailureText()});
            }
        }
        if (again.size() == names.size()) {
            for (const Refused& view : refused) {
                job.link.Log("View not created: " + view.name + ": " + view.reason);
                AppendToSideFile(view.statement, PrepareSideFile(session, SideFileKind::Views));
            }
            job.link.Blank();
            break;
        }
        names = std::move(again);
    }
    session.currentStatement.clear();
}

std::size_t RestoreIndices(RepairSession& session)
{
    job::JobContext& job = session.job;
    const catalogue::SchemaModel& model = job.engine.model;
    std::size_t created = 0;
    bool logged = false;
    const auto fail = [&](const std::string& kind, const std::string& name, const std::string& reason,
                          const std::string& statement) {
        job.link.Log(kind + " not created: " + LoggableName(name) + ": " + reason);
        logged = true;
        if (!statement.empty() &&
            AppendToSideFile(statement, PrepareSideFile(session, SideFileKind::Indices)))
            ++session.indexStatementsWritten;
    };
    // Plain indices first, then the foreign keys, which need the keys they
    // reference and check every row.
    for (const bool foreignKeys : {false, true}) {
        for (const catalogue::IndexNode& index : model.indices) {
            if (Stopped(session) || session.target.Lost())
                return created;
            if (index.relationName.empty() || !WasCreated(session, index.relationName))
                continue;
            const catalogue::KEYSCONTRAINTS* constraint = ConstraintOf(model, index);
            const bool foreignKey = constraint != nullptr && EqualsNoCase(constraint->constraintType, "FOREIGN KEY");
            if (foreignKey != foreignKeys)
                continue;
            // Primary and unique keys came with their tables.
            if (constraint != nullptr && !foreignKey)
                continue;
            const std::string kind = foreignKey ? "Foreign key" : "Index";
            const std::string& name = foreignKey ? constraint->constraintName : index.name;
            std::string refusal;
            if (index.segments.empty())
                refusal = "its columns are not known";
            else if (!IsPlainIdentifier(index.relationName))
                refusal = "the table name " + LoggableName(index.relationName) + " " + kNotPlainText;
            const std::string columns = refusal.empty() ? IndexColumns(index, refusal) : std::string();
            std::string statement;
            if (refusal.empty() && foreignKey) {
                const auto found = std::find_if(model.indices.begin(), model.indices.end(),
                                                [&index](const catalogue::IndexNode& other) {
                                                    return other.name == index.foreignKey;
                                                });
                const catalogue::IndexNode* referenced = found == model.indices.end() ? nullptr : &*found;
                std::string referencedColumns;
                if (referenced == nullptr || referenced->segments.empty())
                    refusal = "the key it references is not known";
                else if (!WasCreated(session, referenced->relationName))
                    refusal = "the table it references, " + LoggableName(referenced->relationName) + ", was not created";
                else if (!IsPlainIdentifier(referenced->relationName))
                    refusal = "the table name " + LoggableName(referenced->relationName) + " " + kNotPlainText;
                else
                    referencedColumns = IndexColumns(*referenced, refusal);
                if (refusal.empty()) {
                    // A name the server generated is left for the target to
                    // generate again.
                    const bool generated = name.size() >= 6 && EqualsNoCase(std::string_view(name).substr(0, 6), "INTEG_");
                    statement = "ALTER TABLE " + index.relationName + " ADD " +
                                (generated || !IsPlainIdentifier(name) ? std::string() : "CONSTRAINT " + name + " ") +
                                "FOREIGN KEY (" + columns + ") REFERENCES " + referenced->relationName + " (" +
                                referencedColumns + ")";
                }
            } else if (refusal.empty()) {
                if (!IsPlainIdentifier(name))
                    refusal = "the index name " + std::string(kNotPlainText);
                else
                    statement = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") +
                                (index.descending ? "DESCENDING " : "") + "INDEX " + name + " ON " +
                                index.relationName + " (" + columns + ")";
            }
            if (!refusal.empty()) {
                fail(kind, name, refusal, {});
                continue;
            }
            session.currentStatement = statement;
            if (!session.target.ExecuteDefinition(statement)) {
                // The recovered rows may break the key (a lost parent row):
                // the statement waits in the side file.
                if (!Stopped(session) && !session.target.Lost())
                    fail(kind, name, session.target.FailureText(), statement);
                continue;
            }
            ++created;
            if (!foreignKey && index.inactive &&
                !session.target.ExecuteDefinition("ALTER INDEX " + name + " INACTIVE") && !Stopped(session) &&
                !session.target.Lost()) {
                job.link.Log("Index left active: " + name + ": " + session.target.FailureText());
                logged = true;
            }
        }
    }
    session.currentStatement.clear();
    if (logged)
        job.link.Blank();
    return created;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view word)
{
    return text.size() >= word.size() && EqualsNoCase(text.substr(0, word.size()), word);
}

// The firing clause of a trigger type with one action; empty for others.
std::string FiringText(std::uint16_t type)
{
    static constexpr const char* kFirings[] = {"BEFORE INSERT", "AFTER INSERT", "BEFORE UPDATE",
                                               "AFTER UPDATE",  "BEFORE DELETE", "AFTER DELETE"};
    return type >= 1 && type <= 6 ? kFirings[type - 1] : "";
}

// CREATE EXCEPTION statements of the user exceptions, then CREATE PROCEDURE
// statements of every stored procedure, appended to script:
// its parameters (by number) typed by their field sources, then its stored
// source. A procedure whose source or a parameter's type is unknown is
// written as a comment. Yields the number of statements written.
std::size_t ProcedureScript(const catalogue::SchemaModel& model, std::string& script)
{
    // The exceptions the procedures raise come first.
    for (const catalogue::EXCEPTION& exception : model.exceptions) {
        if (IsPlainIdentifier(exception.name))
            script += "CREATE EXCEPTION " + exception.name + " '" + extract::EscapeSqlText(exception.message) + "';\n";
    }
    if (!model.exceptions.empty())
        script += "\n";
    std::size_t written = 0;
    for (const catalogue::PROCEDURE& procedure : model.procedures) {
        std::vector<const catalogue::PROCEDUREPARAMETER*> parameters;
        for (const catalogue::PROCEDUREPARAMETER& parameter : model.procedureParameters) {
            if (parameter.procedureName == procedure.name)
                parameters.push_back(&parameter);
        }
        std::stable_sort(parameters.begin(), parameters.end(),
                         [](const catalogue::PROCEDUREPARAMETER* a, const catalogue::PROCEDUREPARAMETER* b) {
                             return a->number < b->number;
                         });
        std::string inputs;
        std::string outputs;
        std::string missing;
        for (const catalogue::PROCEDUREPARAMETER* parameter : parameters) {
            const auto type = model.fieldTypes.find(parameter->fieldSource);
            const std::string typeText = type == model.fieldTypes.end() ? std::string() : ExactTypeText(type->second);
            if (typeText.empty()) {
                missing = parameter->name;
                break;
            }
            std::string& list = parameter->output ? outputs : inputs;
            list += (list.empty() ? "" : ", ") + parameter->name + " " + typeText;
        }
        if (procedure.source.empty() || !missing.empty()) {
            script += "-- Procedure " + procedure.name + ": " +
                      (procedure.source.empty() ? std::string("its source was not found")
                                                : "the type of its parameter " + missing + " is not known") +
                      "\n\n";
            continue;
        }
        script += "SET TERM ^ ;\nCREATE PROCEDURE " + procedure.name + (inputs.empty() ? "" : " (" + inputs + ")") +
                  (outputs.empty() ? "" : "\nRETURNS (" + outputs + ")") + "\nAS\n" + procedure.source +
                  "^\nSET TERM ; ^\n\n";
        ++written;
    }
    return written;
}

}  // namespace

std::string ProceduresScriptPath(const std::string& targetPath)
{
    return LocalTargetPath(targetPath) + "Procedures.sql";
}

std::size_t RestoreChecksAndTriggers(RepairSession& session)
{
    job::JobContext& job = session.job;
    const catalogue::SchemaModel& model = job.engine.model;
    std::string script;
    std::size_t checks = 0;
    std::size_t triggers = 0;
    std::set<std::pair<std::string, std::string>> checked;  // (table, source) already added
    bool logged = false;
    const std::size_t procedures = ProcedureScript(model, script);
    // The domains' CHECKs, now that the data is in place.
    std::size_t domainChecks = 0;
    for (const auto& [domain, source] : model.domainChecks) {
        if (Stopped(session) || session.target.Lost())
            break;
        if (session.createdDomains.count(domain) == 0 || !StartsWithNoCase(source, "CHECK"))
            continue;
        const std::string statement = "ALTER DOMAIN " + domain + " ADD " + source;
        session.currentStatement = statement;
        if (session.target.ExecuteDefinition(statement)) {
            ++domainChecks;
        } else if (!Stopped(session) && !session.target.Lost()) {
            job.link.Log("Domain check not created: " + LoggableName(domain) + ": " + session.target.FailureText());
            logged = true;
            script += "-- Refused by the target when the data was in place:\n" + statement + ";\n\n";
        }
    }
    for (const catalogue::TRIGGER& trigger : model.triggers) {
        if (Stopped(session) || session.target.Lost())
            break;
        if (!WasCreated(session, trigger.relationName))
            continue;
        if (StartsWithNoCase(trigger.source, "CHECK")) {
            // A CHECK constraint: each is kept as two triggers (insert and
            // update) with one source.
            if (!checked.insert({trigger.relationName, trigger.source}).second)
                continue;
            const std::string statement = "ALTER TABLE " + trigger.relationName + " ADD " + trigger.source;
            session.currentStatement = statement;
            if (IsPlainIdentifier(trigger.relationName) && session.target.ExecuteDefinition(statement)) {
                ++checks;
            } else if (!Stopped(session) && !session.target.Lost()) {
                job.link.Log("Check constraint not created: " + LoggableName(trigger.relationName) + ": " +
                             (IsPlainIdentifier(trigger.relationName) ? session.target.FailureText()
                                                                       : std::string("the table name ") + kNotPlainText));
                logged = true;
                script += "-- Refused by the target when the data was in place:\n" + statement + ";\n\n";
            }
            continue;
        }
        if (trigger.source.empty()) {
            script += "-- Trigger " + trigger.name + " of table " + trigger.relationName + ": its source was not found\n\n";
            continue;
        }
        const std::string firing = FiringText(trigger.type);
        if (firing.empty()) {
            script += "-- Trigger " + trigger.name + " of table " + trigger.relationName + " fires on type " +
                      std::to_string(trigger.type) + ", which is not written out; its source:\n/*\n" + trigger.source +
                      "\n*/\n\n";
            continue;
        }
        script += "SET TERM ^ ;\nCREATE TRIGGER " + trigger.name + " FOR " + trigger.relationName +
                  (trigger.inactive ? " INACTIVE " : " ACTIVE ") + firing + " POSITION " +
                  std::to_string(trigger.sequence) + "\n" + trigger.source + "^\nSET TERM ; ^\n\n";
        ++triggers;
    }
    session.currentStatement.clear();
    if (!script.empty()) {
        const std::string path = ProceduresScriptPath(session.targetPath);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "/* Triggers and statements of the recovered database, from their stored sources.\n"
               "   Not executed: run this script with isql-fb once the data is checked. */\n\n"
            << script;
        out.close();
        if (!out) {
            job.link.Log("Script could not be written, its triggers are not kept: " + LoggableName(path));
            triggers = 0;
        } else if (triggers + procedures != 0) {
            job.link.Log("Triggers and procedures written to " + path + " (not executed) : " +
                         std::to_string(triggers) + " and " + std::to_string(procedures));
        }
        logged = true;
    }
    if (domainChecks != 0)
        job.link.Log("Domain checks recovered : " + std::to_string(domainChecks));
    job.link.Log("Check constraints recovered : " + std::to_string(checks));
    if (logged)
        job.link.Blank();
    return checks;
}

// An exact restore's domains, before the tables that use them: type,
// default and NOT NULL (their CHECKs come after the data). A domain the
// target refuses is logged; its columns then get their own types.
std::size_t RestoreDomains(RepairSession& session)
{
    job::JobContext& job = session.job;
    const catalogue::SchemaModel& model = job.engine.model;
    for (const catalogue::COLDOMAIN& domain : model.domains) {
        if (Stopped(session) || session.target.Lost())
            break;
        session.currentStatement = BuildCreateDomain(model, domain);
        if (session.currentStatement.empty())
            continue;
        if (session.target.ExecuteDefinition(session.currentStatement))
            session.createdDomains.insert(domain.name);
        else if (!Stopped(session) && !session.target.Lost())
            job.link.Log("Domain not created, its columns get its type: " + LoggableName(domain.name) + ": " +
                         session.target.FailureText());
    }
    session.currentStatement.clear();
    if (!session.createdDomains.empty()) {
        job.link.Log("Domains recovered : " + std::to_string(session.createdDomains.size()));
        job.link.Blank();
    }
    return session.createdDomains.size();
}

std::size_t RestoreGenerators(RepairSession& session)
{
    job::JobContext& job = session.job;
    const catalogue::SchemaModel& model = job.engine.model;
    std::size_t created = 0;
    for (const catalogue::GENERATOR& generator : model.generators) {
        if (generator.system)
            continue;
        if (Stopped(session) || session.target.Lost())
            break;
        if (!IsPlainIdentifier(generator.name)) {
            job.link.Log("Generator not created: " + LoggableName(generator.name) + ": the name " + kNotPlainText);
            continue;
        }
        const auto value = model.generatorValues.find(generator.id);
        session.currentStatement = "CREATE GENERATOR " + generator.name;
        if (!session.target.ExecuteDefinition(session.currentStatement)) {
            if (!Stopped(session) && !session.target.Lost())
                job.link.Log("Generator not created: " + generator.name + ": " + session.target.FailureText());
            continue;
        }
        if (value == model.generatorValues.end()) {
            job.link.Log("Generator value lost, created at 0: " + generator.name);
            continue;
        }
        session.currentStatement = "SET GENERATOR " + generator.name + " TO " + std::to_string(value->second);
        if (session.target.ExecuteDefinition(session.currentStatement))
            ++created;
        else if (!Stopped(session) && !session.target.Lost())
            job.link.Log("Generator value not set: " + generator.name + " = " + std::to_string(value->second) + ": " +
                         session.target.FailureText());
    }
    session.currentStatement.clear();
    job.link.Log("Generators recovered : " + std::to_string(created));
    job.link.Blank();
    return created;
}

void RepairSelectedObjects(RepairSession& session)
{
    job::JobContext& job = session.job;
    job.state.exactRestore = session.exact;
    session.target.InsertInTargetDialect(session.exact);
    job.engine.viewCount = 0;
    job.engine.repairedTables.clear();
    job.engine.recordsLostAtCommit = 0;
    job.engine.indicesCreated = 0;
    job.engine.indexStatementsInSideFile = 0;
    const std::vector<std::pair<std::string, std::string>> foreignKeys = ForeignKeyLines(job.engine.model);
    bool cutOff = false;
    std::vector<std::string> exactViews;  // an exact restore creates them after the tables
    std::size_t tablesChosen = 0;
    std::size_t tablesCreated = 0;
    session.createdDomains.clear();
    if (session.exact)
        RestoreDomains(session);
    for (const std::string& name : session.repairNames) {
        if (Stopped(session))
            break;
        job.state.repairedTableName = name;
        const catalogue::TableNode* table = nullptr;
        for (const catalogue::TableNode& node : job.engine.model.tables) {
            if (EqualsNoCase(node.name, job.state.repairedTableName)) {
                table = &node;
                break;
            }
        }
        if (table != nullptr) {
            ++tablesChosen;
            if (RepairTable(session, *table))
                ++tablesCreated;
            if (session.target.Lost()) {
                // Records sent after the target stopped answering did not land.
                job.engine.repairSucceeded = false;
            } else if (Stopped(session)) {
                // Stopped inside a table: the repair ends at once; the
                // attachment is still given back.
                job.engine.repairSucceeded = false;
                job.state.repairedTableName.clear();
                job.state.exactRestore = false;
                session.target.DetachTarget();
                return;
            }
            if (job.engine.repairSucceeded) {
                job.link.Send(job::UM_MARK_REPAIRED, 1, 0);
                job.engine.repairSucceeded = false;
            }
        } else if (session.exact && std::any_of(job.engine.model.views.begin(), job.engine.model.views.end(),
                                                [&name](const catalogue::ViewNode& view) {
                                                    return EqualsNoCase(view.name, name);
                                                })) {
            for (const catalogue::ViewNode& view : job.engine.model.views) {
                if (EqualsNoCase(view.name, name)) {
                    exactViews.push_back(view.name);
                    break;
                }
            }
        } else if (!RepairView(session, name) && !session.exact) {
            // An exact restore creates every index of the created tables
            // after their data (RestoreIndices).
            RepairIndex(session, name);
        }
        if (session.target.Lost()) {
            LogLost(session);
            cutOff = true;
            break;
        }
    }
    session.repairNames.clear();
    std::size_t indicesRestored = 0;
    if (session.exact && !cutOff && !Stopped(session)) {
        RestoreViews(session, std::move(exactViews));
        indicesRestored = RestoreIndices(session);
        RestoreChecksAndTriggers(session);
        RestoreGenerators(session);
    }
    job.state.exactRestore = false;
    job.engine.indicesCreated = static_cast<std::uint32_t>(session.keysCreated + indicesRestored);
    job.engine.indexStatementsInSideFile = static_cast<std::uint32_t>(session.indexStatementsWritten);
    bool foreignKeyLogged = false;
    // An exact restore named the foreign keys it could not create itself.
    for (const auto& foreignKey : session.exact ? decltype(foreignKeys){} : foreignKeys) {
        const std::string& table = foreignKey.first;
        const bool created = std::any_of(session.createdTables.begin(), session.createdTables.end(),
                                         [&table](const std::string& name) { return EqualsNoCase(name, table); });
        if (created) {
            job.link.Log(foreignKey.second);
            foreignKeyLogged = true;
        }
    }
    if (foreignKeyLogged)
        job.link.Blank();
    job.link.Send(job::UM_MARK_REPAIRED, 0, 1);
    const bool detached = session.target.DetachTarget();
    job.engine.recordsLostAtCommit = session.target.InsertsLostAtCommit();
    if (session.target.InsertsLostAtCommit() != 0) {
        job.link.Log("Records whose batch the target could not commit and that failed again on their own: " +
                     std::to_string(session.target.InsertsLostAtCommit()));
        job.link.Blank();
    }
    // A repair whose every table the target refused copied nothing: it is
    // not reported as a success.
    const bool nothingCreated = tablesChosen != 0 && tablesCreated == 0;
    if (nothingCreated && !cutOff && !Stopped(session)) {
        job.link.Log(kNoTableCreatedText);
        job.link.Blank();
    }
    job.engine.repairSucceeded = detached && !cutOff && !nothingCreated && !Stopped(session);
}

}  // namespace ravelin::writer
