#pragma once

// The table of embedded compressed data sets, generated at build time.

#include <cstddef>

namespace cep::embedded {

struct Blob {
    const char* name;
    const unsigned char* begin;
    const unsigned char* end;
};

extern const Blob kBlobs[];
extern const std::size_t kBlobCount;

}  // namespace cep::embedded
