#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cep::version {

// The platform's version resources, as the version component sees them. On
// Windows: GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA on
// the file's VERSIONINFO resource. Elsewhere: the ".cep_version" section of an
// ELF file (see cmake/VersionInfo.cmake for its layout); a file that is not ELF
// or has no such section has no version information. File names are in the
// file system's encoding.

/// Size in bytes of the file's version information; 0 when it has none or
/// cannot be read.
uint32_t FileVersionInfoSize(const std::string& fileName) noexcept;

/// Reads the file's version information into `block`, resized to `size`.
/// False when it cannot be read.
bool ReadFileVersionInfo(const std::string& fileName, uint32_t size,
                         std::vector<unsigned char>& block) noexcept;

/// The first entry of "\VarFileInfo\Translation": language and code page.
/// False when the block has none.
bool QueryTranslation(const std::vector<unsigned char>& block, uint16_t& language,
                      uint16_t& codePage) noexcept;

/// The text of a string entry such as "\StringFileInfo\041604E4\FileVersion",
/// in UTF-8, up to its first NUL. Entry names match regardless of case, as on
/// Windows. False when the entry is missing or reports a length of 0.
bool QueryText(const std::vector<unsigned char>& block, const std::string& subBlock,
               std::string& text);

/// Local date and time, in whole seconds.
struct TLocalStamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

/// The file's last-write time in local time, cut to the two-second resolution
/// of the DOS file date (odd seconds dropped). False when the file cannot be
/// found or its time lies outside the DOS date range (1980 to 2107).
bool FileLastWriteDos(const std::string& fileName, TLocalStamp& stamp) noexcept;

}  // namespace cep::version
