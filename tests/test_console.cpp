// The console view over swappable streams: the progress line as a terminal
// of a given width shows it, plain lines without a terminal, the question and
// the messages.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CommandLine.h"
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

TEST(CommandLine, Options) {
    const struct Case {
        std::vector<std::string> args;
        std::vector<std::string> databases;
        std::optional<bool> answer;
        bool json;
        std::string error;
    } cases[] = {
        {{"a.fdb"}, {"a.fdb"}, {}, false, ""},
        {{"--yes", "a.fdb", "srv/3051:/b.fdb", "--json"},
         {"a.fdb", "srv/3051:/b.fdb"},
         true,
         true,
         ""},
        {{"--no", "--work-dir", "/w", "--release-dir", "/r", "a"}, {"a"}, false, false, ""},
        {{"--", "-strange.fdb"}, {"-strange.fdb"}, {}, false, ""},
        {{}, {}, {}, false, "nenhum banco de dados"},
        {{"--work-dir"}, {}, {}, false, "falta a pasta depois de --work-dir"},
        {{"--frobnicate", "a"}, {}, {}, false, "argumento inv\xC3\xA1lido: --frobnicate"},
    };
    for (const Case& c : cases) {
        const TOptions options = ParseOptions(c.args);
        EXPECT_EQ(options.error, c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(options.databases, c.databases);
        EXPECT_EQ(options.answer, c.answer);
        EXPECT_EQ(options.json, c.json);
    }
    EXPECT_TRUE(ParseOptions({"--help"}).error.empty());
    EXPECT_EQ(ParseOptions({"--work-dir", "/w", "--release-dir", "/r", "x"}).releaseDir, "/r");
}

// A run's result with only what the command line reads of it.
TDatabaseRun Ran(const std::string& database, TRunOutcome outcome, int32_t moved = 0) {
    TRunResult result;
    result.outcome = outcome;
    result.moved = moved;
    result.applied = outcome == TRunOutcome::Completed || outcome == TRunOutcome::CompletedRefused;
    result.isError = outcome == TRunOutcome::AccessError || outcome == TRunOutcome::ProcessError;
    result.message = result.isError ? "Erro de acesso ao BD" : "1 Registros atualizados.";
    result.seconds = 3723;
    return {database, result};
}

TEST(CommandLine, TheWorstOutcomeDecidesTheExitStatus) {
    using O = TRunOutcome;
    const struct Case {
        std::vector<TDatabaseRun> runs;
        int expected;
    } cases[] = {
        {{Ran("a", O::Completed)}, 0},
        {{Ran("a", O::Completed), Ran("b", O::CompletedRefused)}, 5},
        {{Ran("a", O::CompletedRefused), Ran("b", O::Stopped)}, 3},
        {{Ran("a", O::Stopped), Ran("b", O::Cancelled)}, 4},
        {{Ran("a", O::Cancelled), {"b", std::nullopt}}, 4},  // skipped after a cancel
        {{Ran("a", O::AccessError), Ran("b", O::Cancelled), Ran("c", O::Completed)}, 1},
        {{Ran("a", O::AccessError), Ran("b", O::ProcessError)}, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExitCodeOf(c.runs), c.expected);
}

TEST(CommandLine, TableAndJson) {
    const std::vector<TDatabaseRun> runs = {
        Ran("/srv/lumexbd.fdb", TRunOutcome::Completed, 1054501),
        Ran("127.0.0.1/1:/none.fdb", TRunOutcome::AccessError),
        {"/srv/vortanbd.fdb", std::nullopt},
    };
    EXPECT_EQ(OutcomeTable(runs),
              "Banco de dados         Resultado              Registros     Tempo\n"
              "/srv/lumexbd.fdb       conclu\xC3\xAD"
              "do                1054501  01:02:03\n"
              "127.0.0.1/1:/none.fdb  erro de acesso ao BD           0  01:02:03\n"
              "/srv/vortanbd.fdb      n\xC3\xA3o executado                  -         -\n");

    const nlohmann::json json = nlohmann::json::parse(OutcomeJson(runs));
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["database"], "/srv/lumexbd.fdb");
    EXPECT_EQ(json[0]["outcome"], "completed");
    EXPECT_EQ(json[0]["exitCode"], 0);
    EXPECT_EQ(json[0]["applied"], true);
    EXPECT_EQ(json[0]["recordsUpdated"], 1054501);
    EXPECT_EQ(json[0]["seconds"], 3723);
    EXPECT_EQ(json[0]["error"], "");
    EXPECT_EQ(json[1]["outcome"], "access-error");
    EXPECT_EQ(json[1]["exitCode"], 1);
    EXPECT_EQ(json[1]["error"], "Erro de acesso ao BD");
    EXPECT_EQ(json[2]["outcome"], "skipped");
    EXPECT_EQ(json[2]["applied"], false);
}

}  // namespace
