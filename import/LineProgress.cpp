#include "import/LineProgress.h"

#include "import/Progress.h"

namespace cep {

TLineProgress::TLineProgress(TRunContext& run, const char* status, int32_t fileSize)
    : run_(run), fileSize_(fileSize) {
    run_.view.SetProgressPosition(0);
    run_.view.SetProgressMax(0);
    run_.view.SetStatus(status);
    run_.view.Repaint();
}

void TLineProgress::LineRead(std::size_t length) {
    if (run_.view.ProgressMax() == 0)
        run_.view.SetProgressMax(fileSize_ / static_cast<int32_t>(length + 2));
}

void TLineProgress::Show(int32_t lines) {
    TRunView& view = run_.view;
    if (lines % 10 == 0)
        view.SetRemaining(RemainingText(lines, view.ProgressMax(), start_, run_.clock,
                                        run_.regional.timeSeparator));
    view.SetProgressPosition(lines);
    view.Repaint();
}

}  // namespace cep
