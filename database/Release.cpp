#include "database/Release.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "import/AnsiText.h"
#include "import/DateConversion.h"

namespace cep {

namespace {

// Double quotes: a string value in dialect 1.
constexpr char kReadRelease[] =
    "SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = \"DT_ATU_CEP\"";
constexpr char kDropStaging[] = "DROP TABLE TAB_CEP_TEMP";

// "A data desta atualização é igual\ra da tabela de CEP.\r\rSobrepõe?"
constexpr char kSameRelease[] =
    "A data desta atualiza\xE7\xE3o \xE9 igual\ra da tabela de CEP.\r\rSobrep\xF5"
    "e?";
// "Esta atualização é anterior a data \rda tabela de CEP: "
constexpr char kOlderRelease[] = "Esta atualiza\xE7\xE3o \xE9 anterior a data \rda tabela de CEP: ";

// Closes a query on every way out of a routine.
struct CloseOnExit {
    TQuery& query;
    ~CloseOnExit() { query.CloseSelect(); }
};

}  // namespace

bool CheckRelease(TRunContext& ctx) {
    const std::unique_ptr<TQuery> query = ctx.dbsMain.CreateQuery();
    const CloseOnExit closer{*query};
    query->OpenSelect(kReadRelease);
    if (query->AtEnd())
        return true;
    try {
        std::string stored = query->ColumnText("TX_DESCRICAO");
        std::replace(stored.begin(), stored.end(), '-', '/');
        const std::optional<Date> recorded = StrToDate(stored, ctx.regional);
        const std::optional<Date> release = StrToDate(ReleaseDate, ctx.regional);
        // A date that cannot be read counts as no date recorded.
        if (!recorded || !release || *recorded < *release)
            return true;
        if (*recorded == *release)
            return ctx.view.AskYesNo(kSameRelease);
        ctx.view.ShowError(kOlderRelease + stored);
        return false;
    } catch (...) {
        return true;
    }
}

void StampRelease(TRunContext& ctx) {
    TQuery& query = *ctx.queTrab;
    query.CloseSelect();
    query.OpenSelect(kReadRelease);
    const bool recorded = !query.AtEnd();
    query.CloseSelect();
    const std::string value = QuoteSql(ReleaseDate);
    query.RunStatement(
        recorded
            ? "UPDATE QUELMAR_INI SET TX_DESCRICAO = " + value + " WHERE ID_ITEM = \"DT_ATU_CEP\""
            : "INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES (\"DT_ATU_CEP\", " + value +
                  ")");
}

void DropStaging(TRunContext& ctx) {
    ctx.queTrab->RunStatement(kDropStaging);
}

}  // namespace cep
