#pragma once

#include <string>
#include <string_view>

#include "database/Engine.h"

namespace cep {

/// The user name and password a database is opened with.
struct TCredentials {
    std::string user;
    std::string password;
};

/// Picks the credentials from the database file name: a name starting with
/// "lumexbd" (any letter case) gets LUMEX_APP, one starting with "vortanbd"
/// VORTAN_APP, every other SYSDBA. The file name is what follows the last
/// backslash, colon or forward slash of `path`, so a local Linux path, a
/// remote Windows path and a remote Unix path are all read by their file name.
TCredentials ChooseCredentials(std::string_view path);

/// Rebuilds a password from its stored bytes: each byte exclusive-or'ed with
/// the key byte, the code of the key's first character minus the key's length,
/// modulo 256. Its own inverse. `key` must not be empty.
std::string Descramble(std::string_view key, std::string_view stored);

/// Closes `dbsMain` if it is open and opens it on `path` with the parameters
/// "SERVER NAME=<path>", "USER NAME=<user>", "PASSWORD=<password>", inserted as
/// they are. True when it is open afterwards. A failed open shows nothing:
/// the result says it, and `reason`, when given, receives the engine's text
/// (a wrong password, an unreachable server, a missing file).
bool ConnectDatabase(TConnection& dbsMain, const std::string& path, const std::string& user,
                     const std::string& password, std::string* reason = nullptr);

}  // namespace cep
