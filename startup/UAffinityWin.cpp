// The server affinity on Windows: the server's desktop window names its
// process, which is opened with the debug privilege enabled.

#include <windows.h>

#include <stdexcept>
#include <system_error>

#include "startup/UAffinity.h"

namespace cep {

namespace {

[[noreturn]] void RaiseLastError() {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
}

struct THandleCloser {
    HANDLE handle;
    ~THandleCloser() { CloseHandle(handle); }
};

// GetVersionEx is deprecated, but it is what tells the NT family apart.
#ifdef _MSC_VER
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
bool IsNtFamily() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
#ifdef _MSC_VER
#pragma warning(pop)
#endif

}  // namespace

bool EnablePrivilege(HANDLE token, const std::string& privilege, bool enable) {
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueA(nullptr, privilege.c_str(), &privileges.Privileges[0].Luid))
        return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    return AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr) !=
           FALSE;
}

void EnableDebugPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        RaiseLastError();
    const THandleCloser closer{token};
    if (!EnablePrivilege(token, "SeDebugPrivilege", true))
        RaiseLastError();
}

void PinServerAffinity(int32_t mask, const std::string& kind) noexcept {
    if (!IsNtFamily())
        return;
    try {
        const bool interbase = kind == "IB";
        const HWND window = FindWindowA(interbase ? "IB_Server" : "FB_Server",
                                        interbase ? "InterBase Server" : "Firebird Server");
        if (!window)
            throw std::runtime_error("Unable to find the process. Not running?");
        DWORD pid = 0;
        if (GetWindowThreadProcessId(window, &pid) == 0 || pid == 0)
            RaiseLastError();
        EnableDebugPrivilege();
        const HANDLE process =
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION, FALSE, pid);
        if (!process)
            RaiseLastError();
        const THandleCloser closer{process};
        DWORD_PTR processMask = 0, systemMask = 0;
        if (!GetProcessAffinityMask(process, &processMask, &systemMask))
            RaiseLastError();
        const auto wanted = static_cast<DWORD_PTR>(static_cast<uint32_t>(mask)) & systemMask;
        if (!SetProcessAffinityMask(process, wanted))
            RaiseLastError();
    } catch (const std::exception&) {
        // Best effort: the program starts the same without the adjustment.
    }
}

}  // namespace cep
