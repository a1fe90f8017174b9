// fake_removal.cpp: a removal that only records that it ran, for the dialog tests.
#include "dialogs/unix/user32_standin.h"
#include "removal/removal.h"

namespace qvl {

void RunRemoval() {
    standin::CallLog().push_back("RunRemoval()");
}

} // namespace qvl
