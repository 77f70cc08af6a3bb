#include "import/DataSets.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace cep {

namespace {

std::string WithSeparator(std::string dir) {
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    return dir;
}

[[noreturn]] void RaiseInOut(const std::string& fileName, int code) {
    throw InOutError(
        "I/O error " + std::to_string(code) + " (" + std::strerror(code) + "): " + fileName, code);
}

int64_t Tell64(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

int Seek64End(std::FILE* file) {
#ifdef _WIN32
    return _fseeki64(file, 0, SEEK_END);
#else
    return fseeko(file, 0, SEEK_END);
#endif
}

}  // namespace

TFolderDataSetSource::TFolderDataSetSource(std::string releaseDir)
    : dir_(WithSeparator(std::move(releaseDir))) {}

std::string TFolderDataSetSource::PathOf(const std::string& name) const {
    return dir_ + name + ".txt";
}

bool TFolderDataSetSource::Contains(const std::string& name) const {
    std::FILE* file = std::fopen(PathOf(name).c_str(), "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

void TFolderDataSetSource::Extract(const std::string& name, const std::string& fileName) const {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(PathOf(name).c_str(), "rb"),
                                                       &std::fclose);
    if (!in)
        throw DataSetError("Resource " + name + " not found");
    TDataSetWriter out(fileName);
    std::vector<char> buffer(kExtractChunkBytes);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got > 0)
            out.Write(buffer.data(), got);
        if (got < buffer.size()) {
            if (std::ferror(in.get()))
                throw DataSetError("Stream read error");
            break;
        }
    }
    out.Close();
}

TDataSetWriter::TDataSetWriter(const std::string& fileName)
    : file_(std::fopen(fileName.c_str(), "wb")) {
    if (file_ == nullptr)
        throw DataSetError("Cannot create file " + fileName);
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

TDataSetWriter::~TDataSetWriter() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void TDataSetWriter::Write(const void* data, std::size_t size) {
    if (file_ == nullptr || std::fwrite(data, 1, size, file_) != size)
        throw DataSetError("Stream write error");
}

void TDataSetWriter::Close() {
    if (file_ == nullptr)
        return;
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0)
        throw DataSetError("Stream write error");
}

bool TryExtractDataSet(const TDataSetSource& source, const std::string& name,
                       const std::string& fileName) noexcept {
    try {
        source.Extract(name, fileName);
        return true;
    } catch (...) {
        return false;
    }
}

int32_t FileSizeOf(const std::string& fileName) {
    errno = 0;
    std::FILE* file = std::fopen(fileName.c_str(), "r+b");
    if (file == nullptr)
        RaiseInOut(fileName, errno != 0 ? errno : EIO);
    int64_t size = -1;
    if (Seek64End(file) == 0)
        size = Tell64(file);
    const int code = errno != 0 ? errno : EIO;
    std::fclose(file);
    if (size < 0)
        RaiseInOut(fileName, code);
    if (size > std::numeric_limits<int32_t>::max())
        RaiseInOut(fileName, EFBIG);
    return static_cast<int32_t>(size);
}

}  // namespace cep
