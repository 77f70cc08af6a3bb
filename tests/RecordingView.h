#pragma once

// A run view for tests: records every call in order, answers the Yes/No
// question with a preset answer and runs a hook at every ProcessMessages, so a
// test can request a cancel at a chosen moment.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "import/RunView.h"

namespace cep::test {

class TRecordingView : public TRunView {
  public:
    enum class Kind {
        Status,
        Remaining,
        ProgressMax,
        ProgressPosition,
        Repaint,
        ProcessMessages,
        Error,        // ShowError
        Information,  // ShowInformation
        Message,      // ShowMessage
        Question,     // AskYesNo
    };

    /// One call: its kind, its text (the message boxes, the question, the two
    /// status texts) or its number (the progress calls).
    struct Call {
        Kind kind;
        std::string text;
        int32_t value = 0;
        bool operator==(const Call&) const = default;
        friend void PrintTo(const Call& call, std::ostream* out) {
            *out << "{kind " << static_cast<int>(call.kind) << ", \"" << call.text << "\", "
                 << call.value << "}";
        }
    };

    /// The answer AskYesNo gives: true for Yes.
    bool answer = false;
    /// Runs at every ProcessMessages, after it has been recorded; the number of
    /// ProcessMessages calls so far, this one included, is passed in.
    std::function<void(int)> onProcessMessages;

    std::vector<Call> calls;

    void SetStatus(const std::string& text) override {
        status_ = text;
        calls.push_back({Kind::Status, text});
    }
    void SetRemaining(const std::string& text) override {
        remaining_ = text;
        calls.push_back({Kind::Remaining, text});
    }
    void SetProgressMax(int32_t maximum) override {
        max_ = maximum;
        calls.push_back({Kind::ProgressMax, {}, maximum});
    }
    int32_t ProgressMax() const override { return max_; }
    void SetProgressPosition(int32_t position) override {
        position_ = position;
        calls.push_back({Kind::ProgressPosition, {}, position});
    }
    int32_t ProgressPosition() const override { return position_; }
    void Repaint() override { calls.push_back({Kind::Repaint, {}}); }
    void ProcessMessages() override {
        calls.push_back({Kind::ProcessMessages, {}});
        ++processed_;
        if (onProcessMessages)
            onProcessMessages(processed_);
    }

    void ShowError(const std::string& text) override { calls.push_back({Kind::Error, text}); }
    void ShowInformation(const std::string& text) override {
        calls.push_back({Kind::Information, text});
    }
    void ShowMessage(const std::string& text) override { calls.push_back({Kind::Message, text}); }
    bool AskYesNo(const std::string& text) override {
        calls.push_back({Kind::Question, text});
        return answer;
    }

    /// The texts of the calls of one kind, in order.
    std::vector<std::string> Texts(Kind kind) const {
        std::vector<std::string> texts;
        for (const Call& call : calls)
            if (call.kind == kind)
                texts.push_back(call.text);
        return texts;
    }
    /// The boxes and questions shown (errors, information, messages,
    /// questions), in order.
    std::vector<Call> Dialogs() const {
        std::vector<Call> dialogs;
        for (const Call& call : calls)
            if (call.kind == Kind::Error || call.kind == Kind::Information ||
                call.kind == Kind::Message || call.kind == Kind::Question)
                dialogs.push_back(call);
        return dialogs;
    }
    int Count(Kind kind) const {
        int count = 0;
        for (const Call& call : calls)
            count += call.kind == kind;
        return count;
    }

    /// What the panel shows now.
    const std::string& Status() const { return status_; }
    const std::string& Remaining() const { return remaining_; }

  private:
    std::string status_;
    std::string remaining_;
    int32_t max_ = 100;
    int32_t position_ = 0;
    int processed_ = 0;
};

}  // namespace cep::test
