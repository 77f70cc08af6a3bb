// Writes a postal-code data release (TABCEP.txt, TABMUNI.txt and, on request,
// TABCEPEXC.txt) with the format and the figures of the release the program
// ships, from a seed. The same seed and sizes give the same bytes on every
// platform. See --help.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/RecordLayout.h"
#include "tools/ReleaseFacts.h"

namespace {

using namespace cep;
using namespace cep::release;

const char kUsage[] = R"(usage: cep_gen_release [options]

Writes TABCEP.txt and TABMUNI.txt (and TABCEPEXC.txt with --exc) into --out.
Without options the release has the shipped figures exactly:
  TABCEP  1054501 records of 165 characters + CR LF (176101667 bytes)
  TABMUNI 5570 lines, 109244 bytes, first line 250023CALCOENE

Options:
  --out DIR           folder to write into (default: .)
  --seed N            random seed (default: 1)
  --records N         TABCEP records (default: 1054501; at least 100)
  --munis N           TABMUNI lines (default: 5570; at least 27)
  --muni-bytes N      TABMUNI size in bytes (default: 109244 for 5570 lines,
                      else scaled to --munis)
  --tipos N           distinct ID_TIPO_LOGR values, 3 to 263 (default: 263,
                      or records/40 when that is smaller, at least 3)
  --blank-tipo N      records with a blank ID_TIPO_LOGR (default: 81467)
  --blank-bairro N    records with a blank NM_BAIRRO (default: 12313)
  --blank-muni N      records with blank ID_MUNI_PREV and ID_PAF (default: 2164)
  --apostrophes N     records holding an apostrophe (default: 17)
  --exc N             also write TABCEPEXC.txt with N withdrawn codes, none of
                      them in TABCEP (default: 0, no file)
  --help              this text

With --records other than 1054501, the defaults of --blank-tipo,
--blank-bairro and --blank-muni scale in proportion (rounded); give them to
fix them. Every release holds both example records (02202090 and 88775970)
and the municipalities 250023 (first line), 21504x and 20071x. The effective
figures are printed as options of cep_check_release.
)";

// ---------------------------------------------------------------- randomness

// xoshiro256** seeded by splitmix64: portable and fixed, unlike the standard
// library's distributions.
class TRng {
  public:
    explicit TRng(uint64_t seed) {
        for (auto& word : FS) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    uint64_t Next() {
        const uint64_t result = Rotl(FS[1] * 5, 7) * 9;
        const uint64_t t = FS[1] << 17;
        FS[2] ^= FS[0];
        FS[3] ^= FS[1];
        FS[1] ^= FS[2];
        FS[0] ^= FS[3];
        FS[2] ^= t;
        FS[3] = Rotl(FS[3], 45);
        return result;
    }

    /// Uniform in [0, n).
    uint64_t Below(uint64_t n) {
        const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        uint64_t x;
        do {
            x = Next();
        } while (x >= limit);
        return x % n;
    }

    /// Uniform in [lo, hi].
    int64_t Range(int64_t lo, int64_t hi) { return lo + int64_t(Below(uint64_t(hi - lo + 1))); }

    /// Uniform in [0, 1).
    double Unit() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }

    bool Chance(double p) { return Unit() < p; }

    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(items.size())];
    }

    template <typename T>
    void Shuffle(std::vector<T>& items) {
        for (std::size_t i = items.size(); i > 1; --i)
            std::swap(items[i - 1], items[Below(i)]);
    }

  private:
    static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t FS[4];
};

/// `count` distinct indexes below `n`, not in `excluded`.
std::vector<std::size_t> Sample(TRng& rng, std::size_t n, std::size_t count,
                                const std::vector<char>& excluded) {
    std::vector<std::size_t> pool;
    pool.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        if (!excluded[i])
            pool.push_back(i);
    if (pool.size() < count)
        throw std::runtime_error("release too small for the counts asked");
    for (std::size_t i = 0; i < count; ++i)
        std::swap(pool[i], pool[i + rng.Below(pool.size() - i)]);
    pool.resize(count);
    return pool;
}

// ---------------------------------------------------------------- vocabulary

using TWords = std::vector<std::string>;

const TWords kFirstNames = {
    "JOSE",      "MARIA",   "JOAO",     "ANTONIO", "FRANCISCO", "ANA",      "LUIZ",
    "PAULO",     "CARLOS",  "MANOEL",   "PEDRO",   "FRANCISCA", "MARCOS",   "RAIMUNDO",
    "SEBASTIAO", "ANTONIA", "MARCELO",  "JORGE",   "LUCIA",     "GERALDO",  "ADRIANA",
    "BENEDITO",  "RITA",    "MIGUEL",   "ALFREDO", "AUGUSTO",   "JOAQUIM",  "HELENA",
    "ALBERTO",   "ARMANDO", "OSVALDO",  "EDUARDO", "RUBENS",    "WALDEMAR", "ORLANDO",
    "TEREZA",    "ROSA",    "ERNESTO",  "OTAVIO",  "ROBERTO",   "MARIO",    "VICENTE",
    "FLORIANO",  "BENTO",   "AMELIA",   "CECILIA", "LAURO",     "HENRIQUE", "NELSON",
    "DOMINGOS",  "CANDIDO", "ANISIO",   "EMILIO",  "GUSTAVO",   "IRINEU",   "JULIO",
    "LEOPOLDO",  "OLAVO",   "PLINIO",   "RUI",     "TOMAS",     "VALTER",   "ZELIA",
    "ISABEL",    "GETULIO", "TANCREDO", "ULISSES", "CLARICE",   "DARCY",    "EUCLIDES",
};

