#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "import/RunContext.h"

namespace cep {

/// Records per transaction of the staging load.
inline constexpr int kStagingRecordsPerCommit = 20000;
/// Records sent to the server in one call of the staging load.
inline constexpr int kStagingRecordsPerCall = 50;
static_assert(kStagingRecordsPerCommit % kStagingRecordsPerCall == 0);

/// The text of one field of a postal-code line: its characters (none when
/// the line ends before it), blanks and control characters removed at both
/// ends.
std::string_view FieldText(std::string_view line, int position, int length);

/// The value of one field of a postal-code line as an SQL string literal.
std::string FieldValue(std::string_view line, int position, int length);

/// INSERT INTO TAB_CEP_TEMP (...) VALUES (...) for one postal-code line.
std::string BuildInsert(std::string_view line);
/// UPDATE TAB_CEP_TEMP SET ... WHERE NU_CEP = ... for one postal-code line.
std::string BuildUpdate(std::string_view line);

/// One statement that inserts `records` postal-code records into
/// TAB_CEP_TEMP, their seven field values as parameters in record order: a
/// plain INSERT for one record, an EXECUTE BLOCK of INSERTs for more.
std::string BuildBatchInsert(int records);

/// Copies every record of `fileName` ("Temp.txt") into TAB_CEP_TEMP, showing
/// progress, until the end of the file or a cancel request (the records read
/// before it are stored). Records go several to a call, in transactions of
/// kStagingRecordsPerCommit records. A call that a record's values spoil is
/// sent again record by record: a record refused as a key violation is
/// written by its update instead, one refused for its values (too long, NULL,
/// a check) is counted in FRejectedRecords. When a code comes twice, the
/// later record is the one left. Raises on a file error, a failed update, and
/// any failure that is not a record's.
void LoadStaging(TRunContext& run, const std::string& fileName);

}  // namespace cep
