#include "tests/TestDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "database/firebird/FirebirdConnection.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;

namespace cep::test {

namespace {

// The embedded engine's threads end before the process does, so that nothing
// runs while the process (and a leak checker) winds down.
class TEngineShutdown : public ::testing::Environment {
  public:
    void TearDown() override { ShutdownFirebird(); }
};
[[maybe_unused]] ::testing::Environment* const kEngineShutdown =
    ::testing::AddGlobalTestEnvironment(new TEngineShutdown);

}  // namespace

static std::string ServerFile(const char* name) {
    const std::string path = std::string(CEP_FBSERVER_DIR) + "/" + name;
    std::ifstream in(path);
    std::string value;
    in >> value;
    if (value.empty())
        ADD_FAILURE() << "private server not running (no " << path << ")";
    return value;
}

std::string ServerAddress() {
    return "127.0.0.1/" + ServerFile("port");
}

std::string ServerDbDir() {
    return std::string(CEP_FBSERVER_DIR) + "/db";
}

TConnectionParams SysdbaParams(const std::string& database) {
    return {{"SERVER NAME=" + database, "USER NAME=SYSDBA", "PASSWORD=corvinale"}};
}

TTestDatabase::TTestDatabase(TWhere where, const std::string& options, const std::string& prefix,
                             const std::string& suffix) {
    const std::string name = (prefix.empty() ? "" : prefix + "_") + TestName() + suffix + ".fdb";
    if (where == TWhere::Tcp) {
        FFile = ServerDbDir() + "/" + name;
        FDatabase = ServerAddress() + ":" + FFile;
    } else {
        FFile = TempDir() + "/" + name;
        FDatabase = FFile;
    }
    fs::remove(FFile);
    const std::string command = std::string(CEP_SOURCE_DIR) + "/tools/make-sample-db.sh --force " +
                                options + " '" + FDatabase + "'";
    EXPECT_EQ(Shell(command), 0) << command;
}

TTestDatabase::~TTestDatabase() {
    std::error_code ignored;
    fs::remove(FFile, ignored);
}

void TTestDatabase::Run(const std::string& sql) const {
    auto connection = CreateFirebirdConnection();
    connection->OpenConnection(Sysdba());
    connection->CreateQuery()->RunStatement(sql);
}

}  // namespace cep::test
