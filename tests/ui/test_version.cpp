// The version component: the entries of our own executables (and the
// command line's --version), files without version information, blocks of
// other languages and damaged blocks, the file's date and the read-only
// properties. Runs without an application object.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QString>
#include <QVariant>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "database/Release.h"
#include "tests/TestSupport.h"
#include "ui/MVXFileVersion.h"

namespace fs = std::filesystem;
using cep::TMVXFileVersion;

namespace {

const char* const kTextProperties[] = {
    "CompanyName",    "FileDescription", "FileVersion",      "InternalName",
    "LegalCopyright", "LegalTradeMarks", "OriginalFileName", "ProductName",
    "ProductVersion", "Comments",        "FileAge",
};

std::string SelfPath() {
    return fs::read_symlink("/proc/self/exe").string();
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

/// Every text property empty and FileSize 0.
void ExpectEmpty(const TMVXFileVersion& v, const std::string& what) {
    for (const char* name : kTextProperties)
        EXPECT_EQ(v.property(name).toString(), QString()) << what << ": " << name;
    EXPECT_EQ(v.FileSize(), 0u) << what;
}

/// A version block in our section's layout: magic, {key, NUL, 16-bit
/// length, value}..., NUL.
std::string Block(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string block("CEPVERINFO", sizeof "CEPVERINFO");
    for (const auto& [key, value] : entries) {
        block += key;
        block += '\0';
        block += static_cast<char>(value.size() & 0xFF);
        block += static_cast<char>(value.size() >> 8);
        block += value;
    }
    block += '\0';
    return block;
}

std::string Text(const std::string& text) {
    return text + '\0';
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

/// A copy of /bin/true with `block` as its ".cep_version" section.
std::string ElfWith(const std::string& dir, const std::string& name, const std::string& block) {
    const std::string blob = dir + "/" + name + ".blob", out = dir + "/" + name;
    WriteFile(blob, block);
    EXPECT_EQ(cep::test::Shell("objcopy --add-section .cep_version=" + blob + " /bin/true " + out),
              0);
    return out;
}

TEST(MVXFileVersion, OwnExecutables) {
    // The test program links the same block as the executables we ship.
    for (const std::string& file : {SelfPath(), std::string(CEP_CLI_EXE)}) {
        TMVXFileVersion v;
        v.SetFileName(Q(file));
        EXPECT_EQ(v.FileVersion(), "1.2.0.1") << file;
        EXPECT_EQ(v.ProductVersion(), "1.0.0.0") << file;
        EXPECT_EQ(v.FileDescription(), QString::fromUtf8("Atualização da Tabela de CEP")) << file;
        for (const QString& empty :
             {v.CompanyName(), v.InternalName(), v.LegalCopyright(), v.LegalTradeMarks(),
              v.OriginalFileName(), v.ProductName(), v.Comments()})
            EXPECT_EQ(empty, QString()) << file;
        EXPECT_EQ(v.FileSize(), fs::file_size(file)) << file;
        EXPECT_FALSE(v.FileAge().isEmpty()) << file;
        EXPECT_EQ(v.FileName(), Q(file));
    }
}

// The command line's --version says the file version its block carries, and
// the date of the release it carries.
TEST(MVXFileVersion, CommandLineVersionOptionAgreesWithItsBlock) {
    TMVXFileVersion v;
    v.SetFileName(Q(CEP_CLI_EXE));
    const std::string out = cep::test::TempDir() + "/version.txt";
    ASSERT_EQ(cep::test::Shell(std::string("'") + CEP_CLI_EXE + "' --version >'" + out + "'"), 0);
    EXPECT_EQ(cep::test::ReadFile(out), "cep-atualiza " + v.FileVersion().toStdString() +
                                            " (dados de " + cep::ReleaseDate + ")\n");
}

TEST(MVXFileVersion, FilesWithoutVersionInfo) {
    const std::string dir = cep::test::TempDir();
    const std::string self = SelfPath();
    std::ifstream in(self, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    WriteFile(dir + "/head", head);  // ELF header, section table cut off
    WriteFile(dir + "/text.txt", "FileVersion=1.2.0.1\n");
    WriteFile(dir + "/empty", "");
    std::string badTable = cep::test::ReadFile(self);
    // e_shoff of a 64-bit file pointing past its end.
    for (int i = 0; i < 8; ++i)
        badTable[0x28 + i] = '\x7F';
    WriteFile(dir + "/badtable", badTable);
    const std::string cases[] = {
        "/bin/true",  // ELF without the section
        dir + "/text.txt",
        dir + "/empty",
        dir + "/head",
        dir + "/badtable",
        dir + "/missing",
        dir,  // a folder
        ElfWith(dir, "nomagic", "VERINFO" + Block({})),
        ElfWith(dir, "notranslation",
                Block({{"\\StringFileInfo\\041604E4\\FileVersion", Text("9.9")}})),
        ElfWith(dir, "overrun",
                Block({{"\\VarFileInfo\\Translation", "\x16\x04\xE4\x04"}}).substr(0, 40)),
        ElfWith(dir, "shorttranslation", Block({{"\\VarFileInfo\\Translation", "\x16\x04"}})),
    };
    for (const std::string& file : cases) {
        TMVXFileVersion v;
        v.SetFileName(Q(self));
        ASSERT_EQ(v.FileVersion(), "1.2.0.1");
        v.SetFileName(Q(file));
        ExpectEmpty(v, file);
    }
}

TEST(MVXFileVersion, ReadsTheBlockItsTranslationNames) {
    const std::string dir = cep::test::TempDir();
    // The first translation names the block; another block's entries, and
    // entries stored in another case, are matched as Windows matches them.
    const std::string block = Block({
        {"\\VarFileInfo\\Translation", std::string("\x09\x04\xB0\x04\x16\x04\xE4\x04", 8)},
        {"\\StringFileInfo\\041604E4\\FileVersion", Text("1.2.0.1")},
        {"\\stringfileinfo\\040904b0\\fileversion", Text("3.4.5.6")},
        {"\\StringFileInfo\\040904B0\\CompanyName", Text("Morvalex")},
        {"\\StringFileInfo\\040904B0\\Comments", std::string("one\0two", 8)},
        {"\\StringFileInfo\\040904B0\\ProductName", ""},  // length 0: stays empty
        {"\\StringFileInfo\\040904B0\\LegalCopyright", Text("\xA9 2026 ra\xE7\xE3o")},
    });
    const std::string elf64 = ElfWith(dir, "elf64", block);
    // The same block in a 32-bit big-endian object file.
    WriteFile(dir + "/blob", block);
    ASSERT_EQ(cep::test::Shell("cd " + dir +
                               " && objcopy -I binary -O elf32-big"
                               " --rename-section .data=.cep_version blob elf32be"),
              0);
    for (const std::string& file : {elf64, dir + "/elf32be"}) {
        TMVXFileVersion v;
        v.SetFileName(Q(file));
        EXPECT_EQ(v.FileVersion(), "3.4.5.6") << file;
        EXPECT_EQ(v.CompanyName(), "Morvalex") << file;
        EXPECT_EQ(v.Comments(), "one") << file;
        EXPECT_EQ(v.ProductName(), QString()) << file;
        // Code page 04B0 is not UTF-8: the text is read as Windows-1252.
        EXPECT_EQ(v.LegalCopyright(), QString::fromUtf8("© 2026 ração")) << file;
        EXPECT_EQ(v.FileSize(), fs::file_size(file)) << file;
    }
}

TEST(MVXFileVersion, FileNameIsTrimmedAndBlanksClear) {
    const QString self = Q(SelfPath());
    TMVXFileVersion v;
    v.SetFileName(" \t" + self + "\r\n ");
    EXPECT_EQ(v.FileName(), self);
    EXPECT_EQ(v.FileVersion(), "1.2.0.1");

    v.SetFileName(" \t\r\n\x01 ");
    EXPECT_EQ(v.FileName(), QString());
    ExpectEmpty(v, "blanks");
}

TEST(MVXFileVersion, OnlyFileNameCanBeSet) {
    const QString self = Q(SelfPath());
    TMVXFileVersion v;
    v.SetFileName(self);
    const QString age = v.FileAge();
    const quint32 size = v.FileSize();
    for (const char* name : kTextProperties)
        EXPECT_TRUE(v.setProperty(name, QStringLiteral("design value"))) << name;
    EXPECT_TRUE(v.setProperty("FileSize", 42u));
    EXPECT_EQ(v.FileVersion(), "1.2.0.1");
    EXPECT_EQ(v.ProductVersion(), "1.0.0.0");
    EXPECT_EQ(v.CompanyName(), QString());
    EXPECT_EQ(v.FileAge(), age);
    EXPECT_EQ(v.FileSize(), size);

    // Design values given before any file is read are dropped as well.
    TMVXFileVersion fresh;
    for (const char* name : kTextProperties)
        fresh.setProperty(name, QString::fromLatin1(name));
    ExpectEmpty(fresh, "fresh");

    EXPECT_TRUE(v.setProperty("FileName", QStringLiteral("  ")));
    ExpectEmpty(v, "FileName through the property");
}

TEST(MVXFileVersion, FileAgeIsLocalDosTime) {
    const std::string dir = cep::test::TempDir();
    const std::string file = dir + "/copy";
    fs::copy_file(SelfPath(), file);
    struct Case {
        int year, month, day, hour, minute, second;
        long nanoseconds;
        const char* expected;
    } cases[] = {
        {2018, 2, 1, 13, 45, 6, 0, "01/02/2018 13:45:06"},
        {2018, 2, 1, 13, 45, 7, 900000000, "01/02/2018 13:45:06"},  // odd second dropped
        {2009, 11, 5, 9, 5, 4, 0, "05/11/2009 09:05:04"},
        {2017, 12, 31, 23, 59, 59, 0, "31/12/2017 23:59:58"},
        {2018, 2, 1, 0, 0, 0, 0, "01/02/2018"},           // midnight: no time
        {2018, 2, 1, 0, 0, 1, 0, "01/02/2018"},           // midnight once cut
        {2018, 2, 1, 0, 0, 2, 0, "01/02/2018 00:00:02"},  // two seconds past
        {1980, 1, 1, 12, 0, 0, 0, "01/01/1980 12:00:00"},
        {1979, 12, 31, 12, 0, 0, 0, ""},  // before the DOS date range
    };
    for (const Case& c : cases) {
        std::tm local{};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        local.tm_isdst = -1;
        const timespec times[2] = {{std::mktime(&local), c.nanoseconds},
                                   {std::mktime(&local), c.nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        TMVXFileVersion v;
        v.SetFileName(Q(file));
        EXPECT_EQ(v.FileAge(), c.expected) << c.expected;
        EXPECT_EQ(v.FileVersion(), "1.2.0.1");
    }
}

}  // namespace
