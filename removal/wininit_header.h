// wininit_header.h: which section wininit.ini's last header opens, read in fread's pieces.
#pragma once

#include "removal/system_files.h"

namespace qvl {

// Reads headers as Wine's profile reader takes a header, which is what was tried
// against the real Win32 at hand: a line ends at a CR or an LF, a lone CR too (the
// conformance row ProfileLinesEndedByALoneCr); before its "[" may stand blanks (space,
// tab, VT, FF, Ctrl-Z); the name runs to the line's last "]", blanks around it trimmed,
// and a NUL ends it; "[" with no "]" after it opens nothing. Only
// whether the last section is "rename", in any letter case, is kept, and whether the
// last line is ended. The state carries over from one piece to the next: a line that
// starts with more blanks than a piece holds still starts a header.
//
// The rule stands here apart from the emulation's (platform/emu/profile.cpp) and the
// random machines' reader on purpose: the removal reads a piece at a time in a fixed
// buffer and may lean on no emulation, and each copy checks the others. The conformance
// table holds the emulation's to Wine; the random machines' reader and the runs under
// Wine hold this one.
class LastSection {
  public:
    // The next piece of the file, as fread filled it: never an empty one (the caller
    // stops at the first read that gives nothing), for the last byte read is kept.
    void Take(const char* bytes, unsigned count);
    // What the last header, counting one still open on an unended last line, named.
    bool IsRename() const { return headerOnLine_ ? renameOnLine_ : renameLast_; }
    // Whether text appended after an "a+" open starts a line of its own: that open cuts
    // one final Ctrl-Z off, and a file with no text left needs no line end.
    bool LineEnded() const;

  private:
    static bool Blank(unsigned c);
    void Take(unsigned c);

    // Where the line stands: 0 to kWhole, inside the brackets with that many letters of
    // "rename" matched (blanks may come before the first), or one of these.
    static constexpr int kLineStart = -2; // nothing but blanks yet on this line
    static constexpr int kNoHeader = -1;  // the line is no header
    static constexpr int kWhole = sizeof kRenameHeader - 3;
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

} // namespace qvl
