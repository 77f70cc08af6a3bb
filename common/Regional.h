#pragma once

#include <string>

namespace cep {

/// The regional settings the program reads dates and renders times with.
/// The program always runs with the Brazilian ones, whatever the machine's
/// locale; tests and the date conversion take others as values.
struct TRegionalSettings {
    std::string shortDateFormat = "dd/MM/yyyy";
    char dateSeparator = '/';
    char timeSeparator = ':';
};

/// Brazilian Portuguese: dd/MM/yyyy, "/", ":".
inline const TRegionalSettings& BrazilianSettings() {
    static const TRegionalSettings settings;
    return settings;
}

}  // namespace cep
