#pragma once

// The run view of the tests: keeps the status panel, records every call in
// order, answers the Yes/No question with a preset answer and runs a hook at
// every ProcessMessages, so a test can request a cancel at a chosen moment.

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "common/RunView.h"

namespace cep::test {

class TRecordingView : public TStatusPanel {
  public:
    enum class TKind {
        Status,
        Remaining,
        ProgressMax,
        ProgressPosition,
        Repaint,
        ProcessMessages,
        RunState,     // RunStateChanged, the state's character as value
        Error,        // ShowError
        Information,  // ShowInformation
        Message,      // ShowMessage
        Question,     // AskYesNo
    };

    /// One call: its kind, its text (the message boxes, the question, the two
    /// status texts) or its number (the progress calls). Two calls are equal
    /// when kind, text and number are; the detail of a box is kept apart.
    struct TCall {
        TKind kind;
        std::string text;
        int32_t value = 0;
        std::string detail = {};
        bool operator==(const TCall& other) const {
            return kind == other.kind && text == other.text && value == other.value;
        }
        friend void PrintTo(const TCall& call, std::ostream* out) {
            *out << "{kind " << static_cast<int>(call.kind) << ", \"" << call.text << "\", "
                 << call.value << "}";
        }
    };

    /// The answer AskYesNo gives: true for Yes.
    bool FAnswer = false;
    /// Runs at every ProcessMessages, after it has been recorded.
    std::function<void(TRecordingView&)> FOnProcessMessages;
    std::vector<TCall> FCalls;

    void SetStatus(const std::string& text) override {
        TStatusPanel::SetStatus(text);
        FCalls.push_back({TKind::Status, text});
    }
    void SetRemaining(const std::string& text) override {
        TStatusPanel::SetRemaining(text);
        FCalls.push_back({TKind::Remaining, text});
    }
    void SetProgressMax(int32_t maximum) override {
        TStatusPanel::SetProgressMax(maximum);
        FCalls.push_back({TKind::ProgressMax, {}, maximum});
    }
    void SetProgressPosition(int32_t position) override {
        TStatusPanel::SetProgressPosition(position);
        FCalls.push_back({TKind::ProgressPosition, {}, position});
    }
    void Repaint() override { FCalls.push_back({TKind::Repaint, {}}); }
    void ProcessMessages() override {
        FCalls.push_back({TKind::ProcessMessages, {}});
        ++FDispatches[Status()];
        if (FOnProcessMessages)
            FOnProcessMessages(*this);
    }
    void RunStateChanged(TRunState state) override {
        FCalls.push_back({TKind::RunState, {}, RunStateChar(state)});
    }

    void ShowError(const std::string& text, const std::string& detail = {}) override {
        FCalls.push_back({TKind::Error, text, 0, detail});
    }
    void ShowInformation(const std::string& text) override {
        FCalls.push_back({TKind::Information, text});
    }
    void ShowMessage(const std::string& text, const std::string& detail = {}) override {
        FCalls.push_back({TKind::Message, text, 0, detail});
    }
    bool AskYesNo(const std::string& text) override {
        FCalls.push_back({TKind::Question, text});
        return FAnswer;
    }

    /// The texts of the calls of one kind, in order.
    std::vector<std::string> Texts(TKind kind) const {
        std::vector<std::string> texts;
        for (const TCall& call : FCalls)
            if (call.kind == kind)
                texts.push_back(call.text);
        return texts;
    }
    /// The stage texts shown, in order, without the empty ones.
    std::vector<std::string> Statuses() const {
        std::vector<std::string> texts;
        for (const std::string& text : Texts(TKind::Status))
            if (!text.empty())
                texts.push_back(text);
        return texts;
    }
    /// The boxes and questions shown (errors, information, messages,
    /// questions), in order.
    std::vector<TCall> Dialogs() const {
        std::vector<TCall> dialogs;
        for (const TCall& call : FCalls)
            if (call.kind == TKind::Error || call.kind == TKind::Information ||
                call.kind == TKind::Message || call.kind == TKind::Question)
                dialogs.push_back(call);
        return dialogs;
    }
    int Count(TKind kind) const {
        int count = 0;
        for (const TCall& call : FCalls)
            count += call.kind == kind;
        return count;
    }
    /// ProcessMessages calls so far while `status` was the stage text.
    int DispatchesDuring(const std::string& status) const {
        const auto it = FDispatches.find(status);
        return it == FDispatches.end() ? 0 : it->second;
    }

  private:
    std::map<std::string, int> FDispatches;
};

}  // namespace cep::test