const TWords kSurnames = {
    "SILVA",     "SANTOS",      "OLIVEIRA",    "SOUZA",     "RODRIGUES", "FERREIRA",   "ALVES",
    "PEREIRA",   "LIMA",        "GOMES",       "COSTA",     "RIBEIRO",   "MARTINS",    "CARVALHO",
    "ALMEIDA",   "LOPES",       "SOARES",      "FERNANDES", "VIEIRA",    "BARBOSA",    "ROCHA",
    "DIAS",      "NASCIMENTO",  "ANDRADE",     "MOREIRA",   "NUNES",     "MARQUES",    "MACHADO",
    "MENDES",    "FREITAS",     "CARDOSO",     "RAMOS",     "GONCALVES", "SANTANA",    "TEIXEIRA",
    "AZEVEDO",   "BARROS",      "CAMPOS",      "CORREIA",   "CUNHA",     "FARIAS",     "FONSECA",
    "GUIMARAES", "MEDEIROS",    "MOURA",       "NOGUEIRA",  "PINTO",     "QUEIROZ",    "REIS",
    "SAMPAIO",   "TAVARES",     "VASCONCELOS", "XAVIER",    "BRAGA",     "CAVALCANTI", "FRANCO",
    "LEITE",     "MAGALHAES",   "MONTEIRO",    "PACHECO",   "PRADO",     "SALES",      "TORRES",
    "VELOSO",    "BITTENCOURT", "CAMARGO",     "GUERRA",    "LACERDA",   "MOTTA",      "PIMENTEL",
};

const TWords kTitles = {
    "DOUTOR",     "PROFESSOR",  "PROFESSORA",  "PADRE",       "CORONEL",       "GENERAL",
    "MAJOR",      "CAPITAO",    "TENENTE",     "SARGENTO",    "DOM",           "FREI",
    "IRMAO",      "IRMA",       "VEREADOR",    "PREFEITO",    "DEPUTADO",      "SENADOR",
    "GOVERNADOR", "PRESIDENTE", "DONA",        "SAO",         "SANTA",         "SANTO",
    "MONSENHOR",  "ENGENHEIRO", "MAESTRO",     "COMENDADOR",  "DESEMBARGADOR", "MINISTRO",
    "MARECHAL",   "ALMIRANTE",  "BRIGADEIRO",  "CONSELHEIRO", "DOUTORA",       "PASTOR",
    "CONEGO",     "BARAO DE",   "VISCONDE DE", "DUQUE DE",    "MADRE",         "IRMAOS",
};

const TWords kPlurals = {
    "FLORES",     "ROSAS",          "PALMEIRAS",    "ACACIAS",      "MANGUEIRAS", "ORQUIDEAS",
    "HORTENSIAS", "VIOLETAS",       "MARGARIDAS",   "GAIVOTAS",     "ANDORINHAS", "PINHEIROS",
    "IPES",       "COQUEIROS",      "EUCALIPTOS",   "BANDEIRANTES", "ANDRADAS",   "AMERICAS",
    "NACOES",     "INDUSTRIAS",     "MISSOES",      "ORIXAS",       "GARCAS",     "SABIAS",
    "PEROBAS",    "JABUTICABEIRAS", "CASTANHEIRAS", "AROEIRAS",     "MAGNOLIAS",  "TULIPAS",
    "CAMELIAS",   "AZALEIAS",       "GIRASSOIS",    "LARANJEIRAS",  "OLIVEIRAS",  "PITANGUEIRAS",
};

const TWords kPlaces = {
    "BRASIL",         "PARANA",      "BAHIA",        "GOIAS",      "AMAZONAS",
    "RIO BRANCO",     "PERNAMBUCO",  "MINAS GERAIS", "SAO PAULO",  "RIO GRANDE DO SUL",
    "SANTA CATARINA", "CEARA",       "PARAIBA",      "ALAGOAS",    "SERGIPE",
    "MARANHAO",       "PIAUI",       "ACRE",         "RONDONIA",   "RORAIMA",
    "TOCANTINS",      "PORTUGAL",    "ARGENTINA",    "URUGUAI",    "PARAGUAI",
    "BOLIVIA",        "ITALIA",      "JAPAO",        "ALEMANHA",   "ESPANHA",
    "IGUACU",         "ITAPEMA",     "JUNDIAI",      "CAMPINAS",   "SOROCABA",
    "PIRACICABA",     "ARARAQUARA",  "BAURU",        "MARINGA",    "LONDRINA",
    "JOINVILLE",      "BLUMENAU",    "PELOTAS",      "CAXIAS",     "PETROPOLIS",
    "NITEROI",        "TERESOPOLIS", "UBERABA",      "UBERLANDIA", "ITABUNA",
};

const TWords kNouns = {
    "DA PAZ",
    "DA LIBERDADE",
    "DO COMERCIO",
    "BOA VISTA",
    "DA REPUBLICA",
    "DA INDEPENDENCIA",
    "DA BANDEIRA",
    "DO CONTORNO",
    "DA SAUDADE",
    "DAS ESTRELAS",
    "DO SOL",
    "DA LUA",
    "DA ESPERANCA",
    "DA AMIZADE",
    "DA UNIAO",
    "DO PROGRESSO",
    "DA CONSTITUICAO",
    "DA PRAIA",
    "BEIRA RIO",
    "BEIRA MAR",
    "DA IGREJA",
    "DA ESTACAO",
    "DO CRUZEIRO",
    "DA MATRIZ",
    "DO MERCADO",
    "DO PORTO",
    "DA FONTE",
    "DO LAGO",
    "DA SERRA",
    "DO CAMPO",
    "BELA VISTA",
    "MONTE ALEGRE",
    "BOM JESUS",
    "NOSSA SENHORA APARECIDA",
    "NOSSA SENHORA DE FATIMA",
    "DA CONCEICAO",
    "DO ROSARIO",
    "DA GLORIA",
    "DO CARMO",
    "PRINCIPAL",
    "CENTRAL",
    "PROJETADA",
    "SEM SAIDA",
    "DO ACESSO",
};

