// The full run of the carried release against the least the engine needs for
// the same work, measured in one run, alternating, on fresh sample databases:
//
//   bench_release [--tcp] [--rounds N] [--dir DIR]
//
// For each round: the floor (a minimal program over the same engine: one
// prepared EXECUTE BLOCK of 50 INSERTs per call into the staging table,
// committed every 20,000 records; both secondary indexes switched off; one
// MERGE; the staging table dropped and the indexes switched on), then the
// program's whole run (RunImport, as the command line makes it); then both
// again over the TAB_CEP they filled (the same release a second time). Each
// run is a child process of its own, so that its peak memory is its own.
// --tcp runs both against a private server on 127.0.0.1 (tools/fbserver.sh).

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/RecordLayout.h"
#include "common/TextFile.h"
#include "database/Indexes.h"
#include "database/MergeStatement.h"
#include "database/StagingTable.h"
#include "database/TableShape.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/ImportRun.h"
#include "import/StagingLoad.h"
#include "resources/EmbeddedDataSets.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

using TSteady = std::chrono::steady_clock;

TConnectionParams Sysdba(const std::string& database) {
    return {{"SERVER NAME=" + database, "USER NAME=SYSDBA", "PASSWORD=corvinale"}};
}

double Since(TSteady::time_point start) {
    return std::chrono::duration<double>(TSteady::now() - start).count();
}

// The least the engine needs: the staging load, the merge, the drop and the
// indexes, nothing else.
void Floor(const std::string& database, const std::string& cepFile) {
    auto phase = TSteady::now();
    auto lap = [&](const char* name) {
        std::fprintf(stderr, "    %-46s %6.2f s\n", name, Since(phase));
        phase = TSteady::now();
    };
    auto connection = CreateFirebirdConnection();
    connection->OpenConnection(Sysdba(database));
    auto query = connection->CreateQuery();
    query->RunStatement(kCreateStaging);

    auto load = connection->StartTransaction();
    auto batch = connection->Prepare(BuildBatchInsert(kStagingRecordsPerCall), *load);
    TTextReader reader(cepFile);
    std::vector<std::string> lines(kStagingRecordsPerCall);
    std::vector<std::string_view> values;
    int count = 0, inCall = 0;
    auto send = [&](int records) {
        values.clear();
        for (int r = 0; r < records; ++r)
            for (const TCepField& field : CepFieldLayout)
                values.push_back(FieldText(lines[r], field.Position(), field.Length()));
        if (records == kStagingRecordsPerCall) {
            batch->Execute(*load, values);
        } else {
            auto one = connection->Prepare(BuildBatchInsert(1), *load);
            for (int r = 0; r < records; ++r)
                one->Execute(*load, std::vector<std::string_view>(values.begin() + r * 7,
                                                                  values.begin() + r * 7 + 7));
        }
    };
    while (!reader.AtEnd()) {
        reader.ReadLine(lines[inCall]);
        ++count;
        if (++inCall == kStagingRecordsPerCall) {
            send(inCall);
            inCall = 0;
            if (count % kStagingRecordsPerCommit == 0) {
                load->Commit();
                load = connection->StartTransaction();
            }
        }
    }
    send(inCall);
    batch.reset();  // a statement kept prepared keeps the table in use
    load->Commit();
    lap("floor: staging load");

    SwitchIndexes(*query, false);
    auto merge = connection->StartTransaction();
    auto inMerge = connection->CreateQuery(merge.get());
    const std::vector<std::string> columns = TableColumns(*query, "TAB_CEP_TEMP");
    inMerge->RunStatement(BuildMergeStatement("TAB_CEP_TEMP", "TAB_CEP", "NU_CEP", columns));
    lap("floor: indexes off, merge");
    inMerge->RunStatement("DROP TABLE TAB_CEP_TEMP");
    SwitchIndexes(*inMerge, true);
    inMerge.reset();
    merge->Commit();
    lap("floor: drop, indexes on, commit");
}

