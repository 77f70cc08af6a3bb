#include "import/StagingLoad.h"

#include "common/AnsiText.h"
#include "common/FileSize.h"
#include "common/RecordLayout.h"
#include "common/TextFile.h"
#include "import/LineProgress.h"

namespace cep {

namespace {

const char kStatusStaging[] = "Importando dados para tabela tempor\xE1ria...";  // temporária

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

bool IsKeyViolation(const TDatabaseError& error) {
    return error.IsKeyViolation() ||
           AsciiLowerCase(error.what()).find("key violation") != std::string::npos;
}

bool InsertOrUpdate(TRunContext& run, std::string_view line) {
    try {
        run.queTrab->RunStatement(BuildInsert(line));
        return true;
    } catch (const TDatabaseError& e) {
        if (!IsKeyViolation(e)) {
            if (e.IsRowRefused())
                return false;
            throw;  // not the record: the connection, the server, the work
        }
    }
    run.queTrab->RunStatement(BuildUpdate(line));
    return true;
}

void LoadStaging(TRunContext& run) {
    const std::string fileName = run.FAppDir + "Temp.txt";
    TLineProgress progress(run, kStatusStaging, FileSizeOf(fileName));
    TTextReader file(fileName);
    progress.Start();
    int32_t counter = 0;
    std::string line;
    auto work = std::make_unique<TUnitOfWork>(run.dbsMain);
    while (!file.AtEnd()) {
        file.ReadLine(line);
        ++counter;
        progress.LineRead(line.size());
        if (!InsertOrUpdate(run, line))
            ++run.FRejectedRecords;
        if (counter % kStagingRecordsPerCommit == 0) {
            work->Commit();
            work = std::make_unique<TUnitOfWork>(run.dbsMain);
        }
        run.FView.ProcessMessages();
        if (run.FCancelRequested)
            break;
        progress.Show(counter);
    }
    // What was loaded before a cancel stays; a connection closed meanwhile
    // has already lost the open group.
    if (run.dbsMain.IsConnected())
        work->Commit();
    else
        work->Rollback();
}

}  // namespace cep
