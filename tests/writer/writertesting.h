#pragma once

// Test doubles and helpers of the writer tests: a target that records the
// statements it is given and fails the ones a test names, a table transfer
// that records the tables it was asked for, the job objects a repair runs
// with, and isql-fb for looking into a real target.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <ibase.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture/recordingframe.h"
#include "job/jobsteps.h"
#include "writer/repair.h"
#include "writer/targetdatabase.h"

namespace ravelin::writer::testing {

struct Executed {
    enum Kind { Definition, Insert } kind;
    std::string text;
};

// A target that keeps every statement. fails decides which statements the
// target refuses; loseAfter > 0 makes the target stop answering once that
// many statements have been executed.
class FakeTarget final : public TargetDatabase {
public:
    std::vector<Executed> executed;
    std::function<bool(const std::string&)> fails;
    std::size_t loseAfter = 0;
    bool attached = false;
    bool lost = false;
    int detachCalls = 0;
    bool detachSucceeds = true;
    std::uint64_t lostAtCommit = 0;  // what InsertsLostAtCommit reports
    std::string failureText;

    bool Attach(const TargetLogin&) override
    {
        attached = true;
        return true;
    }
    bool ExecuteDefinition(std::string statement) override { return Run(Executed::Definition, std::move(statement)); }
    bool ExecuteInsert(std::string statement) override { return Run(Executed::Insert, std::move(statement)); }
    bool DetachTarget() override
    {
        ++detachCalls;
        const bool was = attached;
        attached = false;
        return was && detachSucceeds && !lost;
    }
    bool Attached() const override { return attached; }
    bool Lost() const override { return lost; }
    std::int32_t LastSqlCode() const override { return lost ? -902 : -607; }
    const std::string& FailureText() const override { return failureText; }
    std::uint64_t InsertsLostAtCommit() const override { return lostAtCommit; }

    std::vector<std::string> Texts(Executed::Kind kind) const
    {
        std::vector<std::string> out;
        for (const Executed& e : executed) {
            if (e.kind == kind)
                out.push_back(e.text);
        }
        return out;
    }

private:
    bool Run(Executed::Kind kind, std::string statement)
    {
        if (lost || !attached)
            return false;
        executed.push_back({kind, statement});
        if (loseAfter != 0 && executed.size() >= loseAfter) {
            lost = true;
            failureText = "connection lost to database";
            return false;
        }
        if (fails && fails(statement)) {
            failureText = "refused: " + statement;
            return false;
        }
        return true;
    }
};

// Records the tables it is asked to copy; inserts gives the INSERT
// statements to send for a table (none by default).
class FakeTransfer final : public TableTransfer {
public:
    std::vector<std::string> tables;
    std::function<std::vector<std::string>(const std::string&)> inserts;
    std::function<void(job::JobContext&)> during;
    bool reachesEnd = true;

    void TransferTableData(job::JobContext& job, TargetDatabase& target, const std::string&) override
    {
        tables.push_back(job.state.repairedTableName);
        if (inserts) {
            for (const std::string& statement : inserts(job.state.repairedTableName))
                target.ExecuteInsert(statement);
        }
        if (during)
            during(job);
        if (reachesEnd)
            job.engine.repairSucceeded = true;
    }
};

class NoDialogs final : public job::WorkerDialogs {
public:
    int ShowMessageDialog(const std::string&, job::MessageButtons) override { return job::kAnswerOk; }
    int ShowMessageOk(const std::string&) override { return job::kAnswerOk; }
    int ShowConnectionDialog(job::ConnectionAnswer&) override { return job::kAnswerNo; }
};

// The job objects a repair step runs with. The link's stop flag is the job
// state's, as in the job driver.
struct JobHarness {
    fixture::RecordingFrame frame;
    job::JobState state;
    job::RecoveryEngine engine;
    NoDialogs dialogs;
    job::WorkerLink link{frame, state.stopRequested, frame.currentLogLine};
    job::JobContext job{state, engine, link, dialogs};

