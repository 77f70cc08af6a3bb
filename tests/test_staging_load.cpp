// The staging load's prepared calls against a real database: every record
// stored exactly as a text statement of its own would store it, the records
// a call holds replayed one by one when one of them is refused, a cancel in
// the middle of a call, and the merge leaving rows that already hold the
// release's values alone.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "database/Merge.h"
#include "database/StagingTable.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/RunContext.h"
#include "import/StagingLoad.h"
#include "tests/RecordingView.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

using namespace cep;
using test::TRecordingView;

namespace {

std::string Pad(const std::string& s, std::size_t n) {
    return (s + std::string(n, ' ')).substr(0, n);
}

std::string CepLine(const std::string& cep, const std::string& kind, const std::string& street,
                    const std::string& district = "CENTRO", const std::string& uf = "SP",
                    const std::string& muni = "25002", const std::string& paf = "21200010") {
    return Pad(cep, 8) + Pad(kind, 10) + Pad(street, 70) + Pad(district, 60) + Pad(uf, 2) +
           Pad(muni, 5) + Pad(paf, 8) + "  ";
}

// `count` plain street records with the codes first, first + 1, ...
std::vector<std::string> Streets(int first, int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(CepLine(std::to_string(first + i), "R", "RUA " + std::to_string(i)));
    return lines;
}

// A run context on a fresh embedded database with an empty staging table.
class StagingLoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FTarget = std::make_unique<test::TTestDatabase>(test::TWhere::Embedded);
        FConnection = CreateFirebirdConnection();
        FConnection->OpenConnection(FTarget->Sysdba());
        FRun = std::make_unique<TRunContext>(*FConnection, FView, test::TempDir() + "/");
        FRun->queTrab->RunStatement(kCreateStaging);
        FFile = test::TempDir() + "/Temp.txt";
    }
    void TearDown() override {
        FRun.reset();
        FConnection.reset();
        FTarget.reset();
    }

    void Write(const std::vector<std::string>& lines) {
        std::ofstream out(FFile, std::ios::binary);
        for (const std::string& line : lines)
            out << line << "\r\n";
    }

    // The rows of `table`, keyed by code, every column as the server gives it.
    std::multimap<std::string, std::string> Rows(const std::string& table) {
        auto query = FConnection->CreateQuery();
        std::multimap<std::string, std::string> rows;
        for (query->OpenSelect("SELECT * FROM " + table); !query->AtEnd(); query->Next())
            rows.emplace(
                query->ColumnText("NU_CEP"),
                query->ColumnText("ID_TIPO_LOGR") + "|" + query->ColumnText("TE_DESCRICAO_CEP") +
                    "|" + query->ColumnText("NM_BAIRRO") + "|" + query->ColumnText("SG_UF") + "|" +
                    query->ColumnText("ID_MUNI_PREV") + "|" + query->ColumnText("ID_PAF"));
        return rows;
    }

    TRecordingView FView;
    std::unique_ptr<test::TTestDatabase> FTarget;
    std::unique_ptr<TConnection> FConnection;
    std::unique_ptr<TRunContext> FRun;
    std::string FFile;
};

TEST_F(StagingLoadTest, StoresEachRecordAsItsTextStatementWould) {
    // Awkward records, then enough plain ones for two whole calls and a tail.
    std::vector<std::string> lines = {
        CepLine("88775970", "", "ACM RIO D'UNA"),
        CepLine("01001000", "R", "'QUOTED'", "''"),
        CepLine("01001001", "AV", "  LEADING BLANKS", "   "),
        CepLine("01001002", "TV", std::string(70, ' '), std::string(60, 'X')),
        CepLine("01001003", "R", "S\xC3O JO\xC3O \xC7\xC9U \xFF\x80\xA0"),
        CepLine("01001004", "R", "TAB\tINSIDE", "B\x01"),
        "01001005R         SHORT LINE",
        "01001006",
        "0100100",
    };
    for (std::string& line : Streets(20000000, 110))
        lines.push_back(std::move(line));
    Write(lines);

    LoadStaging(*FRun, FFile);
    EXPECT_EQ(FRun->FRejectedRecords, 0);

    // The same records through the text statements, into a table of the same shape.
    auto query = FConnection->CreateQuery();
    std::string create = kCreateStaging;
    create.replace(create.find("TAB_CEP_TEMP"), 12, "TAB_CEP_TEXT");
    query->RunStatement(create);
    for (const std::string& line : lines) {
        std::string insert = BuildInsert(line);
        insert.replace(insert.find("TAB_CEP_TEMP"), 12, "TAB_CEP_TEXT");
        query->RunStatement(insert);
    }
    const auto loaded = Rows("TAB_CEP_TEMP");
    EXPECT_EQ(loaded.size(), lines.size());
    EXPECT_EQ(loaded, Rows("TAB_CEP_TEXT"));
    // Never NULL: an empty field is ''.
    query->OpenSelect("SELECT COUNT(*) AS N FROM TAB_CEP_TEMP WHERE ID_TIPO_LOGR IS NULL");
    EXPECT_EQ(query->ColumnText("N"), "0");
}

