// Benchmark: INSERT statements of a synthetic table into embedded targets,
// through the target writer (per-statement commits, and one commit per 1000
// statements) against the same statements run by a minimal loop over the
// client library with the same two commit cadences. Each round gives every
// way a fresh blank target; the ways take turns inside a round (in reverse
// order every other round) and the figure of each way is the median of its
// rounds.
//
//   ravelin-bench-writer [--rows N] [--rounds R] [--dir FOLDER] [--way TEXT]
//
// --way runs only the ways whose name holds TEXT (no ratios then).
//
// The targets are created in FOLDER (default: the system's temporary folder)
// and removed afterwards.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <ibase.h>
#include <stdlib.h>

#include "writer/blanktarget.h"
#include "writer/targetconnection.h"

namespace {

using ravelin::writer::CommitCadence;
using ravelin::writer::CreateBlankTarget;
using ravelin::writer::TargetConnection;
using ravelin::writer::TargetLogin;

constexpr const char* kCreateTable =
    "CREATE TABLE BENCH(ID INTEGER NOT NULL ,NAME VARCHAR(40) ,AMOUNT NUMERIC(15,2),CREATED TIMESTAMP,"
    "NOTE CHAR(20) ,PRIMARY KEY(ID))";

// One INSERT per row, as the table data transfer writes them. Every 500th
// row repeats a key and is refused, as damaged records are.
std::vector<std::string> MakeStatements(int rows)
{
    std::vector<std::string> statements;
    statements.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        const int id = (i % 500 == 499) ? i - 1 : i;
        char buffer[256];
        std::snprintf(buffer, sizeof buffer,
                      "INSERT INTO BENCH(ID,NAME,AMOUNT,CREATED,NOTE) VALUES (%d,'Customer %d O''Neil',%d.%02d,"
                      "'2004-%02d-%02d %02d:%02d:%02d','note %d')",
                      id, i, i * 7 % 100000, i % 100, i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60, i % 1000);
        statements.emplace_back(buffer);
    }
    return statements;
}

