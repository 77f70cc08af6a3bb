// Checks a postal-code data release (TABCEP.txt, TABMUNI.txt and an optional
// TABCEPEXC.txt) against the record formats and the figures of the release,
// one line per property. Exit status 0 when every property holds, 1 when one
// fails, 2 when a file cannot be read or the options are wrong. See --help.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/RecordLayout.h"
#include "tools/ReleaseFacts.h"

namespace {

using namespace cep;
using namespace cep::release;

const char kUsage[] = R"(usage: cep_check_release [options] [DIR]

Checks DIR/TABCEP.txt, DIR/TABMUNI.txt and, when present, DIR/TABCEPEXC.txt
(DIR defaults to .) and prints PASS or FAIL for each property. Exit status:
0 all pass, 1 a property fails, 2 a file cannot be read or bad options.

Files (instead of DIR):
  --tabcep FILE  --tabmuni FILE  --tabcepexc FILE

Expected figures (defaults: the shipped release). cep_gen_release prints the
figures of what it wrote in this form:
  --records N        TABCEP records (1054501)
  --munis N          TABMUNI lines (5570)
  --muni-bytes N     TABMUNI size in bytes (109244)
  --tipos N          distinct non-blank ID_TIPO_LOGR values (263)
  --blank-tipo N     records with a blank ID_TIPO_LOGR (81467)
  --blank-bairro N   records with a blank NM_BAIRRO (12313)
  --blank-muni N     records with blank ID_MUNI_PREV and ID_PAF (2164)
  --apostrophes N    records holding an apostrophe (17)
  --no-examples      do not require the example records 02202090, 88775970
  --help             this text
)";

struct TExpect {
    int64_t records = kCepRecords;
    int64_t munis = kMuniRecords;
    int64_t muniBytes = kMuniBytes;
    int64_t tipos = kTipoValues;
    int64_t blankTipo = kBlankTipo;
    int64_t blankBairro = kBlankBairro;
    int64_t blankMuni = kBlankMuni;
    int64_t apostrophes = kApostrophes;
    bool examples = true;
};

class TReport {
  public:
    void Property(const char* file, bool pass, const std::string& what) {
        std::printf("%s  %-9s %s\n", pass ? "PASS" : "FAIL", file, what.c_str());
        ++FCount;
        if (!pass)
            ++FFailed;
    }
    void Info(const char* file, const std::string& what) {
        std::printf("info  %-9s %s\n", file, what.c_str());
    }
    int Finish() const {
        std::printf("%d properties, %d failed\n", FCount, FFailed);
        return FFailed == 0 ? 0 : 1;
    }

  private:
    int FCount = 0;
    int FFailed = 0;
};

std::string Num(int64_t value) {
    return std::to_string(value);
}

/// Reads a file line by line in large chunks; a line comes without its LF
/// (a CR before it stays).
class TLineReader {
  public:
    explicit TLineReader(const std::string& path) : FFile(std::fopen(path.c_str(), "rb")) {
        if (FFile == nullptr)
            throw std::runtime_error("cannot open " + path);
        FBuffer.resize(std::size_t(4) << 20);
    }
    ~TLineReader() { std::fclose(FFile); }

    /// False at the end. `ended` tells whether the line had its LF.
    bool Next(std::string_view& line, bool& ended) {
        for (;;) {
            const char* start = FBuffer.data() + FPos;
            const void* lf = std::memchr(start, '\n', FEnd - FPos);
            if (lf != nullptr) {
                const std::size_t length = std::size_t(static_cast<const char*>(lf) - start);
                line = std::string_view(start, length);
                FPos += length + 1;
                FBytes += length + 1;
                ended = true;
                return true;
            }
            if (FEof) {
                if (FPos == FEnd)
                    return false;
                line = std::string_view(start, FEnd - FPos);
                FBytes += FEnd - FPos;
                FPos = FEnd;
                ended = false;
                return true;
            }
            const std::size_t rest = FEnd - FPos;
            if (rest == FBuffer.size())
                FBuffer.resize(FBuffer.size() * 2);
            std::memmove(FBuffer.data(), FBuffer.data() + FPos, rest);
            FEnd = rest;
            FPos = 0;
            const std::size_t got =
                std::fread(FBuffer.data() + FEnd, 1, FBuffer.size() - FEnd, FFile);
            if (std::ferror(FFile))
                throw std::runtime_error("read error");
            FEnd += got;
            if (got == 0)
                FEof = true;
        }
    }
    uint64_t Bytes() const { return FBytes; }

