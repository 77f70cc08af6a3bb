#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "common/RunView.h"

namespace cep {

/// The run's view on a terminal: a progress line with the stage text, a bar,
/// the percentage and the remaining time, redrawn in place and cut to the
/// terminal's width, when the output is a terminal; plain lines (stage changes
/// and every 5 %) otherwise. Messages go to the same stream; the question is
/// asked on the terminal unless answered beforehand.
class TConsoleView final : public TStatusPanel {
  public:
    /// The terminal's width in columns, asked at every redraw.
    using TWidth = std::function<int()>;

    /// `answer`: the reply to the question, or none to ask on `in` (No
    /// without a terminal).
    TConsoleView(std::ostream& out, std::istream& in, bool interactive, std::optional<bool> answer,
                 TWidth width);

    void Repaint() override;
    void ProcessMessages() override {}

    void ShowError(const std::string& text, const std::string& detail = {}) override;
    void ShowInformation(const std::string& text) override;
    void ShowMessage(const std::string& text, const std::string& detail = {}) override;
    bool AskYesNo(const std::string& text) override;

    /// Ends an open progress line.
    void Finish();

    /// The progress line for a terminal of `columns` columns: never wider
    /// than columns - 1, so that it never wraps.
    std::string ProgressLine(int columns) const;

  private:
    void Draw();
    void Message(const char* kind, const std::string& text, const std::string& detail);

    std::ostream& FOut;
    std::istream& FIn;
    bool FInteractive;
    std::optional<bool> FAnswer;
    TWidth FWidth;
    std::string FShownStatus;
    bool FLineOpen = false;
    int FLastPercentShown = -1;
    std::chrono::steady_clock::time_point FLastDraw{};
};

/// Columns a UTF-8 text takes on a terminal: one per character.
int Utf8Columns(const std::string& utf8);

/// The width of the terminal on file descriptor `fd`; 80 when it tells none.
int TerminalColumns(int fd);

}  // namespace cep
