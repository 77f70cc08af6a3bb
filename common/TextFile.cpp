#include "common/TextFile.h"

#include <cerrno>
#include <cstring>

#include "common/FileSize.h"

namespace cep {

namespace {
// The reader is used by one thread at a time: skip the stream lock per character.
#ifdef _WIN32
inline int GetChar(std::FILE* f) {
    return _fgetc_nolock(f);
}
#else
inline int GetChar(std::FILE* f) {
    return getc_unlocked(f);
}
#endif
}  // namespace

TTextReader::TTextReader(const std::string& fileName)
    : FFile(std::fopen(fileName.c_str(), "rb")), FName(fileName) {
    if (FFile == nullptr)
        throw TInOutError("Cannot open file " + fileName, errno);
    std::setvbuf(FFile, nullptr, _IOFBF, 1 << 20);
}

TTextReader::~TTextReader() {
    std::fclose(FFile);
}

bool TTextReader::AtEnd() {
    const int c = GetChar(FFile);
    if (c == EOF) {
        if (std::ferror(FFile))
            throw TInOutError("Read error on file " + FName, EIO);
        return true;
    }
    std::ungetc(c, FFile);
    return false;
}

void TTextReader::ReadLine(std::string& line) {
    line.clear();
    for (;;) {
        const int c = GetChar(FFile);
        if (c == EOF) {
            if (std::ferror(FFile))
                throw TInOutError("Read error on file " + FName, EIO);
            return;
        }
        if (c == '\n')
            return;
        if (c == '\r') {  // CR LF, or a lone CR
            const int next = GetChar(FFile);
            if (next != '\n' && next != EOF)
                std::ungetc(next, FFile);
            return;
        }
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace cep
