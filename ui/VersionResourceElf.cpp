// Version information outside Windows: the ".cep_version" section of an ELF
// file, found through the section headers. Every field is read with the
// file's own class (32 or 64 bits) and byte order, and checked against the
// file's size before it is used.

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <new>
#include <string_view>

#include "common/AnsiText.h"
#include "ui/VersionResource.h"

namespace cep::version {

namespace {

constexpr char kSectionName[] = ".cep_version";
constexpr char kMagic[] = "CEPVERINFO";  // with its NUL
// A version resource is at most 64 KiB on Windows; so is ours.
constexpr uint64_t kMaxBlock = 0xFFFF;
constexpr uint64_t kMaxNames = 1 << 20;

class TFile {
  public:
    explicit TFile(const std::string& name)
        : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~TFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    /// Regular files only: a FIFO or a device never yields version info.
    bool Open(uint64_t& size) const {
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        size = static_cast<uint64_t>(st.st_size);
        return true;
    }
    bool Read(uint64_t offset, void* buffer, uint64_t length) const {
        auto* out = static_cast<unsigned char*>(buffer);
        while (length > 0) {
            const ssize_t n = ::pread(fd_, out, length, static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            out += n;
            offset += static_cast<uint64_t>(n);
            length -= static_cast<uint64_t>(n);
        }
        return true;
    }

  private:
    int fd_;
};

/// Reads unsigned fields of 1, 2, 4 or 8 bytes in the file's byte order.
class TFields {
  public:
    explicit TFields(bool bigEndian) : big_(bigEndian) {}
    uint64_t Get(const unsigned char* p, int size) const {
        uint64_t value = 0;
        for (int i = 0; i < size; ++i)
            value |= uint64_t{p[big_ ? size - 1 - i : i]} << (8 * i);
        return value;
    }

  private:
    bool big_;
};

struct TSection {
    uint64_t offset = 0;
    uint64_t size = 0;
};

bool FindSection(const TFile& file, uint64_t fileSize, TSection& found) {
    unsigned char header[sizeof(Elf64_Ehdr)] = {};
    if (fileSize < EI_NIDENT || !file.Read(0, header, EI_NIDENT))
        return false;
    if (std::memcmp(header, ELFMAG, SELFMAG) != 0)
        return false;
    const bool is64 = header[EI_CLASS] == ELFCLASS64;
    if (!is64 && header[EI_CLASS] != ELFCLASS32)
        return false;
    if (header[EI_DATA] != ELFDATA2LSB && header[EI_DATA] != ELFDATA2MSB)
        return false;
    const TFields f(header[EI_DATA] == ELFDATA2MSB);
    const uint64_t headerSize = is64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr);
    if (fileSize < headerSize || !file.Read(0, header, headerSize))
        return false;

    // Offsets of the fields in the file header and in a section header.
    const int word = is64 ? 8 : 4;
    const uint64_t shoff = f.Get(header + (is64 ? 0x28 : 0x20), word);
    const uint64_t shentsize = f.Get(header + (is64 ? 0x3A : 0x2E), 2);
    uint64_t shnum = f.Get(header + (is64 ? 0x3C : 0x30), 2);
    uint64_t shstrndx = f.Get(header + (is64 ? 0x3E : 0x32), 2);
    const uint64_t entry = is64 ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
    const int nameAt = 0, typeAt = 4;
    const int linkAt = is64 ? 0x28 : 0x18;
    const int offsetAt = is64 ? 0x18 : 0x10, sizeAt = is64 ? 0x20 : 0x14;
    if (shoff == 0 || shentsize < entry || shoff > fileSize)
        return false;

    std::vector<unsigned char> first(shentsize);
    if (shoff + shentsize > fileSize || !file.Read(shoff, first.data(), shentsize))
        return false;
    // More than 0xFF00 sections: the real count and string table index are
    // kept in section 0.
    if (shnum == 0)
        shnum = f.Get(first.data() + sizeAt, word);
    if (shstrndx == SHN_XINDEX)
        shstrndx = f.Get(first.data() + linkAt, 4);
    if (shnum == 0 || shstrndx >= shnum || shnum > (fileSize - shoff) / shentsize)
        return false;

    std::vector<unsigned char> table(shnum * shentsize);
    if (!file.Read(shoff, table.data(), table.size()))
        return false;
    const unsigned char* strtab = table.data() + shstrndx * shentsize;
    const uint64_t namesOffset = f.Get(strtab + offsetAt, word);
    const uint64_t namesSize = f.Get(strtab + sizeAt, word);
    if (namesSize == 0 || namesSize > kMaxNames || namesOffset > fileSize ||
        namesSize > fileSize - namesOffset)
        return false;
    std::vector<char> names(namesSize + 1, '\0');
    if (!file.Read(namesOffset, names.data(), namesSize))
        return false;

