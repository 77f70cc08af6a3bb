#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/StageContext.h"

namespace cep {

/// Codes per delete statement.
inline constexpr int kWithdrawnBatch = 1000;

/// DELETE FROM TAB_CEP  WHERE NU_CEP IN ('...','...'): every code a quoted
/// string literal, so that no text of the file can change the statement.
std::string BuildDeleteStatement(const std::vector<std::string>& codes);

/// Sends one delete statement for `codes` through `query`.
void DeleteCodes(TQuery& query, const std::vector<std::string>& codes);

/// Deletes from TAB_CEP every code listed in `fileName`, in batches of
/// kWithdrawnBatch, through `query` (whose transaction the caller ends),
/// moving the bar one step per line. Raises on a file error or a failed
/// statement.
void RemoveWithdrawn(TStageContext& run, TQuery& query, const std::string& fileName);

/// The removal stage: when `fileName` ("TempExc.txt") exists, sets up the
/// status panel, removes the codes through `query` and deletes the file.
/// Returns the deletion count (file size div 167), 0 when there is no file.
int32_t RemoveWithdrawnStage(TStageContext& run, TQuery& query, const std::string& fileName);

}  // namespace cep
