#include "import/ImportRun.h"

#include <exception>
#include <memory>
#include <optional>

#include "database/Credentials.h"
#include "database/Indexes.h"
#include "database/Merge.h"
#include "database/Release.h"
#include "database/RunClaim.h"
#include "database/StagingTable.h"
#include "database/TableShape.h"
#include "database/Withdrawn.h"
#include "import/MunicipalityLoad.h"
#include "import/RunFolder.h"
#include "import/StagingLoad.h"

namespace cep {

namespace {

const char kStatusIndexesOff[] = "Desativando indices...";
const char kStatusIndexesOn[] = "Ativando \xEDndices. Aguarde...";  // índices

// "O cancelamento chegou tarde: a atualização já tinha sido aplicada."
const char kCancelTooLate[] =
    "O cancelamento chegou tarde: a atualiza\xE7\xE3o j\xE1 tinha sido aplicada.";
// "Os índices da tabela de CEP não puderam ser ativados: "
const char kIndexesStayOff[] = "Os \xEDndices da tabela de CEP n\xE3o puderam ser ativados: ";
// "As estatísticas dos índices da tabela de CEP não foram recalculadas: "
const char kStatisticsStale[] =
    "As estat\xEDsticas dos \xEDndices da tabela de CEP n\xE3o foram recalculadas: ";
// "A tabela temporária não pôde ser removida: "
const char kStagingStays[] =
    "A tabela tempor\xE1ria n\xE3o p\xF4"
    "de ser removida: ";
// "A pasta dos arquivos temporários não pôde ser removida: "
const char kFolderStays[] =
    "A pasta dos arquivos tempor\xE1rios n\xE3o p\xF4"
    "de ser removida: ";

// One run, in its stages. Everything the run changes in TAB_CEP, TAB_MUNI and
// QUELMAR_INI goes through one transaction, `FApply`, committed once at the
// end; the staging table is scratch, loaded in transactions of its own, and
// the index switches are committed as they are made and always undone.
class TImportRun {
  public:
    TImportRun(TRunContext& run, const std::string& path, const TDataSetSource& dataSets)
        : FRun(run), FPath(path), FDataSets(dataSets) {}

    TRunResult Run();

  private:
    enum class TStop { None, Stopped, AccessError };

    // Connects, takes hold of the database and checks it; the reason to stop
    // before anything is written, if there is one.
    TStop Prepare();
    // Writes the release in the apply transaction and commits it.
    void Apply();
    // What always runs at the end: the staging table dropped, the indexes
    // switched on, the run's folder removed.
    void CleanUp();
    void Note(const std::string& note) { FResult.notes.push_back(note); }

