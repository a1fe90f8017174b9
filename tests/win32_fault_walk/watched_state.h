// watched_state.h: the part of a Windows machine that the Win32 fault walk watches,
// taken as a list of items it can compare, and put back between runs.
//
// Items, each with a value:
//   "reg KEY"              a registry key (ROOT\path; ROOT is HKCR, HKCU, HKLM, HKU, HKCC)
//   "val KEY\tNAME"        a value: its type and bytes
//   "dir PATH", "file PATH"  a folder; a file's size and last-write time
//   "ini [SECTION]"        a win.ini section, "ini [SECTION]\tLINE" a line in it (how often)
//   "wininit\tLINE"        a line of wininit.ini (how often)
//   "bytes win.ini", "bytes wininit.ini"  the two files whole
#pragma once

#include "walk_footprint.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace qvl::faultwalk {

using Items = std::map<std::string, std::string>;

struct WatchList {
    std::vector<std::string> fullKeys;   // subtrees watched whole, as ROOT\path
    std::vector<std::string> childNames; // keys whose other subkeys are watched by count
    std::vector<std::string> flatDirs;   // folders whose files are watched
    std::vector<std::string> deepDirs;   // folders watched with all below them
    std::string windowsDir;              // holds win.ini and wininit.ini
};

struct State {
    Items items;
    std::map<std::string, std::string> contents; // bytes of the small files, by path
};

// What the removal's tables name on this machine, with the neighbours beside them.
WatchList MakeWatchList();

State Snapshot(const WatchList& watch, bool withContents = false);

// Puts back every watched item of want that now differs; false, with the reason in
// *why, for an item it cannot make (a file whose bytes were not kept).
bool Restore(const WatchList& watch, const State& want, const Items& now, std::string* why);

// Items whose values differ, with those that are in one list only.
std::vector<std::string> Changed(const Items& a, const Items& b);
// An item's value, or the marker for one that is not there.
const std::string& ValueOf(const Items& items, const std::string& item);
extern const std::string kAbsent;

// A footprint key as the items name it: ROOT\\path.
std::string KeyName(const FootprintKey& key);

// Splits at LF, dropping one CR before it; a last piece without LF is a line too.
std::vector<std::string> SplitLines(const std::string& bytes);

} // namespace qvl::faultwalk
