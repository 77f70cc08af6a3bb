// The console view over swappable streams: the progress line as a terminal
// of a given width shows it, plain lines without a terminal, the question and
// the messages.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/ConsoleView.h"

using namespace cep;

namespace {

const std::string kStaging = "Importando dados para tabela tempor\xE1ria...";  // temporária
const std::string kIndexesOff = "Desativando indices...";

// Columns of UTF-8 text on a terminal.
int Columns(const std::string& utf8) {
    int n = 0;
    for (char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

struct TConsole {
    explicit TConsole(bool interactive, std::optional<bool> answer = {}, std::string input = {},
                      int width = 100)
        : FIn(std::move(input)),
          FView(FOut, FIn, interactive, answer, [this] { return FColumns; }),
          FColumns(width) {}
    std::ostringstream FOut;
    std::istringstream FIn;
    TConsoleView FView;
    int FColumns;
};

TEST(ConsoleView, ProgressLineFitsTheTerminal) {
    const struct Case {
        int columns;
        const char* expected;  // the whole line, UTF-8
    } cases[] = {
        // The staging load with its estimate: a 30-column bar does not fit 100.
        {100,
         "Importando dados para tabela tempor\xC3\xA1ria... [############------------]  50% "
         "Tempo restante: 00:01:40"},
        {120,
         "Importando dados para tabela tempor\xC3\xA1ria... [###############---------------]"
         "  50% Tempo restante: 00:01:40"},
        // Narrower: the shortest bar, then none, then a shorter stage text.
        {86,
         "Importando dados para tabela tempor\xC3\xA1ria... [#####-----]  50% Tempo restante: "
         "00:01:40"},
        {82, "Importando dados para tabela tempor\xC3\xA1ria...  50% Tempo restante: 00:01:40"},
        {72, "Importando dados para tabela tempor\xC3\xA1ri...  50% Tempo restante: 00:01:40"},
        {50, "Importando dados...  50% Tempo restante: 00:01:40"},
        {20, "  50% Tempo restant"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columns);
        TConsole console(true, {}, {}, c.columns);
        console.FView.SetStatus(kStaging);
        console.FView.SetProgressMax(1000);
        console.FView.SetProgressPosition(500);
        console.FView.SetRemaining("Tempo restante: 00:01:40");
        const std::string line = console.FView.ProgressLine(c.columns);
        EXPECT_EQ(line, c.expected);
        EXPECT_LE(Columns(line), c.columns - 1);
    }
}

TEST(ConsoleView, RedrawsInPlaceAndHidesAnotherStagesEstimate) {
    TConsole console(true);
    console.FView.SetStatus(kStaging);
    console.FView.SetRemaining("Tempo restante: 00:01:40");
    console.FView.Repaint();
    console.FView.SetStatus(kIndexesOff);
    console.FView.Repaint();
    console.FView.Finish();
    const std::string out = console.FOut.str();
    // Two draws of one line, each from its start; one line end, at the finish.
    EXPECT_EQ(out.find("\r\x1B[K"), 0u);
    EXPECT_NE(out.find("\r\x1B[K" + kIndexesOff.substr(0, 10)), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    // The stage that switches the indexes shows no estimate of its own.
    const std::string last = out.substr(out.rfind("\r\x1B[K"));
    EXPECT_EQ(last.find("Tempo restante"), std::string::npos) << last;
}

TEST(ConsoleView, PlainLinesWithoutATerminal) {
    TConsole console(false);
    console.FView.SetStatus(kStaging);
    console.FView.SetProgressMax(100);
    console.FView.Repaint();
    for (int position = 1; position <= 12; ++position) {
        console.FView.SetProgressPosition(position);
        console.FView.SetRemaining("Tempo restante: 00:00:0" + std::to_string(position % 10));
        console.FView.Repaint();
    }
    EXPECT_EQ(console.FOut.str(),
              "Importando dados para tabela tempor\xC3\xA1ria...\n"
              "    0% Tempo restante: 00:00:01\n"
              "    5% Tempo restante: 00:00:05\n"
              "   10% Tempo restante: 00:00:00\n");
}

TEST(ConsoleView, QuestionAndMessages) {
    const std::string question =
        "Sobrep\xF5"
        "e?";
    const struct Case {
        bool interactive;
        std::optional<bool> answer;
        const char* input;
        bool expected;
    } cases[] = {
        {true, {}, "s\n", true},   {true, {}, "S\n", true},   {true, {}, "y\n", true},
        {true, {}, "n\n", false},  {true, {}, "\n", false},   {true, {}, "", false},
        {true, true, "n\n", true}, {false, {}, "s\n", false}, {false, true, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TConsole console(c.interactive, c.answer, c.input);
        EXPECT_EQ(console.FView.AskYesNo(question), c.expected);
        EXPECT_EQ(console.FOut.str().rfind("Sobrep\xC3\xB5"
                                           "e?",
                                           0),
                  0u)
            << console.FOut.str();
    }

    TConsole console(false);
    console.FView.ShowError("Erro na cria\xE7\xE3o da tabela tempor\xE1ria.", "no permission");
    console.FView.ShowMessage("linha 1\rlinha 2");
    EXPECT_EQ(console.FOut.str(),
              "Erro: Erro na cria\xC3\xA7\xC3\xA3o da tabela tempor\xC3\xA1ria.\n"
              "  no permission\n"
              "linha 1\nlinha 2\n");
}

}  // namespace
