#include "import/MunicipalityLoad.h"

#include "import/AnsiText.h"
#include "import/DataSets.h"
#include "import/Progress.h"
#include "import/TextFile.h"

namespace cep {

namespace {

const char kStatusMunicipalities[] = "Importando dados Munic\xEDpio...";  // Município
const char kMunicipalityError[] =
    "Erro na atulaiza\xE7\xE3o da tabela de Munic\xEDpio.";  // atulaização ... Município
const char kRemainingPrefix[] = "Tempo restante: ";

}  // namespace

std::string BuildMunicipalityInsert(std::string_view line) {
    const std::string_view code = line.substr(0, 6);
    const std::string_view name = line.size() > 6 ? line.substr(6, 30) : std::string_view();
    return "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES (" + QuoteSql(code) + ", " +
           QuoteSql(name) + ")";
}

bool RunMunicipalityStatement(TRunContext& run, const std::string& sql) {
    try {
        run.queTrab->RunStatement(sql);
        return true;
    } catch (const std::exception&) {
        run.view.ShowMessage(kMunicipalityError);
        return false;
    }
}

void LoadMunicipalities(TRunContext& run) {
    const std::string fileName = run.FAppDir + "TempMuni.txt";
    const int32_t fileSize = FileSizeOf(fileName);
    TRunView& view = run.view;
    view.SetProgressPosition(0);
    view.SetProgressMax(0);
    view.SetStatus(kStatusMunicipalities);
    view.Repaint();

    TTextReader file(fileName);
    const TimeOfDay start = run.clock();
    // The whole rewrite is one unit of work: a cancel or a failure leaves the
    // old rows in place instead of an emptied, partly refilled table.
    TUnitOfWork work(run.dbsMain);
    if (!RunMunicipalityStatement(run, "delete from tab_muni"))
        return;  // no TAB_MUNI
    int32_t counter = 0;
    std::string line;
    while (!file.AtEnd()) {
        file.ReadLine(line);
        ++counter;
        if (view.ProgressMax() == 0)
            view.SetProgressMax(fileSize / static_cast<int32_t>(line.size() + 2));
        RunMunicipalityStatement(run, BuildMunicipalityInsert(line));
        view.ProcessMessages();
        if (run.FCancelRequested)
            return;
        if (counter % 10 == 0)
            view.SetRemaining(
                kRemainingPrefix +
                FormatHms(RemainingTime(counter, view.ProgressMax(), start, run.clock),
                          run.regional.timeSeparator));
        view.SetProgressPosition(counter);
        view.Repaint();
    }
    work.Commit();
}

}  // namespace cep
