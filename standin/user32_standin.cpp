// user32_standin.cpp: the few user32 and comctl32 calls the dialogs make, for Linux.
#include "standin/user32_standin.h"
#include "standin/resources.h"

#include <cstdio>
#include <deque>
#include <map>
#include <memory>

struct StandInWindow {
    StandInWindow* parent = nullptr;
    standin::Control control; // for a control
    std::vector<std::unique_ptr<StandInWindow>> children;
    DLGPROC proc = nullptr;   // for a dialog
    standin::DialogView view; // for a dialog
    bool ended = false;
    INT_PTR result = 0;
    std::map<UINT_PTR, UINT> timers;
    int progressStep = 10;
    bool alive = true;
};

namespace standin {

namespace {

constexpr int kButtonAtom = 0x80;
constexpr int kStaticAtom = 0x82;
constexpr char kProgressClass[] = "msctls_progress32";
constexpr DWORD kDefPushButton = 0x0001; // BS_DEFPUSHBUTTON
// A dialog whose procedure keeps it busy without end would hang the test that runs it;
// a whole run takes fewer than a hundred messages.
constexpr int kMessageLimit = 10000;

struct Posted {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct State {
    FrontEnd* frontEnd = nullptr;
    std::vector<std::string> log;
    int calls = 0;  // calls made
    int failAt = 0; // the call that fails
    std::deque<Posted> queue;
    std::vector<HWND> dialogs; // open dialogs, innermost last
    bool progressClassRegistered = false;
    bool reboot = false;
};

State& S() {
    static State state;
    return state;
}

std::string Quoted(const char* text) {
    if (text == nullptr)
        return "NULL";
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            out += "\\n";
        else if (*p == '"' || *p == '\\')
            out += std::string("\\") + *p;
        else
            out.push_back(*p);
    }
    return out + "\"";
}

std::string Hex(unsigned long v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", v);
    return text;
}

// Windows are named in the log by their template and control identifier.
std::string Name(HWND w) {
    if (w == nullptr)
        return "NULL";
    if (w->parent != nullptr)
        return w->parent->view.templateName + "#" + std::to_string(w->control.id);
    return w->view.templateName;
}

std::string MessageName(UINT m) {
    switch (m) {
    case WM_SETTEXT:
        return "WM_SETTEXT";
    case WM_COMMAND:
        return "WM_COMMAND";
    case WM_TIMER:
        return "WM_TIMER";
    case PBM_SETRANGE:
        return "PBM_SETRANGE";
    case PBM_SETSTEP:
        return "PBM_SETSTEP";
    case PBM_STEPIT:
        return "PBM_STEPIT";
    case PBM_SETPOS:
        return "PBM_SETPOS";
    default:
        return Hex(m);
    }
}

void Log(const std::string& line) {
    S().log.push_back(line);
}

// Counts a call; true for the one that is to fail.
bool Fails() {
    return ++S().calls == S().failAt;
}

// What a failed call that returns FALSE adds to its line.
const char* Failure(bool failed) {
    return failed ? " -> 0" : "";
}

bool Alive(HWND w) {
    for (HWND d : S().dialogs) {
        if (d == w)
            return true;
        for (const auto& c : d->children)
            if (c.get() == w)
                return true;
    }
    return false;
}

std::unique_ptr<StandInWindow> CreateDialogWindow(const std::string& name) {
    const Resource* res = FindResource(BuiltInResources(), "#5", name);
    DialogTemplate t;
    if (res == nullptr || !ParseDialogTemplate(res->data, &t))
        return nullptr;
    auto dialog = std::make_unique<StandInWindow>();
    dialog->view.templateName = name;
    dialog->view.caption = t.caption;
    for (const DialogItem& item : t.items) {
        Control c{static_cast<int>(item.id),
                  item.className,
                  item.text,
                  item.style,
                  item.exStyle,
                  item.x,
                  item.y,
                  item.cx,
                  item.cy};
        if (c.className == "#" + std::to_string(kButtonAtom))
            c.className = "Button";
        else if (c.className == "#" + std::to_string(kStaticAtom))
            c.className = "Static";
        // As on Windows, a control of an unregistered class fails the whole dialog.
        else if (c.className == kProgressClass && !S().progressClassRegistered)
            return nullptr;
        else if (c.className != kProgressClass)
            return nullptr;
        auto child = std::make_unique<StandInWindow>();
        child->parent = dialog.get();
        child->control = c;
        dialog->view.controls.push_back(c);
        dialog->children.push_back(std::move(child));
    }
    return dialog;
}

// What a window makes of a message sent to it; the progress bar answers as comctl32's does.
LRESULT Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Alive(window))
        return 0;
    if (window->parent == nullptr)
        return window->proc ? window->proc(window, message, wParam, lParam) : 0;
    DialogView& view = window->parent->view;
    switch (message) {
    case WM_SETTEXT:
        window->control.text = reinterpret_cast<const char*>(lParam);
        return TRUE;
    case PBM_SETRANGE: {
        LRESULT old = MAKELPARAM(view.progressMin, view.progressMax);
        view.progressMin = static_cast<int>(lParam & 0xFFFF);
        view.progressMax = static_cast<int>((lParam >> 16) & 0xFFFF);
        return old;
    }
    case PBM_SETSTEP: {
        LRESULT old = window->progressStep;
        window->progressStep = static_cast<int>(static_cast<INT_PTR>(wParam));
        return old;
    }
    case PBM_STEPIT: {
        // Past either end the position starts over from the other one.
        int span = view.progressMax - view.progressMin;
        int pos = view.progressPos + window->progressStep;
        if (span > 0 && pos > view.progressMax)
            pos = view.progressMin + (pos - view.progressMax) % span;
        if (span > 0 && pos < view.progressMin)
            pos = view.progressMax - (view.progressMin - pos) % span;
        int old = view.progressPos;
        view.progressPos = pos;
        return old;
    }
    default:
        return 0;
    }
}

