#include "import/StagingLoad.h"

#include <algorithm>
#include <memory>

#include "common/AnsiText.h"
#include "common/FileSize.h"
#include "common/RecordLayout.h"
#include "common/TextFile.h"
#include "import/LineProgress.h"

namespace cep {

namespace {

const char kStatusStaging[] = "Importando dados para tabela tempor\xE1ria...";  // temporária

constexpr std::size_t kFields = CepFieldLayout.size();

// The eight-digit code of a line as a number; none for a line without one.
bool CodeOf(std::string_view line, uint32_t& code) {
    if (line.size() < 8)
        return false;
    code = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        code = code * 10 + static_cast<uint32_t>(line[i] - '0');
    }
    return true;
}

// The records of one call, kept until they are sent (the lines' buffers are
// kept from call to call).
class TPendingRecords {
  public:
    TPendingRecords() : FLines(kStagingRecordsPerCall) {}
    /// Keeps `line`, line `number` of the file.
    void Add(const std::string& line, int32_t number) {
        if (FCount == 0)
            FFirst = number;
        FLines[FCount++].assign(line);
    }
    std::size_t Size() const { return FCount; }
    std::string_view Line(std::size_t i) const { return FLines[i]; }
    int32_t Number(std::size_t i) const { return FFirst + static_cast<int32_t>(i); }
    void Clear() { FCount = 0; }

    /// The field values of every record, record by record.
    const std::vector<std::string_view>& Values() {
        FValues.clear();
        for (std::size_t i = 0; i < FCount; ++i)
            AppendValues(FLines[i], FValues);
        return FValues;
    }
    static void AppendValues(std::string_view line, std::vector<std::string_view>& values) {
        for (const TCepField& field : CepFieldLayout)
            values.push_back(FieldText(line, field.Position(), field.Length()));
    }

  private:
    std::vector<std::string> FLines;
    std::size_t FCount = 0;
    int32_t FFirst = 0;
    std::vector<std::string_view> FValues;
};

// Sends records to the staging table in transactions of their own.
class TStagingWriter {
  public:
    explicit TStagingWriter(TRunContext& run) : FRun(run) {
        Begin();
        FBatch = FRun.dbsMain.Prepare(BuildBatchInsert(kStagingRecordsPerCall), *FTransaction);
        FSingle = FRun.dbsMain.Prepare(BuildBatchInsert(1), *FTransaction);
    }

    void Send(TPendingRecords& pending) {
        if (pending.Size() == 0)
            return;
        if (static_cast<int>(pending.Size()) == kStagingRecordsPerCall) {
            try {
                FBatch->Execute(*FTransaction, pending.Values());
                pending.Clear();
                return;
            } catch (const TDatabaseError& e) {
                if (!e.IsRowRefused())
                    throw;  // not the records: the connection, the server, the work
            }
        }
        for (std::size_t i = 0; i < pending.Size(); ++i)
            SendOne(pending.Line(i), pending.Number(i));
        pending.Clear();
    }

    void Commit() {
        FTransaction->Commit();
        Begin();
    }
    void Finish() { FTransaction->Commit(); }

    /// A query in the load's transaction.
    TQuery& Query() { return *FQuery; }
    /// The line numbers of the records refused so far, in file order.
    const std::vector<int32_t>& RefusedLines() const { return FRefusedLines; }

  private:
    void Begin() {
        FQuery.reset();
        FTransaction = FRun.dbsMain.StartTransaction();
        FQuery = FRun.dbsMain.CreateQuery(FTransaction.get());
    }
    void SendOne(std::string_view line, int32_t number) {
        FValues.clear();
        TPendingRecords::AppendValues(line, FValues);
        try {
            FSingle->Execute(*FTransaction, FValues);
            return;
        } catch (const TDatabaseError& e) {
            if (!e.IsKeyViolation()) {
                if (!e.IsRowRefused())
                    throw;
                ++FRun.FRejectedRecords;
                FRefusedLines.push_back(number);
                return;
            }
        }
        FQuery->RunStatement(BuildUpdate(line));
    }

