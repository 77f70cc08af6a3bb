#include "database/StagingTable.h"

#include <string>
#include <vector>

namespace cep {

namespace {

constexpr char kCreateStaging[] =
    "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
    "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(60), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
    "ID_PAF CHAR(8))";
constexpr char kEmptyStaging[] = "DELETE FROM TAB_CEP_TEMP ";

constexpr char kNoDestination[] = "Tabela de CEP inexistente no BD.";
// "Erro na criação da tabela temporária."
constexpr char kStagingFailed[] = "Erro na cria\xE7\xE3o da tabela tempor\xE1ria.";

}  // namespace

bool PrepareStaging(TRunContext& ctx) {
    bool result = true;
    bool destinationFound = false;
    bool stagingFound = false;
    bool failed = false;
    try {
        const std::vector<std::string> names = ctx.dbsMain.ListUserTables();
        for (const std::string& name : names) {
            if (name == "TAB_CEP")
                destinationFound = true;
            else if (name == "TAB_CEP_TEMP")
                stagingFound = true;
        }
        if (!destinationFound) {
            ctx.view.ShowError(kNoDestination);
            result = false;
        } else {
            ctx.queTrab->RunStatement(stagingFound ? kEmptyStaging : kCreateStaging);
        }
    } catch (...) {
        failed = true;
    }
    // Whenever the staging table was not there before, reconnect: also after a
    // failed listing or CREATE, so the connection is in a known state.
    if (!stagingFound) {
        try {
            const ConnectionParams params = ctx.dbsMain.Params();
            ctx.dbsMain.CloseConnection();
            ctx.dbsMain.OpenConnection(params);
        } catch (...) {
            failed = true;
        }
    }
    if (failed) {
        ctx.view.ShowError(kStagingFailed);
        result = false;
    }
    return result;
}

}  // namespace cep
