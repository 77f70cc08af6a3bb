#include "import/TextFile.h"

#include <cerrno>
#include <cstring>

#include "import/DataSets.h"

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
    : file_(std::fopen(fileName.c_str(), "rb")), name_(fileName) {
    if (file_ == nullptr)
        throw InOutError("Cannot open file " + fileName, errno);
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

TTextReader::~TTextReader() {
    std::fclose(file_);
}

bool TTextReader::AtEnd() {
    const int c = GetChar(file_);
    if (c == EOF) {
        if (std::ferror(file_))
            throw InOutError("Read error on file " + name_, EIO);
        return true;
    }
    std::ungetc(c, file_);
    return false;
}

void TTextReader::ReadLine(std::string& line) {
    line.clear();
    for (;;) {
        const int c = GetChar(file_);
        if (c == EOF) {
            if (std::ferror(file_))
                throw InOutError("Read error on file " + name_, EIO);
            return;
        }
        if (c == '\n')
            return;
        if (c == '\r') {  // CR LF, or a lone CR
            const int next = GetChar(file_);
            if (next != '\n' && next != EOF)
                std::ungetc(next, file_);
            return;
        }
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace cep
