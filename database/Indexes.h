#pragma once

#include "import/RunContext.h"

namespace cep {

/// Switches the secondary indexes IDX_CEPS_LOGR and then IDX_CEPS_MUNIC of
/// the database on (`active`) or off, each only when the database has it
/// (looked up by name alone). No message; a failing probe or switch raises
/// DatabaseError, and switches already made stay made.
void SwitchIndexes(TRunContext& ctx, bool active);

}  // namespace cep
