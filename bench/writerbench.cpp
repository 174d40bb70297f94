// Benchmark: the rows of a synthetic six-column table into embedded targets,
// through the target writer in its two cadences (one prepared INSERT with
// typed values: each row in its own transaction, and one commit per 1000
// rows) against minimal loops over the client library:
//   (a) the row's INSERT text, committed per row
//   (b) the INSERT text, committed per 1000 rows
//   (c) one prepared INSERT with typed parameters, committed per 1000 rows
//   (d) (c) on a target with forced writes off
//   (e) (a) on a target with forced writes off
// The writer loads a fresh target as a repair does: it creates the table
// itself (so forced writes are off while it loads) and its time includes
// the detach, which sets them on again and flushes the file. Each round
// gives every way a fresh blank target; the ways take turns inside a round
// (in reverse order every other round) and the figure of each way is the
// median of its rounds. Every 500th row repeats a key and is refused, as a
// damaged record would be.
//
//   ravelin-bench-writer [--rows N] [--rounds R] [--dir FOLDER] [--way TEXT] [--slow-rows N]
//
// --way runs only the ways whose name holds TEXT (no ratios then).
// Way (a) waits for the disk at every row: it runs the first --slow-rows
// rows only (default 2000), which is enough for its rate.
//
// The targets are created in FOLDER (default: the system's temporary folder)
// and removed afterwards.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <ibase.h>
#include <stdlib.h>

#include "writer/blanktarget.h"
#include "writer/targetconnection.h"

namespace {

using ravelin::extract::InsertValue;
using ravelin::extract::ValueKind;
using ravelin::writer::CommitCadence;
using ravelin::writer::CreateBlankTarget;
using ravelin::writer::TargetConnection;
using ravelin::writer::TargetLogin;

constexpr const char* kCreateTable =
    "CREATE TABLE BENCH(ID INTEGER NOT NULL ,NAME VARCHAR(40) ,AMOUNT NUMERIC(15,2),CREATED TIMESTAMP,"
    "NOTE CHAR(20) ,RATE DOUBLE PRECISION,PRIMARY KEY(ID))";
constexpr const char* kPreparedInsert = "INSERT INTO BENCH(ID,NAME,AMOUNT,CREATED,NOTE,RATE) VALUES (?,?,?,?,?,?)";

// One row of the table: its INSERT text and its typed values.
struct Row {
    std::string statement;
    std::vector<InsertValue> values;
};

std::vector<Row> MakeRows(int count)
{
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int id = (i % 500 == 499) ? i - 1 : i;
        const int month = i % 12 + 1;
        const int day = i % 28 + 1;
        const int hour = i % 24;
        const int minute = i % 60;
        const int second = (i * 7) % 60;
        const std::string name = "Customer " + std::to_string(i) + " O'Neil";
        const std::string note = "note " + std::to_string(i % 1000);
        const long long cents = static_cast<long long>(i * 7 % 100000) * 100 + i % 100;
        const double rate = i * 0.37;
        char buffer[320];
        std::snprintf(buffer, sizeof buffer,
                      "INSERT INTO BENCH(ID,NAME,AMOUNT,CREATED,NOTE,RATE) VALUES (%d,'Customer %d O''Neil',%d.%02d,"
                      "'2004-%02d-%02d %02d:%02d:%02d','%s',%.17g)",
                      id, i, i * 7 % 100000, i % 100, month, day, hour, minute, second, note.c_str(), rate);
        Row row;
        row.statement = buffer;
        std::tm when{};
        when.tm_year = 2004 - 1900;
        when.tm_mon = month - 1;
        when.tm_mday = day;
        when.tm_hour = hour;
        when.tm_min = minute;
        when.tm_sec = second;
        ISC_TIMESTAMP stamp{};
        isc_encode_timestamp(&when, &stamp);
        row.values.resize(6);
        row.values[0].kind = ValueKind::Integer;
        row.values[0].integer = id;
        row.values[1].kind = ValueKind::Text;
        row.values[1].text = name;
        row.values[2].kind = ValueKind::Integer;
        row.values[2].integer = cents;
        row.values[2].scale = 2;
        row.values[3].kind = ValueKind::Timestamp;
        row.values[3].integer = stamp.timestamp_date;
        row.values[3].time = stamp.timestamp_time;
        row.values[4].kind = ValueKind::Text;
        row.values[4].text = note;
        row.values[5].kind = ValueKind::Double;
        row.values[5].real = rate;
        rows.push_back(std::move(row));
    }
    return rows;
}

