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
#include "database/StagingTable.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/ImportRun.h"
#include "import/StagingLoad.h"
#include "tests/RecordingView.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using test::TRecordingView;
using TKind = TRecordingView::TKind;

namespace {

std::string Pad(const std::string& s, std::size_t n) {
    return (s + std::string(n, ' ')).substr(0, n);
}

struct TCepRecord {
    std::string cep, kind, street, district, uf, muni, paf;
    std::string Line() const {
        return Pad(cep, 8) + Pad(kind, 10) + Pad(street, 70) + Pad(district, 60) + Pad(uf, 2) +
               Pad(muni, 5) + Pad(paf, 8) + "  ";
    }
};

// A small release in the data sets' format: `count` postal codes, 40 municipalities.
struct TRelease {
    std::vector<TCepRecord> ceps;
    std::vector<std::string> munis;  // lines

    static TRelease Of(int count) {
        TRelease release;
        std::vector<TCepRecord>& ceps = release.ceps;
        std::vector<std::string>& munis = release.munis;
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
        return release;
    }
    void Write(const std::string& dir) const {
        std::ofstream cep(dir + "/TABCEP.txt", std::ios::binary);
        for (const TCepRecord& r : ceps)
            cep << r.Line() << "\r\n";
        std::ofstream muni(dir + "/TABMUNI.txt", std::ios::binary);
        for (const std::string& m : munis)
            muni << m << "\r\n";
    }
};

// The state of a target database, read through a connection of its own.
struct TSnapshot {
    std::map<std::string, std::string> cep;   // NU_CEP -> the other columns
    std::map<std::string, std::string> muni;  // ID_MUNIC -> NM_MUNIC
    std::vector<std::string> tables;
    std::string inactiveIndexes;
    std::string stamp;
    bool operator==(const TSnapshot&) const = default;

