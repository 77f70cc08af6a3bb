#include "database/Merge.h"

#include <cmath>
#include <cstring>
#include <string>

#include "common/Progress.h"
#include "database/TableShape.h"

namespace cep {

namespace {

const char kStatusMerge[] = "Atualizando tabela de CEP...";

}  // namespace

int MergeProgress(int type, void* clientData, void* report) {
    auto* record = static_cast<TMergeHookRecord*>(clientData);
    TStageContext& run = *record->run;
    auto* progress = static_cast<TProgressReport*>(report);
    if (type == kGeneralProgress) {
        if (progress->percent < 0) {
            const std::string text(progress->text, strnlen(progress->text, sizeof progress->text));
            const std::size_t p = text.find(": ");
            const std::size_t skip = p == std::string::npos ? 1 : p + 2;
            const std::string rest = skip < text.size() ? text.substr(skip) : std::string();
            const int32_t done = static_cast<int32_t>(std::strtol(rest.c_str(), nullptr, 10));
            const int32_t total = run.dbsMain.CountRecords("TAB_CEP_TEMP");
            if (total > 0) {
                // nearbyint rounds halves to even under the default rounding mode.
                run.FView.SetProgressPosition(
                    static_cast<int32_t>(std::nearbyint(double(done) / total * 100)));
                run.FView.SetRemaining(RemainingText(done, total, run.FMergeStart, run.FClock,
                                                     run.FRegional.timeSeparator));
            }
            run.FView.Repaint();
        } else {
            run.FView.SetProgressPosition(progress->percent);
        }
    }
    int reply = kProgressContinue;
    if (record->saved.function != nullptr)
        reply = record->saved.function(type, record->saved.clientData, report);
    run.FView.ProcessMessages();
    if (run.FCancelRequested)
        reply = kProgressAbort;
    return reply;
}

bool MergeStaging(TStageContext& run, TTransaction& transaction) {
    if (run.FCancelRequested)
        return false;
    const std::string problem =
        MergeShapeProblem(*run.queTrab, "TAB_CEP_TEMP", "TAB_CEP", "NU_CEP");
    if (!problem.empty())
        throw TDatabaseError(problem);
    TMergeHookRecord record;
    record.saved = run.dbsMain.ProgressHook(kGeneralProgress);
    record.run = &run;
    TProgressReport report;
    const TProgressHook ours{&record, sizeof report, &report, &MergeProgress};
    run.dbsMain.SetProgressHook(kGeneralProgress, ours);
    auto restore = [&] {
        if (record.saved.function != nullptr)
            run.dbsMain.SetProgressHook(kGeneralProgress, record.saved);
        else
            run.dbsMain.SetProgressHook(kGeneralProgress,
                                        {&record, sizeof report, &report, nullptr});
    };

    run.FView.SetProgressPosition(0);
    run.FView.SetProgressMax(100);
    run.FView.SetStatus(kStatusMerge);
    run.FView.SetRemaining(kRemainingPrefix);
    run.FView.Repaint();
    run.FMergeStart = run.FClock();
    run.SetRunState(TRunState::Merge);
    // The hook goes whatever ends the merge.
    struct TRestore {
        decltype(restore)& r;
        ~TRestore() { r(); }
    } restoreOnExit{restore};
    run.FMovedRecords = 0;
    run.dbsMain.AppendUpdate("TAB_CEP_TEMP", "TAB_CEP", "NU_CEP", transaction);
    run.FMovedRecords = run.dbsMain.MovedRecords();
    return !run.dbsMain.LastMoveAborted();
}

}  // namespace cep
