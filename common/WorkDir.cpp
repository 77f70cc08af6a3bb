#include "common/WorkDir.h"

#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace cep {

namespace {

/// Where installed programs live besides the configured bindir.
std::vector<fs::path> ProgramRoots() {
#ifdef _WIN32
    std::vector<fs::path> roots;
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"})
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
            roots.emplace_back(value);
    return roots;
#else
    return {"/usr", "/opt"};
#endif
}

/// `path` without "." and "..", and without a separator at the end.
fs::path Normal(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path())
        normal = normal.parent_path();
    return normal;
}

bool SameName(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
    // File names on Windows compare without regard to case.
    std::wstring x = a.native(), y = b.native();
    for (wchar_t& c : x)
        c = std::towlower(c);
    for (wchar_t& c : y)
        c = std::towlower(c);
    return x == y;
#else
    return a == b;
#endif
}

/// True when `dir` is `root` or lies under it; `exact` asks for `root` only.
bool IsAtOrUnder(const fs::path& dir, const fs::path& root, bool exact) {
    const fs::path d = Normal(dir), r = Normal(root);
    if (r.empty() || !r.is_absolute())
        return false;
    auto at = d.begin();
    for (const fs::path& part : r) {
        if (at == d.end() || !SameName(*at, part))
            return false;
        ++at;
    }
    return !exact || at == d.end();
}

}  // namespace

std::string InstallBinDir() {
    return CEP_INSTALL_BINDIR;
}

bool IsInstalledDir(const std::string& dir, const std::string& installBinDir) {
    if (dir.empty())
        return false;
    if (!installBinDir.empty()) {
        if (IsAtOrUnder(dir, installBinDir, true))
            return true;
        // The bindir may have been configured through a symbolic link.
        std::error_code error;
        const fs::path real = fs::weakly_canonical(installBinDir, error);
        if (!error && IsAtOrUnder(dir, real, true))
            return true;
    }
    for (const fs::path& root : ProgramRoots())
        if (IsAtOrUnder(dir, root, false))
            return true;
    return false;
}

std::string WithSeparator(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string DefaultWorkDir(const std::string& exeDir, const std::string& installBinDir) {
    // The installed test comes first: no probe file ever lands in a system folder.
    if (!exeDir.empty() && !IsInstalledDir(exeDir, installBinDir) && IsWritableDir(exeDir))
        return exeDir;
    return UserCacheDir();
}

}  // namespace cep
