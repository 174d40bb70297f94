#pragma once

// The target database through the Firebird client library (isc_* API). A
// local path is opened by the embedded engine, "host:path" through a server.
// Statement texts are UTF-8 inside the program and go to the target in the
// configured single-byte code page (ods::EncodeText); nothing here logs.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "writer/targetdatabase.h"

namespace ravelin::writer {

// Database parameter buffer of an attach: version 1, user name (28), its
// length and bytes, password (29), its length and bytes; with forcedWrites,
// force write (24), length 1 and 1 or 0, which sets the database's forced
// writes on or off. The name and password are converted to the code page
// first. Empty when either is longer than 255 bytes, which the one length
// byte cannot say.
std::vector<std::uint8_t> BuildDatabaseParameters(std::string_view userName, std::string_view password,
                                                  std::optional<bool> forcedWrites = std::nullopt);

// Transaction parameters of a definition: version 3, write, read committed,
// record version, no wait. INSERTs start their transactions without any.
inline constexpr std::uint8_t kDefinitionTransaction[] = {3, 9, 15, 18, 7};

// SQL dialect of the INSERT statements (their literals are written for it).
inline constexpr unsigned short kInsertDialect = 1;

// Whether targetPath names a database on a server ("host:/path",
// "host/port:/path", "inet://host/path") rather than a local file.
bool IsServerPath(std::string_view targetPath);

// The file part of a target path: a local path as it is, a server path
// without its server ("host:/data/t.fdb" gives "/data/t.fdb").
std::string LocalTargetPath(const std::string& targetPath);

class TargetConnection final : public TargetDatabase {
public:
    // stopRequested (may be null) is polled before every statement.
    explicit TargetConnection(const std::atomic<bool>* stopRequested = nullptr, CommitCadence cadence = {});
    ~TargetConnection() override;

    TargetConnection(const TargetConnection&) = delete;
    TargetConnection& operator=(const TargetConnection&) = delete;

    bool Attach(const TargetLogin& login) override;
    bool ExecuteDefinition(std::string statement) override;
    bool ExecuteInsert(std::string statement) override;
    bool ExecuteInsertWithParameters(std::string statement,
                                     std::span<const extract::InsertParameter> parameters) override;
    bool PrepareInsert(const std::string& statement) override;
    bool ExecutePrepared(std::span<const extract::InsertValue> values,
                         std::span<const extract::InsertParameter> parameters) override;
    void InsertInTargetDialect(bool own) override { ownDialectInserts = own; }
    bool DetachTarget() override;

    bool Attached() const override { return databaseHandle != 0; }
    bool Lost() const override { return lost; }
    std::int32_t LastSqlCode() const override { return lastSqlCode; }
    const std::string& FailureText() const override { return failureText; }
    std::uint64_t InsertsLostAtCommit() const override { return insertsLostAtCommit; }

