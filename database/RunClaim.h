#pragma once

#include <memory>
#include <string>

#include "database/Engine.h"
#include "database/StageContext.h"

namespace cep {

/// Seconds a run waits for TAB_CEP when another transaction holds it.
inline constexpr int kClaimWaitSeconds = 10;

/// The run's hold on its database: the transaction that applies the release,
/// started before anything else is done, with TAB_CEP reserved for its writes
/// alone. A second run on the same database, from this machine or another,
/// cannot take it, and stops at its start; the hold ends with the
/// transaction, also when its holder dies (the server rolls back a lost
/// client's transaction). Returns the transaction, or none after the message
/// "A tabela de CEP está em uso por outra atualização ou por outro programa."
/// (the engine's reason as detail) when another transaction holds or has
/// changed TAB_CEP. Raises any other failure.
std::unique_ptr<TTransaction> ClaimDatabase(TStageContext& run);

}  // namespace cep
