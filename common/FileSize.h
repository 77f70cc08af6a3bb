#pragma once

#include <cstdint>
#include <string>

#include "common/Error.h"

namespace cep {

/// An input/output error of a file routine; Code() is the system's errno.
class TInOutError : public TError {
  public:
    TInOutError(const std::string& message, int code) : TError(message), FCode(code) {}
    int Code() const { return FCode; }

  private:
    int FCode;
};

/// The size of a file in bytes. Opens the file for reading and writing, so a
/// missing file, one without access and a read-only one all raise TInOutError;
/// so does a file of more than 2^31-1 bytes.
int32_t FileSizeOf(const std::string& fileName);

}  // namespace cep
