#pragma once

#include "database/Engine.h"
#include "database/StageContext.h"

namespace cep {

/// The date of the data release the program carries, day/month/year. The
/// window's caption shows it; the release check compares it with the date
/// recorded in the database, and the stamp records it there.
inline constexpr char ReleaseDate[] = "01/02/2018";

/// Compares ReleaseDate with the date recorded in QUELMAR_INI (row
/// DT_ATU_CEP): true to go on when nothing is recorded, the recorded date is
/// earlier or unreadable, or the user agrees to apply the same release again;
/// false after a refusal of an older release or a No. Reads through a query of
/// its own on the run's connection; a failing read raises TDatabaseError, a
/// value that cannot be read counts as no date recorded.
bool CheckRelease(TStageContext& run);

/// Records ReleaseDate in QUELMAR_INI through `query`: inserts the DT_ATU_CEP
/// row when there is none, otherwise updates every such row. Raises on failure.
void StampRelease(TQuery& query);

/// Drops the staging table TAB_CEP_TEMP through `query`. Raises on failure.
void DropStaging(TQuery& query);

}  // namespace cep