  private:
    std::FILE* FFile;
    std::vector<char> FBuffer;
    std::size_t FPos = 0, FEnd = 0;
    bool FEof = false;
    uint64_t FBytes = 0;
};

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AllBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string_view Field(std::string_view line, std::size_t f) {
    return line.substr(std::size_t(CepFieldLayout[f].Position() - 1),
                       std::size_t(CepFieldLayout[f].Length()));
}

enum { kCep, kTipo, kDescricao, kBairro, kUf, kMuni, kPaf };

/// Checks of one file of postal-code records (TABCEP or TABCEPEXC) that do
/// not depend on the figures.
struct TCepLines {
    int64_t lines = 0;
    int64_t badLayout = 0;
    int64_t firstBadLayout = 0;
    int64_t badCep = 0;
    int64_t badChars = 0;
    int64_t firstBadChars = 0;

    /// True when the line has the record layout, so its fields can be read.
    bool Add(std::string_view line, bool ended) {
        ++lines;
        const bool layout = ended && line.size() == kCepRecordLength + 1 && line.back() == '\r';
        if (!layout) {
            if (badLayout++ == 0)
                firstBadLayout = lines;
        }
        const std::string_view body = layout ? line.substr(0, kCepRecordLength) : line;
        for (char c : body)
            if (!IsAllowedCepChar(static_cast<unsigned char>(c))) {
                if (badChars++ == 0)
                    firstBadChars = lines;
                break;
            }
        if (layout && !AllDigits(Field(line, kCep)))
            ++badCep;
        return layout;
    }
};

struct TMunicipalities {
    std::vector<char> prefix = std::vector<char>(100000, 0);  // first five digits seen
    bool read = false;
};

void CheckMuni(const std::string& path, const TExpect& x, TReport& report, TMunicipalities& munis) {
    const char* f = "TABMUNI";
    TLineReader in(path);
    std::string_view line;
    bool ended;
    int64_t lines = 0, badEnd = 0, badLength = 0, badCode = 0, badName = 0, duplicates = 0;
    int64_t descents = 0, samePrefix = 0;
    std::size_t minName = SIZE_MAX, maxName = 0;
    std::string first, previous;
    std::vector<char> seen(1000000, 0);
    while (in.Next(line, ended)) {
        ++lines;
        if (!ended || line.empty() || line.back() != '\r') {
            ++badEnd;
        } else {
            line.remove_suffix(1);
        }
        if (lines == 1)
            first = std::string(line);
        if (line.size() < 9 || line.size() > 36)
            ++badLength;
        const std::string_view code = line.substr(0, std::min<std::size_t>(6, line.size()));
        if (code.size() != 6 || !AllDigits(code)) {
            ++badCode;
        } else {
            const int value = std::atoi(std::string(code).c_str());
            if (seen[value]++)
                ++duplicates;
            if (munis.prefix[value / 10]++)
                ++samePrefix;
            if (!previous.empty() && std::string(code) < previous)
                ++descents;
            previous = std::string(code);
        }
        const std::string_view name = line.size() > 6 ? line.substr(6) : std::string_view();
        const bool nameOk = name.size() >= kMuniNameMinLength &&
                            name.size() <= kMuniNameMaxLength && name.front() != ' ' &&
                            name.back() != ' ' && std::all_of(name.begin(), name.end(), [](char c) {
                                return (c >= 'A' && c <= 'Z') || c == ' ' || c == '-';
                            });
        if (!nameOk)
            ++badName;
        minName = std::min(minName, name.size());
        maxName = std::max(maxName, name.size());
    }
    munis.read = true;
    report.Property(f, lines == x.munis, "lines: " + Num(lines) + ", expected " + Num(x.munis));
    report.Property(f, int64_t(in.Bytes()) == x.muniBytes,
                    "size: " + Num(int64_t(in.Bytes())) + " bytes, expected " + Num(x.muniBytes));
    report.Property(f, badEnd == 0, "every line ends in CR LF: " + Num(badEnd) + " do not");
    report.Property(f, badLength == 0,
                    "lines of 9 to 36 characters: " + Num(badLength) + " outside");
    report.Property(f, first == kFirstMuniLine,
                    "first line \"" + first + "\", expected \"" + kFirstMuniLine + "\"");
    report.Property(f, badCode == 0, "codes of six digits: " + Num(badCode) + " are not");
    report.Property(f, duplicates == 0, "codes unique: " + Num(duplicates) + " repeated");
    report.Property(f, descents > 0, "codes not sorted: " + Num(descents) + " descents");
    report.Property(f, badName == 0,
                    "names of 3 to 30 characters A-Z, blank, hyphen, no blank at either end: " +
                        Num(badName) + " are not");
    report.Property(f, maxName == kMuniNameMaxLength,
                    "longest name " + Num(int64_t(maxName)) + " characters, expected 30");
    report.Info(f, "shortest name " + Num(minName == SIZE_MAX ? 0 : int64_t(minName)) +
                       " characters; " + Num(samePrefix) +
                       " codes share their first five digits with an earlier one");
}

