#include "database/Indexes.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "common/AnsiText.h"

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

void RefreshIndexStatistics(TQuery& query) {
    std::vector<std::string> names;
    query.OpenSelect(
        "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$RELATION_NAME = 'TAB_CEP' "
        "AND COALESCE(RDB$INDEX_INACTIVE, 0) = 0 ORDER BY RDB$INDEX_NAME");
    for (; !query.AtEnd(); query.Next()) {
        const std::string name = RightTrimmed(query.ColumnText("RDB$INDEX_NAME"));
        if (std::find(std::begin(kSecondaryIndexes), std::end(kSecondaryIndexes), name) ==
            std::end(kSecondaryIndexes))
            names.push_back(name);
    }
    query.CloseSelect();
    for (const std::string& name : names)
        query.RunStatement("SET STATISTICS INDEX " + name);
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
