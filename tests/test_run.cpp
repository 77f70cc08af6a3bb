// Whole import runs against real databases: a small release of the real
// format, embedded and over TCP, completed, declined, cancelled at each bulk
// stage, and with the failures the run must survive without damage.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "database/Merge.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/ImportRun.h"
#include "import/StagingLoad.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

// Records what the run shows and lets a test act at a chosen moment.
class ScriptedView final : public TRunView {
  public:
    void SetStatus(const std::string& text) override {
        status = text;
        if (!text.empty())
            statuses.push_back(text);
    }
    void SetRemaining(const std::string& text) override { remaining = text; }
    void SetProgressMax(int32_t m) override { max = m; }
    int32_t ProgressMax() const override { return max; }
    void SetProgressPosition(int32_t p) override { position = p; }
    int32_t ProgressPosition() const override { return position; }
    void Repaint() override {}
    void ProcessMessages() override {
        ++dispatches[status];
        if (onDispatch)
            onDispatch(*this);
    }
    void ShowError(const std::string& text) override { messages.push_back("E:" + text); }
    void ShowInformation(const std::string& text) override { messages.push_back("I:" + text); }
    void ShowMessage(const std::string& text) override { messages.push_back("M:" + text); }
    bool AskYesNo(const std::string& text) override {
        messages.push_back("Q:" + text);
        return answer;
    }

    std::string status, remaining;
    std::vector<std::string> statuses, messages;
    std::map<std::string, int> dispatches;
    int32_t max = 100, position = 0;
    bool answer = false;
    std::function<void(ScriptedView&)> onDispatch;
    std::atomic<bool>* cancel = nullptr;  // the run's cancel request
};

std::string Pad(const std::string& s, std::size_t n) {
    return (s + std::string(n, ' ')).substr(0, n);
}

struct CepRecord {
    std::string cep, kind, street, district, uf, muni, paf;
    std::string Line() const {
        return Pad(cep, 8) + Pad(kind, 10) + Pad(street, 70) + Pad(district, 60) + Pad(uf, 2) +
               Pad(muni, 5) + Pad(paf, 8) + "  ";
    }
};

// A small release in the data sets' format: `count` postal codes, 40 municipalities.
struct Release {
    std::vector<CepRecord> ceps;
    std::vector<std::string> munis;  // lines

    explicit Release(int count) {
        for (int i = 0; i < 40; ++i)
            munis.push_back(std::to_string(250023 + i * 17) + "CIDADE " +
                            std::string(1, 'A' + i % 26));
        for (int i = 0; i < count; ++i) {
            char cep[9];
            std::snprintf(cep, sizeof cep, "%08d", (i * 7919) % 99999989);
            ceps.push_back({cep, i % 3 ? "R" : "",
                            "RUA " + std::to_string(i) + (i == 7 ? " D'UNA" : ""),
                            i % 5 ? "CENTRO" : "", "SP", munis[i % 40].substr(0, 5), "21200010"});
        }
    }
    void Write(const std::string& dir) const {
        std::ofstream cep(dir + "/TABCEP.txt", std::ios::binary);
        for (const CepRecord& r : ceps)
            cep << r.Line() << "\r\n";
        std::ofstream muni(dir + "/TABMUNI.txt", std::ios::binary);
        for (const std::string& m : munis)
            muni << m << "\r\n";
    }
};

ConnectionParams Sysdba(const std::string& database) {
    return {{"SERVER NAME=" + database, "USER NAME=SYSDBA", "PASSWORD=corvinale"}};
}

// The state of a target database, read through a connection of its own.
struct Snapshot {
    std::map<std::string, std::string> cep;   // NU_CEP -> the other columns
    std::map<std::string, std::string> muni;  // ID_MUNIC -> NM_MUNIC
    std::vector<std::string> tables;
    std::string inactiveIndexes;
    std::string stamp;
    bool operator==(const Snapshot&) const = default;

    static Snapshot Of(const std::string& database) {
        auto connection = CreateFirebirdConnection();
        connection->OpenConnection(Sysdba(database));
        auto q = connection->CreateQuery();
        Snapshot s;
        for (q->OpenSelect("SELECT * FROM TAB_CEP"); !q->AtEnd(); q->Next())
            s.cep[q->ColumnText("NU_CEP")] =
                q->ColumnText("ID_TIPO_LOGR") + "|" + q->ColumnText("TE_DESCRICAO_CEP") + "|" +
                q->ColumnText("NM_BAIRRO") + "|" + q->ColumnText("SG_UF") + "|" +
                q->ColumnText("ID_MUNI_PREV") + "|" + q->ColumnText("ID_PAF");
        try {
            for (q->OpenSelect("SELECT * FROM TAB_MUNI"); !q->AtEnd(); q->Next())
                s.muni[q->ColumnText("ID_MUNIC")] = q->ColumnText("NM_MUNIC");
        } catch (const DatabaseError&) {
        }
        s.tables = connection->ListUserTables();
        for (q->OpenSelect("SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_INACTIVE = 1 "
                           "ORDER BY 1");
             !q->AtEnd(); q->Next())
            s.inactiveIndexes += q->ColumnText("RDB$INDEX_NAME");
        for (q->OpenSelect("SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = 'DT_ATU_CEP'");
             !q->AtEnd(); q->Next())
            s.stamp += q->ColumnText("TX_DESCRICAO");
        return s;
    }
};

