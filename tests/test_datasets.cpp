// The data sets: the record layout table, writing a data set out (embedded
// and from a release folder), its errors, FileSizeOf, and the release
// generator and checker on small releases.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/FileSize.h"
#include "common/RecordLayout.h"
#include "import/DataSets.h"
#include "resources/EmbeddedDataSets.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using cep::test::ReadFile;
using cep::test::Shell;
using cep::test::TempDir;

namespace {

const std::string kReleaseDir = CEP_RELEASE_DIR;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

/// Compares two files in chunks (the full TABCEP is 176 MB).
::testing::AssertionResult SameBytes(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb)
        return ::testing::AssertionFailure() << "cannot open " << a << " or " << b;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (uint64_t offset = 0;;) {
        fa.read(ba.data(), std::streamsize(ba.size()));
        fb.read(bb.data(), std::streamsize(bb.size()));
        const std::streamsize na = fa.gcount(), nb = fb.gcount();
        const std::streamsize n = std::min(na, nb);
        const auto diff = std::mismatch(ba.begin(), ba.begin() + n, bb.begin());
        if (diff.first != ba.begin() + n)
            return ::testing::AssertionFailure()
                   << "differ at byte " << offset + uint64_t(diff.first - ba.begin());
        if (na != nb)
            return ::testing::AssertionFailure() << "lengths differ";
        if (na == 0)
            return ::testing::AssertionSuccess();
        offset += uint64_t(na);
    }
}

std::string ErrorOf(const TDataSetSource& source, const std::string& name,
                    const std::string& file) {
    try {
        source.Extract(name, file);
    } catch (const TDataSetError& e) {
        return e.what();
    }
    return "(no error)";
}

// ---------------------------------------------------------------- layout

TEST(CepFieldLayout, SevenFieldsInRecordOrderTilingTheRecord) {
    const char* expected[7][3] = {
        {"NU_CEP", "1", "8"},      {"ID_TIPO_LOGR", "9", "10"}, {"TE_DESCRICAO_CEP", "19", "70"},
        {"NM_BAIRRO", "89", "60"}, {"SG_UF", "149", "2"},       {"ID_MUNI_PREV", "151", "5"},
        {"ID_PAF", "156", "8"},
    };
    int next = 1;
    for (std::size_t i = 0; i < CepFieldLayout.size(); ++i) {
        const TCepField& field = CepFieldLayout[i];
        EXPECT_STREQ(field.name, expected[i][0]);
        EXPECT_STREQ(field.position, expected[i][1]);
        EXPECT_STREQ(field.length, expected[i][2]);
        EXPECT_EQ(field.Position(), next) << field.name;
        next = field.Position() + field.Length();
    }
    EXPECT_EQ(next, 164);  // the two-blank filler follows, then CR LF
    EXPECT_EQ(kCepLineBytes, 167u);
}

// ---------------------------------------------------------------- embedded

TEST(EmbeddedDataSets, TabCepAndTabMuniWrittenByteForByte) {
    const std::string dir = TempDir();
    const auto& embedded = EmbeddedDataSets();
    ASSERT_TRUE(embedded.Contains(kTabCep));
    ASSERT_TRUE(embedded.Contains(kTabMuni));

    embedded.Extract(kTabCep, dir + "/Temp.txt");
    EXPECT_TRUE(SameBytes(dir + "/Temp.txt", kReleaseDir + "/TABCEP.txt"));
    EXPECT_EQ(FileSizeOf(dir + "/Temp.txt"), 176101667);
    EXPECT_EQ(FileSizeOf(dir + "/Temp.txt") / 167, 1054501);

    // An older, longer file in the way is replaced, not overwritten in place.
    WriteFile(dir + "/TempMuni.txt", std::string(300000, 'x'));
    embedded.Extract(kTabMuni, dir + "/TempMuni.txt");
    EXPECT_TRUE(SameBytes(dir + "/TempMuni.txt", kReleaseDir + "/TABMUNI.txt"));
    EXPECT_EQ(FileSizeOf(dir + "/TempMuni.txt"), 109244);
    EXPECT_EQ(ReadFile(dir + "/TempMuni.txt").substr(0, 16), "250023CALCOENE\r\n");

    // Compressed well below the data set: what the executable grows by.
    EXPECT_LT(embedded.CompressedSize(kTabCep), 176101667u / 4);
}

