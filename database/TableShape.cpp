#include "database/TableShape.h"

#include <algorithm>

#include "common/AnsiText.h"

namespace cep {

std::vector<std::string> TableColumns(TQuery& query, std::string_view table) {
    query.OpenSelect("SELECT RDB$FIELD_NAME FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                     QuoteSql(table) + " ORDER BY RDB$FIELD_POSITION");
    std::vector<std::string> columns;
    for (; !query.AtEnd(); query.Next())
        columns.push_back(RightTrimmed(query.ColumnText("RDB$FIELD_NAME")));
    query.CloseSelect();
    return columns;
}

bool HasUniqueKey(TQuery& query, std::string_view table, std::string_view column) {
    query.OpenSelect(
        "SELECT I.RDB$INDEX_NAME FROM RDB$INDICES I "
        "JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME "
        "WHERE I.RDB$RELATION_NAME = " +
        QuoteSql(table) +
        " AND I.RDB$UNIQUE_FLAG = 1 AND COALESCE(I.RDB$INDEX_INACTIVE, 0) = 0"
        " AND I.RDB$SEGMENT_COUNT = 1 AND S.RDB$FIELD_NAME = " +
        QuoteSql(column));
    const bool found = !query.AtEnd();
    query.CloseSelect();
    return found;
}

std::string MergeShapeProblem(TQuery& query, std::string_view source, std::string_view destination,
                              std::string_view key) {
    const std::vector<std::string> from = TableColumns(query, source);
    const std::vector<std::string> to = TableColumns(query, destination);
    if (from.empty())
        return "Table " + std::string(source) + " has no columns";
    if (to.size() < from.size() || !std::equal(from.begin(), from.end(), to.begin()))
        return "The first columns of " + std::string(destination) + " are not those of " +
               std::string(source) + ", in its order";
    if (!HasUniqueKey(query, destination, key))
        return "Table " + std::string(destination) + " has no unique key on " + std::string(key);
    // Columns the merge leaves out must take a row without them.
    query.OpenSelect(
        "SELECT RF.RDB$FIELD_NAME FROM RDB$RELATION_FIELDS RF "
        "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "WHERE RF.RDB$RELATION_NAME = " +
        QuoteSql(destination) +
        " AND (RF.RDB$NULL_FLAG = 1 OR F.RDB$NULL_FLAG = 1)"
        " AND RF.RDB$DEFAULT_SOURCE IS NULL AND F.RDB$DEFAULT_SOURCE IS NULL"
        " AND F.RDB$COMPUTED_BLR IS NULL ORDER BY RF.RDB$FIELD_POSITION");
    std::string required;
    for (; !query.AtEnd(); query.Next()) {
        const std::string column = RightTrimmed(query.ColumnText("RDB$FIELD_NAME"));
        if (std::find(from.begin(), from.end(), column) == from.end())
            required += (required.empty() ? "" : ", ") + column;
    }
    query.CloseSelect();
    if (!required.empty())
        return "Table " + std::string(destination) + " has NOT NULL columns without default " +
               "that " + std::string(source) + " does not fill: " + required;
    return {};
}

bool CheckDestination(TStageContext& run) {
    // "A tabela de CEP não tem a estrutura esperada."
    static const char kWrongShape[] = "A tabela de CEP n\xE3o tem a estrutura esperada.";
    const std::string problem =
        MergeShapeProblem(*run.queTrab, "TAB_CEP_TEMP", "TAB_CEP", "NU_CEP");
    if (problem.empty())
        return true;
    run.FView.ShowError(kWrongShape, problem);
    return false;
}

}  // namespace cep
