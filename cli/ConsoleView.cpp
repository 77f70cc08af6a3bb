#include "cli/ConsoleView.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "common/AnsiText.h"

#ifndef _WIN32
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace cep {

namespace {

constexpr int kBarWidth = 30;
constexpr int kMinBarWidth = 10;
constexpr int kDefaultColumns = 80;

// The first `columns` characters of a UTF-8 text.
std::string FirstColumns(const std::string& utf8, int columns) {
    std::size_t end = 0;
    for (int seen = 0; end < utf8.size(); ++end) {
        if ((static_cast<unsigned char>(utf8[end]) & 0xC0) != 0x80 && seen++ == columns)
            break;
    }
    return utf8.substr(0, end);
}

}  // namespace

int Utf8Columns(const std::string& utf8) {
    return static_cast<int>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

int TerminalColumns(int fd) {
#ifndef _WIN32
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#else
    (void)fd;
#endif
    return kDefaultColumns;
}

TConsoleView::TConsoleView(std::ostream& out, std::istream& in, bool interactive,
                           std::optional<bool> answer, TWidth width)
    : FOut(out), FIn(in), FInteractive(interactive), FAnswer(answer), FWidth(std::move(width)) {}

std::string TConsoleView::ProgressLine(int columns) const {
    const int room = std::max(columns - 1, 1);
    std::string status = DisplayUtf8(Status());
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", Percent());
    // A stage that shows no estimate of its own shows none of another's.
    const std::string remaining =
        RemainingSetByStage() && !Remaining().empty() ? " " + DisplayUtf8(Remaining()) : "";
    const int fixed = Utf8Columns(status) + 4 + Utf8Columns(remaining);

    // A shorter bar first, then none, then a shorter stage text.
    int bar = kBarWidth;
    while (bar > kMinBarWidth && fixed + bar + 4 > room)
        --bar;
    if (fixed + bar + 4 > room)
        bar = 0;
    const int barColumns = bar > 0 ? bar + 4 : 1;  // " [" bar "] ", or one blank
    const int statusRoom = room - barColumns - 4 - Utf8Columns(remaining);
    if (Utf8Columns(status) > statusRoom)
        status = statusRoom > 3 ? FirstColumns(status, statusRoom - 3) + "..."
                                : FirstColumns(status, std::max(statusRoom, 0));

    std::string line = status;
    if (bar > 0) {
        const int filled = Percent() * bar / 100;
        line += " [" + std::string(filled, '#') + std::string(bar - filled, '-') + "] ";
    } else {
        line += ' ';
    }
    line += percent + remaining;
    return FirstColumns(line, room);
}

void TConsoleView::Repaint() {
    if (Status().empty())
        return;
    if (Status() != FShownStatus) {
        FShownStatus = Status();
        FLastPercentShown = -1;
        if (!FInteractive) {
            FOut << DisplayUtf8(Status()) << '\n' << std::flush;
            return;
        }
        Draw();
        return;
    }
    if (FInteractive) {
        if (std::chrono::steady_clock::now() - FLastDraw < std::chrono::milliseconds(100))
            return;
        Draw();
        return;
    }
    const int percent = Percent() / 5 * 5;
    if (percent != FLastPercentShown && ProgressPosition() > 0) {
        FLastPercentShown = percent;
        char line[16];
        std::snprintf(line, sizeof line, "  %3d%% ", percent);
        FOut << line << DisplayUtf8(RemainingSetByStage() ? Remaining() : "") << '\n' << std::flush;
    }
}

void TConsoleView::Draw() {
    FLastDraw = std::chrono::steady_clock::now();
    FOut << "\r\033[K" << ProgressLine(FWidth ? FWidth() : kDefaultColumns) << std::flush;
    FLineOpen = true;
}

void TConsoleView::Finish() {
    if (FLineOpen)
        FOut << '\n';
    FLineOpen = false;
    FOut << std::flush;
}

void TConsoleView::Message(const char* kind, const std::string& text, const std::string& detail) {
    Finish();
    FOut << kind << DisplayUtf8(text) << '\n';
    if (!detail.empty())
        FOut << "  " << DisplayUtf8(detail) << '\n';
    FOut << std::flush;
}

void TConsoleView::ShowError(const std::string& text, const std::string& detail) {
    Message("Erro: ", text, detail);
}
void TConsoleView::ShowInformation(const std::string& text) {
    Message("", text, {});
}
void TConsoleView::ShowMessage(const std::string& text, const std::string& detail) {
    Message("", text, detail);
}

bool TConsoleView::AskYesNo(const std::string& text) {
    Finish();
    if (FAnswer) {
        FOut << DisplayUtf8(text) << ' ' << (*FAnswer ? "Sim" : "N\xC3\xA3o") << '\n' << std::flush;
        return *FAnswer;
    }
    if (!FInteractive) {
        FOut << DisplayUtf8(text) << " N\xC3\xA3o\n" << std::flush;
        return false;
    }
    FOut << DisplayUtf8(text) << " [s/N] " << std::flush;
    std::string reply;
    if (!std::getline(FIn, reply))
        return false;
    return !reply.empty() &&
           (reply[0] == 's' || reply[0] == 'S' || reply[0] == 'y' || reply[0] == 'Y');
}

}  // namespace cep