TEST(EmbeddedDataSets, WithdrawnCodesOnlyWhenTheReleaseHasThem) {
    const std::string dir = TempDir();
    const bool released = fs::exists(kReleaseDir + "/TABCEPEXC.txt");
    EXPECT_EQ(EmbeddedDataSets().Contains(kTabCepExc), released);
    WriteFile(dir + "/TempExc.txt", "left by an earlier run");
    if (released) {
        // Carried: written out byte for byte over whatever lay there.
        EmbeddedDataSets().Extract(kTabCepExc, dir + "/TempExc.txt");
        EXPECT_TRUE(SameBytes(dir + "/TempExc.txt", kReleaseDir + "/TABCEPEXC.txt"));
    } else {
        // Not carried: asking for it fails by name and leaves the file as it was.
        EXPECT_EQ(ErrorOf(EmbeddedDataSets(), kTabCepExc, dir + "/TempExc.txt"),
                  "Resource TABCEPEXC not found");
        EXPECT_EQ(ReadFile(dir + "/TempExc.txt"), "left by an earlier run");
    }
}

// Extraction keeps a few MB resident while writing 176 MB, whatever the
// size of the data set or of its compressed form.
TEST(EmbeddedDataSets, ExtractionMemoryStaysBounded) {
    const std::string file = TempDir() + "/Temp.txt";
    auto kb = [](const char* key) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(key, 0) == 0)
                return std::stol(line.substr(std::strlen(key)));
        return -1L;
    };
    EXPECT_EXIT(
        {
            const long before = kb("VmRSS:");
            EmbeddedDataSets().Extract(kTabCep, file);
            const long growth = kb("VmHWM:") - before;
            std::fprintf(stderr, "resident growth %ld KB\n", growth);
            std::_Exit(before > 0 && growth < 8 * 1024 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "resident growth");
}

// ---------------------------------------------------------------- errors

class Sources : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        FDir = TempDir();
        if (GetParam()) {
            FFolder = std::make_unique<TFolderDataSetSource>(kReleaseDir);
            FSource = FFolder.get();
        } else {
            FSource = &EmbeddedDataSets();
        }
    }
    std::string FDir;
    std::unique_ptr<TFolderDataSetSource> FFolder;
    const TDataSetSource* FSource = nullptr;
};

TEST_P(Sources, ErrorsNameTheDataSetOrTheFile) {
    EXPECT_EQ(ErrorOf(*FSource, "TABNADA", FDir + "/x.txt"), "Resource TABNADA not found");
    EXPECT_FALSE(fs::exists(FDir + "/x.txt"));

    const std::string noDir = FDir + "/missing/TempMuni.txt";
    EXPECT_EQ(ErrorOf(*FSource, kTabMuni, noDir), "Cannot create file " + noDir);
    EXPECT_EQ(ErrorOf(*FSource, kTabMuni, FDir), "Cannot create file " + FDir);
}

// The data sets written out are for the owner's eyes only, whatever the
// umask, also over a file an earlier run left readable by all.
TEST_P(Sources, WrittenFilesAreTheOwnersOnly) {
    const mode_t umaskBefore = umask(022);
    const std::string file = FDir + "/TempMuni.txt";
    FSource->Extract(kTabMuni, file);
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    FSource->Extract(kTabMuni, file);
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FileSizeOf(file), 109244);
    umask(umaskBefore);
}

/// Files may not grow beyond `bytes`; a write past it fails (EFBIG) instead
/// of raising SIGXFSZ.
void LimitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

