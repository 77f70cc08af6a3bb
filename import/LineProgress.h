#pragma once

#include <cstddef>
#include <cstdint>

#include "database/StageContext.h"

namespace cep {

/// The status panel of a load that reads a text file line by line: the bar's
/// maximum estimated from the length of the first line, its position after
/// each line, the remaining time every 10 lines.
class TLineProgress {
  public:
    /// Sets the position to 0, then the maximum to 0, shows `status` and repaints.
    TLineProgress(TStageContext& run, const char* status, int32_t fileSize);

    /// Takes the start time the estimate counts from.
    void Start() { FStart = FRun.FClock(); }
    /// A line of `length` characters was read: while the maximum is 0 it
    /// becomes the file size divided by (length + 2), the line end.
    void LineRead(std::size_t length);
    /// `lines` lines are done: the estimate on every tenth, the position, a repaint.
    void Show(int32_t lines);

  private:
    TStageContext& FRun;
    int32_t FFileSize;
    TTimeOfDay FStart = 0;
};

}  // namespace cep
