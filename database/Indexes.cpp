#include "database/Indexes.h"

#include <string>

namespace cep {

void SwitchIndexes(TQuery& query, bool active) {
    const std::string word = active ? "ACTIVE" : "INACTIVE";
    query.CloseSelect();
    for (const char* index : kSecondaryIndexes) {
        // Double quotes: a string value in dialect 1.
        query.OpenSelect(
            std::string("SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME = \"") +
            index + "\"");
        if (!query.AtEnd()) {
            query.CloseSelect();
            query.RunStatement(std::string("ALTER INDEX ") + index + " " + word);
        }
    }
}

std::vector<std::string> InactiveIndexes(TQuery& query) {
    std::vector<std::string> inactive;
    for (const char* index : kSecondaryIndexes) {
        query.OpenSelect(
            std::string("SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME = '") + index +
            "' AND RDB$INDEX_INACTIVE = 1");
        if (!query.AtEnd())
            inactive.push_back(index);
        query.CloseSelect();
    }
    return inactive;
}

}  // namespace cep
