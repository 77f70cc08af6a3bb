#include "common/FileSize.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace cep {

namespace {

[[noreturn]] void RaiseInOut(const std::string& fileName, int code) {
    throw TInOutError(
        "I/O error " + std::to_string(code) + " (" + std::strerror(code) + "): " + fileName, code);
}

int64_t Tell64(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

int Seek64End(std::FILE* file) {
#ifdef _WIN32
    return _fseeki64(file, 0, SEEK_END);
#else
    return fseeko(file, 0, SEEK_END);
#endif
}

}  // namespace

int32_t FileSizeOf(const std::string& fileName) {
    errno = 0;
    std::FILE* file = std::fopen(fileName.c_str(), "r+b");
    if (file == nullptr)
        RaiseInOut(fileName, errno != 0 ? errno : EIO);
    int64_t size = -1;
    if (Seek64End(file) == 0)
        size = Tell64(file);
    const int code = errno != 0 ? errno : EIO;
    std::fclose(file);
    if (size < 0)
        RaiseInOut(fileName, code);
    if (size > std::numeric_limits<int32_t>::max())
        RaiseInOut(fileName, EFBIG);
    return static_cast<int32_t>(size);
}

}  // namespace cep
