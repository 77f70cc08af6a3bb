#include "database/Release.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "common/AnsiText.h"
#include "common/DateConversion.h"

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
struct TCloseOnExit {
    TQuery& query;
    ~TCloseOnExit() { query.CloseSelect(); }
};

// The recorded value of the first row, or none when it cannot be read: such
// a value counts as no date recorded.
std::optional<std::string> RecordedText(const TQuery& query) {
    try {
        return query.ColumnText("TX_DESCRICAO");
    } catch (const TDatabaseError&) {
        return std::nullopt;
    }
}

}  // namespace

bool CheckRelease(TStageContext& run) {
    const std::unique_ptr<TQuery> query = run.dbsMain.CreateQuery();
    const TCloseOnExit closer{*query};
    query->OpenSelect(kReadRelease);
    if (query->AtEnd())
        return true;
    std::optional<std::string> stored = RecordedText(*query);
    if (!stored)
        return true;
    std::replace(stored->begin(), stored->end(), '-', '/');
    const std::optional<TDate> recorded = StrToDate(*stored, run.FRegional);
    const std::optional<TDate> release = StrToDate(ReleaseDate, run.FRegional);
    if (!recorded || !release || *recorded < *release)
        return true;
    if (*recorded == *release)
        return run.FView.AskYesNo(kSameRelease);
    run.FView.ShowError(kOlderRelease + *stored);
    return false;
}

void StampRelease(TQuery& query) {
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

void DropStaging(TQuery& query) {
    query.RunStatement(kDropStaging);
}

}  // namespace cep
