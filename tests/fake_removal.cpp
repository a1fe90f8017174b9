// fake_removal.cpp: a removal that only records that it ran, for the dialog tests.
#include "standin/user32_standin.h"
#include "removal/removal.h"

namespace qvl {

bool g_postTimerDuringRemoval = false;

void RunRemoval() {
    standin::CallLog().push_back("RunRemoval()");
    // Another program's timer message, arriving while the removal runs.
    if (g_postTimerDuringRemoval)
        PostMessageA(standin::ActiveDialog(), WM_TIMER, 99, 0);
}

} // namespace qvl