void SyncView(HWND dialog) {
    for (std::size_t i = 0; i < dialog->children.size(); ++i)
        dialog->view.controls[i] = dialog->children[i]->control;
}

// What the dialog manager makes of the user's input.
void Deliver(HWND dialog, const UserAction& action) {
    WPARAM command = 0;
    switch (action.input) {
    case Input::Enter: {
        command = IDOK; // no default button: Enter still means IDOK
        for (const Control& c : dialog->view.controls)
            if (c.className == "Button" && (c.style & 0xF) == kDefPushButton)
                command = static_cast<WPARAM>(c.id);
        break;
    }
    case Input::Escape:
    case Input::Close: // WM_CLOSE reaches DefDlgProc, which turns it into IDCANCEL
        command = IDCANCEL;
        break;
    case Input::Button:
        command = static_cast<WPARAM>(action.button); // BN_CLICKED is 0 in the high word
        break;
    case Input::None:
        return;
    }
    dialog->proc(dialog, WM_COMMAND, command, 0);
}

} // namespace

void SetFrontEnd(FrontEnd* frontEnd) {
    S().frontEnd = frontEnd;
}

std::vector<std::string>& CallLog() {
    return S().log;
}

void FailCall(int n) {
    S().failAt = n;
}

int CallsMade() {
    return S().calls;
}

void Reset() {
    FrontEnd* frontEnd = S().frontEnd;
    S() = State();
    S().frontEnd = frontEnd;
}

bool RebootRequested() {
    return S().reboot;
}

HWND ActiveDialog() {
    return S().dialogs.empty() ? nullptr : S().dialogs.back();
}

} // namespace standin