struct Outcome {
    double seconds = 0;
    double detachSeconds = 0;  // the writer's detach: forced writes on again, the file flushed
    std::size_t rows = 0;  // rows sent
    long succeeded = 0;
};

bool Fail(const char* what, const ISC_STATUS* status)
{
    char text[512];
    const ISC_STATUS* cursor = status;
    std::fprintf(stderr, "bench: %s:", what);
    while (fb_interpret(text, sizeof text, &cursor) > 0)
        std::fprintf(stderr, " %s", text);
    std::fprintf(stderr, "\n");
    return false;
}

// The minimal loops: attach (setting forced writes as asked), then per row
// either execute_immediate of its text or execute of one prepared INSERT
// with typed parameters, committing after every perCommit rows (per row: its
// own transaction, committed whether or not it succeeded).
bool RawLoop(const TargetLogin& login, const std::vector<Row>& rows, int perCommit, bool prepared, bool forcedWrites,
             Outcome& outcome)
{
    const std::vector<std::uint8_t> dpb =
        ravelin::writer::BuildDatabaseParameters(login.userName, login.password, forcedWrites);
    ISC_STATUS_ARRAY status = {};
    isc_db_handle database = 0;
    if (isc_attach_database(status, 0, login.targetPath.c_str(), &database, static_cast<short>(dpb.size()),
                            reinterpret_cast<const ISC_SCHAR*>(dpb.data())) != 0)
        return Fail("attach", status);
    const auto start = std::chrono::steady_clock::now();
    isc_tr_handle transaction = 0;
    isc_stmt_handle statement = 0;
    std::vector<char> area(XSQLDA_LENGTH(6));
    auto* in = reinterpret_cast<XSQLDA*>(area.data());
    in->version = SQLDA_VERSION1;
    in->sqln = 6;
    ISC_LONG id = 0;
    ISC_INT64 amount = 0;
    ISC_TIMESTAMP created{};
    double rate = 0;
    short flags[6] = {};
    if (prepared) {
        if (isc_start_transaction(status, &transaction, 1, &database, 0, nullptr) != 0 ||
            isc_dsql_allocate_statement(status, &database, &statement) != 0 ||
            isc_dsql_prepare(status, &transaction, &statement, 0, kPreparedInsert, 3, nullptr) != 0 ||
            isc_dsql_describe_bind(status, &statement, 1, in) != 0)
            return Fail("prepare", status);
        const short types[6] = {SQL_LONG, SQL_TEXT, SQL_INT64, SQL_TIMESTAMP, SQL_TEXT, SQL_DOUBLE};
        void* data[6] = {&id, nullptr, &amount, &created, nullptr, &rate};
        const short lengths[6] = {4, 0, 8, 8, 0, 8};
        for (int k = 0; k < 6; ++k) {
            in->sqlvar[k].sqltype = static_cast<short>(types[k] | 1);
            in->sqlvar[k].sqlsubtype = 0;
            in->sqlvar[k].sqlscale = static_cast<short>(k == 2 ? -2 : 0);
            in->sqlvar[k].sqllen = lengths[k];
            in->sqlvar[k].sqldata = static_cast<ISC_SCHAR*>(data[k]);
            in->sqlvar[k].sqlind = &flags[k];
        }
    }
    int inBatch = 0;
    for (const Row& row : rows) {
        if (transaction == 0 && isc_start_transaction(status, &transaction, 1, &database, 0, nullptr) != 0)
            return Fail("start", status);
        bool succeeded = false;
        if (prepared) {
            id = static_cast<ISC_LONG>(row.values[0].integer);
            in->sqlvar[1].sqldata = const_cast<char*>(row.values[1].text.data());
            in->sqlvar[1].sqllen = static_cast<short>(row.values[1].text.size());
            amount = row.values[2].integer;
            created.timestamp_date = static_cast<ISC_DATE>(row.values[3].integer);
            created.timestamp_time = row.values[3].time;
            in->sqlvar[4].sqldata = const_cast<char*>(row.values[4].text.data());
            in->sqlvar[4].sqllen = static_cast<short>(row.values[4].text.size());
            rate = row.values[5].real;
            succeeded = isc_dsql_execute(status, &transaction, &statement, 1, in) == 0;
        } else {
            succeeded = isc_dsql_execute_immediate(status, &database, &transaction, 0, row.statement.c_str(), 1,
                                                   nullptr) == 0;
        }
        outcome.succeeded += succeeded ? 1 : 0;
        if (++inBatch >= perCommit) {
            if (isc_commit_transaction(status, &transaction) != 0)
                return Fail("commit", status);
            inBatch = 0;
        }
    }
    if (transaction != 0 && isc_commit_transaction(status, &transaction) != 0)
        return Fail("commit", status);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.rows = rows.size();
    if (statement != 0)
        isc_dsql_free_statement(status, &statement, DSQL_drop);
    isc_detach_database(status, &database);
    return true;
}

