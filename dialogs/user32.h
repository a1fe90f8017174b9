// user32.h: the window-system calls the dialogs make: real user32 and comctl32 on
// Windows, the stand-in of standin/ on Linux.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#else
#include "standin/user32_standin.h"
#endif
