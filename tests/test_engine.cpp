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

#include "common/AnsiText.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using TSteady = std::chrono::steady_clock;

namespace {

struct TTarget {
    test::TWhere where;
    int dialect;
};

void PrintTo(const TTarget& target, std::ostream* out) {
    *out << (target.where == test::TWhere::Tcp ? "TCP" : "embedded") << ", dialect "
         << target.dialect;
}

std::string TargetName(const ::testing::TestParamInfo<TTarget>& info) {
    return std::string(info.param.where == test::TWhere::Tcp ? "Tcp" : "Embedded") + "Dialect" +
           std::to_string(info.param.dialect);
}

TConnectionParams Params(const std::string& server, const std::string& user,
                         const std::string& password) {
    return {{"SERVER NAME=" + server, "USER NAME=" + user, "PASSWORD=" + password}};
}

class EngineTest : public ::testing::TestWithParam<TTarget> {
  protected:
    void SetUp() override {
        FTarget = std::make_unique<test::TTestDatabase>(
            GetParam().where, "--dialect " + std::to_string(GetParam().dialect));
        FConnection = CreateFirebirdConnection();
        FConnection->OpenConnection(FTarget->Sysdba());
        FQuery = FConnection->CreateQuery();
    }
    void TearDown() override {
        FQuery.reset();
        FConnection.reset();
        FTarget.reset();
    }

    int Count(const std::string& table) { return FConnection->CountRecords(table); }

    std::unique_ptr<test::TTestDatabase> FTarget;
    std::unique_ptr<TConnection> FConnection;
    std::unique_ptr<TQuery> FQuery;
};

TEST_P(EngineTest, DoubleQuotedTextIsAStringLiteral) {
    FQuery->RunStatement(
        "INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES (\"DT_ATU_CEP\", '01/02/2018')");
    FQuery->RunStatement("INSERT INTO QUELMAR_INI (ID_ITEM, TX_DESCRICAO) VALUES ('OTHER', 'x')");
    FQuery->OpenSelect("SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = \"DT_ATU_CEP\"");
    ASSERT_FALSE(FQuery->AtEnd());
    EXPECT_EQ(FQuery->ColumnText("TX_DESCRICAO"), "01/02/2018");
    FQuery->Next();
    EXPECT_TRUE(FQuery->AtEnd());
    FQuery->CloseSelect();

    FQuery->OpenSelect(
        "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME = \"IDX_CEPS_LOGR\"");
    EXPECT_FALSE(FQuery->AtEnd());
    FQuery->OpenSelect(
        "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE RDB$INDEX_NAME = \"IDX_MISSING\"");
    EXPECT_TRUE(FQuery->AtEnd());
}

TEST_P(EngineTest, AlterIndexSwitchesItOffAndOn) {
    auto inactive = [&] {
        FQuery->OpenSelect(
            "SELECT COALESCE(RDB$INDEX_INACTIVE, 0) AS OFF FROM RDB$INDICES "
            "WHERE RDB$INDEX_NAME = 'IDX_CEPS_MUNIC'");
        EXPECT_FALSE(FQuery->AtEnd());
        const std::string value = FQuery->ColumnText("OFF");
        FQuery->CloseSelect();
        return value == "1";
    };
    EXPECT_FALSE(inactive());
    FQuery->RunStatement("ALTER INDEX IDX_CEPS_MUNIC INACTIVE");
    EXPECT_TRUE(inactive());
    FQuery->RunStatement("ALTER INDEX IDX_CEPS_MUNIC ACTIVE");
    EXPECT_FALSE(inactive());
}

TEST_P(EngineTest, DuplicateKeyCarriesKeyViolation) {
    FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('250023', 'A')");
    try {
        FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('250023', 'B')");
        FAIL() << "duplicate accepted";
    } catch (const TDatabaseError& e) {
        EXPECT_NE(AsciiLowerCase(e.what()).find("key violation"), std::string::npos) << e.what();
        EXPECT_TRUE(e.HasCode(335544665) || e.HasCode(335544349));
    }
    EXPECT_EQ(Count("TAB_MUNI"), 1);

    // Other failures keep the server's own words.
    try {
        FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1234567', 'C')");
        FAIL() << "overlong value accepted";
    } catch (const TDatabaseError& e) {
        EXPECT_EQ(AsciiLowerCase(e.what()).find("key violation"), std::string::npos) << e.what();
        EXPECT_FALSE(e.Codes().empty());
    }
}

TEST_P(EngineTest, StatementOnClosedConnectionReopensIt) {
    FConnection->CloseConnection();
    EXPECT_FALSE(FConnection->IsConnected());
    FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
    EXPECT_TRUE(FConnection->IsConnected());
    FConnection->CloseConnection();
    FQuery->OpenSelect("SELECT NM_MUNIC FROM TAB_MUNI");
    ASSERT_FALSE(FQuery->AtEnd());
    EXPECT_EQ(FQuery->ColumnText("NM_MUNIC"), "A" + std::string(29, ' '));
}

TEST_P(EngineTest, ListsUserTablesOnly) {
    EXPECT_EQ(FConnection->ListUserTables(),
              (std::vector<std::string>{"QUELMAR_INI", "TAB_CEP", "TAB_MUNI"}));
}

TEST_P(EngineTest, TransactionCommitsOrRollsBack) {
    {
        auto work = FConnection->StartTransaction();
        auto query = FConnection->CreateQuery(work.get());
        query->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
        query->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('2', 'B')");
        // Not seen by others before the commit.
        EXPECT_EQ(Count("TAB_MUNI"), 0);
        work->Commit();
        EXPECT_FALSE(work->IsOpen());
        EXPECT_THROW(query->RunStatement("DELETE FROM TAB_MUNI"), TDatabaseError);
    }
    EXPECT_EQ(Count("TAB_MUNI"), 2);
    {
        // Left without a commit: rolled back.
        auto work = FConnection->StartTransaction();
        auto query = FConnection->CreateQuery(work.get());
        query->RunStatement("DELETE FROM TAB_MUNI");
        query->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('3', 'C')");
        EXPECT_THROW(query->RunStatement("INSERT INTO NO_SUCH_TABLE VALUES (1)"), TDatabaseError);
    }
    EXPECT_EQ(Count("TAB_MUNI"), 2);

    // A close loses the open work; its statements then raise, and the
    // connection itself works on.
    auto work = FConnection->StartTransaction();
    auto query = FConnection->CreateQuery(work.get());
    query->RunStatement("DELETE FROM TAB_MUNI");
    FConnection->CloseConnection();
    EXPECT_FALSE(work->IsOpen());
    try {
        query->RunStatement("DELETE FROM TAB_MUNI");
        FAIL() << "a statement ran in a lost transaction";
    } catch (const TDatabaseError& e) {
        EXPECT_EQ(e.Failure(), TDatabaseFailure::ConnectionLost);
    }
    EXPECT_THROW(work->Commit(), TDatabaseError);
    EXPECT_EQ(Count("TAB_MUNI"), 2);
}

TEST_P(EngineTest, FailedCommitLeavesTheConnectionUsable) {
    FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'SAME')");
    FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('2', 'SAME')");
    // A unique index over duplicates is built at the commit, which fails.
    auto work = FConnection->StartTransaction();
    auto query = FConnection->CreateQuery(work.get());
    query->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('3', 'C')");
    query->RunStatement("CREATE UNIQUE INDEX IDX_MUNI_NAME ON TAB_MUNI (NM_MUNIC)");
    EXPECT_THROW(work->Commit(), TDatabaseError);
    EXPECT_FALSE(work->IsOpen());
    // Nothing of it stayed, and the same connection goes on.
    EXPECT_EQ(Count("TAB_MUNI"), 2);
    auto next = FConnection->StartTransaction();
    FConnection->CreateQuery(next.get())
        ->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('4', 'D')");
    next->Commit();
    EXPECT_EQ(Count("TAB_MUNI"), 3);
}

