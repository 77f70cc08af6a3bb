// Writing the postal-code data set out: from the compressed copy inside the
// program against plain copies of the same uncompressed file. The target
// folder is $CEP_BENCH_DIR (default: the system's temporary folder).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "import/DataSets.h"
#include "resources/EmbeddedDataSets.h"

namespace fs = std::filesystem;
using namespace cep;

namespace {

const std::string kSource = std::string(CEP_RELEASE_DIR) + "/TABCEP.txt";

std::string Target() {
    const char* dir = std::getenv("CEP_BENCH_DIR");
    return (dir ? fs::path(dir) : fs::temp_directory_path()) / "bench_Temp.txt";
}

void Finish(benchmark::State& state, const std::string& target) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(kSource)));
    fs::remove(target);
}

void BM_ExtractEmbedded(benchmark::State& state) {
    const std::string target = Target();
    state.counters["compressed_MB"] = double(EmbeddedDataSets().CompressedSize(kTabCep)) / 1e6;
    for (auto _ : state)
        EmbeddedDataSets().Extract(kTabCep, target);
    Finish(state, target);
}

// The same file through the release-folder source: a 1 MB read/write loop.
void BM_CopyLoop(benchmark::State& state) {
    const std::string target = Target();
    const TFolderDataSetSource folder(CEP_RELEASE_DIR);
    for (auto _ : state)
        folder.Extract(kTabCep, target);
    Finish(state, target);
}

// The system's own copy (copy_file_range or sendfile on Linux).
void BM_CopyFile(benchmark::State& state) {
    const std::string target = Target();
    for (auto _ : state)
        fs::copy_file(kSource, target, fs::copy_options::overwrite_existing);
    Finish(state, target);
}

BENCHMARK(BM_ExtractEmbedded)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