    static TSnapshot Of(const std::string& database) {
        auto connection = CreateFirebirdConnection();
        connection->OpenConnection(test::SysdbaParams(database));
        auto q = connection->CreateQuery();
        TSnapshot s;
        for (q->OpenSelect("SELECT * FROM TAB_CEP"); !q->AtEnd(); q->Next())
            s.cep[q->ColumnText("NU_CEP")] =
                q->ColumnText("ID_TIPO_LOGR") + "|" + q->ColumnText("TE_DESCRICAO_CEP") + "|" +
                q->ColumnText("NM_BAIRRO") + "|" + q->ColumnText("SG_UF") + "|" +
                q->ColumnText("ID_MUNI_PREV") + "|" + q->ColumnText("ID_PAF");
        try {
            for (q->OpenSelect("SELECT * FROM TAB_MUNI"); !q->AtEnd(); q->Next())
                s.muni[q->ColumnText("ID_MUNIC")] = q->ColumnText("NM_MUNIC");
        } catch (const TDatabaseError&) {
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

// A run of a small release against a target database seeded with rows the
// release updates and rows it does not carry.
class TRunFixture : public ::testing::Test {
  protected:
    virtual test::TWhere Where() const { return test::TWhere::Embedded; }

    void SetUp() override {
        const std::string dir = test::TempDir();
        FWork = dir + "/work/";
        FReleaseDir = dir + "/release";
        fs::create_directories(FWork);
        fs::create_directories(FReleaseDir);
        FTarget = std::make_unique<test::TTestDatabase>(Where());
        FDatabase = FTarget->Database();
        Seed();
        FRelease.Write(FReleaseDir);
    }
    void TearDown() override {
        FRun.reset();
        FConnection.reset();
        FTarget.reset();
    }

    // Rows the database holds before the run: one code the release updates,
    // one it does not carry, and an old municipality.
    void Seed() {
        FTarget->Run("INSERT INTO TAB_CEP VALUES ('" + FRelease.ceps[3].cep +
                     "', 'AV', 'VELHA', 'X', 'RJ', '99999', '99999999')");
        FTarget->Run(
            "INSERT INTO TAB_CEP VALUES ('99999999', 'R', 'FORA', 'Y', 'MG', '12345', '12345678')");
        FTarget->Run("INSERT INTO TAB_MUNI VALUES ('999999', 'ANTIGA')");
    }

    TRunResult Run(TRecordingView& view) {
        FRun.reset();  // its work query belongs to the connection replaced here
        FConnection = CreateFirebirdConnection();
        FRun = std::make_unique<TRunContext>(*FConnection, view, FWork);
        TFolderDataSetSource source(FReleaseDir);
        TRunResult result = RunImport(*FRun, FDatabase, source);
        FConnection->CloseConnection();
        return result;
    }

    // Asks the running run to cancel.
    void Cancel() { FRun->FCancelRequested = true; }

    // TAB_CEP as the release makes it, for the seeded database.
    std::map<std::string, std::string> ExpectedCep() const {
        std::map<std::string, std::string> expected;
        expected["99999999"] =
            "R         |" + Pad("FORA", 70) + "|" + Pad("Y", 60) + "|MG|12345|12345678";
        for (const TCepRecord& r : FRelease.ceps)
            expected[r.cep] = Pad(r.kind, 10) + "|" + Pad(r.street, 70) + "|" +
                              Pad(r.district, 60) + "|" + r.uf + "|" + r.muni + "|" + r.paf;
        return expected;
    }

    void ExpectUntouched(const TSnapshot& before) {
        const TSnapshot after = TSnapshot::Of(FDatabase);
        EXPECT_EQ(after.cep, before.cep);
        EXPECT_EQ(after.muni, before.muni);
        EXPECT_EQ(after.stamp, before.stamp);
        EXPECT_EQ(after.inactiveIndexes, "");
        EXPECT_EQ(std::count(after.tables.begin(), after.tables.end(), "TAB_CEP_TEMP"), 0);
    }

    TRelease FRelease = TRelease::Of(500);
    std::unique_ptr<test::TTestDatabase> FTarget;
    std::string FWork, FReleaseDir, FDatabase;
    std::unique_ptr<TConnection> FConnection;
    std::unique_ptr<TRunContext> FRun;
};

// The same runs embedded and over TCP.
class RunTest : public TRunFixture, public ::testing::WithParamInterface<test::TWhere> {
  protected:
    test::TWhere Where() const override { return GetParam(); }
};

TEST_P(RunTest, CompletesThenAsksBeforeRepeating) {
    TRecordingView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_EQ(result.message.substr(0, 28), "500 Registros atualizados.\r\r");
    EXPECT_TRUE(view.Dialogs().empty());

    const TSnapshot after = TSnapshot::Of(FDatabase);
    EXPECT_EQ(after.cep, ExpectedCep());
    ASSERT_EQ(after.muni.size(), FRelease.munis.size());
    for (const std::string& m : FRelease.munis)
        EXPECT_EQ(Trimmed(after.muni.at(m.substr(0, 6))), m.substr(6));
    EXPECT_EQ(after.inactiveIndexes, "");
    EXPECT_EQ(after.stamp, "01/02/2018");
    EXPECT_EQ(std::count(after.tables.begin(), after.tables.end(), "TAB_CEP_TEMP"), 0);
    // The run's temporary files went with it.
    EXPECT_TRUE(fs::is_empty(FWork));

    // The same release again: asked, declined, nothing changes.
    TRecordingView again;
    const TRunResult second = Run(again);
    EXPECT_EQ(second.outcome, TRunOutcome::Stopped);
    ASSERT_EQ(again.Dialogs().size(), 1u);
    EXPECT_EQ(again.Dialogs()[0].kind, TKind::Question);
    EXPECT_EQ(second.message.substr(0, 2), "\r\r");
    EXPECT_EQ(TSnapshot::Of(FDatabase).cep, after.cep);
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
        const TSnapshot before = TSnapshot::Of(FDatabase);
        TRecordingView view;
        view.FOnProcessMessages = [&, stage = stage, at = at](TRecordingView& v) {
            if (v.Status() == stage && v.DispatchesDuring(stage) == at)
                Cancel();
        };
        const TRunResult result = Run(view);
        EXPECT_EQ(result.outcome, TRunOutcome::Cancelled) << result.message;
        EXPECT_FALSE(result.isError);
        EXPECT_EQ(view.DispatchesDuring(stage), at);
        ExpectUntouched(before);
        EXPECT_EQ(result.message.substr(0, 2), "\r\r");
    }
}

TEST_P(RunTest, WithdrawnCodesAreDeletedAndOnlyThey) {
    // The release withdraws a code it carries and the seeded extra code; a
    // blank line is skipped.
    std::ofstream exc(FReleaseDir + "/TABCEPEXC.txt", std::ios::binary);
    exc << Pad(FRelease.ceps[10].cep, 165) << "\r\n"
        << Pad("99999999", 165) << "\r\n"
        << Pad("", 165) << "\r\n";
    exc.close();
    // A file another run left in the work folder is none of this run's.
    std::ofstream(FWork + "TempExc.txt", std::ios::binary)
        << Pad(FRelease.ceps[11].cep, 165) << "\r\n";
    TRecordingView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_NE(result.message.find("\r3 Registros excluidos."), std::string::npos) << result.message;
    std::map<std::string, std::string> expected = ExpectedCep();
    expected.erase(FRelease.ceps[10].cep);
    expected.erase("99999999");
    EXPECT_EQ(TSnapshot::Of(FDatabase).cep, expected);
}

INSTANTIATE_TEST_SUITE_P(Targets, RunTest,
                         ::testing::Values(test::TWhere::Embedded, test::TWhere::Tcp),
                         [](const auto& info) {
                             return info.param == test::TWhere::Tcp ? "Tcp" : "Embedded";
                         });

// ------------------------------------------------- failures, embedded only

using RunFailureTest = TRunFixture;

TEST_F(RunFailureTest, MissingMunicipalityTableIsReportedOnce) {
    FTarget->Run("DROP TABLE TAB_MUNI");
    TRecordingView view;
    const TRunResult result = Run(view);
    const std::vector<TRecordingView::TCall> dialogs = view.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0],
              (TRecordingView::TCall{TKind::Message,
                                     "Erro na atulaiza\xE7\xE3o da tabela de Munic\xEDpio."}));
    // The engine's reason goes with the message, apart from it.
    EXPECT_NE(dialogs[0].detail.find("TAB_MUNI"), std::string::npos) << dialogs[0].detail;
    EXPECT_EQ(result.outcome, TRunOutcome::Completed) << result.message;
    EXPECT_EQ(TSnapshot::Of(FDatabase).cep, ExpectedCep());
}

TEST_F(RunFailureTest, RefusedRecordsAreCounted) {
    // A staging table left from elsewhere, too narrow for some neighbourhoods:
    // the records it refuses are skipped, and the summary says how many.
    FTarget->Run(
        "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
        "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(3), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
        "ID_PAF CHAR(8))");
    int refused = 0;
    for (const TCepRecord& r : FRelease.ceps)
        refused += r.district.size() > 3;
    TRecordingView view;
    const TRunResult result = Run(view);
    // Applied, but not a plain success.
    EXPECT_EQ(result.outcome, TRunOutcome::CompletedRefused) << result.message;
    EXPECT_TRUE(result.applied);
    EXPECT_EQ(result.refusedRecords, refused);
    EXPECT_NE(result.message.find("\r" + std::to_string(refused) + " Registros rejeitados."),
              std::string::npos)
        << result.message;
    EXPECT_EQ(TSnapshot::Of(FDatabase).cep.size(), FRelease.ceps.size() + 2 - refused);
}

TEST_F(RunFailureTest, RefusesColumnsInAnotherOrderBeforeLoading) {
    FTarget->Run("ALTER TABLE TAB_CEP ALTER COLUMN NM_BAIRRO POSITION 3");
    const TSnapshot before = TSnapshot::Of(FDatabase);
    TRecordingView view;
    const TRunResult result = Run(view);
    EXPECT_EQ(result.outcome, TRunOutcome::Stopped);
    const std::vector<TRecordingView::TCall> dialogs = view.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, TKind::Error);
    EXPECT_NE(dialogs[0].detail.find("TAB_CEP"), std::string::npos) << dialogs[0].detail;
    // Nothing was loaded or switched.
    EXPECT_TRUE(view.Texts(TKind::ProgressMax).empty());
    ExpectUntouched(before);
}