TEST_P(EngineTest, PreparedStatementTakesTextValues) {
    auto work = FConnection->StartTransaction();
    auto insert =
        FConnection->Prepare("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES (?, ?)", *work);
    EXPECT_EQ(insert->ParameterCount(), 2u);
    // Values are data: quotes, blanks, an empty text (never NULL), Latin-1.
    insert->Execute(*work, {"1", "D'ALIANCA"});
    insert->Execute(*work, {"2", ""});
    insert->Execute(*work, {"3", "S\xC3O PAULO"});
    try {
        insert->Execute(*work, {"1", "AGAIN"});
        FAIL() << "duplicate accepted";
    } catch (const TDatabaseError& e) {
        EXPECT_TRUE(e.IsKeyViolation()) << e.what();
    }
    EXPECT_THROW(insert->Execute(*work, {"4"}), TDatabaseError);
    // A statement that cannot be prepared leaves nothing of it behind: the
    // connection closes cleanly afterwards (the sanitizer run watches).
    EXPECT_THROW(FConnection->Prepare("INSERT INTO NO_SUCH_TABLE VALUES (?)", *work),
                 TDatabaseError);
    // The same statement in a later transaction.
    work->Commit();
    auto next = FConnection->StartTransaction();
    insert->Execute(*next, {"5", "E"});
    next->Commit();
    auto query = FConnection->CreateQuery();
    query->OpenSelect("SELECT NM_MUNIC FROM TAB_MUNI ORDER BY ID_MUNIC");
    std::vector<std::string> names;
    for (; !query->AtEnd(); query->Next()) {
        EXPECT_FALSE(query->ColumnIsNull("NM_MUNIC"));
        names.push_back(query->ColumnText("NM_MUNIC").substr(0, 10));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"D'ALIANCA ", "          ", "S\xC3O PAULO ",
                                               "E         "}));
    FConnection->CloseConnection();
}

