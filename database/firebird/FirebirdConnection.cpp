// The Firebird adapter: the only file that includes Firebird headers. Every
// Firebird failure is turned into DatabaseError here, once.

#include "database/firebird/FirebirdConnection.h"

#include <firebird/Interface.h>

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
#include <vector>

namespace cep {
namespace {

using namespace Firebird;

constexpr unsigned kDialect = 1;
constexpr const char* kCharSet = "WIN1252";
constexpr int kLockTimeoutSeconds = 10;

// Duplicate-key errors carry no "key violation" in Firebird's wording; the
// staging load looks for those words, so they are put in front.
constexpr intptr_t kUniqueKeyViolation = 335544665;  // isc_unique_key_violation
constexpr intptr_t kNoDuplicates = 335544349;        // isc_no_dup

IMaster* Master() {
    static IMaster* master = fb_get_master_interface();
    return master;
}

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

DatabaseError Translate(IStatus* status) {
    char buffer[2048];
    Master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, status);
    std::string message = buffer;
    std::vector<intptr_t> codes = StatusCodes(status->getErrors());
    for (intptr_t code : codes) {
        if (code == kUniqueKeyViolation || code == kNoDuplicates) {
            message = "Key violation: " + message;
            break;
        }
    }
    return DatabaseError(message, std::move(codes));
}

// Runs `call` with a throwing status wrapper and translates its failure.
template <typename Fn>
auto Call(Fn&& call) {
    ThrowStatusWrapper status(Master()->getStatus());
    struct Dispose {
        ThrowStatusWrapper& s;
        ~Dispose() { s.dispose(); }
    } dispose{status};
    try {
        return call(&status);
    } catch (const FbException& e) {
        throw Translate(e.getStatus());
    }
}

std::string QuoteLiteral(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

std::string RightTrimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

class FirebirdConnection;

class FirebirdQuery final : public TQuery {
  public:
    explicit FirebirdQuery(FirebirdConnection& connection);
    ~FirebirdQuery() override;

    void RunStatement(std::string_view sql) override;
    void OpenSelect(std::string_view sql) override;
    bool AtEnd() const override { return atEnd_; }
    std::string ColumnText(std::string_view column) const override;
    bool ColumnIsNull(std::string_view column) const override;
    void Next() override;
    void CloseSelect() override;

    // Called by the connection when it closes: drop every handle at once.
    void Abandon() noexcept;
    // Called by the connection when it is destroyed before this query.
    void Orphan() noexcept {
        Abandon();
        connection_ = nullptr;
    }

  private:
    unsigned ColumnIndex(std::string_view column) const;
    void Fetch();
    FirebirdConnection& Connection() const;

    FirebirdConnection* connection_;
    IStatement* statement_ = nullptr;
    IResultSet* cursor_ = nullptr;
    ITransaction* ownTransaction_ = nullptr;  // outside a unit of work
    IMessageMetadata* metadata_ = nullptr;
    std::vector<std::string> names_;
    std::vector<unsigned char> row_;
    bool atEnd_ = true;
};

class FirebirdConnection final : public TConnection {
  public:
    FirebirdConnection() : cancelStatus_(Master()->getStatus()) {}
    ~FirebirdConnection() override {
        CloseConnection();
        for (FirebirdQuery* q : queries_)
            q->Orphan();
        cancelStatus_.dispose();
    }

    void OpenConnection(const ConnectionParams& params) override;
    void CloseConnection() override;
    bool IsConnected() const override { return attachment_ != nullptr; }
    const ConnectionParams& Params() const override { return params_; }

    std::vector<std::string> ListUserTables() override;
    std::unique_ptr<TQuery> CreateQuery() override {
        return std::make_unique<FirebirdQuery>(*this);
    }
    std::unique_ptr<TConnection> OpenSibling() override {
        Attachment();  // a closed connection reopens first, as for a statement
        auto sibling = std::make_unique<FirebirdConnection>();
        sibling->OpenConnection(params_);
        return sibling;
    }
    int32_t CountRecords(std::string_view table) override;
    void Cancel() noexcept override;

    TProgressHook ProgressHook(int type) const override;
    void SetProgressHook(int type, const TProgressHook& hook) override;
    void AppendUpdate(std::string_view source, std::string_view destination,
                      std::string_view key) override;
    int32_t MovedRecords() const override { return movedRecords_; }
    bool LastMoveAborted() const override { return moveAborted_; }

    void BeginWork() override;
    void CommitWork() override;
    void RollbackWork() noexcept override;
    bool InWork() const override { return inWork_; }

    // For the queries.
    IAttachment* Attachment();        // reopens a closed connection
    ITransaction* WorkTransaction();  // the unit of work's, or null outside one
    ITransaction* StartTransaction(bool readOnly);
    void Register(FirebirdQuery* q) { queries_.insert(q); }
    void Unregister(FirebirdQuery* q) { queries_.erase(q); }

  private:
    IAttachment* attachment_ = nullptr;
    std::atomic<IAttachment*> cancelTarget_{nullptr};
    CheckStatusWrapper cancelStatus_;
    ITransaction* work_ = nullptr;
    bool inWork_ = false;  // stays true when the unit's transaction was lost
    ConnectionParams params_;
    std::set<FirebirdQuery*> queries_;

    std::map<int, TProgressHook> hooks_;
    int32_t movedRecords_ = 0;
    bool moveAborted_ = false;
    std::string moveSource_;  // while AppendUpdate runs
    int32_t moveSourceCount_ = -1;

    std::vector<std::string> Columns(std::string_view table);
    bool HasUniqueKey(std::string_view table, std::string_view column);
    int64_t MonitorCount(TQuery& monitor, const std::string& attachmentId);
};

// ---------------------------------------------------------------- connection

void FirebirdConnection::OpenConnection(const ConnectionParams& params) {
    CloseConnection();
    params_ = params;
    const std::string server = params.Value("SERVER NAME");
    const std::string user = params.Value("USER NAME");
    const std::string password = params.Value("PASSWORD");
    attachment_ = Call([&](ThrowStatusWrapper* st) {
        IXpbBuilder* dpb =
            Master()->getUtilInterface()->getXpbBuilder(st, IXpbBuilder::DPB, nullptr, 0);
        struct Dispose {
            IXpbBuilder* b;
            ~Dispose() { b->dispose(); }
        } dispose{dpb};
        if (!user.empty())
            dpb->insertString(st, isc_dpb_user_name, user.c_str());
        if (!password.empty())
            dpb->insertString(st, isc_dpb_password, password.c_str());
        dpb->insertString(st, isc_dpb_lc_ctype, kCharSet);
        dpb->insertInt(st, isc_dpb_sql_dialect, kDialect);
        dpb->insertInt(st, isc_dpb_connect_timeout, kConnectTimeoutSeconds);
        IProvider* provider = Master()->getDispatcher();
        struct Release {
            IProvider* p;
            ~Release() { p->release(); }
        } release{provider};
        return provider->attachDatabase(st, server.c_str(), dpb->getBufferLength(st),
                                        dpb->getBuffer(st));
    });
    cancelTarget_.store(attachment_);
}

void FirebirdConnection::CloseConnection() {
    for (FirebirdQuery* q : queries_)
        q->Abandon();
    const bool inWork = inWork_;
    RollbackWork();
    inWork_ = inWork;  // an open unit stays open, its work lost, until it ends
    if (attachment_ == nullptr)
        return;
    cancelTarget_.store(nullptr);
    IAttachment* attachment = attachment_;
    attachment_ = nullptr;
    CheckStatusWrapper status(Master()->getStatus());
    attachment->detach(&status);
    if (status.getState() & IStatus::STATE_ERRORS) {
        status.init();
        attachment->release();  // detach failed (a dead server): drop the handle
    }
    status.dispose();
}

IAttachment* FirebirdConnection::Attachment() {
    if (attachment_ == nullptr) {
        if (params_.lines.empty())
            throw DatabaseError("The database connection is not open");
        OpenConnection(params_);
    }
    return attachment_;
}

ITransaction* FirebirdConnection::StartTransaction(bool readOnly) {
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
    return Call([&](ThrowStatusWrapper* st) {
        return readOnly ? attachment->startTransaction(st, sizeof tpbRead, tpbRead)
                        : attachment->startTransaction(st, sizeof tpbWrite, tpbWrite);
    });
}

ITransaction* FirebirdConnection::WorkTransaction() {
    if (!inWork_)
        return nullptr;
    if (work_ == nullptr)
        throw DatabaseError("The unit of work was rolled back when the connection closed");
    return work_;
}

void FirebirdConnection::BeginWork() {
    if (inWork_)
        throw DatabaseError("A unit of work is already open");
    work_ = StartTransaction(false);
    inWork_ = true;
}

void FirebirdConnection::CommitWork() {
    ITransaction* work = WorkTransaction();
    Call([&](ThrowStatusWrapper* st) { work->commit(st); });
    work_ = nullptr;
    inWork_ = false;
}

void FirebirdConnection::RollbackWork() noexcept {
    if (work_ != nullptr) {
        CheckStatusWrapper status(Master()->getStatus());
        work_->rollback(&status);
        if (status.getState() & IStatus::STATE_ERRORS)
            work_->release();
        status.dispose();
    }
    work_ = nullptr;
    inWork_ = false;
}

void FirebirdConnection::Cancel() noexcept {
    IAttachment* attachment = cancelTarget_.load();
    if (attachment == nullptr)
        return;
    // "Nothing to cancel" and the like are of no interest to the caller.
    attachment->cancelOperation(&cancelStatus_, fb_cancel_raise);
    cancelStatus_.init();
}

std::vector<std::string> FirebirdConnection::ListUserTables() {
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

int32_t FirebirdConnection::CountRecords(std::string_view table) {
    if (!moveSource_.empty() && table == moveSource_)
        return moveSourceCount_;
    try {
        std::unique_ptr<TQuery> query = CreateQuery();
        query->OpenSelect("SELECT COUNT(*) AS N FROM " + std::string(table));
        return query->AtEnd() ? -1 : std::stoi(query->ColumnText("N"));
    } catch (const std::exception&) {
        return -1;
    }
}

// ---------------------------------------------------------------- the merge

TProgressHook FirebirdConnection::ProgressHook(int type) const {
    const auto it = hooks_.find(type);
    return it == hooks_.end() ? TProgressHook{} : it->second;
}

void FirebirdConnection::SetProgressHook(int type, const TProgressHook& hook) {
    if (hook.function == nullptr)
        hooks_.erase(type);
    else
        hooks_[type] = hook;
}

std::vector<std::string> FirebirdConnection::Columns(std::string_view table) {
    std::unique_ptr<TQuery> query = CreateQuery();
    query->OpenSelect("SELECT RDB$FIELD_NAME FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                      QuoteLiteral(table) + " ORDER BY RDB$FIELD_POSITION");
    std::vector<std::string> columns;
    for (; !query->AtEnd(); query->Next())
        columns.push_back(RightTrimmed(query->ColumnText("RDB$FIELD_NAME")));
    return columns;
}

bool FirebirdConnection::HasUniqueKey(std::string_view table, std::string_view column) {
    std::unique_ptr<TQuery> query = CreateQuery();
    query->OpenSelect(
        "SELECT I.RDB$INDEX_NAME FROM RDB$INDICES I "
        "JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME "
        "WHERE I.RDB$RELATION_NAME = " +
        QuoteLiteral(table) +
        " AND I.RDB$UNIQUE_FLAG = 1 AND COALESCE(I.RDB$INDEX_INACTIVE, 0) = 0"
        " AND I.RDB$SEGMENT_COUNT = 1 AND S.RDB$FIELD_NAME = " +
        QuoteLiteral(column));
    return !query->AtEnd();
}

// Rows the statements of attachment `attachmentId` have inserted or updated
// so far, as the server's monitoring tables show them; -1 when unknown.
int64_t FirebirdConnection::MonitorCount(TQuery& monitor, const std::string& attachmentId) {
    try {
        monitor.OpenSelect(
            "SELECT SUM(R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES) AS N "
            "FROM MON$STATEMENTS S JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$STAT_ID "
            "WHERE S.MON$ATTACHMENT_ID = " +
            attachmentId + " AND S.MON$STATE = 1");
        const std::string text = monitor.AtEnd() ? std::string() : monitor.ColumnText("N");
        monitor.CloseSelect();
        return text.empty() ? -1 : std::stoll(text);
    } catch (const std::exception&) {
        return -1;
    }
}

void FirebirdConnection::AppendUpdate(std::string_view source, std::string_view destination,
                                      std::string_view key) {
    movedRecords_ = 0;
    moveAborted_ = false;
    if (inWork_)
        throw DatabaseError("AppendUpdate cannot run inside a unit of work");

    const std::vector<std::string> from = Columns(source);
    const std::vector<std::string> to = Columns(destination);
    if (from.empty())
        throw DatabaseError("Table " + std::string(source) + " has no columns");
    if (to.size() < from.size() || !std::equal(from.begin(), from.end(), to.begin()))
        throw DatabaseError("The first columns of " + std::string(destination) +
                            " are not those of " + std::string(source) + ", in its order");
    if (!HasUniqueKey(destination, key))
        throw DatabaseError("Table " + std::string(destination) + " has no unique key on " +
                            std::string(key));

    std::string set, columns, values;
    for (const std::string& c : from) {
        if (c != key)
            set += (set.empty() ? "D." : ", D.") + c + " = S." + c;
        columns += (columns.empty() ? "" : ", ") + c;
        values += (values.empty() ? "S." : ", S.") + c;
    }
    std::string merge = "MERGE INTO " + std::string(destination) + " D USING " +
                        std::string(source) + " S ON D." + std::string(key) + " = S." +
                        std::string(key);
    if (!set.empty())
        merge += " WHEN MATCHED THEN UPDATE SET " + set;
    merge += " WHEN NOT MATCHED THEN INSERT (" + columns + ") VALUES (" + values + ")";

    const int32_t total = CountRecords(source);
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
            monitorConnection->OpenConnection(params_);
            monitor = monitorConnection->CreateQuery();
        } catch (const std::exception&) {
            monitor.reset();
        }
    }

    BeginWork();
    moveSource_ = std::string(source);
    moveSourceCount_ = total;
    struct Reset {
        FirebirdConnection& c;
        ~Reset() {
            c.moveSource_.clear();
            c.moveSourceCount_ = -1;
        }
    } reset{*this};

    IAttachment* attachment = attachment_;
    ITransaction* work = work_;
    std::future<int64_t> move = std::async(std::launch::async, [attachment, work, merge] {
        return Call([&](ThrowStatusWrapper* st) {
            IStatement* statement = attachment->prepare(st, work, 0, merge.c_str(), kDialect, 0);
            struct Free {
                IStatement* s;
                ~Free() { s->release(); }
            } free{statement};
            statement->execute(st, work, nullptr, nullptr, nullptr, nullptr);
            return static_cast<int64_t>(statement->getAffectedRecords(st));
        });
    });

    auto report = [&](int64_t done, bool final = false) {
        if (hook.function == nullptr)
            return;
        TProgressReport* buffer = static_cast<TProgressReport*>(hook.buffer);
        if (buffer == nullptr || hook.bufferLength < sizeof(TProgressReport))
            return;
        buffer->percent = -1;
        std::snprintf(buffer->text, sizeof buffer->text, "Registros: %lld",
                      static_cast<long long>(done));
        const int reply = hook.function(kGeneralProgress, hook.clientData, buffer);
        if (reply == kProgressAbort && !final && !moveAborted_) {
            moveAborted_ = true;
            Cancel();
        }
    };

    constexpr auto kReportInterval = std::chrono::milliseconds(25);
    int64_t lastDone = -1;
    report(0);
    while (move.wait_for(kReportInterval) != std::future_status::ready) {
        if (moveAborted_ || !monitor)
            continue;
        const int64_t done = MonitorCount(*monitor, attachmentId);
        if (done >= 0 && done != lastDone) {
            lastDone = done;
            report(done);
        }
    }
    monitor.reset();
    monitorConnection.reset();

    int64_t moved = 0;
    try {
        moved = move.get();
    } catch (const DatabaseError&) {
        RollbackWork();
        if (moveAborted_)
            return;  // stopped at the hook's request: nothing moved
        throw;
    }
    if (moveAborted_) {  // the abort came too late to stop the server
        RollbackWork();
        return;
    }
    CommitWork();
    movedRecords_ = static_cast<int32_t>(moved);
    if (moved > 0)
        report(moved, true);  // the work is committed: no abort now
}

// --------------------------------------------------------------------- query

FirebirdQuery::FirebirdQuery(FirebirdConnection& connection) : connection_(&connection) {
    connection_->Register(this);
}

FirebirdQuery::~FirebirdQuery() {
    CloseSelect();
    if (connection_ != nullptr)
        connection_->Unregister(this);
}

FirebirdConnection& FirebirdQuery::Connection() const {
    if (connection_ == nullptr)
        throw DatabaseError("The connection of this query no longer exists");
    return *connection_;
}

void FirebirdQuery::RunStatement(std::string_view sql) {
    CloseSelect();
    const std::string text(sql);
    IAttachment* attachment = Connection().Attachment();
    ITransaction* work = Connection().WorkTransaction();
    if (work != nullptr) {
        Call([&](ThrowStatusWrapper* st) {
            attachment->execute(st, work, 0, text.c_str(), kDialect, nullptr, nullptr, nullptr,
                                nullptr);
        });
        return;
    }
    ITransaction* transaction = Connection().StartTransaction(false);
    try {
        Call([&](ThrowStatusWrapper* st) {
            attachment->execute(st, transaction, 0, text.c_str(), kDialect, nullptr, nullptr,
                                nullptr, nullptr);
            transaction->commit(st);
        });
    } catch (...) {
        CheckStatusWrapper status(Master()->getStatus());
        transaction->rollback(&status);
        if (status.getState() & IStatus::STATE_ERRORS)
            transaction->release();
        status.dispose();
        throw;
    }
}

void FirebirdQuery::OpenSelect(std::string_view sql) {
    CloseSelect();
    const std::string text(sql);
    IAttachment* attachment = Connection().Attachment();
    ITransaction* transaction = Connection().WorkTransaction();
    if (transaction == nullptr)
        transaction = ownTransaction_ = Connection().StartTransaction(true);
    try {
        Call([&](ThrowStatusWrapper* st) {
            statement_ = attachment->prepare(st, transaction, 0, text.c_str(), kDialect, 0);
            IStatement* statement = statement_;
            // Every column is read as text: ask for VARCHARs wide enough.
            IMessageMetadata* described = statement->getOutputMetadata(st);
            IMetadataBuilder* builder = described->getBuilder(st);
            const unsigned count = described->getCount(st);
            names_.clear();
            for (unsigned i = 0; i < count; ++i) {
                const char* alias = described->getAlias(st, i);
                names_.push_back(
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
            described->release();
            metadata_ = builder->getMetadata(st);
            builder->release();
            row_.assign(metadata_->getMessageLength(st), 0);
            cursor_ = statement->openCursor(st, transaction, nullptr, nullptr, metadata_, 0);
        });
        Fetch();
    } catch (...) {
        CloseSelect();
        throw;
    }
}

void FirebirdQuery::Fetch() {
    atEnd_ = Call([&](ThrowStatusWrapper* st) {
        return cursor_->fetchNext(st, row_.data()) != IStatus::RESULT_OK;
    });
}

void FirebirdQuery::Next() {
    if (cursor_ == nullptr || atEnd_)
        return;
    Fetch();
}

unsigned FirebirdQuery::ColumnIndex(std::string_view column) const {
    for (unsigned i = 0; i < names_.size(); ++i)
        if (names_[i] == column)
            return i;
    for (unsigned i = 0; i < names_.size(); ++i)
        if (names_[i].size() == column.size() &&
            std::equal(column.begin(), column.end(), names_[i].begin(),
                       [](char a, char b) { return std::toupper(a) == std::toupper(b); }))
            return i;
    throw DatabaseError("Column " + std::string(column) + " not found");
}

bool FirebirdQuery::ColumnIsNull(std::string_view column) const {
    if (cursor_ == nullptr || atEnd_)
        throw DatabaseError("No current row");
    const unsigned i = ColumnIndex(column);
    return Call([&](ThrowStatusWrapper* st) {
        return *reinterpret_cast<const short*>(&row_[metadata_->getNullOffset(st, i)]) != 0;
    });
}

std::string FirebirdQuery::ColumnText(std::string_view column) const {
    if (ColumnIsNull(column))
        return {};
    const unsigned i = ColumnIndex(column);
    const unsigned offset =
        Call([&](ThrowStatusWrapper* st) { return metadata_->getOffset(st, i); });
    unsigned short length;
    std::memcpy(&length, &row_[offset], sizeof length);
    return std::string(reinterpret_cast<const char*>(&row_[offset + sizeof length]), length);
}

void FirebirdQuery::CloseSelect() {
    CheckStatusWrapper status(Master()->getStatus());
    if (cursor_ != nullptr) {
        cursor_->close(&status);
        if (status.getState() & IStatus::STATE_ERRORS)
            cursor_->release();
        status.init();
        cursor_ = nullptr;
    }
    if (statement_ != nullptr) {
        statement_->release();
        statement_ = nullptr;
    }
    if (ownTransaction_ != nullptr) {
        ownTransaction_->commit(&status);
        if (status.getState() & IStatus::STATE_ERRORS) {
            status.init();
            ownTransaction_->rollback(&status);
            if (status.getState() & IStatus::STATE_ERRORS)
                ownTransaction_->release();
        }
        ownTransaction_ = nullptr;
    }
    status.dispose();
    if (metadata_ != nullptr) {
        metadata_->release();
        metadata_ = nullptr;
    }
    atEnd_ = true;
}

void FirebirdQuery::Abandon() noexcept {
    CloseSelect();
}

}  // namespace

std::unique_ptr<TConnection> CreateFirebirdConnection() {
    return std::make_unique<FirebirdConnection>();
}

}  // namespace cep
