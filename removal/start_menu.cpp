// start_menu.cpp: removes the printer's program group from the user's Start menu.
#include "removal/start_menu.h"
#include "removal/text.h"

namespace qvl {

void RemoveStartMenuGroup(Platform& platform, RemovalStorage& s) {
    RegKey key = 0;
    if (platform.RegOpenKeyExA(kHkeyCurrentUser, kShellFolders, 0, kKeyQueryValue, &key) ==
        kErrorSuccess) {
        WinDword type = 0;
        WinDword size = sizeof s.groupPath;
        WinLong read =
            platform.RegQueryValueExA(key, kProgramsValue, nullptr, &type,
                                      reinterpret_cast<unsigned char*>(s.groupPath), &size);
        platform.RegCloseKey(key);
        // A folder too long for the buffer, or one that fills it with no end, cannot be
        // named whole: the group is left alone. Any other failed read may leave anything
        // in the buffer and counts as no folder, just like a missing key.
        if (read == kErrorMoreData)
            return;
        if (read != kErrorSuccess)
            s.groupPath[0] = 0;
        else if (!TerminateValueText(s.groupPath, sizeof s.groupPath, size))
            return;
    }
    if (!AppendText(s.groupPath, sizeof s.groupPath, kGroupFolder))
        return;
    for (const char* shortcut : kShortcuts) {
        if (JoinText(s.filePath, sizeof s.filePath, s.groupPath, shortcut))
            platform.DeleteFileA(s.filePath);
    }
    platform.RemoveDirectoryA(s.groupPath);
}

} // namespace qvl
