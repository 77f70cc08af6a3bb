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

struct Span {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

Span Find(const std::string& name) {
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
class PageReleaser {
  public:
    explicit PageReleaser(const Span& span) : span_(span) {
#ifndef _WIN32
        page_ = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(span.data);
        done_ = (begin + page_ - 1) / page_ * page_;  // first whole page
#endif
    }

    void Consumed(std::size_t bytes) {
#ifndef _WIN32
        const std::uintptr_t upTo =
            (reinterpret_cast<std::uintptr_t>(span_.data) + bytes) / page_ * page_;
        if (upTo >= done_ + kStep) {
            madvise(reinterpret_cast<void*>(done_), upTo - done_, MADV_DONTNEED);
            done_ = upTo;
        }
#else
        (void)bytes;
#endif
    }

  private:
    static constexpr std::uintptr_t kStep = std::uintptr_t(256) << 10;
    Span span_;
    std::uintptr_t page_ = 4096;
    std::uintptr_t done_ = 0;
};

/// Writes the decompressed chunks on a second thread while the next ones are
/// decompressed, through a ring of a few buffers: extraction then takes about
/// as long as the slower of the two instead of their sum.
class PipelinedWriter {
  public:
    static constexpr std::size_t kBuffers = 4;
    static constexpr std::size_t kBufferBytes = std::size_t(256) << 10;

    explicit PipelinedWriter(TDataSetWriter& out) : out_(out) {
        for (auto& buffer : buffers_)
            buffer.resize(kBufferBytes);
        thread_ = std::thread([this] { Run(); });
    }

    ~PipelinedWriter() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    /// The next buffer to fill; waits while all are queued. Raises the
    /// writer's error once it has one.
    std::vector<char>& Free() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queued_ < kBuffers || error_; });
        if (error_)
            std::rethrow_exception(error_);
        return buffers_[(first_ + queued_) % kBuffers];
    }

    /// Queues the buffer Free() gave, holding `bytes` bytes.
    void Submit(std::size_t bytes) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sizes_[(first_ + queued_) % kBuffers] = bytes;
            ++queued_;
        }
        changed_.notify_all();
    }

    /// Waits until every queued buffer is written; raises the writer's error.
    void Finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
        if (error_)
            std::rethrow_exception(error_);
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return queued_ > 0 || stop_; });
            if (queued_ == 0)
                return;  // stopped and drained
            const std::size_t slot = first_;
            lock.unlock();
            try {
                out_.Write(buffers_[slot].data(), sizes_[slot]);
            } catch (...) {
                lock.lock();
                error_ = std::current_exception();
                changed_.notify_all();
                return;
            }
            lock.lock();
            first_ = (first_ + 1) % kBuffers;
            --queued_;
            changed_.notify_all();
        }
    }

    TDataSetWriter& out_;
    std::vector<char> buffers_[kBuffers];
    std::size_t sizes_[kBuffers] = {};
    std::size_t first_ = 0;   // oldest queued buffer
    std::size_t queued_ = 0;  // buffers filled, not yet written
    bool stop_ = false;
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

}  // namespace

bool TEmbeddedDataSetSource::Contains(const std::string& name) const {
    return Find(name).data != nullptr;
}

std::size_t TEmbeddedDataSetSource::CompressedSize(const std::string& name) const {
    return Find(name).size;
}

void TEmbeddedDataSetSource::Extract(const std::string& name, const std::string& fileName) const {
    const Span blob = Find(name);
    if (blob.data == nullptr)
        throw DataSetError("Resource " + name + " not found");
    TDataSetWriter out(fileName);

    std::unique_ptr<ZSTD_DCtx, std::size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    if (!dctx)
        throw DataSetError("Out of memory");
    // The data sets are packed with a 2 MB window; refuse anything needing
    // more than 8 MB rather than let memory grow.
    ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, 23);
    PageReleaser pages(blob);
    PipelinedWriter writer(out);
    ZSTD_inBuffer input = {blob.data, blob.size, 0};
    std::size_t pending = 1;
    // Until all input is in and the decoder holds nothing more.
    while (input.pos < input.size || pending != 0) {
        std::vector<char>& buffer = writer.Free();
        ZSTD_outBuffer output = {buffer.data(), buffer.size(), 0};
        pending = ZSTD_decompressStream(dctx.get(), &output, &input);
        if (ZSTD_isError(pending))
            throw DataSetError("Corrupt data set " + name + ": " + ZSTD_getErrorName(pending));
        if (input.pos == input.size && output.pos == 0 && pending != 0)
            throw DataSetError("Corrupt data set " + name + ": truncated");
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
