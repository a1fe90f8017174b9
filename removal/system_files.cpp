// system_files.cpp: deletes the driver's system files and schedules the ones in use
// for deletion through wininit.ini.
#include "removal/system_files.h"
#include "removal/text.h"
#include "removal/wininit_header.h"

namespace qvl {

namespace {

bool BuildDeferredLine(RemovalStorage& s, const char* name) {
    return JoinText(s.wininitLine, sizeof s.wininitLine, kDeferredPrefix, s.systemDir, "\\") &&
           AppendText(s.wininitLine, sizeof s.wininitLine, name);
}

constexpr bool AllOfOneLength(const NameRow* names) {
    for (const NameRow* row = names; (*row)[0] != 0; ++row)
        if (TextLength(*row) != TextLength(*names))
            return false;
    return true;
}

// The deferred lines differ only in their names, so with names of one length they all
// fit in the line buffer or none does: the first line alone is tried before anything is
// written. A name of another length needs each line's fit checked where it is written.
static_assert(AllOfOneLength(kDeferredFileTable), "deferred names of different lengths");

// Reads the existing file through: whether its last section is [rename], so that lines
// appended land there, and whether its last line is ended. False when the file cannot
// be read to its end. The pieces pass through s.wininitLine, the buffer the lines are
// built in: whatever line stood there is gone afterwards.
bool ReadWininit(Platform& platform, RemovalStorage& s, LastSection* last) {
    // Binary, so that a NUL or a Ctrl-Z inside is read as the profile reader reads it,
    // and the count tells how many bytes came.
    TextStream* file = platform.OpenText(s.wininitPath, "rb");
    if (file == nullptr)
        return false;
    unsigned got;
    while ((got = platform.ReadBytes(file, s.wininitLine, sizeof s.wininitLine)) > 0)
        last->Take(s.wininitLine, got);
    bool whole = platform.AtEndOfFile(file) != 0;
    platform.CloseText(file);
    return whole;
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
    // Lines that do not fit leave nothing to write, and the file is not created just for
    // its header.
    if (!BuildDeferredLine(s, kDeferredFileTable[0]))
        return;

    FindData found;
    FindHandle search = platform.FindFirstFileA(s.wininitPath, &found);
    bool existed = search != kInvalidFindHandle;
    if (existed)
        platform.FindClose(search);
    // WININIT.EXE takes lines only from under a [rename] header. A new file gets one; an
    // existing file only when its last section is another or there is none (blank
    // lines, a comment, nothing at all), for there the lines would be passed over; a
    // header counts as Wine's profile reader takes one (wininit_header.h). A file that
    // cannot be read through gets nothing: either choice could strand the lines, and
    // the next run can do better.
    LastSection last;
    if (existed && !ReadWininit(platform, s, &last))
        return;
    TextStream* file = platform.OpenText(s.wininitPath, "a+");
    if (file == nullptr)
        return;
    // A file that the search missed was not read, and gets nothing either.
    if (!existed && platform.SeekFromEnd(file, -1) == 0) {
        platform.CloseText(file);
        return;
    }
    // Appended text starts where the file's last line ends. One that lacks its line end
    // would take the first line written here as its own tail: a "[rename]" header
    // glued to a "NULL=" line is no header, and Windows would delete nothing. When the
    // line end or the header cannot be written (a full disk), no line follows: lines
    // glued to a stranger's or standing under no header would delete nothing this time
    // and keep the next run's header out too.
    bool ready = last.LineEnded() || platform.PrintLine(file, "") >= 0;
    // A new file was not read: to LastSection it has no header, as an empty one.
    if (ready && !last.IsRename())
        ready = platform.PrintLine(file, kRenameHeader) >= 0;
    // Each line is built anew: the read went through the same buffer. Each fits, as the
    // first did.
    unsigned count = CountNames(kDeferredFileTable);
    for (unsigned i = 0; ready && i < count; ++i) {
        BuildDeferredLine(s, kDeferredFileTable[i]);
        platform.PrintLine(file, s.wininitLine);
    }
    platform.CloseText(file);
}

} // namespace qvl
