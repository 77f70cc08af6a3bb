#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cep {

/// The one error the engine raises: the server's full message text and the
/// status codes that came with it.
class DatabaseError : public std::runtime_error {
  public:
    DatabaseError(const std::string& message, std::vector<intptr_t> codes = {})
        : std::runtime_error(message), codes_(std::move(codes)) {}

    /// Firebird status codes (isc_arg_gds values) in the order the server gave them.
    const std::vector<intptr_t>& Codes() const { return codes_; }
    bool HasCode(intptr_t code) const;

  private:
    std::vector<intptr_t> codes_;
};

/// Connection settings as a list of "name=value" lines
/// ("SERVER NAME", "USER NAME", "PASSWORD").
struct ConnectionParams {
    std::vector<std::string> lines;

    /// The value of the first line named `name`, empty when there is none.
    std::string Value(std::string_view name) const;
};

class TConnection;

/// Type of the general-progress hook.
inline constexpr int kGeneralProgress = 23;
/// Replies of a progress hook: go on, or abort the operation.
inline constexpr int kProgressContinue = 1;
inline constexpr int kProgressAbort = 2;

/// The report the engine fills before each call of a general-progress hook:
/// a percentage, or a negative value when `text` carries a count after ": ".
struct TProgressReport {
    int16_t percent = 0;
    char text[128] = {};
};
static_assert(sizeof(TProgressReport) == 130);

using ProgressFunction = int (*)(int type, void* clientData, void* report);

/// A registered progress hook, as the engine gives it back; all zero when
/// none is registered.
struct TProgressHook {
    void* clientData = nullptr;
    uint16_t bufferLength = 0;
    void* buffer = nullptr;
    ProgressFunction function = nullptr;
};

/// A query bound to a connection: runs statements and reads a SELECT's rows.
/// Statements run on a closed connection reopen it with its last parameters.
class TQuery {
  public:
    virtual ~TQuery() = default;

    /// Runs one statement that returns no rows. Outside a unit of work the
    /// statement is committed on its own.
    virtual void RunStatement(std::string_view sql) = 0;
    /// Opens a SELECT, positioned on its first row. Closes an open one first.
    virtual void OpenSelect(std::string_view sql) = 0;
    /// True when no (further) row came back.
    virtual bool AtEnd() const = 0;
    /// The current row's value of `column` as text; NULL reads as "".
    virtual std::string ColumnText(std::string_view column) const = 0;
    /// True when the current row's `column` is NULL.
    virtual bool ColumnIsNull(std::string_view column) const = 0;
    /// Moves to the next row.
    virtual void Next() = 0;
    /// Closes an open SELECT; harmless when nothing is open.
    virtual void CloseSelect() = 0;
};

/// The program's database connection (the engine boundary). One Firebird
/// implementation sits behind it; the stages see only this interface.
class TConnection {
  public:
    virtual ~TConnection() = default;

    /// Opens with `params`; on failure raises DatabaseError and stays closed.
    virtual void OpenConnection(const ConnectionParams& params) = 0;
    /// Closes every open query on it and rolls back an open unit of work.
    virtual void CloseConnection() = 0;
    virtual bool IsConnected() const = 0;
    /// The parameters of the last OpenConnection.
    virtual const ConnectionParams& Params() const = 0;

    /// User tables only, names as the server stores them, trailing blanks removed.
    virtual std::vector<std::string> ListUserTables() = 0;
    /// A second connection to the same database with the same parameters, for
    /// work that must commit or roll back apart from this one's.
    virtual std::unique_ptr<TConnection> OpenSibling() = 0;
    /// A new query on this connection.
    virtual std::unique_ptr<TQuery> CreateQuery() = 0;
    /// SELECT COUNT(*) of `table`; -1 when it cannot be counted.
    virtual int32_t CountRecords(std::string_view table) = 0;

    /// Asks the server to abort the operation now running on this connection.
    /// Usable from another thread, a progress callback or a signal handler;
    /// does nothing when idle or closed.
    virtual void Cancel() noexcept = 0;

    /// The hook registered for `type`, all zero when none.
    virtual TProgressHook ProgressHook(int type) const = 0;
    /// Registers `hook` for `type`; a hook without function removes it.
    virtual void SetProgressHook(int type, const TProgressHook& hook) = 0;

    /// Moves every row of `source` into `destination` in one operation of the
    /// server, inside one transaction: a row whose `key` exists is updated, any
    /// other appended; columns are paired by position. Refuses (DatabaseError)
    /// a destination whose first columns are not the source's, in its order,
    /// or that has no unique key on `key`. While it works the general-progress
    /// hook gets count reports on the calling thread; a hook that replies
    /// kProgressAbort stops the move, which is rolled back, and AppendUpdate
    /// returns normally with MovedRecords() 0. A failure rolls back and raises.
    /// While it runs, CountRecords(source) answers the count taken at its start.
    virtual void AppendUpdate(std::string_view source, std::string_view destination,
                              std::string_view key) = 0;
    /// Rows the last AppendUpdate inserted or updated (0 before the first,
    /// and after one that was stopped or failed).
    virtual int32_t MovedRecords() const = 0;
    /// True when the last AppendUpdate was stopped by its hook.
    virtual bool LastMoveAborted() const = 0;

    // Unit of work: see TUnitOfWork. Only one may be open at a time.
    virtual void BeginWork() = 0;
    virtual void CommitWork() = 0;
    virtual void RollbackWork() noexcept = 0;
    virtual bool InWork() const = 0;
};

/// Makes the many statements of one stage share one transaction: committed
/// by Commit(), rolled back when left without it (an exception or a cancel).
class TUnitOfWork {
  public:
    explicit TUnitOfWork(TConnection& connection) : connection_(connection) {
        connection_.BeginWork();
    }
    ~TUnitOfWork() {
        if (!done_)
            connection_.RollbackWork();
    }
    TUnitOfWork(const TUnitOfWork&) = delete;
    TUnitOfWork& operator=(const TUnitOfWork&) = delete;

    /// Commits; when that fails the work is rolled back and the error raised.
    void Commit() {
        done_ = true;
        try {
            connection_.CommitWork();
        } catch (...) {
            connection_.RollbackWork();
            throw;
        }
    }
    void Rollback() noexcept {
        done_ = true;
        connection_.RollbackWork();
    }

  private:
    TConnection& connection_;
    bool done_ = false;
};

}  // namespace cep
