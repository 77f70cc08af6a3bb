#pragma once

#include <string>

#include "database/Engine.h"

namespace cep::test {

/// "127.0.0.1/PORT" of the private server the ctest run started.
std::string ServerAddress();

/// The folder the private server keeps its test databases in.
std::string ServerDbDir();

/// The administrator's connection parameters for `database`.
TConnectionParams SysdbaParams(const std::string& database);

/// Where a test database lives: a file opened through the embedded engine,
/// or a file of the private server reached over TCP.
enum class TWhere { Embedded, Tcp };

/// A throwaway target database for one test, made by tools/make-sample-db.sh
/// with `options` (e.g. "--dialect 3 --bare") and removed when it goes out of
/// scope. Its file is named after the running test, behind `prefix` (which
/// picks the database user, e.g. "lumexbd") and before `suffix`. Fails the
/// test when it cannot be made.
class TTestDatabase {
  public:
    explicit TTestDatabase(TWhere where, const std::string& options = {},
                           const std::string& prefix = {}, const std::string& suffix = {});
    ~TTestDatabase();
    TTestDatabase(const TTestDatabase&) = delete;
    TTestDatabase& operator=(const TTestDatabase&) = delete;

    /// The connection string: the file's path, or "127.0.0.1/PORT:path".
    const std::string& Database() const { return FDatabase; }
    /// The database file.
    const std::string& File() const { return FFile; }
    /// The administrator's connection parameters.
    TConnectionParams Sysdba() const { return SysdbaParams(FDatabase); }
    /// Runs one statement as the administrator.
    void Run(const std::string& sql) const;

  private:
    std::string FFile;
    std::string FDatabase;
};

}  // namespace cep::test
