#include "database/Withdrawn.h"

#include <filesystem>

#include "import/AnsiText.h"
#include "import/DataSets.h"
#include "import/RecordLayout.h"
#include "import/TextFile.h"

namespace cep {

namespace {

const char kStatusRemoval[] = "Excluindo registros inv\xE1lidos...";  // inválidos

std::string WithdrawnFile(const TRunContext& run) {
    return run.FAppDir + "TempExc.txt";
}

}  // namespace

std::string BuildDeleteStatement(const std::vector<std::string>& codes) {
    std::string sql = "DELETE FROM TAB_CEP  WHERE NU_CEP IN (";
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i > 0)
            sql += ',';
        sql += QuoteSql(codes[i]);
    }
    return sql + ")";
}

void DeleteCodes(TRunContext& run, const std::vector<std::string>& codes) {
    run.queTrab->RunStatement(BuildDeleteStatement(codes));
}

void RemoveWithdrawn(TRunContext& run) {
    TTextReader file(WithdrawnFile(run));
    TUnitOfWork work(run.dbsMain);
    std::vector<std::string> batch;
    batch.reserve(kWithdrawnBatch);
    std::string line;
    while (!file.AtEnd()) {
        file.ReadLine(line);
        run.view.SetProgressPosition(run.view.ProgressPosition() + 1);
        run.view.Repaint();
        if (!TrimControl(line).empty())
            batch.push_back(line.substr(0, 8));
        if (static_cast<int>(batch.size()) == kWithdrawnBatch) {
            DeleteCodes(run, batch);
            batch.clear();
        }
    }
    if (!batch.empty())
        DeleteCodes(run, batch);
    work.Commit();
}

int32_t RemoveWithdrawnStage(TRunContext& run) {
    const std::string fileName = WithdrawnFile(run);
    if (!std::filesystem::exists(fileName))
        return 0;
    const int32_t count = FileSizeOf(fileName) / static_cast<int32_t>(kCepLineBytes);
    run.view.SetStatus(kStatusRemoval);
    run.view.SetRemaining("");
    run.view.SetProgressMax(count);
    run.view.SetProgressPosition(0);
    run.view.Repaint();
    RemoveWithdrawn(run);
    std::error_code ignored;
    std::filesystem::remove(fileName, ignored);
    return count;
}

}  // namespace cep