std::string ExpectedLine(const TExampleRecord& x) {
    std::string line(kCepRecordLength, ' ');
    for (std::size_t f = 0; f < CepFieldLayout.size(); ++f)
        line.replace(std::size_t(CepFieldLayout[f].Position() - 1), std::strlen(x.fields[f]),
                     x.fields[f]);
    return line;
}

void CheckCep(const std::string& path, const TExpect& x, TReport& report,
              const TMunicipalities& munis, std::vector<uint64_t>& codes) {
    const char* f = "TABCEP";
    TLineReader in(path);
    std::string_view line;
    bool ended;
    TCepLines common;
    int64_t duplicates = 0, descents = 0, previous = -1;
    std::map<std::string, int64_t, std::less<>> tipos;
    int64_t blankTipo = 0, tipoNotLeft = 0, digitsOnly = 0, descBlankFirst = 0, descBlank = 0;
    int64_t blankBairro = 0, bairroBlankFirst = 0, blankMuni = 0, badMuni = 0, unknownMuni = 0;
    int64_t badPaf = 0, pafMismatch = 0, badFiller = 0, apostrophes = 0;
    std::map<std::string, int64_t, std::less<>> ufs;
    std::vector<int64_t> descLength(71, 0);
    const std::string examples[2] = {ExpectedLine(kExamples[0]), ExpectedLine(kExamples[1])};
    int64_t examplesFound[2] = {0, 0};
    while (in.Next(line, ended)) {
        if (!common.Add(line, ended))
            continue;
        const std::string_view cep = Field(line, kCep);
        if (AllDigits(cep)) {
            const int64_t value = std::atoll(std::string(cep).c_str());
            uint64_t& word = codes[std::size_t(value) >> 6];
            const uint64_t bit = uint64_t(1) << (value & 63);
            if (word & bit)
                ++duplicates;
            word |= bit;
            if (value < previous)
                ++descents;
            previous = value;
        }
        const std::string_view tipo = TrimRight(Field(line, kTipo));
        if (tipo.empty()) {
            ++blankTipo;
        } else {
            if (tipo.front() == ' ')
                ++tipoNotLeft;
            auto it = tipos.find(tipo);
            if (it == tipos.end())
                it = tipos.emplace(std::string(tipo), 0).first;
            ++it->second;
        }
        const std::string_view desc = TrimRight(Field(line, kDescricao));
        if (desc.empty())
            ++descBlank;
        if (AllDigits(desc))
            ++digitsOnly;
        if (!desc.empty() && desc.front() == ' ')
            ++descBlankFirst;
        ++descLength[desc.size()];
        const std::string_view bairro = TrimRight(Field(line, kBairro));
        if (bairro.empty())
            ++blankBairro;
        else if (bairro.front() == ' ')
            ++bairroBlankFirst;
        ++ufs[std::string(Field(line, kUf))];
        const std::string_view muni = Field(line, kMuni);
        const std::string_view paf = Field(line, kPaf);
        if (AllBlank(muni)) {
            ++blankMuni;
            if (!AllBlank(paf))
                ++pafMismatch;
        } else {
            if (!AllDigits(muni)) {
                ++badMuni;
            } else if (munis.read &&
                       !munis.prefix[std::size_t(std::atoi(std::string(muni).c_str()))]) {
                ++unknownMuni;
            }
            if (AllBlank(paf))
                ++pafMismatch;
            else if (!AllDigits(paf))
                ++badPaf;
        }
        if (line.substr(163, 2) != "  ")
            ++badFiller;
        if (line.substr(0, kCepRecordLength).find('\'') != std::string_view::npos)
            ++apostrophes;
        for (int e = 0; e < 2; ++e)
            if (line.substr(0, 8) == std::string_view(kExamples[e].fields[0]) &&
                line.substr(0, kCepRecordLength) == examples[e])
                ++examplesFound[e];
    }

    const int64_t size = int64_t(in.Bytes());
    report.Property(f, common.lines == x.records,
                    "records: " + Num(common.lines) + ", expected " + Num(x.records));
    report.Property(
        f, size == x.records * int64_t(kCepLineBytes),
        "size: " + Num(size) + " bytes, expected " + Num(x.records * int64_t(kCepLineBytes)));
    report.Property(f, common.badLayout == 0,
                    "lines of 165 characters + CR LF: " + Num(common.badLayout) + " are not" +
                        (common.badLayout ? " (first: line " + Num(common.firstBadLayout) + ")"
                                          : std::string()));
    report.Property(
        f, common.badChars == 0,
        "only blank, digits, A-Z and ! \" ' ( ) * + , - . / = > _ ` |: " + Num(common.badChars) +
            " lines hold others" +
            (common.badChars ? " (first: line " + Num(common.firstBadChars) + ")" : std::string()));
    report.Property(f, common.badCep == 0,
                    "NU_CEP of eight digits: " + Num(common.badCep) + " are not");
    report.Property(f, duplicates == 0, "NU_CEP unique: " + Num(duplicates) + " repeated");
    report.Property(f, descents > 0, "NU_CEP not sorted: " + Num(descents) + " descents");

    std::vector<std::pair<int64_t, std::string>> byCount;
    for (const auto& [value, count] : tipos)
        byCount.push_back({-count, value});
    std::sort(byCount.begin(), byCount.end());
    std::string top;
    for (std::size_t i = 0; i < std::min<std::size_t>(4, byCount.size()); ++i)
        top += (i ? ", " : "") + byCount[i].second + " " + Num(-byCount[i].first);
    bool topOk = byCount.size() >= 3;
    for (std::size_t i = 0; topOk && i < 3; ++i)
        topOk = byCount[i].second == kTopTipos[i] &&
                (i + 1 == byCount.size() || byCount[i].first < byCount[i + 1].first);
    report.Property(f, int64_t(tipos.size()) == x.tipos,
                    "ID_TIPO_LOGR distinct values: " + Num(int64_t(tipos.size())) + ", expected " +
                        Num(x.tipos));
    report.Property(f, blankTipo == x.blankTipo,
                    "ID_TIPO_LOGR blank: " + Num(blankTipo) + ", expected " + Num(x.blankTipo));
    report.Property(f, topOk, "ID_TIPO_LOGR most frequent R, AV, TV in that order: " + top);
    report.Property(f, tipoNotLeft == 0,
                    "ID_TIPO_LOGR left-aligned: " + Num(tipoNotLeft) + " begin with a blank");
    report.Property(f, digitsOnly > 0,
                    "TE_DESCRICAO_CEP of digits only: " + Num(digitsOnly) + " records");
    report.Property(f, descBlankFirst > 0,
                    "TE_DESCRICAO_CEP beginning with a blank: " + Num(descBlankFirst) + " records");
    report.Property(f, blankBairro == x.blankBairro,
                    "NM_BAIRRO blank: " + Num(blankBairro) + ", expected " + Num(x.blankBairro));
    report.Property(f, bairroBlankFirst > 0,
                    "NM_BAIRRO beginning with a blank: " + Num(bairroBlankFirst) + " records");

    int64_t ufUnknown = 0;
    std::string strays;
    for (const auto& [uf, count] : ufs) {
        const bool known = std::any_of(std::begin(kStates), std::end(kStates),
                                       [&](const TState& s) { return uf == s.uf; });
        if (!known) {
            ufUnknown += count;
            strays += " \"" + uf + "\"";
        }
    }
    report.Property(f, ufUnknown == 0 && ufs.size() == 27,
                    "SG_UF the 27 states, never blank: " + Num(int64_t(ufs.size())) + " values" +
                        (strays.empty() ? std::string() : ", strays:" + strays));
    report.Property(f, blankMuni == x.blankMuni,
                    "ID_MUNI_PREV blank: " + Num(blankMuni) + ", expected " + Num(x.blankMuni));
    report.Property(f, badMuni == 0,
                    "ID_MUNI_PREV of five digits or blank: " + Num(badMuni) + " are not");
    if (munis.read)
        report.Property(f, unknownMuni == 0,
                        "ID_MUNI_PREV the first five digits of a TABMUNI code: " +
                            Num(unknownMuni) + " are not");
    report.Property(f, badPaf == 0 && pafMismatch == 0,
                    "ID_PAF of eight digits, blank exactly where ID_MUNI_PREV is: " + Num(badPaf) +
                        " malformed, " + Num(pafMismatch) + " mismatched");
    report.Property(f, badFiller == 0, "filler two blanks: " + Num(badFiller) + " are not");
    report.Property(
        f, apostrophes == x.apostrophes,
        "records with an apostrophe: " + Num(apostrophes) + ", expected " + Num(x.apostrophes));
    if (x.examples)
        for (int e = 0; e < 2; ++e)
            report.Property(f, examplesFound[e] == 1,
                            std::string("example record ") + kExamples[e].fields[0] +
                                " with exactly its fields: found " + Num(examplesFound[e]));

    // Field lengths, for judging how real the data looks.
    int64_t described = 0, mid = 0, longest = 0;
    for (std::size_t l = 1; l < descLength.size(); ++l) {
        described += descLength[l];
        if (l >= 10 && l <= 35)
            mid += descLength[l];
        if (descLength[l])
            longest = int64_t(l);
    }
    report.Info(f, "TE_DESCRICAO_CEP: " + Num(described ? mid * 100 / described : 0) +
                       "% of 10 to 35 characters, longest " + Num(longest) + ", blank " +
                       Num(descBlank));
}

