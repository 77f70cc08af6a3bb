#include "import/TextFile.h"

#include <cerrno>
#include <cstring>

#include "import/DataSets.h"

namespace cep {

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
    const int c = std::fgetc(file_);
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
        const int c = std::fgetc(file_);
        if (c == EOF) {
            if (std::ferror(file_))
                throw InOutError("Read error on file " + name_, EIO);
            return;
        }
        if (c == '\n')
            return;
        if (c == '\r') {  // CR LF, or a lone CR
            const int next = std::fgetc(file_);
            if (next != '\n' && next != EOF)
                std::ungetc(next, file_);
            return;
        }
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace cep
