// removal_sequence.cpp: RunRemoval, the build probe and the driver's fixed registry keys.
#include "removal/removal_sequence.h"

namespace qvl {

void RemoveFixedKeys(Platform& platform, const RemovalStorage& storage) {
    unsigned rows = storage.newShellBuild ? kFixedKeyCount : kKeysOnEveryBuild;
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
