#include "import/RunFolder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/FileSize.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace cep {

namespace {

constexpr char kPrefix[] = "cep-run-";
constexpr char kLockName[] = "run.lock";
// A folder whose lock is younger than this may be one a run is making now.
constexpr auto kSettleTime = std::chrono::seconds(10);

#ifndef _WIN32
// Removes the folders of runs that ended without removing theirs: those whose
// lock no process holds any longer.
void RemoveAbandoned(const std::string& workFolder) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(workFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0 || !entry.is_directory(error))
            continue;
        const fs::path lock = entry.path() / kLockName;
        const auto written = fs::last_write_time(lock, error);
        if (error || fs::file_time_type::clock::now() - written < kSettleTime)
            continue;
        const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            fs::remove_all(entry.path(), error);
        ::close(fd);
    }
}
#endif

}  // namespace

TRunFolder::TRunFolder(const std::string& workFolder) {
#ifdef _WIN32
    std::string name = workFolder + kPrefix + "XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    if (_mktemp_s(buffer.data(), buffer.size()) != 0 || !fs::create_directory(buffer.data()))
        throw TInOutError("Cannot create a folder in " + workFolder, errno);
    FPath = std::string(buffer.data()) + "\\";
#else
    RemoveAbandoned(workFolder);
    std::string name = workFolder + kPrefix + "XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)  // made 0700
        throw TInOutError("Cannot create a folder in " + workFolder + ": " + std::strerror(errno),
                          errno);
    FPath = std::string(buffer.data()) + "/";
    // Held for the run's life: the mark of a folder in use.
    FLock = ::open((FPath + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FLock >= 0)
        ::flock(FLock, LOCK_EX);
#endif
}

std::string TRunFolder::Remove() {
    std::error_code error;
    fs::remove_all(FPath, error);
    return error ? FPath + ": " + error.message() : std::string();
}

TRunFolder::~TRunFolder() {
    Remove();  // a failure was reported by the run's own call
#ifndef _WIN32
    if (FLock >= 0)
        ::close(FLock);
#endif
}

}  // namespace cep
