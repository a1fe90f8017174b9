// system_files.h: the driver's system files, and the lines that defer the ones in use.
#pragma once

#include "removal/removal.h"
#include "removal/text.h"

namespace qvl {

inline constexpr NameRow kSystemFileTable[] = {
    "QVL732.DLL",
    "QVL7CT.DLL",
    "QVL7HLP.HLP",
    "QVL7HLP.GID",
    "QVL7HLP1.HLP",
    "QVL7HLP1.GID",
    "QVL7TRB.HLP",
    "QVL7TRB.GID",
    "QVL7JNLI.DLL",
    "QVL7JP.DRV",
    "QVL7JPLN.DLL",
    "QVL7LN98.DLL",
    "QVL7RAST.DLL",
    "QVL7RS.DLL",
    "QVL7SHEL.DLL",
    "QVL7STAT.EXE",
    "",
};

// Files that may be loaded while Windows runs, this program among them. "NULL=" with
// four letters is what the driver's own setup writes and what wininit.exe processes.
inline constexpr NameRow kDeferredFileTable[] = {
    "QVL7TN16.DLL", "QVL7TN32.DLL", "QVL7LANG.DLL", "QVL7PRIN.DLL", "QVL7UNIN.EXE", "",
};

inline constexpr char kDeferredPrefix[] = "NULL=";
inline constexpr char kRenameHeader[] = "[rename]";
inline constexpr char kWininit[] = "\\wininit.ini";

} // namespace qvl
