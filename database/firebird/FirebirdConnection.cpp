// The Firebird adapter: the only code that includes Firebird headers. Every
// Firebird failure is turned into TDatabaseError here, once; every Firebird
// handle is held by an owner that gives it back on every path.

#include "database/firebird/FirebirdConnection.h"

#include <ibase.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "common/AnsiText.h"
#include "database/firebird/FirebirdInternals.h"

namespace cep {

namespace firebird {

namespace {

constexpr const char* kCharSet = "WIN1252";

std::vector<intptr_t> StatusCodes(const intptr_t* vector) {
    std::vector<intptr_t> codes;
    if (vector == nullptr)
        return codes;
    for (const intptr_t* p = vector; *p != isc_arg_end;) {
        const intptr_t tag = *p++;
        switch (tag) {
            case isc_arg_gds:
                codes.push_back(*p++);
                break;
            case isc_arg_cstring:
                p += 2;
                break;
            default:  // string, number, interpreted, sql_state, warning...
                ++p;
                break;
        }
    }
    return codes;
}

/// True when `server` names a database on a server over the network
/// ("host:path", "host/port:path"), not a local file ("C:\\path", "/path").
bool IsRemote(const std::string& server) {
    const std::size_t colon = server.find(':');
    return colon != std::string::npos && colon > 1 && server.compare(0, 7, "xnet://") != 0;
}

/// The transaction parameter block for `options`: read committed, record
/// versions, and the wait and reservations asked for.
std::vector<unsigned char> TransactionParameters(const TTransactionOptions& options) {
    std::vector<unsigned char> tpb = {
        isc_tpb_version3,
        static_cast<unsigned char>(options.readOnly ? isc_tpb_read : isc_tpb_write),
        isc_tpb_read_committed, isc_tpb_rec_version};
    if (options.lockTimeout > 0) {
        tpb.push_back(isc_tpb_wait);
        tpb.push_back(isc_tpb_lock_timeout);
        tpb.push_back(1);
        tpb.push_back(static_cast<unsigned char>(std::min(options.lockTimeout, 255)));
    } else {
        tpb.push_back(isc_tpb_nowait);
    }
    for (const std::string& table : options.protectedTables) {
        tpb.push_back(isc_tpb_lock_write);
        tpb.push_back(static_cast<unsigned char>(table.size()));
        for (char c : table)
            tpb.push_back(static_cast<unsigned char>(c));
        tpb.push_back(isc_tpb_protected);
    }
    return tpb;
}

}  // namespace

IMaster* Master() {
    static IMaster* master = fb_get_master_interface();
    return master;
}

TDatabaseFailure FailureOf(const std::vector<intptr_t>& codes) {
    auto any = [&](std::initializer_list<intptr_t> wanted) {
        for (intptr_t code : codes)
            for (intptr_t w : wanted)
                if (code == w)
                    return true;
        return false;
    };
    // In order of precedence: a cancel or a lost connection says more than
    // the codes that come with it.
    if (any({isc_cancelled}))
        return TDatabaseFailure::Cancelled;
    if (any({isc_network_error, isc_net_read_err, isc_net_write_err, isc_conn_lost,
             isc_lost_db_connection, isc_shutdown, isc_att_shutdown, isc_bad_db_handle}))
        return TDatabaseFailure::ConnectionLost;
    if (any({isc_unique_key_violation, isc_no_dup}))
        return TDatabaseFailure::KeyViolation;
    if (any({isc_lock_conflict, isc_deadlock, isc_update_conflict, isc_lock_timeout,
             isc_obj_in_use}))
        return TDatabaseFailure::LockConflict;
    if (any({isc_no_priv}))
        return TDatabaseFailure::NoPermission;
    if (any({isc_dsql_relation_err, isc_dsql_table_not_found, isc_relnotdef, isc_dsql_field_err}))
        return TDatabaseFailure::UnknownObject;
    if (any({isc_arith_except, isc_string_truncation, isc_not_valid, isc_check_constraint,
             isc_convert_error, isc_numeric_out_of_range, isc_malformed_string,
             isc_transliteration_failed, isc_foreign_key}))
        return TDatabaseFailure::DataRejected;
    return TDatabaseFailure::Other;
}

TDatabaseError Translate(IStatus* status) {
    char buffer[2048];
    Master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, status);
    std::string message = buffer;
    std::vector<intptr_t> codes = StatusCodes(status->getErrors());
    const TDatabaseFailure failure = FailureOf(codes);
    // Duplicate-key errors carry no "key violation" in Firebird's wording;
    // callers that search the message for those words find them in front.
    if (failure == TDatabaseFailure::KeyViolation)
        message = "Key violation: " + message;
    return TDatabaseError(message, std::move(codes), failure);
}

TOwned<IMessageMetadata> TextMetadata(ThrowStatusWrapper* st, IMessageMetadata* described) {
    TOwned<IMetadataBuilder> builder(described->getBuilder(st));
    const unsigned count = described->getCount(st);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned type = described->getType(st, i) & ~1u;
        unsigned length = described->getLength(st, i);
        if (type != SQL_TEXT && type != SQL_VARYING) {
            length = 64;  // room for any number or date as text
            builder->setCharSet(st, i, 0);
        }
        builder->setType(st, i, SQL_VARYING + 1);
        builder->setLength(st, i, length);
        builder->setScale(st, i, 0);
    }
    return TOwned<IMessageMetadata>(builder->getMetadata(st));
}

