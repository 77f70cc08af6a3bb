#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "database/Engine.h"
#include "database/StageContext.h"

namespace cep {

/// The columns of `table` in their order, names as the server stores them
/// (trailing blanks removed); empty when there is no such table.
std::vector<std::string> TableColumns(TQuery& query, std::string_view table);

/// True when `table` has an active unique index (a primary key, a unique
/// constraint or a unique index) on `column` alone.
bool HasUniqueKey(TQuery& query, std::string_view table, std::string_view column);

/// Why the rows of `source` cannot be merged into `destination` by key
/// `key`, columns paired by position; empty when they can. The destination's
/// first columns must be the source's, in its order, it must have a unique
/// key on `key`, and each further column must take a row that leaves it out
/// (NULL allowed, or a default).
std::string MergeShapeProblem(TQuery& query, std::string_view source, std::string_view destination,
                              std::string_view key);

/// The early refusal of a run: when TAB_CEP cannot take the staging table's
/// rows, shows "A tabela de CEP não tem a estrutura esperada." with the reason
/// as detail and returns false, before anything is loaded or switched.
bool CheckDestination(TStageContext& run);

}  // namespace cep