    // (wParam, lParam) of every UM_MARK_REPAIRED, with the name it marked.
    std::vector<std::string> Marks() const
    {
        std::vector<std::string> out;
        for (const auto& sent : frame.sent) {
            if (sent.message == job::UM_MARK_REPAIRED)
                out.push_back(std::to_string(sent.wParam) + "," + std::to_string(sent.lParam));
        }
        return out;
    }
    bool Logged(const std::string& part) const
    {
        for (const std::string& line : frame.logLines) {
            if (line.find(part) != std::string::npos)
                return true;
        }
        return false;
    }
};

// A fresh folder under the temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ravelin-writer-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool Ok() const { return !path_.empty(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool IsqlAvailable()
{
    return std::system("command -v isql-fb >/dev/null 2>&1") == 0;
}

// Runs script with isql-fb against database (as SYSDBA, output without
// headings) and yields what it printed, errors included.
inline std::string RunIsql(const std::string& database, const std::string& script,
                           const std::string& password = "masterkey")
{
    std::string scriptPath = (std::filesystem::temp_directory_path() / "ravelin-isql-XXXXXX").string();
    const int fd = ::mkstemp(scriptPath.data());
    if (fd < 0)
        return "no script file";
    ::close(fd);
    {
        std::ofstream out(scriptPath, std::ios::trunc);
        out << "SET HEADING OFF;\n" << script << "\n";
    }
    const std::string command = "isql-fb -q -user SYSDBA -password '" + password + "' '" + database + "' -i '" +
                                scriptPath + "' 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    std::filesystem::remove(scriptPath);
    return output;
}

// The whitespace-separated words isql-fb printed.
inline std::vector<std::string> Words(const std::string& output)
{
    std::istringstream in(output);
    std::vector<std::string> words;
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

// Throws std::runtime_error with what and the client library's words for
// status.
[[noreturn]] inline void FailWith(const ISC_STATUS* status, const std::string& what)
{
    std::string text = what;
    char line[512];
    const ISC_STATUS* vector = status;
    while (fb_interpret(line, sizeof line, &vector) > 0)
        text += std::string("; ") + line;
    throw std::runtime_error(text);
}

// Attaches to database as SYSDBA and starts a transaction; throws as
// FailWith when either fails.
inline void AttachAsSysdba(const std::string& database, const std::string& password, ISC_STATUS* status,
                           isc_db_handle& db, isc_tr_handle& tr)
{
    std::string dpb = {static_cast<char>(isc_dpb_version1), static_cast<char>(isc_dpb_user_name), 6};
    dpb += "SYSDBA";
    dpb += static_cast<char>(isc_dpb_password);
    dpb += static_cast<char>(password.size());
    dpb += password;
    if (isc_attach_database(status, 0, database.c_str(), &db, static_cast<short>(dpb.size()), dpb.data()))
        FailWith(status, "attach " + database);
    if (isc_start_transaction(status, &tr, 1, &db, 0, nullptr))
        FailWith(status, "start");
}

// The blobs of the one-column query, row by row (nullopt for NULL), read
// through the client library as SYSDBA; throws std::runtime_error with the
// library's words when the database or the query fails.
inline std::vector<std::optional<std::vector<std::byte>>> QueryBlobs(const std::string& database,
                                                                     const std::string& query,
                                                                     const std::string& password = "masterkey")
{
    ISC_STATUS_ARRAY status = {};
    const auto fail = [&status](const std::string& what) { FailWith(status, what); };
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    AttachAsSysdba(database, password, status, db, tr);
    isc_stmt_handle stmt = 0;
    std::vector<char> area(XSQLDA_LENGTH(1));
    auto* out = reinterpret_cast<XSQLDA*>(area.data());
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    if (isc_dsql_allocate_statement(status, &db, &stmt) ||
        isc_dsql_prepare(status, &tr, &stmt, 0, query.c_str(), 3, out))
        fail("prepare " + query);
    if (out->sqld != 1 || (out->sqlvar[0].sqltype & ~1) != SQL_BLOB)
        throw std::runtime_error("not a one-blob query: " + query);
    ISC_QUAD id{};
    ISC_SHORT indicator = 0;
    out->sqlvar[0].sqldata = reinterpret_cast<ISC_SCHAR*>(&id);
    out->sqlvar[0].sqlind = &indicator;
    if (isc_dsql_execute(status, &tr, &stmt, 1, nullptr))
        fail("execute " + query);
    std::vector<std::optional<std::vector<std::byte>>> rows;
    while (isc_dsql_fetch(status, &stmt, 1, out) == 0) {
        if (indicator < 0) {
            rows.emplace_back();
            continue;
        }
        std::vector<std::byte> bytes;
        isc_blob_handle blob = 0;
        if (isc_open_blob2(status, &db, &tr, &blob, &id, 0, nullptr))
            fail("open blob");
        char segment[8192];
        unsigned short length = 0;
        for (;;) {
            const ISC_STATUS got = isc_get_segment(status, &blob, &length, sizeof segment, segment);
            if (got != 0 && got != isc_segment)
                break;
            bytes.insert(bytes.end(), reinterpret_cast<std::byte*>(segment),
                         reinterpret_cast<std::byte*>(segment) + length);
        }
        isc_close_blob(status, &blob);
        rows.emplace_back(std::move(bytes));
    }
    isc_dsql_free_statement(status, &stmt, DSQL_drop);
    isc_commit_transaction(status, &tr);
    isc_detach_database(status, &db);
    return rows;
}

// Every row of every user table of database, each cell as its stored
// value in a canonical text: integers with their scale, FLOAT and DOUBLE as
// their bits, dates and times as their stored numbers, texts and blobs as
// their bytes (hexadecimal), NULL as "-". Rows are sorted (a table's order
// is not a value); keys are table names.
inline std::map<std::string, std::vector<std::string>> DumpTables(const std::string& database,
                                                                  const std::string& password = "masterkey")
{
    ISC_STATUS_ARRAY status = {};
    const auto fail = [&status](const std::string& what) { FailWith(status, what); };
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    AttachAsSysdba(database, password, status, db, tr);
    const auto hex = [](const char* data, std::size_t length) {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (std::size_t i = 0; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(data[i]);
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
        return text;
    };
    // Runs query; row receives each fetched row's descriptors.
    const auto select = [&](const std::string& query, const std::function<void(XSQLDA&)>& row) {
        isc_stmt_handle stmt = 0;
        std::vector<char> area(XSQLDA_LENGTH(1));
        auto* out = reinterpret_cast<XSQLDA*>(area.data());
        out->version = SQLDA_VERSION1;
        out->sqln = 1;
        if (isc_dsql_allocate_statement(status, &db, &stmt) ||
            isc_dsql_prepare(status, &tr, &stmt, 0, query.c_str(), 3, out))
            fail("prepare " + query);
        if (out->sqld > out->sqln) {
            const short count = out->sqld;
            area.assign(XSQLDA_LENGTH(count), 0);
            out = reinterpret_cast<XSQLDA*>(area.data());
            out->version = SQLDA_VERSION1;
            out->sqln = count;
            if (isc_dsql_describe(status, &stmt, 1, out))
                fail("describe " + query);
        }
        std::vector<std::vector<char>> buffers(static_cast<std::size_t>(out->sqld));
        std::vector<short> indicators(buffers.size());
        for (std::size_t i = 0; i < buffers.size(); ++i) {
            XSQLVAR& v = out->sqlvar[i];
            buffers[i].assign(static_cast<std::size_t>(v.sqllen) + 2, 0);
            v.sqldata = buffers[i].data();
            v.sqlind = &indicators[i];
        }
        if (isc_dsql_execute(status, &tr, &stmt, 1, nullptr))
            fail("execute " + query);
        while (isc_dsql_fetch(status, &stmt, 1, out) == 0)
            row(*out);
        isc_dsql_free_statement(status, &stmt, DSQL_drop);
    };
    std::vector<std::string> tables;
    select("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
           "AND RDB$VIEW_BLR IS NULL",
           [&tables](XSQLDA& out) {
               const XSQLVAR& v = out.sqlvar[0];
               const auto length = static_cast<std::size_t>(*reinterpret_cast<const short*>(v.sqldata));
               tables.emplace_back(v.sqldata + 2, length);
           });
    std::map<std::string, std::vector<std::string>> dump;
    for (const std::string& table : tables) {
        std::vector<std::string>& rows = dump[table];
        select("SELECT * FROM " + table, [&](XSQLDA& out) {
            std::string line;
            for (short i = 0; i < out.sqld; ++i) {
                const XSQLVAR& v = out.sqlvar[i];
                line += i == 0 ? "" : "|";
                if ((v.sqltype & 1) != 0 && *v.sqlind < 0) {
                    line += "-";
                    continue;
                }
                const char* data = v.sqldata;
                switch (v.sqltype & ~1) {
                case SQL_TEXT:
                    line += hex(data, static_cast<std::size_t>(v.sqllen));
                    break;
                case SQL_VARYING:
                    line += hex(data + 2, static_cast<std::size_t>(*reinterpret_cast<const short*>(data)));
                    break;
                case SQL_SHORT:
                    line += std::to_string(*reinterpret_cast<const short*>(data)) + "e" + std::to_string(v.sqlscale);
                    break;
                case SQL_LONG:
                    line += std::to_string(*reinterpret_cast<const ISC_LONG*>(data)) + "e" + std::to_string(v.sqlscale);
                    break;
                case SQL_INT64:
                    line += std::to_string(*reinterpret_cast<const ISC_INT64*>(data)) + "e" + std::to_string(v.sqlscale);
                    break;
                case SQL_FLOAT:
                case SQL_TYPE_DATE:
                case SQL_TYPE_TIME:
                    line += hex(data, 4);
                    break;
                case SQL_DOUBLE:
                case SQL_TIMESTAMP:
                    line += hex(data, 8);
                    break;
                case SQL_BOOLEAN:
                    line += hex(data, 1);
                    break;
                case SQL_BLOB: {
                    isc_blob_handle blob = 0;
                    ISC_QUAD id = *reinterpret_cast<const ISC_QUAD*>(data);
                    if (isc_open_blob2(status, &db, &tr, &blob, &id, 0, nullptr))
                        fail("open blob of " + table);
                    char segment[8192];
                    unsigned short length = 0;
                    for (;;) {
                        const ISC_STATUS got = isc_get_segment(status, &blob, &length, sizeof segment, segment);
                        if (got != 0 && got != isc_segment)
                            break;
                        line += hex(segment, length);
                    }
                    isc_close_blob(status, &blob);
                    break;
                }
                default:
                    line += "type" + std::to_string(v.sqltype & ~1);
                    break;
                }
            }
            rows.push_back(std::move(line));
        });
        std::sort(rows.begin(), rows.end());
    }
    isc_commit_transaction(status, &tr);
    isc_detach_database(status, &db);
    return dump;
}

}  // namespace ravelin::writer::testing
