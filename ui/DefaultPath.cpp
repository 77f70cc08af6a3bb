#include "ui/DefaultPath.h"

namespace cep {

std::string ReadDefaultDatabasePath() {
    const std::string root = ReadRootDirectory();
    if (root.empty())
        return {};
#ifdef _WIN32
    const char* const iniName = "\\Quelmar.ini";
#else
    const char* const iniName = "/Quelmar.ini";
#endif
    return ReadIniString(root + iniName, "SERVER", "PATH");
}

bool IsLocalDatabasePath(std::string_view path) {
#ifndef _WIN32
    if (!path.empty() && path.front() == '/')
        return true;
#endif
    return path.find(':') == 1;
}

}  // namespace cep
