#pragma once

#include <cstdint>
#include <string>

#include "database/StageContext.h"

namespace cep {

/// What the stages of an import run share: the stage context (connection,
/// work query, view, run state, cancel request) and what only the run and its
/// loaders use: the folder of the temporary files and the run's counts. One
/// lives as long as its front end's window or command.
struct TRunContext : TStageContext {
    TRunContext(TConnection& connection, TRunView& view, std::string appDir)
        : TStageContext(connection, view), FAppDir(std::move(appDir)) {}

    /// Folder of the temporary files, ending in a separator.
    std::string FAppDir;
    /// Records the staging table refused for a reason other than a key
    /// violation, in this run.
    int32_t FRejectedRecords = 0;
    /// Lines of the municipality data set TAB_MUNI refused, in this run.
    int32_t FRefusedMunicipalities = 0;
};

}  // namespace cep
