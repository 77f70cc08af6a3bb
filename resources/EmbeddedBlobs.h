#pragma once

// The table of embedded compressed data sets, generated at build time.

#include <cstddef>

namespace cep::embedded {

struct TBlob {
    const char* name;
    const unsigned char* begin;
    const unsigned char* end;
};

extern const TBlob kBlobs[];
extern const std::size_t kBlobCount;

}  // namespace cep::embedded
