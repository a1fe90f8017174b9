// removal.h: RunRemoval, its stages and the working storage of one removal run.
#pragma once

#include "platform/platform.h"

namespace qvl {

// The printer as the registry and win.ini name it.
inline constexpr char PrinterModelName[] = "Ovrik Velostrix R40";

constexpr unsigned kPathBuffer = 260;

// Everything one run of RunRemoval works in. It is zero-filled at entry, so a buffer
// that no platform call filled reads as the empty string.
struct RemovalStorage {
    OsVersionInfo version;
    bool newShellBuild; // low word of the build number above 950
    char keyName[kPathBuffer];
    char valueText[kPathBuffer];
    char digits[20];
    char deviceValue[150];
    char portText[kPathBuffer];
    char sectionName[kPathBuffer];
    char groupPath[kPathBuffer];
    char filePath[kPathBuffer];
    char fileName[30];
    char systemDir[kPathBuffer];
    char windowsDir[kPathBuffer];
    char infPath[kPathBuffer];
    char wininitPath[kPathBuffer];
    char wininitLine[kPathBuffer];
};

// Takes the driver off the machine that DefaultPlatform() reaches.
void RunRemoval();
// The same on a given platform.
void RunRemoval(Platform& platform);

// The stages, in the order RunRemoval calls them.
void RemoveFixedKeys(Platform& platform, const RemovalStorage& storage);
void SweepPrinterInstances(Platform& platform, RemovalStorage& storage);
void CleanProfile(Platform& platform, RemovalStorage& storage);
void RemoveStartMenuGroup(Platform& platform, RemovalStorage& storage);
void DeleteSystemFiles(Platform& platform, RemovalStorage& storage);
void CleanInfFiles(Platform& platform, RemovalStorage& storage);
void ScheduleDeferredFiles(Platform& platform, RemovalStorage& storage);

// Deletes every file in directory whose name matches pattern and that holds token as a
// whitespace-delimited word.
void DeleteFilesWithToken(Platform& platform, const char* directory, const char* pattern,
                          const char* token);

} // namespace qvl
