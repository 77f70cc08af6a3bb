// The maker's settings outside Windows: two settings files in the system
// configuration folders in place of the registry keys, and the INI files read
// with inih.

#include <ini.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ui/DefaultPath.h"

namespace cep {

namespace {

// GetPrivateProfileString's buffer is 2048 characters with its NUL.
constexpr size_t kMaxValue = 2047;

struct TLookup {
    std::string_view section, key;
    bool sectionless;  // a key before any section header also counts
    bool found = false;
    std::string value;
};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

int OnEntry(void* user, const char* section, const char* name, const char* value) {
    auto& lookup = *static_cast<TLookup*>(user);
    const bool inSection = SameName(section, lookup.section) || (lookup.sectionless && !*section);
    if (lookup.found || !inSection || !SameName(name, lookup.key))
        return 1;
    lookup.found = true;
    std::string_view text = value ? value : "";
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    lookup.value = std::string(text.substr(0, kMaxValue));
    return 1;
}

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

/// A regular file opened for reading, or null.
TFilePtr OpenRegular(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    return TFilePtr(std::fopen(name.c_str(), "rb"));
}

/// Runs the lookup over an open INI file, as Windows reads INI files: lines of
/// any length, no inline comments, no continuation lines. (Debian's inih
/// takes these options at run time.)
void Parse(std::FILE* file, TLookup& lookup) {
    ini_allow_multiline = false;
    ini_allow_inline_comments = false;
    ini_use_stack = false;
    ini_allow_realloc = true;
    ini_max_line = 1 << 20;
    // A malformed line is skipped and the rest read, as Windows does.
    ini_parse_file(file, OnEntry, &lookup);
}

/// The system configuration folders, most important first.
std::vector<std::string> ConfigDirs() {
    std::vector<std::string> dirs;
    const char* env = std::getenv("XDG_CONFIG_DIRS");
    std::string_view list = env ? env : "";
    while (!list.empty()) {
        const size_t colon = list.find(':');
        const std::string_view dir = list.substr(0, colon);
        if (!dir.empty() && dir.front() == '/')  // relative entries are invalid
            dirs.emplace_back(dir);
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    if (dirs.empty())
        dirs.emplace_back("/etc/xdg");
    return dirs;
}

/// The first of the folders' "Morvalex/`name`" that can be read, or null.
TFilePtr OpenSettings(const std::vector<std::string>& dirs, const char* name) {
    for (const std::string& dir : dirs)
        if (TFilePtr file = OpenRegular(dir + "/Morvalex/" + name))
            return file;
    return nullptr;
}

}  // namespace

std::string ReadRootDirectory() {
    const std::vector<std::string> dirs = ConfigDirs();
    TFilePtr settings = OpenSettings(dirs, "QuelmarPref.conf");
    if (!settings)
        settings = OpenSettings(dirs, "TRIVENA.conf");
    if (!settings)
        return {};
    TLookup lookup{"General", "RootDirectory", true, false, {}};
    Parse(settings.get(), lookup);
    return lookup.value;
}

std::string ReadIniString(const std::string& fileName, std::string_view section,
                          std::string_view key) {
    const TFilePtr file = OpenRegular(fileName);
    if (!file)
        return {};
    TLookup lookup{section, key, false, false, {}};
    Parse(file.get(), lookup);
    return lookup.value;
}

}  // namespace cep
