#include "resources/EmbeddedDataSets.h"

#include <zstd.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>

#include "resources/EmbeddedBlobs.h"
#endif

namespace cep {

namespace {

struct TSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

TSpan Find(const std::string& name) {
#ifdef _WIN32
    HRSRC info = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (info == nullptr)
        return {};
    HGLOBAL handle = LoadResource(nullptr, info);
    if (handle == nullptr)
        return {};
    return {static_cast<const unsigned char*>(LockResource(handle)),
            static_cast<std::size_t>(SizeofResource(nullptr, info))};
#else
    for (std::size_t i = 0; i < embedded::kBlobCount; ++i)
        if (name == embedded::kBlobs[i].name)
            return {embedded::kBlobs[i].begin,
                    static_cast<std::size_t>(embedded::kBlobs[i].end - embedded::kBlobs[i].begin)};
    return {};
#endif
}

/// Hands the pages of the compressed bytes already read back to the system:
/// they are read-only pages of the executable file, so the next extraction
/// simply reads them in again. Keeps the resident size to the window and
/// the buffer instead of growing by the whole compressed data set.
class TPageReleaser {
  public:
    explicit TPageReleaser(const TSpan& span) : FSpan(span) {
#ifndef _WIN32
        FPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(span.data);
        FDone = (begin + FPage - 1) / FPage * FPage;  // first whole page
#endif
    }

    void Consumed(std::size_t bytes) {
#ifndef _WIN32
        const std::uintptr_t upTo =
            (reinterpret_cast<std::uintptr_t>(FSpan.data) + bytes) / FPage * FPage;
        if (upTo >= FDone + kStep) {
            madvise(reinterpret_cast<void*>(FDone), upTo - FDone, MADV_DONTNEED);
            FDone = upTo;
        }
#else
        (void)bytes;
#endif
    }

  private:
    static constexpr std::uintptr_t kStep = std::uintptr_t(256) << 10;
    TSpan FSpan;
    std::uintptr_t FPage = 4096;
    std::uintptr_t FDone = 0;
};

/// Writes the decompressed chunks on a second thread while the next ones are
/// decompressed, through a ring of a few buffers: extraction then takes about
/// as long as the slower of the two instead of their sum.
class TPipelinedWriter {
  public:
    static constexpr std::size_t kBuffers = 4;
    static constexpr std::size_t kBufferBytes = std::size_t(256) << 10;

    explicit TPipelinedWriter(TDataSetWriter& out) : FOut(out) {
        for (auto& buffer : FBuffers)
            buffer.resize(kBufferBytes);
        FThread = std::thread([this] { Run(); });
    }

    ~TPipelinedWriter() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        if (FThread.joinable())
            FThread.join();
    }

    /// The next buffer to fill; waits while all are queued. Raises the
    /// writer's error once it has one.
    std::vector<char>& Free() {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait(lock, [this] { return FQueued < kBuffers || FError; });
        if (FError)
            std::rethrow_exception(FError);
        return FBuffers[(FFirst + FQueued) % kBuffers];
    }

    /// Queues the buffer Free() gave, holding `bytes` bytes.
    void Submit(std::size_t bytes) {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FSizes[(FFirst + FQueued) % kBuffers] = bytes;
            ++FQueued;
        }
        FChanged.notify_all();
    }

    /// Waits until every queued buffer is written; raises the writer's error.
    void Finish() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FChanged.notify_all();
        FThread.join();
        if (FError)
            std::rethrow_exception(FError);
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(FMutex);
        for (;;) {
            FChanged.wait(lock, [this] { return FQueued > 0 || FStop; });
            if (FQueued == 0)
                return;  // stopped and drained
            const std::size_t slot = FFirst;
            lock.unlock();
            try {
                FOut.Write(FBuffers[slot].data(), FSizes[slot]);
            } catch (...) {
                lock.lock();
                FError = std::current_exception();
                FChanged.notify_all();
                return;
            }
            lock.lock();
            FFirst = (FFirst + 1) % kBuffers;
            --FQueued;
            FChanged.notify_all();
        }
    }

    TDataSetWriter& FOut;
    std::vector<char> FBuffers[kBuffers];
    std::size_t FSizes[kBuffers] = {};
    std::size_t FFirst = 0;   // oldest queued buffer
    std::size_t FQueued = 0;  // buffers filled, not yet written
    bool FStop = false;
    std::exception_ptr FError;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::thread FThread;
};

}  // namespace

bool TEmbeddedDataSetSource::Contains(const std::string& name) const {
    return Find(name).data != nullptr;
}

std::size_t TEmbeddedDataSetSource::CompressedSize(const std::string& name) const {
    return Find(name).size;
}

void TEmbeddedDataSetSource::Extract(const std::string& name, const std::string& fileName) const {
    const TSpan blob = Find(name);
    if (blob.data == nullptr)
        throw TDataSetError("Resource " + name + " not found");
    TDataSetWriter out(fileName);

    std::unique_ptr<ZSTD_DCtx, std::size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    if (!dctx)
        throw TDataSetError("Out of memory");
    // The data sets are packed with a 2 MB window; refuse anything needing
    // more than 8 MB rather than let memory grow.
    ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, 23);
    TPageReleaser pages(blob);
    TPipelinedWriter writer(out);
    ZSTD_inBuffer input = {blob.data, blob.size, 0};
    std::size_t pending = 1;
    // Until all input is in and the decoder holds nothing more.
    while (input.pos < input.size || pending != 0) {
        std::vector<char>& buffer = writer.Free();
        ZSTD_outBuffer output = {buffer.data(), buffer.size(), 0};
        pending = ZSTD_decompressStream(dctx.get(), &output, &input);
        if (ZSTD_isError(pending))
            throw TDataSetError("Corrupt data set " + name + ": " + ZSTD_getErrorName(pending));
        if (input.pos == input.size && output.pos == 0 && pending != 0)
            throw TDataSetError("Corrupt data set " + name + ": truncated");
        writer.Submit(output.pos);
        pages.Consumed(input.pos);
    }
    writer.Finish();
    out.Close();
}

const TEmbeddedDataSetSource& EmbeddedDataSets() {
    static const TEmbeddedDataSetSource source;
    return source;
}

}  // namespace cep
