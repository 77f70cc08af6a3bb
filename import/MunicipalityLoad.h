#pragma once

#include <string>
#include <string_view>

#include "import/RunContext.h"

namespace cep {

/// INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES (...) for one line.
std::string BuildMunicipalityInsert(std::string_view line);

/// Runs one statement of the municipality load; on failure shows the plain
/// message "Erro na atulaização da tabela de Município.". Never raises; true
/// when the statement ran.
bool RunMunicipalityStatement(TRunContext& run, const std::string& sql);

/// Rewrites TAB_MUNI from FAppDir + "TempMuni.txt" in one unit of work: the
/// old rows stay unless the load reaches the end of the file. Raises on a file
/// error.
void LoadMunicipalities(TRunContext& run);

}  // namespace cep