// ------------------------------------------------------------- transaction

ITransaction* TTxState::Open() const {
    if (handle)
        return handle.Get();
    if (lostWithConnection)
        throw TDatabaseError("The transaction was rolled back when its connection closed", {},
                             TDatabaseFailure::ConnectionLost);
    throw TDatabaseError("The transaction has already ended");
}

void TFirebirdTransaction::Commit() {
    ITransaction* handle = FState->Open();
    try {
        Tracked(*FState->activity, [&](ThrowStatusWrapper* st) { handle->commit(st); });
    } catch (const TDatabaseError&) {
        FState->handle.Rollback();
        throw;
    }
    FState->handle.Forget();  // a committed transaction has released itself
}

// ----------------------------------------------------------------- children

TConnectionChild::TConnectionChild(TFirebirdConnection& connection) : FConnection(&connection) {
    FConnection->Register(this);
}

void TConnectionChild::Unregister() noexcept {
    if (FConnection != nullptr)
        FConnection->Unregister(this);
}

TFirebirdConnection& TConnectionChild::Connection() const {
    if (FConnection == nullptr)
        throw TDatabaseError("The connection of this query no longer exists");
    return *FConnection;
}

// --------------------------------------------------------------- connection

TFirebirdConnection::~TFirebirdConnection() {
    CloseConnection();
    for (TConnectionChild* child : std::set<TConnectionChild*>(FChildren))
        child->Orphan();
}

void TFirebirdConnection::OpenConnection(const TConnectionParams& params) {
    CloseConnection();
    FParams = params;
    const std::string server = params.Value("SERVER NAME");
    const std::string user = params.Value("USER NAME");
    const std::string password = params.Value("PASSWORD");
    FAttachment.Attach(Call([&](ThrowStatusWrapper* st) {
        TOwned<IXpbBuilder> dpb(
            Master()->getUtilInterface()->getXpbBuilder(st, IXpbBuilder::DPB, nullptr, 0));
        if (!user.empty())
            dpb->insertString(st, isc_dpb_user_name, user.c_str());
        if (!password.empty())
            dpb->insertString(st, isc_dpb_password, password.c_str());
        dpb->insertString(st, isc_dpb_lc_ctype, kCharSet);
        dpb->insertInt(st, isc_dpb_sql_dialect, kDialect);
        dpb->insertInt(st, isc_dpb_connect_timeout, kConnectTimeoutSeconds);
        TOwned<IProvider> provider(Master()->getDispatcher());
        return provider->attachDatabase(st, server.c_str(), dpb->getBufferLength(st),
                                        dpb->getBuffer(st));
    }));
    FCancelTarget.store(FAttachment.Get());
    FActivity = std::make_shared<TActivity>();
    if (IsRemote(server))
        FWatch = std::make_unique<TServerWatch>(server, FParams, FAttachment.Get(), FActivity);
}

