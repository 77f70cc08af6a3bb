#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "database/Engine.h"
#include "import/Regional.h"
#include "import/RunView.h"
#include "import/TimeOfDay.h"

namespace cep {

/// Run state: no bulk stage, staging load, merge.
inline constexpr char kRunIdle = ' ';
inline constexpr char kRunStaging = 'I';
inline constexpr char kRunMerge = 'B';

/// What the stages of an import run share: the connection and its work query,
/// the view, the folder of the temporary files, the run state and the cancel
/// request. One lives as long as its front end's window or command.
struct TRunContext {
    TRunContext(TConnection& connection, TRunView& runView, std::string appDir)
        : dbsMain(connection),
          queTrab(connection.CreateQuery()),
          view(runView),
          FAppDir(std::move(appDir)) {}

    TConnection& dbsMain;
    std::unique_ptr<TQuery> queTrab;
    TRunView& view;
    /// Folder of the temporary files, ending in a separator.
    std::string FAppDir;

    char FRunState = kRunIdle;
    /// Set by the front end (a cancel button, closing, a signal).
    std::atomic<bool> FCancelRequested{false};
    TimeOfDay FMergeStart = 0;
    /// Rows the merge of this run inserted or updated.
    int32_t MovedRecords = 0;
    /// Records the staging table refused for a reason other than a key
    /// violation, in this run.
    int32_t RejectedRecords = 0;

    RegionalSettings regional = BrazilianSettings();
    Clock clock = SystemClock();
};

}  // namespace cep
