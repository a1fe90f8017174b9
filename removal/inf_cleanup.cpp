// inf_cleanup.cpp: removes the printer's setup information file from the INF folder.
#include "removal/inf_cleanup.h"
#include "removal/text.h"

namespace qvl {

namespace {

constexpr unsigned kSlotSize = 260;
constexpr unsigned kFirstSlots = 200;
constexpr unsigned kWordSize = 200;

using NameSlot = char[kSlotSize];

// Lists every match of the search path. The list starts with room for 200 names and
// doubles when full, so no match is left unscanned. Null when nothing matched or no
// memory could be had.
NameSlot* ListMatches(Platform& p, const char* searchPath, unsigned* count) {
    *count = 0;
    unsigned capacity = kFirstSlots;
    NameSlot* names = static_cast<NameSlot*>(p.Allocate(kFirstSlots * sizeof(NameSlot)));
    if (names == nullptr)
        return nullptr;
    FindData found;
    FindHandle search = p.FindFirstFileA(searchPath, &found);
    if (search == kInvalidFindHandle) {
        p.Release(names);
        return nullptr;
    }
    do {
        if (*count == capacity) {
            NameSlot* larger = static_cast<NameSlot*>(p.Allocate(2u * capacity * sizeof(NameSlot)));
            if (larger == nullptr)
                break; // scan what is listed rather than nothing
            for (unsigned i = 0; i < *count; ++i)
                CopyText(larger[i], kSlotSize, names[i]);
            p.Release(names);
            names = larger;
            capacity *= 2;
        }
        found.name[sizeof found.name - 1] = 0;
        if (CopyText(names[*count], kSlotSize, found.name))
            ++*count;
    } while (p.FindNextFileA(search, &found));
    p.FindClose(search);
    return names;
}

// Reads the file's words until one equals the token or the text ends.
bool HoldsToken(Platform& p, TextStream* file, const char* token) {
    char word[kWordSize];
    unsigned tokenLength = TextLength(token);
    while (!p.AtEndOfFile(file)) {
        unsigned length = 0;
        if (p.ScanWord(file, word, sizeof word, &length) != 1)
            return false;
        // A word longer than the buffer, or one holding a zero byte, is not the token
        // even where its first bytes are: the length refuses the one, and TextEqual the
        // other, whose text ends at the zero byte, short of the token's length.
        if (length == tokenLength && TextEqual(word, token))
            return true;
    }
    return false;
}

} // namespace

void DeleteFilesWithToken(Platform& platform, const char* directory, const char* pattern,
                          const char* token) {
    char path[kSlotSize];
    if (!JoinText(path, sizeof path, directory, "\\", pattern))
        return;
    unsigned count = 0;
    NameSlot* names = ListMatches(platform, path, &count);
    if (names == nullptr)
        return;
    // All names are listed before any file is deleted, so the deletions cannot disturb
    // the search.
    for (unsigned i = 0; i < count; ++i) {
        if (!JoinText(path, sizeof path, directory, "\\", names[i]))
            continue;
        TextStream* file = platform.OpenText(path, "r");
        if (file == nullptr)
            continue; // a folder, or a file locked or gone: its words are unknown
        bool found = HoldsToken(platform, file, token);
        platform.CloseText(file);
        if (found)
            platform.DeleteFileA(path);
    }
    platform.Release(names);
}

void CleanInfFiles(Platform& platform, RemovalStorage& s) {
    if (s.windowsDir[0] == 0)
        return;
    if (s.newShellBuild) {
        if (JoinText(s.infPath, sizeof s.infPath, s.windowsDir, kInfOther, kFixedInfName))
            platform.DeleteFileA(s.infPath);
    } else if (JoinText(s.infPath, sizeof s.infPath, s.windowsDir, kInfFolder)) {
        DeleteFilesWithToken(platform, s.infPath, kOemPattern, kInfToken);
    }
}

} // namespace qvl
