// start_menu.h: where the printer's Start-menu group is, and its shortcuts.
#pragma once

#include "removal/removal.h"

namespace qvl {

inline constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kProgramsValue[] = "Programs";
inline constexpr char kGroupFolder[] = "\\Ovrik Velostrix R40";
inline constexpr const char* kShortcuts[] = {
    "\\How do I for Velostrix R40.LNK",
    "\\Troubleshooting for Velostrix R40.LNK",
    "\\Velostrix R40 Printer Monitor.LNK",
    "\\Velostrix R40 Uninstall program.LNK",
};

} // namespace qvl
