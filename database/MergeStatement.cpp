#include "database/MergeStatement.h"

namespace cep {

std::string BuildMergeStatement(std::string_view source, std::string_view destination,
                                std::string_view key, const std::vector<std::string>& columns) {
    std::string set, changed, names, values;
    for (const std::string& c : columns) {
        if (c != key) {
            set += (set.empty() ? "D." : ", D.") + c + " = S." + c;
            changed += (changed.empty() ? "D." : " OR D.") + c + " IS DISTINCT FROM S." + c;
        }
        names += (names.empty() ? "" : ", ") + c;
        values += (values.empty() ? "S." : ", S.") + c;
    }
    std::string merge = "MERGE INTO " + std::string(destination) + " D USING " +
                        std::string(source) + " S ON D." + std::string(key) + " = S." +
                        std::string(key);
    if (!set.empty())
        merge += " WHEN MATCHED AND (" + changed + ") THEN UPDATE SET " + set;
    return merge + " WHEN NOT MATCHED THEN INSERT (" + names + ") VALUES (" + values + ")";
}

}  // namespace cep
