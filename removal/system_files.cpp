// system_files.cpp: deletes the driver's system files and schedules the ones in use
// for deletion through wininit.ini.
#include "removal/removal.h"
#include "removal/text.h"

namespace qvl {

namespace {

const NameRow kSystemFileTable[] = {
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
const NameRow kDeferredFileTable[] = {
    "QVL7TN16.DLL", "QVL7TN32.DLL", "QVL7LANG.DLL", "QVL7PRIN.DLL", "QVL7UNIN.EXE", "",
};

const char kDeferredPrefix[] = "NULL=";
const char kRenameHeader[] = "[rename]";
const char kWininit[] = "\\wininit.ini";

bool BuildDeferredLine(RemovalStorage& s, const char* name) {
    return JoinText(s.wininitLine, sizeof s.wininitLine, kDeferredPrefix, s.systemDir, "\\") &&
           AppendText(s.wininitLine, sizeof s.wininitLine, name);
}

} // namespace

void DeleteSystemFiles(Platform& platform, RemovalStorage& s) {
    AcceptDirectory(s.systemDir, sizeof s.systemDir,
                    platform.GetSystemDirectoryA(s.systemDir, sizeof s.systemDir));
    AcceptDirectory(s.windowsDir, sizeof s.windowsDir,
                    platform.GetWindowsDirectoryA(s.windowsDir, sizeof s.windowsDir));
    // Without a system directory every path would start at the root of the drive.
    if (s.systemDir[0] == 0)
        return;
    unsigned count = CountNames(kSystemFileTable);
    for (unsigned i = 0; i < count; ++i) {
        if (CopyText(s.fileName, sizeof s.fileName, kSystemFileTable[i]) &&
            JoinText(s.filePath, sizeof s.filePath, s.systemDir, "\\", s.fileName))
            platform.DeleteFileA(s.filePath);
    }
}

void ScheduleDeferredFiles(Platform& platform, RemovalStorage& s) {
    if (s.systemDir[0] == 0 || s.windowsDir[0] == 0 ||
        !JoinText(s.wininitPath, sizeof s.wininitPath, s.windowsDir, kWininit))
        return;
    unsigned count = CountNames(kDeferredFileTable);
    // Lines that would not fit are skipped; with none left there is nothing to write,
    // and the file is not created just for its header.
    unsigned fitting = 0;
    for (unsigned i = 0; i < count; ++i)
        fitting += BuildDeferredLine(s, kDeferredFileTable[i]) ? 1 : 0;
    if (fitting == 0)
        return;

    FindData found;
    FindHandle search = platform.FindFirstFileA(s.wininitPath, &found);
    bool existed = search != kInvalidFindHandle;
    if (existed)
        platform.FindClose(search);

    TextStream* file = platform.OpenText(s.wininitPath, "a+");
    if (file == nullptr)
        return;
    // Appended text starts where the file's last line ends. One that lacks its line end
    // would take the first line written here as its own tail: a "[rename]" header
    // glued to a "NULL=" line is no header, and Windows would delete nothing. The check
    // does not trust the search above: a file it missed must not be glued to either.
    if (platform.SeekFromEnd(file, -1) == 0 && platform.ReadChar(file) != '\n')
        platform.PrintLine(file, "");
    if (!existed)
        platform.PrintLine(file, kRenameHeader);
    for (unsigned i = 0; i < count; ++i) {
        if (BuildDeferredLine(s, kDeferredFileTable[i]))
            platform.PrintLine(file, s.wininitLine);
    }
    platform.CloseText(file);
}

} // namespace qvl
