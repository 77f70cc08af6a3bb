#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace cep {

/// Local wall-clock time without its date, as a fraction of a day.
/// Durations are differences of two such values, in the same unit.
using TTimeOfDay = double;

/// Source of the current time of day; tests pass their own.
using TClock = std::function<TTimeOfDay()>;

/// (h*3600000 + m*60000 + s*1000 + ms) / 86400000.
TTimeOfDay MakeTimeOfDay(int hours, int minutes, int seconds, int milliseconds);

/// The local calendar time of `moment` (localtime_r or localtime_s).
std::tm LocalTime(std::time_t moment);

/// The local time of day now, to the millisecond.
TTimeOfDay NowTimeOfDay();

/// The clock every stage uses unless it is given another.
const TClock& SystemClock();

/// Renders a duration as "hh:mm:ss": read as a time of day, whole days and
/// milliseconds dropped (not rounded), a negative value by its absolute value.
std::string FormatHms(double duration, char timeSeparator = ':');

}  // namespace cep