void CheckExc(const std::string& path, TReport& report, const std::vector<uint64_t>& codes) {
    const char* f = "TABCEPEXC";
    TLineReader in(path);
    std::string_view line;
    bool ended;
    TCepLines common;
    int64_t inTabCep = 0;
    while (in.Next(line, ended)) {
        if (!common.Add(line, ended))
            continue;
        const std::string_view cep = Field(line, kCep);
        if (AllDigits(cep)) {
            const int64_t value = std::atoll(std::string(cep).c_str());
            if (codes[std::size_t(value) >> 6] & (uint64_t(1) << (value & 63)))
                ++inTabCep;
        }
    }
    report.Property(f, common.badLayout == 0,
                    "lines of 165 characters + CR LF: " + Num(common.badLayout) + " of " +
                        Num(common.lines) + " are not");
    report.Property(
        f, common.badChars == 0,
        "only the characters of TABCEP: " + Num(common.badChars) + " lines hold others");
    report.Property(f, common.badCep == 0,
                    "NU_CEP of eight digits: " + Num(common.badCep) + " are not");
    report.Info(f, Num(common.lines) + " withdrawn codes, " + Num(inTabCep) + " of them in TABCEP");
}

int64_t ParseCount(const std::string& option, const char* text) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || value < 0)
        throw std::invalid_argument(option + ": not a count: " + text);
    return value;
}