void TFirebirdConnection::CloseConnection() {
    FWatch.reset();
    for (TConnectionChild* child : FChildren)
        child->Abandon();
    for (const std::weak_ptr<TTxState>& weak : FTransactions) {
        if (const std::shared_ptr<TTxState> state = weak.lock(); state && state->handle) {
            state->handle.Rollback();
            state->lostWithConnection = true;
        }
    }
    FTransactions.clear();
    FCancelTarget.store(nullptr);
    FAttachment.Detach();
}

IAttachment* TFirebirdConnection::Attachment() {
    if (!FAttachment) {
        if (FParams.lines.empty())
            throw TDatabaseError("The database connection is not open");
        OpenConnection(FParams);
    }
    return FAttachment.Get();
}

TFbTransaction TFirebirdConnection::StartOwnTransaction(const TTransactionOptions& options) {
    const std::vector<unsigned char> tpb = TransactionParameters(options);
    IAttachment* attachment = Attachment();
    return TFbTransaction(Server([&](ThrowStatusWrapper* st) {
        return attachment->startTransaction(st, static_cast<unsigned>(tpb.size()), tpb.data());
    }));
}

std::unique_ptr<TTransaction> TFirebirdConnection::StartTransaction(
    const TTransactionOptions& options) {
    auto state = std::make_shared<TTxState>();
    state->activity = FActivity;
    state->handle = StartOwnTransaction(options);
    std::erase_if(FTransactions, [](const std::weak_ptr<TTxState>& w) { return w.expired(); });
    FTransactions.push_back(state);
    return std::make_unique<TFirebirdTransaction>(std::move(state));
}

std::shared_ptr<TTxState> TFirebirdConnection::StateOf(TTransaction& transaction) const {
    auto* ours = dynamic_cast<TFirebirdTransaction*>(&transaction);
    if (ours == nullptr)
        throw TDatabaseError("The transaction is not one of this connection's");
    for (const std::weak_ptr<TTxState>& weak : FTransactions)
        if (weak.lock() == ours->State())
            return ours->State();
    ours->State()->Open();  // raises for one that ended with an earlier connection
    throw TDatabaseError("The transaction is not one of this connection's");
}

std::unique_ptr<TQuery> TFirebirdConnection::CreateQuery(TTransaction* transaction) {
    return std::make_unique<TFirebirdQuery>(*this, transaction ? StateOf(*transaction) : nullptr);
}

std::unique_ptr<TStatement> TFirebirdConnection::Prepare(std::string_view sql,
                                                         TTransaction& transaction) {
    return std::make_unique<TFirebirdStatement>(*this, *StateOf(transaction), sql);
}

bool TFirebirdConnection::CancelRunning() noexcept {
    IAttachment* attachment = FCancelTarget.load();
    if (attachment == nullptr)
        return false;
    TQuietStatus status;
    attachment->cancelOperation(&status, fb_cancel_raise);
    if (!status.Failed())
        return true;
    return !status.Error().HasCode(isc_nothing_to_cancel);
}

std::vector<std::string> TFirebirdConnection::ListUserTables() {
    std::unique_ptr<TQuery> query = CreateQuery(nullptr);
    query->OpenSelect(
        "SELECT RDB$RELATION_NAME FROM RDB$RELATIONS "
        "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 AND RDB$VIEW_BLR IS NULL "
        "ORDER BY RDB$RELATION_NAME");
    std::vector<std::string> names;
    for (; !query->AtEnd(); query->Next())
        names.push_back(RightTrimmed(query->ColumnText("RDB$RELATION_NAME")));
    return names;
}

int32_t TFirebirdConnection::CountRecords(std::string_view table) {
    if (!FMoveSource.empty() && table == FMoveSource)
        return FMoveSourceCount;
    try {
        std::unique_ptr<TQuery> query = CreateQuery(nullptr);
        query->OpenSelect("SELECT COUNT(*) AS N FROM " + std::string(table));
        return query->AtEnd() ? -1 : std::stoi(query->ColumnText("N"));
    } catch (const TDatabaseError&) {
        return -1;  // the engine cannot count it
    }
}

