// Credentials from the database file name, the password rebuild, and the
// connection over TCP with the users of the private server.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "database/Credentials.h"
#include "database/firebird/FirebirdConnection.h"
#include "tests/TestDatabase.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

std::string Scalar(TConnection& connection, const std::string& sql) {
    std::unique_ptr<TQuery> query = connection.CreateQuery();
    query->OpenSelect(sql);
    return query->AtEnd() ? std::string("<no row>") : query->ColumnText("V");
}

std::string CurrentUser(TConnection& connection) {
    std::string user = Scalar(connection, "SELECT CURRENT_USER AS V FROM RDB$DATABASE");
    user.erase(user.find_last_not_of(' ') + 1);
    return user;
}

std::string ConnectionId(TConnection& connection) {
    return Scalar(connection, "SELECT CURRENT_CONNECTION AS V FROM RDB$DATABASE");
}

// ------------------------------------------------------------ credentials

TEST(ChooseCredentials, UserFromTheStartOfTheFileName) {
    struct Case {
        const char* path;
        const char* user;
    };
    const Case cases[] = {
        {"server:C:\\data\\LUMEXBD.GDB", "LUMEX_APP"},
        {"server:/data/lumexbd.gdb", "LUMEX_APP"},  // a forward slash separates too
        {"/home/x/lumexbd.fdb", "LUMEX_APP"},
        {"127.0.0.1/3050:/srv/db/lumexbd.fdb", "LUMEX_APP"},
        {"C:\\dados\\LumexBD2005.GDB", "LUMEX_APP"},
        {"lumexbd", "LUMEX_APP"},
        {"C:lumexbd.gdb", "LUMEX_APP"},
        {"C:\\dados\\lumexb.gdb", "SYSDBA"},
        {"C:\\dados\\xlumexbd.gdb", "SYSDBA"},
        {"C:\\lumexbd\\outro.gdb", "SYSDBA"},  // only the file name counts
        {"/lumexbd/outro.fdb", "SYSDBA"},
        {"C:\\dados\\", "SYSDBA"},
        {"", "SYSDBA"},
        {"C:\\dados\\vortanbd.idb", "VORTAN_APP"},
        {"srv:/dados/VortanBD.fdb", "VORTAN_APP"},
        {"C:\\dados\\vortanb.gdb", "SYSDBA"},
        {"C:\\dados\\lumexbvortanbd.gdb", "SYSDBA"},
        // Accented capitals are lowered with the rest; the prefix still decides.
        {"C:\\DADOS\\VORTANBD\xC7\xC3O.IDB", "VORTAN_APP"},
        {"C:\\DADOS\\\xC9LUMEXBD.GDB", "SYSDBA"},
    };
    for (const Case& c : cases) {
        const TCredentials credentials = ChooseCredentials(c.path);
        EXPECT_EQ(credentials.user, c.user) << c.path;
        if (credentials.user == "SYSDBA")
            EXPECT_EQ(credentials.password, "corvinale") << c.path;
        else
            EXPECT_EQ(credentials.password.size(), 6u) << c.path;
    }
    EXPECT_NE(ChooseCredentials("lumexbd").password, ChooseCredentials("vortanbd").password);
}

TEST(Descramble, ExclusiveOrWithTheKeyByte) {
    struct Case {
        std::string key;
        std::string stored;
        std::string expected;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        // 'A' (65) minus length 1: key byte 0x40.
        {"A", "\x01\x02"s, "AB"},
        // 'm' (109) minus 9: 0x64; a stored 0x64 gives a 0 byte in the result.
        {"morvalex9", "\x28\x64\x1C\x64\x64\x56"s,
         "L\0x\0\0"
         "2"s},
        // Code 3 minus length 4 wraps to 0xFF.
        {"\x03"
         "abc",
         "\xFF\x00\x0F"s, "\x00\xFF\xF0"s},
        // Code 1 minus length 1: 0, the bytes come back unchanged.
        {"\x01", "abc", "abc"},
        // A code above 127 is read unsigned: 0xE9 - 3 = 0xE6.
        {"\xE9"
         "ab",
         "\xE6\x00"s, "\x00\xE6"s},
        {"quelma", "", ""},
    };
    for (const Case& c : cases) {
        const std::string result = Descramble(c.key, c.stored);
        EXPECT_EQ(result, c.expected) << "key " << c.key;
        EXPECT_EQ(result.size(), c.stored.size());
        EXPECT_EQ(Descramble(c.key, result), c.stored) << "not its own inverse, key " << c.key;
    }
}

