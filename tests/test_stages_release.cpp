// The release check against a real QUELMAR_INI, under the Brazilian and
// other regional settings; the stamp and the drop of the staging table.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "database/Credentials.h"
#include "database/Release.h"
#include "database/firebird/FirebirdConnection.h"
#include "import/AnsiText.h"
#include "tests/RecordingView.h"
#include "tests/StageFixture.h"
#include "tests/TestSupport.h"

using namespace cep;
using Kind = test::TRecordingView::Kind;
using Calls = std::vector<test::TRecordingView::Call>;

namespace {

// "A data desta atualização é igual\ra da tabela de CEP.\r\rSobrepõe?"
const std::string kSameRelease =
    "A data desta atualiza\xE7\xE3o \xE9 igual\ra da tabela de CEP.\r\rSobrep\xF5"
    "e?";
// "Esta atualização é anterior a data \rda tabela de CEP: "
const std::string kOlderRelease =
    "Esta atualiza\xE7\xE3o \xE9 anterior a data \rda tabela de CEP: ";

struct Stage : test::TStage {
    using TStage::TStage;
    // The QUELMAR_INI rows, in insertion order; nullopt is a NULL value.
    void Settings(const std::vector<std::pair<std::string, std::optional<std::string>>>& rows) {
        ctx.queTrab->RunStatement("DELETE FROM QUELMAR_INI");
        for (const auto& [item, value] : rows)
            ctx.queTrab->RunStatement("INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES (" +
                                      QuoteSql(item) + ", " +
                                      (value ? QuoteSql(*value) : std::string("NULL")) + ")");
    }
    std::vector<std::string> Rows() {
        std::unique_ptr<TQuery> query = connection->CreateQuery();
        std::vector<std::string> rows;
        for (query->OpenSelect("SELECT ID_ITEM, TX_DESCRICAO FROM QUELMAR_INI ORDER BY ID_ITEM");
             !query->AtEnd(); query->Next())
            rows.push_back(query->ColumnText("ID_ITEM") + "=" + query->ColumnText("TX_DESCRICAO"));
        return rows;
    }
};

TEST(CheckRelease, OutcomesAgainstTheRecordedDate) {
    const RegionalSettings brazil = BrazilianSettings();
    const RegionalSettings monthFirst{"M/d/yyyy", '/', ':'};
    const RegionalSettings dotted{"dd.MM.yyyy", '.', ':'};
    const struct Case {
        const char* name;
        std::vector<std::optional<std::string>> recorded;  // DT_ATU_CEP rows
        RegionalSettings regional;
        bool answer;
        bool result;
        Calls dialogs;
    } cases[] = {
        {"no row", {}, brazil, false, true, {}},
        {"earlier", {"31/12/2017"}, brazil, false, true, {}},
        {"equal, yes", {"01/02/2018"}, brazil, true, true, {{Kind::Question, kSameRelease}}},
        {"equal, no", {"01/02/2018"}, brazil, false, false, {{Kind::Question, kSameRelease}}},
        {"equal with dashes", {"01-02-2018"}, brazil, true, true, {{Kind::Question, kSameRelease}}},
        {"equal, two-digit year",
         {"01/02/18"},
         brazil,
         true,
         true,
         {{Kind::Question, kSameRelease}}},
        {"equal, trailing blanks",
         {"01/02/2018   "},
         brazil,
         false,
         false,
         {{Kind::Question, kSameRelease}}},
        {"later",
         {"15/03/2018"},
         brazil,
         true,
         false,
         {{Kind::Error, kOlderRelease + "15/03/2018"}}},
        {"later with dashes, blanks kept",
         {"15-03-2018  "},
         brazil,
         true,
         false,
         {{Kind::Error, kOlderRelease + "15/03/2018  "}}},
        {"year first: day 2018", {"2018-02-01"}, brazil, true, true, {}},
        {"empty", {""}, brazil, true, true, {}},
        {"null", {std::nullopt}, brazil, true, true, {}},
        {"not a date", {"fevereiro"}, brazil, true, true, {}},
        {"first row decides",
         {"15/03/2018", "31/12/2017"},
         brazil,
         true,
         false,
         {{Kind::Error, kOlderRelease + "15/03/2018"}}},
        {"first row decides, earlier", {"31/12/2017", "15/03/2018"}, brazil, true, true, {}},
        // Month first: the release reads 2 January 2018; 15/03/2018 is no date.
        {"month first, month 15", {"15/03/2018"}, monthFirst, true, true, {}},
        {"month first, equal",
         {"01/02/2018"},
         monthFirst,
         true,
         true,
         {{Kind::Question, kSameRelease}}},
        {"month first, later",
         {"01/03/2018"},
         monthFirst,
         true,
         false,
         {{Kind::Error, kOlderRelease + "01/03/2018"}}},
        // The release date itself does not read with a full stop.
        {"full stop, later", {"15.03.2018"}, dotted, true, true, {}},
        {"full stop, equal", {"01/02/2018"}, dotted, true, true, {}},
    };
    const std::string database = test::TempDir() + "/release.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stage stage(database);
        ASSERT_TRUE(stage.connected);
        // Other settings are no concern of the check.
        std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
            {"DT_ATU_MUNI", "15/03/2099"}};
        for (const auto& value : c.recorded)
            rows.push_back({"DT_ATU_CEP", value});
        stage.Settings(rows);
        const std::vector<std::string> before = stage.Rows();
        stage.ctx.regional = c.regional;
        stage.view.answer = c.answer;