TEST_P(EngineTest, ProtectedTableKeepsOtherWritersOut) {
    TTransactionOptions claim;
    claim.protectedTables = {"TAB_CEP"};
    claim.lockTimeout = 1;
    auto held = FConnection->StartTransaction(claim);
    auto other = CreateFirebirdConnection();
    other->OpenConnection(FTarget->Sysdba());
    try {
        other->StartTransaction(claim);
        FAIL() << "a second reservation was granted";
    } catch (const TDatabaseError& e) {
        EXPECT_EQ(e.Failure(), TDatabaseFailure::LockConflict) << e.what();
    }
    // Others still read; the holder's own work on other tables goes on.
    EXPECT_EQ(other->CountRecords("TAB_CEP"), 0);
    FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
    held->Rollback();
    auto after = other->StartTransaction(claim);
    EXPECT_TRUE(after->IsOpen());
}

TEST_P(EngineTest, CancelStopsALongStatement) {
    const std::string longLoop =
        "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 2000000000) DO I = I + 1; END";
    TSteady::time_point cancelledAt;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelledAt = TSteady::now();
        FConnection->Cancel();
    });
    const auto start = TSteady::now();
    EXPECT_THROW(FQuery->RunStatement(longLoop), TDatabaseError);
    const auto end = TSteady::now();
    canceller.join();
    EXPECT_LT(end - cancelledAt, std::chrono::milliseconds(900));
    EXPECT_GT(end - start, std::chrono::milliseconds(250));
    // The connection stays usable, and an idle cancel is harmless.
    FConnection->Cancel();
    FQuery->RunStatement("INSERT INTO TAB_MUNI (ID_MUNIC, NM_MUNIC) VALUES ('1', 'A')");
    EXPECT_EQ(Count("TAB_MUNI"), 1);
}

INSTANTIATE_TEST_SUITE_P(Targets, EngineTest,
                         ::testing::Values(TTarget{test::TWhere::Embedded, 1},
                                           TTarget{test::TWhere::Embedded, 3},
                                           TTarget{test::TWhere::Tcp, 1},
                                           TTarget{test::TWhere::Tcp, 3}),
                         TargetName);

// ------------------------------------------------------ connection failures

// A listening socket on 127.0.0.1 that accepts and never speaks.
class TSilentServer {
  public:
    TSilentServer() {
        FFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        listen(FFd, 4);
    }
    ~TSilentServer() { close(FFd); }
    int Port() const { return FPort; }

  private:
    int FFd;
    int FPort;
};

void ExpectFailsFast(const std::string& server) {
    auto connection = CreateFirebirdConnection();
    const auto start = TSteady::now();
    EXPECT_THROW(connection->OpenConnection(Params(server, "SYSDBA", "corvinale")), TDatabaseError);
    EXPECT_LT(TSteady::now() - start, std::chrono::seconds(kConnectTimeoutSeconds + 3));
    EXPECT_FALSE(connection->IsConnected());
}

TEST(EngineConnect, SilentServerFailsFast) {
    TSilentServer server;
    ExpectFailsFast("127.0.0.1/" + std::to_string(server.Port()) + ":/tmp/none.fdb");
}

TEST(EngineConnect, ClosedPortFailsFast) {
    ExpectFailsFast("127.0.0.1/" + std::to_string(test::ClosedPort()) + ":/tmp/none.fdb");
}

TEST(EngineConnect, WrongPasswordFailsOverTcp) {
    const test::TTestDatabase target(test::TWhere::Tcp);
    const std::string& database = target.Database();
    auto connection = CreateFirebirdConnection();
    try {
        connection->OpenConnection(Params(database, "SYSDBA", "wrong"));
        FAIL() << "wrong password accepted";
    } catch (const TDatabaseError& e) {
        EXPECT_FALSE(e.Codes().empty());
    }
    EXPECT_FALSE(connection->IsConnected());
    connection->OpenConnection(Params(database, "SYSDBA", "corvinale"));
    EXPECT_TRUE(connection->IsConnected());
    connection->CloseConnection();
}

TEST(EngineConnect, QueryOutlivingItsConnectionRaises) {
    const test::TTestDatabase target(test::TWhere::Embedded);
    auto connection = CreateFirebirdConnection();
    connection->OpenConnection(target.Sysdba());
    auto query = connection->CreateQuery();
    query->OpenSelect("SELECT 1 AS N FROM RDB$DATABASE");
    connection.reset();
    EXPECT_TRUE(query->AtEnd());
    EXPECT_THROW(query->RunStatement("DELETE FROM TAB_MUNI"), TDatabaseError);
}

TEST(EngineConnect, MissingFileFails) {
    auto connection = CreateFirebirdConnection();
    EXPECT_THROW(
        connection->OpenConnection(Params(test::TempDir() + "/missing.fdb", "SYSDBA", "corvinale")),
        TDatabaseError);
    EXPECT_FALSE(connection->IsConnected());
    // Nothing to reopen with: a statement raises instead of connecting anywhere.
    auto fresh = CreateFirebirdConnection();
    EXPECT_THROW(fresh->CreateQuery()->RunStatement("SELECT 1 FROM RDB$DATABASE"), TDatabaseError);
}

}  // namespace
