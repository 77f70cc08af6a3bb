// The Firebird engine layer against real databases: embedded files and the
// private server over TCP, each in dialect 1 and dialect 3.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "database/firebird/FirebirdConnection.h"
#include "import/AnsiText.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using Clock = std::chrono::steady_clock;

namespace {

struct Target {
    bool tcp;
    int dialect;
};

std::string TargetName(const ::testing::TestParamInfo<Target>& info) {
    return std::string(info.param.tcp ? "Tcp" : "Embedded") + "Dialect" +
           std::to_string(info.param.dialect);
}

ConnectionParams Params(const std::string& server, const std::string& user,
                        const std::string& password) {
    return {{"SERVER NAME=" + server, "USER NAME=" + user, "PASSWORD=" + password}};
}

class EngineTest : public ::testing::TestWithParam<Target> {
  protected:
    void SetUp() override {
        const std::string file =
            "engine_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string name;
        for (char c : file)
            name += (c == '/') ? '_' : c;
        name += ".fdb";
        if (GetParam().tcp) {
            path_ = test::ServerDbDir() + "/" + name;
            fs::remove(path_);
            database_ = test::ServerAddress() + ":" + path_;
        } else {
            path_ = test::TempDir() + "/" + name;
            database_ = path_;
        }
        ASSERT_NO_FATAL_FAILURE(
            test::MakeDatabase(database_, "--dialect " + std::to_string(GetParam().dialect)));
        connection_ = CreateFirebirdConnection();
        connection_->OpenConnection(Params(database_, "SYSDBA", "corvinale"));
        query_ = connection_->CreateQuery();
    }
    void TearDown() override {
        query_.reset();
        connection_.reset();
        fs::remove(path_);
    }

    int Count(const std::string& table) { return connection_->CountRecords(table); }

    std::string path_;
    std::string database_;
    std::unique_ptr<TConnection> connection_;
    std::unique_ptr<TQuery> query_;
};

TEST_P(EngineTest, DoubleQuotedTextIsAStringLiteral) {
    query_->RunStatement(
        "INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES (\"DT_ATU_CEP\", '01/02/2018')");
    query_->RunStatement("INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES ('OTHER', 'x')");
    query_->OpenSelect("SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = \"DT_ATU_CEP\"");
    ASSERT_FALSE(query_->AtEnd());
    EXPECT_EQ(query_->ColumnText("TX_DESCRICAO"), "01/02/2018");
    query_->Next();
    EXPECT_TRUE(query_->AtEnd());
    query_->CloseSelect();

    query_->OpenSelect(
        "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME = \"IDX_CEPS_LOGR\"");
    EXPECT_FALSE(query_->AtEnd());
    query_->OpenSelect(
        "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME = \"IDX_MISSING\"");
    EXPECT_TRUE(query_->AtEnd());
}

TEST_P(EngineTest, AlterIndexSwitchesItOffAndOn) {
    auto inactive = [&] {
        query_->OpenSelect(
            "SELECT COALESCE(RDB$INDEX_INACTIVE, 0) AS OFF FROM RDB$INDICES "
            "WHERE RDB$INDEX_NAME = 'IDX_CEPS_MUNIC'");
        EXPECT_FALSE(query_->AtEnd());
        const std::string value = query_->ColumnText("OFF");
        query_->CloseSelect();
        return value == "1";
    };
    EXPECT_FALSE(inactive());
    query_->RunStatement("ALTER INDEX IDX_CEPS_MUNIC INACTIVE");
    EXPECT_TRUE(inactive());
    query_->RunStatement("ALTER INDEX IDX_CEPS_MUNIC ACTIVE");
    EXPECT_FALSE(inactive());
}

TEST_P(EngineTest, DuplicateKeyCarriesKeyViolation) {
    query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('250023', 'A')");
    try {
        query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('250023', 'B')");
        FAIL() << "duplicate accepted";
    } catch (const DatabaseError& e) {
        EXPECT_NE(AsciiLowerCase(e.what()).find("key violation"), std::string::npos) << e.what();
        EXPECT_TRUE(e.HasCode(335544665) || e.HasCode(335544349));
    }
    EXPECT_EQ(Count("TAB_MUNI"), 1);

    // Other failures keep the server's own words.
    try {
        query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1234567', 'C')");
        FAIL() << "overlong value accepted";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(AsciiLowerCase(e.what()).find("key violation"), std::string::npos) << e.what();
        EXPECT_FALSE(e.Codes().empty());
    }
}

TEST_P(EngineTest, StatementOnClosedConnectionReopensIt) {
    connection_->CloseConnection();
    EXPECT_FALSE(connection_->IsConnected());
    query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
    EXPECT_TRUE(connection_->IsConnected());
    connection_->CloseConnection();
    query_->OpenSelect("SELECT NM_MUNIC FROM TAB_MUNI");
    ASSERT_FALSE(query_->AtEnd());
    EXPECT_EQ(query_->ColumnText("NM_MUNIC"), "A" + std::string(29, ' '));
}

TEST_P(EngineTest, ListsUserTablesOnly) {
    EXPECT_EQ(connection_->ListUserTables(),
              (std::vector<std::string>{"QUELMAR_INI", "TAB_CEP", "TAB_MUNI"}));
}

TEST_P(EngineTest, UnitOfWorkCommitsOrRollsBack) {
    {
        TUnitOfWork work(*connection_);
        query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
        query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('2', 'B')");
        work.Commit();
    }
    EXPECT_EQ(Count("TAB_MUNI"), 2);
    try {
        TUnitOfWork work(*connection_);
        query_->RunStatement("DELETE FROM TAB_MUNI");
        query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('3', 'C')");
        query_->RunStatement("INSERT INTO NO_SUCH_TABLE VALUES (1)");
        work.Commit();
    } catch (const DatabaseError&) {
    }
    EXPECT_FALSE(connection_->InWork());
    EXPECT_EQ(Count("TAB_MUNI"), 2);

    // A close inside a unit loses its work; the unit then refuses to go on.
    TUnitOfWork work(*connection_);
    query_->RunStatement("DELETE FROM TAB_MUNI");
    connection_->CloseConnection();
    EXPECT_THROW(query_->RunStatement("DELETE FROM TAB_MUNI"), DatabaseError);
    EXPECT_THROW(work.Commit(), DatabaseError);
    EXPECT_EQ(Count("TAB_MUNI"), 2);
}

TEST_P(EngineTest, CancelStopsALongStatement) {
    const std::string longLoop =
        "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 2000000000) DO I = I + 1; END";
    Clock::time_point cancelledAt;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelledAt = Clock::now();
        connection_->Cancel();
    });
    const auto start = Clock::now();
    EXPECT_THROW(query_->RunStatement(longLoop), DatabaseError);
    const auto end = Clock::now();
    canceller.join();
    EXPECT_LT(end - cancelledAt, std::chrono::milliseconds(900));
    EXPECT_GT(end - start, std::chrono::milliseconds(250));
    // The connection stays usable, and an idle cancel is harmless.
    connection_->Cancel();
    query_->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
    EXPECT_EQ(Count("TAB_MUNI"), 1);
}

