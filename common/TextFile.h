#pragma once

#include <cstdio>
#include <string>

namespace cep {

/// A text file read line by line, each line without its line end (CR LF or
/// LF). Raises TInOutError when it cannot be opened or read.
class TTextReader {
  public:
    explicit TTextReader(const std::string& fileName);
    ~TTextReader();
    TTextReader(const TTextReader&) = delete;
    TTextReader& operator=(const TTextReader&) = delete;

    /// True when no line is left.
    bool AtEnd();
    /// Reads the next line into `line`.
    void ReadLine(std::string& line);

  private:
    std::FILE* FFile;
    std::string FName;
};

}  // namespace cep
