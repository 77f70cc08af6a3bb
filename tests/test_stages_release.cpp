// The release check against a real QUELMAR_INI, under the Brazilian and
// other regional settings; the stamp and the drop of the staging table.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/AnsiText.h"
#include "database/Credentials.h"
#include "database/Release.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/RecordingView.h"
#include "tests/StageFixture.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

using namespace cep;
using TKind = test::TRecordingView::TKind;
using TCalls = std::vector<test::TRecordingView::TCall>;

namespace {

// "A data desta atualização é igual\ra da tabela de CEP.\r\rSobrepõe?"
const std::string kSameRelease =
    "A data desta atualiza\xE7\xE3o \xE9 igual\ra da tabela de CEP.\r\rSobrep\xF5"
    "e?";
// "Esta atualização é anterior a data \rda tabela de CEP: "
const std::string kOlderRelease =
    "Esta atualiza\xE7\xE3o \xE9 anterior a data \rda tabela de CEP: ";

struct TReleaseStage : test::TStage {
    using TStage::TStage;
    // The QUELMAR_INI rows, in insertion order; nullopt is a NULL value.
    void Settings(const std::vector<std::pair<std::string, std::optional<std::string>>>& rows) {
        FRun.queTrab->RunStatement("DELETE FROM QUELMAR_INI");
        for (const auto& [item, value] : rows)
            FRun.queTrab->RunStatement("INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES (" +
                                       QuoteSql(item) + ", " +
                                       (value ? QuoteSql(*value) : std::string("NULL")) + ")");
    }
    std::vector<std::string> Rows() {
        std::unique_ptr<TQuery> query = FConnection->CreateQuery();
        std::vector<std::string> rows;
        for (query->OpenSelect("SELECT ID_ITEM, TX_DESCRICAO FROM QUELMAR_INI ORDER BY ID_ITEM");
             !query->AtEnd(); query->Next())
            rows.push_back(query->ColumnText("ID_ITEM") + "=" + query->ColumnText("TX_DESCRICAO"));
        return rows;
    }
};

TEST(CheckRelease, OutcomesAgainstTheRecordedDate) {
    const TRegionalSettings brazil = BrazilianSettings();
    const TRegionalSettings monthFirst{"M/d/yyyy", '/', ':'};
    const TRegionalSettings dotted{"dd.MM.yyyy", '.', ':'};
    const struct Case {
        const char* name;
        std::vector<std::optional<std::string>> recorded;  // DT_ATU_CEP rows
        TRegionalSettings regional;
        bool answer;
        bool result;
        TCalls dialogs;
    } cases[] = {
        {"no row", {}, brazil, false, true, {}},
        {"earlier", {"31/12/2017"}, brazil, false, true, {}},
        {"equal, yes", {"01/02/2018"}, brazil, true, true, {{TKind::Question, kSameRelease}}},
        {"equal, no", {"01/02/2018"}, brazil, false, false, {{TKind::Question, kSameRelease}}},
        {"equal with dashes",
         {"01-02-2018"},
         brazil,
         true,
         true,
         {{TKind::Question, kSameRelease}}},
        {"equal, two-digit year",
         {"01/02/18"},
         brazil,
         true,
         true,
         {{TKind::Question, kSameRelease}}},
        {"equal, trailing blanks",
         {"01/02/2018   "},
         brazil,
         false,
         false,
         {{TKind::Question, kSameRelease}}},
        {"later",
         {"15/03/2018"},
         brazil,
         true,
         false,
         {{TKind::Error, kOlderRelease + "15/03/2018"}}},
        {"later with dashes, blanks kept",
         {"15-03-2018  "},
         brazil,
         true,
         false,
         {{TKind::Error, kOlderRelease + "15/03/2018  "}}},
        {"year first: day 2018", {"2018-02-01"}, brazil, true, true, {}},
        {"empty", {""}, brazil, true, true, {}},
        {"null", {std::nullopt}, brazil, true, true, {}},
        {"not a date", {"fevereiro"}, brazil, true, true, {}},
        {"first row decides",
         {"15/03/2018", "31/12/2017"},
         brazil,
         true,
         false,
         {{TKind::Error, kOlderRelease + "15/03/2018"}}},
        {"first row decides, earlier", {"31/12/2017", "15/03/2018"}, brazil, true, true, {}},
        // Month first: the release reads 2 January 2018; 15/03/2018 is no date.
        {"month first, month 15", {"15/03/2018"}, monthFirst, true, true, {}},
        {"month first, equal",
         {"01/02/2018"},
         monthFirst,
         true,
         true,
         {{TKind::Question, kSameRelease}}},
        {"month first, later",
         {"01/03/2018"},
         monthFirst,
         true,
         false,
         {{TKind::Error, kOlderRelease + "01/03/2018"}}},
        // The release date itself does not read with a full stop.
        {"full stop, later", {"15.03.2018"}, dotted, true, true, {}},
        {"full stop, equal", {"01/02/2018"}, dotted, true, true, {}},
    };
    const test::TTestDatabase target(test::TWhere::Embedded);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TReleaseStage stage(target.Database());
        ASSERT_TRUE(stage.FConnected);
        // Other settings are no concern of the check.
        std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
            {"DT_ATU_MUNI", "15/03/2099"}};
        for (const auto& value : c.recorded)
            rows.push_back({"DT_ATU_CEP", value});
        stage.Settings(rows);
        const std::vector<std::string> before = stage.Rows();
        stage.FRun.FRegional = c.regional;
        stage.FView.FAnswer = c.answer;

