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
#include "tests/TestDatabase.h"
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

using test::TStage;

using TStates = std::map<std::string, std::string>;

TEST(SwitchIndexes, EveryShapeOfDatabase) {
    const struct Case {
        const char* name;
        const char* options;
        TStates off;  // after switching off (and on again: the same names, all "on")
    } cases[] = {
        {"both", "", {{"IDX_CEPS_LOGR", "off"}, {"IDX_CEPS_MUNIC", "off"}}},
        {"both_dialect3", "--dialect 3", {{"IDX_CEPS_LOGR", "off"}, {"IDX_CEPS_MUNIC", "off"}}},
        {"neither", "--no-index LOGR --no-index MUNIC", {}},
        {"only_logr", "--no-index MUNIC", {{"IDX_CEPS_LOGR", "off"}}},
        {"only_munic", "--no-index LOGR", {{"IDX_CEPS_MUNIC", "off"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TTestDatabase target(test::TWhere::Embedded, c.options, "", c.name);
        TStage stage(target.Database(), "SYSDBA", "corvinale");
        ASSERT_TRUE(stage.FConnected);
        stage.FRun.queTrab->RunStatement(
            "INSERT INTO TAB_CEP (NU_CEP, TE_DESCRICAO_CEP, ID_MUNI_PREV) "
            "VALUES ('01001000', 'SE', '50308')");

        SwitchIndexes(*stage.FRun.queTrab, false);
        EXPECT_EQ(IndexStates(*stage.FConnection), c.off);
        // Switching off what is already off is no failure.
        SwitchIndexes(*stage.FRun.queTrab, false);
        EXPECT_EQ(IndexStates(*stage.FConnection), c.off);

        SwitchIndexes(*stage.FRun.queTrab, true);
        TStates on = c.off;
        for (auto& [name, state] : on)
            state = "on";
        EXPECT_EQ(IndexStates(*stage.FConnection), on);
        EXPECT_TRUE(stage.FView.FCalls.empty());
    }
}

TEST(SwitchIndexesTcp, FailureKeepsTheSwitchesAlreadyMade) {
    // Owned by SYSDBA, without IDX_CEPS_LOGR. VORTAN_APP gets the right to
    // create tables and makes IDX_CEPS_LOGR on a table of its own, which it may
    // switch; IDX_CEPS_MUNIC on SYSDBA's TAB_CEP it may not.
    const test::TTestDatabase target(test::TWhere::Tcp, "--no-index LOGR");
    target.Run("GRANT CREATE TABLE TO USER VORTAN_APP");
    const TCredentials vortan = ChooseCredentials("vortanbd.fdb");
    TStage stage(target.Database(), vortan.user, vortan.password);
    ASSERT_TRUE(stage.FConnected);
    stage.FRun.queTrab->RunStatement("CREATE TABLE VORTAN_OWN (X CHAR(8))");
    stage.FRun.queTrab->RunStatement("CREATE INDEX IDX_CEPS_LOGR ON VORTAN_OWN (X)");

    EXPECT_THROW(SwitchIndexes(*stage.FRun.queTrab, false), TDatabaseError);
    EXPECT_EQ(IndexStates(*stage.FConnection),
              (TStates{{"IDX_CEPS_LOGR", "off"}, {"IDX_CEPS_MUNIC", "on"}}));
    EXPECT_THROW(SwitchIndexes(*stage.FRun.queTrab, true), TDatabaseError);
    EXPECT_EQ(IndexStates(*stage.FConnection),
              (TStates{{"IDX_CEPS_LOGR", "on"}, {"IDX_CEPS_MUNIC", "on"}}));
    EXPECT_TRUE(stage.FView.FCalls.empty());
    stage.FConnection->CloseConnection();
}

}  // namespace
