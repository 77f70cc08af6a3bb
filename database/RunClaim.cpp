#include "database/RunClaim.h"

namespace cep {

namespace {

// "A tabela de CEP está em uso por outra atualização ou por outro programa."
constexpr char kInUse[] =
    "A tabela de CEP est\xE1 em uso por outra atualiza\xE7\xE3o ou por outro programa.";

}  // namespace

std::unique_ptr<TTransaction> ClaimDatabase(TStageContext& run) {
    TTransactionOptions options;
    options.lockTimeout = kClaimWaitSeconds;
    options.protectedTables = {"TAB_CEP"};
    try {
        return run.dbsMain.StartTransaction(options);
    } catch (const TDatabaseError& e) {
        if (e.Failure() != TDatabaseFailure::LockConflict)
            throw;
        run.FView.ShowError(kInUse, e.what());
        return nullptr;
    }
}

}  // namespace cep
