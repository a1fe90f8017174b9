// wininit_header.cpp: which section wininit.ini's last header opens, read in fread's pieces.
#include "removal/wininit_header.h"

namespace qvl {

namespace {

// The section's name as the header spells it, between its brackets.
constexpr const char* kRenameName = kRenameHeader + 1;
constexpr int kRenameLength = sizeof kRenameHeader - 3;

constexpr bool SmallLetters(const char* text, int length) {
    for (int i = 0; i < length; ++i)
        if (text[i] < 'a' || text[i] > 'z')
            return false;
    return true;
}
// A byte read is matched with 0x20 set, which makes a capital small and turns no other
// byte into a small letter: that finds the name in any letter case only while the name
// itself is all small letters.
static_assert(kRenameHeader[0] == '[' && kRenameHeader[kRenameLength + 1] == ']' &&
                  SmallLetters(kRenameName, kRenameLength),
              "the header is \"[\", a name of small letters, \"]\"");

} // namespace

void LastSection::Take(const char* bytes, unsigned count) {
    for (unsigned i = 0; i < count; ++i)
        Take(static_cast<unsigned char>(bytes[i]));
    previous_ = count > 1 ? static_cast<unsigned char>(bytes[count - 2]) : last_;
    last_ = static_cast<unsigned char>(bytes[count - 1]);
}

bool LastSection::LineEnded() const {
    unsigned end = last_ == 0x1A ? previous_ : last_;
    return end == '\n' || end == kNone;
}

bool LastSection::Blank(unsigned c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

void LastSection::Take(unsigned c) {
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
            bool letter = (c | 0x20) == static_cast<unsigned char>(kRenameName[state_]);
            state_ = letter ? state_ + 1 : kOther;
        } else if (state_ == kWhole || state_ == kTrailing) {
            // "rename", then blanks that trimming takes off, or a NUL that cuts what
            // follows; a NUL after blanks keeps them, and anything else lengthens it.
            state_ = Blank(c) ? kTrailing : c == 0 && state_ == kWhole ? kCut : kOther;
        }
    }
}

} // namespace qvl
