#pragma once

#include "database/StageContext.h"

namespace cep {

/// The staging table as the run creates it: the seven fields of a
/// postal-code record, each as wide as its field, no key and no index.
inline constexpr char kCreateStaging[] =
    "CREATE TABLE TAB_CEP_TEMP (NU_CEP CHAR(8) NOT NULL, ID_TIPO_LOGR CHAR(10), "
    "TE_DESCRICAO_CEP CHAR(70), NM_BAIRRO CHAR(60), SG_UF CHAR(2), ID_MUNI_PREV CHAR(5), "
    "ID_PAF CHAR(8))";
/// Empties a staging table left by an earlier run.
inline constexpr char kEmptyStaging[] = "DELETE FROM TAB_CEP_TEMP ";

/// Checks that TAB_CEP exists and leaves an empty TAB_CEP_TEMP for the
/// staging load: creates it when missing, empties it when left over. After a
/// creation (and after a failure while the staging table was not there) it
/// reconnects, unless `reconnect` is false: a run that holds its database
/// through a transaction of the connection keeps the connection, and the
/// engine sees the new table without a reconnect. True when it is ready;
/// false after its own error message, which carries the engine's reason as
/// detail. Raises only what is not a database error.
bool PrepareStaging(TStageContext& run, bool reconnect = true);

}  // namespace cep