// Keeps quiet, but for the time each stage took (on standard error).
class TQuietView final : public TStatusPanel {
  public:
    TQuietView() : FStart(TSteady::now()) {}
    ~TQuietView() override { Stage(); }
    void StageChanging() override { Stage(); }
    void Repaint() override {}
    void ProcessMessages() override {}
    void ShowError(const std::string& text, const std::string& detail) override {
        std::fprintf(stderr, "error: %s %s\n", text.c_str(), detail.c_str());
    }
    void ShowInformation(const std::string&) override {}
    void ShowMessage(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool AskYesNo(const std::string&) override { return true; }

  private:
    void Stage() {
        std::fprintf(stderr, "    %-46s %6.2f s\n",
                     Status().empty() ? "(connect, check, write out)" : Status().c_str(),
                     Since(FStart));
        FStart = TSteady::now();
    }
    TSteady::time_point FStart;
};

void Program(const std::string& database, const std::string& workDir) {
    TQuietView view;
    auto connection = CreateFirebirdConnection();
    TRunContext run(*connection, view, workDir);
    const TRunResult result = RunImport(run, database, EmbeddedDataSets());
    connection->CloseConnection();
    if (!result.applied) {
        std::fprintf(stderr, "run not applied: %s %s\n", result.message.c_str(),
                     result.detail.c_str());
        std::exit(1);
    }
}

struct TTiming {
    double seconds = 0;
    double megabytes = 0;  // peak resident memory of the child
};

// Runs `work` in a child process: its wall time and its peak memory.
TTiming InChild(const std::function<void()>& work) {
    const auto start = TSteady::now();
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        ShutdownFirebird();
        std::_Exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    TTiming timing{Since(start), usage.ru_maxrss / 1024.0};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a measured run failed\n");
        std::exit(1);
    }
    return timing;
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    bool tcp = false;
    int rounds = 2;
    std::string dir = "/tmp/bench_release";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tcp")
            tcp = true;
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (arg == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_release [--tcp] [--rounds N] [--dir DIR]\n");
            return 64;
        }
    }
    const std::string tools = std::string(CEP_SOURCE_DIR) + "/tools/";
    fs::remove_all(dir);
    fs::create_directories(dir + "/work");
    std::string prefix = dir + "/";
    if (tcp) {
        if (Shell(tools + "fbserver.sh start " + dir + "/server >/dev/null") != 0)
            return 1;
        std::ifstream portFile(dir + "/server/port");
        std::string port;
        portFile >> port;
        prefix = "127.0.0.1/" + port + ":" + dir + "/server/db/";
    }
    const std::string cepFile = dir + "/Temp.txt";
    EmbeddedDataSets().Extract(kTabCep, cepFile);

    std::map<std::string, std::vector<double>> seconds, memory;
    auto measure = [&](const std::string& name, const std::function<void()>& work) {
        const TTiming t = InChild(work);
        seconds[name].push_back(t.seconds);
        memory[name].push_back(t.megabytes);
        std::printf("  %-18s %7.2f s  %6.1f MB\n", name.c_str(), t.seconds, t.megabytes);
        std::fflush(stdout);
    };
    for (int round = 1; round <= rounds; ++round) {
        std::printf("round %d (%s)\n", round, tcp ? "TCP" : "embedded");
        const std::string floorDb = prefix + "floor.fdb";
        const std::string programDb = prefix + "program.fdb";
        for (const std::string& db : {floorDb, programDb})
            if (Shell(tools + "make-sample-db.sh --force '" + db + "' >/dev/null") != 0)
                return 1;
        measure("floor", [&] { Floor(floorDb, cepFile); });
        measure("program", [&] { Program(programDb, dir + "/work/"); });
        measure("floor, again", [&] { Floor(floorDb, cepFile); });
        measure("program, again", [&] { Program(programDb, dir + "/work/"); });
    }
    std::printf("\n%s, median of %d rounds     floor    program   ratio   program peak\n",
                tcp ? "TCP" : "embedded", rounds);
    for (const char* run : {"", ", again"}) {
        const double floor = Median(seconds[std::string("floor") + run]);
        const double program = Median(seconds[std::string("program") + run]);
        std::printf("  %-26s %7.2f s  %7.2f s  %5.2f   %6.1f MB\n",
                    *run ? "same release again" : "full release", floor, program, program / floor,
                    Median(memory[std::string("program") + run]));
    }
    if (tcp)
        Shell(tools + "fbserver.sh stop " + dir + "/server >/dev/null");
    fs::remove(cepFile);
    return 0;
}
