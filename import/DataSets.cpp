#include "import/DataSets.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <memory>
#include <vector>

#include "common/FileSize.h"
#include "common/RecordLayout.h"
#include "common/TextFile.h"

namespace cep {

namespace {

std::string WithSeparator(std::string dir) {
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    return dir;
}

}  // namespace

TFolderDataSetSource::TFolderDataSetSource(std::string releaseDir)
    : FDir(WithSeparator(std::move(releaseDir))) {}

std::string TFolderDataSetSource::PathOf(const std::string& name) const {
    return FDir + name + ".txt";
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
        throw TDataSetError("Resource " + name + " not found");
    TDataSetWriter out(fileName);
    std::vector<char> buffer(kExtractChunkBytes);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got > 0)
            out.Write(buffer.data(), got);
        if (got < buffer.size()) {
            if (std::ferror(in.get()))
                throw TDataSetError("Stream read error");
            break;
        }
    }
    out.Close();
}

void TFolderDataSetSource::Verify() const {
    for (const char* name : {kTabCep, kTabMuni, kTabCepExc}) {
        if (name == std::string(kTabCepExc) && !Contains(name))
            continue;  // optional
        const std::string file = name + std::string(".txt");
        std::unique_ptr<TTextReader> reader;
        try {
            reader = std::make_unique<TTextReader>(PathOf(name));
        } catch (const TInOutError& e) {
            throw TReleaseError(file + ": " + e.what());
        }
        std::string line;
        int32_t number = 0;
        while (!reader->AtEnd()) {
            reader->ReadLine(line);
            ++number;
            const std::string problem = RecordProblem(name, line);
            if (!problem.empty())
                throw TReleaseError(file + ", linha " + std::to_string(number) + ": " + problem);
        }
        if (number == 0 && name == std::string(kTabCep))
            throw TReleaseError(file + ": nenhum registro");
    }
}

namespace {

/// Creates or empties `fileName` for writing, readable and writable by its
/// owner only: the data sets may sit in a folder others can read.
std::FILE* CreatePrivate(const std::string& fileName) {
#ifdef _WIN32
    return std::fopen(fileName.c_str(), "wb");
#else
    const int fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    // An existing file keeps its mode through O_TRUNC: one left by an
    // earlier run with a wider mode is narrowed, when it is ours.
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_uid == geteuid() && (info.st_mode & 077) != 0 &&
        fchmod(fd, 0600) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr)
        close(fd);
    return file;
#endif
}

}  // namespace

TDataSetWriter::TDataSetWriter(const std::string& fileName) : FFile(CreatePrivate(fileName)) {
    if (FFile == nullptr)
        throw TDataSetError("Cannot create file " + fileName);
    std::setvbuf(FFile, nullptr, _IONBF, 0);
}

TDataSetWriter::~TDataSetWriter() {
    if (FFile != nullptr)
        std::fclose(FFile);
}

void TDataSetWriter::Write(const void* data, std::size_t size) {
    if (FFile == nullptr || std::fwrite(data, 1, size, FFile) != size)
        throw TDataSetError("Stream write error");
}

void TDataSetWriter::Close() {
    if (FFile == nullptr)
        return;
    const int result = std::fclose(FFile);
    FFile = nullptr;
    if (result != 0)
        throw TDataSetError("Stream write error");
}

}  // namespace cep
