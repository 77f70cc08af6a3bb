#pragma once

#include <string>
#include <vector>

#include "database/Engine.h"

namespace cep {

/// The secondary indexes of TAB_CEP the run switches off for the merge, in
/// the order they are switched.
inline constexpr const char* kSecondaryIndexes[] = {"IDX_CEPS_LOGR", "IDX_CEPS_MUNIC"};

/// Switches the secondary indexes IDX_CEPS_LOGR and then IDX_CEPS_MUNIC of
/// the database on (`active`) or off through `query`, each only when the
/// database has it (looked up by name alone). No message; a failing probe or
/// switch raises TDatabaseError, and switches already made stay made.
void SwitchIndexes(TQuery& query, bool active);

/// The secondary indexes of kSecondaryIndexes the database has switched off
/// (left so by a run that was stopped before it switched them on again).
std::vector<std::string> InactiveIndexes(TQuery& query);

/// Recomputes the statistics of TAB_CEP's active indexes that switching on
/// did not rebuild (its primary key and other unique indexes), so that
/// queries are planned on the table as it is now. Raises on failure.
void RefreshIndexStatistics(TQuery& query);

}  // namespace cep
