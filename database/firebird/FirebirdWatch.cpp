// The watch over a server reached over the network: a server that stops
// answering (stopped, frozen, cut off without the connection breaking) would
// otherwise keep a call waiting for as long as the operating system keeps
// the connection.

#include <chrono>
#include <string>

#include "database/firebird/FirebirdConnection.h"
#include "database/firebird/FirebirdInternals.h"

namespace cep::firebird {

namespace {

int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

TDatabaseError TActivity::Silenced(const TDatabaseError& error) const {
    // "O servidor parou de responder; a conexão foi encerrada. "
    return TDatabaseError(
        "O servidor parou de responder; a conex\xE3o foi encerrada. " + std::string(error.what()),
        error.Codes(), TDatabaseFailure::ConnectionLost);
}

TServerWatch::TServerWatch(std::string server, TConnectionParams params, IAttachment* attachment,
                           std::shared_ptr<TActivity> activity)
    : FServer(std::move(server)),
      FParams(std::move(params)),
      FAttachment(attachment),
      FActivity(std::move(activity)),
      FThread([this] { Watch(); }) {}

TServerWatch::~TServerWatch() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    FThread.join();
}

bool TServerWatch::ServerAnswers() const {
    // A fresh attachment: the server answers it while it runs, however busy
    // the watched connection keeps it.
    TQuietStatus status;
    TOwned<IXpbBuilder> dpb(
        Master()->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0));
    if (status.Failed())
        return true;  // nothing to probe with: no verdict
    const std::string user = FParams.Value("USER NAME");
    const std::string password = FParams.Value("PASSWORD");
    if (!user.empty())
        dpb->insertString(&status, isc_dpb_user_name, user.c_str());
    if (!password.empty())
        dpb->insertString(&status, isc_dpb_password, password.c_str());
    dpb->insertInt(&status, isc_dpb_connect_timeout, kProbeSeconds);
    TOwned<IProvider> provider(Master()->getDispatcher());
    TOwned<IAttachment> probe(provider->attachDatabase(
        &status, FServer.c_str(), dpb->getBufferLength(&status), dpb->getBuffer(&status)));
    if (!probe) {
        // Only a server that does not answer at all counts: the network gave
        // up, or the handshake timed out (a stopped server takes the TCP
        // connection but never replies: "connection rejected"). One that
        // refuses (a wrong login, too many attachments, a shut-down
        // database) still answers.
        const TDatabaseError error = status.Error();
        for (intptr_t code :
             {isc_connect_reject, isc_network_error, isc_net_connect_err,
              isc_net_connect_listen_err, isc_net_read_err, isc_net_write_err, isc_conn_lost})
            if (error.HasCode(code))
                return false;
        return true;
    }
    EndQuietly(probe, [](IAttachment* a, CheckStatusWrapper* s) { a->detach(s); });
    return true;
}

void TServerWatch::Watch() {
    int silent = 0;
    std::unique_lock<std::mutex> lock(FMutex);
    while (!FStop) {
        FWake.wait_for(lock, std::chrono::seconds(1));
        if (FStop)
            break;
        const bool waiting = FActivity->calls.load() > 0 &&
                             NowMilliseconds() - FActivity->since.load() >= kQuietSeconds * 1000;
        if (!waiting) {
            silent = 0;
            continue;
        }
        lock.unlock();
        const bool answers = ServerAnswers();
        lock.lock();
        silent = answers ? 0 : silent + 1;
        if (silent >= kSilentProbes && !FStop) {
            FActivity->silent.store(true);
            TQuietStatus status;
            FAttachment->cancelOperation(&status, fb_cancel_abort);
            break;  // the connection is gone; its calls now fail at once
        }
        if (!FStop)
            FWake.wait_for(lock, std::chrono::seconds(kProbeSeconds));
    }
}

}  // namespace cep::firebird
