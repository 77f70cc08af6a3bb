#pragma once

#include "database/Engine.h"
#include "database/StageContext.h"

namespace cep {

/// What the merge registers as its hook's client data: the hook that was
/// registered before it (called on at every report) and the run it shows on.
struct TMergeHookRecord {
    TProgressHook saved;
    TStageContext* run = nullptr;
};

/// The progress hook of the merge: moves the bar, shows the remaining time,
/// handles pending input and replies kProgressAbort once a cancel is asked.
int MergeProgress(int type, void* clientData, void* report);

/// Merges TAB_CEP_TEMP into TAB_CEP in one operation of the server, inside
/// `transaction` (which the caller commits or rolls back). Does nothing when a
/// cancel is already requested. Returns true when the merge ran to its end
/// (false: skipped or stopped by a cancel, the transaction's TAB_CEP as it
/// was). Refuses a TAB_CEP that cannot take the staging table's rows (see
/// MergeShapeProblem). Raises on failure, the transaction's TAB_CEP as it was.
bool MergeStaging(TStageContext& run, TTransaction& transaction);

}  // namespace cep
