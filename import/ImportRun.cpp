#include "import/ImportRun.h"

#include <cstdio>
#include <exception>

#include "database/Credentials.h"
#include "database/Indexes.h"
#include "database/Merge.h"
#include "database/Release.h"
#include "database/StagingTable.h"
#include "database/Withdrawn.h"
#include "import/MunicipalityLoad.h"
#include "import/StagingLoad.h"

namespace cep {

namespace {

const char kStatusIndexesOff[] = "Desativando indices...";
const char kStatusIndexesOn[] = "Ativando \xEDndices. Aguarde...";  // índices

void RemoveFile(const std::string& fileName) {
    std::remove(fileName.c_str());
}

}  // namespace

std::string BuildSummary(int32_t moved, int32_t deleted, int32_t rejected, double elapsed,
                         char timeSeparator) {
    std::string summary;
    if (moved > 0)
        summary += std::to_string(moved) + " Registros atualizados.";
    if (deleted > 0)
        summary += "\r" + std::to_string(deleted) + " Registros excluidos.";
    if (rejected > 0)
        summary += "\r" + std::to_string(rejected) + " Registros rejeitados.";
    return summary + "\r\rTempo gasto: " + FormatHms(elapsed, timeSeparator);
}

TRunResult RunImport(TRunContext& run, const std::string& path, const TDataSetSource& dataSets) {
    TRunView& view = run.FView;
    run.FCancelRequested = false;
    run.FMovedRecords = 0;
    run.FRejectedRecords = 0;
    std::string error;
    std::string detail;
    const TTimeOfDay start = run.FClock();
    int32_t deleted = 0;
    bool stopped = false;   // refused before any data was touched
    bool recorded = false;  // the release reached the database

    const TCredentials credentials = ChooseCredentials(path);
    try {
        bool ready =
            ConnectDatabase(run.dbsMain, path, credentials.user, credentials.password, &detail);
        if (ready)
            ready = PrepareStaging(run);
        if (!ready) {
            if (!run.dbsMain.IsConnected())
                error = kAccessError;
            else
                stopped = true;
        } else if (!CheckRelease(run)) {
            stopped = true;
        } else {
            const std::string muniFile = run.FAppDir + "TempMuni.txt";
            const std::string cepFile = run.FAppDir + "Temp.txt";
            const std::string excFile = run.FAppDir + "TempExc.txt";
            dataSets.Extract(kTabMuni, muniFile);
            // TAB_MUNI is rewritten in a transaction of its own, committed only
            // with the release: a run that stops early leaves the old rows.
            std::unique_ptr<TConnection> muniConnection = run.dbsMain.OpenSibling();
            std::unique_ptr<TQuery> muniQuery = muniConnection->CreateQuery();
            TUnitOfWork muniWork(*muniConnection);
            const bool muniLoaded = LoadMunicipalities(run, *muniQuery);
            dataSets.Extract(kTabCep, cepFile);
            // Withdrawn codes are optional in a release; one that has them
            // must have them written out.
            if (dataSets.Contains(kTabCepExc))
                dataSets.Extract(kTabCepExc, excFile);

            run.SetRunState(TRunState::Staging);
            LoadStaging(run);
            run.SetRunState(TRunState::Idle);
            view.SetStatus(kStatusIndexesOff);
            view.Repaint();
            SwitchIndexes(*run.queTrab, false);
            const bool merged = MergeStaging(run);
            RemoveFile(cepFile);
            DropStaging(*run.queTrab);
            deleted = RemoveWithdrawnStage(run, excFile);

            run.SetRunState(TRunState::Idle);
            view.SetStatus(kStatusIndexesOn);
            view.SetRemaining("");
            view.SetProgressPosition(0);
            view.Repaint();
            SwitchIndexes(*run.queTrab, true);
            // Only a merge that ran to its end may claim the release.
            if (merged) {
                if (muniLoaded)
                    muniWork.Commit();
                StampRelease(*run.queTrab);
                recorded = true;
            }
        }
    } catch (const std::exception& e) {
        error = kProcessError;
        detail = e.what();
        run.SetRunState(TRunState::Idle);
    }

    view.SetStatus("");
    view.SetRemaining("");
    view.SetProgressPosition(0);
    double elapsed = run.FClock() - start;
    if (elapsed < 0)
        elapsed += 1.0;  // the run passed midnight

    TRunResult result;
    if (!error.empty()) {
        result.isError = true;
        result.message = error;
        result.detail = detail;
        result.outcome =
            error == kAccessError ? TRunOutcome::AccessError : TRunOutcome::ProcessError;
        return result;
    }
    result.message = BuildSummary(run.FMovedRecords, deleted, run.FRejectedRecords, elapsed,
                                  run.FRegional.timeSeparator);
    // Without an error, only a cancel keeps a run that passed the checks from
    // recording the release.
    result.outcome = recorded  ? TRunOutcome::Completed
                     : stopped ? TRunOutcome::Stopped
                               : TRunOutcome::Cancelled;
    return result;
}

}  // namespace cep