TEST_F(StagingLoadTest, ARefusedRecordIsReplayedAloneInItsCall) {
    // A staging table left with a key on the code and a narrow neighbourhood:
    // inside one call, a code that comes again takes the update path and a
    // neighbourhood too long is refused; the others of the call are stored.
    FRun->queTrab->RunStatement("DROP TABLE TAB_CEP_TEMP");
    FRun->queTrab->RunStatement(
        "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL PRIMARY KEY, ID_TIPO_LOGR CHAR(10), "
        "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(10), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
        "ID_PAF CHAR(8))");
    std::vector<std::string> lines = Streets(30000000, 60);
    lines[20] = CepLine("30000005", "AV", "THE LATER ONE");                    // again, in the call
    lines[30] = CepLine("30000030", "R", "LONG", "A NEIGHBOURHOOD TOO LONG");  // refused
    Write(lines);

    LoadStaging(*FRun, FFile);

    EXPECT_EQ(FRun->FRejectedRecords, 1);
    const auto rows = Rows("TAB_CEP_TEMP");
    EXPECT_EQ(rows.size(), 58u);  // 60, one code twice, one refused
    EXPECT_EQ(rows.count("30000030"), 0u);
    EXPECT_EQ(rows.find("30000005")->second.substr(0, 24), "AV        |THE LATER ONE");
    EXPECT_EQ(rows.count("30000049"), 1u);
    EXPECT_EQ(rows.count("30000059"), 1u);
}

TEST_F(StagingLoadTest, ACodeTwiceKeepsTheLaterRecord) {
    std::vector<std::string> lines = Streets(40000000, 120);
    lines[100] = CepLine("40000003", "AV", "LATER, IN ANOTHER CALL");
    lines[110] = CepLine("40000003", "TV", "LATEST");
    Write(lines);

    LoadStaging(*FRun, FFile);

    const auto rows = Rows("TAB_CEP_TEMP");
    EXPECT_EQ(rows.size(), 118u);
    ASSERT_EQ(rows.count("40000003"), 1u);
    EXPECT_EQ(rows.find("40000003")->second.substr(0, 17), "TV        |LATEST");
}

TEST_F(StagingLoadTest, ACodeTwiceWhoseLaterRecordIsRefusedKeepsTheEarlier) {
    // A staging table without a key takes both records of a code; the later
    // one is refused for a neighbourhood too long: it is counted once, and
    // the earlier record stands.
    FRun->queTrab->RunStatement("DROP TABLE TAB_CEP_TEMP");
    FRun->queTrab->RunStatement(
        "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
        "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(10), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
        "ID_PAF CHAR(8))");
    std::vector<std::string> lines = Streets(45000000, 120);
    lines[10] = CepLine("45000003", "AV", "TWICE, AND REFUSED", "A NEIGHBOURHOOD TOO LONG");
    lines[100] = CepLine("45000007", "AV", "THE LATER ONE");
    lines[110] = CepLine("45000007", "TV", "LATER, REFUSED", "A NEIGHBOURHOOD TOO LONG");
    Write(lines);

    LoadStaging(*FRun, FFile);

    EXPECT_EQ(FRun->FRejectedRecords, 2);
    const auto rows = Rows("TAB_CEP_TEMP");
    EXPECT_EQ(rows.size(), 117u);  // 120 lines, three of them a code that came before
    ASSERT_EQ(rows.count("45000003"), 1u);
    EXPECT_EQ(rows.find("45000003")->second.substr(0, 16), "R         |RUA 3");
    ASSERT_EQ(rows.count("45000007"), 1u);
    EXPECT_EQ(rows.find("45000007")->second.substr(0, 24), "AV        |THE LATER ONE");
}

