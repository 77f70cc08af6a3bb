// The executable's folder, the write probe and the cache folder on Windows.

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/FileSize.h"
#include "common/WorkDir.h"

namespace fs = std::filesystem;

namespace cep {

std::string ExecutableDir() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0)
            return {};
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);  // cut short: try a larger buffer
    }
    return fs::path(name).parent_path().string();
}

bool IsWritableDir(const std::string& dir) {
    // A directory's read-only attribute says nothing about its access list:
    // only creating a file tells.
    wchar_t probe[MAX_PATH];
    if (GetTempFileNameW(fs::path(dir).c_str(), L"cep", 0, probe) == 0)
        return false;
    DeleteFileW(probe);
    return true;
}

std::string UserCacheDir() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local == nullptr || *local == L'\0')
        throw TInOutError("No LOCALAPPDATA folder for the cache folder", ENOENT);
    const fs::path dir = fs::path(local) / L"cep-atualiza";
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir))
        throw TInOutError("Cannot create folder " + dir.string() + " (" + error.message() + ")",
                          error ? error.value() : ENOTDIR);
    return dir.string();
}

}  // namespace cep