const TWords kNumberWords = {"UM",    "DOIS",     "TRES",   "QUATRO", "CINCO", "SEIS",
                             "SETE",  "OITO",     "NOVE",   "DEZ",    "ONZE",  "DOZE",
                             "TREZE", "QUATORZE", "QUINZE", "VINTE",  "TRINTA"};

const TWords kMonths = {"JANEIRO", "FEVEREIRO", "MARCO",    "ABRIL",   "MAIO",     "JUNHO",
                        "JULHO",   "AGOSTO",    "SETEMBRO", "OUTUBRO", "NOVEMBRO", "DEZEMBRO"};

const TWords kBairroKinds = {
    "VILA",        "JARDIM",
    "PARQUE",      "CONJUNTO HABITACIONAL",
    "RESIDENCIAL", "NUCLEO",
    "SETOR",       "BAIRRO",
    "LOTEAMENTO",  "CHACARAS",
    "CONJUNTO",    "JARDIM NOVA",
    "VILA NOVA",   "PARQUE RESIDENCIAL",
    "CIDADE",      "NUCLEO HABITACIONAL",
    "RECANTO",     "ALTO DO",
    "SITIO",       "ESTANCIA",
};

const TWords kUnitKinds = {
    "AGC",
    "ACF",
    "ACM",
    "AC",
    "CDD",
    "CEE",
    "AGF",
    "CPC",
    "EDIFICIO",
    "CONDOMINIO",
    "PREFEITURA MUNICIPAL DE",
    "HOSPITAL",
    "SHOPPING",
    "UNIVERSIDADE FEDERAL DE",
    "CAMARA MUNICIPAL DE",
    "FORUM DE",
    "ESCOLA ESTADUAL",
    "BANCO",
    "SUPERMERCADO",
    "CENTRO ADMINISTRATIVO",
};

// Names with an apostrophe; nothing else the generator writes holds one.
const TWords kApostropheNames = {
    "OLHO D'AGUA",  "SANT'ANA",      "PAU D'ALHO",      "CAIXA D'AGUA", "JOANA D'ARC",
    "D'AVILA",      "MAE D'AGUA",    "ESTRELA D'ALVA",  "SANT'ANNA",    "COPO D'AGUA",
    "PINGO D'AGUA", "BARRA D'OESTE", "DOUTOR D'ELBOUX", "OLHOS D'AGUA", "FONTE D'AGUA",
};

// Rare tokens of real releases, carrying the other marks a record may hold.
const TWords kOddTokens = {"S/N", "KM 5,5", "N. SRA.", "\"A\"", "1/2", "+",   "*", "QD=5",
                           ">",   "_",      "`",       "|",     "!",   "(A)", "-", "1.0"};

// The kinds of street: "R", "AV", "TV" first, then by falling frequency.
TWords TipoValues() {
    TWords values = {
        "R",   "AV",    "TV",  "AL",   "PC",  "EST", "ROD", "VL",  "LD",  "VIA", "ESC",
        "Q",   "QD",    "CJ",  "COND", "BC",  "LGO", "PQ",  "JD",  "RES", "LOT", "SIT",
        "CH",  "FAZ",   "VE",  "ACS",  "PAS", "PRQ", "PRT", "PTE", "RTN", "SRV", "TR",
        "TRV", "VLA",   "VLE", "AT",   "BL",  "BSQ", "CAM", "CPO", "CRG", "CTN", "DSC",
        "ENT", "ESP",   "ETC", "EVD",  "FV",  "GAL", "IA",  "JDN", "LAD", "LRG", "MRO",
        "NUC", "OTR",   "PAT", "PRL",  "PSA", "QTA", "RAM", "RMP", "RTO", "SUB", "TMO",
        "TRC", "TUN",   "VCL", "VD",   "VP",  "VRT", "ZIG", "AER", "ARE", "ATL", "BAL",
        "BEC", "BLV",   "BVD", "CAL",  "CAN", "CIR", "CLN", "COL", "CON", "CRV", "DIV",
        "ESD", "EST V", "EQP", "ESQ",  "FRA", "FTE", "GJA", "HAR", "ILH", "LIN", "MER",
        "MOD", "MRG",   "NTE", "PAR",  "PLT", "PRC", "PSG", "PTO", "RCT", "RET", "ROT",
        "SEG", "SER",   "SRT", "TER",  "TRM", "UNI", "VAL", "VAR", "VEL", "VER", "VIL",
    };
    const char* ordinalKinds[] = {"TV", "R", "AV", "VL", "TR", "BC"};
    const int ordinalCounts[] = {60, 40, 20, 15, 12, 10};
    for (int k = 0; k < 6; ++k)
        for (int n = 1; n <= ordinalCounts[k]; ++n)
            values.push_back(std::to_string(n) + "A " + ordinalKinds[k]);
    return values;  // 120 + 157
}

// ---------------------------------------------------------------- names

const char* const kSyllables[] = {
    "BA",  "BE",  "BI",  "BO",   "BU",    "CA",    "CO",  "CU",    "DA",  "DE",  "DI",  "DO",
    "FA",  "FE",  "GA",  "GO",   "GUA",   "GUI",   "IA",  "JA",    "JU",  "LA",  "LE",  "LI",
    "LO",  "MA",  "ME",  "MI",   "MO",    "MU",    "NA",  "NE",    "NI",  "NO",  "PA",  "PE",
    "PI",  "PO",  "PU",  "QUE",  "QUI",   "RA",    "RE",  "RI",    "RO",  "RU",  "SA",  "SE",
    "SO",  "TA",  "TE",  "TI",   "TO",    "TU",    "VA",  "VE",    "VI",  "XA",  "ZE",  "NHA",
    "NHO", "LHA", "LHO", "TUBA", "TINGA", "POLIS", "RIM", "MIRIM", "ACU", "ARA", "ITA",
};
const char kVowels[] = "AEIOU";

