#include "database/StagingTable.h"

#include <string>
#include <vector>

namespace cep {

namespace {

constexpr char kNoDestination[] = "Tabela de CEP inexistente no BD.";
// "Erro na criação da tabela temporária."
constexpr char kStagingFailed[] = "Erro na cria\xE7\xE3o da tabela tempor\xE1ria.";

}  // namespace

bool PrepareStaging(TStageContext& run, bool reconnect) {
    bool result = true;
    bool destinationFound = false;
    bool stagingFound = false;
    std::string failure;  // the reason of the first failure
    try {
        const std::vector<std::string> names = run.dbsMain.ListUserTables();
        for (const std::string& name : names) {
            if (name == "TAB_CEP")
                destinationFound = true;
            else if (name == "TAB_CEP_TEMP")
                stagingFound = true;
        }
        if (!destinationFound) {
            run.FView.ShowError(kNoDestination);
            result = false;
        } else {
            run.queTrab->RunStatement(stagingFound ? kEmptyStaging : kCreateStaging);
        }
    } catch (const TDatabaseError& e) {
        failure = e.what();
    }
    // Whenever the staging table was not there before, reconnect: also after a
    // failed listing or CREATE, so the connection is in a known state.
    if (!stagingFound && reconnect) {
        try {
            Reconnect(run.dbsMain);
        } catch (const TDatabaseError& e) {
            if (failure.empty())
                failure = e.what();
        }
    }
    if (!failure.empty()) {
        run.FView.ShowError(kStagingFailed, failure);
        result = false;
    }
    return result;
}

}  // namespace cep
