// sweep_footprint.h: where the Win32 fault sweep learns the driver's footprint.
//
// The one place that binds the sweep to the removal's tables. Until the stages' tables
// stand in headers beside them (removal/removal_sequence.h, printer_sweep.h,
// start_menu.h, system_files.h, inf_cleanup.h), they are repeated here row for row;
// then this file becomes those includes and nothing else in the sweep changes.
#pragma once

#include "platform/platform.h"

namespace qvl::sweep {

struct FootprintKey {
    RegKey root;
    const char* subKey;
};

// The fixed keys, in the removal's order; the last three go only on builds above 950,
// and stay, as neighbours, on Windows 95.
inline constexpr FootprintKey kFixedKeys[] = {
    {kHkeyClassesRoot, "CLSID\\{f294d80-a93f-11d2-a531-0020afee395f}"},
    {kHkeyClassesRoot, "Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension"},
    {kHkeyCurrentConfig,
     "System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40"},
    {kHkeyLocalMachine,
     "Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40"},
    {kHkeyLocalMachine, "Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A"},
    {kHkeyLocalMachine, "SOFTWARE\\Classes\\CLSID\\{f294d80-a93f-11d2-a531-0020afee395f}"},
    {kHkeyLocalMachine,
     "SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension"},
    {kHkeyLocalMachine, "System\\CurrentControlSet\\control\\Print\\Environments\\Windows "
                        "4.0\\Drivers\\Ovrik Velostrix R40"},
    {kHkeyLocalMachine, "System\\CurrentControlSet\\control\\Print\\Environments\\Windows "
                        "4.0\\Print Processors\\Velostrix R40 PrintProcessor"},
    {kHkeyLocalMachine,
     "System\\CurrentControlSet\\control\\Print\\Monitors\\Velostrix R40 LanguageMonitor"},
    {kHkeyLocalMachine, "System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40"},
    {kHkeyUsers, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\"
                 "Start Menu\\&Programs\\Velostrix R40"},
    {kHkeyLocalMachine, "Security\\Access\\PRINT\\Ovrik Velostrix R40"},
    {kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
                       "Menu\\&Programs\\Velostrix R40"},
};

inline constexpr unsigned kKeysOnEveryBuild = 11;

// The bases under which the numbered instance keys are swept (HKEY_LOCAL_MACHINE).
inline constexpr const char* kInstanceBases[] = {
    "Enum\\Root\\printer",
    "System\\CurrentControlSet\\Services\\Class\\Printer",
};

inline constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kProgramsValue[] = "Programs";
inline constexpr char kGroupFolder[] = "\\Ovrik Velostrix R40"; // below the Programs folder

inline constexpr const char* kSystemFiles[] = {
    "QVL732.DLL",   "QVL7CT.DLL",  "QVL7HLP.HLP",  "QVL7HLP.GID",  "QVL7HLP1.HLP", "QVL7HLP1.GID",
    "QVL7TRB.HLP",  "QVL7TRB.GID", "QVL7JNLI.DLL", "QVL7JP.DRV",   "QVL7JPLN.DLL", "QVL7LN98.DLL",
    "QVL7RAST.DLL", "QVL7RS.DLL",  "QVL7SHEL.DLL", "QVL7STAT.EXE",
};

// Folders below the Windows folder that the INF stage works in.
inline constexpr const char* kInfFolders[] = {"\\INF", "\\INF\\OTHER"};

} // namespace qvl::sweep
