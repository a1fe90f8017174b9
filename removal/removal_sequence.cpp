// removal_sequence.cpp: RunRemoval, the build probe and the driver's fixed registry keys.
#include "removal/removal.h"

namespace qvl {

const char PrinterModelName[] = "Ovrik Velostrix R40";

namespace {

struct FixedKey {
    RegKey root;
    const char* subKey;
};

// Rows 1 to 11 go on every build; the last three only on builds above 950. The class
// identifier really has seven digits in its first group: that is how the driver's
// installer registered it.
const FixedKey kFixedKeys[] = {
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

constexpr unsigned kKeysOnEveryBuild = 11;
constexpr unsigned kKeyCount = sizeof kFixedKeys / sizeof kFixedKeys[0];
static_assert(kKeyCount == 14, "eleven keys for every build and three for the newer ones");

constexpr std::uint16_t kLastOldShellBuild = 950;

} // namespace

void RemoveFixedKeys(Platform& platform, const RemovalStorage& storage) {
    unsigned rows = storage.newShellBuild ? kKeyCount : kKeysOnEveryBuild;
    for (unsigned i = 0; i < rows; ++i)
        platform.RegDeleteKeyA(kFixedKeys[i].root, kFixedKeys[i].subKey);
    if (storage.newShellBuild) {
        platform.RegFlushKey(kHkeyUsers);
        platform.RegFlushKey(kHkeyCurrentUser);
    }
    platform.RegFlushKey(kHkeyLocalMachine);
}

void RunRemoval(Platform& platform) {
    RemovalStorage storage = {};
    storage.version.dwOSVersionInfoSize = sizeof(OsVersionInfo);
    platform.GetVersionExA(&storage.version);
    // Windows 9x keeps the major and minor version in the high word of dwBuildNumber;
    // only the low word is the build.
    storage.newShellBuild =
        static_cast<std::uint16_t>(storage.version.dwBuildNumber & 0xFFFF) > kLastOldShellBuild;

    RemoveFixedKeys(platform, storage);
    SweepPrinterInstances(platform, storage);
    CleanProfile(platform, storage);
    RemoveStartMenuGroup(platform, storage);
    DeleteSystemFiles(platform, storage);
    CleanInfFiles(platform, storage);
    ScheduleDeferredFiles(platform, storage);
}

void RunRemoval() {
    RunRemoval(DefaultPlatform());
}

} // namespace qvl
