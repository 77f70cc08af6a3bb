#pragma once

#include "import/RunContext.h"

namespace cep {

/// The date of the data release the program carries, day/month/year. The
/// window's caption shows it; the release check compares it with the date
/// recorded in the database, and the stamp records it there.
inline constexpr char ReleaseDate[] = "01/02/2018";

/// Compares ReleaseDate with the date recorded in QUELMAR_INI (row
/// DT_ATU_CEP): true to go on when nothing is recorded, the recorded date is
/// earlier or unreadable, or the user agrees to apply the same release again;
/// false after a refusal of an older release or a No. Reads through a query of
/// its own; a failing read raises DatabaseError, any later failure gives true.
bool CheckRelease(TRunContext& ctx);

/// Records ReleaseDate in QUELMAR_INI: inserts the DT_ATU_CEP row when there is
/// none, otherwise updates every such row. Raises on failure.
void StampRelease(TRunContext& ctx);

/// Drops the staging table TAB_CEP_TEMP. Raises on failure.
void DropStaging(TRunContext& ctx);

}  // namespace cep
