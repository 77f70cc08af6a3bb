// AppendUpdate: the merge of one table into another, one MERGE statement run
// on a thread of its own while the calling thread reports its progress.

#include <ibase.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "database/MergeStatement.h"
#include "database/TableShape.h"
#include "database/firebird/FirebirdConnection.h"
#include "database/firebird/FirebirdInternals.h"

namespace cep::firebird {

namespace {

using std::chrono::milliseconds;

/// How often the hook hears of the move, whether or not the count moved: the
/// window dispatches its input then, and a cancel is seen.
constexpr milliseconds kReportInterval{100};
/// How often the server's monitoring tables are read for the count.
constexpr milliseconds kMonitorInterval{500};
/// How often the engine's cancel is sent again while the engine finds nothing
/// to cancel (the statement has not reached it yet). A cancel it took is not
/// sent again: one that arrives while the statement undoes its work would cut
/// the undoing short.
constexpr milliseconds kCancelInterval{250};

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

/// Rows the statements of attachment `attachmentId` have inserted or updated
/// so far, as the server's monitoring tables show them; -1 when unknown.
int64_t MonitorCount(TQuery& monitor, const std::string& attachmentId) {
    try {
        monitor.OpenSelect(
            "SELECT SUM(R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES) AS N "
            "FROM MON$STATEMENTS S JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$STAT_ID "
            "WHERE S.MON$ATTACHMENT_ID = " +
            attachmentId + " AND S.MON$STATE = 1");
        const std::string text = monitor.AtEnd() ? std::string() : monitor.ColumnText("N");
        monitor.CloseSelect();
        return text.empty() ? -1 : std::stoll(text);
    } catch (const std::exception&) {  // an engine failure, or a figure that is no number
        return -1;                     // no figure this time
    }
}

/// The rows a statement inserted and updated (isc_info_sql_records).
TMoveCounts RecordCounts(ThrowStatusWrapper* st, IStatement* statement) {
    const unsigned char items[] = {isc_info_sql_records};
    unsigned char buffer[64] = {};
    statement->getInfo(st, sizeof items, items, sizeof buffer, buffer);
    TMoveCounts counts;
    if (buffer[0] != isc_info_sql_records)
        return counts;
    auto number = [&](const unsigned char* p, int length) {
        return static_cast<int32_t>(isc_portable_integer(p, static_cast<short>(length)));
    };
    const int total = number(buffer + 1, 2);
    for (const unsigned char* p = buffer + 3; p < buffer + 3 + total && *p != isc_info_end;) {
        const unsigned char item = *p++;
        const int length = number(p, 2);
        p += 2;
        if (item == isc_info_req_insert_count)
            counts.inserted = number(p, length);
        else if (item == isc_info_req_update_count)
            counts.updated = number(p, length);
        p += length;
    }
    return counts;
}

}  // namespace

TMoveCounts TFirebirdConnection::WatchMove(const std::string& merge, ITransaction* transaction,
                                           int32_t total) {
    std::string attachmentId;
    {
        std::unique_ptr<TQuery> query = CreateQuery(nullptr);
        query->OpenSelect("SELECT CURRENT_CONNECTION AS ID FROM RDB$DATABASE");
        attachmentId = query->ColumnText("ID");
    }
    FMoveSourceCount = total;
    const TProgressHook hook = ProgressHook(kGeneralProgress);

    // The count comes from the monitoring tables, read through a second
    // attachment on a thread of its own, so that a slow answer never keeps
    // the hook waiting; without it the hook still hears of the move, with
    // the count it started from.
    struct TMonitor {
        std::atomic<int64_t> done{0};
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
    } monitor;
    std::thread monitorThread;
    if (hook.function != nullptr) {
        monitorThread = std::thread([&monitor, params = FParams, attachmentId] {
            try {
                std::unique_ptr<TConnection> connection = CreateFirebirdConnection();
                connection->OpenConnection(params);
                std::unique_ptr<TQuery> query = connection->CreateQuery();
                std::unique_lock<std::mutex> lock(monitor.mutex);
                while (!monitor.stop) {
                    lock.unlock();
                    if (const int64_t counted = MonitorCount(*query, attachmentId); counted >= 0)
                        monitor.done.store(counted);
                    lock.lock();
                    monitor.wake.wait_for(lock, kMonitorInterval, [&] { return monitor.stop; });
                }
            } catch (const std::exception&) {
                // no second attachment: the move goes on, reported with no count
            }
        });
    }
    struct TStopMonitor {
        TMonitor& m;
        std::thread& t;
        ~TStopMonitor() {
            {
                std::lock_guard<std::mutex> lock(m.mutex);
                m.stop = true;
            }
            m.wake.notify_all();
            if (t.joinable())
                t.join();
        }
    } stopMonitor{monitor, monitorThread};

    IAttachment* attachment = FAttachment.Get();
    std::shared_ptr<TActivity> activity = FActivity;
    std::future<TMoveCounts> move =
        std::async(std::launch::async, [attachment, transaction, merge, activity] {
            return Tracked(*activity, [&](ThrowStatusWrapper* st) {
                TOwned<IStatement> statement(
                    attachment->prepare(st, transaction, 0, merge.c_str(), kDialect, 0));
                statement->execute(st, transaction, nullptr, nullptr, nullptr, nullptr);
                return RecordCounts(st, statement.Get());
            });
        });

    // Until the statement answers: the hook at every interval, and once the
    // hook asked to stop (or failed), the engine's cancel now and again.
    // Only a stop the hook asked for is a stop; a hook that fails ends the
    // move with its failure.
    std::exception_ptr hookFailure;
    bool stopping = false;
    bool cancelTaken = false;
    auto report = [&] {
        try {
            if (ReportCount(hook, monitor.done.load()) == kProgressAbort)
                FMoveAborted = true;
        } catch (...) {
            hookFailure = std::current_exception();
        }
        if (FMoveAborted || hookFailure) {
            stopping = true;
            cancelTaken = CancelRunning();
        }
    };
    report();
    while (move.wait_for(stopping ? kCancelInterval : kReportInterval) !=
           std::future_status::ready) {
        if (!stopping)
            report();
        else if (!cancelTaken)
            cancelTaken = CancelRunning();
    }
    if (hookFailure) {
        try {
            move.get();
        } catch (const TDatabaseError&) {
            // the cancel the failure asked for
        }
        std::rethrow_exception(hookFailure);
    }
    return move.get();
}

void TFirebirdConnection::AppendUpdate(std::string_view source, std::string_view destination,
                                       std::string_view key, TTransaction& transaction) {
    FMoveCounts = {};
    FMoveAborted = false;
    const std::shared_ptr<TTxState> state = StateOf(transaction);
    std::unique_ptr<TQuery> inTransaction = CreateQuery(&transaction);

    std::vector<std::string> columns;
    {
        std::unique_ptr<TQuery> query = CreateQuery(nullptr);
        columns = TableColumns(*query, source);
    }
    const std::string merge = BuildMergeStatement(source, destination, key, columns);
    const int32_t total = CountRecords(source);

    // A savepoint of its own: a move that is stopped, or that ends after the
    // hook asked to stop it, leaves the transaction as it found it.
    inTransaction->RunStatement("SAVEPOINT CEP_APPEND_UPDATE");
    FMoveSource = std::string(source);
    struct TReset {
        TFirebirdConnection& c;
        ~TReset() {
            c.FMoveSource.clear();
            c.FMoveSourceCount = -1;
        }
    } reset{*this};

    TMoveCounts counts;
    try {
        counts = WatchMove(merge, state->Open(), total);
    } catch (...) {
        if (state->handle)
            inTransaction->RunStatement("ROLLBACK TO SAVEPOINT CEP_APPEND_UPDATE");
        if (FMoveAborted)
            return;  // stopped at the hook's request: nothing moved
        throw;
    }
    if (FMoveAborted) {  // the stop came too late to stop the server
        inTransaction->RunStatement("ROLLBACK TO SAVEPOINT CEP_APPEND_UPDATE");
        return;
    }
    inTransaction->RunStatement("RELEASE SAVEPOINT CEP_APPEND_UPDATE");
    counts.source = total >= 0 ? total : counts.inserted + counts.updated;
    FMoveCounts = counts;
    ReportCount(ProgressHook(kGeneralProgress), total);  // the end: nothing left to stop
}

}  // namespace cep::firebird
