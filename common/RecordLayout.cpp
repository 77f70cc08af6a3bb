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