// A full disk, played by a file-size limit of 4 MB: the write fails part way.
TEST_P(Sources, ShortWriteIsAStreamWriteError) {
    const std::string file = FDir + "/Temp.txt";
    const TDataSetSource* source = FSource;
    EXPECT_EXIT(
        {
            LimitFileSize(4 << 20);
            std::fprintf(stderr, "%s\n", ErrorOf(*source, kTabCep, file).c_str());
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "Stream write error");
    EXPECT_LE(fs::file_size(file), uintmax_t(4 << 20));
}

INSTANTIATE_TEST_SUITE_P(EmbeddedAndFolder, Sources, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Folder" : "Embedded"; });

// ---------------------------------------------------------------- folder

TEST(FolderDataSets, ReadsNameDotTxtOfItsFolder) {
    const std::string dir = TempDir();
    fs::create_directories(dir + "/release");
    const std::string muni = "250023CALCOENE\r\n123456ABC\r\n";
    WriteFile(dir + "/release/TABMUNI.txt", muni);
    WriteFile(dir + "/release/TABCEPEXC.txt", "");

    const TFolderDataSetSource source(dir + "/release");  // no separator at the end
    EXPECT_TRUE(source.Contains(kTabMuni));
    EXPECT_TRUE(source.Contains(kTabCepExc));
    EXPECT_FALSE(source.Contains(kTabCep));
    source.Extract(kTabMuni, dir + "/TempMuni.txt");
    EXPECT_EQ(ReadFile(dir + "/TempMuni.txt"), muni);
    source.Extract(kTabCepExc, dir + "/TempExc.txt");
    EXPECT_EQ(FileSizeOf(dir + "/TempExc.txt"), 0);
}

// ---------------------------------------------------------------- FileSizeOf

TEST(FileSizeOf, SizeInBytes) {
    const std::string dir = TempDir();
    for (const std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(167 * 3 + 5)}) {
        WriteFile(dir + "/f.txt", std::string(size, 'a'));
        EXPECT_EQ(FileSizeOf(dir + "/f.txt"), int32_t(size));
    }
}

TEST(FileSizeOf, RaisesInsteadOfReturningZero) {
    const std::string dir = TempDir();
    EXPECT_THROW(FileSizeOf(dir + "/missing.txt"), TInOutError);
    EXPECT_THROW(FileSizeOf(dir), TInOutError);
    try {
        FileSizeOf(dir + "/missing.txt");
    } catch (const TInOutError& e) {
        EXPECT_EQ(e.Code(), ENOENT);
    }
}

// Opened for reading and writing, so a read-only file is refused. Root may
// write anywhere: the check runs as an ordinary user then, on its own file.
TEST(FileSizeOf, RaisesOnAReadOnlyFile) {
    const std::string dir = TempDir();
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    const std::string file = dir + "/ro.txt";
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0)
                std::_Exit(2);
            WriteFile(file, "12345");
            if (FileSizeOf(file) != 5)
                std::_Exit(3);
            chmod(file.c_str(), 0444);
            try {
                FileSizeOf(file);
            } catch (const TInOutError& e) {
                std::_Exit(e.Code() == EACCES ? 0 : 4);
            }
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------- generator, checker

/// Runs a command, its output going through `dir`/out.txt.
std::string Run(const std::string& command, const std::string& dir, int& status) {
    const std::string out = dir + "/out.txt";
    status = Shell(command + " >'" + out + "' 2>&1");
    const std::string text = ReadFile(out);
    fs::remove(out);
    return text;
}

/// Generates a small release into `dir`; returns its figures as checker options.
std::string Generate(const std::string& dir, const std::string& options) {
    int status = 0;
    std::string figures =
        Run(std::string(CEP_GEN_RELEASE) + " --out '" + dir + "' " + options, dir, status);
    EXPECT_EQ(status, 0) << figures;
    while (!figures.empty() && figures.back() == '\n')
        figures.pop_back();
    return figures;
}

/// True when the report has a FAIL line of `file` for the property `what`.
bool Failed(const std::string& report, const std::string& file, const std::string& what) {
    std::size_t at = 0;
    while ((at = report.find("FAIL  " + file + " ", at)) != std::string::npos) {
        const std::string line = report.substr(at, report.find('\n', at) - at);
        if (line.find(what) != std::string::npos)
            return true;
        ++at;
    }
    return false;
}

int Check(const std::string& dir, const std::string& figures, std::string& report) {
    int status = 0;
    report = Run(std::string(CEP_CHECK_RELEASE) + " " + figures + " '" + dir + "'", dir, status);
    return status;
}

TEST(Release, SmallReleasesHaveEveryProperty) {
    const char* cases[] = {
        "--records 3000 --munis 100 --seed 7",
        "--records 20000 --munis 600 --tipos 263 --blank-tipo 900 --blank-bairro 150 "
        "--blank-muni 40 --apostrophes 5 --exc 25",
    };
    const std::string root = TempDir();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const char* options = cases[i];
        const std::string dir = root + "/" + std::to_string(i);
        fs::create_directories(dir);
        const std::string figures = Generate(dir, options);
        std::string report;
        EXPECT_EQ(Check(dir, figures, report), 0) << options << "\n" << report;
        EXPECT_EQ(report.find("FAIL"), std::string::npos) << report;
    }
    // The second asked for withdrawn codes: TABCEP lines, none of them current.
    const std::string dir = root + "/1";
    EXPECT_EQ(fs::file_size(dir + "/TABCEPEXC.txt"), 25u * 167);
    std::string report;
    Check(dir, Generate(dir, cases[1]), report);
    EXPECT_NE(report.find("25 withdrawn codes, 0 of them in TABCEP"), std::string::npos) << report;
}

