#pragma once

#include <optional>
#include <string_view>

#include "common/Regional.h"

namespace cep {

/// A calendar date.
struct TDate {
    int year = 0;
    int month = 0;
    int day = 0;
    auto operator<=>(const TDate&) const = default;
};

/// Reads a short date the way the regional settings read one: the order of
/// day, month and year from the first d, m, y or e of the short date format;
/// two or three numbers between date separators, at most one separator after
/// them, blanks before any part and at the end; a missing year is
/// `currentYear`, a year of at most two digits falls in the hundred years
/// starting 50 years before `currentYear`. Empty when the text is no valid date.
std::optional<TDate> StrToDate(std::string_view text, const TRegionalSettings& settings,
                               int currentYear);

/// The same, with the current year from the local clock.
std::optional<TDate> StrToDate(std::string_view text, const TRegionalSettings& settings);

}  // namespace cep
