// Switching the two secondary indexes off and on, for every shape of
// database, and a switch the user has no right to make.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "database/Credentials.h"
#include "database/Indexes.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/RecordingView.h"
#include "tests/StageFixture.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

// The state of each of the two indexes: "on", "off", or absent from the map.
std::map<std::string, std::string> IndexStates(TConnection& connection) {
    std::unique_ptr<TQuery> query = connection.CreateQuery();
    std::map<std::string, std::string> states;
    for (query->OpenSelect("SELECT TRIM(RDB$INDEX_NAME) AS NAME, "
                           "COALESCE(RDB$INDEX_INACTIVE, 0) AS OFF FROM RDB$INDICES "
                           "WHERE RDB$INDEX_NAME IN ('IDX_CEPS_LOGR', 'IDX_CEPS_MUNIC')");
         !query->AtEnd(); query->Next())
        states[query->ColumnText("NAME")] = query->ColumnText("OFF") == "1" ? "off" : "on";
    return states;
}

using Stage = test::TStage;

using States = std::map<std::string, std::string>;

TEST(SwitchIndexes, EveryShapeOfDatabase) {
    const struct Case {
        const char* name;
        const char* options;
        States off;  // after switching off (and on again: the same names, all "on")
    } cases[] = {
        {"both", "", {{"IDX_CEPS_LOGR", "off"}, {"IDX_CEPS_MUNIC", "off"}}},
        {"both_dialect3", "--dialect 3", {{"IDX_CEPS_LOGR", "off"}, {"IDX_CEPS_MUNIC", "off"}}},
        {"neither", "--no-index LOGR --no-index MUNIC", {}},
        {"only_logr", "--no-index MUNIC", {{"IDX_CEPS_LOGR", "off"}}},
        {"only_munic", "--no-index LOGR", {{"IDX_CEPS_MUNIC", "off"}}},
    };
    const std::string dir = test::TempDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string database = dir + "/" + c.name + ".fdb";
        ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database, c.options));
        Stage stage(database, "SYSDBA", "corvinale");
        ASSERT_TRUE(stage.connected);
        stage.ctx.queTrab->RunStatement(
            "INSERT INTO TAB_CEP (NU_CEP, TE_DESCRICAO_CEP, ID_MUNI_PREV) "
            "VALUES ('01001000', 'SE', '50308')");

        SwitchIndexes(stage.ctx, false);
        EXPECT_EQ(IndexStates(*stage.connection), c.off);
        // Switching off what is already off is no failure.
        SwitchIndexes(stage.ctx, false);
        EXPECT_EQ(IndexStates(*stage.connection), c.off);

        SwitchIndexes(stage.ctx, true);
        States on = c.off;
        for (auto& [name, state] : on)
            state = "on";
        EXPECT_EQ(IndexStates(*stage.connection), on);
        EXPECT_TRUE(stage.view.calls.empty());
    }
}

TEST(SwitchIndexesTcp, FailureKeepsTheSwitchesAlreadyMade) {
    // Owned by SYSDBA, without IDX_CEPS_LOGR. VORTAN_APP gets the right to
    // create tables and makes IDX_CEPS_LOGR on a table of its own, which it may
    // switch; IDX_CEPS_MUNIC on SYSDBA's TAB_CEP it may not.
    const std::string path = test::ServerDbDir() + "/stage_noalter.fdb";
    fs::remove(path);
    const std::string database = test::ServerAddress() + ":" + path;
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database, "--no-index LOGR"));
    {
        Stage admin(database, "SYSDBA", "corvinale");
        ASSERT_TRUE(admin.connected);
        admin.ctx.queTrab->RunStatement("GRANT CREATE TABLE TO USER VORTAN_APP");
    }
    const TCredentials vortan = ChooseCredentials("vortanbd.fdb");
    Stage stage(database, vortan.user, vortan.password);
    ASSERT_TRUE(stage.connected);
    stage.ctx.queTrab->RunStatement("CREATE TABLE VORTAN_OWN (X CHAR(8))");
    stage.ctx.queTrab->RunStatement("CREATE INDEX IDX_CEPS_LOGR ON VORTAN_OWN (X)");

    EXPECT_THROW(SwitchIndexes(stage.ctx, false), DatabaseError);
    EXPECT_EQ(IndexStates(*stage.connection),
              (States{{"IDX_CEPS_LOGR", "off"}, {"IDX_CEPS_MUNIC", "on"}}));
    EXPECT_THROW(SwitchIndexes(stage.ctx, true), DatabaseError);
    EXPECT_EQ(IndexStates(*stage.connection),
              (States{{"IDX_CEPS_LOGR", "on"}, {"IDX_CEPS_MUNIC", "on"}}));
    EXPECT_TRUE(stage.view.calls.empty());
    stage.connection->CloseConnection();
    fs::remove(path);
}

}  // namespace
