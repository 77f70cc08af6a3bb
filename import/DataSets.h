#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/Error.h"

namespace cep {

/// Names of the data sets a release carries. TABCEPEXC is optional.
inline constexpr char kTabCep[] = "TABCEP";
inline constexpr char kTabMuni[] = "TABMUNI";
inline constexpr char kTabCepExc[] = "TABCEPEXC";

/// Failure to find or write out a data set: "Resource NAME not found",
/// "Cannot create file FILE", "Stream write error".
class TDataSetError : public TError {
  public:
    using TError::TError;
};

/// A data set whose lines are not all records of its layout.
class TReleaseError : public TError {
  public:
    using TError::TError;
};

/// Where the data sets come from: carried inside the program, or a release
/// folder on disk.
class TDataSetSource {
  public:
    virtual ~TDataSetSource() = default;

    /// Checks that the data sets hold records and nothing else, before any is
    /// used: every line a record of its data set's layout, and at least one
    /// postal-code record. Raises TReleaseError naming the file and the first
    /// bad line. The data sets carried inside the program were checked when
    /// it was built.
    virtual void Verify() const {}

    /// True when the source holds a data set of that name.
    virtual bool Contains(const std::string& name) const = 0;

    /// Writes every byte of the data set to `fileName`, unchanged, creating or
    /// replacing the file. Streams: memory stays bounded whatever the size.
    /// Raises TDataSetError.
    virtual void Extract(const std::string& name, const std::string& fileName) const = 0;
};

/// A release folder holding TABCEP.txt, TABMUNI.txt and optionally
/// TABCEPEXC.txt: data set NAME is the file NAME.txt there.
class TFolderDataSetSource : public TDataSetSource {
  public:
    explicit TFolderDataSetSource(std::string releaseDir);

    bool Contains(const std::string& name) const override;
    void Extract(const std::string& name, const std::string& fileName) const override;
    void Verify() const override;

    /// The file that holds data set `name`.
    std::string PathOf(const std::string& name) const;

  private:
    std::string FDir;
};

/// The target file of an extraction: created (or emptied) on construction,
/// readable and writable by its owner only (mode 0600, also for a file of
/// ours already there), written unbuffered in the caller's chunks. Raises
/// TDataSetError with "Cannot create file FILE" and "Stream write error".
class TDataSetWriter {
  public:
    explicit TDataSetWriter(const std::string& fileName);
    ~TDataSetWriter();
    TDataSetWriter(const TDataSetWriter&) = delete;
    TDataSetWriter& operator=(const TDataSetWriter&) = delete;

    /// Writes all `size` bytes or raises "Stream write error".
    void Write(const void* data, std::size_t size);
    /// Closes the file; a failure to flush raises "Stream write error".
    void Close();

  private:
    std::FILE* FFile;
};

/// Chunk size the extractions read and write in.
inline constexpr std::size_t kExtractChunkBytes = std::size_t(1) << 20;

}  // namespace cep