INSTANTIATE_TEST_SUITE_P(Targets, EngineTest,
                         ::testing::Values(Target{false, 1}, Target{false, 3}, Target{true, 1},
                                           Target{true, 3}),
                         TargetName);

// ------------------------------------------------------ connection failures

// A listening socket on 127.0.0.1 that accepts and never speaks.
class SilentServer {
  public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(fd_, 4);
    }
    ~SilentServer() { close(fd_); }
    int Port() const { return port_; }

  private:
    int fd_;
    int port_;
};

void ExpectFailsFast(const std::string& server) {
    auto connection = CreateFirebirdConnection();
    const auto start = Clock::now();
    EXPECT_THROW(connection->OpenConnection(Params(server, "SYSDBA", "corvinale")), DatabaseError);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(kConnectTimeoutSeconds + 3));
    EXPECT_FALSE(connection->IsConnected());
}

TEST(EngineConnect, SilentServerFailsFast) {
    SilentServer server;
    ExpectFailsFast("127.0.0.1/" + std::to_string(server.Port()) + ":/tmp/none.fdb");
}

TEST(EngineConnect, ClosedPortFailsFast) {
    ExpectFailsFast("127.0.0.1/" + std::to_string(test::ClosedPort()) + ":/tmp/none.fdb");
}

TEST(EngineConnect, WrongPasswordFailsOverTcp) {
    const std::string path = test::ServerDbDir() + "/engine_password.fdb";
    fs::remove(path);
    const std::string database = test::ServerAddress() + ":" + path;
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(database));
    auto connection = CreateFirebirdConnection();
    try {
        connection->OpenConnection(Params(database, "SYSDBA", "wrong"));
        FAIL() << "wrong password accepted";
    } catch (const DatabaseError& e) {
        EXPECT_FALSE(e.Codes().empty());
    }
    EXPECT_FALSE(connection->IsConnected());
    connection->OpenConnection(Params(database, "SYSDBA", "corvinale"));
    EXPECT_TRUE(connection->IsConnected());
    connection->CloseConnection();
    fs::remove(path);
}

TEST(EngineConnect, QueryOutlivingItsConnectionRaises) {
    const std::string path = test::TempDir() + "/orphan.fdb";
    ASSERT_NO_FATAL_FAILURE(test::MakeDatabase(path));
    auto connection = CreateFirebirdConnection();
    connection->OpenConnection(Params(path, "SYSDBA", "corvinale"));
    auto query = connection->CreateQuery();
    query->OpenSelect("SELECT 1 AS N FROM RDB$DATABASE");
    connection.reset();
    EXPECT_TRUE(query->AtEnd());
    EXPECT_THROW(query->RunStatement("DELETE FROM TAB_MUNI"), DatabaseError);
}

TEST(EngineConnect, MissingFileFails) {
    auto connection = CreateFirebirdConnection();
    EXPECT_THROW(
        connection->OpenConnection(Params(test::TempDir() + "/missing.fdb", "SYSDBA", "corvinale")),
        DatabaseError);
    EXPECT_FALSE(connection->IsConnected());
    // Nothing to reopen with: a statement raises instead of connecting anywhere.
    auto fresh = CreateFirebirdConnection();
    EXPECT_THROW(fresh->CreateQuery()->RunStatement("SELECT 1 FROM RDB$DATABASE"), DatabaseError);
}

}  // namespace
