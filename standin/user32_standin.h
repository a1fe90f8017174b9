// user32_standin.h: the few user32 and comctl32 calls the dialogs make, for Linux.
//
// Not a toolkit: a modal dialog loop with a message queue, timers, posted messages,
// EndDialog, the dialog manager's Enter, Escape and close box, message boxes and a
// progress bar's position. What the user sees and does is left to a front end
// (terminal or scripted); every call is recorded with its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define CALLBACK
#define WINAPI

struct StandInWindow;
using HWND = StandInWindow*;
using HINSTANCE = void*;
using UINT = unsigned int;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using DWORD = std::uint32_t;
using LPCSTR = const char*;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT EWX_REBOOT = 0x0002;

constexpr LPARAM MAKELPARAM(unsigned low, unsigned high) {
    return static_cast<LPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc,
                        LPARAM init);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL SetWindowTextA(HWND window, LPCSTR text);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL ExitWindowsEx(UINT flags, DWORD reason);
void InitCommonControls();

namespace standin {

// A control or dialog as the front end sees it.
struct Control {
    int id;
    std::string className; // "Button", "Static", "msctls_progress32"
    std::string text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

struct DialogView {
    std::string templateName;
    std::string caption;
    std::vector<Control> controls;
    int progressMin = 0, progressMax = 100, progressPos = 0;
    int ticks = 0; // WM_TIMER messages delivered so far
};

// What the user did.
enum class Input { None, Enter, Escape, Close, Button };
struct UserAction {
    Input input = Input::None;
    int button = 0; // with Input::Button: the control identifier clicked
};

class FrontEnd {
  public:
    // The dialog has been initialised and is shown.
    virtual void Show(const DialogView& dialog) = 0;
    // The dialog changed (text, progress) while it runs.
    virtual void Update(const DialogView& dialog) = 0;
    virtual void Hide(const DialogView& dialog) = 0;
    // Input that has arrived, without waiting; Input::None when there is none.
    virtual UserAction Poll(const DialogView& dialog) = 0;
    // Waits for the user; the dialog has nothing else to do.
    virtual UserAction Wait(const DialogView& dialog) = 0;
    // A message box; returns the button chosen (IDOK, IDYES, IDNO...).
    virtual int MessageBox(const std::string& caption, const std::string& text, UINT type) = 0;
    virtual ~FrontEnd() = default;
};

// The front end, the templates ("WELCOME" and "UNINSTALL", from the compiled resources)
// and the record of calls.
void SetFrontEnd(FrontEnd* frontEnd);
std::vector<std::string>& CallLog();
// For tests: the n-th call above (from 1, since Reset) fails, once, as Windows reports a
// failure: DialogBoxParamA -1 with no dialog made, GetDlgItem NULL, MessageBoxA 0 with no
// box shown, SendMessageA 0 with no effect, InitCommonControls no class registered, and
// the others FALSE (logged "-> 0") with no effect.
void FailCall(int n);
int CallsMade();
// Forgets windows, classes, calls, failures and the log, as at the start of a process.
void Reset();
bool RebootRequested();
// The innermost dialog that is running, or null.
HWND ActiveDialog();

} // namespace standin