/// A made-up word of exactly `length` letters.
std::string MakeWord(TRng& rng, std::size_t length) {
    std::string word;
    while (word.size() < length) {
        const std::size_t room = length - word.size();
        if (room == 1) {
            word += kVowels[rng.Below(5)];
            break;
        }
        const char* syllable = kSyllables[rng.Below(std::size(kSyllables))];
        if (std::strlen(syllable) <= room)
            word += syllable;
    }
    return word;
}

/// A municipality name of exactly `length` characters: words of A-Z joined by
/// a blank or a hyphen, no blank at either end.
std::string MakePlaceName(TRng& rng, std::size_t length) {
    static const TWords kLeads = {"SAO",   "SANTA", "SANTO", "NOVA",  "BOM",   "PORTO",
                                  "RIO",   "CAMPO", "MONTE", "SERRA", "BARRA", "VALE",
                                  "PEDRA", "ALTO",  "LAGOA", "POCO",  "CRUZ",  "PONTE"};
    static const TWords kLinks = {"DO", "DA", "DE", "DOS", "DAS"};
    std::string name;
    if (length >= 9 && rng.Chance(0.3))
        name = rng.Pick(kLeads);
    while (name.size() < length) {
        if (!name.empty()) {
            if (length - name.size() < 3) {
                name += MakeWord(rng, length - name.size());  // lengthen the last word
                break;
            }
            name += (rng.Chance(0.05) ? '-' : ' ');
        }
        const std::size_t room = length - name.size();
        if (room <= 11) {
            name += MakeWord(rng, room);
        } else if (!name.empty() && rng.Chance(0.25)) {
            name += rng.Pick(kLinks);
        } else {
            name += MakeWord(
                rng, std::size_t(rng.Range(3, int64_t(std::min<std::size_t>(10, room - 4)))));
        }
    }
    return name;
}

std::string Number(TRng& rng, int64_t lo, int64_t hi) {
    return std::to_string(rng.Range(lo, hi));
}

std::string Person(TRng& rng) {
    std::string name = rng.Pick(kFirstNames);
    if (rng.Chance(0.35))
        name += " " + rng.Pick(kFirstNames);
    if (rng.Chance(0.2))
        name += rng.Chance(0.5) ? " DE " : " DA ";
    else
        name += " ";
    name += rng.Pick(kSurnames);
    if (rng.Chance(0.3))
        name += " " + rng.Pick(kSurnames);
    return name;
}

std::string Clip(std::string text, std::size_t width) {
    if (text.size() > width) {
        text.resize(width);
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
    }
    return text;
}

std::string StreetName(TRng& rng) {
    std::string name;
    const double p = rng.Unit();
    if (p < 0.30) {
        name = rng.Pick(kTitles) + " " + Person(rng);
    } else if (p < 0.52) {
        name = Person(rng);
    } else if (p < 0.60) {
        name = (rng.Chance(0.5) ? "DAS " : "DOS ") + rng.Pick(kPlurals);
    } else if (p < 0.63) {
        name = (rng.Chance(0.5) ? rng.Pick(kNumberWords) : Number(rng, 1, 31)) + " DE " +
               rng.Pick(kMonths);
    } else if (p < 0.70) {
        name = rng.Pick(kPlaces);
    } else if (p < 0.80) {
        const double q = rng.Unit();
        if (q < 0.2)
            name = std::string(1, char('A' + rng.Below(26)));
        else if (q < 0.45)
            name = "PROJETADA " + Number(rng, 1, 120);
        else if (q < 0.65)
            name = "QUADRA " + Number(rng, 1, 300);
        else if (q < 0.80)
            name = rng.Pick(kNumberWords);
        else
            name = "SQS " + Number(rng, 100, 416) + " BLOCO " + char('A' + rng.Below(11));
    } else if (p < 0.90) {
        name = rng.Pick(kNouns);
    } else {
        name = rng.Pick(kTitles) + " " + rng.Pick(kFirstNames) + " " + rng.Pick(kSurnames) + " " +
               rng.Pick(kSurnames);
    }
    const double s = rng.Unit();
    if (s < 0.04) {
        const int64_t from = rng.Range(1, 40) * 100 + 1;
        name += " - DE " + std::to_string(from) + "/" + std::to_string(from + 1) + " AO FIM";
    } else if (s < 0.07) {
        const int64_t to = rng.Range(1, 40) * 100;
        name += " - ATE " + std::to_string(to - 1) + "/" + std::to_string(to);
    } else if (s < 0.09) {
        name += rng.Chance(0.5) ? " - LADO PAR" : " - LADO IMPAR";
    } else if (s < 0.10) {
        const int64_t from = rng.Range(1, 30) * 100 + 1;
        name += " - DE " + std::to_string(from) + " A " + std::to_string(from + 898) +
                (rng.Chance(0.5) ? " - LADO PAR" : " - LADO IMPAR");
    } else if (s < 0.11) {
        name += " (" + rng.Pick(kBairroKinds) + " " + rng.Pick(kSurnames) + ")";
    } else if (s < 0.1101) {
        name += " " + rng.Pick(kOddTokens);
    }
    return Clip(name, 70);
}

std::string UnitName(TRng& rng, const std::string& city) {
    const std::string& kind = rng.Pick(kUnitKinds);
    if (kind.size() <= 3)
        return Clip(kind + " " + city, 70);
    if (kind.back() == 'E')
        return Clip(kind + " " + city, 70);  // "... DE"
    return Clip(kind + " " + (rng.Chance(0.5) ? Person(rng) : rng.Pick(kPlaces)), 70);
}

