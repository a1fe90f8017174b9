// program.cpp: the confirmation dialog, the progress dialog and the restart prompt.
#include "dialogs/program.h"
#include "dialogs/resource.h"
#include "removal/removal.h"

const char WindowTitle[] = "Ovrik Velostrix R40 Uninstall program";
const char WelcomeText[] = "Welcome to your printer driver uninstall program.\n"
                           "Click the OK button to start the uninstall procedure now.\n"
                           "Click the CANCEL button to quit the uninstall program.";
const char NotRemovedText[] = "Your printer driver has not been uninstalled.";
const char StatusText[] = "The printer driver is currently being uninstalled...";
const char RestartText[] =
    "The printer driver has been correctly uninstalled. You must restart your "
    "computer to finish the uninstall procedure.\n\n"
    "Click the YES button to reboot now.\n\n"
    "Choose NO if you want to continue working.\n"
    "The uninstallation will not be effective until you restart Windows.";

HINSTANCE g_hInstance;
// Starts at 0: a confirmation dialog that never appeared has not confirmed anything.
int g_bConfirmed = 0;
HWND g_hProgress;
int g_nTicks;
int g_bRemovalDone = 0;

namespace {

constexpr UINT kRestartPromptStyle = MB_YESNO | MB_ICONEXCLAMATION | MB_SYSTEMMODAL; // 0x1034

void ShowNotRemoved(HWND owner) {
    MessageBoxA(owner, NotRemovedText, WindowTitle, MB_OK);
}

// Confirmation dialog.

BOOL OnWelcomeInit(HWND hwnd) {
    SetWindowTextA(hwnd, WindowTitle);
    // The result is not looked at: what a static control answers to WM_SETTEXT is not
    // something to stake the whole run on under Windows 95's 16-bit controls.
    SendMessageA(GetDlgItem(hwnd, IDC_WELCOME_TEXT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(WelcomeText));
    return TRUE; // the focus goes to the first tab stop, OK
}

void OnWelcomeOk(HWND hwnd) {
    EndDialog(hwnd, IDOK);
    g_bConfirmed = 1;
}

void OnWelcomeCancel(HWND hwnd) {
    EndDialog(hwnd, IDCANCEL);
    ShowNotRemoved(hwnd);
    g_bConfirmed = 0;
}

// Progress dialog.

// The dialog has no timer and posts its ticks to itself.
bool g_bPostTicks;

// The dialog has no button: a message it cannot post to itself would leave it waiting
// for ever, so it ends at once instead, as on Escape (before the removal the user is
// told that nothing was removed; after it the restart prompt follows).
void Post(HWND hwnd, UINT message, WPARAM wParam) {
    if (!PostMessageA(hwnd, message, wParam, 0))
        EndDialog(hwnd, IDCANCEL);
}

BOOL OnUninstallInit(HWND hwnd) {
    InitCommonControls();
    SetWindowTextA(hwnd, WindowTitle);
    SendMessageA(GetDlgItem(hwnd, IDC_STATUS_TEXT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(StatusText));
    g_hProgress = GetDlgItem(hwnd, IDC_PROGRESS);
    SendMessageA(g_hProgress, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
    SendMessageA(g_hProgress, PBM_SETSTEP, static_cast<WPARAM>(kProgressStep), 0);
    g_nTicks = 1;
    // Windows 9x has few timers, shared by all programs. Without one the user, who has
    // chosen OK, still gets the removal: the ticks are posted, each by the one before, and
    // the bar runs through at once.
    g_bPostTicks = SetTimer(hwnd, IDT_PROGRESS, 1, nullptr) == 0;
    if (g_bPostTicks)
        Post(hwnd, WM_TIMER, IDT_PROGRESS);
    return FALSE;
}

// Any timer counts as a tick. The removal runs inside the tick that reaches
// kRemovalTick, with the timer stopped first so that no tick follows it; the dialog
// closes on the command posted afterwards, once this handler has returned.
void OnUninstallTimer(HWND hwnd) {
    // A timer message that was already on its way when the removal ran (posted by
    // anyone, with any identifier) must not start it a second time.
    if (g_bRemovalDone)
        return;
    ++g_nTicks;
    if (g_nTicks < kRemovalTick) {
        SendMessageA(g_hProgress, PBM_STEPIT, 0, 0);
        if (g_bPostTicks)
            Post(hwnd, WM_TIMER, IDT_PROGRESS);
        return;
    }
    KillTimer(hwnd, IDT_PROGRESS);
    qvl::RunRemoval();
    g_bRemovalDone = 1;
    Post(hwnd, WM_COMMAND, IDCANCEL);
}

void OnUninstallCommand(HWND hwnd, WPARAM wParam) {
    if (wParam == IDCANCEL)
        EndDialog(hwnd, IDCANCEL);
}

} // namespace

INT_PTR CALLBACK WelcomeDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnWelcomeInit(hwnd);
    case WM_COMMAND:
        // wParam is compared whole: a click and the dialog manager's keys give exactly
        // 1 or 2.
        if (wParam == IDOK)
            OnWelcomeOk(hwnd);
        else if (wParam == IDCANCEL)
            OnWelcomeCancel(hwnd);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK UninstallDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnUninstallInit(hwnd);
    case WM_TIMER:
        OnUninstallTimer(hwnd);
        return TRUE;
    case WM_COMMAND:
        OnUninstallCommand(hwnd, wParam);
        return TRUE;
    default:
        return FALSE;
    }
}

void PromptForRestart(HWND owner, const char* text) {
    if (MessageBoxA(owner, text, WindowTitle, kRestartPromptStyle) == IDYES)
        ExitWindowsEx(EWX_REBOOT, 0);
}

int RunProgram(HINSTANCE hInstance) {
    g_hInstance = hInstance;
    INT_PTR result = DialogBoxParamA(hInstance, "WELCOME", nullptr, WelcomeDlgProc, 0);
    if (result == -1) {
        // The confirmation dialog never appeared: nothing may be removed.
        ShowNotRemoved(nullptr);
        return kExitNoDialog;
    }
    if (g_bConfirmed != 1 || result == 0)
        return static_cast<int>(result);

    // The progress bar's class must exist before the dialog's controls are made.
    InitCommonControls();
    result = DialogBoxParamA(hInstance, "UNINSTALL", nullptr, UninstallDlgProc, 0);
    if (result == -1) {
        ShowNotRemoved(nullptr);
        return kExitNoDialog;
    }
    // The dialog also ends on Escape or its close box; before the removal ran, that
    // leaves the driver in place and says so.
    if (!g_bRemovalDone) {
        ShowNotRemoved(nullptr);
        return static_cast<int>(result);
    }
    if (result != 0)
        PromptForRestart(nullptr, RestartText);
    return static_cast<int>(result);
}
