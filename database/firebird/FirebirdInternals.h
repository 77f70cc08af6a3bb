#pragma once

// The classes behind the engine interface. Private to database/firebird/.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "database/Engine.h"
#include "database/firebird/FirebirdCore.h"

namespace cep::firebird {

class TFirebirdConnection;

/// How long a call to a server may go unanswered before the server is
/// probed, how often it is probed then, and how many probes in a row must
/// find it silent before its connections are given up on.
inline constexpr int kQuietSeconds = 5;
inline constexpr int kProbeSeconds = 5;
inline constexpr int kSilentProbes = 2;

/// The calls a connection has under way, for its watch: how many, and since
/// when the oldest of them waits; and whether the watch gave the server up.
struct TActivity {
    std::atomic<int> calls{0};
    std::atomic<int64_t> since{0};  // steady clock, milliseconds
    std::atomic<bool> silent{false};

    /// The error of a call the watch cut short, saying why.
    TDatabaseError Silenced(const TDatabaseError& error) const;
};

/// Runs one call to the server under the watch of `activity`.
template <typename Fn>
auto Tracked(TActivity& activity, Fn&& call) {
    struct TGuard {
        TActivity& a;
        explicit TGuard(TActivity& activity) : a(activity) {
            if (a.calls.fetch_add(1) == 0)
                a.since.store(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
        }
        ~TGuard() { a.calls.fetch_sub(1); }
    } guard(activity);
    try {
        return Call(call);
    } catch (const TDatabaseError& e) {
        if (activity.silent.load())
            throw activity.Silenced(e);
        throw;
    }
}

/// Watches the server of a connection over the network: while a call waits
/// longer than kQuietSeconds, the server is asked for a new attachment every
/// kProbeSeconds; when kSilentProbes of them in a row go unanswered, the
/// connection's calls are cut short (the engine's abort of the attachment),
/// so that no call waits for ever on a server that stopped answering.
class TServerWatch {
  public:
    TServerWatch(std::string server, TConnectionParams params, IAttachment* attachment,
                 std::shared_ptr<TActivity> activity);
    ~TServerWatch();
    TServerWatch(const TServerWatch&) = delete;
    TServerWatch& operator=(const TServerWatch&) = delete;

  private:
    void Watch();
    bool ServerAnswers() const;

    std::string FServer;
    TConnectionParams FParams;
    IAttachment* FAttachment;
    std::shared_ptr<TActivity> FActivity;
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FStop = false;
    std::thread FThread;
};

/// What a transaction, and the queries and statements that run in it, share:
/// the handle while it is open, and why it is no longer.
struct TTxState {
    TFbTransaction handle;
    bool lostWithConnection = false;
    std::shared_ptr<TActivity> activity;

    /// The open handle; raises when the transaction has ended.
    ITransaction* Open() const;
};

class TFirebirdTransaction final : public TTransaction {
  public:
    explicit TFirebirdTransaction(std::shared_ptr<TTxState> state) : FState(std::move(state)) {}
    ~TFirebirdTransaction() override { Rollback(); }

    void Commit() override;
    void Rollback() noexcept override { FState->handle.Rollback(); }
    bool IsOpen() const override { return static_cast<bool>(FState->handle); }

    const std::shared_ptr<TTxState>& State() const { return FState; }

  private:
    std::shared_ptr<TTxState> FState;
};

/// A query or a statement, which gives its handles back when its connection
/// closes and stops using the connection when that is destroyed first.
class TConnectionChild {
  public:
    /// Leaves the connection's list: also when the child's constructor failed
    /// and its own destructor never runs.
    virtual ~TConnectionChild() { Unregister(); }
    virtual void Abandon() noexcept = 0;
    void Orphan() noexcept {
        Abandon();
        FConnection = nullptr;
    }

  protected:
    explicit TConnectionChild(TFirebirdConnection& connection);
    void Unregister() noexcept;
    TFirebirdConnection& Connection() const;

  private:
    TFirebirdConnection* FConnection;
};

class TFirebirdQuery final : public TQuery, private TConnectionChild {
  public:
    TFirebirdQuery(TFirebirdConnection& connection, std::shared_ptr<TTxState> transaction);
    ~TFirebirdQuery() override;

    void RunStatement(std::string_view sql) override;
    void OpenSelect(std::string_view sql) override;
    bool AtEnd() const override { return FAtEnd; }
    std::string ColumnText(std::string_view column) const override;
    bool ColumnIsNull(std::string_view column) const override;
    void Next() override;
    void CloseSelect() override;

  private:
    void Abandon() noexcept override { CloseSelect(); }
    unsigned ColumnIndex(std::string_view column) const;
    void Fetch();

    std::shared_ptr<TTxState> FTransaction;  // none: each statement on its own
    TFbTransaction FOwnTransaction;          // a SELECT's, without a transaction
    TOwned<IStatement> FStatement;
    TOwned<IMessageMetadata> FMetadata;
    TFbCursor FCursor;
    std::vector<std::string> FNames;
    std::vector<unsigned char> FRow;
    bool FAtEnd = true;
};

class TFirebirdStatement final : public TStatement, private TConnectionChild {
  public:
    TFirebirdStatement(TFirebirdConnection& connection, const TTxState& transaction,
                       std::string_view sql);
    ~TFirebirdStatement() override;

    unsigned ParameterCount() const override { return static_cast<unsigned>(FParams.size()); }
    void Execute(TTransaction& transaction, const std::vector<std::string_view>& values) override;

  private:
    struct TParam {
        unsigned offset;
        unsigned nullOffset;
        unsigned length;  // bytes the value may take
    };
    void Abandon() noexcept override;

    TOwned<IStatement> FStatement;
    TOwned<IMessageMetadata> FMetadata;
    std::vector<TParam> FParams;
    std::vector<unsigned char> FBuffer;
};

class TFirebirdConnection final : public TConnection {
  public:
    TFirebirdConnection() = default;
    ~TFirebirdConnection() override;

    void OpenConnection(const TConnectionParams& params) override;
    void CloseConnection() override;
    bool IsConnected() const override { return static_cast<bool>(FAttachment); }
    const TConnectionParams& Params() const override { return FParams; }

    std::vector<std::string> ListUserTables() override;
    std::unique_ptr<TTransaction> StartTransaction(const TTransactionOptions& options) override;
    std::unique_ptr<TQuery> CreateQuery(TTransaction* transaction) override;
    std::unique_ptr<TStatement> Prepare(std::string_view sql, TTransaction& transaction) override;
    int32_t CountRecords(std::string_view table) override;
    void Cancel() noexcept override { CancelRunning(); }
    /// Cancels the operation running on the connection; false when none was
    /// running yet (the engine had nothing to cancel).
    bool CancelRunning() noexcept;

    TProgressHook ProgressHook(int type) const override;
    void SetProgressHook(int type, const TProgressHook& hook) override;
    void AppendUpdate(std::string_view source, std::string_view destination, std::string_view key,
                      TTransaction& transaction) override;
    int32_t MovedRecords() const override { return FMoveCounts.source; }
    TMoveCounts LastMoveCounts() const override { return FMoveCounts; }
    bool LastMoveAborted() const override { return FMoveAborted; }

    /// The state of a transaction of this connection; raises for any other.
    std::shared_ptr<TTxState> StateOf(TTransaction& transaction) const;

    // For the queries and statements.
    IAttachment* Attachment();  // reopens a closed connection
    /// Runs one call to the server, watched when the server is remote.
    template <typename Fn>
    auto Server(Fn&& call) {
        return Tracked(*FActivity, std::forward<Fn>(call));
    }
    /// A read-committed transaction of its own, for one statement or SELECT.
    TFbTransaction StartOwnTransaction(const TTransactionOptions& options);
    void Register(TConnectionChild* child) { FChildren.insert(child); }
    void Unregister(TConnectionChild* child) { FChildren.erase(child); }

  private:
    /// Runs `merge` in `transaction` on a thread of its own and reports
    /// progress to the general-progress hook until it ends; returns what it
    /// inserted and updated, raises its failure.
    TMoveCounts WatchMove(const std::string& merge, ITransaction* transaction, int32_t total);

    TFbAttachment FAttachment;
    std::atomic<IAttachment*> FCancelTarget{nullptr};
    std::shared_ptr<TActivity> FActivity = std::make_shared<TActivity>();
    std::unique_ptr<TServerWatch> FWatch;
    TConnectionParams FParams;
    std::set<TConnectionChild*> FChildren;
    std::vector<std::weak_ptr<TTxState>> FTransactions;

    std::map<int, TProgressHook> FHooks;
    TMoveCounts FMoveCounts;
    bool FMoveAborted = false;
    std::string FMoveSource;  // while AppendUpdate runs
    int32_t FMoveSourceCount = -1;
};

}  // namespace cep::firebird
