// removal_sequence.h: the driver's fixed registry keys, which RunRemoval deletes first.
#pragma once

#include "removal/removal.h"

namespace qvl {

struct FixedKey {
    RegKey root;
    const char* subKey;
};

// Rows 1 to 11 go on every build; the last three only on builds above 950. The class
// identifier really has seven digits in its first group: that is how the driver's
// installer registered it.
inline constexpr FixedKey kFixedKeys[] = {
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
inline constexpr unsigned kFixedKeyCount = sizeof kFixedKeys / sizeof kFixedKeys[0];
static_assert(kFixedKeyCount == 14, "eleven keys for every build and three for the newer ones");

inline constexpr std::uint16_t kLastOldShellBuild = 950;

} // namespace qvl
