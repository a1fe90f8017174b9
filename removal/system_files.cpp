// system_files.cpp: deletes the driver's system files and schedules the ones in use
// for deletion through wininit.ini.
#include "removal/system_files.h"
#include "removal/text.h"

namespace qvl {

namespace {

bool BuildDeferredLine(RemovalStorage& s, const char* name) {
    return JoinText(s.wininitLine, sizeof s.wininitLine, kDeferredPrefix, s.systemDir, "\\") &&
           AppendText(s.wininitLine, sizeof s.wininitLine, name);
}

// Whether a line of the file is a section header: "[", after blanks, and a "]" after it.
// Reading starts where the "a+" open leaves it, at the start. A line too long for the
// buffer comes in pieces, and only a line's first piece can start a header.
bool HasSection(Platform& platform, TextStream* file, char* line, int size) {
    bool lineStart = true;
    while (platform.ReadLine(line, size, file) != nullptr) {
        const char* p = line;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (lineStart && *p == '[' && Contains(p, ']'))
            return true;
        // A NUL byte read into the line ends the text early: the line's end is then
        // out of sight, and what follows is not taken for a line's start.
        unsigned length = TextLength(line);
        lineStart = length > 0 && line[length - 1] == '\n';
    }
    return false;
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
    // WININIT.EXE takes lines only from under a section header, so a file without one
    // (blank lines, a comment, nothing at all) gets the header as a new file does.
    bool needsHeader = !existed || !HasSection(platform, file, s.wininitLine, sizeof s.wininitLine);
    // Appended text starts where the file's last line ends. One that lacks its line end
    // would take the first line written here as its own tail: a "[rename]" header
    // glued to a "NULL=" line is no header, and Windows would delete nothing. The check
    // does not trust the search above: a file it missed must not be glued to either.
    // When the line end or the header cannot be written (a full disk), no line follows:
    // lines glued to a stranger's or standing under no header would delete nothing this
    // time and keep the next run's header out too.
    bool holdsText = platform.SeekFromEnd(file, -1) == 0;
    bool ready = !holdsText || platform.ReadChar(file) == '\n' || platform.PrintLine(file, "") >= 0;
    if (ready && needsHeader)
        ready = platform.PrintLine(file, kRenameHeader) >= 0;
    for (unsigned i = 0; ready && i < count; ++i) {
        if (BuildDeferredLine(s, kDeferredFileTable[i]))
            platform.PrintLine(file, s.wininitLine);
    }
    platform.CloseText(file);
}

} // namespace qvl