        EXPECT_EQ(CheckRelease(stage.ctx), c.result);

        EXPECT_EQ(stage.view.Dialogs(), c.dialogs);
        EXPECT_EQ(stage.Rows(), before);
    }
}

TEST(CheckRelease, MissingSettingsTableRaises) {
    const std::string database = test::TempDir() + "/bare.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database, "--bare"));
    Stage stage(database);
    ASSERT_TRUE(stage.connected);
    EXPECT_THROW(CheckRelease(stage.ctx), DatabaseError);
    EXPECT_TRUE(stage.view.calls.empty());
    EXPECT_THROW(StampRelease(stage.ctx), DatabaseError);
}

TEST(StampRelease, InsertsOrUpdatesEveryRow) {
    const std::string database = test::TempDir() + "/stamp.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database));
    Stage stage(database);
    ASSERT_TRUE(stage.connected);

    stage.Settings({{"DT_ATU_MUNI", "15/03/2017"}});
    StampRelease(stage.ctx);
    EXPECT_EQ(stage.Rows(),
              (std::vector<std::string>{"DT_ATU_CEP=01/02/2018", "DT_ATU_MUNI=15/03/2017"}));
    // The next check meets the same release and asks.
    EXPECT_FALSE(CheckRelease(stage.ctx));
    EXPECT_EQ(stage.view.Dialogs(), (Calls{{Kind::Question, kSameRelease}}));

    stage.Settings({{"DT_ATU_CEP", "31/12/2017"},
                    {"DT_ATU_MUNI", "15/03/2017"},
                    {"DT_ATU_CEP", std::nullopt}});
    // A select left open on the work query is closed first.
    stage.ctx.queTrab->OpenSelect("SELECT ID_ITEM FROM QUELMAR_INI");
    StampRelease(stage.ctx);
    EXPECT_EQ(stage.Rows(),
              (std::vector<std::string>{"DT_ATU_CEP=01/02/2018", "DT_ATU_CEP=01/02/2018",
                                        "DT_ATU_MUNI=15/03/2017"}));
}

TEST(DropStaging, DropsTheTableOrRaises) {
    const std::string database = test::TempDir() + "/drop.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database));
    Stage stage(database);
    ASSERT_TRUE(stage.connected);
    stage.ctx.queTrab->RunStatement("CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL)");
    stage.ctx.queTrab->RunStatement("INSERT INTO TAB_CEP_TEMP VALUES ('01001000')");
    DropStaging(stage.ctx);
    EXPECT_EQ(stage.connection->ListUserTables(),
              (std::vector<std::string>{"QUELMAR_INI", "TAB_CEP", "TAB_MUNI"}));
    EXPECT_THROW(DropStaging(stage.ctx), DatabaseError);
}

}  // namespace
