// The default database path: the two settings files in the system
// configuration folders, the maker's Quelmar.ini, and the local or remote
// reading of the path.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/TestSupport.h"
#include "ui/DefaultPath.h"

namespace fs = std::filesystem;

namespace {

struct TFile {
    std::string path;     // under the test folder
    std::string content;  // "@ROOT@": the test folder's "root"; "@DIR@": the test folder
    // A path ending in "/" is a folder.
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

const std::string kIni = "[SERVER]\r\nPATH=C:\\Dados\\lumexbd.gdb\r\n";
const std::string kPref = "Morvalex/QuelmarPref.conf";
const std::string kTrivena = "Morvalex/TRIVENA.conf";

TEST(DefaultPath, FromSettingsAndQuelmarIni) {
    const std::string longPath(3000, 'x');
    struct Case {
        const char* what;
        std::vector<TFile> files;
        std::string dirs;  // XDG_CONFIG_DIRS, "@DIR@" for the test folder
        std::string expected;
    } cases[] = {
        {"first settings file",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"}, {"root/Quelmar.ini", kIni}},
         "@DIR@/a:@DIR@/b",
         "C:\\Dados\\lumexbd.gdb"},
        {"no settings file", {{"root/Quelmar.ini", kIni}}, "@DIR@/a:@DIR@/b", ""},
        {"second settings file when the first is nowhere",
         {{"b/" + kTrivena, "RootDirectory=@ROOT@\n"}, {"root/Quelmar.ini", kIni}},
         "@DIR@/a:@DIR@/b",
         "C:\\Dados\\lumexbd.gdb"},
        {"first file without RootDirectory: the second is not read",
         {{"a/" + kPref, "Other=1\n"},
          {"a/" + kTrivena, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", kIni}},
         "@DIR@/a",
         ""},
        {"the first name in any folder before the second name",
         {{"a/" + kTrivena, "RootDirectory=@DIR@/other\n"},
          {"b/" + kPref, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", kIni},
          {"other/Quelmar.ini", "[SERVER]\nPATH=wrong\n"}},
         "@DIR@/a:@DIR@/b",
         "C:\\Dados\\lumexbd.gdb"},
        {"the first folder that has the file",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"},
          {"b/" + kPref, "RootDirectory=@DIR@/other\n"},
          {"root/Quelmar.ini", kIni},
          {"other/Quelmar.ini", "[SERVER]\nPATH=wrong\n"}},
         "::relative:@DIR@/a:@DIR@/b",
         "C:\\Dados\\lumexbd.gdb"},
        {"a folder in the settings file's place counts as no file",
         {{"a/" + kPref + "/", ""},
          {"a/" + kTrivena, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", kIni}},
         "@DIR@/a",
         "C:\\Dados\\lumexbd.gdb"},
        {"RootDirectory in [General], any case",
         {{"a/" + kPref, "[general]\nrootdirectory = @ROOT@/ \n"}, {"root/Quelmar.ini", kIni}},
         "@DIR@/a",
         "C:\\Dados\\lumexbd.gdb"},
        {"RootDirectory in another section",
         {{"a/" + kPref, "[Other]\nRootDirectory=@ROOT@\n"}, {"root/Quelmar.ini", kIni}},
         "@DIR@/a",
         ""},
        {"empty RootDirectory",
         {{"a/" + kPref, "RootDirectory=\n"}, {"Quelmar.ini", kIni}},
         "@DIR@/a",
         ""},
        {"no Quelmar.ini", {{"a/" + kPref, "RootDirectory=@ROOT@\n"}}, "@DIR@/a", ""},
        {"no SERVER section",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", "PATH=x\n[CLIENT]\nPATH=C:\\x.gdb\n"}},
         "@DIR@/a",
         ""},
        {"empty PATH",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"}, {"root/Quelmar.ini", "[SERVER]\nPATH=\n"}},
         "@DIR@/a",
         ""},
        {"names in any case, blanks and quotes dropped, backslashes kept",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", "[server]\n  path =  \"\\\\srv\\dados\\x.gdb\"  \n"}},
         "@DIR@/a",
         "\\\\srv\\dados\\x.gdb"},
        {"semicolons kept, no continuation lines, the first PATH counts",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", "; comment\n[SERVER]\nPATH=srv:C:\\a ;b.gdb\n  more\nPATH=2\n"}},
         "@DIR@/a",
         "srv:C:\\a ;b.gdb"},
        {"at most 2047 characters",
         {{"a/" + kPref, "RootDirectory=@ROOT@\n"},
          {"root/Quelmar.ini", "[SERVER]\nPATH=" + longPath + "\n"}},
         "@DIR@/a",
         longPath.substr(0, 2047)},
    };
    int number = 0;
    for (const Case& c : cases) {
        // A folder of its own for each case.
        const std::string dir = cep::test::TempDir() + "/" + std::to_string(++number);
        for (const TFile& f : c.files) {
            const fs::path path = fs::path(dir) / f.path;
            fs::create_directories(path.parent_path());
            if (f.path.back() != '/')
                std::ofstream(path, std::ios::binary)
                    << Replace(Replace(f.content, "@ROOT@", dir + "/root"), "@DIR@", dir);
        }
        ::setenv("XDG_CONFIG_DIRS", Replace(c.dirs, "@DIR@", dir).c_str(), 1);
        EXPECT_EQ(cep::ReadDefaultDatabasePath(), c.expected) << c.what;
    }
    ::unsetenv("XDG_CONFIG_DIRS");
}

TEST(DefaultPath, LocalOrRemote) {
    struct Case {
        const char* path;
        bool local;
    } cases[] = {
        {"C:\\Arquivos de programas\\Morvalex\\Sistema\\Data\\Banco.gdb", true},
        {"/srv/dados/lumexbd.fdb", true},
        {"/srv/a:b.fdb", true},
        {"a:/path/on/server.fdb", true},  // a one-letter server reads as a drive
        {"server:/data/x.fdb", false},
        {"192.168.0.10:C:\\Dados\\x.gdb", false},
        {"server/3050:/data/x.fdb", false},
        {"x.fdb", false},
        {"\\\\servidor\\dados\\x.gdb", false},
        {":x.fdb", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cep::IsLocalDatabasePath(c.path), c.local) << c.path;
}

}  // namespace
