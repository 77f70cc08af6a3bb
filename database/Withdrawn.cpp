#include "database/Withdrawn.h"

#include <filesystem>

#include "common/AnsiText.h"
#include "common/FileSize.h"
#include "common/RecordLayout.h"
#include "common/TextFile.h"

namespace cep {

namespace {

const char kStatusRemoval[] = "Excluindo registros inv\xE1lidos...";  // inválidos

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

void DeleteCodes(TQuery& query, const std::vector<std::string>& codes) {
    query.RunStatement(BuildDeleteStatement(codes));
}

void RemoveWithdrawn(TStageContext& run, TQuery& query, const std::string& fileName) {
    TTextReader file(fileName);
    std::vector<std::string> batch;
    batch.reserve(kWithdrawnBatch);
    std::string line;
    while (!file.AtEnd()) {
        file.ReadLine(line);
        run.FView.SetProgressPosition(run.FView.ProgressPosition() + 1);
        run.FView.Repaint();
        if (!TrimControl(line).empty())
            batch.push_back(line.substr(0, 8));
        if (static_cast<int>(batch.size()) == kWithdrawnBatch) {
            DeleteCodes(query, batch);
            batch.clear();
        }
    }
    if (!batch.empty())
        DeleteCodes(query, batch);
}

int32_t RemoveWithdrawnStage(TStageContext& run, TQuery& query, const std::string& fileName) {
    if (!std::filesystem::exists(fileName))
        return 0;
    const int32_t count = FileSizeOf(fileName) / static_cast<int32_t>(kCepLineBytes);
    run.FView.SetStatus(kStatusRemoval);
    run.FView.SetRemaining("");
    run.FView.SetProgressMax(count);
    run.FView.SetProgressPosition(0);
    run.FView.Repaint();
    RemoveWithdrawn(run, query, fileName);
    std::error_code ignored;
    std::filesystem::remove(fileName, ignored);
    return count;
}

}  // namespace cep
