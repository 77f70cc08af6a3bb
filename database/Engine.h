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

/// A transaction of the program's own: its statements become visible to
/// others only when it commits. Rolled back when it is destroyed still open,
/// and when its connection closes.
class TTransaction {
  public:
    virtual ~TTransaction() = default;

    /// Commits; when that fails the work is rolled back and the error raised.
    /// Either way the transaction is no longer open afterwards.
    virtual void Commit() = 0;
    /// Rolls back; harmless when no longer open.
    virtual void Rollback() noexcept = 0;
    /// False after a commit or a rollback, and once its connection closed.
    virtual bool IsOpen() const = 0;
};

/// How a transaction waits for what others hold, and what it holds itself.
struct TTransactionOptions {
    /// Seconds to wait for a row or a table another transaction holds; 0
    /// fails at once with TDatabaseFailure::LockConflict.
    int lockTimeout = 10;
    bool readOnly = false;
    /// Tables reserved at the start for this transaction's writes alone: no
    /// other transaction may write them until it ends, and the start fails at
    /// once (LockConflict) when another holds or has written one of them.
    std::vector<std::string> protectedTables;
};

/// A query bound to a connection: runs statements and reads a SELECT's rows.
/// Statements run on a closed connection reopen it with its last parameters,
/// unless the query belongs to a transaction: that one's work was lost with
/// the connection, and its statements raise.
class TQuery {
  public:
    virtual ~TQuery() = default;

    /// Runs one statement that returns no rows: in the query's transaction,
    /// or, for a query without one, in a transaction of its own committed at
    /// once.
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

/// A statement prepared once, with parameters that take text values, run as
/// often as needed in any transaction of its connection.
class TStatement {
  public:
    virtual ~TStatement() = default;

    /// The number of parameters the statement takes.
    virtual unsigned ParameterCount() const = 0;
    /// Runs the statement in `transaction` with `values` for its parameters,
    /// in order (never NULL: an empty text is ''). A failing run changes
    /// nothing.
    virtual void Execute(TTransaction& transaction,
                         const std::vector<std::string_view>& values) = 0;
};

/// What the last AppendUpdate did with the rows of its source.
struct TMoveCounts {
    int32_t source = 0;    ///< rows of the source
    int32_t inserted = 0;  ///< rows the destination did not have
    int32_t updated = 0;   ///< rows of the destination rewritten
};

/// The program's database connection (the engine boundary). One Firebird
/// implementation sits behind it; the stages see only this interface.
class TConnection {
  public:
    virtual ~TConnection() = default;

    /// Opens with `params`; on failure raises TDatabaseError and stays closed.
    virtual void OpenConnection(const TConnectionParams& params) = 0;
    /// Closes every open query on it and rolls back its open transactions.
    virtual void CloseConnection() = 0;
    virtual bool IsConnected() const = 0;
    /// The parameters of the last OpenConnection.
    virtual const TConnectionParams& Params() const = 0;

    /// User tables only, names as the server stores them, trailing blanks removed.
    virtual std::vector<std::string> ListUserTables() = 0;
    /// Starts a transaction (a closed connection reopens first).
    virtual std::unique_ptr<TTransaction> StartTransaction(
        const TTransactionOptions& options = {}) = 0;
    /// A new query on this connection, its statements in `transaction` (one
    /// of this connection's), or each in one of its own when none is given.
    virtual std::unique_ptr<TQuery> CreateQuery(TTransaction* transaction = nullptr) = 0;
    /// Prepares `sql` (in `transaction`, one of this connection's) to be run
    /// in any of this connection's transactions.
    virtual std::unique_ptr<TStatement> Prepare(std::string_view sql,
                                                TTransaction& transaction) = 0;
    /// SELECT COUNT(*) of `table`; -1 when it cannot be counted.
    virtual int32_t CountRecords(std::string_view table) = 0;

    /// Asks the server to abort the operation now running on this connection.
    /// Usable from another thread or a progress callback; does nothing when
    /// idle or closed.
    virtual void Cancel() noexcept = 0;

    /// The hook registered for `type`, all zero when none.
    virtual TProgressHook ProgressHook(int type) const = 0;
    /// Registers `hook` for `type`; a hook without function removes it.
    virtual void SetProgressHook(int type, const TProgressHook& hook) = 0;

    /// Moves every row of `source` into `destination` in one operation of the
    /// server, inside `transaction` (one of this connection's, not committed
    /// here): a row whose `key` exists is updated, any other appended; columns
    /// are paired by name, the destination's first columns being the source's
    /// (the caller has checked that). While it works the general-progress hook
    /// gets count reports on the calling thread, at least every few tenths of
    /// a second; a hook that replies kProgressAbort stops the move (the
    /// engine's cancel is sent until the statement answers), the move's
    /// changes are undone, and AppendUpdate returns normally with
    /// LastMoveAborted(). A failure undoes the move's changes and raises;
    /// either way the transaction stays open for the caller to end. While it
    /// runs, CountRecords(source) answers the count taken at its start.
    virtual void AppendUpdate(std::string_view source, std::string_view destination,
                              std::string_view key, TTransaction& transaction) = 0;
    /// Rows of the source the last AppendUpdate merged: all of them when it
    /// ran to its end, 0 before the first and after one stopped or failed.
    virtual int32_t MovedRecords() const = 0;
    /// What the last AppendUpdate inserted and updated.
    virtual TMoveCounts LastMoveCounts() const = 0;
    /// True when the last AppendUpdate was stopped by its hook.
    virtual bool LastMoveAborted() const = 0;
};

/// Closes `connection` and opens it again with the same parameters: a fresh
/// attachment, with nothing left of the old one's statements.
void Reconnect(TConnection& connection);

}  // namespace cep