struct Outcome {
    double seconds = 0;
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

// The minimal loop: attach, then execute_immediate per statement, committing
// after every `perCommit` statements (per statement: its own transaction,
// committed whether or not it succeeded). With savepoints, each statement of
// a batch runs inside an explicit savepoint that is rolled back when the
// statement fails.
bool RawLoop(const TargetLogin& login, const std::vector<std::string>& statements, int perCommit, bool savepoints,
             Outcome& outcome)
{
    const std::vector<std::uint8_t> dpb = ravelin::writer::BuildDatabaseParameters(login.userName, login.password);
    ISC_STATUS_ARRAY status = {};
    isc_db_handle database = 0;
    if (isc_attach_database(status, 0, login.targetPath.c_str(), &database, static_cast<short>(dpb.size()),
                            reinterpret_cast<const ISC_SCHAR*>(dpb.data())) != 0)
        return Fail("attach", status);
    const auto start = std::chrono::steady_clock::now();
    isc_tr_handle transaction = 0;
    int inBatch = 0;
    for (const std::string& statement : statements) {
        if (transaction == 0 && isc_start_transaction(status, &transaction, 1, &database, 0, nullptr) != 0)
            return Fail("start", status);
        if (savepoints)
            isc_dsql_execute_immediate(status, &database, &transaction, 0, "SAVEPOINT S", 1, nullptr);
        if (isc_dsql_execute_immediate(status, &database, &transaction, 0, statement.c_str(), 1, nullptr) == 0) {
            ++outcome.succeeded;
            if (savepoints)
                isc_dsql_execute_immediate(status, &database, &transaction, 0, "RELEASE SAVEPOINT S ONLY", 1,
                                           nullptr);
        } else if (savepoints) {
            isc_dsql_execute_immediate(status, &database, &transaction, 0, "ROLLBACK TO SAVEPOINT S", 1, nullptr);
        }
        if (++inBatch >= perCommit) {
            if (isc_commit_transaction(status, &transaction) != 0)
                return Fail("commit", status);
            inBatch = 0;
        }
    }
    if (transaction != 0 && isc_commit_transaction(status, &transaction) != 0)
        return Fail("commit", status);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    isc_detach_database(status, &database);
    return true;
}

bool Writer(const TargetLogin& login, const std::vector<std::string>& statements, std::uint32_t perCommit,
            Outcome& outcome)
{
    TargetConnection target(nullptr, CommitCadence{perCommit});
    if (!target.Attach(login)) {
        std::fprintf(stderr, "bench: attach: %s\n", target.FailureText().c_str());
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& statement : statements) {
        if (target.ExecuteInsert(statement))
            ++outcome.succeeded;
    }
    if (!target.DetachTarget()) {
        std::fprintf(stderr, "bench: detach: %s\n", target.FailureText().c_str());
        return false;
    }
    // The detach commits the last batch, so it belongs to the time.
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

struct Way {
    const char* name;
    std::function<bool(const TargetLogin&, Outcome&)> run;
    std::vector<double> rates;
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
    int rows = 20000;
    int rounds = 3;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::string onlyWay;  // run only the ways whose name holds this text
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows")
            rows = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--dir")
            dir = argv[i + 1];
        else if (option == "--way")
            onlyWay = argv[i + 1];
    }
    std::string pattern = (dir / "ravelin-bench-writer-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "bench: cannot create a folder in %s\n", dir.c_str());
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::vector<std::string> statements = MakeStatements(rows);

    std::vector<Way> ways = {
        {"writer, commit per statement",
         [&](const TargetLogin& l, Outcome& o) { return Writer(l, statements, 1, o); }, {}},
        {"client loop, commit per statement",
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, statements, 1, false, o); }, {}},
        {"writer, commit per 1000",
         [&](const TargetLogin& l, Outcome& o) { return Writer(l, statements, 1000, o); }, {}},
        {"client loop, commit per 1000",
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, statements, 1000, false, o); }, {}},
        {"client loop, per 1000, savepoint each",
         [&](const TargetLogin& l, Outcome& o) { return RawLoop(l, statements, 1000, true, o); }, {}},
    };

    if (!onlyWay.empty()) {
        std::erase_if(ways, [&](const Way& way) { return std::string(way.name).find(onlyWay) == std::string::npos; });
        if (ways.empty()) {
            std::fprintf(stderr, "bench: no way is named like %s\n", onlyWay.c_str());
            return 1;
        }
    }
    std::printf("%d INSERT statements (every 500th refused), %d round(s), targets in %s\n", rows, rounds,
                folder.c_str());
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
            TargetConnection setup;
            if (!setup.Attach(login) || !setup.ExecuteDefinition(kCreateTable) || !setup.DetachTarget()) {
                std::fprintf(stderr, "bench: setting up the table: %s\n", setup.FailureText().c_str());
                ok = false;
                break;
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
            way.rates.push_back(static_cast<double>(rows) / outcome.seconds);
            std::filesystem::remove(login.targetPath);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (!ok)
        return 1;

    std::printf("  %-40s %10s %10s %10s  (statements/s)\n", "", "median", "min", "max");
    for (const Way& way : ways)
        std::printf("  %-40s %10.0f %10.0f %10.0f  (%ld rows landed)\n", way.name, Median(way.rates),
                    *std::min_element(way.rates.begin(), way.rates.end()),
                    *std::max_element(way.rates.begin(), way.rates.end()), way.succeeded);
    if (ways.size() < 4)
        return 0;
    const double defaultRatio = Median(ways[0].rates) / Median(ways[1].rates);
    const double fastRatio = Median(ways[2].rates) / Median(ways[3].rates);
    std::printf("writer per statement / client loop per statement: %.2fx (goal >= 0.9x)\n", defaultRatio);
    std::printf("writer per 1000 / client loop per 1000:           %.2fx (goal >= 0.6x)\n", fastRatio);
    std::printf("writer per 1000 / writer per statement:           %.1fx\n",
                Median(ways[2].rates) / Median(ways[0].rates));
    return 0;
}
