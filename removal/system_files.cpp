// system_files.cpp: deletes the driver's system files and schedules the ones in use
// for deletion through wininit.ini.
#include "removal/system_files.h"
#include "removal/text.h"

namespace qvl {

namespace {

// The section's name as the header spells it, between its brackets.
constexpr const char* kRenameName = kRenameHeader + 1;
constexpr int kRenameLength = sizeof kRenameHeader - 3;

bool BuildDeferredLine(RemovalStorage& s, const char* name) {
    return JoinText(s.wininitLine, sizeof s.wininitLine, kDeferredPrefix, s.systemDir, "\\") &&
           AppendText(s.wininitLine, sizeof s.wininitLine, name);
}

// Which section the file's last header opens, read as WININIT.EXE and the profile
// reader take a header: a line ends at a CR or an LF; before its "[" may stand blanks
// (space, tab, VT, FF, Ctrl-Z); the name runs to the line's last "]", blanks around it
// trimmed, and a NUL ends it; "[" with no "]" after it opens nothing. Only whether that
// section is "rename", in any letter case, is kept, and whether the last line is ended.
// The file comes in pieces as fread gives them, so the state carries over from one piece
// to the next: a line that starts with more blanks than a piece holds still starts a
// header.
class LastSection {
  public:
    void Take(const char* bytes, unsigned count) {
        if (count == 0)
            return;
        for (unsigned i = 0; i < count; ++i)
            Take(static_cast<unsigned char>(bytes[i]));
        previous_ = count > 1 ? static_cast<unsigned char>(bytes[count - 2]) : last_;
        last_ = static_cast<unsigned char>(bytes[count - 1]);
    }
    // What the last header, counting one still open on an unended last line, named.
    bool IsRename() const { return headerOnLine_ ? renameOnLine_ : renameLast_; }
    // Whether text appended after an "a+" open starts a line of its own: that open cuts
    // one final Ctrl-Z off, and a file with no text left needs no line end.
    bool LineEnded() const {
        unsigned end = last_ == 0x1A ? previous_ : last_;
        return end == '\n' || end == kNone;
    }

  private:
    static bool Blank(unsigned c) { return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A; }

    void Take(unsigned c) {
        if (c == '\r' || c == '\n') {
            renameLast_ = IsRename();
            state_ = kLineStart;
            headerOnLine_ = false;
        } else if (state_ == kLineStart) {
            if (!Blank(c))
                state_ = c == '[' ? 0 : kNoHeader;
        } else if (state_ >= 0) {
            if (c == ']') { // the name so far, should this "]" be the line's last
                headerOnLine_ = true;
                renameOnLine_ = state_ >= kWhole && state_ <= kCut;
            }
            if (state_ < kWhole && (state_ > 0 || !Blank(c))) {
                // The name is all small letters: setting 0x20 makes a capital small and
                // turns no other byte into one of them.
                bool letter = (c | 0x20) == static_cast<unsigned char>(kRenameName[state_]);
                state_ = letter ? state_ + 1 : kOther;
            } else if (state_ == kWhole || state_ == kTrailing) {
                // "rename", then blanks that trimming takes off, or a NUL that cuts what
                // follows; a NUL after blanks keeps them, and anything else lengthens it.
                state_ = Blank(c) ? kTrailing : c == 0 && state_ == kWhole ? kCut : kOther;
            }
        }
    }

    // Where the line stands: 0 to kWhole, inside the brackets with that many letters of
    // "rename" matched (blanks may come before the first), or one of these.
    static constexpr int kLineStart = -2; // nothing but blanks yet on this line
    static constexpr int kNoHeader = -1;  // the line is no header
    static constexpr int kWhole = kRenameLength;
    static constexpr int kTrailing = kWhole + 1; // "rename" and blanks
    static constexpr int kCut = kWhole + 2;      // "rename" and a NUL: the rest does not count
    static constexpr int kOther = kWhole + 3;    // the name is some other
    static constexpr unsigned kNone = 0x100;     // before the file's first byte
    int state_ = kLineStart;
    unsigned last_ = kNone;
    unsigned previous_ = kNone;
    bool headerOnLine_ = false;
    bool renameOnLine_ = false;
    bool renameLast_ = false;
};

// Reads the existing file through: whether its last section is [rename], so that lines
// appended land there, and whether its last line is ended. False when the file cannot
// be read to its end.
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
    // WININIT.EXE takes lines only from under a [rename] header. A new file gets one; an
    // existing file only when its last section is another or there is none (blank
    // lines, a comment, nothing at all), for there the lines would be passed over. A
    // file that cannot be read through gets nothing: either choice could strand the
    // lines, and the next run can do better.
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
    if (ready && (!existed || !last.IsRename()))
        ready = platform.PrintLine(file, kRenameHeader) >= 0;
    for (unsigned i = 0; ready && i < count; ++i) {
        if (BuildDeferredLine(s, kDeferredFileTable[i]))
            platform.PrintLine(file, s.wininitLine);
    }
    platform.CloseText(file);
}

} // namespace qvl
