#include "cli/CommandLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/ConsoleView.h"
#include "common/AnsiText.h"
#include "common/TimeOfDay.h"

namespace cep {

namespace {

// What an outcome means: its name for scripts, its text in the table and
// the exit status it gives.
struct TOutcomeRow {
    const char* name;
    const char* text;  // UTF-8
    int exitCode;
};

TOutcomeRow RowOf(TRunOutcome outcome) {
    switch (outcome) {
        case TRunOutcome::Completed:
            return {"completed",
                    "conclu\xC3\xAD"
                    "do",
                    kExitCompleted};  // concluído
        case TRunOutcome::CompletedRefused:
            return {"completed-refused",
                    "conclu\xC3\xAD"
                    "do, com rejeitados",
                    kExitRefused};
        case TRunOutcome::AccessError:
            return {"access-error", "erro de acesso ao BD", kExitAccess};
        case TRunOutcome::ProcessError:
            break;
        case TRunOutcome::Stopped:
            return {"stopped", "parado, nada aplicado", kExitStopped};
        case TRunOutcome::Cancelled:
            return {"cancelled", "cancelado", kExitCancelled};
    }
    return {"process-error", "erro no processo", kExitProcess};
}

// A database whose turn never came counts as cancelled.
TOutcomeRow RowOf(const std::optional<TRunResult>& result) {
    return result ? RowOf(result->outcome)
                  : TOutcomeRow{"skipped", "n\xC3\xA3o executado", kExitCancelled};  // não
}

// From the best exit status to the worst.
constexpr int kSeverity[] = {kExitCompleted, kExitRefused, kExitStopped,
                             kExitCancelled, kExitAccess,  kExitProcess};

int SeverityOf(int code) {
    return static_cast<int>(std::find(std::begin(kSeverity), std::end(kSeverity), code) -
                            std::begin(kSeverity));
}

std::string Padded(const std::string& utf8, int columns) {
    const int taken = Utf8Columns(utf8);
    return taken >= columns ? utf8
                            : utf8 + std::string(static_cast<std::size_t>(columns - taken), ' ');
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
    return RowOf(outcome).exitCode;
}

int ExitCodeOf(const std::vector<TDatabaseRun>& runs) {
    int worst = kExitCompleted;
    for (const TDatabaseRun& run : runs) {
        const int code = RowOf(run.result).exitCode;
        if (SeverityOf(code) > SeverityOf(worst))
            worst = code;
    }
    return worst;
}

std::string OutcomeTable(const std::vector<TDatabaseRun>& runs) {
    const std::string headings[] = {"Banco de dados", "Resultado", "Registros", "Tempo"};
    int databaseWidth = Utf8Columns(headings[0]);
    int outcomeWidth = Utf8Columns(headings[1]);
    for (const TDatabaseRun& run : runs) {
        databaseWidth = std::max(databaseWidth, Utf8Columns(run.database));
        outcomeWidth = std::max(outcomeWidth, Utf8Columns(RowOf(run.result).text));
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
        table += row(run.database, RowOf(run.result).text, records, time);
    }
    return table;
}

std::string OutcomeJson(const std::vector<TDatabaseRun>& runs) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const TDatabaseRun& run : runs) {
        nlohmann::ordered_json entry;
        entry["database"] = run.database;
        const TOutcomeRow row = RowOf(run.result);
        entry["outcome"] = row.name;
        entry["exitCode"] = row.exitCode;
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
            entry["message"] = DisplayUtf8(r.message);
            entry["error"] = r.isError ? DisplayUtf8(r.message) : std::string();
            entry["detail"] = DisplayUtf8(r.detail);
            nlohmann::ordered_json notes = nlohmann::ordered_json::array();
            for (const std::string& note : r.notes)
                notes.push_back(DisplayUtf8(note));
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