std::string BairroName(TRng& rng) {
    const double p = rng.Unit();
    std::string name;
    if (p < 0.55)
        name = rng.Pick(kBairroKinds) + " " +
               (rng.Chance(0.5) ? rng.Pick(kSurnames) : rng.Pick(kPlaces));
    else if (p < 0.70)
        name = rng.Pick(kBairroKinds) + " " + Person(rng);
    else if (p < 0.80)
        name = rng.Pick(kNouns);
    else if (p < 0.90)
        name = rng.Pick(kSurnames);
    else
        name = MakePlaceName(rng, std::size_t(rng.Range(5, 20)));
    if (rng.Chance(0.05))
        name += rng.Chance(0.5) ? " II" : " III";
    if (rng.Chance(0.005))
        name += " (ZONA RURAL)";
    return Clip(name, 60);
}

// ---------------------------------------------------------------- release

struct TOptions {
    std::string out = ".";
    uint64_t seed = 1;
    int64_t records = kCepRecords;
    int64_t munis = kMuniRecords;
    int64_t muniBytes = -1;
    int64_t tipos = -1;
    int64_t blankTipo = -1;
    int64_t blankBairro = -1;
    int64_t blankMuni = -1;
    int64_t apostrophes = kApostrophes;
    int64_t exc = 0;
};

struct TMunicipality {
    std::string code;  // six digits
    std::string name;
    int state;
    std::vector<std::string> pafs;
    std::vector<std::string> bairros;
    int64_t records = 0;
};

struct TRecord {
    std::string cep, tipo, street, bairro, uf, muni, paf;
    std::size_t municipality = SIZE_MAX;  // index into the municipalities
};

class TCepCodes {
  public:
    TCepCodes() : FUsed(100000000 / 64 + 1, 0) {}
    bool Take(uint32_t code) {
        uint64_t& word = FUsed[code >> 6];
        const uint64_t bit = uint64_t(1) << (code & 63);
        if (word & bit)
            return false;
        word |= bit;
        return true;
    }
    /// A new code of the state whose first five digits are near `prefix`.
    std::string Draw(TRng& rng, const TState& state, int prefix, int spread) {
        const int span = state.cepLast - state.cepFirst + 1;
        for (int attempt = 0; attempt < 200; ++attempt) {
            const int p =
                state.cepFirst + (prefix - state.cepFirst + int(rng.Below(spread))) % span;
            const uint32_t code = uint32_t(p) * 1000 + uint32_t(rng.Below(1000));
            if (Take(code))
                return Format(code);
        }
        for (uint32_t code = uint32_t(state.cepFirst) * 1000;
             code < uint32_t(state.cepLast + 1) * 1000; ++code)
            if (Take(code))
                return Format(code);
        throw std::runtime_error(std::string("no postal codes left in ") + state.uf);
    }
    static std::string Format(uint32_t code) {
        char text[16];
        std::snprintf(text, sizeof text, "%08u", unsigned(code));
        return text;
    }

  private:
    std::vector<uint64_t> FUsed;
};

int StateIndex(const char* uf) {
    for (int i = 0; i < 27; ++i)
        if (std::strcmp(kStates[i].uf, uf) == 0)
            return i;
    throw std::logic_error("unknown state");
}

/// Splits `total` by `weights` (largest remainder), each share at least `floor`.
std::vector<int64_t> Apportion(int64_t total, const std::vector<double>& weights, int64_t floor) {
    const int64_t n = int64_t(weights.size());
    std::vector<int64_t> shares(weights.size(), floor);
    int64_t rest = total - floor * n;
    if (rest < 0)
        throw std::runtime_error("release too small for the counts asked");
    double sum = 0;
    for (double w : weights)
        sum += w;
    std::vector<std::pair<double, int64_t>> remainders;
    int64_t given = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double exact = double(rest) * weights[i] / sum;
        const int64_t whole = int64_t(std::floor(exact));
        shares[i] += whole;
        given += whole;
        remainders.push_back({exact - double(whole), i});
    }
    std::stable_sort(remainders.begin(), remainders.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (int64_t k = 0; k < rest - given; ++k)
        ++shares[remainders[k % n].second];
    return shares;
}

class TGenerator {
  public:
    explicit TGenerator(const TOptions& options) : FO(options), FRng(options.seed) {}

    void Run() {
        MakeMunicipalities();
        MakeRecords();
        WriteMuni();
        WriteCep(FO.out + "/TABCEP.txt", FRecords);
        if (FO.exc > 0)
            WriteCep(FO.out + "/TABCEPEXC.txt", MakeWithdrawn());
    }

