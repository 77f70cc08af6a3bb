#pragma once

#include <cstdint>
#include <string>

namespace cep {

/// What the stages show the user: the status panel (stage text, remaining
/// time, progress bar) and the message boxes. The window, the command-line
/// front end and the tests each implement it. Texts are Windows-1252; "\r"
/// inside a message is a line break.
class TRunView {
  public:
    virtual ~TRunView() = default;

    /// The stage text (lblStatus).
    virtual void SetStatus(const std::string& text) = 0;
    /// The remaining-time text (lblResta).
    virtual void SetRemaining(const std::string& text) = 0;
    virtual void SetProgressMax(int32_t maximum) = 0;
    virtual int32_t ProgressMax() const = 0;
    /// A position beyond the maximum shows a full bar.
    virtual void SetProgressPosition(int32_t position) = 0;
    virtual int32_t ProgressPosition() const = 0;
    /// Shows what was set, at once, without handling any input.
    virtual void Repaint() = 0;
    /// Handles pending input; a cancel request arrives through it.
    virtual void ProcessMessages() = 0;

    /// Error icon, OK button.
    virtual void ShowError(const std::string& text) = 0;
    /// Information icon, OK button.
    virtual void ShowInformation(const std::string& text) = 0;
    /// The plain message dialog: no icon, one OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    /// Question icon, Yes and No, No the default; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
};

}  // namespace cep
