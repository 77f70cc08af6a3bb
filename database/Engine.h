#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Error.h"

namespace cep {

/// What kind of failure a database error is, as the engine's status codes
/// tell it; the adapter decides it once, where the codes are known.
enum class TDatabaseFailure {
    Other,
    KeyViolation,    ///< a row with the same key exists
    DataRejected,    ///< the row's values do not fit: too long, NULL, a check
    LockConflict,    ///< another transaction holds the row or the table
    NoPermission,    ///< the user lacks the right
    UnknownObject,   ///< no such table, column or index
    ConnectionLost,  ///< the connection broke; its open work is lost
    Cancelled,       ///< the operation was cancelled on request
};

/// The one error the engine raises: the server's full message text, the
/// status codes that came with it and the kind of failure they make.
class TDatabaseError : public TError {
  public:
    TDatabaseError(const std::string& message, std::vector<intptr_t> codes = {},
                   TDatabaseFailure failure = TDatabaseFailure::Other)
        : TError(message), FCodes(std::move(codes)), FFailure(failure) {}

    /// Firebird status codes (isc_arg_gds values) in the order the server gave them.
    const std::vector<intptr_t>& Codes() const { return FCodes; }
    bool HasCode(intptr_t code) const;
    TDatabaseFailure Failure() const { return FFailure; }
    bool IsKeyViolation() const { return FFailure == TDatabaseFailure::KeyViolation; }
    /// True when the statement's own values were refused (a key violation, a
    /// value too long, a NULL, a check): the row is refused, nothing else broke.
    bool IsRowRefused() const {
        return FFailure == TDatabaseFailure::KeyViolation ||
               FFailure == TDatabaseFailure::DataRejected;
    }

  private:
    std::vector<intptr_t> FCodes;
    TDatabaseFailure FFailure;
};

/// Connection settings as a list of "name=value" lines
/// ("SERVER NAME", "USER NAME", "PASSWORD").
struct TConnectionParams {
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

using TProgressFunction = int (*)(int type, void* clientData, void* report);

/// A registered progress hook, as the engine gives it back; all zero when
/// none is registered.
struct TProgressHook {
    void* clientData = nullptr;
    uint16_t bufferLength = 0;
    void* buffer = nullptr;
    TProgressFunction function = nullptr;
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

    /// Opens with `params`; on failure raises TDatabaseError and stays closed.
    virtual void OpenConnection(const TConnectionParams& params) = 0;
    /// Closes every open query on it and rolls back an open unit of work.
    virtual void CloseConnection() = 0;
    virtual bool IsConnected() const = 0;
    /// The parameters of the last OpenConnection.
    virtual const TConnectionParams& Params() const = 0;

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
    /// Usable from another thread or a progress callback;
    /// does nothing when idle or closed.
    virtual void Cancel() noexcept = 0;

    /// The hook registered for `type`, all zero when none.
    virtual TProgressHook ProgressHook(int type) const = 0;
    /// Registers `hook` for `type`; a hook without function removes it.
    virtual void SetProgressHook(int type, const TProgressHook& hook) = 0;

    /// Moves every row of `source` into `destination` in one operation of the
    /// server, inside one transaction: a row whose `key` exists is updated, any
    /// other appended; columns are paired by position. Refuses (TDatabaseError)
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
    explicit TUnitOfWork(TConnection& connection) : FConnection(connection) {
        FConnection.BeginWork();
    }
    ~TUnitOfWork() {
        if (!FDone)
            FConnection.RollbackWork();
    }
    TUnitOfWork(const TUnitOfWork&) = delete;
    TUnitOfWork& operator=(const TUnitOfWork&) = delete;

    /// Commits; when that fails the work is rolled back and the error raised.
    void Commit() {
        FDone = true;
        try {
            FConnection.CommitWork();
        } catch (...) {
            FConnection.RollbackWork();
            throw;
        }
    }
    void Rollback() noexcept {
        FDone = true;
        FConnection.RollbackWork();
    }

  private:
    TConnection& FConnection;
    bool FDone = false;
};

}  // namespace cep
