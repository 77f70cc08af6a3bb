#pragma once

#include <cstddef>
#include <string>

#include "import/DataSets.h"

namespace cep {

/// The data sets carried inside the program (TABCEP, TABMUNI and, when the
/// release has one, TABCEPEXC), each compressed with zstd: an embedded blob
/// on Linux, RCDATA resources of those names on Windows. Extraction streams:
/// a 2 MB decoding window and four 256 KB buffers, written out on a second
/// thread while the next ones are decoded.
class TEmbeddedDataSetSource : public TDataSetSource {
  public:
    bool Contains(const std::string& name) const override;
    void Extract(const std::string& name, const std::string& fileName) const override;

    /// Compressed size in bytes of a data set, 0 when there is none.
    std::size_t CompressedSize(const std::string& name) const;
};

/// The program's embedded data sets.
const TEmbeddedDataSetSource& EmbeddedDataSets();

}  // namespace cep