TProgressHook TFirebirdConnection::ProgressHook(int type) const {
    const auto it = FHooks.find(type);
    return it == FHooks.end() ? TProgressHook{} : it->second;
}

void TFirebirdConnection::SetProgressHook(int type, const TProgressHook& hook) {
    if (hook.function == nullptr)
        FHooks.erase(type);
    else
        FHooks[type] = hook;
}

// -------------------------------------------------------------------- query

TFirebirdQuery::TFirebirdQuery(TFirebirdConnection& connection,
                               std::shared_ptr<TTxState> transaction)
    : TConnectionChild(connection), FTransaction(std::move(transaction)) {}

TFirebirdQuery::~TFirebirdQuery() {
    CloseSelect();
}

void TFirebirdQuery::RunStatement(std::string_view sql) {
    CloseSelect();
    const std::string text(sql);
    if (FTransaction) {
        ITransaction* transaction = FTransaction->Open();
        IAttachment* attachment = Connection().Attachment();
        Connection().Server([&](ThrowStatusWrapper* st) {
            attachment->execute(st, transaction, 0, text.c_str(), kDialect, nullptr, nullptr,
                                nullptr, nullptr);
        });
        return;
    }
    IAttachment* attachment = Connection().Attachment();
    TFbTransaction transaction = Connection().StartOwnTransaction({});
    Connection().Server([&](ThrowStatusWrapper* st) {
        attachment->execute(st, transaction.Get(), 0, text.c_str(), kDialect, nullptr, nullptr,
                            nullptr, nullptr);
        transaction.Get()->commit(st);
    });
    transaction.Forget();  // a committed transaction has released itself
}

void TFirebirdQuery::OpenSelect(std::string_view sql) {
    CloseSelect();
    const std::string text(sql);
    ITransaction* transaction = nullptr;
    if (FTransaction) {
        transaction = FTransaction->Open();
    } else {
        TTransactionOptions readOnly;
        readOnly.readOnly = true;
        FOwnTransaction = Connection().StartOwnTransaction(readOnly);
        transaction = FOwnTransaction.Get();
    }
    IAttachment* attachment = Connection().Attachment();
    try {
        Connection().Server([&](ThrowStatusWrapper* st) {
            FStatement = TOwned<IStatement>(
                attachment->prepare(st, transaction, 0, text.c_str(), kDialect, 0));
            // Every column is read as text.
            TOwned<IMessageMetadata> described(FStatement->getOutputMetadata(st));
            const unsigned count = described->getCount(st);
            FNames.clear();
            for (unsigned i = 0; i < count; ++i) {
                const char* alias = described->getAlias(st, i);
                FNames.push_back(
                    RightTrimmed(alias != nullptr && *alias ? alias : described->getField(st, i)));
            }
            FMetadata = TextMetadata(st, described.Get());
            FRow.assign(FMetadata->getMessageLength(st), 0);
            FCursor.Open(
                FStatement->openCursor(st, transaction, nullptr, nullptr, FMetadata.Get(), 0));
        });
        Fetch();
    } catch (const TDatabaseError&) {
        CloseSelect();
        throw;
    }
}

void TFirebirdQuery::Fetch() {
    FAtEnd = Connection().Server([&](ThrowStatusWrapper* st) {
        return FCursor->fetchNext(st, FRow.data()) != IStatus::RESULT_OK;
    });
}

void TFirebirdQuery::Next() {
    if (!FCursor || FAtEnd)
        return;
    Fetch();
}

unsigned TFirebirdQuery::ColumnIndex(std::string_view column) const {
    for (unsigned i = 0; i < FNames.size(); ++i)
        if (FNames[i] == column)
            return i;
    for (unsigned i = 0; i < FNames.size(); ++i)
        if (FNames[i].size() == column.size() &&
            std::equal(column.begin(), column.end(), FNames[i].begin(),
                       [](char a, char b) { return std::toupper(a) == std::toupper(b); }))
            return i;
    throw TDatabaseError("Column " + std::string(column) + " not found", {},
                         TDatabaseFailure::UnknownObject);
}