    // The SQL dialect of the attached database (1 or 3); definitions are
    // executed in it.
    unsigned short DatabaseDialect() const { return databaseDialect; }
    // A fresh target (no user tables when attached, forced writes on) is
    // loaded with forced writes off: its writes are not waited for one by
    // one. DetachTarget sets them on again and, for a local file, has the
    // file's writes reach the disk before it reports. A target that holds
    // tables keeps its setting.
    bool LoadingWithoutForcedWrites() const { return forcedWritesToRestore; }
    // Whether the attached database's writes are forced, as the engine
    // says; nullopt when it cannot be told.
    std::optional<bool> ForcedWritesOn();

private:
    bool Stopped() const { return stopRequested != nullptr && stopRequested->load(std::memory_order_relaxed); }
    // The statement in the code page, when it may go to the target: not
    // after a stop request (the open batch is committed then), not without
    // an attachment, not with a zero character cutting it short. alone:
    // what the cadence holds back is committed first.
    std::optional<std::string> Encoded(const std::string& statement, bool alone);
    // Runs one statement in a transaction of its own and commits it whatever
    // happened; a failed commit is a failed statement.
    bool ExecuteAlone(const std::string& encoded, const std::uint8_t* tpb, unsigned short tpbLength,
                      unsigned short dialect);
    bool ExecuteInBatch(std::string&& encoded);
    // Starts the fast cadence's shared transaction unless it is open;
    // false, the failure noted, when the target refuses.
    bool OpenBatch();
    // Runs one INSERT with blob and array parameters in a transaction of its
    // own: creates the blobs and arrays, prepares and executes the
    // statement, commits.
    bool ExecuteWithParameters(const std::string& encoded, std::span<const extract::InsertParameter> parameters);
    unsigned short InsertDialect() const { return ownDialectInserts ? databaseDialect : kInsertDialect; }
    // Creates the record's blobs and arrays in transaction; ids receives
    // their ids. A failure is in statusVector, or in ownFailure.
    // A blob's or array's id as the client library writes it.
    struct BlobQuad {
        std::int32_t high = 0;
        std::uint32_t low = 0;
    };
    bool CreateParameters(unsigned int& transaction, std::span<const extract::InsertParameter> parameters,
                          std::vector<BlobQuad>& ids, std::string& ownFailure);
    // Points the prepared INSERT's descriptors at the values (and at ids for
    // the Parameter values). False, with why in ownFailure, for a value the
    // client library cannot carry.
    bool BindValues(std::span<const extract::InsertValue> values,
                    std::span<const extract::InsertParameter> parameters, std::span<const BlobQuad> ids,
                    std::string& ownFailure);
    // Runs the prepared INSERT with the bound values in transaction.
    bool ExecuteBound(unsigned int& transaction);
    // A prepared INSERT of a record in a transaction of its own, committed
    // whatever happened (as ExecuteAlone).
    bool ExecutePreparedAlone(std::span<const extract::InsertValue> values,
                              std::span<const extract::InsertParameter> parameters);
    void FreePrepared();
    // Starts a record's own transaction (no parameters: write, concurrency,
    // wait); false, the failure noted, when the target refuses.
    bool StartRecordTransaction(unsigned int& transaction);
    // Ends a record's own transaction: committed when its INSERT succeeded
    // (a failed commit fails it), otherwise rolled back with the blobs
    // created for it. Yields whether the record landed.
    bool EndRecordTransaction(unsigned int& transaction, bool succeeded);
    // Commits the open batch. When the commit fails, rolls back and runs
    // each statement that had succeeded on its own again.
    void FlushBatch();
    // Records the failure held in statusVector: SQLCODE, text, lost flag.
    void NoteFailure();
    void ReleaseHandles();
    // Whether the attached database holds a user table; nullopt when it
    // cannot be told.
    std::optional<bool> HoldsUserTables();
    // Attaches again with forced writes set as given; false (the attachment
    // gone) when the target refused.
    bool ReattachWithForcedWrites(bool on);

    const std::atomic<bool>* stopRequested;
    CommitCadence cadence;

    std::intptr_t statusVector[20] = {};
    std::int32_t lastSqlCode = 0;
    unsigned int databaseHandle = 0;
    unsigned int transactionHandle = 0;
    unsigned short databaseDialect = 3;
    bool ownDialectInserts = false;
    bool lost = false;
    TargetLogin attachedLogin;
    bool forcedWritesToRestore = false;
    std::string failureText;

    // The prepared INSERT: its handle, its descriptors (XSQLDA) and one
    // slot of bound data per value.
    struct BoundSlot {
        std::int64_t number = 0;
        double real = 0;
        float single = 0;
        std::int32_t stamp[2] = {};  // day, then time of day (a TIMESTAMP's layout)
        std::int8_t flag = 0;
        std::string text;
        short nullIndicator = 0;
    };
    unsigned int preparedHandle = 0;
    std::size_t preparedCount = 0;
    std::vector<std::byte> preparedArea;
    std::vector<BoundSlot> boundSlots;

    // The fast cadence: statements (or prepared records) of the open batch
    // that succeeded.
    unsigned int batchHandle = 0;
    std::uint32_t batchStatements = 0;
    std::vector<std::string> batchSucceeded;
    std::vector<std::vector<extract::InsertValue>> batchSucceededValues;  // the first batchValueCount
    std::size_t batchValueCount = 0;
    std::uint64_t insertsLostAtCommit = 0;
};

}  // namespace ravelin::writer
