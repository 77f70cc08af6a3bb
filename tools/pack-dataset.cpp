// Compresses one data set for embedding: cep_pack_dataset [--level N] IN OUT.
// A single zstd frame with the content size and a checksum, a 2 MB window
// (so extraction needs little memory) and two worker threads. A data set of
// a known name (IN's file name without ".txt": TABCEP, TABMUNI, TABCEPEXC)
// must hold records of its layout and nothing else, or nothing is written:
// the program trusts what it carries.

#include <zstd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/RecordLayout.h"
#include "common/TextFile.h"

namespace {

using TFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "cep_pack_dataset: %s\n", message.c_str());
    std::exit(2);
}

void Check(std::size_t result, const char* what) {
    if (ZSTD_isError(result))
        Fail(std::string(what) + ": " + ZSTD_getErrorName(result));
}

// Fails on the first line of `path` that is not a record of data set `name`.
void CheckRecords(const std::string& path, const std::string& name) {
    cep::TTextReader reader(path);
    std::string line;
    long number = 0;
    while (!reader.AtEnd()) {
        reader.ReadLine(line);
        ++number;
        const std::string problem = cep::RecordProblem(name, line);
        if (!problem.empty())
            Fail(path + ", line " + std::to_string(number) + ": not a record of " + name);
    }
    if (number == 0 && name == "TABCEP")
        Fail(path + ": no records");
}

}  // namespace

int main(int argc, char** argv) {
    int level = 9;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--level" && i + 1 < argc)
            level = std::atoi(argv[++i]);
        else
            paths.emplace_back(arg);
    }
    if (paths.size() != 2)
        Fail("usage: cep_pack_dataset [--level N] IN OUT");

    const std::string base = paths[0].substr(paths[0].find_last_of("/\\") + 1);
    for (const char* name : {"TABCEP", "TABMUNI", "TABCEPEXC"})
        if (base == std::string(name) + ".txt")
            CheckRecords(paths[0], name);

    TFile in(std::fopen(paths[0].c_str(), "rb"), &std::fclose);
    if (!in)
        Fail("cannot open " + paths[0]);
    TFile out(std::fopen(paths[1].c_str(), "wb"), &std::fclose);
    if (!out)
        Fail("cannot create " + paths[1]);
    std::fseek(in.get(), 0, SEEK_END);
    const long size = std::ftell(in.get());
    std::fseek(in.get(), 0, SEEK_SET);

    std::unique_ptr<ZSTD_CCtx, std::size_t (*)(ZSTD_CCtx*)> cctx(ZSTD_createCCtx(), &ZSTD_freeCCtx);
    Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level), "level");
    Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog, 21), "window");
    Check(ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1), "checksum");
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_nbWorkers, 2);  // single-threaded when unsupported
    if (size >= 0)
        Check(ZSTD_CCtx_setPledgedSrcSize(cctx.get(), std::size_t(size)), "size");

    std::vector<char> inBuf(ZSTD_CStreamInSize() * 8), outBuf(ZSTD_CStreamOutSize() * 8);
    for (;;) {
        const std::size_t got = std::fread(inBuf.data(), 1, inBuf.size(), in.get());
        if (std::ferror(in.get()))
            Fail("read error on " + paths[0]);
        const bool last = got < inBuf.size();
        ZSTD_inBuffer input = {inBuf.data(), got, 0};
        bool done = false;
        while (!done) {
            ZSTD_outBuffer output = {outBuf.data(), outBuf.size(), 0};
            const std::size_t left = ZSTD_compressStream2(cctx.get(), &output, &input,
                                                          last ? ZSTD_e_end : ZSTD_e_continue);
            Check(left, "compress");
            if (std::fwrite(outBuf.data(), 1, output.pos, out.get()) != output.pos)
                Fail("write error on " + paths[1]);
            done = last ? left == 0 : input.pos == input.size;
        }
        if (last)
            break;
    }
    if (std::fclose(out.release()) != 0)
        Fail("write error on " + paths[1]);
    return 0;
}
