#pragma once

#include <string>
#include <string_view>

#include "import/RunContext.h"

namespace cep {

/// INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES (...) for one line.
std::string BuildMunicipalityInsert(std::string_view line);

/// Runs one statement of the municipality load through `query`; on failure
/// shows the plain message "Erro na atulaização da tabela de Município.".
/// Never raises; true when the statement ran.
bool RunMunicipalityStatement(TRunContext& run, TQuery& query, const std::string& sql);

/// Rewrites TAB_MUNI from FAppDir + "TempMuni.txt" through `query`, whose
/// connection the caller keeps in a unit of work of its own: the rewrite
/// becomes visible only when the caller commits it. When the delete fails
/// (no TAB_MUNI) its message is shown once and no insert is tried. Returns
/// true when the load read the whole file. Raises on a file error.
bool LoadMunicipalities(TRunContext& run, TQuery& query);

}  // namespace cep
