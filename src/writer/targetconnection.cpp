#include "writer/targetconnection.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>

#include <fcntl.h>
#include <ibase.h>
#include <unistd.h>

#include "ods/textcodec.h"

namespace ravelin::writer {
namespace {

static_assert(std::is_same_v<ISC_STATUS, std::intptr_t>, "status vector words");
// The bound values' own storage has the client library's layouts.
static_assert(sizeof(ISC_QUAD) == 8 && sizeof(ISC_TIMESTAMP) == 8 && sizeof(ISC_INT64) == 8, "value layouts");
static_assert(std::is_same_v<FB_API_HANDLE, unsigned int>, "client handles");

constexpr std::uint8_t kDpbVersion1 = 1;
constexpr std::uint8_t kDpbUserName = 28;
constexpr std::uint8_t kDpbPassword = 29;
constexpr std::uint8_t kDpbForceWrite = 24;

// Errors after which the attachment is gone for good: the server or the
// network went away, or the database was shut down under us.
bool ConnectionGone(const ISC_STATUS* status)
{
    for (int i = 0; i < ISC_STATUS_LENGTH - 1 && status[i] != isc_arg_end; i += 2) {
        if (status[i] != isc_arg_gds)
            continue;
        switch (status[i + 1]) {
        case isc_network_error:
        case isc_net_read_err:
        case isc_net_write_err:
        case isc_lost_db_connection:
        case isc_conn_lost:
        case isc_shutdown:
        case isc_att_shutdown:
        case isc_bad_db_handle:
            return true;
        default:
            break;
        }
    }
    return false;
}

std::string StatusText(const ISC_STATUS* status)
{
    std::string text;
    const ISC_STATUS* cursor = status;
    char buffer[1024];
    while (fb_interpret(buffer, sizeof buffer, &cursor) > 0) {
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Length argument of isc_dsql_execute_immediate: the byte count when it fits
// its 16 bits, otherwise 0 (the text is read up to its zero byte).
unsigned short StatementLength(const std::string& text)
{
    return text.size() <= 0xFFFF ? static_cast<unsigned short>(text.size()) : 0;
}

}  // namespace

std::vector<std::uint8_t> BuildDatabaseParameters(std::string_view userName, std::string_view password,
                                                  std::optional<bool> forcedWrites)
{
    const std::string user = ods::EncodeText(userName);
    const std::string secret = ods::EncodeText(password);
    if (user.size() > 255 || secret.size() > 255)
        return {};
    std::vector<std::uint8_t> dpb;
    dpb.reserve(user.size() + secret.size() + 5);
    dpb.push_back(kDpbVersion1);
    dpb.push_back(kDpbUserName);
    dpb.push_back(static_cast<std::uint8_t>(user.size()));
    dpb.insert(dpb.end(), user.begin(), user.end());
    dpb.push_back(kDpbPassword);
    dpb.push_back(static_cast<std::uint8_t>(secret.size()));
    dpb.insert(dpb.end(), secret.begin(), secret.end());
    if (forcedWrites) {
        dpb.push_back(kDpbForceWrite);
        dpb.push_back(1);
        dpb.push_back(*forcedWrites ? 1 : 0);
    }
    return dpb;
}

bool IsServerPath(std::string_view targetPath)
{
    for (std::string_view scheme : {"inet://", "inet4://", "inet6://", "xnet://", "wnet://"}) {
        if (StartsWith(targetPath, scheme))
            return true;
    }
    if (StartsWith(targetPath, "["))
        return true;  // [IPv6 address]:path
    const std::size_t colon = targetPath.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    const std::string_view host = targetPath.substr(0, colon);
    if (host.front() == '/' || host.front() == '.')
        return false;
    // "host/port:path" has one slash inside the host part; a longer relative
    // path with a colon in a folder name is a local file.
    const std::size_t slash = host.find('/');
    return slash == std::string_view::npos || host.find('/', slash + 1) == std::string_view::npos;
}

std::string LocalTargetPath(const std::string& targetPath)
{
    if (!IsServerPath(targetPath))
        return targetPath;
    const std::size_t scheme = targetPath.find("://");
    if (scheme != std::string::npos) {
        const std::size_t slash = targetPath.find('/', scheme + 3);
        return slash == std::string::npos ? std::string() : targetPath.substr(slash);
    }
    std::size_t from = 0;
    if (targetPath.front() == '[') {
        const std::size_t close = targetPath.find(']');
        from = close == std::string::npos ? targetPath.size() : close;
    }
    const std::size_t colon = targetPath.find(':', from);
    return colon == std::string::npos ? std::string() : targetPath.substr(colon + 1);
}

TargetConnection::TargetConnection(const std::atomic<bool>* stopRequested, CommitCadence cadence)
    : stopRequested(stopRequested), cadence(cadence)
{
    if (this->cadence.statementsPerCommit == 0)
        this->cadence.statementsPerCommit = 1;
}

TargetConnection::~TargetConnection()
{
    if (Attached())
        DetachTarget();
}

void TargetConnection::NoteFailure()
{
    lastSqlCode = static_cast<std::int32_t>(isc_sqlcode(statusVector));
    failureText = StatusText(statusVector);
    if (ConnectionGone(statusVector))
        lost = true;
}

void TargetConnection::ReleaseHandles()
{
    databaseHandle = 0;
    transactionHandle = 0;
    batchHandle = 0;
    batchStatements = 0;
    batchSucceeded.clear();
    batchValueCount = 0;
    // A prepared statement ends with its attachment.
    preparedHandle = 0;
    preparedCount = 0;
}

bool TargetConnection::Attach(const TargetLogin& login)
{
    if (Attached())
        DetachTarget();
    std::memset(statusVector, 0, sizeof statusVector);
    ReleaseHandles();
    lost = false;
    lastSqlCode = 0;
    failureText.clear();
    insertsLostAtCommit = 0;

    const std::vector<std::uint8_t> dpb = BuildDatabaseParameters(login.userName, login.password);
    if (dpb.empty()) {
        failureText = "the user name or the password is longer than 255 bytes";
        return false;
    }
    // File names go to the library as the file system spells them (UTF-8),
    // so that a folder with accented letters is found.
    if (login.targetPath.empty() || login.targetPath.find('\0') != std::string::npos) {
        failureText = "no target database path was given";
        return false;
    }
    isc_db_handle handle = 0;
    if (isc_attach_database(statusVector, 0, login.targetPath.c_str(), &handle, static_cast<short>(dpb.size()),
                            reinterpret_cast<const ISC_SCHAR*>(dpb.data())) != 0) {
        NoteFailure();
        lost = false;
        std::memset(statusVector, 0, sizeof statusVector);
        databaseHandle = 0;
        return false;
    }
    databaseHandle = handle;

    // Definitions are executed in the database's own dialect: a dialect 3
    // database refuses NUMERIC(15,3) from a dialect 1 statement.
    databaseDialect = 1;
    const ISC_SCHAR items[] = {isc_info_db_sql_dialect, isc_info_end};
    ISC_SCHAR answer[32] = {};
    if (isc_database_info(statusVector, &handle, sizeof items, items, sizeof answer, answer) == 0 &&
        answer[0] == isc_info_db_sql_dialect) {
        const short length = static_cast<short>(isc_vax_integer(answer + 1, 2));
        if (length > 0 && length <= 4) {
            const ISC_LONG dialect = isc_vax_integer(answer + 3, length);
            if (dialect == 1 || dialect == 3)
                databaseDialect = static_cast<unsigned short>(dialect);
        }
    }
    attachedLogin = login;
    forcedWritesToRestore = false;
    // A fresh target is loaded without forced writes; DetachTarget sets
    // them on again.
    if (HoldsUserTables() == false && ForcedWritesOn() == true)
        forcedWritesToRestore = ReattachWithForcedWrites(false);
    std::memset(statusVector, 0, sizeof statusVector);
    return true;
}

std::optional<bool> TargetConnection::HoldsUserTables()
{
    isc_db_handle database = databaseHandle;
    isc_tr_handle transaction = 0;
    ISC_STATUS_ARRAY status = {};
    if (isc_start_transaction(status, &transaction, 1, &database, sizeof kDefinitionTransaction,
                              kDefinitionTransaction) != 0)
        return std::nullopt;
    static constexpr char kQuery[] =
        "SELECT COUNT(*) FROM RDB$RELATIONS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0";
    std::vector<char> area(XSQLDA_LENGTH(1));
    auto* columns = reinterpret_cast<XSQLDA*>(area.data());
    columns->version = SQLDA_VERSION1;
    columns->sqln = 1;
    ISC_INT64 count = -1;
    ISC_SHORT nullFlag = 0;
    isc_stmt_handle handle = 0;
    bool read = isc_dsql_allocate_statement(status, &database, &handle) == 0 &&
                isc_dsql_prepare(status, &transaction, &handle, 0, kQuery, 3, columns) == 0 && columns->sqld == 1;
    if (read) {
        columns->sqlvar[0].sqltype = SQL_INT64 | 1;
        columns->sqlvar[0].sqlscale = 0;
        columns->sqlvar[0].sqllen = sizeof count;
        columns->sqlvar[0].sqldata = reinterpret_cast<ISC_SCHAR*>(&count);
        columns->sqlvar[0].sqlind = &nullFlag;
        read = isc_dsql_execute(status, &transaction, &handle, SQLDA_VERSION1, nullptr) == 0 &&
               isc_dsql_fetch(status, &handle, SQLDA_VERSION1, columns) == 0 && nullFlag == 0;
    }
    if (handle != 0)
        isc_dsql_free_statement(status, &handle, DSQL_drop);
    isc_rollback_transaction(status, &transaction);
    if (!read)
        return std::nullopt;
    return count != 0;
}

std::optional<bool> TargetConnection::ForcedWritesOn()
{
    isc_db_handle database = databaseHandle;
    ISC_STATUS_ARRAY status = {};
    const ISC_SCHAR items[] = {isc_info_forced_writes, isc_info_end};
    ISC_SCHAR answer[16] = {};
    if (isc_database_info(status, &database, sizeof items, items, sizeof answer, answer) != 0 ||
        answer[0] != isc_info_forced_writes)
        return std::nullopt;
    const short length = static_cast<short>(isc_vax_integer(answer + 1, 2));
    if (length <= 0 || length > 4)
        return std::nullopt;
    return isc_vax_integer(answer + 3, length) != 0;
}

bool TargetConnection::ReattachWithForcedWrites(bool on)
{
    // The new attachment comes first: the database stays open in between,
    // so the engine keeps its page cache rather than closing the file and
    // reading it again.
    const std::vector<std::uint8_t> dpb =
        BuildDatabaseParameters(attachedLogin.userName, attachedLogin.password, on);
    isc_db_handle handle = 0;
    if (isc_attach_database(statusVector, 0, attachedLogin.targetPath.c_str(), &handle,
                            static_cast<short>(dpb.size()), reinterpret_cast<const ISC_SCHAR*>(dpb.data())) != 0) {
        NoteFailure();
        return false;
    }
    isc_db_handle database = databaseHandle;
    ISC_STATUS_ARRAY status = {};
    if (database != 0)
        isc_detach_database(status, &database);
    databaseHandle = handle;
    return true;
}

bool TargetConnection::ExecuteAlone(const std::string& encoded, const std::uint8_t* tpb, unsigned short tpbLength,
                                    unsigned short dialect)
{
    isc_db_handle database = databaseHandle;
    isc_tr_handle transaction = 0;
    if (isc_start_transaction(statusVector, &transaction, 1, &database, tpbLength, tpb) != 0) {
        NoteFailure();
        return false;
    }
    transactionHandle = transaction;
    bool succeeded =
        isc_dsql_execute_immediate(statusVector, &database, &transaction, StatementLength(encoded), encoded.c_str(),
                                   dialect, nullptr) == 0;
    if (!succeeded)
        NoteFailure();

    // Committed whether or not the statement succeeded. Some definitions are
    // only checked when committed; a commit that fails fails the statement.
    ISC_STATUS_ARRAY commitStatus = {};
    if (isc_commit_transaction(commitStatus, &transaction) != 0) {
        if (succeeded) {
            std::memcpy(statusVector, commitStatus, sizeof statusVector);
            NoteFailure();
            succeeded = false;
        } else if (ConnectionGone(commitStatus)) {
            lost = true;
        }
        ISC_STATUS_ARRAY rollbackStatus = {};
        isc_rollback_transaction(rollbackStatus, &transaction);
    }
    transactionHandle = 0;
    if (succeeded)
        failureText.clear();
    return succeeded;
}

bool TargetConnection::OpenBatch()
{
    if (batchHandle != 0)
        return true;
    isc_db_handle database = databaseHandle;
    isc_tr_handle batch = 0;
    if (isc_start_transaction(statusVector, &batch, 1, &database, 0, nullptr) != 0) {
        NoteFailure();
        return false;
    }
    batchHandle = batch;
    return true;
}

bool TargetConnection::ExecuteInBatch(std::string&& encoded)
{
    if (!OpenBatch())
        return false;
    isc_db_handle database = databaseHandle;
    isc_tr_handle batch = batchHandle;
    // A statement that fails is undone by the engine on its own; the batch
    // and the statements before it stay as they were.
    const bool succeeded = isc_dsql_execute_immediate(statusVector, &database, &batch, StatementLength(encoded),
                                                      encoded.c_str(), InsertDialect(), nullptr) == 0;
    if (succeeded) {
        failureText.clear();
        batchSucceeded.push_back(std::move(encoded));
    } else {
        NoteFailure();
    }
    ++batchStatements;
    if (lost || batchStatements >= cadence.statementsPerCommit)
        FlushBatch();
    return succeeded;
}

void TargetConnection::FlushBatch()
{
    if (batchHandle == 0)
        return;
    isc_tr_handle batch = batchHandle;
    ISC_STATUS_ARRAY commitStatus = {};
    if (isc_commit_transaction(commitStatus, &batch) != 0) {
        std::memcpy(statusVector, commitStatus, sizeof statusVector);
        NoteFailure();
        ISC_STATUS_ARRAY rollbackStatus = {};
        isc_rollback_transaction(rollbackStatus, &batch);
        batchHandle = 0;
        // Run what the batch held the way the default cadence would have.
        std::vector<std::string> pending = std::move(batchSucceeded);
        std::vector<std::vector<extract::InsertValue>> pendingValues = std::move(batchSucceededValues);
        pendingValues.resize(batchValueCount);
        batchSucceeded.clear();
        batchSucceededValues.clear();
        batchValueCount = 0;
        for (const std::string& statement : pending) {
            if (lost || !ExecuteAlone(statement, nullptr, 0, InsertDialect()))
                ++insertsLostAtCommit;
        }
        for (const std::vector<extract::InsertValue>& values : pendingValues) {
            if (lost || !ExecutePreparedAlone(values, {}))
                ++insertsLostAtCommit;
        }
    }
    batchHandle = 0;
    batchStatements = 0;
    batchSucceeded.clear();
    batchValueCount = 0;
}

std::optional<std::string> TargetConnection::Encoded(const std::string& statement, bool alone)
{
    if (Stopped()) {
        FlushBatch();
        return std::nullopt;
    }
    if (!Attached() || lost)
        return std::nullopt;
    if (alone)
        FlushBatch();
    std::string encoded = ods::EncodeStatement(statement);
    if (encoded.size() > 0xFFFF && encoded.find('\0') != std::string::npos) {
        failureText = "the statement holds a zero character";
        return std::nullopt;
    }
    return encoded;
}

bool TargetConnection::ExecuteDefinition(std::string statement)
{
    const std::optional<std::string> encoded = Encoded(statement, true);
    return encoded && ExecuteAlone(*encoded, kDefinitionTransaction, sizeof kDefinitionTransaction, databaseDialect);
}

bool TargetConnection::ExecuteInsert(std::string statement)
{
    std::optional<std::string> encoded = Encoded(statement, false);
    if (!encoded)
        return false;
    if (cadence.statementsPerCommit <= 1)
        return ExecuteAlone(*encoded, nullptr, 0, InsertDialect());
    return ExecuteInBatch(std::move(*encoded));
}

bool TargetConnection::ExecuteInsertWithParameters(std::string statement,
                                                   std::span<const extract::InsertParameter> parameters)
{
    if (parameters.empty())
        return ExecuteInsert(std::move(statement));
    // The blobs and arrays belong to the statement's transaction: it runs on
    // its own, after what the cadence holds back.
    const std::optional<std::string> encoded = Encoded(statement, true);
    return encoded && ExecuteWithParameters(*encoded, parameters);
}

namespace {

std::string UpperAscii(std::string name)
{
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return name;
}

// The slice isc_array_put_slice takes for an array's stored elements, as the
// target's column describes it (desc): other elements as stored; each VARCHAR
// element, stored as its 16-bit length and the declared bytes, as a
// zero-terminated text in a slot of the declared length plus 2. Empty, with
// why in failure, when the stored elements do not fit the column.
std::vector<std::byte> ArraySlice(const extract::InsertParameter& parameter, const ISC_ARRAY_DESC& desc,
                                  std::string& failure)
{
    std::uint64_t count = 1;
    for (int d = 0; d < desc.array_desc_dimensions && d < 16; ++d)
        count *= std::uint64_t(std::int64_t{desc.array_desc_bounds[d].array_bound_upper} -
                               desc.array_desc_bounds[d].array_bound_lower + 1);
    const std::size_t stored = parameter.arrayElementLength;
    const bool varying = desc.array_desc_dtype == blr_varying || desc.array_desc_dtype == blr_varying2;
    const std::size_t declared = desc.array_desc_length;
    if (parameter.bytes.size() != count * stored || stored != (varying ? declared + 2 : declared)) {
        failure = "the array's stored elements do not fit its column " + parameter.arrayColumn;
        return {};
    }
    if (!varying)
        return parameter.bytes;
    std::vector<std::byte> slice(parameter.bytes.size());
    for (std::size_t k = 0; k < count; ++k) {
        const std::byte* element = parameter.bytes.data() + k * stored;
        const std::size_t length =
            std::to_integer<std::size_t>(element[0]) | (std::to_integer<std::size_t>(element[1]) << 8);
        if (length > declared) {
            failure = "an element of the array of column " + parameter.arrayColumn + " is longer than its type";
            return {};
        }
        // A zero byte inside the text would end it early: the value is not
        // passed cut short.
        if (std::find(element + 2, element + 2 + length, std::byte{0}) != element + 2 + length) {
            failure = "an element of the array of column " + parameter.arrayColumn +
                      " holds a zero byte, which an array's text cannot carry";
            return {};
        }
        std::copy(element + 2, element + 2 + length, slice.begin() + static_cast<std::ptrdiff_t>(k * stored));
    }
    return slice;
}

}  // namespace

bool TargetConnection::CreateParameters(unsigned int& transaction,
                                        std::span<const extract::InsertParameter> parameters,
                                        std::vector<BlobQuad>& quads, std::string& ownFailure)
{
    isc_db_handle database = databaseHandle;
    bool succeeded = true;
    quads.assign(parameters.size(), BlobQuad{});
    auto* ids = reinterpret_cast<ISC_QUAD*>(quads.data());
    // Each blob written in segments of at most 32 KiB; each array as one
    // slice of the whole array.
    constexpr std::size_t kSegment = 32768;
    for (std::size_t i = 0; i < parameters.size() && succeeded; ++i) {
        const extract::InsertParameter& parameter = parameters[i];
        if (parameter.IsArray()) {
            ISC_ARRAY_DESC desc{};
            const std::string table = UpperAscii(parameter.arrayTable);
            const std::string column = UpperAscii(parameter.arrayColumn);
            succeeded = isc_array_lookup_bounds(statusVector, &database, &transaction, table.c_str(), column.c_str(),
                                                &desc) == 0;
            if (!succeeded)
                break;
            std::vector<std::byte> slice = ArraySlice(parameter, desc, ownFailure);
            if (!ownFailure.empty()) {
                succeeded = false;
                break;
            }
            ISC_LONG length = static_cast<ISC_LONG>(slice.size());
            succeeded = isc_array_put_slice(statusVector, &database, &transaction, &ids[i], &desc, slice.data(),
                                            &length) == 0;
            continue;
        }
        isc_blob_handle blob = 0;
        if (isc_create_blob2(statusVector, &database, &transaction, &blob, &ids[i], 0, nullptr) != 0) {
            succeeded = false;
            break;
        }
        const std::vector<std::byte>& bytes = parameter.bytes;
        for (std::size_t at = 0; at < bytes.size() && succeeded; at += kSegment) {
            const std::size_t length = std::min(kSegment, bytes.size() - at);
            succeeded = isc_put_segment(statusVector, &blob, static_cast<unsigned short>(length),
                                        reinterpret_cast<const ISC_SCHAR*>(bytes.data() + at)) == 0;
        }
        if (succeeded) {
            succeeded = isc_close_blob(statusVector, &blob) == 0;
        } else {
            ISC_STATUS_ARRAY cancelStatus = {};
            isc_cancel_blob(cancelStatus, &blob);
        }
    }
    return succeeded;
}

bool TargetConnection::ExecuteWithParameters(const std::string& encoded,
                                             std::span<const extract::InsertParameter> parameters)
{
    isc_db_handle database = databaseHandle;
    isc_tr_handle transaction = 0;
    if (!StartRecordTransaction(transaction))
        return false;
    bool succeeded = true;
    // Set where a failure comes from no status vector.
    std::string ownFailure;

    std::vector<BlobQuad> ids;
    succeeded = CreateParameters(transaction, parameters, ids, ownFailure);

    isc_stmt_handle handle = 0;
    std::vector<char> area(XSQLDA_LENGTH(parameters.size()));
    auto* descriptors = reinterpret_cast<XSQLDA*>(area.data());
    descriptors->version = SQLDA_VERSION1;
    descriptors->sqln = static_cast<ISC_SHORT>(parameters.size());
    if (succeeded)
        succeeded = isc_dsql_allocate_statement(statusVector, &database, &handle) == 0;
    if (succeeded)
        succeeded = isc_dsql_prepare(statusVector, &transaction, &handle, StatementLength(encoded), encoded.c_str(),
                                     InsertDialect(), nullptr) == 0;
    if (succeeded)
        succeeded = isc_dsql_describe_bind(statusVector, &handle, SQLDA_VERSION1, descriptors) == 0;
    if (succeeded && static_cast<std::size_t>(descriptors->sqld) != parameters.size()) {
        succeeded = false;
        ownFailure = "the statement's parameters do not match its blob and array values";
    }
    ISC_SHORT notNull = 0;
    if (succeeded) {
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            XSQLVAR& variable = descriptors->sqlvar[i];
            variable.sqltype = (parameters[i].IsArray() ? SQL_ARRAY : SQL_BLOB) | 1;
            variable.sqlsubtype = 0;
            variable.sqlscale = 0;
            variable.sqllen = sizeof(ISC_QUAD);
            variable.sqldata = reinterpret_cast<ISC_SCHAR*>(&ids[i]);
            variable.sqlind = &notNull;
        }
        succeeded = isc_dsql_execute(statusVector, &transaction, &handle, SQLDA_VERSION1, descriptors) == 0;
    }
    if (!ownFailure.empty()) {
        std::memset(statusVector, 0, sizeof statusVector);
        failureText = ownFailure;
    }
    if (!succeeded && statusVector[1] != 0)
        NoteFailure();
    if (handle != 0) {
        ISC_STATUS_ARRAY freeStatus = {};
        isc_dsql_free_statement(freeStatus, &handle, DSQL_drop);
    }

    return EndRecordTransaction(transaction, succeeded);
}

bool TargetConnection::StartRecordTransaction(unsigned int& transaction)
{
    isc_db_handle database = databaseHandle;
    if (isc_start_transaction(statusVector, &transaction, 1, &database, 0, nullptr) != 0) {
        NoteFailure();
        return false;
    }
    transactionHandle = transaction;
    return true;
}

bool TargetConnection::EndRecordTransaction(unsigned int& transaction, bool succeeded)
{
    ISC_STATUS_ARRAY endStatus = {};
    if (succeeded) {
        if (isc_commit_transaction(endStatus, &transaction) != 0) {
            std::memcpy(statusVector, endStatus, sizeof statusVector);
            NoteFailure();
            succeeded = false;
            ISC_STATUS_ARRAY rollbackStatus = {};
            isc_rollback_transaction(rollbackStatus, &transaction);
        }
    } else if (isc_rollback_transaction(endStatus, &transaction) != 0 && ConnectionGone(endStatus)) {
        lost = true;
    }
    transactionHandle = 0;
    if (succeeded)
        failureText.clear();
    return succeeded;
}

bool TargetConnection::DetachTarget()
{
    if (!Attached())
        return false;
    FlushBatch();
    FreePrepared();
    // Forced writes on again (through an attachment of their own, made
    // while this one still holds the database open), then the file's writes
    // of the load on the disk: the target is as safe as one loaded with them
    // on.
    const bool restore = forcedWritesToRestore;
    forcedWritesToRestore = false;
    std::string restoreFailure;
    if (restore && !ReattachWithForcedWrites(true))
        restoreFailure = "forced writes could not be set on again: " + failureText;
    isc_db_handle database = databaseHandle;
    bool detached = isc_detach_database(statusVector, &database) == 0;
    if (!detached)
        NoteFailure();
    // A failed detach leaves nothing this connection could still use.
    ReleaseHandles();
    if (!restoreFailure.empty()) {
        detached = false;
        failureText = restoreFailure;
    }
    if (restore && detached && !IsServerPath(attachedLogin.targetPath)) {
        const int file = ::open(attachedLogin.targetPath.c_str(), O_RDONLY | O_CLOEXEC);
        detached = file >= 0 && ::fsync(file) == 0;
        if (file >= 0)
            ::close(file);
        if (!detached)
            failureText = "the target's writes could not be flushed to the disk";
    }
    return detached;
}

void TargetConnection::FreePrepared()
{
    if (preparedHandle != 0) {
        isc_stmt_handle handle = preparedHandle;
        ISC_STATUS_ARRAY freeStatus = {};
        isc_dsql_free_statement(freeStatus, &handle, DSQL_drop);
    }
    preparedHandle = 0;
    preparedCount = 0;
}

bool TargetConnection::PrepareInsert(const std::string& statement)
{
    if (cadence.textStatements)
        return false;
    // What the batch holds belongs to the statement prepared before.
    const std::optional<std::string> encoded = Encoded(statement, true);
    FreePrepared();
    if (!encoded)
        return false;
    const std::size_t markers = static_cast<std::size_t>(std::count(encoded->begin(), encoded->end(), '?'));
    if (markers == 0 || markers > 0x7FFF)
        return false;
    isc_db_handle database = databaseHandle;
    isc_tr_handle transaction = 0;
    if (isc_start_transaction(statusVector, &transaction, 1, &database, 0, nullptr) != 0) {
        NoteFailure();
        return false;
    }
    preparedArea.assign(XSQLDA_LENGTH(markers), std::byte{0});
    auto* descriptors = reinterpret_cast<XSQLDA*>(preparedArea.data());
    descriptors->version = SQLDA_VERSION1;
    descriptors->sqln = static_cast<ISC_SHORT>(markers);
    isc_stmt_handle handle = 0;
    // The statement holds no literal: the database's own dialect reads it.
    bool prepared = isc_dsql_allocate_statement(statusVector, &database, &handle) == 0 &&
                    isc_dsql_prepare(statusVector, &transaction, &handle, StatementLength(*encoded), encoded->c_str(),
                                     databaseDialect, nullptr) == 0 &&
                    isc_dsql_describe_bind(statusVector, &handle, SQLDA_VERSION1, descriptors) == 0;
    if (!prepared)
        NoteFailure();
    prepared = prepared && static_cast<std::size_t>(descriptors->sqld) == markers;
    ISC_STATUS_ARRAY endStatus = {};
    if (isc_commit_transaction(endStatus, &transaction) != 0)
        isc_rollback_transaction(endStatus, &transaction);
    if (!prepared) {
        if (handle != 0) {
            ISC_STATUS_ARRAY freeStatus = {};
            isc_dsql_free_statement(freeStatus, &handle, DSQL_drop);
        }
        return false;
    }
    preparedHandle = handle;
    preparedCount = markers;
    boundSlots.resize(markers);
    failureText.clear();
    return true;
}

bool TargetConnection::BindValues(std::span<const extract::InsertValue> values,
                                  std::span<const extract::InsertParameter> parameters,
                                  std::span<const BlobQuad> ids, std::string& ownFailure)
{
    using extract::ValueKind;
    if (values.size() != preparedCount) {
        ownFailure = "the record's values do not match its prepared INSERT";
        return false;
    }
    auto* descriptors = reinterpret_cast<XSQLDA*>(preparedArea.data());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const extract::InsertValue& value = values[i];
        XSQLVAR& variable = descriptors->sqlvar[i];
        BoundSlot& slot = boundSlots[i];
        slot.nullIndicator = 0;
        variable.sqlind = &slot.nullIndicator;
        variable.sqlsubtype = 0;
        variable.sqlscale = 0;
        auto point = [&variable](auto& storage, short type) {
            variable.sqltype = static_cast<ISC_SHORT>(type | 1);
            variable.sqllen = static_cast<ISC_SHORT>(sizeof storage);
            variable.sqldata = reinterpret_cast<ISC_SCHAR*>(&storage);
        };
        switch (value.kind) {
        case ValueKind::Null:
            slot.text.assign(1, ' ');
            variable.sqltype = SQL_TEXT | 1;
            variable.sqllen = 1;
            variable.sqldata = slot.text.data();
            slot.nullIndicator = -1;
            break;
        case ValueKind::Text:
        case ValueKind::Utf8Text: {
            // As in the statement text: a zero character would end the
            // literal, so it is left out; a code page text goes in the code
            // page (character set NONE, as the statement's literals), a UTF-8
            // text as UTF8.
            const bool utf8 = value.kind == ValueKind::Utf8Text;
            const std::string& given = value.text;
            // Plain ASCII without zeros (most texts) is the same in every
            // form: copied into the slot's storage as it is.
            const bool plain = std::all_of(given.begin(), given.end(), [](char c) {
                return c != '\0' && static_cast<unsigned char>(c) < 0x80;
            });
            if (plain) {
                slot.text.assign(given);
            } else {
                std::string kept = given;
                kept.erase(std::remove(kept.begin(), kept.end(), '\0'), kept.end());
                slot.text = utf8 ? std::move(kept) : ods::EncodeText(kept);
            }
            if (slot.text.size() > 32767) {
                ownFailure = "a text of " + std::to_string(slot.text.size()) + " bytes is longer than a column holds";
                return false;
            }
            variable.sqltype = SQL_TEXT | 1;
            variable.sqlsubtype = utf8 ? 4 : 0;
            variable.sqllen = static_cast<ISC_SHORT>(slot.text.size());
            variable.sqldata = slot.text.data();
            break;
        }
        case ValueKind::Integer:
            slot.number = value.integer;
            point(slot.number, SQL_INT64);
            variable.sqlscale = static_cast<ISC_SHORT>(-value.scale);
            break;
        case ValueKind::Float:
            slot.single = static_cast<float>(value.real);
            point(slot.single, SQL_FLOAT);
            break;
        case ValueKind::Double:
            slot.real = value.real;
            point(slot.real, SQL_DOUBLE);
            break;
        case ValueKind::Boolean:
            slot.flag = value.integer != 0 ? 1 : 0;
            point(slot.flag, SQL_BOOLEAN);
            break;
        case ValueKind::Date:
            slot.stamp[0] = static_cast<std::int32_t>(value.integer);
            point(slot.stamp[0], SQL_TYPE_DATE);
            break;
        case ValueKind::Time:
            slot.stamp[1] = static_cast<std::int32_t>(value.time);
            point(slot.stamp[1], SQL_TYPE_TIME);
            break;
        case ValueKind::Timestamp:
            slot.stamp[0] = static_cast<std::int32_t>(value.integer);
            slot.stamp[1] = static_cast<std::int32_t>(value.time);
            point(slot.stamp, SQL_TIMESTAMP);
            break;
        case ValueKind::Parameter: {
            if (value.integer < 0 || static_cast<std::size_t>(value.integer) >= ids.size()) {
                ownFailure = "a blob or array value of the record has no bytes";
                return false;
            }
            const auto at = static_cast<std::size_t>(value.integer);
            variable.sqltype = static_cast<ISC_SHORT>((parameters[at].IsArray() ? SQL_ARRAY : SQL_BLOB) | 1);
            variable.sqllen = sizeof(ISC_QUAD);
            variable.sqldata = reinterpret_cast<ISC_SCHAR*>(const_cast<BlobQuad*>(&ids[at]));
            break;
        }
        }
    }
    return true;
}

bool TargetConnection::ExecuteBound(unsigned int& transaction)
{
    isc_tr_handle handle = transaction;
    isc_stmt_handle statement = preparedHandle;
    const bool succeeded = isc_dsql_execute(statusVector, &handle, &statement, SQLDA_VERSION1,
                                            reinterpret_cast<XSQLDA*>(preparedArea.data())) == 0;
    transaction = handle;
    return succeeded;
}

bool TargetConnection::ExecutePreparedAlone(std::span<const extract::InsertValue> values,
                                            std::span<const extract::InsertParameter> parameters)
{
    isc_tr_handle transaction = 0;
    if (!StartRecordTransaction(transaction))
        return false;
    std::string ownFailure;
    std::vector<BlobQuad> ids;
    unsigned int running = transaction;
    bool succeeded = CreateParameters(running, parameters, ids, ownFailure) &&
                     BindValues(values, parameters, ids, ownFailure) && ExecuteBound(running);
    if (!ownFailure.empty()) {
        std::memset(statusVector, 0, sizeof statusVector);
        failureText = ownFailure;
    } else if (!succeeded) {
        NoteFailure();
    }
    transaction = running;
    return EndRecordTransaction(transaction, succeeded);
}

bool TargetConnection::ExecutePrepared(std::span<const extract::InsertValue> values,
                                       std::span<const extract::InsertParameter> parameters)
{
    if (Stopped()) {
        FlushBatch();
        return false;
    }
    if (!Attached() || lost)
        return false;
    if (preparedHandle == 0) {
        failureText = "no INSERT is prepared";
        return false;
    }
    if (cadence.statementsPerCommit <= 1 || !parameters.empty()) {
        // Blobs and arrays belong to their record's transaction.
        FlushBatch();
        return ExecutePreparedAlone(values, parameters);
    }
    if (!OpenBatch())
        return false;
    std::string ownFailure;
    unsigned int running = batchHandle;
    // A record that fails is undone by the engine on its own; the batch and
    // the records before it stay as they were.
    const bool succeeded = BindValues(values, parameters, {}, ownFailure) && ExecuteBound(running);
    if (succeeded) {
        failureText.clear();
        // Kept for a failed commit; the storage of earlier batches is
        // reused.
        if (batchValueCount == batchSucceededValues.size())
            batchSucceededValues.emplace_back();
        batchSucceededValues[batchValueCount++].assign(values.begin(), values.end());
    } else if (!ownFailure.empty()) {
        failureText = ownFailure;
    } else {
        NoteFailure();
    }
    ++batchStatements;
    if (lost || batchStatements >= cadence.statementsPerCommit)
        FlushBatch();
    return succeeded;
}

}  // namespace ravelin::writer