        EXPECT_EQ(CheckRelease(stage.FRun), c.result);

        EXPECT_EQ(stage.FView.Dialogs(), c.dialogs);
        EXPECT_EQ(stage.Rows(), before);
    }
}

TEST(CheckRelease, MissingSettingsTableRaises) {
    const test::TTestDatabase target(test::TWhere::Embedded, "--bare");
    TReleaseStage stage(target.Database());
    ASSERT_TRUE(stage.FConnected);
    EXPECT_THROW(CheckRelease(stage.FRun), TDatabaseError);
    EXPECT_TRUE(stage.FView.FCalls.empty());
    EXPECT_THROW(StampRelease(*stage.FRun.queTrab), TDatabaseError);
}

TEST(StampRelease, InsertsOrUpdatesEveryRow) {
    const test::TTestDatabase target(test::TWhere::Embedded);
    TReleaseStage stage(target.Database());
    ASSERT_TRUE(stage.FConnected);

    stage.Settings({{"DT_ATU_MUNI", "15/03/2017"}});
    StampRelease(*stage.FRun.queTrab);
    EXPECT_EQ(stage.Rows(),
              (std::vector<std::string>{"DT_ATU_CEP=01/02/2018", "DT_ATU_MUNI=15/03/2017"}));
    // The next check meets the same release and asks.
    EXPECT_FALSE(CheckRelease(stage.FRun));
    EXPECT_EQ(stage.FView.Dialogs(), (TCalls{{TKind::Question, kSameRelease}}));

    stage.Settings({{"DT_ATU_CEP", "31/12/2017"},
                    {"DT_ATU_MUNI", "15/03/2017"},
                    {"DT_ATU_CEP", std::nullopt}});
    // A select left open on the work query is closed first.
    stage.FRun.queTrab->OpenSelect("SELECT ID_ITEM FROM QUELMAR_INI");
    StampRelease(*stage.FRun.queTrab);
    EXPECT_EQ(stage.Rows(),
              (std::vector<std::string>{"DT_ATU_CEP=01/02/2018", "DT_ATU_CEP=01/02/2018",
                                        "DT_ATU_MUNI=15/03/2017"}));
}

TEST(DropStaging, DropsTheTableOrRaises) {
    const test::TTestDatabase target(test::TWhere::Embedded);
    TReleaseStage stage(target.Database());
    ASSERT_TRUE(stage.FConnected);
    stage.FRun.queTrab->RunStatement("CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL)");
    stage.FRun.queTrab->RunStatement("INSERT INTO TAB_CEP_TEMP VALUES ('01001000')");
    DropStaging(*stage.FRun.queTrab);
    EXPECT_EQ(stage.FConnection->ListUserTables(),
              (std::vector<std::string>{"QUELMAR_INI", "TAB_CEP", "TAB_MUNI"}));
    EXPECT_THROW(DropStaging(*stage.FRun.queTrab), TDatabaseError);
}

}  // namespace
