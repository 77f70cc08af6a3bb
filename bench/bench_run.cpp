// Times a whole import run stage by stage, and the bare cost of sending the
// same staging statements in a minimal loop over the same engine.
//
//   bench_run [--release-dir DIR] [--bare-loop] DATABASE
//
// DATABASE must be a fresh sample database (tools/make-sample-db.sh); the run
// answers Yes when the release is already recorded.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/AnsiText.h"
#include "common/TextFile.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/DataSets.h"
#include "import/ImportRun.h"
#include "import/StagingLoad.h"
#include "resources/EmbeddedDataSets.h"

using namespace cep;
using TSteadyClock = std::chrono::steady_clock;

namespace {

double Seconds(TSteadyClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long PeakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Notes the moment each stage text appears.
class TTimingView final : public TStatusPanel {
  public:
    struct TStage {
        std::string name;
        TSteadyClock::time_point start;
    };
    std::vector<TStage> FStages;

    void SetStatus(const std::string& text) override {
        TStatusPanel::SetStatus(text);
        FStages.push_back({text.empty() ? "(end)" : Win1252ToUtf8(text), TSteadyClock::now()});
    }
    void Repaint() override {}
    void ProcessMessages() override {}
    void ShowError(const std::string& t, const std::string& detail) override {
        std::printf("error: %s %s\n", t.c_str(), detail.c_str());
    }
    void ShowInformation(const std::string&) override {}
    void ShowMessage(const std::string& t, const std::string&) override {
        std::printf("message: %s\n", t.c_str());
    }
    bool AskYesNo(const std::string&) override { return true; }
};

TConnectionParams Sysdba(const std::string& database) {
    return {{"SERVER NAME=" + database, "USER NAME=SYSDBA", "PASSWORD=corvinale"}};
}

// The staging statements alone: extract, then one INSERT per record in
// groups of the staging load's size, nothing else.
void BareLoop(const std::string& database, const TDataSetSource& dataSets) {
    const std::string file = "/tmp/bench_run_Temp.txt";
    dataSets.Extract(kTabCep, file);
    auto connection = CreateFirebirdConnection();
    connection->OpenConnection(Sysdba(database));
    auto query = connection->CreateQuery();
    query->RunStatement(
        "CREATE TABLE BENCH_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
        "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(60), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
        "ID_PAF CHAR(8))");
    connection->CloseConnection();
    connection->OpenConnection(Sysdba(database));
    const auto start = TSteadyClock::now();
    TTextReader reader(file);
    std::string line;
    int count = 0;
    auto work = connection->StartTransaction();
    auto insert = connection->CreateQuery(work.get());
    while (!reader.AtEnd()) {
        reader.ReadLine(line);
        std::string sql = BuildInsert(line);
        sql.replace(12, 12, "BENCH_TEMP");  // "TAB_CEP_TEMP" -> "BENCH_TEMP"
        insert->RunStatement(sql);
        if (++count % kStagingRecordsPerCommit == 0) {
            insert.reset();
            work->Commit();
            work = connection->StartTransaction();
            insert = connection->CreateQuery(work.get());
        }
    }
    insert.reset();
    work->Commit();
    const double seconds = Seconds(TSteadyClock::now() - start);
    std::printf("bare loop: %d INSERT statements in %.1f s (%.0f/s)\n", count, seconds,
                count / seconds);
    query->RunStatement("DROP TABLE BENCH_TEMP");
    std::remove(file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string database, releaseDir;
    bool bare = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--release-dir" && i + 1 < argc)
            releaseDir = argv[++i];
        else if (arg == "--bare-loop")
            bare = true;
        else
            database = arg;
    }
    if (database.empty()) {
        std::fprintf(stderr, "usage: bench_run [--release-dir DIR] [--bare-loop] DATABASE\n");
        return 64;
    }
    std::unique_ptr<TDataSetSource> folder;
    if (!releaseDir.empty())
        folder = std::make_unique<TFolderDataSetSource>(releaseDir);
    const TDataSetSource& dataSets =
        folder ? *folder : static_cast<const TDataSetSource&>(EmbeddedDataSets());

    TTimingView view;
    auto connection = CreateFirebirdConnection();
    TRunContext run(*connection, view, "/tmp/");
    const auto start = TSteadyClock::now();
    const TRunResult result = RunImport(run, database, dataSets);
    const auto end = TSteadyClock::now();
    connection->CloseConnection();

    std::printf("outcome: %s\n", Win1252ToUtf8(result.message).c_str());
    auto previous = start;
    std::string previousName = "connect, prepare, check, write data sets";
    for (const auto& stage : view.FStages) {
        std::printf("%-48s %7.2f s\n", previousName.c_str(), Seconds(stage.start - previous));
        previous = stage.start;
        previousName = stage.name;
    }
    std::printf("%-48s %7.2f s\n", "whole run", Seconds(end - start));
    std::printf("peak memory (max RSS): %.1f MB\n", PeakMemoryKiB() / 1024.0);
    if (bare)
        BareLoop(database, dataSets);
    return result.outcome == TRunOutcome::Completed ? 0 : 1;
}
