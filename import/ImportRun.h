#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/Engine.h"
#include "import/DataSets.h"
#include "import/RunContext.h"

namespace cep {

/// How a run ended.
enum class TRunOutcome {
    Completed,         ///< the release is applied and recorded
    CompletedRefused,  ///< applied and recorded, but records or lines were refused
    AccessError,       ///< "Erro de acesso ao BD": no connection
    ProcessError,      ///< "Erro no processo": a stage failed; nothing applied unless `applied`
    Stopped,           ///< stopped before anything was applied (no TAB_CEP, a refused
                       ///< release, another run on the database)
    Cancelled,         ///< a cancel request stopped it; nothing applied
};

/// The end of a run: its outcome, what the database holds now, and the final
/// message, an error text or the summary. The front end shows it (error icon
/// for errors, information icon for the summary, warning icon when records
/// were refused).
struct TRunResult {
    TRunOutcome outcome = TRunOutcome::Completed;
    bool isError = false;
    /// True when this run's release is in the database now, whole (it was
    /// committed); false when the database holds what it held before.
    bool applied = false;
    std::string message;
    /// For an error, its reason (the engine's own text): not part of the
    /// message, shown apart from it.
    std::string detail;
    /// What a user should know besides the message: a cancel that came after
    /// the release was applied, indexes that could not be switched on again.
    std::vector<std::string> notes;

    int32_t moved = 0;    ///< release records applied
    int32_t deleted = 0;  ///< withdrawn codes removed (the file's record count)
    int32_t refusedRecords = 0;
    int32_t refusedMunicipalities = 0;
    TMoveCounts merge;  ///< what the merge inserted and rewrote
    double seconds = 0;
};

inline constexpr char kAccessError[] = "Erro de acesso ao BD";
inline constexpr char kProcessError[] = "Erro no processo";

/// The final summary: moved records, deleted records, refused records and
/// municipality lines, and the elapsed time, each count only when above 0.
std::string BuildSummary(int32_t moved, int32_t deleted, int32_t rejected, double elapsed,
                         char timeSeparator = ':', int32_t refusedMunicipalities = 0);

/// What the database holds after the run, in one sentence: the release,
/// whole, or what it held before.
std::string DatabaseStateText(const TRunResult& result);

/// One whole import run on the database at `path`, with the data sets of
/// `dataSets`. Clears the cancel request first; never raises. Whatever ends
/// it, the database holds either what it held before or the whole release,
/// the result says which, and both secondary indexes are active.
TRunResult RunImport(TRunContext& run, const std::string& path, const TDataSetSource& dataSets);

}  // namespace cep
