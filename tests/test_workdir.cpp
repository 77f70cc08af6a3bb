// The program's folders: which folders count as installed, and the default
// work folder: the executable's folder or the user's cache folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "common/FileSize.h"
#include "common/WorkDir.h"
#include "tests/TestSupport.h"

namespace fs = std::filesystem;
using namespace cep;
using cep::test::TempDir;

namespace {

/// Sets (or, with nullopt, removes) an environment variable for the life of
/// the object, then puts back what was there.
class TScopedEnv {
  public:
    TScopedEnv(const char* name, std::optional<std::string> value) : FName(name) {
        if (const char* old = std::getenv(name))
            FOld = old;
        Set(value);
    }
    ~TScopedEnv() { Set(FOld); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

  private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            setenv(FName, value->c_str(), 1);
        else
            unsetenv(FName);
    }
    const char* FName;
    std::optional<std::string> FOld;
};

mode_t ModeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
}

TEST(IsInstalledDir, BindirItselfAndEverythingUnderUsrAndOpt) {
    const std::string bindir = "/home/ana/cep/build/cli";
    struct Case {
        const char* dir;
        bool installed;
    } cases[] = {
        {"/usr/bin", true},
        {"/usr/local/bin", true},
        {"/usr", true},
        {"/opt/cep-atualiza/bin", true},
        {"/home/ana/cep/build/cli", true},  // the configured bindir
        {"/home/ana/cep/build/cli/", true},
        {"/home/ana/cep/build/./cli", true},
        {"/home/ana/cep/build", false},          // only the bindir, not its parent ...
        {"/home/ana/cep/build/cli/sub", false},  // ... nor a folder under it
        {"/home/ana/cep/build/client", false},
        {"/usrx/bin", false},  // a root is a whole name
        {"/optical", false},
        {"/usr/../home/ana", false},
        {"/tmp/scratch/root/usr/bin", false},  // a program unpacked elsewhere
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsInstalledDir(c.dir, bindir), c.installed) << c.dir;
    EXPECT_FALSE(IsInstalledDir("/home/ana/cep/build/cli", ""));
}

class DefaultWorkDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FDir = TempDir();
        FExeDir = FDir + "/bin";
        fs::create_directories(FExeDir);
        FCache.emplace("XDG_CACHE_HOME", FDir + "/cache");
    }
    std::string FDir;
    std::string FExeDir;
    std::optional<TScopedEnv> FCache;
};

TEST_F(DefaultWorkDirTest, ExecutableFolderWhileNotInstalledAndWritable) {
    EXPECT_EQ(DefaultWorkDir(FExeDir, "/nowhere/bin"), FExeDir);
    EXPECT_TRUE(fs::is_empty(FExeDir));  // the write probe is gone
    EXPECT_FALSE(fs::exists(FDir + "/cache"));
}

TEST_F(DefaultWorkDirTest, CacheFolderWhenInstalledUnwritableOrUnknown) {
    const std::string cache = FDir + "/cache/cep-atualiza";
    struct Case {
        std::string exeDir, bindir;
    } cases[] = {
        {FExeDir, FExeDir},         // installed to the configured bindir, writable
        {"/proc", "/nowhere/bin"},  // no user may create a file here
        {FDir + "/missing", "/nowhere/bin"},
        {"", "/nowhere/bin"},  // the executable's folder could not be found
        // Root may write /usr/bin, but an installed program keeps its
        // temporary files out of it.
        {"/usr/bin", "/nowhere/bin"},
    };
    for (const Case& c : cases) {
        fs::remove_all(FDir + "/cache");
        EXPECT_EQ(DefaultWorkDir(c.exeDir, c.bindir), cache) << c.exeDir;
        EXPECT_EQ(ModeOf(cache), 0700u) << c.exeDir;
        EXPECT_EQ(ModeOf(FDir + "/cache"), 0700u) << "a missing parent, made private too";
    }
    EXPECT_TRUE(fs::is_empty(FExeDir));

    // A cache folder already there is used as it is.
    ASSERT_EQ(chmod(cache.c_str(), 0755), 0);
    EXPECT_EQ(DefaultWorkDir(FExeDir, FExeDir), cache);
    EXPECT_EQ(ModeOf(cache), 0755u);
}

TEST_F(DefaultWorkDirTest, CacheUnderHomeUnlessXdgCacheHomeIsAbsolute) {
    const TScopedEnv home("HOME", FDir + "/home");
    for (const std::optional<std::string>& xdg :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/cache")}) {
        const TScopedEnv cache("XDG_CACHE_HOME", xdg);
        EXPECT_EQ(UserCacheDir(), FDir + "/home/.cache/cep-atualiza");
    }
    EXPECT_EQ(ModeOf(FDir + "/home/.cache/cep-atualiza"), 0700u);
    EXPECT_FALSE(fs::exists("relative"));
}

TEST_F(DefaultWorkDirTest, CacheThatCannotBeMadeRaisesNamingIt) {
    std::ofstream(FDir + "/file") << "not a folder";
    const TScopedEnv cache("XDG_CACHE_HOME", FDir + "/file");
    try {
        DefaultWorkDir("/proc", "/nowhere/bin");
        FAIL() << "no error";
    } catch (const TInOutError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create folder " + FDir + "/file/cep-atualiza (Not a directory)");
        EXPECT_EQ(e.Code(), ENOTDIR);
    }
}

TEST(ExecutableDir, FolderOfTheRunningTest) {
    EXPECT_TRUE(fs::is_regular_file(ExecutableDir() + "/test_workdir")) << ExecutableDir();
}

}  // namespace
