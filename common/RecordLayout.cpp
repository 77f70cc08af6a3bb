#include "common/RecordLayout.h"

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>

namespace cep {

namespace {

int DecimalText(const char* text) {
    int value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end)
        throw std::invalid_argument(std::string("not a decimal number: ") + text);
    return value;
}

}  // namespace

int TCepField::Position() const {
    return DecimalText(position);
}
int TCepField::Length() const {
    return DecimalText(length);
}

namespace {

bool Digits(std::string_view text, std::size_t count) {
    if (text.size() < count)
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool HasControl(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 32)
            return true;
    return false;
}

bool Blank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

std::string RecordProblem(std::string_view name, std::string_view line) {
    if (HasControl(line))
        return "um caractere de controle na linha";
    if (name == "TABCEP") {
        if (line.size() != kCepRecordLength)
            return std::to_string(line.size()) + " caracteres em vez de " +
                   std::to_string(kCepRecordLength);
        if (!Digits(line, 8))
            return "o CEP n\xE3o tem oito d\xEDgitos";  // não, dígitos
        return {};
    }
    if (name == "TABMUNI") {
        if (!Digits(line, kMuniCodeLength))
            return "o c\xF3"
                   "digo do munic\xEDpio n\xE3o tem seis d\xEDgitos";
        const std::string_view municipality = line.substr(kMuniCodeLength);
        if (Blank(municipality))
            return "sem nome do munic\xEDpio";
        if (municipality.size() > kMuniNameMaxLength)
            return "nome do munic\xEDpio com mais de " + std::to_string(kMuniNameMaxLength) +
                   " caracteres";
        return {};
    }
    if (name == "TABCEPEXC") {
        if (!Blank(line) && !Digits(line, 8))
            return "o CEP n\xE3o tem oito d\xEDgitos";
        return {};
    }
    return "conjunto de dados desconhecido: " + std::string(name);
}

const std::array<TCepField, 7> CepFieldLayout = {{
    {"NU_CEP", "1", "8"},
    {"ID_TIPO_LOGR", "9", "10"},
    {"TE_DESCRICAO_CEP", "19", "70"},
    {"NM_BAIRRO", "89", "60"},
    {"SG_UF", "149", "2"},
    {"ID_MUNI_PREV", "151", "5"},
    {"ID_PAF", "156", "8"},
}};

}  // namespace cep
