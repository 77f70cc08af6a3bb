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
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using Kind = test::TRecordingView::Kind;

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

using Stage = test::TStage;

TEST(PrepareStaging, FourOutcomes) {
    const struct Case {
        const char* name;
        const char* options;  // of the sample database
        bool leftover;        // a filled TAB_CEP_TEMP from an earlier run
        bool result;
        std::vector<test::TRecordingView::Call> dialogs;
        bool reconnected;
        bool stagingAfter;
    } cases[] = {
        {"created", "", false, true, {}, true, true},
        {"emptied", "", true, true, {}, false, true},
        {"no_tab_cep", "--bare", false, false, {{Kind::Error, kNoDestination}}, true, false},
        // TAB_CEP_TEMP does not count as TAB_CEP; the leftover stays as it is.
        {"only_staging", "--bare", true, false, {{Kind::Error, kNoDestination}}, false, true},
    };
    const std::string dir = test::TempDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string database = dir + "/" + c.name + ".fdb";
        ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database, c.options));
        Stage stage(database, "SYSDBA", "corvinale");
        ASSERT_TRUE(stage.connected);
        if (c.leftover) {
            // Another definition than the one the stage creates: reused as it is.
            stage.ctx.queTrab->RunStatement(
                "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8), X INTEGER)");
            stage.ctx.queTrab->RunStatement("INSERT INTO TAB_CEP_TEMP VALUES ('01001000', 1)");
            stage.ctx.queTrab->RunStatement("INSERT INTO TAB_CEP_TEMP VALUES ('01001001', 2)");
        }
        const std::string before = ConnectionId(*stage.connection);

        EXPECT_EQ(PrepareStaging(stage.ctx), c.result);

        EXPECT_EQ(stage.view.Dialogs(), c.dialogs);
        EXPECT_TRUE(stage.connection->IsConnected());
        EXPECT_EQ(ConnectionId(*stage.connection) != before, c.reconnected);
        EXPECT_EQ(HasTable(*stage.connection, "TAB_CEP_TEMP"), c.stagingAfter);
        if (c.leftover) {
            EXPECT_EQ(stage.connection->CountRecords("TAB_CEP_TEMP"), c.result ? 0 : 2);
            EXPECT_EQ(
                Column(*stage.connection,
                       "SELECT RDB$FIELD_NAME AS V FROM RDB$RELATION_FIELDS "
                       "WHERE RDB$RELATION_NAME = 'TAB_CEP_TEMP' ORDER BY RDB$FIELD_POSITION"),
                (std::vector<std::string>{"NU_CEP", "X"}));
        }
    }
}

TEST(PrepareStaging, CreatesTheSevenColumnsWithoutKeyOrIndex) {
    const std::string database = test::TempDir() + "/columns.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database, "--dialect 3"));
    Stage stage(database, "SYSDBA", "corvinale");
    ASSERT_TRUE(PrepareStaging(stage.ctx));

    // Name, character length, NOT NULL, in table order.
    EXPECT_EQ(Column(*stage.connection,
                     "SELECT TRIM(RF.RDB$FIELD_NAME) || ' ' || F.RDB$FIELD_TYPE || ' ' || "
                     "F.RDB$CHARACTER_LENGTH || ' ' || COALESCE(RF.RDB$NULL_FLAG, 0) AS V "
                     "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F "
                     "ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
                     "WHERE RF.RDB$RELATION_NAME = 'TAB_CEP_TEMP' ORDER BY RF.RDB$FIELD_POSITION"),
              (std::vector<std::string>{"NU_CEP 14 8 1", "ID_TIPO_LOGR 14 10 0",
                                        "TE_DESCRICAO_CEP 14 70 0", "NM_BAIRRO 14 60 0",
                                        "SG_UF 14 2 0", "ID_MUNI_PREV 14 5 0", "ID_PAF 14 8 0"}));
    EXPECT_TRUE(Column(*stage.connection,
                       "SELECT RDB$INDEX_NAME AS V FROM RDB$INDICES "
                       "WHERE RDB$RELATION_NAME = 'TAB_CEP_TEMP'")
                    .empty());
    // The staging load can write to it at once.
    stage.ctx.queTrab->RunStatement(
        "INSERT INTO TAB_CEP_TEMP VALUES ('01001000', 'R', 'SE', 'CENTRO', 'SP', '50308', "
        "'21200010')");
    EXPECT_EQ(stage.connection->CountRecords("TAB_CEP_TEMP"), 1);
}

TEST(PrepareStaging, FailedReconnectLeavesItClosed) {
    const std::string database = test::TempDir() + "/vanishing.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database));
    Stage stage(database, "SYSDBA", "corvinale");
    ASSERT_TRUE(stage.connected);
    // The open attachment keeps working on the unlinked file; the reopen finds none.
    fs::remove(database);

    EXPECT_FALSE(PrepareStaging(stage.ctx));
    EXPECT_EQ(stage.view.Dialogs(),
              (std::vector<test::TRecordingView::Call>{{Kind::Error, kStagingFailed}}));
    EXPECT_FALSE(stage.connection->IsConnected());
}

TEST(PrepareStagingTcp, UserWhoMayNotCreateTables) {
    // Owned by SYSDBA: VORTAN_APP may connect and read, not create.
    const std::string path = test::ServerDbDir() + "/stage_nocreate.fdb";
    fs::remove(path);
    const std::string database = test::ServerAddress() + ":" + path;
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database));
    const TCredentials vortan = ChooseCredentials("vortanbd.fdb");
    Stage stage(database, vortan.user, vortan.password);
    ASSERT_TRUE(stage.connected);
    const std::string before = ConnectionId(*stage.connection);

    EXPECT_FALSE(PrepareStaging(stage.ctx));

    EXPECT_EQ(stage.view.Dialogs(),
              (std::vector<test::TRecordingView::Call>{{Kind::Error, kStagingFailed}}));
    ASSERT_TRUE(stage.connection->IsConnected());
    EXPECT_NE(ConnectionId(*stage.connection), before);
    EXPECT_FALSE(HasTable(*stage.connection, "TAB_CEP_TEMP"));
    stage.connection->CloseConnection();
    fs::remove(path);
}

}  // namespace
