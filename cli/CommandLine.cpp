#include "cli/CommandLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/ConsoleView.h"
#include "common/TimeOfDay.h"

namespace cep {

namespace {

// Exit status of the command.
constexpr int kExitCompleted = 0;
constexpr int kExitAccess = 1;
constexpr int kExitProcess = 2;
constexpr int kExitStopped = 3;
constexpr int kExitCancelled = 4;
constexpr int kExitRefused = 5;

// From the best outcome to the worst.
constexpr int kSeverity[] = {kExitCompleted, kExitRefused, kExitStopped,
                             kExitCancelled, kExitAccess,  kExitProcess};

int SeverityOf(int code) {
    return static_cast<int>(std::find(std::begin(kSeverity), std::end(kSeverity), code) -
                            std::begin(kSeverity));
}

// The outcome as scripts read it, and as the table shows it.
const char* OutcomeName(const std::optional<TRunResult>& result) {
    if (!result)
        return "skipped";
    switch (result->outcome) {
        case TRunOutcome::Completed:
            return "completed";
        case TRunOutcome::CompletedRefused:
            return "completed-refused";
        case TRunOutcome::AccessError:
            return "access-error";
        case TRunOutcome::ProcessError:
            return "process-error";
        case TRunOutcome::Stopped:
            return "stopped";
        case TRunOutcome::Cancelled:
            return "cancelled";
    }
    return "process-error";
}

const char* OutcomeText(const std::optional<TRunResult>& result) {
    if (!result)
        return "n\xC3\xA3o executado";  // não executado
    switch (result->outcome) {
        case TRunOutcome::Completed:
            return "conclu\xC3\xAD"
                   "do";  // concluído
        case TRunOutcome::CompletedRefused:
            return "conclu\xC3\xAD"
                   "do, com rejeitados";
        case TRunOutcome::AccessError:
            return "erro de acesso ao BD";
        case TRunOutcome::ProcessError:
            return "erro no processo";
        case TRunOutcome::Stopped:
            return "parado, nada aplicado";
        case TRunOutcome::Cancelled:
            return "cancelado";
    }
    return "erro no processo";
}

// Columns a UTF-8 text takes.
std::size_t Columns(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Padded(const std::string& utf8, std::size_t columns) {
    const std::size_t taken = Columns(utf8);
    return taken >= columns ? utf8 : utf8 + std::string(columns - taken, ' ');
}

}  // namespace

TOptions ParseOptions(const std::vector<std::string>& args) {
    TOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--yes") {
            options.answer = true;
        } else if (arg == "--no") {
            options.answer = false;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--work-dir" || arg == "--release-dir") {
            if (i + 1 == args.size()) {
                options.error = "falta a pasta depois de " + arg;
                return options;
            }
            (arg == "--work-dir" ? options.workDir : options.releaseDir) = args[++i];
        } else if (arg == "--") {
            options.databases.insert(options.databases.end(), args.begin() + i + 1, args.end());
            break;
        } else if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
            options.error = "argumento inv\xC3\xA1lido: " + arg;  // inválido
            return options;
        } else {
            options.databases.push_back(arg);
        }
    }
    if (options.databases.empty() && !options.help && !options.version)
        options.error = "nenhum banco de dados";
    return options;
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

int ExitCodeOf(const std::vector<TDatabaseRun>& runs) {
    int worst = kExitCompleted;
    for (const TDatabaseRun& run : runs) {
        const int code = run.result ? ExitCodeOf(run.result->outcome) : kExitCancelled;
        if (SeverityOf(code) > SeverityOf(worst))
            worst = code;
    }
    return worst;
}

std::string OutcomeTable(const std::vector<TDatabaseRun>& runs) {
    const std::string headings[] = {"Banco de dados", "Resultado", "Registros", "Tempo"};
    std::size_t databaseWidth = Columns(headings[0]);
    std::size_t outcomeWidth = Columns(headings[1]);
    for (const TDatabaseRun& run : runs) {
        databaseWidth = std::max(databaseWidth, Columns(run.database));
        outcomeWidth = std::max(outcomeWidth, Columns(OutcomeText(run.result)));
    }
    auto row = [&](const std::string& database, const std::string& outcome,
                   const std::string& records, const std::string& time) {
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, "%10s  %8s", records.c_str(), time.c_str());
        return Padded(database, databaseWidth) + "  " + Padded(outcome, outcomeWidth) + "  " +
               numbers + "\n";
    };
    std::string table = row(headings[0], headings[1], headings[2], headings[3]);
    for (const TDatabaseRun& run : runs) {
        const std::string records = run.result ? std::to_string(run.result->moved) : "-";
        const std::string time =
            run.result ? FormatHms(run.result->seconds / 86400.0) : std::string("-");
        table += row(run.database, OutcomeText(run.result), records, time);
    }
    return table;
}

std::string OutcomeJson(const std::vector<TDatabaseRun>& runs) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const TDatabaseRun& run : runs) {
        nlohmann::ordered_json entry;
        entry["database"] = run.database;
        entry["outcome"] = OutcomeName(run.result);
        entry["exitCode"] = run.result ? ExitCodeOf(run.result->outcome) : kExitCancelled;
        if (run.result) {
            const TRunResult& r = *run.result;
            entry["applied"] = r.applied;
            entry["recordsUpdated"] = r.moved;
            entry["recordsNew"] = r.merge.inserted;
            entry["recordsChanged"] = r.merge.updated;
            entry["removed"] = r.deleted;
            entry["refused"] = r.refusedRecords;
            entry["refusedMunicipalities"] = r.refusedMunicipalities;
            entry["seconds"] = std::round(r.seconds * 1000) / 1000;
            entry["message"] = ConsoleText(r.message);
            entry["error"] = r.isError ? ConsoleText(r.message) : std::string();
            entry["detail"] = ConsoleText(r.detail);
            nlohmann::ordered_json notes = nlohmann::ordered_json::array();
            for (const std::string& note : r.notes)
                notes.push_back(ConsoleText(note));
            entry["notes"] = notes;
        } else {
            entry["applied"] = false;
        }
        list.push_back(entry);
    }
    // Invalid UTF-8 in an engine's text must not stop the report.
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace cep
