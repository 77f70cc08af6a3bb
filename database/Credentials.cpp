#include "database/Credentials.h"

#include "common/AnsiText.h"

namespace cep {

namespace {

// The application users' passwords, scrambled; each rebuilt with its key.
constexpr char kLumexKey[] = "morvalex9";
constexpr char kLumexStored[] = {'\x28', '\x1C', '\x53', '\x16', '\x15', '\x56'};
constexpr char kVortanKey[] = "quelma";
constexpr char kVortanStored[] = {'\x3D', '\x1F', '\x5F', '\x00', '\x06', '\x52'};

constexpr std::string_view Stored(const char (&bytes)[6]) {
    return {bytes, sizeof bytes};
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t last = path.find_last_of("\\:/");
    return last == std::string_view::npos ? path : path.substr(last + 1);
}

// "name=value", the value as it is.
std::string Line(std::string_view name, std::string_view value) {
    std::string line(name);
    line += '=';
    line += value;
    return line;
}

}  // namespace

TCredentials ChooseCredentials(std::string_view path) {
    const std::string name = AnsiLowerCase(FileNamePart(path));
    if (name.substr(0, 7) == "lumexbd")
        return {"LUMEX_APP", Descramble(kLumexKey, Stored(kLumexStored))};
    if (name.substr(0, 8) == "vortanbd")
        return {"VORTAN_APP", Descramble(kVortanKey, Stored(kVortanStored))};
    return {"SYSDBA", "corvinale"};
}

std::string Descramble(std::string_view key, std::string_view stored) {
    const auto keyByte =
        static_cast<unsigned char>(static_cast<unsigned char>(key.front()) - key.size());
    std::string result;
    result.reserve(stored.size());
    for (const char byte : stored)
        result.push_back(static_cast<char>(static_cast<unsigned char>(byte) ^ keyByte));
    return result;
}

bool ConnectDatabase(TConnection& dbsMain, const std::string& path, const std::string& user,
                     const std::string& password, std::string* reason) {
    if (dbsMain.IsConnected())
        dbsMain.CloseConnection();
    TConnectionParams params;
    params.lines.push_back(Line("SERVER NAME", path));
    params.lines.push_back(Line("USER NAME", user));
    params.lines.push_back(Line("PASSWORD", password));
    try {
        dbsMain.OpenConnection(params);
    } catch (const TDatabaseError& e) {
        // The run reports the failure from the closed connection; the
        // engine's text goes with it as the reason.
        if (reason != nullptr)
            *reason = e.what();
    }
    return dbsMain.IsConnected();
}

}  // namespace cep