  private:
    void MakeMunicipalities() {
        // Municipalities per state, every state at least one.
        std::vector<double> weights;
        for (const TState& s : kStates)
            weights.push_back(s.municipalities);
        const std::vector<int64_t> perState = Apportion(FO.munis, weights, 1);

        // Five-digit prefixes unique, so an ID_MUNI_PREV names one municipality.
        std::vector<char> prefixUsed(100000, 0);
        const int fixedPrefixes[3] = {25002, 21504, 20071};
        for (int p : fixedPrefixes)
            prefixUsed[p] = 1;
        auto newPrefix = [&] {
            for (;;) {
                const int p = int(FRng.Range(10000, 99999));
                if (!prefixUsed[p]) {
                    prefixUsed[p] = 1;
                    return p;
                }
            }
        };

        const int fixedStates[3] = {StateIndex("AP"), StateIndex("SP"), StateIndex("SC")};
        // The three fixed municipalities stand for one of their states' share.
        std::vector<int> states;
        for (int s = 0; s < 27; ++s) {
            int64_t count = perState[s];
            for (int f : fixedStates)
                if (f == s)
                    --count;
            for (int64_t i = 0; i < count; ++i)
                states.push_back(s);
        }
        FRng.Shuffle(states);

        // Name lengths: the sum is fixed by the file size; one name of 3 and
        // one of 30 characters bound the range.
        const int64_t n = FO.munis;
        const int64_t nameSum = FO.muniBytes - 8 * n;
        std::vector<int64_t> lengths(n);
        lengths[0] = 8;  // CALCOENE
        // Around the mean the size asks for, a little skewed to long names.
        const double mean = double(nameSum) / double(n);
        for (int64_t i = 1; i < n; ++i) {
            const double bell = FRng.Unit() + FRng.Unit() + FRng.Unit() + FRng.Unit() - 2.0;
            const double u = FRng.Unit();
            const double length = mean - 1.0 + 6.0 * bell + 4.0 * u * u;
            lengths[i] = std::clamp<int64_t>(std::llround(length), 4, 30);
        }
        lengths[3] = 3;
        lengths[4] = 30;
        int64_t sum = 0;
        for (int64_t l : lengths)
            sum += l;
        const int64_t lo = 8 + 3 + 30 + 3 * (n - 3), hi = 8 + 3 + 30 + 30 * (n - 3);
        if (nameSum < lo || nameSum > hi)
            throw std::runtime_error("--muni-bytes out of reach for --munis");
        while (sum != nameSum) {
            const int64_t i = FRng.Range(5, n - 1);
            if (sum < nameSum && lengths[i] < 30) {
                ++lengths[i];
                ++sum;
            } else if (sum > nameSum && lengths[i] > 3) {
                --lengths[i];
                --sum;
            }
        }

        for (int64_t i = 0; i < n; ++i) {
            TMunicipality m;
            int prefix;
            if (i == 0) {
                m.code = "250023";
                m.name = "CALCOENE";
                m.state = fixedStates[0];
            } else {
                if (i == 1 || i == 2) {
                    prefix = fixedPrefixes[i];
                    m.state = fixedStates[i];
                } else {
                    prefix = newPrefix();
                    m.state = states[i - 3];
                }
                m.code = std::to_string(prefix) + char('0' + FRng.Below(10));
                m.name = MakePlaceName(FRng, std::size_t(lengths[i]));
            }
            const int pafCount = int(FRng.Range(1, 4));
            for (int k = 0; k < pafCount; ++k)
                m.pafs.push_back(m.code.substr(0, 2) + Digits(6));
            FMunis.push_back(std::move(m));
        }
        // The example records' municipalities keep the examples' ID_PAF.
        FMunis[1].pafs[0] = kExamples[0].fields[6];
        FMunis[2].pafs[0] = kExamples[1].fields[6];

        // Lines 2..n in random order (line 1 is fixed); never sorted by code.
        std::vector<TMunicipality> rest(FMunis.begin() + 1, FMunis.end());
        FRng.Shuffle(rest);
        std::copy(rest.begin(), rest.end(), FMunis.begin() + 1);
        if (FMunis[1].code < FMunis[2].code)
            std::swap(FMunis[1], FMunis[2]);
    }

    std::string Digits(int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += char('0' + FRng.Below(10));
        return text;
    }

    void MakeRecords() {
        const int64_t r = FO.records;
        const int64_t withMuni = r - 2 - FO.blankMuni;
        if (withMuni < int64_t(FMunis.size()))
            throw std::runtime_error("--records too small for --munis and --blank-muni");

        // Records per municipality: a few big cities, a long tail of one-code towns.
        std::vector<double> weights;
        std::vector<std::size_t> rank(FMunis.size());
        for (std::size_t i = 0; i < rank.size(); ++i)
            rank[i] = i;
        FRng.Shuffle(rank);
        for (std::size_t i = 0; i < FMunis.size(); ++i)
            weights.push_back(1.0 / std::pow(double(rank[i]) + 3.0, 1.1));
        const std::vector<int64_t> counts = Apportion(withMuni, weights, 1);

        // Where the example records go: inside their municipalities' runs.
        std::size_t exampleMuni[2] = {0, 0};
        for (std::size_t i = 0; i < FMunis.size(); ++i) {
            if (FMunis[i].code.compare(0, 5, kExamples[0].fields[5]) == 0)
                exampleMuni[0] = i;
            if (FMunis[i].code.compare(0, 5, kExamples[1].fields[5]) == 0)
                exampleMuni[1] = i;
        }
        for (int e = 0; e < 2; ++e)
            FCodes.Take(uint32_t(std::stoul(kExamples[e].fields[0])));

        // Runs of municipality records, with runs of records outside any
        // municipality between them.
        std::vector<std::size_t> order(FMunis.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        FRng.Shuffle(order);
        int64_t looseLeft = FO.blankMuni;
        FRecords.reserve(std::size_t(r));
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::size_t mi = order[k];
            TMunicipality& m = FMunis[mi];
            const TState& state = kStates[m.state];
            const int64_t count = counts[mi];
            const int bairroPool = int(std::max<int64_t>(1, count / 12));
            m.bairros.push_back("CENTRO");
            for (int b = 1; b < bairroPool; ++b)
                m.bairros.push_back(BairroName(FRng));
            const int spread = int(std::max<int64_t>(1, count / 250));
            const int base = int(FRng.Range(state.cepFirst, state.cepLast));
            const int64_t exampleAt =
                (mi == exampleMuni[0] || mi == exampleMuni[1]) ? FRng.Range(0, count - 1) : -1;
            for (int64_t j = 0; j < count; ++j) {
                if (j == exampleAt)
                    AddExample(mi == exampleMuni[0] ? 0 : 1);
                TRecord rec;
                rec.cep = FCodes.Draw(FRng, state, base, spread);
                rec.street = StreetName(FRng);
                rec.bairro = PickBairro(m);
                rec.uf = state.uf;
                rec.muni = m.code.substr(0, 5);
                rec.paf = m.pafs[FRng.Below(m.pafs.size())];
                rec.municipality = mi;
                FRecords.push_back(std::move(rec));
            }
            // Spread the records without a municipality over the file.
            const int64_t runsLeft = int64_t(order.size() - k);
            int64_t loose = looseLeft / runsLeft;
            if (looseLeft % runsLeft > 0 &&
                FRng.Below(uint64_t(runsLeft)) < uint64_t(looseLeft % runsLeft))
                ++loose;
            if (k + 1 == order.size())
                loose = looseLeft;
            for (int64_t j = 0; j < loose; ++j)
                AddLoose();
            looseLeft -= loose;
        }

        AssignCounts();
        // Never sorted, whatever the sizes.
        if (std::is_sorted(FRecords.begin(), FRecords.end(),
                           [](const TRecord& a, const TRecord& b) { return a.cep < b.cep; }))
            std::swap(FRecords[0], FRecords[1]);
    }