// No database at the path: "Erro de acesso ao BD", with the engine's reason
// as detail.
TEST_F(RunFailureTest, AccessErrorKeepsTheReason) {
    TRecordingView view;
    FConnection = CreateFirebirdConnection();
    FRun = std::make_unique<TRunContext>(*FConnection, view, FWork);
    TFolderDataSetSource source(FReleaseDir);
    const TRunResult result = RunImport(*FRun, FWork + "missing.fdb", source);
    EXPECT_EQ(result.outcome, TRunOutcome::AccessError);
    EXPECT_EQ(result.message, "Erro de acesso ao BD");
    EXPECT_NE(result.detail.find("missing.fdb"), std::string::npos) << result.detail;
}

// ------------------------------------------------------------- merge hook

// A hook registered before the merge: counts its calls on its own data.
struct TChain {
    int calls = 0;
};
int Chained(int, void* data, void*) {
    ++static_cast<TChain*>(data)->calls;
    return 7;
}

class MergeHookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FTarget = std::make_unique<test::TTestDatabase>(test::TWhere::Embedded);
        FConnection = CreateFirebirdConnection();
        FConnection->OpenConnection(FTarget->Sysdba());
        FRun = std::make_unique<TRunContext>(*FConnection, FView, "/tmp/");
        FRun->queTrab->RunStatement(kCreateStaging);
    }
    void Fill(int rows) {
        FRun->queTrab->RunStatement("DELETE FROM TAB_CEP_TEMP");
        FRun->queTrab->RunStatement(
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

    TRecordingView FView;
    std::unique_ptr<test::TTestDatabase> FTarget;
    std::unique_ptr<TConnection> FConnection;
    std::unique_ptr<TRunContext> FRun;
};

TEST_F(MergeHookTest, ReportsMoveTheBar) {
    TMergeHookRecord record;
    record.run = FRun.get();
    FView.SetRemaining("kept");
    EXPECT_EQ(Report(40, "", record), kProgressContinue);
    EXPECT_EQ(FView.ProgressPosition(), 40);
    EXPECT_EQ(FView.Remaining(), "kept");

    Fill(4800);
    EXPECT_EQ(Report(-1, "Registros: 1200", record), kProgressContinue);
    EXPECT_EQ(FView.ProgressPosition(), 25);
    EXPECT_EQ(FView.Remaining().substr(0, 16), "Tempo restante: ");

    Fill(8);
    struct Case {
        std::string text;
        int position;
    } cases[] = {{"Registros: 1", 12}, {"Registros: 3", 38}, {"x: 4", 50}, {"=8", 100}};
    for (const Case& c : cases) {
        Report(-1, c.text, record);
        EXPECT_EQ(FView.ProgressPosition(), c.position) << c.text;
    }

    // A hook registered before is called with its own data; a cancel wins.
    TChain chain;
    record.saved = {&chain, 130, nullptr, &Chained};
    EXPECT_EQ(Report(10, "", record), 7);
    EXPECT_EQ(chain.calls, 1);
    FRun->FCancelRequested = true;
    EXPECT_EQ(Report(10, "", record), kProgressAbort);
}

TEST_F(MergeHookTest, MergeRestoresTheEarlierHook) {
    Fill(3000);
    TChain chain;
    FConnection->SetProgressHook(kGeneralProgress, {&chain, 130, nullptr, &Chained});
    auto apply = FConnection->StartTransaction();
    EXPECT_TRUE(MergeStaging(*FRun, *apply));
    apply->Commit();
    EXPECT_EQ(FRun->FMovedRecords, 3000);
    EXPECT_GE(chain.calls, 1);
    const TProgressHook after = FConnection->ProgressHook(kGeneralProgress);
    EXPECT_EQ(after.function, &Chained);
    EXPECT_EQ(after.clientData, &chain);

    // Without an earlier hook none is left behind; a cancel already asked skips it all.
    FConnection->SetProgressHook(kGeneralProgress, {});
    FRun->FCancelRequested = true;
    const std::size_t shown = FView.Statuses().size();
    apply = FConnection->StartTransaction();
    EXPECT_FALSE(MergeStaging(*FRun, *apply));
    EXPECT_EQ(FView.Statuses().size(), shown);
    EXPECT_EQ(FRun->FMovedRecords, 3000);
    FRun->FCancelRequested = false;
    EXPECT_TRUE(MergeStaging(*FRun, *apply));
    EXPECT_EQ(FConnection->ProgressHook(kGeneralProgress).function, nullptr);
}

// A hook that fails stops the merge; the failure goes on, and the same
// connection merges again afterwards.
int Throwing(int, void*, void*) {
    throw std::runtime_error("the window went away");
}

// An engine failure inside the hook (a query of its own that failed) is a
// failure too, not a stop the hook asked for.
int ThrowingEngineError(int, void*, void*) {
    throw TDatabaseError("lost connection inside the hook", {}, TDatabaseFailure::ConnectionLost);
}

TEST_F(MergeHookTest, AFailingHookLeavesTheConnectionUsable) {
    Fill(3000);
    int unused = 0;
    FConnection->SetProgressHook(kGeneralProgress, {&unused, 130, nullptr, &Throwing});
    auto apply = FConnection->StartTransaction();
    EXPECT_THROW(MergeStaging(*FRun, *apply), std::runtime_error);
    apply->Rollback();
    EXPECT_EQ(FConnection->CountRecords("TAB_CEP"), 0);

    FConnection->SetProgressHook(kGeneralProgress, {&unused, 130, nullptr, &ThrowingEngineError});
    apply = FConnection->StartTransaction();
    EXPECT_THROW(MergeStaging(*FRun, *apply), TDatabaseError);
    EXPECT_FALSE(FConnection->LastMoveAborted());
    apply->Rollback();
    EXPECT_EQ(FConnection->CountRecords("TAB_CEP"), 0);

    FConnection->SetProgressHook(kGeneralProgress, {});
    apply = FConnection->StartTransaction();
    EXPECT_TRUE(MergeStaging(*FRun, *apply));
    apply->Commit();
    EXPECT_EQ(FConnection->CountRecords("TAB_CEP"), 3000);
}

TEST_F(MergeHookTest, MergeRefusesATableWithoutUniqueKey) {
    FRun->queTrab->RunStatement("DROP TABLE TAB_CEP");
    FRun->queTrab->RunStatement(
        "CREATE TABLE TAB_CEP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
        "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(60), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
        "ID_PAF CHAR(8))");
    Fill(10);
    auto apply = FConnection->StartTransaction();
    EXPECT_THROW(MergeStaging(*FRun, *apply), TDatabaseError);
    EXPECT_EQ(FConnection->ProgressHook(kGeneralProgress).function, nullptr);
    EXPECT_EQ(FConnection->CountRecords("TAB_CEP"), 0);
}

}  // namespace
