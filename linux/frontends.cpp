// frontends.cpp: the two front ends of the Linux stand-in: a terminal and a script.
#include "linux/frontends.h"

#include <algorithm>
#include <cstdlib>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace standin {

namespace {

constexpr unsigned kWidth = 72; // inside the frame
constexpr int kTickMs = 25;     // a Windows 9x timer tick is 55 ms; a little quicker here

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return out;
        start = end + 1;
    }
}

// Breaks a line at blanks to fit the frame, as a static control wraps its text.
std::vector<std::string> Wrap(const std::string& text, unsigned width) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(text)) {
        std::string rest = line;
        while (rest.size() > width) {
            std::size_t cut = rest.rfind(' ', width);
            if (cut == std::string::npos || cut == 0)
                cut = width;
            out.push_back(rest.substr(0, cut));
            rest = rest.substr(cut == width ? cut : cut + 1);
        }
        out.push_back(rest);
    }
    return out;
}

std::string Row(const std::string& text) {
    std::string padded = "  " + text;
    padded.resize(kWidth, ' ');
    return "|" + padded + "|\n";
}

std::string Top(const std::string& caption) {
    std::string top = "+-- " + caption + " ";
    top.resize(kWidth + 1, '-');
    return top + "+\n";
}

std::string Bottom() {
    return "+" + std::string(kWidth, '-') + "+\n";
}

std::string Buttons(const std::vector<std::string>& labels) {
    std::string row;
    for (const std::string& label : labels)
        row += "[ " + label + " ]      ";
    std::string centred(std::max<int>(0, static_cast<int>(kWidth - row.size()) / 2), ' ');
    return Row(centred + row);
}

bool HasProgress(const DialogView& dialog) {
    for (const Control& c : dialog.controls)
        if (c.className == "msctls_progress32")
            return true;
    return false;
}

} // namespace

std::string RenderProgress(const DialogView& dialog) {
    const int cells = 50;
    int span = std::max(1, dialog.progressMax - dialog.progressMin);
    int filled = (dialog.progressPos - dialog.progressMin) * cells / span;
    filled = std::max(0, std::min(cells, filled));
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(cells - filled), '.') + "]";
}

std::string RenderDialog(const DialogView& dialog) {
    std::string out = Top(dialog.caption) + Row("");
    std::vector<std::string> buttons;
    for (const Control& c : dialog.controls) {
        if (c.className == "Static") {
            for (const std::string& line : Wrap(c.text, kWidth - 4))
                out += Row(line);
            out += Row("");
        } else if (c.className == "Button") {
            buttons.push_back(c.text == "OK" ? "OK" : c.text);
        } else if (c.className == "msctls_progress32") {
            out += Row(RenderProgress(dialog));
            out += Row("");
        }
    }
    if (!buttons.empty())
        out += Buttons(buttons) + Row("");
    return out + Bottom();
}

std::string RenderMessageBox(const std::string& caption, const std::string& text, UINT type) {
    std::string out = Top(caption) + Row("");
    if ((type & 0xF0) == MB_ICONEXCLAMATION)
        out += Row("/!\\");
    for (const std::string& line : Wrap(text, kWidth - 4))
        out += Row(line);
    out += Row("");
    out += (type & 0xF) == MB_YESNO ? Buttons({"Yes", "No"}) : Buttons({"OK"});
    return out + Bottom();
}

// Scripted.

