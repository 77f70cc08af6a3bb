// The executable's folder, the write probe and the cache folder on Linux.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/FileSize.h"
#include "common/WorkDir.h"

namespace fs = std::filesystem;

namespace cep {

namespace {

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// Creates `dir` and its missing parents with `mode`; folders already there
/// are left as they are.
void MakeFolders(const std::string& dir, mode_t mode) {
    std::string::size_type at = 0;
    while (at != std::string::npos) {
        at = dir.find('/', at + 1);
        const std::string part = dir.substr(0, at);
        if (part.empty() || IsFolder(part))
            continue;
        if (mkdir(part.c_str(), mode) != 0 && !(errno == EEXIST && IsFolder(part))) {
            const int code = errno == EEXIST ? ENOTDIR : errno;
            throw TInOutError("Cannot create folder " + dir + " (" + std::strerror(code) + ")",
                              code);
        }
    }
}

/// The user's home folder: $HOME when it is an absolute path, else the
/// password database's entry.
std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    throw TInOutError("No home folder for the cache folder", ENOENT);
}

}  // namespace

std::string ExecutableDir() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

bool IsWritableDir(const std::string& dir) {
    std::string probe = dir + "/.cep-atualiza-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string UserCacheDir() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::string base = cache != nullptr && cache[0] == '/' ? cache : HomeDir() + "/.cache";
    const std::string dir = base + "/cep-atualiza";
    MakeFolders(dir, 0700);
    return dir;
}

}  // namespace cep
