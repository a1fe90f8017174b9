// removal_sequence.cpp: RunRemoval, the build probe and the driver's fixed registry keys.
#include "removal/removal_sequence.h"

namespace qvl {

void RemoveFixedKeys(Platform& platform, const RemovalStorage& storage) {
    std::size_t rows = storage.newShellBuild ? kRemovalOrder.size() : kKeysOnEveryBuild;
    for (std::size_t i = 0; i < rows; ++i)
        platform.RegDeleteKeyA(kRemovalOrder[i].root, kRemovalOrder[i].subKey);
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
    storage.newShellBuild = IsNewShellBuild(storage.version.dwBuildNumber);

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
