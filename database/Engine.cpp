#include "database/Engine.h"

#include <algorithm>

namespace cep {

bool DatabaseError::HasCode(intptr_t code) const {
    return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

std::string ConnectionParams::Value(std::string_view name) const {
    for (const std::string& line : lines) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && std::string_view(line).substr(0, eq) == name)
            return line.substr(eq + 1);
    }
    return {};
}

}  // namespace cep
