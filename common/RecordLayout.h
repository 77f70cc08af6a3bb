#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

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

/// Why `line` (without its line end) is not a record of data set `name`
/// (TABCEP: 165 characters starting with an eight-digit code; TABMUNI: a
/// six-digit code and a name of up to 30 characters; TABCEPEXC: an
/// eight-digit code, or a blank line, which is skipped); empty when it is
/// one. No record holds a control character.
std::string RecordProblem(std::string_view name, std::string_view line);

}  // namespace cep