std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

class RunTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        dir_ = test::TempDir();
        work_ = dir_ + "/work/";
        releaseDir_ = dir_ + "/release";
        fs::create_directories(work_);
        fs::create_directories(releaseDir_);
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        if (GetParam()) {
            path_ = test::ServerDbDir() + "/run_" + name + ".fdb";
            fs::remove(path_);
            database_ = test::ServerAddress() + ":" + path_;
        } else {
            path_ = dir_ + "/run.fdb";
            database_ = path_;
        }
        ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database_));
        Seed();
        release_.Write(releaseDir_);
    }
    void TearDown() override {
        run_.reset();
        connection_.reset();
        if (GetParam())
            fs::remove(path_);
    }

    // Rows the database holds before the run: one code the release updates,
    // one it does not carry, and an old municipality.
    void Seed() {
        auto connection = CreateFirebirdConnection();
        connection->OpenConnection(Sysdba(database_));
        auto q = connection->CreateQuery();
        q->RunStatement("INSERT INTO TAB_CEP VALUES ('" + release_.ceps[3].cep +
                        "', 'AV', 'VELHA', 'X', 'RJ', '99999', '99999999')");
        q->RunStatement(
            "INSERT INTO TAB_CEP VALUES ('99999999', 'R', 'FORA', 'Y', 'MG', '12345', '12345678')");
        q->RunStatement("INSERT INTO TAB_MUNI VALUES ('999999', 'ANTIGA')");
    }

    TRunResult Run(ScriptedView& view) {
        run_.reset();  // its work query belongs to the connection replaced here
        connection_ = CreateFirebirdConnection();
        run_ = std::make_unique<TRunContext>(*connection_, view, work_);
        view.cancel = &run_->FCancelRequested;
        TFolderDataSetSource source(releaseDir_);
        TRunResult result = RunImport(*run_, database_, source);
        connection_->CloseConnection();
        return result;
    }

    // TAB_CEP as the release makes it, for the seeded database.
    std::map<std::string, std::string> ExpectedCep() const {
        std::map<std::string, std::string> expected;
        expected["99999999"] =
            "R         |" + Pad("FORA", 70) + "|" + Pad("Y", 60) + "|MG|12345|12345678";
        for (const CepRecord& r : release_.ceps)
            expected[r.cep] = Pad(r.kind, 10) + "|" + Pad(r.street, 70) + "|" +
                              Pad(r.district, 60) + "|" + r.uf + "|" + r.muni + "|" + r.paf;
        return expected;
    }

    void ExpectUntouched(const Snapshot& before) {
        const Snapshot after = Snapshot::Of(database_);
        EXPECT_EQ(after.cep, before.cep);
        EXPECT_EQ(after.muni, before.muni);
        EXPECT_EQ(after.stamp, before.stamp);
        EXPECT_EQ(after.inactiveIndexes, "");
        EXPECT_EQ(std::count(after.tables.begin(), after.tables.end(), "TAB_CEP_TEMP"), 0);
    }

    Release release_{500};
    std::string dir_, work_, releaseDir_, path_, database_;
    std::unique_ptr<TConnection> connection_;
    std::unique_ptr<TRunContext> run_;
};

TEST_P(RunTest, CompletesThenAsksBeforeRepeating) {
    ScriptedView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_EQ(result.message.substr(0, 28), "500 Registros atualizados.\r\r");
    EXPECT_TRUE(view.messages.empty());

    const Snapshot after = Snapshot::Of(database_);
    EXPECT_EQ(after.cep, ExpectedCep());
    ASSERT_EQ(after.muni.size(), release_.munis.size());
    for (const std::string& m : release_.munis)
        EXPECT_EQ(Trimmed(after.muni.at(m.substr(0, 6))), m.substr(6));
    EXPECT_EQ(after.inactiveIndexes, "");
    EXPECT_EQ(after.stamp, "01/02/2018");
    EXPECT_EQ(std::count(after.tables.begin(), after.tables.end(), "TAB_CEP_TEMP"), 0);
    EXPECT_FALSE(fs::exists(work_ + "Temp.txt"));
    EXPECT_TRUE(fs::exists(work_ + "TempMuni.txt"));

    // The same release again: asked, declined, nothing changes.
    ScriptedView again;
    const TRunResult second = Run(again);
    EXPECT_EQ(second.outcome, TRunOutcome::Stopped);
    ASSERT_EQ(again.messages.size(), 1u);
    EXPECT_EQ(again.messages[0].substr(0, 2), "Q:");
    EXPECT_EQ(second.message.substr(0, 2), "\r\r");
    EXPECT_EQ(Snapshot::Of(database_).cep, after.cep);
}

