// Statement builders and the summary: tables of cases.

#include <gtest/gtest.h>

#include "common/TimeOfDay.h"
#include "database/MergeStatement.h"
#include "database/Withdrawn.h"
#include "import/ImportRun.h"
#include "import/MunicipalityLoad.h"
#include "import/StagingLoad.h"

using namespace cep;

namespace {

// A postal-code line from its fields, padded to the record layout.
std::string CepLine(const std::string& cep, const std::string& kind, const std::string& street,
                    const std::string& district, const std::string& uf, const std::string& muni,
                    const std::string& paf) {
    auto pad = [](const std::string& s, std::size_t n) {
        return (s + std::string(n, ' ')).substr(0, n);
    };
    return pad(cep, 8) + pad(kind, 10) + pad(street, 70) + pad(district, 60) + pad(uf, 2) +
           pad(muni, 5) + pad(paf, 8) + "  ";
}

TEST(Builders, PostalCodeStatements) {
    const std::string line =
        CepLine("88775970", "", "ACM RIO D'UNA", "CENTRO", "SC", "20071", "20001040");
    ASSERT_EQ(line.size(), 165u);
    EXPECT_EQ(BuildInsert(line),
              "INSERT INTO TAB_CEP_TEMP (NU_CEP, ID_TIPO_LOGR, TE_DESCRICAO_CEP, NM_BAIRRO, SG_UF, "
              "ID_MUNI_PREV, ID_PAF) VALUES ('88775970', '', 'ACM RIO D''UNA', 'CENTRO', 'SC', "
              "'20071', '20001040')");
    EXPECT_EQ(BuildUpdate(line),
              "UPDATE TAB_CEP_TEMP SET NU_CEP = '88775970', ID_TIPO_LOGR = '', TE_DESCRICAO_CEP = "
              "'ACM RIO D''UNA', NM_BAIRRO = 'CENTRO', SG_UF = 'SC', ID_MUNI_PREV = '20071', "
              "ID_PAF = '20001040' WHERE NU_CEP = '88775970'");
}

TEST(Builders, FieldValues) {
    struct Case {
        std::string line;
        int position, length;
        std::string expected;
    } cases[] = {
        {"12345678", 1, 8, "'12345678'"},
        {"1234567", 1, 8, "'1234567'"},              // line ends inside the field
        {"12345678", 9, 10, "''"},                   // line ends before the field
        {"        X  ", 1, 8, "''"},                 // blanks only
        {"  A'B \t", 1, 8, "'A''B'"},                // trimmed, quote doubled
        {std::string("\x01Z\x1f", 3), 1, 3, "'Z'"},  // control characters trimmed
    };
    for (const Case& c : cases)
        EXPECT_EQ(FieldValue(c.line, c.position, c.length), c.expected) << c.line;
}

TEST(Builders, MunicipalityStatements) {
    struct Case {
        std::string line, expected;
    } cases[] = {
        {"250023CALCOENE",
         "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES ('250023', 'CALCOENE')"},
        {"250023SAO JOAO D'ALIANCA  ",
         "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES ('250023', 'SAO JOAO D''ALIANCA  ')"},
        {"250023", "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES ('250023', '')"},
        {"2500", "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES ('2500', '')"},
        {"123456" + std::string(31, 'N'),
         "INSERT INTO TAB_MUNI (ID_MUNIC,NM_MUNIC) VALUES ('123456', '" + std::string(30, 'N') +
             "')"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildMunicipalityInsert(c.line), c.expected);
}

TEST(Builders, WithdrawnCodesAreQuotedLiterals) {
    EXPECT_EQ(BuildDeleteStatement({"02202090", "02202100"}),
              "DELETE FROM TAB_CEP  WHERE NU_CEP IN ('02202090','02202100')");
    // Text from the file can never become SQL.
    EXPECT_EQ(BuildDeleteStatement({"0)OR(1=1"}),
              "DELETE FROM TAB_CEP  WHERE NU_CEP IN ('0)OR(1=1')");
    EXPECT_EQ(BuildDeleteStatement({"1'OR'1'="}),
              "DELETE FROM TAB_CEP  WHERE NU_CEP IN ('1''OR''1''=')");
    EXPECT_EQ(BuildDeleteStatement({" 1234567"}),
              "DELETE FROM TAB_CEP  WHERE NU_CEP IN (' 1234567')");
}

TEST(Builders, MergeStatement) {
    const struct Case {
        std::vector<std::string> columns;
        const char* expected;
    } cases[] = {
        {{"NU_CEP", "SG_UF", "ID_PAF"},
         "MERGE INTO TAB_CEP D USING TAB_CEP_TEMP S ON D.NU_CEP = S.NU_CEP WHEN MATCHED AND "
         "(D.SG_UF IS DISTINCT FROM S.SG_UF OR D.ID_PAF IS DISTINCT FROM S.ID_PAF) THEN UPDATE "
         "SET D.SG_UF = S.SG_UF, D.ID_PAF = S.ID_PAF WHEN NOT MATCHED THEN INSERT (NU_CEP, "
         "SG_UF, ID_PAF) VALUES (S.NU_CEP, S.SG_UF, S.ID_PAF)"},
        // The key alone: nothing to update.
        {{"NU_CEP"},
         "MERGE INTO TAB_CEP D USING TAB_CEP_TEMP S ON D.NU_CEP = S.NU_CEP WHEN NOT MATCHED "
         "THEN INSERT (NU_CEP) VALUES (S.NU_CEP)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildMergeStatement("TAB_CEP_TEMP", "TAB_CEP", "NU_CEP", c.columns), c.expected);
}

TEST(Summary, Outcomes) {
    const double elapsed = MakeTimeOfDay(1, 2, 3, 400);
    struct Case {
        int moved, deleted, rejected;
        std::string expected;
    } cases[] = {
        {12, 3, 0, "12 Registros atualizados.\r3 Registros excluidos.\r\rTempo gasto: 01:02:03"},
        {12, 0, 0, "12 Registros atualizados.\r\rTempo gasto: 01:02:03"},
        {0, 3, 0, "\r3 Registros excluidos.\r\rTempo gasto: 01:02:03"},
        {0, 0, 0, "\r\rTempo gasto: 01:02:03"},
        {12, 3, 5,
         "12 Registros atualizados.\r3 Registros excluidos.\r5 Registros rejeitados.\r\r"
         "Tempo gasto: 01:02:03"},
        {12, 0, 5, "12 Registros atualizados.\r5 Registros rejeitados.\r\rTempo gasto: 01:02:03"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildSummary(c.moved, c.deleted, c.rejected, elapsed), c.expected);
    EXPECT_EQ(BuildSummary(1234567, 0, 0, 0),
              "1234567 Registros atualizados.\r\rTempo gasto: 00:00:00");
}

}  // namespace