bool TFirebirdQuery::ColumnIsNull(std::string_view column) const {
    if (!FCursor || FAtEnd)
        throw TDatabaseError("No current row");
    const unsigned i = ColumnIndex(column);
    return Call([&](ThrowStatusWrapper* st) {
        return *reinterpret_cast<const short*>(&FRow[FMetadata->getNullOffset(st, i)]) != 0;
    });
}

std::string TFirebirdQuery::ColumnText(std::string_view column) const {
    if (ColumnIsNull(column))
        return {};
    const unsigned i = ColumnIndex(column);
    const unsigned offset =
        Call([&](ThrowStatusWrapper* st) { return FMetadata->getOffset(st, i); });
    unsigned short length;
    std::memcpy(&length, &FRow[offset], sizeof length);
    return std::string(reinterpret_cast<const char*>(&FRow[offset + sizeof length]), length);
}

void TFirebirdQuery::CloseSelect() {
    FCursor.Close();
    FStatement.Reset();
    FMetadata.Reset();
    FOwnTransaction.Rollback();  // read only: ending it is all there is to do
    FAtEnd = true;
}

// ---------------------------------------------------------------- statement

TFirebirdStatement::TFirebirdStatement(TFirebirdConnection& connection, const TTxState& transaction,
                                       std::string_view sql)
    : TConnectionChild(connection) {
    const std::string text(sql);
    ITransaction* handle = transaction.Open();
    IAttachment* attachment = Connection().Attachment();
    Connection().Server([&](ThrowStatusWrapper* st) {
        FStatement =
            TOwned<IStatement>(attachment->prepare(st, handle, 0, text.c_str(), kDialect, 0));
        // Every parameter takes text.
        TOwned<IMessageMetadata> described(FStatement->getInputMetadata(st));
        const unsigned count = described->getCount(st);
        FMetadata = TextMetadata(st, described.Get());
        for (unsigned i = 0; i < count; ++i)
            FParams.push_back({FMetadata->getOffset(st, i), FMetadata->getNullOffset(st, i),
                               FMetadata->getLength(st, i)});
        FBuffer.assign(FMetadata->getMessageLength(st), 0);
    });
}

TFirebirdStatement::~TFirebirdStatement() {
    Abandon();
}

void TFirebirdStatement::Abandon() noexcept {
    FStatement.Reset();
    FMetadata.Reset();
}

void TFirebirdStatement::Execute(TTransaction& transaction,
                                 const std::vector<std::string_view>& values) {
    if (!FStatement)
        throw TDatabaseError("The statement was released when its connection closed", {},
                             TDatabaseFailure::ConnectionLost);
    if (values.size() != FParams.size())
        throw TDatabaseError("The statement takes " + std::to_string(FParams.size()) +
                             " values, not " + std::to_string(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TParam& param = FParams[i];
        if (values[i].size() > param.length)
            throw TDatabaseError("A value is longer than its parameter", {},
                                 TDatabaseFailure::DataRejected);
        const auto length = static_cast<unsigned short>(values[i].size());
        std::memcpy(&FBuffer[param.offset], &length, sizeof length);
        if (length > 0)  // an empty view may carry no pointer at all
            std::memcpy(&FBuffer[param.offset + sizeof length], values[i].data(), length);
        const short notNull = 0;
        std::memcpy(&FBuffer[param.nullOffset], &notNull, sizeof notNull);
    }
    ITransaction* handle = Connection().StateOf(transaction)->Open();
    Connection().Server([&](ThrowStatusWrapper* st) {
        FStatement->execute(st, handle, FMetadata.Get(), FBuffer.data(), nullptr, nullptr);
    });
}

}  // namespace firebird

std::unique_ptr<TConnection> CreateFirebirdConnection() {
    return std::make_unique<firebird::TFirebirdConnection>();
}

void ShutdownFirebird() noexcept {
    fb_shutdown(0, fb_shutrsn_app_stopped);
}

}  // namespace cep
