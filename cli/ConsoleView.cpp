#include "cli/ConsoleView.h"

#include <algorithm>
#include <iostream>

#include "import/AnsiText.h"

namespace cep {

std::string ConsoleText(const std::string& text) {
    std::string utf8 = Win1252ToUtf8(text);
    std::replace(utf8.begin(), utf8.end(), '\r', '\n');
    return utf8;
}

TConsoleView::TConsoleView(std::FILE* out, bool interactive, std::optional<bool> answer)
    : out_(out), interactive_(interactive), answer_(answer) {}

int TConsoleView::Percent() const {
    if (max_ <= 0)
        return 0;
    return static_cast<int>(std::min<int64_t>(100, int64_t(position_) * 100 / max_));
}

void TConsoleView::SetStatus(const std::string& text) {
    if (text == status_)
        return;
    status_ = text;
    lastPercentShown_ = -1;
    if (text.empty())
        return;
    if (interactive_) {
        Draw();
    } else {
        std::fprintf(out_, "%s\n", ConsoleText(text).c_str());
        std::fflush(out_);
    }
}

void TConsoleView::SetRemaining(const std::string& text) {
    remaining_ = text;
}

void TConsoleView::Repaint() {
    const auto now = std::chrono::steady_clock::now();
    if (interactive_) {
        if (now - lastDraw_ < std::chrono::milliseconds(100))
            return;
        lastDraw_ = now;
        Draw();
        return;
    }
    if (status_.empty())
        return;
    const int percent = Percent() / 5 * 5;
    if (percent != lastPercentShown_ && position_ > 0) {
        lastPercentShown_ = percent;
        std::fprintf(out_, "  %3d%% %s\n", percent, ConsoleText(remaining_).c_str());
        std::fflush(out_);
    }
}

void TConsoleView::Draw() {
    if (status_.empty())
        return;
    constexpr int kWidth = 30;
    const int filled = Percent() * kWidth / 100;
    const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '-');
    std::fprintf(out_, "\r\033[K%s [%s] %3d%% %s", ConsoleText(status_).c_str(), bar.c_str(),
                 Percent(), ConsoleText(remaining_).c_str());
    std::fflush(out_);
    lineOpen_ = true;
}

void TConsoleView::Finish() {
    if (lineOpen_)
        std::fputc('\n', out_);
    lineOpen_ = false;
    std::fflush(out_);
}

void TConsoleView::Message(const char* kind, const std::string& text) {
    Finish();
    std::fprintf(out_, "%s%s\n", kind, ConsoleText(text).c_str());
    std::fflush(out_);
}

void TConsoleView::ShowError(const std::string& text) {
    Message("Erro: ", text);
}
void TConsoleView::ShowInformation(const std::string& text) {
    Message("", text);
}
void TConsoleView::ShowMessage(const std::string& text) {
    Message("", text);
}

bool TConsoleView::AskYesNo(const std::string& text) {
    Finish();
    if (answer_) {
        std::fprintf(out_, "%s %s\n", ConsoleText(text).c_str(), *answer_ ? "Sim" : "N\xC3\xA3o");
        return *answer_;
    }
    if (!interactive_) {
        std::fprintf(out_, "%s N\xC3\xA3o\n", ConsoleText(text).c_str());
        return false;
    }
    std::fprintf(out_, "%s [s/N] ", ConsoleText(text).c_str());
    std::fflush(out_);
    std::string reply;
    if (!std::getline(std::cin, reply))
        return false;
    return !reply.empty() &&
           (reply[0] == 's' || reply[0] == 'S' || reply[0] == 'y' || reply[0] == 'Y');
}

}  // namespace cep
