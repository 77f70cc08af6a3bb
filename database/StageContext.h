#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "common/Regional.h"
#include "common/RunView.h"
#include "common/TimeOfDay.h"
#include "database/Engine.h"

namespace cep {

/// What the database stages share with the run that calls them: the
/// program's connection and its work query, the view they show through, the
/// regional settings and the clock, and the window's run fields that the
/// stages read or set (the cancel request, the run state, the merge start).
struct TStageContext {
    TStageContext(TConnection& connection, TRunView& view)
        : dbsMain(connection), queTrab(connection.CreateQuery()), FView(view) {}
    TStageContext(const TStageContext&) = delete;
    TStageContext& operator=(const TStageContext&) = delete;

    /// Sets the run state and tells the view.
    void SetRunState(TRunState state) {
        FRunState = state;
        FView.RunStateChanged(state);
    }

    TConnection& dbsMain;
    std::unique_ptr<TQuery> queTrab;
    TRunView& FView;
    TRegionalSettings FRegional = BrazilianSettings();
    TClock FClock = SystemClock();

    /// Set by the front end (a cancel button, closing, a signal).
    std::atomic<bool> FCancelRequested{false};
    TRunState FRunState = TRunState::Idle;
    TTimeOfDay FMergeStart = 0;
    /// Rows the merge of this run inserted or updated.
    int32_t FMovedRecords = 0;
};

}  // namespace cep
