#pragma once

#include <string>
#include <string_view>

#include "import/RunContext.h"

namespace cep {

/// INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES (...) for one line.
std::string BuildMunicipalityInsert(std::string_view line);

/// Rewrites TAB_MUNI from `fileName` ("TempMuni.txt") through `query`, whose
/// transaction the caller ends: the rewrite becomes visible only when the
/// caller commits it. A database without TAB_MUNI gets the plain message
/// "Erro na atulaização da tabela de Município." once and no insert; so does
/// each line whose values the table refuses (a name too long, a code twice),
/// and those lines are counted in FRefusedMunicipalities. Stops after the
/// current line when a cancel is requested. Raises on a file error and on any
/// failure that is not the table's absence or a line's values (a lock held
/// by another transaction, missing rights, a lost connection).
void LoadMunicipalities(TRunContext& run, TQuery& query, const std::string& fileName);

}  // namespace cep
