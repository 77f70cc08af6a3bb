#pragma once

#include <cstdint>

#include "import/TimeOfDay.h"

namespace cep {

/// Estimated rest of a stage: the average time per item so far times the
/// items still to come; 0 when elapsed/total is not positive.
double RemainingTime(int32_t done, int32_t total, TimeOfDay start,
                     const Clock& clock = SystemClock());

}  // namespace cep