ScriptedFrontEnd::ScriptedFrontEnd(const std::string& answers, std::FILE* echo) : echo_(echo) {
    std::size_t start = 0;
    while (start <= answers.size() && !answers.empty()) {
        std::size_t end = answers.find(',', start);
        answers_.push_back(answers.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

bool ScriptedFrontEnd::Valid(const std::string& answers, std::string* bad) {
    ScriptedFrontEnd f(answers);
    for (const std::string& a : f.answers_) {
        std::string word = a.substr(0, a.find('@'));
        bool known = word == "ok" || word == "cancel" || word == "yes" || word == "no" ||
                     word == "enter" || word == "escape" || word == "close";
        bool tickOk = a.find('@') == std::string::npos ||
                      (a.size() > a.find('@') + 1 &&
                       a.find_first_not_of("0123456789", a.find('@') + 1) == std::string::npos);
        if (!known || !tickOk) {
            *bad = a;
            return false;
        }
    }
    return true;
}

void ScriptedFrontEnd::Show(const DialogView& dialog) {
    if (echo_)
        std::fprintf(echo_, "%s", RenderDialog(dialog).c_str());
}

void ScriptedFrontEnd::Hide(const DialogView& dialog) {
    if (HasProgress(dialog) && next_ < answers_.size() &&
        answers_[next_].find('@') != std::string::npos) {
        if (echo_)
            std::fprintf(echo_, "(%s: the dialog had closed)\n", answers_[next_].c_str());
        ++next_;
    }
}

UserAction ScriptedFrontEnd::Poll(const DialogView& dialog) {
    if (!HasProgress(dialog) || next_ >= answers_.size())
        return UserAction();
    const std::string& a = answers_[next_];
    std::string word = a.substr(0, a.find('@'));
    int tick = a.find('@') == std::string::npos ? 0 : std::atoi(a.c_str() + a.find('@') + 1);
    if ((word != "cancel" && word != "escape" && word != "close") || dialog.ticks < tick)
        return UserAction();
    ++next_;
    if (echo_)
        std::fprintf(echo_, "(%s)\n", a.c_str());
    return UserAction{word == "close" ? Input::Close : Input::Escape, 0};
}

UserAction ScriptedFrontEnd::Wait(const DialogView&) {
    if (next_ >= answers_.size())
        return UserAction{Input::Close, 0};
    std::string a = answers_[next_++];
    if (echo_)
        std::fprintf(echo_, "(%s)\n", a.c_str());
    if (a == "ok")
        return UserAction{Input::Button, IDOK};
    if (a == "cancel")
        return UserAction{Input::Button, IDCANCEL};
    if (a == "enter")
        return UserAction{Input::Enter, 0};
    if (a == "escape")
        return UserAction{Input::Escape, 0};
    return UserAction{Input::Close, 0};
}

int ScriptedFrontEnd::MessageBox(const std::string& caption, const std::string& text, UINT type) {
    if (echo_)
        std::fprintf(echo_, "%s", RenderMessageBox(caption, text, type).c_str());
    std::string a = next_ < answers_.size() ? answers_[next_] : "";
    int answer;
    if ((type & 0xF) == MB_YESNO) {
        answer = a == "yes" ? IDYES : IDNO;
        if (a == "yes" || a == "no")
            ++next_;
    } else {
        answer = IDOK;
        if (a == "ok")
            ++next_;
    }
    if (echo_)
        std::fprintf(echo_, "(%s)\n", answer == IDYES ? "yes" : answer == IDNO ? "no" : "ok");
    return answer;
}

std::vector<std::string> ScriptedFrontEnd::Left() const {
    return std::vector<std::string>(answers_.begin() + static_cast<long>(next_), answers_.end());
}

// Terminal.

namespace {

termios g_saved;
bool g_savedValid = false;

void RestoreTerminal() {
    if (g_savedValid)
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
}

} // namespace

bool TerminalFrontEnd::Available() {
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

TerminalFrontEnd::TerminalFrontEnd() {
    if (tcgetattr(STDIN_FILENO, &g_saved) == 0) {
        g_savedValid = true;
        std::atexit(RestoreTerminal);
        termios raw = g_saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
}

TerminalFrontEnd::~TerminalFrontEnd() {
    RestoreTerminal();
}

// A key, or -1 when none came within timeoutMs (-1: wait for ever). An escape sequence
// (an arrow key) is read whole and reported as 0.
int TerminalFrontEnd::ReadKey(int timeoutMs) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return -1;
    unsigned char c = 0;
    if (read(STDIN_FILENO, &c, 1) != 1)
        return 'x'; // end of input: as the close box
    if (c == 0x1B) {
        pollfd more{STDIN_FILENO, POLLIN, 0};
        bool sequence = false;
        while (poll(&more, 1, 15) > 0) {
            unsigned char skip;
            if (read(STDIN_FILENO, &skip, 1) != 1)
                break;
            sequence = true;
        }
        return sequence ? 0 : 0x1B;
    }
    return c;
}

void TerminalFrontEnd::Show(const DialogView& dialog) {
    std::fputs(("\n" + RenderDialog(dialog)).c_str(), stdout);
    if (HasProgress(dialog))
        std::fputs("  Esc: cancel\n", stdout);
    else
        std::fputs("  Enter or o: OK    Esc or c: Cancel    x: close box\n", stdout);
    std::fflush(stdout);
}

void TerminalFrontEnd::Update(const DialogView& dialog) {
    if (HasProgress(dialog)) {
        std::printf("\r  %s %3d/%d", RenderProgress(dialog).c_str(), dialog.progressPos,
                    dialog.progressMax);
        std::fflush(stdout);
    }
}

void TerminalFrontEnd::Hide(const DialogView& dialog) {
    if (HasProgress(dialog))
        std::fputs("\n", stdout);
}

UserAction TerminalFrontEnd::Poll(const DialogView& dialog) {
    if (!HasProgress(dialog))
        return UserAction();
    int key = ReadKey(kTickMs); // also paces the ticks
    if (key == 0x1B)
        return UserAction{Input::Escape, 0};
    if (key == 'x')
        return UserAction{Input::Close, 0};
    return UserAction();
}

UserAction TerminalFrontEnd::Wait(const DialogView&) {
    for (;;) {
        int key = ReadKey(-1);
        switch (key) {
        case '\n':
        case '\r':
            return UserAction{Input::Enter, 0};
        case 'o':
        case 'O':
            return UserAction{Input::Button, IDOK};
        case 'c':
        case 'C':
            return UserAction{Input::Button, IDCANCEL};
        case 0x1B:
            return UserAction{Input::Escape, 0};
        case 'x':
        case 'X':
            return UserAction{Input::Close, 0};
        default:
            break;
        }
    }
}

int TerminalFrontEnd::MessageBox(const std::string& caption, const std::string& text, UINT type) {
    bool yesNo = (type & 0xF) == MB_YESNO;
    std::fputs(("\n" + RenderMessageBox(caption, text, type)).c_str(), stdout);
    std::fputs(yesNo ? "  Enter or y: Yes    n: No\n" : "  Enter: OK\n", stdout);
    std::fflush(stdout);
    for (;;) {
        int key = ReadKey(-1);
        if (key == '\n' || key == '\r' || key == 'x')
            return yesNo ? (key == 'x' ? IDNO : IDYES) : IDOK;
        if (yesNo && (key == 'y' || key == 'Y'))
            return IDYES;
        if (yesNo && (key == 'n' || key == 'N'))
            return IDNO;
        if (!yesNo && key == 0x1B)
            return IDOK;
    }
}

} // namespace standin