bool Exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        TExpect x;
        std::string dir = ".", tabcep, tabmuni, tabcepexc;
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            }
            if (arg == "--no-examples") {
                x.examples = false;
                continue;
            }
            if (arg.rfind("--", 0) != 0) {
                dir = arg;
                continue;
            }
            if (i + 1 >= argc)
                throw std::invalid_argument("missing value for " + arg);
            const char* value = argv[++i];
            if (arg == "--tabcep")
                tabcep = value;
            else if (arg == "--tabmuni")
                tabmuni = value;
            else if (arg == "--tabcepexc")
                tabcepexc = value;
            else if (arg == "--records")
                x.records = ParseCount(arg, value);
            else if (arg == "--munis")
                x.munis = ParseCount(arg, value);
            else if (arg == "--muni-bytes")
                x.muniBytes = ParseCount(arg, value);
            else if (arg == "--tipos")
                x.tipos = ParseCount(arg, value);
            else if (arg == "--blank-tipo")
                x.blankTipo = ParseCount(arg, value);
            else if (arg == "--blank-bairro")
                x.blankBairro = ParseCount(arg, value);
            else if (arg == "--blank-muni")
                x.blankMuni = ParseCount(arg, value);
            else if (arg == "--apostrophes")
                x.apostrophes = ParseCount(arg, value);
            else
                throw std::invalid_argument("unknown option " + arg);
        }
        if (tabcep.empty())
            tabcep = dir + "/TABCEP.txt";
        if (tabmuni.empty())
            tabmuni = dir + "/TABMUNI.txt";
        if (tabcepexc.empty() && Exists(dir + "/TABCEPEXC.txt"))
            tabcepexc = dir + "/TABCEPEXC.txt";

        TReport report;
        TMunicipalities munis;
        std::vector<uint64_t> codes(100000000 / 64 + 1, 0);
        CheckMuni(tabmuni, x, report, munis);
        CheckCep(tabcep, x, report, munis, codes);
        if (!tabcepexc.empty())
            CheckExc(tabcepexc, report, codes);
        return report.Finish();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cep_check_release: %s\n", e.what());
        return 2;
    }
}