    TRunContext& FRun;
    const std::string& FPath;
    const TDataSetSource& FDataSets;
    TRunResult FResult;
    std::unique_ptr<TTransaction> FApply;
    std::unique_ptr<TQuery> FApplyQuery;
    std::optional<TRunFolder> FFolder;
    bool FStagingReady = false;
    bool FIndexesOff = false;  // switched off, by this run or by an earlier one
    bool FCancelled = false;
};

TImportRun::TStop TImportRun::Prepare() {
    FDataSets.Verify();  // a release that is not all records is refused first
    const TCredentials credentials = ChooseCredentials(FPath);
    if (!ConnectDatabase(FRun.dbsMain, FPath, credentials.user, credentials.password,
                         &FResult.detail))
        return TStop::AccessError;
    FResult.detail.clear();

    FApply = ClaimDatabase(FRun);
    if (!FApply)
        return TStop::Stopped;
    FApplyQuery = FRun.dbsMain.CreateQuery(FApply.get());

    // Indexes a killed run left off are switched on again, whatever follows.
    if (!InactiveIndexes(*FRun.queTrab).empty())
        FIndexesOff = true;

    if (!PrepareStaging(FRun, /*reconnect=*/false))
        return FRun.dbsMain.IsConnected() ? TStop::Stopped : TStop::AccessError;
    FStagingReady = true;
    if (!CheckDestination(FRun) || !CheckRelease(FRun))
        return TStop::Stopped;
    return TStop::None;
}

void TImportRun::Apply() {
    TRunView& view = FRun.FView;
    FFolder.emplace(FRun.FAppDir);
    const std::string muniFile = FFolder->Path() + "TempMuni.txt";
    const std::string cepFile = FFolder->Path() + "Temp.txt";
    const std::string excFile = FFolder->Path() + "TempExc.txt";

    FDataSets.Extract(kTabMuni, muniFile);
    LoadMunicipalities(FRun, *FApplyQuery, muniFile);
    if (FRun.FCancelRequested)
        return;
    FDataSets.Extract(kTabCep, cepFile);
    // Withdrawn codes are optional in a release; one that has them must have
    // them written out.
    if (FDataSets.Contains(kTabCepExc))
        FDataSets.Extract(kTabCepExc, excFile);

    FRun.SetRunState(TRunState::Staging);
    LoadStaging(FRun, cepFile);
    FRun.SetRunState(TRunState::Idle);
    if (FRun.FCancelRequested)
        return;
    view.SetStatus(kStatusIndexesOff);
    view.Repaint();
    FIndexesOff = true;
    SwitchIndexes(*FRun.queTrab, false);
    if (!MergeStaging(FRun, *FApply))
        return;
    FResult.deleted = RemoveWithdrawnStage(FRun, *FApplyQuery, excFile);
    StampRelease(*FApplyQuery);
    // The staging table goes, and the indexes are rebuilt, in the same commit:
    // what the commit leaves is the release, whole, with its indexes.
    view.SetStatus(kStatusIndexesOn);
    view.SetRemaining("");
    view.SetProgressPosition(0);
    view.Repaint();
    DropStaging(*FApplyQuery);
    SwitchIndexes(*FApplyQuery, true);
    // The last moment a cancel still means nothing is applied.
    if (FRun.FCancelRequested)
        return;
    FApplyQuery.reset();
    FApply->Commit();
    FResult.applied = true;
    FStagingReady = false;
    FIndexesOff = false;
}

void TImportRun::CleanUp() {
    TRunView& view = FRun.FView;
    FApplyQuery.reset();
    FApply.reset();  // rolled back unless committed: the hold on the database ends
    FRun.SetRunState(TRunState::Idle);
    if (FStagingReady) {
        try {
            try {
                DropStaging(*FRun.queTrab);
            } catch (const TDatabaseError& e) {
                // A statement the engine was asked to stop may keep the table
                // in use on its connection until the connection is renewed.
                if (e.Failure() != TDatabaseFailure::LockConflict)
                    throw;
                Reconnect(FRun.dbsMain);
                DropStaging(*FRun.queTrab);
            }
        } catch (const TDatabaseError& e) {
            Note(kStagingStays + std::string(e.what()));
        }
    }
    if (FIndexesOff) {
        view.SetStatus(kStatusIndexesOn);
        view.SetRemaining("");
        view.SetProgressPosition(0);
        view.Repaint();
        try {
            SwitchIndexes(*FRun.queTrab, true);
        } catch (const TDatabaseError& e) {
            Note(kIndexesStayOff + std::string(e.what()));
        }
    }
    if (FResult.applied) {
        try {
            RefreshIndexStatistics(*FRun.queTrab);
        } catch (const TDatabaseError& e) {
            Note(kStatisticsStale + std::string(e.what()));
        }
    }
    if (FFolder) {
        const std::string failure = FFolder->Remove();
        if (!failure.empty())
            Note(kFolderStays + failure);
        FFolder.reset();
    }
}

TRunResult TImportRun::Run() {
    TRunView& view = FRun.FView;
    FRun.FCancelRequested = false;
    FRun.FMovedRecords = 0;
    FRun.FRejectedRecords = 0;
    FRun.FRefusedMunicipalities = 0;
    const TTimeOfDay start = FRun.FClock();

    std::string error;
    TStop stop = TStop::None;
    try {
        stop = Prepare();
        if (stop == TStop::AccessError)
            error = kAccessError;
        else if (stop == TStop::None)
            Apply();
    } catch (const std::exception& e) {
        error = kProcessError;
        FResult.detail = e.what();
    }
    // A cancel seen before the commit: nothing was applied.
    FCancelled = FRun.FCancelRequested && !FResult.applied && error.empty() && stop == TStop::None;
    try {
        CleanUp();
    } catch (const std::exception& e) {
        Note(e.what());
    }
    if (FResult.applied && FRun.FCancelRequested)
        Note(kCancelTooLate);

    view.SetStatus("");
    view.SetRemaining("");
    view.SetProgressPosition(0);
    double elapsed = FRun.FClock() - start;
    if (elapsed < 0)
        elapsed += 1.0;  // the run passed midnight
    FResult.seconds = elapsed * 86400;
    FResult.moved = FResult.applied ? FRun.FMovedRecords : 0;
    FResult.merge = FResult.applied ? FRun.dbsMain.LastMoveCounts() : TMoveCounts{};
    FResult.refusedRecords = FRun.FRejectedRecords;
    FResult.refusedMunicipalities = FRun.FRefusedMunicipalities;
    if (!FResult.applied)
        FResult.deleted = 0;

    if (!error.empty()) {
        FResult.isError = true;
        FResult.message = error;
        FResult.outcome =
            error == kAccessError ? TRunOutcome::AccessError : TRunOutcome::ProcessError;
        return FResult;
    }
    FResult.message = BuildSummary(FResult.moved, FResult.deleted, FResult.refusedRecords, elapsed,
                                   FRun.FRegional.timeSeparator, FResult.refusedMunicipalities);
    if (FResult.applied)
        FResult.outcome = FResult.refusedRecords > 0 || FResult.refusedMunicipalities > 0
                              ? TRunOutcome::CompletedRefused
                              : TRunOutcome::Completed;
    else
        FResult.outcome = FCancelled ? TRunOutcome::Cancelled : TRunOutcome::Stopped;
    return FResult;
}

}  // namespace

std::string BuildSummary(int32_t moved, int32_t deleted, int32_t rejected, double elapsed,
                         char timeSeparator, int32_t refusedMunicipalities) {
    std::string summary;
    if (moved > 0)
        summary += std::to_string(moved) + " Registros atualizados.";
    if (deleted > 0)
        summary += "\r" + std::to_string(deleted) + " Registros excluidos.";
    if (rejected > 0)
        summary += "\r" + std::to_string(rejected) + " Registros rejeitados.";
    if (refusedMunicipalities > 0)
        summary += "\r" + std::to_string(refusedMunicipalities) +
                   " Munic\xEDpios rejeitados.";  // Municípios
    return summary + "\r\rTempo gasto: " + FormatHms(elapsed, timeSeparator);
}

std::string DatabaseStateText(const TRunResult& result) {
    return result.applied
               ? "O banco de dados tem agora a vers\xE3o de dados do programa."  // versão
               : "O banco de dados n\xE3o foi alterado.";                        // não
}

TRunResult RunImport(TRunContext& run, const std::string& path, const TDataSetSource& dataSets) {
    return TImportRun(run, path, dataSets).Run();
}

}  // namespace cep
