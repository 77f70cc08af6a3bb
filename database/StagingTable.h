#pragma once

#include "import/RunContext.h"

namespace cep {

/// Checks that TAB_CEP exists and leaves an empty TAB_CEP_TEMP for the
/// staging load: creates it when missing (and then reconnects, so the new
/// table is seen), empties it when left over. True when it is ready; false
/// after its own error message. Never raises.
bool PrepareStaging(TRunContext& ctx);

}  // namespace cep
