#include "database/Engine.h"

#include <algorithm>

namespace cep {

bool TDatabaseError::HasCode(intptr_t code) const {
    return std::find(FCodes.begin(), FCodes.end(), code) != FCodes.end();
}

std::string TConnectionParams::Value(std::string_view name) const {
    for (const std::string& line : lines) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && std::string_view(line).substr(0, eq) == name)
            return line.substr(eq + 1);
    }
    return {};
}

void Reconnect(TConnection& connection) {
    const TConnectionParams params = connection.Params();
    connection.CloseConnection();
    connection.OpenConnection(params);
}

}  // namespace cep
