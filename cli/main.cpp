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

#include "cli/ConsoleView.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/ImportRun.h"
#include "resources/EmbeddedDataSets.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

const char kUsage[] =
    "Uso: cep-atualiza [opções] BANCO\n"
    "\n"
    "Atualiza a tabela de CEP (TAB_CEP) e a de municípios (TAB_MUNI) do banco\n"
    "Firebird BANCO com a versão de dados que o programa carrega.\n"
    "\n"
    "BANCO         um arquivo local (/caminho/banco.fdb) ou servidor:caminho\n"
    "              (servidor/porta:caminho para outra porta)\n"
    "\n"
    "Opções:\n"
    "  --yes, --no        resposta à pergunta sobre sobrepor a mesma versão\n"
    "                     (sem terminal e sem uma delas: não)\n"
    "  --work-dir DIR     pasta dos arquivos temporários (padrão: a do programa)\n"
    "  --release-dir DIR  usa TABCEP.txt, TABMUNI.txt e, se houver, TABCEPEXC.txt\n"
    "                     de DIR em vez dos dados embutidos no programa\n"
    "  --help             esta ajuda\n"
    "\n"
    "Ctrl-C (ou SIGTERM) pede o cancelamento; a execução para como pelo botão\n"
    "Cancela, sem aplicar nada. Um segundo Ctrl-C encerra o programa na hora; o\n"
    "banco de dados fica com a versão anterior ou com a nova, inteira.\n"
    "\n"
    "Código de saída: 0 concluído; 1 \"Erro de acesso ao BD\"; 2 \"Erro no processo\";\n"
    "3 parado sem aplicar nada (sem TAB_CEP, versão anterior, resposta não, outra\n"
    "atualização em andamento no banco); 4 cancelado, nada aplicado; 5 concluído,\n"
    "mas com registros rejeitados.\n";

// Exit status of the command.
constexpr int kExitCompleted = 0;
constexpr int kExitAccess = 1;
constexpr int kExitProcess = 2;
constexpr int kExitStopped = 3;
constexpr int kExitCancelled = 4;
constexpr int kExitRefused = 5;
constexpr int kExitUsage = 64;

std::atomic<std::atomic<bool>*> gCancel{nullptr};

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
            if (std::atomic<bool>* cancel = gCancel.load()) {
                cancel->store(true);
                asked = true;
            }
        }
    }).detach();
}

std::string ExecutableDir() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path().string() : exe.parent_path().string();
}

std::string WithSeparator(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

int ExitCodeOf(TRunOutcome outcome) {
    switch (outcome) {
        case TRunOutcome::Completed:
            return kExitCompleted;
        case TRunOutcome::CompletedRefused:
            return kExitRefused;
        case TRunOutcome::AccessError:
            return kExitAccess;
        case TRunOutcome::ProcessError:
            return kExitProcess;
        case TRunOutcome::Stopped:
            return kExitStopped;
        case TRunOutcome::Cancelled:
            return kExitCancelled;
    }
    return kExitProcess;
}

}  // namespace

int main(int argc, char** argv) {
    WatchSignals();  // before the engine starts any thread
    std::optional<bool> answer;
    std::string workDir;
    std::string releaseDir;
    std::string database;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitCompleted;
        } else if (arg == "--yes") {
            answer = true;
        } else if (arg == "--no") {
            answer = false;
        } else if ((arg == "--work-dir" || arg == "--release-dir") && i + 1 < argc) {
            (arg == "--work-dir" ? workDir : releaseDir) = argv[++i];
        } else if (arg.rfind("--", 0) == 0 || !database.empty()) {
            std::fprintf(stderr, "cep-atualiza: argumento inválido: %s\n\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        } else {
            database = arg;
        }
    }
    if (database.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!workDir.empty() && !fs::is_directory(workDir)) {
        std::fprintf(stderr, "cep-atualiza: pasta inexistente: %s\n", workDir.c_str());
        return kExitUsage;
    }
    std::unique_ptr<TDataSetSource> folder;
    if (!releaseDir.empty()) {
        auto source = std::make_unique<TFolderDataSetSource>(releaseDir);
        if (!source->Contains(kTabCep) || !source->Contains(kTabMuni)) {
            std::fprintf(stderr, "cep-atualiza: %s não tem TABCEP.txt e TABMUNI.txt\n",
                         releaseDir.c_str());
            return kExitUsage;
        }
        folder = std::move(source);
    }
    const TDataSetSource& dataSets =
        folder ? *folder : static_cast<const TDataSetSource&>(EmbeddedDataSets());

    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (!answer && isatty(STDIN_FILENO) == 0)
        answer = false;
    TConsoleView view(std::cerr, std::cin, terminal, answer,
                      [] { return TerminalColumns(STDERR_FILENO); });
    std::unique_ptr<TConnection> connection = CreateFirebirdConnection();
    TRunContext run(*connection, view, WithSeparator(workDir.empty() ? ExecutableDir() : workDir));
    gCancel = &run.FCancelRequested;

    const TRunResult result = RunImport(run, database, dataSets);
    view.Finish();
    if (!result.detail.empty())
        std::fprintf(stderr, "%s\n", ConsoleText(result.detail).c_str());
    for (const std::string& note : result.notes)
        std::fprintf(stderr, "%s\n", ConsoleText(note).c_str());
    if (result.applied) {
        const TMoveCounts& merge = result.merge;
        std::fprintf(stderr, "Registros novos: %d; alterados: %d; iguais: %d.\n", merge.inserted,
                     merge.updated, merge.source - merge.inserted - merge.updated);
    }
    std::fprintf(stderr, "%s\n",
                 result.applied ? "O banco de dados tem agora a vers\xC3\xA3o de dados do programa."
                                : "O banco de dados n\xC3\xA3o foi alterado.");
    std::fprintf(stdout, "%s\n", ConsoleText(result.message).c_str());
    std::fflush(stdout);
    gCancel = nullptr;
    connection->CloseConnection();
    ShutdownFirebird();
    return ExitCodeOf(result.outcome);
}
