// program.h: the program's entry point, its two dialogs and the restart prompt.
#pragma once

#include "dialogs/user32.h"

extern const char WindowTitle[];
extern const char WelcomeText[];
extern const char NotRemovedText[];
extern const char StatusText[];
extern const char RestartText[];

// Exit code when a dialog could not be created and nothing was removed; an ordinary run
// ends with the last dialog's result, 2.
constexpr int kExitNoDialog = 1;

// The progress bar runs backwards, from full to empty: its steps take it once round its
// range, so it stands at its start again when the removal runs, on the tick after the
// last step (g_nTicks starts at 1 and counts a tick before looking at it).
constexpr int kProgressSteps = 70;
constexpr int kProgressStep = -2;
constexpr int kProgressMax = kProgressSteps * -kProgressStep;
constexpr int kRemovalTick = kProgressSteps + 2;

extern HINSTANCE g_hInstance;
extern int g_bConfirmed;   // the user chose OK in the confirmation dialog
extern HWND g_hProgress;   // the progress bar
extern int g_nTicks;       // progress ticks, from 1
extern int g_bRemovalDone; // RunRemoval has returned

INT_PTR CALLBACK WelcomeDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UninstallDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PromptForRestart(HWND owner, const char* text);

// The body of WinMain, callable on Linux as well.
int RunProgram(HINSTANCE hInstance);
