#include "common/AnsiText.h"

#include <array>
#include <cstdint>

namespace cep {

namespace {

// Unicode code points of Windows-1252 bytes 0x80-0x9F; 0 where the code page
// has no character.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

unsigned char AnsiLower(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 32);
    switch (c) {
        case 0x8A:
            return 0x9A;  // Š
        case 0x8C:
            return 0x9C;  // Œ
        case 0x8E:
            return 0x9E;  // Ž
        case 0x9F:
            return 0xFF;  // Ÿ
        default:
            return c;
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one well-formed UTF-8 sequence at the start of `text`: its code
// point and length, or a length of 0 when the bytes are no such sequence
// (bad or missing continuation bytes, overlong forms, surrogates, values
// beyond U+10FFFF).
std::size_t DecodeUtf8(std::string_view text, char32_t& cp) {
    const unsigned char c = static_cast<unsigned char>(text[0]);
    std::size_t length;
    char32_t minimum;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        cp = c & 0x1F, length = 2, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        cp = c & 0x0F, length = 3, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        cp = c & 0x07, length = 4, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char cc = static_cast<unsigned char>(text[k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

std::string AnsiLowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(AnsiLower(static_cast<unsigned char>(c)));
    return lower;
}

std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return lower;
}

std::string RightTrimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string_view TrimControl(std::string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return text.substr(first, last - first);
}

std::string QuoteSql(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '\'';
    for (char c : text) {
        if (c == '\'')
            quoted += '\'';
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string DisplayUtf8(std::string_view text) {
    std::string utf8 = Win1252ToUtf8(text);
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '\r')
            shown += utf8[i];
        else if (i + 1 == utf8.size() || utf8[i + 1] != '\n')
            shown += '\n';  // a "\r\n" keeps its "\n" only
    }
    return shown;
}

std::string Win1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            AppendUtf8(out, kHigh[c - 0x80] ? kHigh[c - 0x80] : 0xFFFD);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToWin1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        const std::size_t length = DecodeUtf8(text.substr(i), cp);
        if (length == 0) {
            // Each byte that belongs to no well-formed sequence stands for one
            // unknown character.
            out += '?';
            ++i;
            continue;
        }
        i += length;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (std::size_t k = 0; k < kHigh.size(); ++k)
            if (kHigh[k] != 0 && kHigh[k] == cp)
                mapped = static_cast<char>(0x80 + k);
        out += mapped;
    }
    return out;
}

}  // namespace cep
