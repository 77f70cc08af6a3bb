// Version information on Windows: the file's VERSIONINFO resource through the
// version API, and its last-write time through FindFirstFile.

#include <windows.h>

#include <new>
#include <string_view>

#include "ui/VersionResource.h"

namespace cep::version {

namespace {

/// Text in the ANSI code page to UTF-8.
std::string AnsiToUtf8(std::string_view text) {
    if (text.empty())
        return {};
    const int wide =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring buffer(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer.data(), wide);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace

uint32_t FileVersionInfoSize(const std::string& fileName) noexcept {
    DWORD handle = 0;
    return GetFileVersionInfoSizeA(fileName.c_str(), &handle);
}

bool ReadFileVersionInfo(const std::string& fileName, uint32_t size,
                         std::vector<unsigned char>& block) noexcept {
    try {
        block.assign(size, 0);
    } catch (const std::bad_alloc&) {  // no room for the block: it cannot be read
        return false;
    }
    return GetFileVersionInfoA(fileName.c_str(), 0, size, block.data()) != FALSE;
}

bool QueryTranslation(const std::vector<unsigned char>& block, uint16_t& language,
                      uint16_t& codePage) noexcept {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4)
        return false;
    const auto* words = static_cast<const WORD*>(value);
    language = words[0];
    codePage = words[1];
    return true;
}

bool QueryText(const std::vector<unsigned char>& block, const std::string& subBlock,
               std::string& text) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), subBlock.c_str(), &value, &length) || length == 0)
        return false;
    const auto* chars = static_cast<const char*>(value);
    text = AnsiToUtf8(std::string_view(chars, strnlen(chars, length)));
    return true;
}

bool FileLastWriteDos(const std::string& fileName, TLocalStamp& stamp) noexcept {
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA(fileName.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time))
        return false;
    stamp.year = (date >> 9) + 1980;
    stamp.month = (date >> 5) & 0x0F;
    stamp.day = date & 0x1F;
    stamp.hour = time >> 11;
    stamp.minute = (time >> 5) & 0x3F;
    stamp.second = (time & 0x1F) * 2;
    return true;
}

}  // namespace cep::version
