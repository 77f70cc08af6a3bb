// Preparation of the staging table against real databases: its four
// outcomes, the definition it creates, the reconnect after a CREATE, and a
// user who may not create tables.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "database/Credentials.h"
#include "database/StagingTable.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/RecordingView.h"
#include "tests/StageFixture.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using TKind = test::TRecordingView::TKind;

namespace {

// "Erro na criação da tabela temporária."
const std::string kStagingFailed = "Erro na cria\xE7\xE3o da tabela tempor\xE1ria.";
const std::string kNoDestination = "Tabela de CEP inexistente no BD.";

std::vector<std::string> Column(TConnection& connection, const std::string& sql) {
    std::unique_ptr<TQuery> query = connection.CreateQuery();
    std::vector<std::string> values;
    for (query->OpenSelect(sql); !query->AtEnd(); query->Next()) {
        std::string value = query->ColumnText("V");
        value.erase(value.find_last_not_of(' ') + 1);
        values.push_back(value);
    }
    return values;
}

std::string ConnectionId(TConnection& connection) {
    return Column(connection, "SELECT CURRENT_CONNECTION AS V FROM RDB$DATABASE").at(0);
}

bool HasTable(TConnection& connection, const std::string& name) {
    for (const std::string& table : connection.ListUserTables())
        if (table == name)
            return true;
    return false;
}

using test::TStage;

TEST(PrepareStaging, FourOutcomes) {
    const struct Case {
        const char* name;
        const char* options;  // of the sample database
        bool leftover;        // a filled TAB_CEP_TEMP from an earlier run
        bool result;
        std::vector<test::TRecordingView::TCall> dialogs;
        bool reconnected;
        bool stagingAfter;
    } cases[] = {
        {"created", "", false, true, {}, true, true},
        {"emptied", "", true, true, {}, false, true},
        {"no_tab_cep", "--bare", false, false, {{TKind::Error, kNoDestination}}, true, false},
        // TAB_CEP_TEMP does not count as TAB_CEP; the leftover stays as it is.
        {"only_staging", "--bare", true, false, {{TKind::Error, kNoDestination}}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TTestDatabase target(test::TWhere::Embedded, c.options, "", c.name);
        TStage stage(target.Database(), "SYSDBA", "corvinale");
        ASSERT_TRUE(stage.FConnected);
        if (c.leftover) {
            // Another definition than the one the stage creates: reused as it is.
            stage.FRun.queTrab->RunStatement(
                "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8), X INTEGER)");
            stage.FRun.queTrab->RunStatement("INSERT INTO TAB_CEP_TEMP VALUES ('01001000', 1)");
            stage.FRun.queTrab->RunStatement("INSERT INTO TAB_CEP_TEMP VALUES ('01001001', 2)");
        }
        const std::string before = ConnectionId(*stage.FConnection);

        EXPECT_EQ(PrepareStaging(stage.FRun), c.result);

        EXPECT_EQ(stage.FView.Dialogs(), c.dialogs);
        EXPECT_TRUE(stage.FConnection->IsConnected());
        EXPECT_EQ(ConnectionId(*stage.FConnection) != before, c.reconnected);
        EXPECT_EQ(HasTable(*stage.FConnection, "TAB_CEP_TEMP"), c.stagingAfter);
        if (c.leftover) {
            EXPECT_EQ(stage.FConnection->CountRecords("TAB_CEP_TEMP"), c.result ? 0 : 2);
            EXPECT_EQ(
                Column(*stage.FConnection,
                       "SELECT RDB$FIELD_NAME AS V FROM RDB$RELATION_FIELDS "
                       "WHERE RDB$RELATION_NAME = 'TAB_CEP_TEMP' ORDER BY RDB$FIELD_POSITION"),
                (std::vector<std::string>{"NU_CEP", "X"}));
        }
    }
}

TEST(PrepareStaging, CreatesTheSevenColumnsWithoutKeyOrIndex) {
    const test::TTestDatabase target(test::TWhere::Embedded, "--dialect 3");
    TStage stage(target.Database(), "SYSDBA", "corvinale");
    ASSERT_TRUE(PrepareStaging(stage.FRun));

    // Name, character length, NOT NULL, in table order.
    EXPECT_EQ(Column(*stage.FConnection,
                     "SELECT TRIM(RF.RDB$FIELD_NAME) || ' ' || F.RDB$FIELD_TYPE || ' ' || "
                     "F.RDB$CHARACTER_LENGTH || ' ' || COALESCE(RF.RDB$NULL_FLAG, 0) AS V "
                     "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F "
                     "ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
                     "WHERE RF.RDB$RELATION_NAME = 'TAB_CEP_TEMP' ORDER BY RF.RDB$FIELD_POSITION"),
              (std::vector<std::string>{"NU_CEP 14 8 1", "ID_TIPO_LOGR 14 10 0",
                                        "TE_DESCRICAO_CEP 14 70 0", "NM_BAIRRO 14 60 0",
                                        "SG_UF 14 2 0", "ID_MUNI_PREV 14 5 0", "ID_PAF 14 8 0"}));
    EXPECT_TRUE(Column(*stage.FConnection,
                       "SELECT RDB$INDEX_NAME AS V FROM RDB$INDICES "
                       "WHERE RDB$RELATION_NAME = 'TAB_CEP_TEMP'")
                    .empty());
    // The staging load can write to it at once.
    stage.FRun.queTrab->RunStatement(
        "INSERT INTO TAB_CEP_TEMP VALUES ('01001000', 'R', 'SE', 'CENTRO', 'SP', '50308', "
        "'21200010')");
    EXPECT_EQ(stage.FConnection->CountRecords("TAB_CEP_TEMP"), 1);
}

TEST(PrepareStaging, FailedReconnectLeavesItClosed) {
    const test::TTestDatabase target(test::TWhere::Embedded);
    TStage stage(target.Database(), "SYSDBA", "corvinale");
    ASSERT_TRUE(stage.FConnected);
    // The open attachment keeps working on the unlinked file; the reopen finds none.
    fs::remove(target.File());

    EXPECT_FALSE(PrepareStaging(stage.FRun));
    EXPECT_EQ(stage.FView.Dialogs(),
              (std::vector<test::TRecordingView::TCall>{{TKind::Error, kStagingFailed}}));
    // The box carries the reason the reopen failed.
    EXPECT_NE(stage.FView.Dialogs()[0].detail.find(target.File()), std::string::npos)
        << stage.FView.Dialogs()[0].detail;
    EXPECT_FALSE(stage.FConnection->IsConnected());
}

TEST(PrepareStagingTcp, UserWhoMayNotCreateTables) {
    // Owned by SYSDBA: VORTAN_APP may connect and read, not create.
    const test::TTestDatabase target(test::TWhere::Tcp);
    const TCredentials vortan = ChooseCredentials("vortanbd.fdb");
    TStage stage(target.Database(), vortan.user, vortan.password);
    ASSERT_TRUE(stage.FConnected);
    const std::string before = ConnectionId(*stage.FConnection);

    EXPECT_FALSE(PrepareStaging(stage.FRun));

    EXPECT_EQ(stage.FView.Dialogs(),
              (std::vector<test::TRecordingView::TCall>{{TKind::Error, kStagingFailed}}));
    ASSERT_TRUE(stage.FConnection->IsConnected());
    EXPECT_NE(ConnectionId(*stage.FConnection), before);
    EXPECT_FALSE(HasTable(*stage.FConnection, "TAB_CEP_TEMP"));
    stage.FConnection->CloseConnection();
}

}  // namespace