    std::string PickBairro(const TMunicipality& m) {
        // Skewed towards the first names of the pool (CENTRO first).
        const double u = FRng.Unit();
        return m.bairros[std::size_t(u * u * double(m.bairros.size()))];
    }

    void AddExample(int e) {
        const TExampleRecord& x = kExamples[e];
        FExampleIndex.push_back(FRecords.size());
        FRecords.push_back({x.fields[0], x.fields[1], x.fields[2], x.fields[3], x.fields[4],
                            x.fields[5], x.fields[6]});
    }

    void AddLoose() {
        const int s = int(FRng.Below(27));
        const TState& state = kStates[s];
        TRecord rec;
        rec.cep = FCodes.Draw(FRng, state, int(FRng.Range(state.cepFirst, state.cepLast)), 1);
        rec.street = StreetName(FRng);
        rec.bairro = BairroName(FRng);
        rec.uf = state.uf;
        FRecords.push_back(std::move(rec));
    }

    /// The exact counts: blank kinds of street, the kinds' frequencies, blank
    /// neighbourhoods, apostrophes, and the few odd descriptions.
    void AssignCounts() {
        const std::size_t n = FRecords.size();
        std::vector<char> fixed(n, 0);
        for (std::size_t i : FExampleIndex)
            fixed[i] = 1;

        // Blank ID_TIPO_LOGR: the example 88775970 is one of them.
        std::vector<char> blankTipo(n, 0);
        for (std::size_t i : Sample(FRng, n, std::size_t(FO.blankTipo - 1), fixed))
            blankTipo[i] = 1;
        for (std::size_t i = 0; i < n; ++i) {
            if (!blankTipo[i])
                continue;
            TRecord& rec = FRecords[i];
            if (FRng.Chance(0.7))
                rec.street =
                    UnitName(FRng, rec.municipality < FMunis.size() ? FMunis[rec.municipality].name
                                                                    : "CENTRO");
        }

        // Kinds of street by falling frequency, each used at least once.
        const TWords values = TipoValues();
        const int64_t t = FO.tipos;
        const int64_t nonBlank = int64_t(n) - FO.blankTipo;
        std::vector<double> weights = {0.72, 0.11, 0.05};
        for (int64_t k = 3; k < t; ++k)
            weights.push_back(0.03 / std::pow(double(k - 2), 0.9));
        std::vector<int64_t> perTipo = Apportion(nonBlank, weights, 1);
        for (int64_t k = 1; k < t; ++k)
            if (perTipo[k] >= perTipo[0] || (k < 3 && perTipo[k] >= perTipo[k - 1]) ||
                (k >= 3 && perTipo[k] >= perTipo[2]))
                throw std::runtime_error("too few records for --tipos kinds of street");
        std::vector<int> tipoList;
        tipoList.reserve(std::size_t(nonBlank));
        --perTipo[0];  // the example 02202090 is an "R"
        for (int64_t k = 0; k < t; ++k)
            for (int64_t c = 0; c < perTipo[k]; ++c)
                tipoList.push_back(int(k));
        FRng.Shuffle(tipoList);
        std::size_t next = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (!blankTipo[i] && !fixed[i])
                FRecords[i].tipo = values[tipoList[next++]];

        // Blank NM_BAIRRO.
        std::vector<char> taken = fixed;
        for (std::size_t i : Sample(FRng, n, std::size_t(FO.blankBairro), taken)) {
            FRecords[i].bairro.clear();
            taken[i] = 1;
        }
        // Apostrophes: the example 88775970 holds one. A few go into the
        // neighbourhood, the rest into the street name.
        const std::vector<std::size_t> withQuote =
            Sample(FRng, n, std::size_t(FO.apostrophes - 1), taken);
        for (std::size_t k = 0; k < withQuote.size(); ++k) {
            TRecord& rec = FRecords[withQuote[k]];
            const std::string& name = kApostropheNames[k % kApostropheNames.size()];
            if (k % 4 == 3)
                rec.bairro = Clip((FRng.Chance(0.5) ? "VILA " : "JARDIM ") + name, 60);
            else
                rec.street = name;
            taken[withQuote[k]] = 1;
        }
        // Descriptions of digits only, and values beginning with a blank.
        const std::size_t odd = std::max<std::size_t>(3, n / 250);
        const std::vector<std::size_t> picks =
            Sample(FRng, n, odd + 2 * std::max<std::size_t>(1, n / 4000), taken);
        for (std::size_t k = 0; k < picks.size(); ++k) {
            TRecord& rec = FRecords[picks[k]];
            if (k < odd) {
                rec.street = Number(FRng, 1, k % 3 == 0 ? 9 : 3000);
            } else if ((k - odd) % 2 == 0) {
                rec.street = Clip(" " + rec.street, 70);
            } else {
                rec.bairro = Clip(" " + (rec.bairro.empty() ? BairroName(FRng) : rec.bairro), 60);
            }
        }
    }

