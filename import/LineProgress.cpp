#include "import/LineProgress.h"

#include "common/Progress.h"

namespace cep {

TLineProgress::TLineProgress(TStageContext& run, const char* status, int32_t fileSize)
    : FRun(run), FFileSize(fileSize) {
    FRun.FView.SetProgressPosition(0);
    FRun.FView.SetProgressMax(0);
    FRun.FView.SetStatus(status);
    FRun.FView.Repaint();
}

void TLineProgress::LineRead(std::size_t length) {
    if (FRun.FView.ProgressMax() == 0)
        FRun.FView.SetProgressMax(FFileSize / static_cast<int32_t>(length + 2));
}

void TLineProgress::Show(int32_t lines) {
    TRunView& view = FRun.FView;
    if (lines % 10 == 0)
        view.SetRemaining(RemainingText(lines, view.ProgressMax(), FStart, FRun.FClock,
                                        FRun.FRegional.timeSeparator));
    view.SetProgressPosition(lines);
    view.Repaint();
}

}  // namespace cep