// ------------------------------------------------------------ connection

class ConnectDatabaseTcp : public ::testing::Test {
  protected:
    // A database on the private server, owned by the user its name selects.
    std::string MakeServerDatabase(const std::string& prefix) {
        FDatabases.push_back(std::make_unique<test::TTestDatabase>(test::TWhere::Tcp, "", prefix));
        return FDatabases.back()->Database();
    }
    void TearDown() override {
        FConnection.reset();
        FDatabases.clear();
    }

    std::unique_ptr<TConnection> FConnection = CreateFirebirdConnection();
    std::vector<std::unique_ptr<test::TTestDatabase>> FDatabases;
};

TEST_F(ConnectDatabaseTcp, EachFileNameLogsInAsItsUser) {
    const struct {
        const char* name;
        const char* user;
    } cases[] = {
        {"lumexbd", "LUMEX_APP"},
        {"VortanBD", "VORTAN_APP"},
        {"quelmar", "SYSDBA"},
    };
    for (const auto& c : cases) {
        const std::string database = MakeServerDatabase(c.name);
        ASSERT_FALSE(HasFatalFailure());
        const TCredentials credentials = ChooseCredentials(database);
        ASSERT_EQ(credentials.user, c.user) << database;
        ASSERT_TRUE(ConnectDatabase(*FConnection, database, credentials.user, credentials.password))
            << database;
        EXPECT_EQ(CurrentUser(*FConnection), c.user);
        EXPECT_EQ(
            FConnection->Params().lines,
            (std::vector<std::string>{"SERVER NAME=" + database, "USER NAME=" + credentials.user,
                                      "PASSWORD=" + credentials.password}));
    }
}

TEST_F(ConnectDatabaseTcp, ConnectingAgainReopens) {
    const std::string database = MakeServerDatabase("lumexbd");
    ASSERT_FALSE(HasFatalFailure());
    const TCredentials lumex = ChooseCredentials(database);
    ASSERT_TRUE(ConnectDatabase(*FConnection, database, lumex.user, lumex.password));
    const std::string first = ConnectionId(*FConnection);
    ASSERT_TRUE(ConnectDatabase(*FConnection, database, lumex.user, lumex.password));
    EXPECT_NE(ConnectionId(*FConnection), first);

    // The new parameters are used, not the open connection's.
    ASSERT_TRUE(ConnectDatabase(*FConnection, database, "SYSDBA", "corvinale"));
    EXPECT_EQ(CurrentUser(*FConnection), "SYSDBA");
}

TEST_F(ConnectDatabaseTcp, FailuresGiveFalseAndLeaveItClosed) {
    const std::string database = MakeServerDatabase("lumexbd");
    ASSERT_FALSE(HasFatalFailure());
    const TCredentials lumex = ChooseCredentials(database);
    const std::string unreachable = "127.0.0.1/" + std::to_string(test::ClosedPort()) + ":" +
                                    test::ServerDbDir() + "/lumexbd_fail.fdb";
    const struct {
        std::string path, user, password;
    } failures[] = {
        {database, lumex.user, "wrong"},
        {database, "VORTAN_APP", lumex.password},  // another user's password
        {unreachable, lumex.user, lumex.password},
        {test::ServerAddress() + ":" + test::ServerDbDir() + "/lumexbd_none.fdb", lumex.user,
         lumex.password},
    };
    for (const auto& f : failures) {
        // Open first: a failed connect must not leave the earlier one open.
        ASSERT_TRUE(ConnectDatabase(*FConnection, database, lumex.user, lumex.password));
        bool connected = true;
        std::string reason;
        EXPECT_NO_THROW(connected =
                            ConnectDatabase(*FConnection, f.path, f.user, f.password, &reason))
            << f.path << " " << f.user;
        EXPECT_FALSE(connected) << f.path << " " << f.user;
        EXPECT_FALSE(FConnection->IsConnected());
        // The engine's reason is kept for the message's detail.
        EXPECT_FALSE(reason.empty()) << f.path << " " << f.user;
    }
}

}  // namespace