using namespace standin;

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM init) {
    std::string name = templateName;
    std::string call = "DialogBoxParamA(" + Quoted(templateName) + ", " + Name(owner) + ")";
    std::unique_ptr<StandInWindow> dialog = Fails() ? nullptr : CreateDialogWindow(name);
    if (dialog == nullptr) {
        Log(call + " -> -1");
        return -1;
    }
    HWND hwnd = dialog.get();
    hwnd->proc = proc;
    S().dialogs.push_back(hwnd);
    proc(hwnd, WM_INITDIALOG, 0, init);
    SyncView(hwnd);
    // The modal call shows the dialog after WM_INITDIALOG, WS_VISIBLE or not.
    if (!hwnd->ended && S().frontEnd)
        S().frontEnd->Show(hwnd->view);

    // Message priority as GetMessage has it: posted messages, then input, then timers.
    for (int messages = 0; !hwnd->ended; ++messages) {
        if (messages == kMessageLimit) {
            Log(call + ": no end after " + std::to_string(kMessageLimit) + " messages");
            hwnd->result = -1;
            break;
        }
        if (!S().queue.empty()) {
            Posted m = S().queue.front();
            S().queue.pop_front();
            if (Alive(m.window) && m.window->proc)
                m.window->proc(m.window, m.message, m.wParam, m.lParam);
            continue;
        }
        UserAction action = S().frontEnd ? S().frontEnd->Poll(hwnd->view) : UserAction();
        if (action.input == Input::None && !S().queue.empty())
            continue; // posted while the front end looked for input
        if (action.input == Input::None && hwnd->timers.empty())
            action = S().frontEnd ? S().frontEnd->Wait(hwnd->view) : UserAction{Input::Close, 0};
        if (action.input != Input::None) {
            Deliver(hwnd, action);
        } else if (!hwnd->timers.empty()) {
            ++hwnd->view.ticks;
            proc(hwnd, WM_TIMER, hwnd->timers.begin()->first, 0);
        }
        SyncView(hwnd);
        if (!hwnd->ended && S().frontEnd)
            S().frontEnd->Update(hwnd->view);
    }
    if (S().frontEnd)
        S().frontEnd->Hide(hwnd->view);
    S().dialogs.pop_back();
    // Posted messages for a window that is gone are dropped with it.
    std::deque<Posted> keep;
    for (const Posted& m : S().queue)
        if (m.window != hwnd && m.window->parent != hwnd)
            keep.push_back(m);
    S().queue = keep;
    Log(call + " -> " + std::to_string(hwnd->result));
    return hwnd->result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    bool failed = Fails();
    Log("EndDialog(" + Name(dialog) + ", " + std::to_string(result) + ")" + Failure(failed));
    if (failed || !Alive(dialog) || dialog->parent != nullptr)
        return FALSE;
    dialog->ended = true;
    dialog->result = result;
    dialog->timers.clear(); // the timers go with the window
    return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    bool failed = Fails();
    Log("SetWindowTextA(" + Name(window) + ", " + Quoted(text) + ")" + Failure(failed));
    if (failed || !Alive(window))
        return FALSE;
    if (window->parent == nullptr)
        window->view.caption = text;
    else
        window->control.text = text;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    HWND found = nullptr;
    if (!Fails() && Alive(dialog))
        for (const auto& c : dialog->children)
            if (c->control.id == id)
                found = c.get();
    Log("GetDlgItem(" + Name(dialog) + ", " + std::to_string(id) + ") -> " + Name(found));
    return found;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A range is shown as the two numbers it packs, low word first.
    auto shown = [message](LPARAM value) {
        return message == PBM_SETRANGE ? "MAKELPARAM(" + std::to_string(value & 0xFFFF) + ", " +
                                             std::to_string((value >> 16) & 0xFFFF) + ")"
                                       : std::to_string(static_cast<long>(value));
    };
    std::string call =
        "SendMessageA(" + Name(window) + ", " + MessageName(message) + ", " +
        std::to_string(static_cast<long>(static_cast<INT_PTR>(wParam))) + ", " +
        (message == WM_SETTEXT ? Quoted(reinterpret_cast<const char*>(lParam)) : shown(lParam)) +
        ")";
    LRESULT result = Fails() ? 0 : Receive(window, message, wParam, lParam);
    Log(call + " -> " + shown(result));
    return result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    bool failed = Fails();
    Log("PostMessageA(" + Name(window) + ", " + MessageName(message) + ", " +
        std::to_string(wParam) + ", " + std::to_string(static_cast<long>(lParam)) + ")" +
        Failure(failed));
    if (failed || !Alive(window))
        return FALSE;
    S().queue.push_back(Posted{window, message, wParam, lParam});
    return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    bool failed = Fails();
    Log("SetTimer(" + Name(window) + ", " + std::to_string(id) + ", " + std::to_string(elapse) +
        ", " + (proc ? "proc" : "NULL") + ")" + Failure(failed));
    if (failed || !Alive(window))
        return 0;
    window->timers[id] = elapse;
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    bool failed = Fails();
    Log("KillTimer(" + Name(window) + ", " + std::to_string(id) + ")" + Failure(failed));
    return !failed && Alive(window) && window->timers.erase(id) == 1;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    int answer = Fails()        ? 0
                 : S().frontEnd ? S().frontEnd->MessageBox(caption ? caption : "Error", text, type)
                                : IDOK;
    Log("MessageBoxA(" + Name(owner) + ", " + Quoted(text) + ", " + Quoted(caption) + ", " +
        Hex(type) + ") -> " + std::to_string(answer));
    return answer;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    bool failed = Fails();
    Log("ExitWindowsEx(" + std::to_string(flags) + ", " + std::to_string(reason) + ")" +
        Failure(failed));
    S().reboot = S().reboot || !failed;
    return !failed;
}

void InitCommonControls() {
    bool failed = Fails();
    Log(std::string("InitCommonControls()") + Failure(failed));
    S().progressClassRegistered = S().progressClassRegistered || !failed;
}
