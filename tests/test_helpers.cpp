// Shared helpers: time rendering, the remaining-time estimate, Windows-1252
// text and the regional date conversion.

#include <gtest/gtest.h>

#include "common/AnsiText.h"
#include "common/DateConversion.h"
#include "common/Progress.h"
#include "common/TimeOfDay.h"

using namespace cep;

namespace {

TEST(TimeOfDay, RendersHms) {
    struct Case {
        double duration;
        std::string expected;
    } cases[] = {
        {MakeTimeOfDay(1, 2, 3, 400), "01:02:03"},
        {MakeTimeOfDay(0, 0, 59, 900), "00:00:59"},
        {MakeTimeOfDay(25, 0, 0, 0), "01:00:00"},
        {MakeTimeOfDay(30, 0, 0, 0), "06:00:00"},
        {-MakeTimeOfDay(0, 3, 18, 0), "00:03:18"},
        {MakeTimeOfDay(10, 0, 5, 0) - MakeTimeOfDay(9, 59, 59, 999), "00:00:05"},
        {MakeTimeOfDay(23, 59, 59, 999), "23:59:59"},
        {0, "00:00:00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatHms(c.duration), c.expected) << c.duration;
    EXPECT_EQ(FormatHms(MakeTimeOfDay(1, 2, 3, 0), '.'), "01.02.03");
}

TEST(TimeOfDay, NowIsAFractionOfADay) {
    const TTimeOfDay now = NowTimeOfDay();
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 1.0);
}

TEST(RemainingTime, Estimates) {
    const TTimeOfDay start = MakeTimeOfDay(10, 0, 0, 0);
    struct Case {
        int done, total;
        TTimeOfDay now;
        std::string expected;
    } cases[] = {
        {10, 1000, MakeTimeOfDay(10, 0, 2, 0), "00:03:18"},    // 198 s
        {1000, 1000, MakeTimeOfDay(10, 5, 0, 0), "00:00:00"},  // done
        {10, 1000, MakeTimeOfDay(9, 0, 0, 0), "00:00:00"},     // start after now
        {20, 10, MakeTimeOfDay(10, 0, 2, 0), "00:00:01"},      // past the estimate: -1 s
        {1, 1000, MakeTimeOfDay(10, 0, 0, 0), "00:00:00"},     // nothing elapsed
        {0, 1000, MakeTimeOfDay(10, 0, 1, 0), "00:00:00"},     // nothing done yet
        {1, 1001, MakeTimeOfDay(10, 0, 108, 0), "06:00:00"},   // 30 hours
    };
    for (const Case& c : cases) {
        const TClock clock = [&] { return c.now; };
        EXPECT_EQ(FormatHms(RemainingTime(c.done, c.total, start, clock)), c.expected)
            << c.done << "/" << c.total;
    }
    const TClock late = [] { return MakeTimeOfDay(10, 0, 2, 0); };
    EXPECT_LT(RemainingTime(20, 10, start, late), 0);
}

TEST(AnsiText, LowerCaseAndTrim) {
    EXPECT_EQ(AnsiLowerCase("LumexBD2005.GDB"), "lumexbd2005.gdb");
    EXPECT_EQ(AnsiLowerCase("\xC0\xC9\xD6\xD7\xDE\x8A\x9F\xDF"),
              "\xE0\xE9\xF6\xD7\xFE\x9A\xFF\xDF");
    EXPECT_EQ(AsciiLowerCase("KEY \xC9VIOLATION"), "key \xC9violation");
    EXPECT_EQ(TrimControl(" \t\r\nA B\x01 "), "A B");
    EXPECT_EQ(TrimControl("   "), "");
    EXPECT_EQ(QuoteSql("D'UNA''"), "'D''UNA'''''");
    EXPECT_EQ(QuoteSql(""), "''");
}

TEST(AnsiText, Utf8RoundTrip) {
    const std::string ansi = "Atualiza\xE7\xE3o \x80 \x9C";
    const std::string utf8 = Win1252ToUtf8(ansi);
    EXPECT_EQ(utf8, "Atualiza\xC3\xA7\xC3\xA3o \xE2\x82\xAC \xC5\x93");
    EXPECT_EQ(Utf8ToWin1252(utf8), ansi);
    EXPECT_EQ(Utf8ToWin1252("\xE4\xB8\xAD"), "?");  // not in the code page
    EXPECT_EQ(Utf8ToWin1252("\xC2\x81"), "?");      // C1 control, not a 1252 character
}

TEST(AnsiText, Win1252HighTable) {
    // A few of the 0x80-0x9F characters, and the five bytes without one.
    EXPECT_EQ(Win1252ToUtf8("\x83\x8A\x99\x9F"), "\xC6\x92\xC5\xA0\xE2\x84\xA2\xC5\xB8");
    EXPECT_EQ(Win1252ToUtf8("\x81\x8D\x8F\x90\x9D"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    // Every other byte survives the round trip.
    std::string all;
    for (int c = 1; c < 256; ++c)
        if (c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D)
            all += static_cast<char>(c);
    EXPECT_EQ(Utf8ToWin1252(Win1252ToUtf8(all)), all);
}

TEST(AnsiText, MalformedUtf8) {
    struct Case {
        const char* utf8;
        const char* ansi;
    } cases[] = {
        {"\xE2"
         "A",
         "?A"},                   // cut-off sequence keeps what follows
        {"a\xC3", "a?"},          // cut off at the end
        {"\xC1\xA9", "??"},       // overlong 'i'
        {"\xED\xA0\x80", "???"},  // surrogate
        {"\xFF\x80"
         "b",
         "??b"},                      // no lead byte, stray continuation
        {"\xF0\x9F\x98\x80!", "?!"},  // beyond the BMP
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToWin1252(c.utf8), c.ansi) << c.utf8;
}

TEST(DateConversion, Rules) {
    const TRegionalSettings br;
    const TRegionalSettings us{"M/d/yyyy", '/', ':'};
    const TRegionalSettings iso{"yyyy-MM-dd", '-', ':'};
    const TRegionalSettings dots{"dd.MM.yyyy", '.', ':'};
    struct Case {
        const char* text;
        const TRegionalSettings* settings;
        std::optional<TDate> expected;
    } cases[] = {
        {"01/02/2018", &br, TDate{2018, 2, 1}},
        {" 01 / 02 / 2018   ", &br, TDate{2018, 2, 1}},
        {"01/02/2018/", &br, TDate{2018, 2, 1}},
        {"01/02/2018//", &br, std::nullopt},
        {"01/02/18", &br, TDate{2018, 2, 1}},
        {"01/02/80", &br, TDate{1980, 2, 1}},
        {"01/02/75", &br, TDate{2075, 2, 1}},
        {"1/2", &br, TDate{2026, 2, 1}},
        {"1/2/", &br, TDate{2026, 2, 1}},
        {"2018/02/01", &br, std::nullopt},  // day 2018
        {"00001/02/2018", &br, TDate{2018, 2, 1}},
        {"10000/02/2018", &br, std::nullopt},
        {"31/02/2018", &br, std::nullopt},
        {"29/02/2016", &br, TDate{2016, 2, 29}},
        {"29/02/2100", &br, std::nullopt},
        {"01.02.2018", &br, std::nullopt},
        {"01/02/2018x", &br, std::nullopt},
        {"", &br, std::nullopt},
        {"   ", &br, std::nullopt},
        {"01/02/2018", &us, TDate{2018, 1, 2}},
        {"15/03/2018", &us, std::nullopt},
        {"2018-02-01", &iso, TDate{2018, 2, 1}},
        {"02-01", &iso, TDate{2026, 2, 1}},
        {"01.02.2018", &dots, TDate{2018, 2, 1}},
        {"01/02/2018", &dots, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StrToDate(c.text, *c.settings, 2026), c.expected) << c.text;
    // The two-digit window moves with the current year.
    EXPECT_EQ(StrToDate("01/02/18", br, 2068), (TDate{2018, 2, 1}));
    EXPECT_EQ(StrToDate("01/02/18", br, 2069), (TDate{2118, 2, 1}));
}

}  // namespace
