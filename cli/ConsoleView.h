#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "import/RunView.h"

namespace cep {

/// The run's view on a terminal: a progress line with the stage text and the
/// remaining time when stderr is a terminal, plain lines (stage changes and
/// every 5 %) otherwise. Messages go to stderr; the question is asked on the
/// terminal unless answered beforehand.
class TConsoleView final : public TRunView {
  public:
    /// `answer`: the reply to the question, or none to ask (No without a terminal).
    TConsoleView(std::FILE* out, bool interactive, std::optional<bool> answer);

    void SetStatus(const std::string& text) override;
    void SetRemaining(const std::string& text) override;
    void SetProgressMax(int32_t maximum) override { max_ = maximum; }
    int32_t ProgressMax() const override { return max_; }
    void SetProgressPosition(int32_t position) override { position_ = position; }
    int32_t ProgressPosition() const override { return position_; }
    void Repaint() override;
    void ProcessMessages() override {}

    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;

    /// Ends an open progress line.
    void Finish();

  private:
    void Draw();
    void Message(const char* kind, const std::string& text);
    int Percent() const;

    std::FILE* out_;
    bool interactive_;
    std::optional<bool> answer_;
    std::string status_;
    std::string remaining_;
    int32_t max_ = 100;
    int32_t position_ = 0;
    bool lineOpen_ = false;
    int lastPercentShown_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
};

/// Windows-1252 text with "\r" line breaks, as UTF-8 with "\n".
std::string ConsoleText(const std::string& text);

}  // namespace cep
