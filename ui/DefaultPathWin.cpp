// The maker's settings on Windows: the registry keys under HKEY_LOCAL_MACHINE
// and the INI file through GetPrivateProfileStringA.

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "ui/DefaultPath.h"

namespace cep {

namespace {

/// Opens an existing key with full access, as the registry class does; a key
/// that cannot be opened so counts as absent.
HKEY OpenKey(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

struct TKeyCloser {
    HKEY key;
    ~TKeyCloser() { RegCloseKey(key); }
};

}  // namespace

std::string ReadRootDirectory() {
    HKEY key = OpenKey("SOFTWARE\\Morvalex\\QuelmarPref");
    if (!key)
        key = OpenKey("SOFTWARE\\Morvalex\\TRIVENA");
    if (!key)
        return {};
    const TKeyCloser closer{key};
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "RootDirectory", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};  // no such value
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw std::runtime_error("Invalid data type for 'RootDirectory'");
    std::vector<char> buffer(size + 1, '\0');
    if (RegQueryValueExA(key, "RootDirectory", nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return {};
    return std::string(buffer.data());  // up to the first NUL, unexpanded
}

std::string ReadIniString(const std::string& fileName, std::string_view section,
                          std::string_view key) {
    char buffer[2048] = {};
    GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(), "", buffer,
                             sizeof buffer, fileName.c_str());
    return buffer;
}

}  // namespace cep
