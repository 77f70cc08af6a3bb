#include "import/StagingLoad.h"

#include "import/AnsiText.h"
#include "import/DataSets.h"
#include "import/Progress.h"
#include "import/RecordLayout.h"
#include "import/TextFile.h"

namespace cep {

namespace {

const char kStatusStaging[] = "Importando dados para tabela tempor\xE1ria...";  // temporária
const char kRemainingPrefix[] = "Tempo restante: ";

}  // namespace

std::string FieldValue(std::string_view line, int position, int length) {
    const std::size_t first = static_cast<std::size_t>(position - 1);
    const std::string_view field = first < line.size()
                                       ? line.substr(first, static_cast<std::size_t>(length))
                                       : std::string_view();
    return QuoteSql(TrimControl(field));
}

std::string BuildInsert(std::string_view line) {
    std::string columns = "INSERT INTO TAB_CEP_TEMP (";
    std::string values;
    for (const TCepField& field : CepFieldLayout) {
        columns += field.name;
        columns += ", ";
        values += FieldValue(line, field.Position(), field.Length());
        values += ", ";
    }
    columns.resize(columns.size() - 2);
    values.resize(values.size() - 2);
    return columns + ") VALUES (" + values + ")";
}

std::string BuildUpdate(std::string_view line) {
    std::string sql = "UPDATE TAB_CEP_TEMP SET ";
    for (const TCepField& field : CepFieldLayout) {
        sql += field.name;
        sql += " = ";
        sql += FieldValue(line, field.Position(), field.Length());
        sql += ", ";
    }
    sql.resize(sql.size() - 2);
    const TCepField& key = CepFieldLayout[0];
    return sql + " WHERE " + key.name + " = " + FieldValue(line, key.Position(), key.Length());
}

bool InsertOrUpdate(TRunContext& run, std::string_view line) {
    try {
        run.queTrab->RunStatement(BuildInsert(line));
        return true;
    } catch (const std::exception& e) {
        if (AsciiLowerCase(e.what()).find("key violation") == std::string::npos)
            return false;
    }
    run.queTrab->RunStatement(BuildUpdate(line));
    return true;
}

void LoadStaging(TRunContext& run) {
    const std::string fileName = run.FAppDir + "Temp.txt";
    const int32_t fileSize = FileSizeOf(fileName);
    TRunView& view = run.view;
    view.SetProgressPosition(0);
    view.SetProgressMax(0);
    view.SetStatus(kStatusStaging);
    view.Repaint();

    TTextReader file(fileName);
    const TimeOfDay start = run.clock();
    int32_t counter = 0;
    std::string line;
    auto work = std::make_unique<TUnitOfWork>(run.dbsMain);
    while (!file.AtEnd()) {
        file.ReadLine(line);
        ++counter;
        if (view.ProgressMax() == 0)
            view.SetProgressMax(fileSize / static_cast<int32_t>(line.size() + 2));
        if (!InsertOrUpdate(run, line))
            ++run.RejectedRecords;
        if (counter % kStagingRecordsPerCommit == 0) {
            work->Commit();
            work = std::make_unique<TUnitOfWork>(run.dbsMain);
        }
        view.ProcessMessages();
        if (run.FCancelRequested)
            break;
        if (counter % 10 == 0)
            view.SetRemaining(
                kRemainingPrefix +
                FormatHms(RemainingTime(counter, view.ProgressMax(), start, run.clock),
                          run.regional.timeSeparator));
        view.SetProgressPosition(counter);
        view.Repaint();
    }
    // What was loaded before a cancel stays; a connection closed meanwhile
    // has already lost the open group.
    if (run.dbsMain.IsConnected())
        work->Commit();
    else
        work->Rollback();
}

}  // namespace cep