    std::vector<TRecord> MakeWithdrawn() {
        std::vector<TRecord> withdrawn;
        for (int64_t i = 0; i < FO.exc; ++i) {
            const TMunicipality& m = FMunis[FRng.Below(FMunis.size())];
            const TState& state = kStates[m.state];
            TRecord rec;
            rec.cep = FCodes.Draw(FRng, state, int(FRng.Range(state.cepFirst, state.cepLast)), 1);
            rec.tipo = "R";
            rec.street = StreetName(FRng);
            rec.bairro = BairroName(FRng);
            rec.uf = state.uf;
            rec.muni = m.code.substr(0, 5);
            rec.paf = m.pafs[0];
            withdrawn.push_back(std::move(rec));
        }
        return withdrawn;
    }

    static std::FILE* Create(const std::string& path) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr)
            throw std::runtime_error("cannot create " + path);
        std::setvbuf(file, nullptr, _IOFBF, std::size_t(1) << 20);
        return file;
    }

    static void Finish(std::FILE* file, const std::string& path) {
        if (std::ferror(file) || std::fclose(file) != 0)
            throw std::runtime_error("cannot write " + path);
    }

    void WriteMuni() {
        const std::string path = FO.out + "/TABMUNI.txt";
        std::FILE* file = Create(path);
        for (const TMunicipality& m : FMunis) {
            const std::string line = m.code + m.name + "\r\n";
            std::fwrite(line.data(), 1, line.size(), file);
        }
        Finish(file, path);
    }

    static void WriteCep(const std::string& path, const std::vector<TRecord>& records) {
        std::FILE* file = Create(path);
        char line[kCepLineBytes];
        for (const TRecord& rec : records) {
            std::memset(line, ' ', kCepRecordLength);
            line[kCepRecordLength] = '\r';
            line[kCepRecordLength + 1] = '\n';
            const std::string* values[7] = {&rec.cep, &rec.tipo, &rec.street, &rec.bairro,
                                            &rec.uf,  &rec.muni, &rec.paf};
            for (std::size_t f = 0; f < CepFieldLayout.size(); ++f) {
                const std::size_t width = std::size_t(CepFieldLayout[f].Length());
                if (values[f]->size() > width)
                    throw std::logic_error("field too long");
                std::memcpy(line + CepFieldLayout[f].Position() - 1, values[f]->data(),
                            values[f]->size());
            }
            std::fwrite(line, 1, sizeof line, file);
        }
        Finish(file, path);
    }

    TOptions FO;
    TRng FRng;
    TCepCodes FCodes;
    std::vector<TMunicipality> FMunis;
    std::vector<TRecord> FRecords;
    std::vector<std::size_t> FExampleIndex;
};

int64_t ParseCount(const char* option, const char* text) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || value < 0)
        throw std::invalid_argument(std::string(option) + ": not a count: " + text);
    return value;
}

int64_t Scaled(int64_t full, int64_t records) {
    return int64_t(std::llround(double(full) * double(records) / double(kCepRecords)));
}

}  // namespace

int main(int argc, char** argv) {
    try {
        TOptions o;
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            }
            if (i + 1 >= argc)
                throw std::invalid_argument("missing value for " + std::string(arg));
            const char* value = argv[++i];
            if (arg == "--out")
                o.out = value;
            else if (arg == "--seed")
                o.seed = uint64_t(ParseCount(argv[i - 1], value));
            else if (arg == "--records")
                o.records = ParseCount(argv[i - 1], value);
            else if (arg == "--munis")
                o.munis = ParseCount(argv[i - 1], value);
            else if (arg == "--muni-bytes")
                o.muniBytes = ParseCount(argv[i - 1], value);
            else if (arg == "--tipos")
                o.tipos = ParseCount(argv[i - 1], value);
            else if (arg == "--blank-tipo")
                o.blankTipo = ParseCount(argv[i - 1], value);
            else if (arg == "--blank-bairro")
                o.blankBairro = ParseCount(argv[i - 1], value);
            else if (arg == "--blank-muni")
                o.blankMuni = ParseCount(argv[i - 1], value);
            else if (arg == "--apostrophes")
                o.apostrophes = ParseCount(argv[i - 1], value);
            else if (arg == "--exc")
                o.exc = ParseCount(argv[i - 1], value);
            else
                throw std::invalid_argument("unknown option " + std::string(arg));
        }
        if (o.records < 100)
            throw std::invalid_argument("--records must be at least 100");
        if (o.munis < 27)
            throw std::invalid_argument("--munis must be at least 27");
        if (o.muniBytes < 0)
            o.muniBytes = o.munis == kMuniRecords
                              ? kMuniBytes
                              : int64_t(std::llround(double(kMuniBytes) * double(o.munis) /
                                                     double(kMuniRecords)));
        if (o.tipos < 0)
            o.tipos = std::max<int64_t>(3, std::min<int64_t>(kTipoValues, o.records / 40));
        if (o.tipos < 3 || o.tipos > kTipoValues)
            throw std::invalid_argument("--tipos must be 3 to 263");
        if (o.blankTipo < 0)
            o.blankTipo = Scaled(kBlankTipo, o.records);
        if (o.blankBairro < 0)
            o.blankBairro = Scaled(kBlankBairro, o.records);
        if (o.blankMuni < 0)
            o.blankMuni = Scaled(kBlankMuni, o.records);
        if (o.blankTipo < 1)
            throw std::invalid_argument("--blank-tipo must be at least 1");
        if (o.apostrophes < 1)
            throw std::invalid_argument("--apostrophes must be at least 1");

        TGenerator(o).Run();
        std::printf(
            "--records %lld --munis %lld --muni-bytes %lld --tipos %lld --blank-tipo %lld "
            "--blank-bairro %lld --blank-muni %lld --apostrophes %lld\n",
            (long long)o.records, (long long)o.munis, (long long)o.muniBytes, (long long)o.tipos,
            (long long)o.blankTipo, (long long)o.blankBairro, (long long)o.blankMuni,
            (long long)o.apostrophes);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cep_gen_release: %s\n", e.what());
        return 2;
    }
}