TEST(Release, SameSeedSameBytes) {
    const std::string root = TempDir();
    const std::string a = root + "/a", b = root + "/b", c = root + "/c";
    for (const auto& dir : {a, b, c})
        fs::create_directories(dir);
    Generate(a, "--records 2000 --munis 50 --seed 3");
    Generate(b, "--records 2000 --munis 50 --seed 3");
    Generate(c, "--records 2000 --munis 50 --seed 4");
    EXPECT_TRUE(SameBytes(a + "/TABCEP.txt", b + "/TABCEP.txt"));
    EXPECT_TRUE(SameBytes(a + "/TABMUNI.txt", b + "/TABMUNI.txt"));
    EXPECT_FALSE(SameBytes(a + "/TABCEP.txt", c + "/TABCEP.txt"));
}

// The checker notices each kind of fault a release file can have.
TEST(Release, CheckerFailsEachBrokenProperty) {
    const std::string root = TempDir();
    const std::string base = root + "/base";
    fs::create_directories(base);
    const std::string figures = Generate(base, "--records 2000 --munis 60 --seed 5");
    const std::string cep = ReadFile(base + "/TABCEP.txt");
    const std::string muni = ReadFile(base + "/TABMUNI.txt");
    auto line = [&](std::size_t i) { return cep.substr(i * 167, 167); };
    auto firstLineWith = [&](auto&& wanted) {
        std::size_t i = 0;
        while (!wanted(line(i)))
            ++i;
        return i;
    };
    const std::size_t withMuni =
        firstLineWith([](const std::string& l) { return l.substr(150, 5) != "     "; });
    const std::size_t noQuote =
        firstLineWith([](const std::string& l) { return l.find('\'') == std::string::npos; });

    struct Case {
        const char* fails;  // text of the failing property
        std::string tabcep;
        std::string tabmuni;
    };
    std::string lower = cep, dup = cep, filler = cep, shortLine = cep, paf = cep, uf = cep;
    lower[5 * 167 + 20] = 'a';
    dup.replace(9 * 167, 8, cep.substr(10 * 167, 8));
    filler[3 * 167 + 163] = 'X';
    shortLine.erase(4 * 167 + 100, 1);
    paf.replace(withMuni * 167 + 155, 8, "        ");
    uf.replace(7 * 167 + 148, 2, "XX");
    std::string unknownMuni = cep;
    unknownMuni.replace(withMuni * 167 + 150, 5, "00000");
    std::string extraQuote = cep;
    extraQuote[noQuote * 167 + 30] = '\'';
    std::string sorted = cep;
    {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < 2000; ++i)
            lines.push_back(line(i));
        std::sort(lines.begin(), lines.end());
        sorted.clear();
        for (const auto& l : lines)
            sorted += l;
    }
    std::string trailingBlank = muni, firstLine = muni, noCrLf = muni;
    const std::size_t end2 = muni.find("\r\n", 16);
    trailingBlank.insert(end2, " ");
    firstLine[6] = 'K';
    noCrLf.erase(end2, 1);

    const Case cases[] = {
        {"only blank, digits, A-Z", lower, muni},
        {"NU_CEP unique", dup, muni},
        {"filler two blanks", filler, muni},
        {"lines of 165 characters + CR LF", shortLine, muni},
        {"ID_PAF of eight digits", paf, muni},
        {"SG_UF the 27 states", uf, muni},
        {"ID_MUNI_PREV the first five digits of a TABMUNI code", unknownMuni, muni},
        {"records with an apostrophe", extraQuote, muni},
        {"NU_CEP not sorted", sorted, muni},
        {"names of 3 to 30 characters", cep, trailingBlank},
        {"first line", cep, firstLine},
        {"every line ends in CR LF", cep, noCrLf},
    };
    for (const Case& c : cases) {
        const std::string dir = root + "/" + std::to_string(&c - cases);
        fs::create_directories(dir);
        WriteFile(dir + "/TABCEP.txt", c.tabcep);
        WriteFile(dir + "/TABMUNI.txt", c.tabmuni);
        std::string report;
        EXPECT_EQ(Check(dir, figures, report), 1) << c.fails << "\n" << report;
        EXPECT_TRUE(Failed(report, c.tabmuni == muni ? "TABCEP" : "TABMUNI", c.fails))
            << c.fails << "\n"
            << report;
    }
    // The unchanged pair passes, with the same figures.
    std::string report;
    EXPECT_EQ(Check(base, figures, report), 0) << report;
}

}  // namespace
