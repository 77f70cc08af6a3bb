// cep-atualiza: runs one update of the postal-code and municipality tables on
// a database, headless, with the same stages and texts as the window.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "cli/CommandLine.h"
#include "cli/ConsoleView.h"
#include "common/AnsiText.h"
#include "common/FileSize.h"
#include "common/WorkDir.h"
#include "database/Release.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/ImportRun.h"
#include "resources/EmbeddedDataSets.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

const char kUsage[] =
    "Uso: cep-atualiza [opções] BANCO...\n"
    "\n"
    "Atualiza a tabela de CEP (TAB_CEP) e a de municípios (TAB_MUNI) de cada\n"
    "banco Firebird BANCO com a versão de dados que o programa carrega, um\n"
    "depois do outro, cada um por si: a falha de um não impede o seguinte.\n"
    "\n"
    "BANCO é um arquivo local (/caminho/banco.fdb) ou servidor:caminho\n"
    "(servidor/porta:caminho para outra porta).\n"
    "\n"
    "Opções:\n"
    "  --yes, --no        resposta à pergunta sobre sobrepor a mesma versão, para\n"
    "                     todos os bancos (sem terminal e sem uma delas: não)\n"
    "  --work-dir DIR     pasta dos arquivos temporários (padrão: a do programa,\n"
    "                     se ele não estiver instalado e ela puder ser gravada;\n"
    "                     senão ~/.cache/cep-atualiza)\n"
    "  --release-dir DIR  usa TABCEP.txt, TABMUNI.txt e, se houver, TABCEPEXC.txt\n"
    "                     de DIR em vez dos dados embutidos no programa\n"
    "  --json             o resultado de cada banco em JSON na saída padrão, em\n"
    "                     vez do resumo\n"
    "  --version          versão do programa e data dos dados que ele carrega\n"
    "  --help             esta ajuda\n"
    "\n"
    "Com mais de um banco, uma tabela no fim dá o resultado, os registros e o\n"
    "tempo de cada um.\n"
    "\n"
    "Ctrl-C (ou SIGTERM) pede o cancelamento; a execução em andamento para como\n"
    "pelo botão Cancela, sem aplicar nada, e os bancos seguintes não são\n"
    "atualizados. Um segundo Ctrl-C encerra o programa na hora; o banco fica com a\n"
    "versão anterior ou com a nova, inteira.\n"
    "\n"
    "Código de saída (com vários bancos, o do pior resultado): 0 concluído;\n"
    "1 \"Erro de acesso ao BD\"; 2 \"Erro no processo\"; 3 parado sem aplicar nada\n"
    "(sem TAB_CEP, versão anterior, resposta não, outra atualização em andamento no\n"
    "banco); 4 cancelado, nada aplicado; 5 concluído, mas com registros rejeitados;\n"
    "64 argumento inválido. Do melhor ao pior: 0, 5, 3, 4, 1, 2.\n";

// The cancel request of the run under way, and whether the command was
// asked to stop: the databases after it are then left alone.
std::atomic<std::atomic<bool>*> gCancel{nullptr};
std::atomic<bool> gStopAll{false};

// Ctrl-C and SIGTERM are blocked in every thread and taken by one thread of
// our own: the database engine's threads, which inherit the mask, must not
// act on them (the engine would shut its connections down), and the run only
// has to see its cancel request.
void WatchSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        bool asked = false;
        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) != 0)
                continue;
            // A second request ends the program at once: the release is
            // applied by one commit, so the database keeps either the old
            // release or the new one, whole.
            if (asked) {
                static const char kBye[] = "\ncep-atualiza: interrompido.\n";
                [[maybe_unused]] const ssize_t written =
                    write(STDERR_FILENO, kBye, sizeof kBye - 1);
                _exit(kExitCancelled);
            }
            gStopAll.store(true);
            if (std::atomic<bool>* cancel = gCancel.load())
                cancel->store(true);
            asked = true;
        }
    }).detach();
}

// What a run has to say besides its summary, on standard error.
void Report(const TRunResult& result) {
    if (!result.detail.empty())
        std::fprintf(stderr, "%s\n", DisplayUtf8(result.detail).c_str());
    for (const std::string& note : result.notes)
        std::fprintf(stderr, "%s\n", DisplayUtf8(note).c_str());
    if (result.applied) {
        const TMoveCounts& merge = result.merge;
        std::fprintf(stderr, "Registros novos: %d; alterados: %d; iguais: %d.\n", merge.inserted,
                     merge.updated, merge.source - merge.inserted - merge.updated);
    }
    std::fprintf(stderr, "%s\n", DisplayUtf8(DatabaseStateText(result)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    WatchSignals();  // before the engine starts any thread
    TOptions options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitCompleted;
    }
    if (options.version) {
        std::printf("cep-atualiza %s (dados de %s)\n", CEP_FILE_VERSION, ReleaseDate);
        return kExitCompleted;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "cep-atualiza: %s\n\n%s", options.error.c_str(), kUsage);
        return kExitUsage;
    }
    std::string workDir = options.workDir;
    if (!workDir.empty() && !fs::is_directory(workDir)) {
        std::fprintf(stderr, "cep-atualiza: pasta inexistente: %s\n", workDir.c_str());
        return kExitUsage;
    }
    if (workDir.empty()) {
        try {
            workDir = DefaultWorkDir(ExecutableDir());
        } catch (const TInOutError& error) {
            std::fprintf(stderr, "cep-atualiza: sem pasta de trabalho: %s\n", error.what());
            return kExitProcess;
        }
    }
    std::unique_ptr<TDataSetSource> folder;
    if (!options.releaseDir.empty()) {
        auto source = std::make_unique<TFolderDataSetSource>(options.releaseDir);
        if (!source->Contains(kTabCep) || !source->Contains(kTabMuni)) {
            std::fprintf(stderr, "cep-atualiza: %s não tem TABCEP.txt e TABMUNI.txt\n",
                         options.releaseDir.c_str());
            return kExitUsage;
        }
        folder = std::move(source);
    }
    const TDataSetSource& dataSets =
        folder ? *folder : static_cast<const TDataSetSource&>(EmbeddedDataSets());

    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (!options.answer && isatty(STDIN_FILENO) == 0)
        options.answer = false;
    TConsoleView view(std::cerr, std::cin, terminal, options.answer,
                      [] { return TerminalColumns(STDERR_FILENO); });
    std::unique_ptr<TConnection> connection = CreateFirebirdConnection();
    TRunContext run(*connection, view, WithSeparator(workDir));
    gCancel = &run.FCancelRequested;

    std::vector<TDatabaseRun> runs;
    const bool several = options.databases.size() > 1;
    for (const std::string& database : options.databases) {
        runs.push_back({database, std::nullopt});
        if (gStopAll.load())
            continue;  // cancelled before its turn
        if (several)
            std::fprintf(stderr, "== %s\n", database.c_str());
        runs.back().result = RunImport(run, database, dataSets);
        view.Finish();
        const TRunResult& result = *runs.back().result;
        Report(result);
        if (!options.json) {
            std::fprintf(stdout, "%s%s\n", several ? (database + ": ").c_str() : "",
                         DisplayUtf8(result.message).c_str());
            std::fflush(stdout);
        }
    }
    gCancel = nullptr;
    connection->CloseConnection();
    ShutdownFirebird();
    if (options.json)
        std::fputs(OutcomeJson(runs).c_str(), stdout);
    else if (several)
        std::fprintf(stdout, "\n%s", OutcomeTable(runs).c_str());
    std::fflush(stdout);
    return ExitCodeOf(runs);
}
