#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

namespace cep {

/// Restricts the database server running on this machine to the processors
/// of `mask` (bit n: processor n) that the system has. Kind "IB" exactly
/// means the InterBase server, any other kind the Firebird server. Best
/// effort: without such a server, or when anything fails, nothing changes
/// and nothing is reported.
///
/// Windows: the server's desktop window (class "IB_Server", title "InterBase
/// Server", or "FB_Server", "Firebird Server") names the process; only on the
/// NT family. Elsewhere: the process named "ibserver", or "firebird" (also the
/// older "fbserver"), every thread of it.
void PinServerAffinity(int32_t mask, const std::string& kind) noexcept;

#ifdef _WIN32
/// Enables the debug privilege on the program's own process token; throws
/// std::system_error with the system's last error when that fails.
void EnableDebugPrivilege();

/// Sets one privilege of `token` on or off; true when the adjustment call
/// succeeded (even when the user does not hold the privilege).
bool EnablePrivilege(HANDLE token, const std::string& privilege, bool enable);
#else
/// The server process of `kind` (see PinServerAffinity): the lowest process
/// id with that name, or 0 when none runs.
pid_t FindServerProcess(const std::string& kind);
#endif

}  // namespace cep
