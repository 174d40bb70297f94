#pragma once

// The blank target database a repair writes into: attach, single statements,
// detach. TargetConnection speaks to it through the Firebird client library;
// tests and front ends swap in their own. Only the recovery worker calls it,
// one statement at a time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "extract/insertparameter.h"

namespace ravelin::writer {

// Where the target is and the account to attach with. targetPath is a local
// file path (opened by the embedded engine) or a server path such as
// "host:/data/blank.fdb" or "host/3050:/data/blank.fdb". Texts are UTF-8.
struct TargetLogin {
    std::string targetPath;
    std::string userName;
    std::string password;
};

// How often INSERT statements are committed, and how they are sent.
//   statementsPerCommit 1: every statement in its own transaction, committed
//   whether or not it succeeded (the default).
//   statementsPerCommit N > 1: INSERTs share one transaction that is
//   committed after N statements, before every definition and at detach. A
//   failed INSERT still loses only itself (the engine undoes a failed
//   statement and nothing else), so both cadences land the same rows.
//   textStatements: every record goes as its INSERT text, never through a
//   prepared INSERT (slower; the values are the same).
struct CommitCadence {
    std::uint32_t statementsPerCommit = 1;
    bool textStatements = false;
};

class TargetDatabase {
public:
    virtual ~TargetDatabase() = default;

    // Attaches to login.targetPath. Yields true when attached; otherwise
    // LastSqlCode and FailureText say why.
    virtual bool Attach(const TargetLogin& login) = 0;
    // CREATE TABLE and CREATE VIEW statements: one statement, one transaction.
    // Yields true when the target accepted and committed it. Returns false
    // without reaching the target once a stop was requested or the
    // connection was lost.
    virtual bool ExecuteDefinition(std::string statement) = 0;
    // INSERT statements, committed by the cadence. Yields true when the
    // statement succeeded. Same stop and loss rules as ExecuteDefinition.
    virtual bool ExecuteInsert(std::string statement) = 0;
    // An exact restore's INSERT whose blob and array values are parameters:
    // statement holds one "?" per parameter, in order; each blob and array is
    // created in the statement's transaction from its bytes. Such a
    // statement runs and is committed on its own, whatever the cadence.
    // Without parameters, as ExecuteInsert. A target that takes no
    // parameters refuses the others.
    virtual bool ExecuteInsertWithParameters(std::string statement,
                                             std::span<const extract::InsertParameter> parameters)
    {
        return parameters.empty() && ExecuteInsert(std::move(statement));
    }
    // Prepares the INSERT of a table's records, one "?" per value (UTF-8
    // text), replacing the one prepared before. Yields whether
    // ExecutePrepared may be used; a target that takes texts only says no.
    virtual bool PrepareInsert(const std::string& statement)
    {
        (void)statement;
        return false;
    }
    // Runs the prepared INSERT with one record's values (a Parameter value
    // names its entry of parameters: a blob or array created in the
    // record's transaction). Committed by the cadence, as ExecuteInsert;
    // a record with parameters runs and is committed on its own. Same stop
    // and loss rules.
    virtual bool ExecutePrepared(std::span<const extract::InsertValue> values,
                                 std::span<const extract::InsertParameter> parameters)
    {
        (void)values;
        (void)parameters;
        return false;
    }
    // INSERTs written for the target's own dialect (an exact restore: its
    // DATE, TIME and 64-bit literals) rather than for dialect 1.
    virtual void InsertInTargetDialect(bool own) { (void)own; }
    // Commits what the cadence holds back and detaches. Yields true when the
    // attachment ended cleanly; the handle is released either way.
    virtual bool DetachTarget() = 0;

    virtual bool Attached() const = 0;
    // The target stopped answering (server stopped, network gone, database
    // shut down): every later statement fails at once.
    virtual bool Lost() const = 0;
    // SQLCODE of the most recent failed attach, statement or commit.
    virtual std::int32_t LastSqlCode() const = 0;
    // The client library's words for the most recent failure (several lines
    // joined by "; "), empty after a success.
    virtual const std::string& FailureText() const = 0;
    // INSERTs reported as succeeded whose batch could not be committed and
    // that failed again when run on their own (fast cadence only).
    virtual std::uint64_t InsertsLostAtCommit() const = 0;
};

}  // namespace ravelin::writer
