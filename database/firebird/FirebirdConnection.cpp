// The Firebird adapter: the only file that includes Firebird headers. Every
// Firebird failure is turned into TDatabaseError here, once; every Firebird
// handle is held by an owner that gives it back on every path.

#include "database/firebird/FirebirdConnection.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <future>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "database/MergeStatement.h"
#include "database/TableShape.h"

namespace cep {
namespace {

using namespace Firebird;

constexpr unsigned kDialect = 1;
constexpr const char* kCharSet = "WIN1252";
constexpr int kLockTimeoutSeconds = 10;

IMaster* Master() {
    static IMaster* master = fb_get_master_interface();
    return master;
}

// ------------------------------------------------------------ translation

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

/// The kind of failure a list of status codes makes, in order of precedence:
/// a cancel or a lost connection says more than the codes that come with it.
TDatabaseFailure FailureOf(const std::vector<intptr_t>& codes) {
    auto any = [&](std::initializer_list<intptr_t> wanted) {
        for (intptr_t code : codes)
            for (intptr_t w : wanted)
                if (code == w)
                    return true;
        return false;
    };
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

// A status of our own for calls whose failure is only worth knowing.
class TQuietStatus {
  public:
    TQuietStatus() : FStatus(Master()->getStatus()) {}
    ~TQuietStatus() { FStatus.dispose(); }
    TQuietStatus(const TQuietStatus&) = delete;
    TQuietStatus& operator=(const TQuietStatus&) = delete;

    CheckStatusWrapper* operator&() { return &FStatus; }
    bool Failed() const { return (FStatus.getState() & IStatus::STATE_ERRORS) != 0; }
    void Clear() { FStatus.init(); }

  private:
    CheckStatusWrapper FStatus;
};

// Runs `call` with a throwing status wrapper and translates its failure.
template <typename Fn>
auto Call(Fn&& call) {
    ThrowStatusWrapper status(Master()->getStatus());
    struct TDispose {
        ThrowStatusWrapper& s;
        ~TDispose() { s.dispose(); }
    } dispose{status};
    try {
        return call(&status);
    } catch (const FbException& e) {
        throw Translate(e.getStatus());
    }
}

// ----------------------------------------------------------------- owners

// Firebird interfaces are reference counted; a call that ends an object's
// life (commit, rollback, close, detach) releases it only when it succeeds.
// Each owner below gives its handle back on every path: the ending call
// when it works, a plain release when it does not.

template <typename T>
class TOwned {
  public:
    TOwned() = default;
    explicit TOwned(T* handle) : FHandle(handle) {}
    ~TOwned() { Reset(); }
    TOwned(TOwned&& other) noexcept : FHandle(other.Take()) {}
    TOwned& operator=(TOwned&& other) noexcept {
        if (this != &other) {
            Reset();
            FHandle = other.Take();
        }
        return *this;
    }

    T* Get() const { return FHandle; }
    T* operator->() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    T* Take() {
        T* handle = FHandle;
        FHandle = nullptr;
        return handle;
    }
    void Reset() {
        if (FHandle == nullptr)
            return;
        if constexpr (std::is_base_of_v<IReferenceCounted, T>)
            Take()->release();
        else
            Take()->dispose();
    }

  private:
    T* FHandle = nullptr;
};

/// A transaction that rolls back when it is left without a commit.
class TFbTransaction {
  public:
    TFbTransaction() = default;
    explicit TFbTransaction(ITransaction* handle) : FHandle(handle) {}
    ~TFbTransaction() { Rollback(); }
    TFbTransaction(TFbTransaction&& other) noexcept : FHandle(other.FHandle.Take()) {}
    TFbTransaction& operator=(TFbTransaction&& other) noexcept {
        if (this != &other) {
            Rollback();
            FHandle = TOwned<ITransaction>(other.FHandle.Take());
        }
        return *this;
    }

    ITransaction* Get() const { return FHandle.Get(); }
    explicit operator bool() const { return static_cast<bool>(FHandle); }

    /// Commits; when that fails the transaction is rolled back and the error raised.
    void Commit() {
        ITransaction* handle = FHandle.Get();
        try {
            Call([&](ThrowStatusWrapper* st) { handle->commit(st); });
        } catch (...) {
            Rollback();
            throw;
        }
        FHandle.Take();  // a committed transaction has released itself
    }
    void Rollback() noexcept {
        if (!FHandle)
            return;
        TQuietStatus status;
        FHandle->rollback(&status);
        if (status.Failed())
            FHandle.Reset();
        else
            FHandle.Take();
    }

  private:
    TOwned<ITransaction> FHandle;
};

/// An open cursor, closed on every path.
class TFbCursor {
  public:
    ~TFbCursor() { Close(); }
    void Open(IResultSet* handle) {
        Close();
        FHandle = TOwned<IResultSet>(handle);
    }
    IResultSet* operator->() const { return FHandle.Get(); }
    explicit operator bool() const { return static_cast<bool>(FHandle); }
    void Close() noexcept {
        if (!FHandle)
            return;
        TQuietStatus status;
        FHandle->close(&status);
        if (status.Failed())
            FHandle.Reset();
        else
            FHandle.Take();
    }

  private:
    TOwned<IResultSet> FHandle;
};

/// An attachment, detached on every path; a dead server's handle is dropped.
class TFbAttachment {
  public:
    ~TFbAttachment() { Detach(); }
    void Attach(IAttachment* handle) {
        Detach();
        FHandle = TOwned<IAttachment>(handle);
    }
    IAttachment* Get() const { return FHandle.Get(); }
    explicit operator bool() const { return static_cast<bool>(FHandle); }
    void Detach() noexcept {
        if (!FHandle)
            return;
        TQuietStatus status;
        FHandle->detach(&status);
        if (status.Failed())
            FHandle.Reset();
        else
            FHandle.Take();
    }

  private:
    TOwned<IAttachment> FHandle;
};

/// Calls a general-progress hook with a count report in its own buffer;
/// kProgressContinue when there is no hook or no buffer to report in.
int ReportCount(const TProgressHook& hook, int64_t done) {
    auto* buffer = static_cast<TProgressReport*>(hook.buffer);
    if (hook.function == nullptr || buffer == nullptr ||
        hook.bufferLength < sizeof(TProgressReport))
        return kProgressContinue;
    buffer->percent = -1;
    std::snprintf(buffer->text, sizeof buffer->text, "Registros: %lld",
                  static_cast<long long>(done));
    return hook.function(kGeneralProgress, hook.clientData, buffer);
}

std::string RightTrimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

class TFirebirdConnection;

class TFirebirdQuery final : public TQuery {
  public:
    explicit TFirebirdQuery(TFirebirdConnection& connection);
    ~TFirebirdQuery() override;

    void RunStatement(std::string_view sql) override;
    void OpenSelect(std::string_view sql) override;
    bool AtEnd() const override { return FAtEnd; }
    std::string ColumnText(std::string_view column) const override;
    bool ColumnIsNull(std::string_view column) const override;
    void Next() override;
    void CloseSelect() override;

    // Called by the connection when it is destroyed before this query.
    void Orphan() noexcept {
        CloseSelect();
        FConnection = nullptr;
    }

  private:
    unsigned ColumnIndex(std::string_view column) const;
    void Fetch();
    TFirebirdConnection& Connection() const;

    TFirebirdConnection* FConnection;
    TFbTransaction FOwnTransaction;  // a SELECT's, outside a unit of work
    TOwned<IStatement> FStatement;
    TOwned<IMessageMetadata> FMetadata;
    TFbCursor FCursor;
    std::vector<std::string> FNames;
    std::vector<unsigned char> FRow;
    bool FAtEnd = true;
};

class TFirebirdConnection final : public TConnection {
  public:
    TFirebirdConnection() = default;
    ~TFirebirdConnection() override {
        CloseConnection();
        for (TFirebirdQuery* q : FQueries)
            q->Orphan();
    }

    void OpenConnection(const TConnectionParams& params) override;
    void CloseConnection() override;
    bool IsConnected() const override { return static_cast<bool>(FAttachment); }
    const TConnectionParams& Params() const override { return FParams; }

    std::vector<std::string> ListUserTables() override;
    std::unique_ptr<TQuery> CreateQuery() override {
        return std::make_unique<TFirebirdQuery>(*this);
    }
    std::unique_ptr<TConnection> OpenSibling() override {
        Attachment();  // a closed connection reopens first, as for a statement
        auto sibling = std::make_unique<TFirebirdConnection>();
        sibling->OpenConnection(FParams);
        return sibling;
    }
    int32_t CountRecords(std::string_view table) override;
    void Cancel() noexcept override;

    TProgressHook ProgressHook(int type) const override;
    void SetProgressHook(int type, const TProgressHook& hook) override;
    void AppendUpdate(std::string_view source, std::string_view destination,
                      std::string_view key) override;
    int32_t MovedRecords() const override { return FMovedRecords; }
    bool LastMoveAborted() const override { return FMoveAborted; }

    void BeginWork() override;
    void CommitWork() override;
    void RollbackWork() noexcept override;
    bool InWork() const override { return FInWork; }

    // For the queries.
    IAttachment* Attachment();        // reopens a closed connection
    ITransaction* WorkTransaction();  // the unit of work's, or null outside one
    TFbTransaction StartTransaction(bool readOnly);
    void Register(TFirebirdQuery* q) { FQueries.insert(q); }
    void Unregister(TFirebirdQuery* q) { FQueries.erase(q); }

  private:
    /// Rows the statements of attachment `attachmentId` have inserted or
    /// updated so far, as the server's monitoring tables show them; -1 when
    /// unknown.
    static int64_t MonitorCount(TQuery& monitor, const std::string& attachmentId);
    /// Runs `merge` in the unit of work on a thread of its own and reports
    /// progress to the general-progress hook until it ends. Returns the rows
    /// it moved; raises its failure.
    int64_t WatchMove(const std::string& merge, int32_t total);

    TFbAttachment FAttachment;
    std::atomic<IAttachment*> FCancelTarget{nullptr};
    TFbTransaction FWork;
    bool FInWork = false;  // stays true when the unit's transaction was lost
    TConnectionParams FParams;
    std::set<TFirebirdQuery*> FQueries;

    std::map<int, TProgressHook> FHooks;
    int32_t FMovedRecords = 0;
    bool FMoveAborted = false;
    std::string FMoveSource;  // while AppendUpdate runs
    int32_t FMoveSourceCount = -1;
};

// ---------------------------------------------------------------- connection

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
}

void TFirebirdConnection::CloseConnection() {
    for (TFirebirdQuery* q : FQueries)
        q->CloseSelect();
    const bool inWork = FInWork;
    RollbackWork();
    FInWork = inWork;  // an open unit stays open, its work lost, until it ends
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

TFbTransaction TFirebirdConnection::StartTransaction(bool readOnly) {
    IAttachment* attachment = Attachment();
    const unsigned char tpbWrite[] = {isc_tpb_version3,
                                      isc_tpb_write,
                                      isc_tpb_read_committed,
                                      isc_tpb_rec_version,
                                      isc_tpb_wait,
                                      isc_tpb_lock_timeout,
                                      1,
                                      kLockTimeoutSeconds};
    const unsigned char tpbRead[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                     isc_tpb_rec_version};
    return TFbTransaction(Call([&](ThrowStatusWrapper* st) {
        return readOnly ? attachment->startTransaction(st, sizeof tpbRead, tpbRead)
                        : attachment->startTransaction(st, sizeof tpbWrite, tpbWrite);
    }));
}

ITransaction* TFirebirdConnection::WorkTransaction() {
    if (!FInWork)
        return nullptr;
    if (!FWork)
        throw TDatabaseError("The unit of work was rolled back when the connection closed", {},
                             TDatabaseFailure::ConnectionLost);
    return FWork.Get();
}

void TFirebirdConnection::BeginWork() {
    if (FInWork)
        throw TDatabaseError("A unit of work is already open");
    FWork = StartTransaction(false);
    FInWork = true;
}

void TFirebirdConnection::CommitWork() {
    WorkTransaction();  // raises when the unit's transaction was lost
    FInWork = false;
    FWork.Commit();
}

void TFirebirdConnection::RollbackWork() noexcept {
    FWork.Rollback();
    FInWork = false;
}

void TFirebirdConnection::Cancel() noexcept {
    IAttachment* attachment = FCancelTarget.load();
    if (attachment == nullptr)
        return;
    // "Nothing to cancel" and the like are of no interest to the caller.
    TQuietStatus status;
    attachment->cancelOperation(&status, fb_cancel_raise);
}

std::vector<std::string> TFirebirdConnection::ListUserTables() {
    std::unique_ptr<TQuery> query = CreateQuery();
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
        std::unique_ptr<TQuery> query = CreateQuery();
        query->OpenSelect("SELECT COUNT(*) AS N FROM " + std::string(table));
        return query->AtEnd() ? -1 : std::stoi(query->ColumnText("N"));
    } catch (const TDatabaseError&) {
        return -1;  // the engine cannot count it
    }
}

// ---------------------------------------------------------------- the merge

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

int64_t TFirebirdConnection::MonitorCount(TQuery& monitor, const std::string& attachmentId) {
    try {
        monitor.OpenSelect(
            "SELECT SUM(R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES) AS N "
            "FROM MON$STATEMENTS S JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$STAT_ID "
            "WHERE S.MON$ATTACHMENT_ID = " +
            attachmentId + " AND S.MON$STATE = 1");
        const std::string text = monitor.AtEnd() ? std::string() : monitor.ColumnText("N");
        monitor.CloseSelect();
        return text.empty() ? -1 : std::stoll(text);
    } catch (const TDatabaseError&) {
        return -1;  // no figure this time; the move goes on unwatched
    }
}

int64_t TFirebirdConnection::WatchMove(const std::string& merge, int32_t total) {
    std::string attachmentId;
    {
        std::unique_ptr<TQuery> query = CreateQuery();
        query->OpenSelect("SELECT CURRENT_CONNECTION AS ID FROM RDB$DATABASE");
        attachmentId = query->ColumnText("ID");
    }

    // Progress comes from the monitoring tables, read through a second
    // attachment while the move runs; without one the move runs unwatched.
    const TProgressHook hook = ProgressHook(kGeneralProgress);
    std::unique_ptr<TConnection> monitorConnection;
    std::unique_ptr<TQuery> monitor;
    if (hook.function != nullptr) {
        try {
            monitorConnection = CreateFirebirdConnection();
            monitorConnection->OpenConnection(FParams);
            monitor = monitorConnection->CreateQuery();
        } catch (const TDatabaseError&) {
            monitor.reset();
        }
    }

    FMoveSourceCount = total;
    IAttachment* attachment = FAttachment.Get();
    ITransaction* work = FWork.Get();
    std::future<int64_t> move = std::async(std::launch::async, [attachment, work, merge] {
        return Call([&](ThrowStatusWrapper* st) {
            TOwned<IStatement> statement(
                attachment->prepare(st, work, 0, merge.c_str(), kDialect, 0));
            statement->execute(st, work, nullptr, nullptr, nullptr, nullptr);
            return static_cast<int64_t>(statement->getAffectedRecords(st));
        });
    });

    auto report = [&](int64_t done) {
        if (ReportCount(hook, done) == kProgressAbort && !FMoveAborted) {
            FMoveAborted = true;
            Cancel();
        }
    };

    constexpr auto kReportInterval = std::chrono::milliseconds(25);
    int64_t lastDone = -1;
    report(0);
    while (move.wait_for(kReportInterval) != std::future_status::ready) {
        if (FMoveAborted || !monitor)
            continue;
        const int64_t done = MonitorCount(*monitor, attachmentId);
        if (done >= 0 && done != lastDone) {
            lastDone = done;
            report(done);
        }
    }
    return move.get();
}

void TFirebirdConnection::AppendUpdate(std::string_view source, std::string_view destination,
                                       std::string_view key) {
    FMovedRecords = 0;
    FMoveAborted = false;
    if (FInWork)
        throw TDatabaseError("AppendUpdate cannot run inside a unit of work");

    std::vector<std::string> columns;
    {
        std::unique_ptr<TQuery> query = CreateQuery();
        columns = TableColumns(*query, source);
    }
    const std::string merge = BuildMergeStatement(source, destination, key, columns);
    const int32_t total = CountRecords(source);

    BeginWork();
    FMoveSource = std::string(source);
    struct TReset {
        TFirebirdConnection& c;
        ~TReset() {
            c.FMoveSource.clear();
            c.FMoveSourceCount = -1;
            c.RollbackWork();  // a no-op after the commit
        }
    } reset{*this};

    int64_t moved = 0;
    try {
        moved = WatchMove(merge, total);
    } catch (const TDatabaseError&) {
        if (FMoveAborted)
            return;  // stopped at the hook's request: nothing moved
        throw;
    }
    if (FMoveAborted)  // the abort came too late to stop the server
        return;
    CommitWork();
    FMovedRecords = static_cast<int32_t>(moved);
    if (moved > 0)  // the work is committed: this report can no longer abort it
        ReportCount(ProgressHook(kGeneralProgress), moved);
}

// --------------------------------------------------------------------- query

TFirebirdQuery::TFirebirdQuery(TFirebirdConnection& connection) : FConnection(&connection) {
    FConnection->Register(this);
}

TFirebirdQuery::~TFirebirdQuery() {
    CloseSelect();
    if (FConnection != nullptr)
        FConnection->Unregister(this);
}

TFirebirdConnection& TFirebirdQuery::Connection() const {
    if (FConnection == nullptr)
        throw TDatabaseError("The connection of this query no longer exists");
    return *FConnection;
}

void TFirebirdQuery::RunStatement(std::string_view sql) {
    CloseSelect();
    const std::string text(sql);
    IAttachment* attachment = Connection().Attachment();
    if (ITransaction* work = Connection().WorkTransaction()) {
        Call([&](ThrowStatusWrapper* st) {
            attachment->execute(st, work, 0, text.c_str(), kDialect, nullptr, nullptr, nullptr,
                                nullptr);
        });
        return;
    }
    TFbTransaction transaction = Connection().StartTransaction(false);
    Call([&](ThrowStatusWrapper* st) {
        attachment->execute(st, transaction.Get(), 0, text.c_str(), kDialect, nullptr, nullptr,
                            nullptr, nullptr);
    });
    transaction.Commit();
}

void TFirebirdQuery::OpenSelect(std::string_view sql) {
    CloseSelect();
    const std::string text(sql);
    IAttachment* attachment = Connection().Attachment();
    ITransaction* transaction = Connection().WorkTransaction();
    if (transaction == nullptr) {
        FOwnTransaction = Connection().StartTransaction(true);
        transaction = FOwnTransaction.Get();
    }
    try {
        Call([&](ThrowStatusWrapper* st) {
            FStatement = TOwned<IStatement>(
                attachment->prepare(st, transaction, 0, text.c_str(), kDialect, 0));
            // Every column is read as text: ask for VARCHARs wide enough.
            TOwned<IMessageMetadata> described(FStatement->getOutputMetadata(st));
            TOwned<IMetadataBuilder> builder(described->getBuilder(st));
            const unsigned count = described->getCount(st);
            FNames.clear();
            for (unsigned i = 0; i < count; ++i) {
                const char* alias = described->getAlias(st, i);
                FNames.push_back(
                    RightTrimmed(alias != nullptr && *alias ? alias : described->getField(st, i)));
                const unsigned type = described->getType(st, i) & ~1u;
                unsigned length = described->getLength(st, i);
                if (type != SQL_TEXT && type != SQL_VARYING) {
                    length = 64;
                    builder->setCharSet(st, i, 0);
                }
                builder->setType(st, i, SQL_VARYING + 1);
                builder->setLength(st, i, length);
                builder->setScale(st, i, 0);
            }
            FMetadata = TOwned<IMessageMetadata>(builder->getMetadata(st));
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
    FAtEnd = Call([&](ThrowStatusWrapper* st) {
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

}  // namespace

std::unique_ptr<TConnection> CreateFirebirdConnection() {
    return std::make_unique<TFirebirdConnection>();
}

void ShutdownFirebird() noexcept {
    fb_shutdown(0, fb_shutrsn_app_stopped);
}

}  // namespace cep