    TRunContext& FRun;
    std::unique_ptr<TTransaction> FTransaction;
    std::unique_ptr<TStatement> FBatch;
    std::unique_ptr<TStatement> FSingle;
    std::unique_ptr<TQuery> FQuery;
    std::vector<std::string_view> FValues;
    std::vector<int32_t> FRefusedLines;
};

// Leaves only the last stored record of each code that came more than once:
// the rows of the code are deleted, and its last line of the file that the
// table took stored again. A later line refused for its values was counted
// when it was refused; the record before it stands.
void KeepLastOfDuplicates(TStagingWriter& writer, const std::string& fileName,
                          std::vector<uint32_t> codes) {
    std::sort(codes.begin(), codes.end());
    std::vector<uint32_t> twice;
    for (std::size_t i = 1; i < codes.size(); ++i)
        if (codes[i] == codes[i - 1] && (twice.empty() || twice.back() != codes[i]))
            twice.push_back(codes[i]);
    if (twice.empty())
        return;
    const std::vector<int32_t> refused = writer.RefusedLines();
    std::vector<std::string> last(twice.size());
    std::vector<int32_t> lastNumber(twice.size(), 0);
    TTextReader file(fileName);
    std::string line;
    uint32_t code = 0;
    for (int32_t number = 1; !file.AtEnd(); ++number) {
        file.ReadLine(line);
        if (!CodeOf(line, code) || std::binary_search(refused.begin(), refused.end(), number))
            continue;
        const auto it = std::lower_bound(twice.begin(), twice.end(), code);
        if (it != twice.end() && *it == code) {
            const auto i = static_cast<std::size_t>(it - twice.begin());
            last[i] = line;
            lastNumber[i] = number;
        }
    }
    TPendingRecords pending;
    for (std::size_t i = 0; i < twice.size(); ++i) {
        if (lastNumber[i] == 0)
            continue;  // every line of the code was refused: none is stored
        writer.Query().RunStatement("DELETE FROM TAB_CEP_TEMP WHERE NU_CEP = " +
                                    FieldValue(last[i], 1, 8));
        pending.Add(last[i], lastNumber[i]);
        writer.Send(pending);
    }
}

}  // namespace

std::string_view FieldText(std::string_view line, int position, int length) {
    const std::size_t first = static_cast<std::size_t>(position - 1);
    const std::string_view field = first < line.size()
                                       ? line.substr(first, static_cast<std::size_t>(length))
                                       : std::string_view();
    return TrimControl(field);
}

std::string FieldValue(std::string_view line, int position, int length) {
    return QuoteSql(FieldText(line, position, length));
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

std::string BuildBatchInsert(int records) {
    std::string columns;
    for (const TCepField& field : CepFieldLayout)
        columns += std::string(columns.empty() ? "" : ", ") + field.name;
    if (records == 1)
        return "INSERT INTO TAB_CEP_TEMP (" + columns + ") VALUES (?, ?, ?, ?, ?, ?, ?)";
    // The parameters carry each field at its own width, in the character set
    // the statements' texts would have had.
    std::string parameters, body;
    for (int r = 0; r < records; ++r) {
        std::string values;
        for (std::size_t f = 0; f < kFields; ++f) {
            const std::string name = "P" + std::to_string(r * kFields + f);
            parameters += (parameters.empty() ? "" : ", ") + name + " VARCHAR(" +
                          std::to_string(CepFieldLayout[f].Length()) +
                          ") CHARACTER SET WIN1252 = ?";
            values += (values.empty() ? ":" : ", :") + name;
        }
        body += "INSERT INTO TAB_CEP_TEMP (" + columns + ") VALUES (" + values + "); ";
    }
    return "EXECUTE BLOCK (" + parameters + ") AS BEGIN " + body + "END";
}

void LoadStaging(TRunContext& run, const std::string& fileName) {
    const int32_t fileSize = FileSizeOf(fileName);
    TLineProgress progress(run, kStatusStaging, fileSize);
    TTextReader file(fileName);
    progress.Start();
    TStagingWriter writer(run);
    TPendingRecords pending;
    std::vector<uint32_t> codes;
    codes.reserve(static_cast<std::size_t>(std::max<int32_t>(fileSize, 0)) / kCepLineBytes + 1);
    int32_t counter = 0;
    std::string line;
    uint32_t code = 0;
    while (!file.AtEnd()) {
        file.ReadLine(line);
        ++counter;
        progress.LineRead(line.size());
        pending.Add(line, counter);
        if (CodeOf(line, code))
            codes.push_back(code);
        if (static_cast<int>(pending.Size()) == kStagingRecordsPerCall) {
            writer.Send(pending);
            if (counter % kStagingRecordsPerCommit == 0)
                writer.Commit();
        }
        run.FView.ProcessMessages();
        if (run.FCancelRequested)
            break;
        progress.Show(counter);
    }
    writer.Send(pending);  // the records read before the end, or before a cancel
    if (!run.FCancelRequested)
        KeepLastOfDuplicates(writer, fileName, std::move(codes));
    writer.Finish();
}

}  // namespace cep
