#pragma once

#include <cstdint>
#include <string>

namespace cep {

/// Run state: no bulk stage, the staging load, the merge.
enum class TRunState { Idle, Staging, Merge };

/// The character the window's documents give each run state: ' ', 'I', 'B'.
char RunStateChar(TRunState state);

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
    /// The run entered `state`; the window applies its enabling rules.
    virtual void RunStateChanged(TRunState state) { (void)state; }

    /// Error icon, OK button. `detail` is the reason behind the message (the
    /// engine's own text), shown apart from it; empty when there is none.
    virtual void ShowError(const std::string& text, const std::string& detail = {}) = 0;
    /// Information icon, OK button.
    virtual void ShowInformation(const std::string& text) = 0;
    /// The plain message dialog: no icon, one OK button.
    virtual void ShowMessage(const std::string& text, const std::string& detail = {}) = 0;
    /// Question icon, Yes and No, No the default; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
};

/// A view that keeps what the stages set on the status panel, for front ends
/// that draw it their own way (or not at all).
class TStatusPanel : public TRunView {
  public:
    void SetStatus(const std::string& text) override {
        if (text != FStatus) {
            FRemainingSet = false;
            StageChanging();
        }
        FStatus = text;
    }
    void SetRemaining(const std::string& text) override {
        FRemaining = text;
        FRemainingSet = true;
    }
    void SetProgressMax(int32_t maximum) override { FMax = maximum; }
    int32_t ProgressMax() const override { return FMax; }
    void SetProgressPosition(int32_t position) override { FPosition = position; }
    int32_t ProgressPosition() const override { return FPosition; }

    const std::string& Status() const { return FStatus; }
    /// The remaining-time text as it stands (lblResta keeps it across stages).
    const std::string& Remaining() const { return FRemaining; }
    /// True when the remaining-time text was set since the stage text changed:
    /// false for a stage that shows no estimate of its own.
    bool RemainingSetByStage() const { return FRemainingSet; }
    /// The position as a share of the maximum, 0 to 100.
    int Percent() const;

  protected:
    /// Called when another stage text is about to replace the current one
    /// (still in Status()).
    virtual void StageChanging() {}

  private:
    std::string FStatus;
    std::string FRemaining;
    bool FRemainingSet = false;
    int32_t FMax = 100;
    int32_t FPosition = 0;
};

}  // namespace cep