TEST_F(StagingLoadTest, ACancelInTheMiddleOfACallStoresWhatWasRead) {
    std::vector<std::string> lines = Streets(50000000, 200);
    Write(lines);
    // The cancel arrives while the 75th record is read: half a call after the first.
    FView.FOnProcessMessages = [&](TRecordingView& view) {
        if (view.Count(TRecordingView::TKind::ProcessMessages) == 75)
            FRun->FCancelRequested = true;
    };

    LoadStaging(*FRun, FFile);

    const auto rows = Rows("TAB_CEP_TEMP");
    EXPECT_EQ(rows.size(), 75u);
    EXPECT_EQ(rows.count("50000074"), 1u);
    EXPECT_EQ(rows.count("50000075"), 0u);
}

TEST_F(StagingLoadTest, TheMergeLeavesEqualRowsAlone) {
    // TAB_CEP holds the release already, but for one changed row; one row is new.
    std::vector<std::string> lines = Streets(60000000, 100);
    Write(lines);
    LoadStaging(*FRun, FFile);
    FRun->queTrab->RunStatement("INSERT INTO TAB_CEP SELECT * FROM TAB_CEP_TEMP");
    FRun->queTrab->RunStatement(
        "UPDATE TAB_CEP SET TE_DESCRICAO_CEP = 'OLD NAME' WHERE NU_CEP = '60000007'");
    FRun->queTrab->RunStatement("DELETE FROM TAB_CEP WHERE NU_CEP = '60000009'");
    auto versions = [&] {
        auto query = FConnection->CreateQuery();
        std::map<std::string, std::string> result;
        for (query->OpenSelect("SELECT NU_CEP, RDB$RECORD_VERSION AS V FROM TAB_CEP");
             !query->AtEnd(); query->Next())
            result[query->ColumnText("NU_CEP")] = query->ColumnText("V");
        return result;
    };
    const auto before = versions();

    auto apply = FConnection->StartTransaction();
    ASSERT_TRUE(MergeStaging(*FRun, *apply));
    apply->Commit();

    const TMoveCounts counts = FConnection->LastMoveCounts();
    EXPECT_EQ(FRun->FMovedRecords, 100);  // the release's records, all applied
    EXPECT_EQ(counts.inserted, 1);
    EXPECT_EQ(counts.updated, 1);
    const auto after = versions();
    ASSERT_EQ(after.size(), 100u);
    for (const auto& [code, version] : after) {
        if (code == "60000007" || code == "60000009")
            EXPECT_NE(before.count(code) ? before.at(code) : "", version) << code;
        else
            EXPECT_EQ(before.at(code), version) << code << " was rewritten";
    }
}

TEST(Builders, BatchInsert) {
    EXPECT_EQ(BuildBatchInsert(1),
              "INSERT INTO TAB_CEP_TEMP (NU_CEP, ID_TIPO_LOGR, TE_DESCRICAO_CEP, NM_BAIRRO, SG_UF, "
              "ID_MUNI_PREV, ID_PAF) VALUES (?, ?, ?, ?, ?, ?, ?)");
    const std::string two = BuildBatchInsert(2);
    EXPECT_EQ(
        two.rfind("EXECUTE BLOCK (P0 VARCHAR(8) CHARACTER SET WIN1252 = ?, P1 VARCHAR(10) ", 0), 0u)
        << two;
    EXPECT_NE(two.find("P13 VARCHAR(8) CHARACTER SET WIN1252 = ?) AS BEGIN INSERT INTO"),
              std::string::npos)
        << two;
    EXPECT_NE(two.find("VALUES (:P7, :P8, :P9, :P10, :P11, :P12, :P13); END"), std::string::npos)
        << two;
}

}  // namespace