// The writer as a repair drives it: attach to the blank target, create the
// table, prepare its INSERT, one call per row, detach.
bool Writer(const TargetLogin& login, const std::vector<Row>& rows, std::uint32_t perCommit, Outcome& outcome)
{
    const auto start = std::chrono::steady_clock::now();
    TargetConnection target(nullptr, CommitCadence{perCommit});
    if (!target.Attach(login) || !target.ExecuteDefinition(kCreateTable) || !target.PrepareInsert(kPreparedInsert)) {
        std::fprintf(stderr, "bench: writer: %s\n", target.FailureText().c_str());
        return false;
    }
    for (const Row& row : rows) {
        if (target.ExecutePrepared(row.values, {}))
            ++outcome.succeeded;
    }
    const auto loaded = std::chrono::steady_clock::now();
    if (!target.DetachTarget()) {
        std::fprintf(stderr, "bench: detach: %s\n", target.FailureText().c_str());
        return false;
    }
    // The detach commits the last batch and flushes the file: it belongs to
    // the time, as do the attach and the table's creation.
    const auto end = std::chrono::steady_clock::now();
    outcome.seconds = std::chrono::duration<double>(end - start).count();
    outcome.detachSeconds = std::chrono::duration<double>(end - loaded).count();
    outcome.rows = rows.size();
    return true;
}