TEST_P(RunTest, CancelAtEachBulkStageChangesNothing) {
    // The stage, and the dispatch of it at which the cancel arrives: the
    // merge of a small release reports only at its start and end.
    const std::pair<const char*, int> stages[] = {
        {"Importando dados Munic\xEDpio...", 5},
        {"Importando dados para tabela tempor\xE1ria...", 5},
        {"Atualizando tabela de CEP...", 1},
    };
    for (const auto& [stage, at] : stages) {
        SCOPED_TRACE(stage);
        const Snapshot before = Snapshot::Of(database_);
        ScriptedView view;
        view.onDispatch = [stage = stage, at = at](ScriptedView& v) {
            if (v.status == stage && v.dispatches[v.status] == at)
                *v.cancel = true;
        };
        const TRunResult result = Run(view);
        EXPECT_EQ(result.outcome, TRunOutcome::Cancelled) << result.message;
        EXPECT_FALSE(result.isError);
        EXPECT_EQ(view.dispatches[stage], at);
        ExpectUntouched(before);
        EXPECT_EQ(result.message.substr(0, 2), "\r\r");
    }
}

TEST_P(RunTest, WithdrawnCodesAreDeletedAndOnlyThey) {
    // A file lying in the folder, with a code the release carries, the seeded
    // extra code, and a line that would delete everything if sent bare.
    std::ofstream exc(work_ + "TempExc.txt", std::ios::binary);
    exc << Pad(release_.ceps[10].cep, 165) << "\r\n"
        << Pad("99999999", 165) << "\r\n"
        << Pad("0)OR(1=1", 165) << "\r\n"
        << Pad("", 165) << "\r\n";
    exc.close();
    ScriptedView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_NE(result.message.find("\r4 Registros excluidos."), std::string::npos) << result.message;
    std::map<std::string, std::string> expected = ExpectedCep();
    expected.erase(release_.ceps[10].cep);
    expected.erase("99999999");
    EXPECT_EQ(Snapshot::Of(database_).cep, expected);
    EXPECT_FALSE(fs::exists(work_ + "TempExc.txt"));
}

INSTANTIATE_TEST_SUITE_P(Targets, RunTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tcp" : "Embedded"; });

// ------------------------------------------------- failures, embedded only

class RunFailureTest : public RunTest {};

TEST_P(RunFailureTest, MissingMunicipalityTableIsReportedOnce) {
    {
        auto c = CreateFirebirdConnection();
        c->OpenConnection(Sysdba(database_));
        c->CreateQuery()->RunStatement("DROP TABLE TAB_MUNI");
    }
    ScriptedView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"M:Erro na atulaiza\xE7\xE3o da tabela de Munic\xEDpio."});
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_EQ(Snapshot::Of(database_).cep, ExpectedCep());
}

TEST_P(RunFailureTest, RefusedRecordsAreCounted) {
    // A staging table left from elsewhere, too narrow for some neighbourhoods:
    // the records it refuses are skipped, and the summary says how many.
    {
        auto c = CreateFirebirdConnection();
        c->OpenConnection(Sysdba(database_));
        c->CreateQuery()->RunStatement(
            "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
            "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(3), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
            "ID_PAF CHAR(8))");
    }
    int refused = 0;
    for (const CepRecord& r : release_.ceps)
        refused += r.district.size() > 3;
    ScriptedView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_NE(result.message.find("\r" + std::to_string(refused) + " Registros rejeitados."),
              std::string::npos)
        << result.message;
    EXPECT_EQ(Snapshot::Of(database_).cep.size(), release_.ceps.size() + 2 - refused);
}

TEST_P(RunFailureTest, MergeRefusesColumnsInAnotherOrder) {
    {
        auto c = CreateFirebirdConnection();
        c->OpenConnection(Sysdba(database_));
        c->CreateQuery()->RunStatement("ALTER TABLE TAB_CEP ALTER COLUMN NM_BAIRRO POSITION 3");
    }
    const Snapshot before = Snapshot::Of(database_);
    ScriptedView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::ProcessError);
    EXPECT_EQ(result.message, "Erro no processo");
    const Snapshot after = Snapshot::Of(database_);
    EXPECT_EQ(after.cep, before.cep);
    EXPECT_EQ(after.stamp, "");
}