    for (uint64_t i = 0; i < shnum; ++i) {
        const unsigned char* sh = table.data() + i * shentsize;
        const uint64_t name = f.Get(sh + nameAt, 4);
        if (name >= namesSize || std::strcmp(names.data() + name, kSectionName) != 0)
            continue;
        if (f.Get(sh + typeAt, 4) == SHT_NOBITS)
            return false;
        found.offset = f.Get(sh + offsetAt, word);
        found.size = f.Get(sh + sizeAt, word);
        return found.size > 0 && found.size <= kMaxBlock && found.offset <= fileSize &&
               found.size <= fileSize - found.offset;
    }
    return false;
}

/// The value of `key` in the block, matched regardless of ASCII case.
bool QueryValue(const std::vector<unsigned char>& block, std::string_view key,
                const unsigned char*& value, uint32_t& length) {
    const size_t size = block.size();
    if (size < sizeof kMagic || std::memcmp(block.data(), kMagic, sizeof kMagic) != 0)
        return false;
    size_t at = sizeof kMagic;
    while (at < size && block[at] != 0) {
        const size_t keyStart = at;
        while (at < size && block[at] != 0)
            ++at;
        if (at + 3 > size)
            return false;
        const std::string_view entry(reinterpret_cast<const char*>(block.data()) + keyStart,
                                     at - keyStart);
        const size_t valueLength = block[at + 1] | (size_t{block[at + 2]} << 8);
        at += 3;
        if (valueLength > size - at)
            return false;
        if (entry.size() == key.size() && AsciiLowerCase(entry) == AsciiLowerCase(key)) {
            value = block.data() + at;
            length = static_cast<uint32_t>(valueLength);
            return true;
        }
        at += valueLength;
    }
    return false;
}

}  // namespace

uint32_t FileVersionInfoSize(const std::string& fileName) noexcept {
    try {
        const TFile file(fileName);
        uint64_t fileSize = 0;
        TSection section;
        if (!file.Open(fileSize) || !FindSection(file, fileSize, section))
            return 0;
        return static_cast<uint32_t>(section.size);
    } catch (const std::bad_alloc&) {  // no room for a header table: no version information
        return 0;
    }
}

bool ReadFileVersionInfo(const std::string& fileName, uint32_t size,
                         std::vector<unsigned char>& block) noexcept {
    try {
        const TFile file(fileName);
        uint64_t fileSize = 0;
        TSection section;
        if (!file.Open(fileSize) || !FindSection(file, fileSize, section) || section.size < size)
            return false;
        block.assign(size, 0);
        return file.Read(section.offset, block.data(), size);
    } catch (const std::bad_alloc&) {  // no room for the block: it cannot be read
        return false;
    }
}

bool QueryTranslation(const std::vector<unsigned char>& block, uint16_t& language,
                      uint16_t& codePage) noexcept {
    const unsigned char* value = nullptr;
    uint32_t length = 0;
    if (!QueryValue(block, "\\VarFileInfo\\Translation", value, length) || length < 4)
        return false;
    language = static_cast<uint16_t>(value[0] | (value[1] << 8));
    codePage = static_cast<uint16_t>(value[2] | (value[3] << 8));
    return true;
}

bool QueryText(const std::vector<unsigned char>& block, const std::string& subBlock,
               std::string& text) {
    const unsigned char* value = nullptr;
    uint32_t length = 0;
    if (!QueryValue(block, subBlock, value, length) || length == 0)
        return false;
    const auto* chars = reinterpret_cast<const char*>(value);
    const std::string_view raw(chars, ::strnlen(chars, length));
    // "\StringFileInfo\LLLLCCCC\Name": the block's name ends in its code page.
    // UTF-8 (FDE9) is kept; every other code page is read as Windows-1252.
    const std::string_view prefix = "\\StringFileInfo\\";
    const bool utf8 = subBlock.size() > prefix.size() + 8 &&
                      AsciiLowerCase(subBlock.substr(prefix.size() + 4, 4)) == "fde9";
    text = utf8 ? std::string(raw) : Win1252ToUtf8(raw);
    return true;
}

bool FileLastWriteDos(const std::string& fileName, TLocalStamp& stamp) noexcept {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return false;
    std::tm local{};
    if (::localtime_r(&st.st_mtime, &local) == nullptr)
        return false;
    stamp.year = local.tm_year + 1900;
    if (stamp.year < 1980 || stamp.year > 2107)
        return false;
    stamp.month = local.tm_mon + 1;
    stamp.day = local.tm_mday;
    stamp.hour = local.tm_hour;
    stamp.minute = local.tm_min;
    stamp.second = local.tm_sec / 2 * 2;
    return true;
}

}  // namespace cep::version