struct Way {
    const char* name;
    bool createsItsTable;
    std::function<bool(const TargetLogin&, Outcome&)> run;
    std::vector<double> rates;
    std::vector<double> detachSeconds;
    long succeeded = -1;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int rowCount = 20000;
    int rounds = 3;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::string onlyWay;  // run only the ways whose name holds this text
    int slowRows = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows")
            rowCount = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--dir")
            dir = argv[i + 1];
        else if (option == "--way")
            onlyWay = argv[i + 1];
        else if (option == "--slow-rows")
            slowRows = std::max(1, std::atoi(argv[i + 1]));
    }
    std::string pattern = (dir / "ravelin-bench-writer-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "bench: cannot create a folder in %s\n", dir.c_str());
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::vector<Row> rows = MakeRows(rowCount);
    const std::vector<Row> slow(rows.begin(), rows.begin() + std::min(rowCount, slowRows));

    std::vector<Way> ways = {
        {"(a) text, commit per row", false,
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, slow, 1, false, true, o); }, {}},
        {"(b) text, commit per 1000", false,
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, rows, 1000, false, true, o); }, {}},
        {"(c) prepared, commit per 1000", false,
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, rows, 1000, true, true, o); }, {}},
        {"(d) prepared, per 1000, no forced writes", false,
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, rows, 1000, true, false, o); }, {}},
        {"(e) text, per row, no forced writes", false,
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, rows, 1, false, false, o); }, {}},
        {"writer, default (commit per row)", true,
         [&](const TargetLogin& l, Outcome& o) { return Writer(l, rows, 1, o); }, {}},
        {"writer, fast (commit per 1000)", true,
         [&](const TargetLogin& l, Outcome& o) { return Writer(l, rows, 1000, o); }, {}},
    };

    if (!onlyWay.empty()) {
        std::erase_if(ways, [&](const Way& way) { return std::string(way.name).find(onlyWay) == std::string::npos; });
        if (ways.empty()) {
            std::fprintf(stderr, "bench: no way is named like %s\n", onlyWay.c_str());
            return 1;
        }
    }
    std::printf("%d rows of six columns (every 500th refused; (a): the first %zu), %d round(s), targets in %s\n",
                rowCount, slow.size(), rounds, folder.c_str());
    bool ok = true;
    int serial = 0;
    for (int round = 0; round < rounds && ok; ++round) {
        // Odd rounds run the ways in the reverse order, so that no way always
        // follows the same one.
        std::vector<Way*> order;
        for (Way& way : ways)
            order.push_back(&way);
        if (round % 2 == 1)
            std::reverse(order.begin(), order.end());
        for (Way* next : order) {
            Way& way = *next;
            TargetLogin login{(folder / ("t" + std::to_string(serial++) + ".fdb")).string(), "SYSDBA", "masterkey"};
            const std::string failure = CreateBlankTarget(login);
            if (!failure.empty()) {
                std::fprintf(stderr, "bench: %s\n", failure.c_str());
                ok = false;
                break;
            }
            if (!way.createsItsTable) {
                TargetConnection setup;
                if (!setup.Attach(login) || !setup.ExecuteDefinition(kCreateTable) || !setup.DetachTarget()) {
                    std::fprintf(stderr, "bench: setting up the table: %s\n", setup.FailureText().c_str());
                    ok = false;
                    break;
                }
            }
            Outcome outcome;
            if (!way.run(login, outcome)) {
                ok = false;
                break;
            }
            if (way.succeeded >= 0 && way.succeeded != outcome.succeeded)
                std::fprintf(stderr, "bench: %s landed %ld rows, before %ld\n", way.name, outcome.succeeded,
                             way.succeeded);
            way.succeeded = outcome.succeeded;
            way.rates.push_back(static_cast<double>(outcome.rows) / outcome.seconds);
            way.detachSeconds.push_back(outcome.detachSeconds);
            std::filesystem::remove(login.targetPath);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!ok)
        return 1;

    std::printf("  %-44s %10s %10s %10s  (rows/s)\n", "", "median", "min", "max");
    for (const Way& way : ways) {
        std::printf("  %-44s %10.0f %10.0f %10.0f  (%ld rows landed", way.name, Median(way.rates),
                    *std::min_element(way.rates.begin(), way.rates.end()),
                    *std::max_element(way.rates.begin(), way.rates.end()), way.succeeded);
        if (way.createsItsTable)
            std::printf("; detach, forced writes on and the file flushed: %.2f s", Median(way.detachSeconds));
        std::printf(")\n");
    }
    if (ways.size() != 7)
        return 0;
    const auto rate = [&ways](std::size_t i) { return Median(ways[i].rates); };
    std::printf("writer default / (e): %.2fx (goal >= 0.9x);  / (a): %.1fx\n", rate(5) / rate(4), rate(5) / rate(0));
    std::printf("writer fast / (d):    %.2fx (goal >= 0.8x);  / (b): %.1fx\n", rate(6) / rate(3), rate(6) / rate(1));
    std::printf("(c) / (b): %.1fx   (d) / (b): %.1fx   (e) / (a): %.1fx\n", rate(2) / rate(1), rate(3) / rate(1),
                rate(4) / rate(0));
    return 0;
}
