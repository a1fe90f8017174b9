// removal_sequence.h: the driver's fixed registry keys, which RunRemoval deletes first.
#pragma once

#include "removal/removal.h"

#include <array>
#include <cstddef>
#include <iterator>

namespace qvl {

inline constexpr std::uint16_t kLastOldShellBuild = 950;

// Windows 9x keeps the major and minor version in the high word of dwBuildNumber; only
// the low word is the build.
constexpr bool IsNewShellBuild(WinDword buildNumber) {
    return static_cast<std::uint16_t>(buildNumber & 0xFFFF) > kLastOldShellBuild;
}

// Which builds a fixed key is removed on: every one, or only those whose low word is
// above kLastOldShellBuild.
enum class OnBuilds : bool { kEvery, kNewShell };

struct FixedKey {
    RegKey root;
    const char* subKey;
    OnBuilds builds;
};

// The class identifier really has seven digits in its first group: that is how the
// driver's installer registered it.
inline constexpr FixedKey kFixedKeys[] = {
    {kHkeyClassesRoot, "CLSID\\{f294d80-a93f-11d2-a531-0020afee395f}", OnBuilds::kEvery},
    {kHkeyClassesRoot, "Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension",
     OnBuilds::kEvery},
    {kHkeyCurrentConfig, "System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40",
     OnBuilds::kEvery},
    {kHkeyLocalMachine,
     "Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40",
     OnBuilds::kEvery},
    {kHkeyLocalMachine, "Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A", OnBuilds::kEvery},
    {kHkeyLocalMachine, "SOFTWARE\\Classes\\CLSID\\{f294d80-a93f-11d2-a531-0020afee395f}",
     OnBuilds::kEvery},
    {kHkeyLocalMachine,
     "SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension",
     OnBuilds::kEvery},
    {kHkeyLocalMachine,
     "System\\CurrentControlSet\\control\\Print\\Environments\\Windows "
     "4.0\\Drivers\\Ovrik Velostrix R40",
     OnBuilds::kEvery},
    {kHkeyLocalMachine,
     "System\\CurrentControlSet\\control\\Print\\Environments\\Windows "
     "4.0\\Print Processors\\Velostrix R40 PrintProcessor",
     OnBuilds::kEvery},
    {kHkeyLocalMachine,
     "System\\CurrentControlSet\\control\\Print\\Monitors\\Velostrix R40 LanguageMonitor",
     OnBuilds::kEvery},
    {kHkeyLocalMachine, "System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40",
     OnBuilds::kEvery},
    {kHkeyUsers,
     ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\"
     "Start Menu\\&Programs\\Velostrix R40",
     OnBuilds::kNewShell},
    {kHkeyLocalMachine, "Security\\Access\\PRINT\\Ovrik Velostrix R40", OnBuilds::kNewShell},
    {kHkeyCurrentUser,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
     "Menu\\&Programs\\Velostrix R40",
     OnBuilds::kNewShell},
};

// The keys in the order RemoveFixedKeys takes them, worked out from kFixedKeys when
// compiling: those of every build first, then those of the newer builds. Only the root
// and the subkey reach the executable.
struct KeyRow {
    RegKey root;
    const char* subKey;
};
constexpr std::array<KeyRow, std::size(kFixedKeys)> RemovalOrder() {
    std::array<KeyRow, std::size(kFixedKeys)> rows{};
    std::size_t n = 0;
    for (OnBuilds builds : {OnBuilds::kEvery, OnBuilds::kNewShell})
        for (const FixedKey& key : kFixedKeys)
            if (key.builds == builds)
                rows[n++] = {key.root, key.subKey};
    return rows;
}
inline constexpr std::array<KeyRow, std::size(kFixedKeys)> kRemovalOrder = RemovalOrder();
constexpr std::size_t KeysOnEveryBuild() {
    std::size_t n = 0;
    for (const FixedKey& key : kFixedKeys)
        n += key.builds == OnBuilds::kEvery;
    return n;
}
inline constexpr std::size_t kKeysOnEveryBuild = KeysOnEveryBuild();

} // namespace qvl
