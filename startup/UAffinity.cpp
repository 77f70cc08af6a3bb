// The server affinity outside Windows: the server process is found by its
// name in /proc, and each of its threads gets the new affinity, since Linux
// keeps an affinity per thread.

#include "startup/UAffinity.h"

#include <dirent.h>
#include <sched.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string_view>

namespace cep {

namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDirPtr = std::unique_ptr<DIR, TDirCloser>;

/// The numeric entries of a /proc folder (processes, or a process's threads).
template <typename Visit>
void ForEachId(const std::string& folder, Visit visit) {
    const TDirPtr dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get())) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (id > 0 && *end == '\0')
            visit(static_cast<pid_t>(id));
    }
}

std::string CommandName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

bool IsServerName(std::string_view name, const std::string& kind) {
    if (kind == "IB")
        return name == "ibserver";
    return name == "firebird" || name == "fbserver";
}

}  // namespace

pid_t FindServerProcess(const std::string& kind) {
    pid_t found = 0;
    ForEachId("/proc", [&](pid_t pid) {
        if ((found == 0 || pid < found) && IsServerName(CommandName(pid), kind))
            found = pid;
    });
    return found;
}

void PinServerAffinity(int32_t mask, const std::string& kind) noexcept {
    try {
        const pid_t server = FindServerProcess(kind);
        if (server == 0)
            return;  // not running
        // Both masks are read first, as on Windows: a server whose affinity
        // cannot be read is left alone.
        cpu_set_t processMask, systemMask;
        if (::sched_getaffinity(server, sizeof processMask, &processMask) != 0 ||
            ::sched_getaffinity(0, sizeof systemMask, &systemMask) != 0)
            return;
        // The mask's 32 bits name processors 0 to 31.
        cpu_set_t wanted;
        CPU_ZERO(&wanted);
        const auto bits = static_cast<uint32_t>(mask);
        for (int cpu = 0; cpu < 32; ++cpu)
            if ((bits >> cpu & 1) && CPU_ISSET(cpu, &systemMask))
                CPU_SET(cpu, &wanted);
        // A mask with no processor of the system: the set call fails (EINVAL)
        // and the server keeps its affinity.
        ForEachId("/proc/" + std::to_string(server) + "/task",
                  [&](pid_t thread) { ::sched_setaffinity(thread, sizeof wanted, &wanted); });
    } catch (const std::exception&) {
        // Best effort: the program starts the same without the adjustment.
    }
}

}  // namespace cep
