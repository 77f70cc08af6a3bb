#include "import/MunicipalityLoad.h"

#include "common/AnsiText.h"
#include "common/FileSize.h"
#include "common/TextFile.h"
#include "import/LineProgress.h"

namespace cep {

namespace {

const char kStatusMunicipalities[] = "Importando dados Munic\xEDpio...";  // Município
const char kMunicipalityError[] =
    "Erro na atulaiza\xE7\xE3o da tabela de Munic\xEDpio.";  // atulaização ... Município

}  // namespace

std::string BuildMunicipalityInsert(std::string_view line) {
    const std::string_view code = line.substr(0, 6);
    const std::string_view name = line.size() > 6 ? line.substr(6, 30) : std::string_view();
    return "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES (" + QuoteSql(code) + ", " +
           QuoteSql(name) + ")";
}

void LoadMunicipalities(TRunContext& run, TQuery& query, const std::string& fileName) {
    TLineProgress progress(run, kStatusMunicipalities, FileSizeOf(fileName));
    TTextReader file(fileName);
    progress.Start();  // before the delete: the estimate includes it
    try {
        query.RunStatement("delete from tab_muni");
    } catch (const TDatabaseError& e) {
        if (e.Failure() != TDatabaseFailure::UnknownObject)
            throw;
        run.FView.ShowMessage(kMunicipalityError, e.what());
        return;  // no TAB_MUNI: one message, no insert tried
    }
    int32_t counter = 0;
    std::string line;
    while (!file.AtEnd()) {
        file.ReadLine(line);
        ++counter;
        progress.LineRead(line.size());
        try {
            query.RunStatement(BuildMunicipalityInsert(line));
        } catch (const TDatabaseError& e) {
            if (!e.IsRowRefused())
                throw;
            ++run.FRefusedMunicipalities;
            run.FView.ShowMessage(kMunicipalityError, e.what());
        }
        run.FView.ProcessMessages();
        if (run.FCancelRequested)
            return;
        progress.Show(counter);
    }
}

}  // namespace cep