INSTANTIATE_TEST_SUITE_P(Embedded, RunFailureTest, ::testing::Values(false));

// ------------------------------------------------------------- merge hook

class MergeHookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        database_ = test::TempDir() + "/hook.fdb";
        ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database_));
        connection_ = CreateFirebirdConnection();
        connection_->OpenConnection(Sysdba(database_));
        run_ = std::make_unique<TRunContext>(*connection_, view_, "/tmp/");
        run_->queTrab->RunStatement(
            "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
            "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(60), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
            "ID_PAF CHAR(8))");
    }
    void Fill(int rows) {
        run_->queTrab->RunStatement("DELETE FROM TAB_CEP_TEMP");
        run_->queTrab->RunStatement(
            "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " + std::to_string(rows) +
            ") DO BEGIN INSERT INTO TAB_CEP_TEMP (NU_CEP) VALUES (LPAD(:I, 8, '0')); I = I + 1; "
            "END END");
    }
    int Report(int16_t percent, const std::string& text, TMergeHookRecord& record) {
        TProgressReport report;
        report.percent = percent;
        std::snprintf(report.text, sizeof report.text, "%s", text.c_str());
        return MergeProgress(kGeneralProgress, &record, &report);
    }

    ScriptedView view_;
    std::string database_;
    std::unique_ptr<TConnection> connection_;
    std::unique_ptr<TRunContext> run_;
};

int gChainedCalls = 0;
void* gChainedData = nullptr;
int Chained(int, void* data, void*) {
    ++gChainedCalls;
    gChainedData = data;
    return 7;
}

TEST_F(MergeHookTest, ReportsMoveTheBar) {
    TMergeHookRecord record;
    record.run = run_.get();
    view_.remaining = "kept";
    EXPECT_EQ(Report(40, "", record), kProgressContinue);
    EXPECT_EQ(view_.position, 40);
    EXPECT_EQ(view_.remaining, "kept");

    Fill(4800);
    EXPECT_EQ(Report(-1, "Registros: 1200", record), kProgressContinue);
    EXPECT_EQ(view_.position, 25);
    EXPECT_EQ(view_.remaining.substr(0, 16), "Tempo restante: ");

    Fill(8);
    struct Case {
        std::string text;
        int position;
    } cases[] = {{"Registros: 1", 12}, {"Registros: 3", 38}, {"x: 4", 50}, {"=8", 100}};
    for (const Case& c : cases) {
        Report(-1, c.text, record);
        EXPECT_EQ(view_.position, c.position) << c.text;
    }

    // A hook registered before is called with its own data; a cancel wins.
    record.saved = {&gChainedCalls, 130, nullptr, &Chained};
    EXPECT_EQ(Report(10, "", record), 7);
    EXPECT_EQ(gChainedCalls, 1);
    EXPECT_EQ(gChainedData, &gChainedCalls);
    run_->FCancelRequested = true;
    EXPECT_EQ(Report(10, "", record), kProgressAbort);
}

TEST_F(MergeHookTest, MergeRestoresTheEarlierHook) {
    Fill(3000);
    int earlier = 0;
    connection_->SetProgressHook(kGeneralProgress, {&earlier, 130, nullptr, &Chained});
    gChainedCalls = 0;
    EXPECT_TRUE(MergeStaging(*run_));
    EXPECT_EQ(run_->MovedRecords, 3000);
    EXPECT_GE(gChainedCalls, 1);
    const TProgressHook after = connection_->ProgressHook(kGeneralProgress);
    EXPECT_EQ(after.function, &Chained);
    EXPECT_EQ(after.clientData, &earlier);

    // Without an earlier hook none is left behind; a cancel already asked skips it all.
    connection_->SetProgressHook(kGeneralProgress, {});
    run_->FCancelRequested = true;
    view_.statuses.clear();
    EXPECT_FALSE(MergeStaging(*run_));
    EXPECT_TRUE(view_.statuses.empty());
    EXPECT_EQ(run_->MovedRecords, 3000);
    run_->FCancelRequested = false;
    EXPECT_TRUE(MergeStaging(*run_));
    EXPECT_EQ(connection_->ProgressHook(kGeneralProgress).function, nullptr);
}

TEST_F(MergeHookTest, MergeRefusesATableWithoutUniqueKey) {
    run_->queTrab->RunStatement("DROP TABLE TAB_CEP");
    run_->queTrab->RunStatement(
        "CREATE TABLE TAB_CEP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
        "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(60), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
        "ID_PAF CHAR(8))");
    Fill(10);
    EXPECT_THROW(MergeStaging(*run_), DatabaseError);
    EXPECT_EQ(connection_->ProgressHook(kGeneralProgress).function, nullptr);
    EXPECT_EQ(connection_->CountRecords("TAB_CEP"), 0);
}

}  // namespace
