// Text INSERT statements committed one by one against the same statements
// sharing one unit of work.
//
//   bench_commit DATABASE [COUNT]

#include <chrono>
#include <cstdio>
#include <string>

#include "database/firebird/FirebirdConnection.h"

using namespace cep;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_commit DATABASE [COUNT]\n");
        return 64;
    }
    const int count = argc > 2 ? std::stoi(argv[2]) : 20000;
    auto connection = CreateFirebirdConnection();
    connection->OpenConnection(
        {{std::string("SERVER NAME=") + argv[1], "USER NAME=SYSDBA", "PASSWORD=corvinale"}});
    auto query = connection->CreateQuery();
    query->RunStatement(
        "CREATE TABLE BENCH_COMMIT (NU_CEP CHAR(8) NOT NULL, TE_DESCRICAO_CEP CHAR(70))");
    auto measure = [&](const char* label, bool unit) {
        query->RunStatement("DELETE FROM BENCH_COMMIT");
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<TTransaction> work;
        if (unit)
            work = connection->StartTransaction();
        auto insert = connection->CreateQuery(work.get());
        for (int i = 0; i < count; ++i)
            insert->RunStatement("INSERT INTO BENCH_COMMIT (NU_CEP, TE_DESCRICAO_CEP) VALUES ('" +
                                 std::to_string(10000000 + i) + "', 'RUA IRMAO GREGORIO')");
        insert.reset();
        if (work)
            work->Commit();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-28s %6d statements in %6.2f s: %8.0f statements/s\n", label, count, seconds,
                    count / seconds);
    };
    measure("a commit per statement", false);
    measure("one transaction", true);
    query->RunStatement("DROP TABLE BENCH_COMMIT");
    return 0;
}
