// drive_dialogs.cpp: answers QVL7UNIN.EXE's dialogs from outside, for runs under Wine.
//
//   drive_dialogs [--hold MS] ANSWER...
//
// ANSWER: ok or cancel (confirmation dialog), escape (the progress dialog), watch (wait
// for the progress dialog and leave it), yes, no or dismiss (message box). With --hold
// each dialog stays MS milliseconds after it was reported, for a screenshot.
//
// Finds each dialog by its class and a control of its own, prints its texts and buttons,
// checks them, and presses the button the answer names. Exits 0 when every step went as
// expected, 1 on a dialog that did not come (before the program ended, or within the time
// limit), or at once on a wrong title or text: then it ends the program too, which would
// wait for answers until the run's time limit.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kTitle[] = "Ovrik Velostrix R40 Uninstall program";
// Each dialog's time limit, QVL_WAIT_SCALE times as long on a slow machine.
DWORD TimeoutMs() {
    const char* scale = std::getenv("QVL_WAIT_SCALE");
    unsigned long times = scale != nullptr ? std::strtoul(scale, nullptr, 10) : 1;
    return 20000 * static_cast<DWORD>(times > 0 && times <= 100 ? times : 1);
}

std::string Text(HWND window) {
    char buffer[1024] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

// A wrong title or text ends the program and this driver at once.
void Expect(HWND dialog, const std::string& seen, const char* expected, const char* what) {
    if (seen == expected)
        return;
    std::printf("FAIL: %s\nseen:\n\"%s\"\nexpected:\n\"%s\"\n", what, seen.c_str(), expected);
    std::fflush(stdout);
    DWORD program = 0;
    GetWindowThreadProcessId(dialog, &program);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, program);
    if (process)
        TerminateProcess(process, 1);
    std::exit(1);
}

struct Search {
    int controlId; // a control the window must have
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") == 0 && GetDlgItem(window, s->controlId)) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// With QVL_DRIVE_UNTIL, a file that appears when the program has ended, a dialog is
// waited for as long as the program runs, however slow the machine; else for TimeoutMs.
HWND WaitFor(int controlId, const char* what) {
    DWORD start = GetTickCount();
    const char* until = std::getenv("QVL_DRIVE_UNTIL");
    while (until || GetTickCount() - start < TimeoutMs()) {
        bool ended = until && GetFileAttributesA(until) != INVALID_FILE_ATTRIBUTES;
        Search s{controlId, nullptr};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
        if (s.found && IsWindowVisible(s.found)) {
            Expect(s.found, Text(s.found), kTitle, "the dialog's title");
            return s.found;
        }
        if (ended) {
            std::printf("FAIL: no %s: the program ended first\n", what);
            return nullptr;
        }
        // The progress phase lasts 71 timer periods, well under a second: poll often
        // enough to press Escape inside it, and seldom enough that a machine busy with
        // other work does not spend it on the polls (each asks the wineserver).
        Sleep(20);
    }
    std::printf("FAIL: no %s within %lu ms\n", what, TimeoutMs());
    return nullptr;
}

DWORD g_holdMs = 0;

// Reports that a dialog is on screen, then leaves it there for the hold time.
void Shown() {
    std::fflush(stdout);
    if (g_holdMs)
        Sleep(g_holdMs);
}

void Press(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--hold") == 0) {
        g_holdMs = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
        first = 3;
    }
    // A program's windows under Wine need the desktop's display driver, which explorer.exe
    // sets up and Wine waits for 10 s only (slower, no window can be made): asked, the
    // driver waits for it as long as it takes and then makes the file named, so that the
    // program starts after it.
    if (const char* ready = std::getenv("QVL_DRIVE_READY")) {
        while (!GetPropA(GetDesktopWindow(), "__wine_display_device_guid"))
            Sleep(100);
        CloseHandle(CreateFileA(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    for (int i = first; i < argc; ++i) {
        std::string answer = argv[i];
        if (answer == "ok" || answer == "cancel") {
            HWND d = WaitFor(1000, "confirmation dialog");
            if (!d)
                return 1;
            std::printf("dialog \"%s\": \"%s\" [%s] [%s]\n", Text(d).c_str(),
                        Text(GetDlgItem(d, 1000)).c_str(), Text(GetDlgItem(d, IDOK)).c_str(),
                        Text(GetDlgItem(d, IDCANCEL)).c_str());
            Expect(d, Text(GetDlgItem(d, 1000)),
                   "Welcome to your printer driver uninstall program.\nClick the OK button to "
                   "start the uninstall procedure now.\nClick the CANCEL button to quit the "
                   "uninstall program.",
                   "the welcome text");
            Shown();
            Press(d, answer == "ok" ? IDOK : IDCANCEL);
        } else if (answer == "escape" || answer == "watch") {
            HWND d = WaitFor(1008, "progress dialog");
            if (!d)
                return 1;
            std::printf("dialog \"%s\": \"%s\"\n", Text(d).c_str(),
                        Text(GetDlgItem(d, 1007)).c_str());
            std::fflush(stdout);
            if (answer == "watch")
                continue;
            // A real key: the modal loop's IsDialogMessage turns Escape into command 2.
            PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 1);
            PostMessageA(d, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        } else if (answer == "yes" || answer == "no" || answer == "dismiss") {
            int button = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
            // A message box's text is the static control 0xFFFF.
            HWND box = WaitFor(0xFFFF, "message box");
            if (!box || !GetDlgItem(box, button)) {
                std::printf("FAIL: the message box has no button %d\n", button);
                return 1;
            }
            std::printf("box \"%s\": \"%s\"\n", Text(box).c_str(),
                        Text(GetDlgItem(box, 0xFFFF)).c_str());
            Shown();
            Press(box, button);
        } else {
            std::printf("unknown answer %s\n", answer.c_str());
            return 2;
        }
    }
    std::printf("PASS\n");
    return 0;
}
