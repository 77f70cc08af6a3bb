#pragma once

#include <array>
#include <cstddef>

namespace cep {

/// One field of a postal-code record: the column name (of TAB_CEP and
/// TAB_CEP_TEMP), its first position counted from 1 and its length. Position
/// and length are kept as decimal texts and read as integers where used.
struct TCepField {
    const char* name;
    const char* position;
    const char* length;

    int Position() const;
    int Length() const;
};

/// The seven fields of a postal-code record in record order (the two-blank
/// filler at positions 164-165 has no row). Lives for the whole program.
extern const std::array<TCepField, 7> CepFieldLayout;

/// A postal-code record (TABCEP, TABCEPEXC): 165 characters, then CR LF.
inline constexpr std::size_t kCepRecordLength = 165;
inline constexpr std::size_t kCepLineBytes = kCepRecordLength + 2;

/// A municipality record (TABMUNI): a six-digit code, then the name of 3 to 30
/// characters, then CR LF.
inline constexpr std::size_t kMuniCodeLength = 6;
inline constexpr std::size_t kMuniNameMinLength = 3;
inline constexpr std::size_t kMuniNameMaxLength = 30;

}  // namespace cep
