#pragma once

#include <cstdint>
#include <string>

#include "common/TimeOfDay.h"

namespace cep {

/// Estimated rest of a stage: the average time per item so far times the
/// items still to come; 0 when elapsed/total is not positive.
double RemainingTime(int32_t done, int32_t total, TTimeOfDay start,
                     const TClock& clock = SystemClock());

/// The start of the remaining-time text.
inline constexpr char kRemainingPrefix[] = "Tempo restante: ";

/// "Tempo restante: " and RemainingTime(done, total, start) as "hh:mm:ss".
std::string RemainingText(int32_t done, int32_t total, TTimeOfDay start, const TClock& clock,
                          char timeSeparator);

}  // namespace cep
