#pragma once

#include <string>
#include <string_view>

#include "import/RunContext.h"

namespace cep {

/// Records per unit of work of the staging load.
inline constexpr int kStagingRecordsPerCommit = 20000;

/// The value of one field of a postal-code line: its characters, blanks and
/// control characters removed at both ends, as an SQL string literal.
std::string FieldValue(std::string_view line, int position, int length);

/// INSERT INTO TAB_CEP_TEMP (...) VALUES (...) for one postal-code line.
std::string BuildInsert(std::string_view line);
/// UPDATE TAB_CEP_TEMP SET ... WHERE NU_CEP = ... for one postal-code line.
std::string BuildUpdate(std::string_view line);

/// True when `error` says a row with the same key exists: by its kind, or by
/// the words "key violation" in its message in any letter case.
bool IsKeyViolation(const TDatabaseError& error);

/// Stores one record in the staging table: the insert, or the update when the
/// insert is refused as a key violation. Returns false when the record's
/// values were refused for another reason (too long, NULL, a check); a
/// failing update, and any failure that is not the record's, raises.
bool InsertOrUpdate(TRunContext& run, std::string_view line);

/// Copies every record of FAppDir + "Temp.txt" into TAB_CEP_TEMP, showing
/// progress, until the end of the file or a cancel request. Commits in groups
/// of kStagingRecordsPerCommit records. Raises on a file error or a failed
/// fallback update.
void LoadStaging(TRunContext& run);

}  // namespace cep
