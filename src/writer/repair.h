#pragma once

// The repair of the objects checked in the tree: attach to the blank target,
// re-create every checked table and copy its records, re-create the views,
// write the view and index statements to the side files beside the target,
// detach. Runs on the recovery worker; reports through job.link.

#include <set>
#include <string>
#include <vector>

#include "catalogue/schemamodel.h"
#include "job/jobsteps.h"
#include "writer/targetdatabase.h"

namespace ravelin::writer {

// Log texts of the target connection.
inline constexpr const char* kConnectionCreatedText = "Connection Create Successfully. ";
inline constexpr const char* kConnectionFailedLogText = "Connection Failed.";
inline constexpr const char* kConnectionHintText =
    "Either User Name, Password may be wrong or Services for IB Manager may not be started";
// Logged at the end of a repair whose every selected table the target refused.
inline constexpr const char* kNoTableCreatedText =
    "The target database created none of the selected tables: no record was copied.";

// Copies one table's records into the target after its CREATE TABLE was
// accepted.
class TableTransfer {
public:
    virtual ~TableTransfer() = default;
    // The repair-mode data transfer of the table named
    // job.state.repairedTableName: one INSERT per readable record through
    // target.ExecuteInsert, then the table's blobs (beside targetPath) and
    // summary lines. Sets job.engine.repairSucceeded when it reached the
    // table's end, and then appends the table's record figures to
    // job.engine.repairedTables.
    virtual void TransferTableData(job::JobContext& job, TargetDatabase& target, const std::string& targetPath) = 0;
};

// One repair run.
struct RepairSession {
    job::JobContext& job;
    TargetDatabase& target;
    TableTransfer& transfer;
    std::string targetPath;                // as attached; the side files go beside it
    std::vector<std::string> repairNames;  // checked tables, views and indices, in tree order
    std::string currentStatement;          // the statement most recently built
    std::set<std::string> unwritableSideFiles;  // side files already reported as not created
    std::size_t keysCreated = 0;             // PRIMARY KEY and UNIQUE clauses of the tables the target created
    std::size_t indexStatementsWritten = 0;  // CREATE INDEX statements written to the side file only
    std::vector<std::string> createdTables;  // the tables the target created, as named in the model
    std::set<std::string> createdDomains;     // an exact restore: the domains the target created
    // An exact restore: the tables get their own column types in declared
    // order (BuildExactCreateTable), blobs go into their columns, INSERTs
    // run in the target's dialect, and the file's generators are created
    // with their values after the data.
    bool exact = false;
};

// Attaches target to login.targetPath and logs the outcome; sets
// job.state.connected. On failure logs "Connection Failed.", the hint line
// and the reason, and clears job.state.repairing (the caller shows the
// "Connection failed" message). A target that is the damaged file itself is
// refused without being opened.
bool AttachTarget(job::JobContext& job, TargetDatabase& target, const TargetLogin& login);

// Repairs every name of session.repairNames in order: a table, else a view,
// else an index of that name (letter case ignored). Ends at a stop request
// or when the target stops answering. Detaches at the end; sets
// job.engine.repairSucceeded when the detach succeeded and the run was
// neither stopped nor cut off, and at least one selected table (if any was
// selected) was created. Empties job.engine.repairedTables first and notes
// there every selected table that was not created (the transfer adds the
// figures of the tables it copied); sets job.engine.recordsLostAtCommit,
// job.engine.indicesCreated (the key indices the created tables carry) and
// job.engine.indexStatementsInSideFile. Every foreign key of a created
// table is named in the log ("Foreign key not created: ..."): this repair
// creates none; its index statement goes to the side file when chosen. A
// run that reached its end with tables or records missing still counts as
// succeeded here: the job driver reports those shortfalls.
void RepairSelectedObjects(RepairSession& session);

// The view and index branches. Each yields whether an object of that name
// was found.
bool RepairView(RepairSession& session, const std::string& name);
bool RepairIndex(RepairSession& session, const std::string& name);

// An exact restore's views, after the tables: each from its stored source,
// CREATE VIEW name (its columns in declared order) AS source, and written
// to the view side file. A view the target refuses is tried again after
// the others (it may read a view still to come), until a round creates
// none; those left are logged ("View not created: ...") and written to the
// side file. A view whose source is lost gets the salvage guess
// (RepairView).
void RestoreViews(RepairSession& session, std::vector<std::string> names);

// An exact restore's indices, after the data of every table: for each index
// of a created table that is not a primary or unique key (those came with
// the table), CREATE [UNIQUE] [DESCENDING] INDEX (made inactive again when
// it was), then every foreign key whose referenced table was created,
// ALTER TABLE ... ADD [CONSTRAINT name] FOREIGN KEY (...) REFERENCES ...
// (a name the server generated, INTEG_n, is left to the target). One the
// target refuses (the recovered rows may break it) or that cannot be
// written is logged ("Index not created: ..." / "Foreign key not created:
// ..."), and a refused statement goes to the index side file; the repair
// goes on. Yields the number created.
std::size_t RestoreIndices(RepairSession& session);

// Where an exact restore writes the triggers it does not execute: the
// target's file path with "Procedures.sql" appended.
std::string ProceduresScriptPath(const std::string& targetPath);

// An exact restore's CHECK constraints and triggers, after the indices:
// each CHECK constraint of a created table (kept in the file as triggers
// whose source reads "CHECK (...)", one per action) is added once with
// ALTER TABLE T ADD CHECK (...), and each created domain's stored CHECK with
// ALTER DOMAIN D ADD CHECK (...) ("Domain checks recovered : N" when there
// are any); one the target refuses is logged and
// written to the script. Every other trigger of a created table is written
// from its stored source, as CREATE TRIGGER, to ProceduresScriptPath (UTF-8,
// for isql-fb), not executed. Logs "Check constraints recovered : N" and
// how many triggers the script holds. Yields N.
std::size_t RestoreChecksAndTriggers(RepairSession& session);

// An exact restore's domains, before the tables: every user domain
// BuildCreateDomain can declare is created; session.createdDomains names
// those the target took, and their columns are declared of them. A domain
// refused is logged ("Domain not created, its columns get its type: D:
// reason"); its columns keep their own types. Logs "Domains recovered : N"
// when there are any. Yields N.
std::size_t RestoreDomains(RepairSession& session);

// An exact restore's generators: every generator of the model that is not
// one of the server's own is created and set to the value the file's
// generator pages hold (0, with a log line, where that value is lost).
// Logs "Generators recovered : N" (those created with their values) and a
// line per generator not created or not set. Yields N.
std::size_t RestoreGenerators(RepairSession& session);

// One view column found among the base tables' columns.
struct ViewColumnMatch {
    std::string viewColumn;     // the view column's name
    std::string baseTable;      // the table that holds it
    std::string baseReference;  // "TABLE"."COLUMN"
    std::string baseType;       // the base column's type word, CHAR with its length
};

// The forward walk that finds a view's columns among the table columns by
// field source: both lists are walked in order and each table column serves
// at most one view column.
std::vector<ViewColumnMatch> MatchViewColumns(const catalogue::SchemaModel& model, const catalogue::ViewNode& view);

}  // namespace ravelin::writer
