#pragma once

#include <cstdint>
#include <string>

#include "import/DataSets.h"
#include "import/RunContext.h"

namespace cep {

/// How a run ended.
enum class TRunOutcome {
    Completed,     ///< the release is applied and recorded
    AccessError,   ///< "Erro de acesso ao BD": no connection
    ProcessError,  ///< "Erro no processo": a stage failed
    Stopped,       ///< stopped before any data was touched (no TAB_CEP, release refused)
    Cancelled,     ///< a cancel request stopped it; the release is not recorded
};

/// The end of a run: its outcome and the final message, an error text or the
/// summary. The front end shows it (error icon for errors, information icon
/// for the summary).
struct TRunResult {
    TRunOutcome outcome = TRunOutcome::Completed;
    bool isError = false;
    std::string message;
    /// For a failed stage, the failure's own text: not part of the message,
    /// for a front end's diagnostics.
    std::string detail;
};

inline constexpr char kAccessError[] = "Erro de acesso ao BD";
inline constexpr char kProcessError[] = "Erro no processo";

/// The final summary: moved records, deleted records, rejected records and the
/// elapsed time, each piece only when its count is above 0.
std::string BuildSummary(int32_t moved, int32_t deleted, int32_t rejected, double elapsed,
                         char timeSeparator = ':');

/// One whole import run on the database at `path`, with the data sets of
/// `dataSets`. Clears the cancel request first; never raises.
TRunResult RunImport(TRunContext& run, const std::string& path, const TDataSetSource& dataSets);

}  // namespace cep
