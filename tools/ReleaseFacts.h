#pragma once

// What the release generator produces and the release checker verifies: the
// figures of the data release the program ships, the states, and the two
// records every release carries.

#include <cstdint>

namespace cep::release {

// The shipped release.
inline constexpr int64_t kCepRecords = 1054501;
inline constexpr int64_t kMuniRecords = 5570;
inline constexpr int64_t kMuniBytes = 109244;
inline constexpr int64_t kTipoValues = 263;
inline constexpr int64_t kBlankTipo = 81467;
inline constexpr int64_t kBlankBairro = 12313;
inline constexpr int64_t kBlankMuni = 2164;
inline constexpr int64_t kApostrophes = 17;

inline constexpr char kFirstMuniLine[] = "250023CALCOENE";

/// The three most frequent kinds of street, most frequent first.
inline constexpr const char* kTopTipos[3] = {"R", "AV", "TV"};

/// A state, its number of municipalities in the shipped release and the
/// range of the first five digits of its postal codes.
struct TState {
    const char* uf;
    int municipalities;
    int cepFirst;
    int cepLast;
};

inline constexpr TState kStates[27] = {
    {"SP", 645, 1000, 19999},  {"RJ", 92, 20000, 28999},  {"ES", 78, 29000, 29999},
    {"MG", 853, 30000, 39999}, {"BA", 417, 40000, 48999}, {"SE", 75, 49000, 49999},
    {"PE", 185, 50000, 56999}, {"AL", 102, 57000, 57999}, {"PB", 223, 58000, 58999},
    {"RN", 167, 59000, 59999}, {"CE", 184, 60000, 63999}, {"PI", 224, 64000, 64999},
    {"MA", 217, 65000, 65999}, {"PA", 144, 66000, 68899}, {"AP", 16, 68900, 68999},
    {"RR", 15, 69300, 69399},  {"AM", 62, 69400, 69899},  {"AC", 22, 69900, 69999},
    {"DF", 1, 70000, 73699},   {"GO", 246, 73700, 76799}, {"RO", 52, 76800, 76999},
    {"TO", 139, 77000, 77999}, {"MT", 141, 78000, 78899}, {"MS", 79, 79000, 79999},
    {"PR", 399, 80000, 87999}, {"SC", 295, 88000, 89999}, {"RS", 497, 90000, 99999},
};

/// A postal-code record by its seven fields, trailing blanks removed.
struct TExampleRecord {
    const char* fields[7];
};

/// Carried by every release, field for field.
inline constexpr TExampleRecord kExamples[2] = {
    {{"02202090", "R", "IRMAO GREGORIO", "VILA EDE", "SP", "21504", "21200010"}},
    {{"88775970", "", "ACM RIO D'UNA", "CENTRO", "SC", "20071", "20001040"}},
};

/// The characters a postal-code record may hold (the line end aside): the
/// blank, digits, A-Z and sixteen marks.
inline bool IsAllowedCepChar(unsigned char c) {
    if (c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
        return true;
    switch (c) {
        case '!':
        case '"':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case '-':
        case '.':
        case '/':
        case '=':
        case '>':
        case '_':
        case '`':
        case '|':
            return true;
        default:
            return false;
    }
}

}  // namespace cep::release
