// watched_state.cpp: snapshots and restores the watched registry keys and files with
// the Win32 API, so one process can run the removal many times on the same machine.
#include "watched_state.h"

#include "walk_footprint.h"

#include <cstdio>

namespace qvl::faultwalk {

const std::string kAbsent = "(absent)";

namespace {

// A parent with more subkeys than this (Wine's CLSID has thousands) is watched by the
// names of its subkeys; the rest are watched whole.
constexpr DWORD kWholeParentLimit = 64;
// Files up to this size keep their bytes in the template, so they can be put back.
constexpr ULONGLONG kKeptFileSize = 64 * 1024;

std::string RootName(RegKey key) {
    const RootKey* root = FindRootKey(key);
    return root ? root->shortName : "?";
}

// "HKLM\a\b" -> HKEY_LOCAL_MACHINE and "a\b".
bool SplitKey(const std::string& full, HKEY* root, std::string* path) {
    std::size_t slash = full.find('\\');
    std::string head = full.substr(0, slash);
    for (const RootKey& r : kRootKeys) {
        if (head == r.shortName) {
            *root = reinterpret_cast<HKEY>(r.key);
            *path = slash == std::string::npos ? "" : full.substr(slash + 1);
            return true;
        }
    }
    return false;
}

std::string Parent(const std::string& key) {
    return key.substr(0, key.rfind('\\'));
}

bool Under(const std::string& item, const std::string& prefix, const std::string& top) {
    return item.compare(0, prefix.size() + top.size(), prefix + top) == 0 &&
           (item.size() == prefix.size() + top.size() || item[prefix.size() + top.size()] == '\\' ||
            item[prefix.size() + top.size()] == '\t');
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

void TakeKey(HKEY key, const std::string& full, Items* out) {
    (*out)["reg " + full] = "";
    DWORD maxName = 0, maxData = 0;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                       &maxData, nullptr, nullptr);
    std::string name(maxName + 2, '\0');
    std::string data(maxData + 2, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueA(key, i, &name[0], &nameLength, nullptr, &type,
                            reinterpret_cast<BYTE*>(&data[0]), &dataLength) != ERROR_SUCCESS)
            break;
        (*out)["val " + full + "\t" + name.substr(0, nameLength)] =
            std::to_string(type) + ":" + data.substr(0, dataLength);
    }
    for (const std::string& child : SubkeyNames(key)) {
        HKEY sub;
        if (::RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            TakeKey(sub, full + "\\" + child, out);
            ::RegCloseKey(sub);
        }
    }
}

HKEY OpenFull(const std::string& full) {
    HKEY root, key;
    std::string path;
    if (!SplitKey(full, &root, &path) ||
        ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Takes a subtree apart leaves first, listing each level before deleting from it so
// that a key that stays cannot hold the walk.
void DeleteSubtree(HKEY parent, const std::string& name) {
    HKEY key;
    if (::RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (const std::string& child : SubkeyNames(key))
            DeleteSubtree(key, child);
        ::RegCloseKey(key);
    }
    ::RegDeleteKeyA(parent, name.c_str());
}

ULONGLONG Size(const WIN32_FIND_DATAA& f) {
    return (static_cast<ULONGLONG>(f.nFileSizeHigh) << 32) | f.nFileSizeLow;
}

bool ReadBytes(const std::string& path, std::string* bytes) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes->append(buffer, got);
    ::CloseHandle(h);
    return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes, const FILETIME* written) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = bytes.empty() ||
              (::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
               put == bytes.size());
    if (written != nullptr)
        ok = ::SetFileTime(h, nullptr, nullptr, written) && ok;
    ::CloseHandle(h);
    return ok;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The two profile files are watched by their lines, not by their size and time.
bool IsProfileFile(const WatchList& watch, const std::string& path) {
    std::string p = Lower(path);
    return p == Lower(watch.windowsDir + "\\win.ini") ||
           p == Lower(watch.windowsDir + "\\wininit.ini");
}

void TakeFolder(const WatchList& watch, const std::string& dir, bool deep, State* out,
                bool withContents) {
    WIN32_FIND_DATAA f;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = f.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "\\" + name;
        if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (deep) {
                out->items["dir " + path] = "";
                TakeFolder(watch, path, deep, out, withContents);
            }
            continue;
        }
        if (IsProfileFile(watch, path))
            continue;
        out->items["file " + path] =
            std::to_string(Size(f)) + "@" +
            std::to_string((static_cast<ULONGLONG>(f.ftLastWriteTime.dwHighDateTime) << 32) |
                           f.ftLastWriteTime.dwLowDateTime);
        std::string bytes;
        if (withContents && Size(f) <= kKeptFileSize && ReadBytes(path, &bytes))
            out->contents[path] = bytes;
    } while (::FindNextFileA(h, &f));
    ::FindClose(h);
}

void TakeProfiles(const WatchList& watch, Items* out) {
    std::string bytes;
    if (ReadBytes(watch.windowsDir + "\\win.ini", &bytes)) {
        (*out)["bytes win.ini"] = bytes;
        std::string section = "ini []";
        for (std::string line : SplitLines(bytes)) {
            std::size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos)
                continue;
            if (line[first] == '[' && line.find(']', first) != std::string::npos) {
                section = "ini " + line.substr(first, line.find(']', first) - first + 1);
                (*out)[section] = "";
                continue;
            }
            std::string& count = (*out)[section + "\t" + line];
            count = std::to_string(std::atoi(count.c_str()) + 1);
        }
    }
    if (ReadBytes(watch.windowsDir + "\\wininit.ini", &bytes)) {
        (*out)["bytes wininit.ini"] = bytes;
        for (const std::string& line : SplitLines(bytes)) {
            std::string& count = (*out)["wininit\t" + line];
            count = std::to_string(std::atoi(count.c_str()) + 1);
        }
    }
}

} // namespace

std::string KeyName(const FootprintKey& key) {
    return RootName(key.root) + "\\" + key.subKey;
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find('\n', at);
        std::string line = bytes.substr(at, end == std::string::npos ? end : end - at);
        if (end != std::string::npos && !line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end == std::string::npos ? bytes.size() : end + 1;
    }
    return lines;
}

WatchList MakeWatchList() {
    WatchList watch;
    auto addFull = [&](const std::string& key) {
        for (const std::string& k : watch.fullKeys)
            if (k == key)
                return;
        watch.fullKeys.push_back(key);
    };
    for (const FootprintKey& k : kFixedKeys) {
        std::string full = KeyName(k);
        std::string parent = Parent(full);
        DWORD subkeys = 0;
        HKEY key = OpenFull(parent);
        if (key != nullptr) {
            ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr);
            ::RegCloseKey(key);
        }
        if (subkeys <= kWholeParentLimit) {
            addFull(parent); // the neighbours beside the key, whole
        } else {
            addFull(full);
            watch.childNames.push_back(parent);
        }
    }
    for (const std::string& base : kInstanceBases)
        addFull(std::string("HKLM\\") + base);
    addFull(std::string("HKCU\\") + kShellFolders);

    char dir[MAX_PATH];
    ::GetWindowsDirectoryA(dir, sizeof dir);
    watch.windowsDir = dir;
    watch.flatDirs.push_back(dir);
    for (const std::string& inf : kInfFolders)
        watch.flatDirs.push_back(watch.windowsDir + inf);
    ::GetSystemDirectoryA(dir, sizeof dir);
    watch.flatDirs.push_back(dir);
    HKEY folders = OpenFull(std::string("HKCU\\") + kShellFolders);
    if (folders != nullptr) {
        DWORD size = sizeof dir;
        if (::RegQueryValueExA(folders, kProgramsValue, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(dir), &size) == ERROR_SUCCESS &&
            size > 1)
            watch.deepDirs.push_back(std::string(dir, size - 1));
        ::RegCloseKey(folders);
    }
    return watch;
}

State Snapshot(const WatchList& watch, bool withContents) {
    State state;
    for (const std::string& full : watch.fullKeys) {
        if (HKEY key = OpenFull(full)) {
            TakeKey(key, full, &state.items);
            ::RegCloseKey(key);
        }
    }
    // Beside a footprint key under a parent too big to watch whole (thousands under
    // CLSID, whose listing took most of the walk's time), how many others stand there:
    // a neighbour lost or made changes that number.
    for (const std::string& parent : watch.childNames) {
        DWORD subkeys = 0;
        if (HKEY key = OpenFull(parent)) {
            ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr);
            ::RegCloseKey(key);
        }
        for (const std::string& full : watch.fullKeys)
            subkeys -= Parent(full) == parent && state.items.count("reg " + full) ? 1 : 0;
        state.items["others under " + parent] = std::to_string(subkeys);
    }
    for (const std::string& dir : watch.flatDirs)
        TakeFolder(watch, dir, false, &state, withContents);
    for (const std::string& dir : watch.deepDirs) {
        if (::GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES)
            state.items["dir " + dir] = "";
        TakeFolder(watch, dir, true, &state, withContents);
    }
    TakeProfiles(watch, &state.items);
    return state;
}

bool Restore(const WatchList& watch, const State& want, const Items& now, std::string* why) {
    std::vector<std::string> changed = Changed(want.items, now);
    auto touches = [&](const std::string& top) {
        for (const std::string& item : changed)
            if (Under(item, "reg ", top) || Under(item, "val ", top))
                return true;
        return false;
    };
    // Registry: a changed subtree goes and comes back whole from the template.
    for (const std::string& full : watch.fullKeys) {
        if (!touches(full))
            continue;
        HKEY root;
        std::string path;
        SplitKey(full, &root, &path);
        DeleteSubtree(root, path);
        for (auto it = want.items.lower_bound("reg " + full); it != want.items.end(); ++it) {
            bool isKey = Under(it->first, "reg ", full);
            if (!isKey && !Under(it->first, "val ", full))
                continue;
            std::string item = it->first.substr(4);
            std::size_t tab = item.find('\t');
            std::string sub;
            SplitKey(item.substr(0, tab), &root, &sub);
            HKEY key;
            if (::RegCreateKeyExA(root, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr) != ERROR_SUCCESS) {
                *why = "cannot create " + item.substr(0, tab);
                return false;
            }
            if (!isKey) {
                std::size_t colon = it->second.find(':');
                std::string data = it->second.substr(colon + 1);
                ::RegSetValueExA(key, item.substr(tab + 1).c_str(), 0,
                                 static_cast<DWORD>(std::stoul(it->second.substr(0, colon))),
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
            }
            ::RegCloseKey(key);
        }
    }
    // A key that appeared goes; a lost one comes back only as a footprint key watched
    // whole.
    for (const std::string& item : changed) {
        if (item.compare(0, 4, "reg ") != 0 || want.items.count(item) != 0)
            continue;
        HKEY root;
        std::string path;
        if (SplitKey(item.substr(4), &root, &path))
            DeleteSubtree(root, path);
    }
    // Folders and files: new ones go (deepest first, as the map's reverse order has
    // them), lost or changed ones come back with their bytes and time.
    for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
        if (want.items.count(*it) != 0)
            continue;
        if (it->compare(0, 5, "file ") == 0)
            ::DeleteFileA(it->substr(5).c_str());
        else if (it->compare(0, 4, "dir ") == 0)
            ::RemoveDirectoryA(it->substr(4).c_str());
    }
    for (const std::string& item : changed) {
        if (item.compare(0, 4, "dir ") == 0 && want.items.count(item) != 0)
            ::CreateDirectoryA(item.substr(4).c_str(), nullptr);
    }
    for (const std::string& item : changed) {
        if (item.compare(0, 5, "file ") != 0 || want.items.count(item) == 0)
            continue;
        std::string path = item.substr(5);
        auto bytes = want.contents.find(path);
        if (bytes == want.contents.end()) {
            *why = "no bytes kept for " + path;
            return false;
        }
        ULONGLONG time = std::stoull(want.items.at(item).substr(want.items.at(item).find('@') + 1));
        FILETIME written{static_cast<DWORD>(time & 0xFFFFFFFFu), static_cast<DWORD>(time >> 32)};
        if (!WriteBytes(path, bytes->second, &written)) {
            *why = "cannot write " + path;
            return false;
        }
    }
    // The profile files get a new time: Wine keeps win.ini in memory for as long as the
    // file's last-write time stays the same.
    for (const char* name : {"win.ini", "wininit.ini"}) {
        std::string item = std::string("bytes ") + name;
        if (ValueOf(want.items, item) == ValueOf(now, item))
            continue;
        std::string path = watch.windowsDir + "\\" + name;
        bool ok = want.items.count(item) ? WriteBytes(path, want.items.at(item), nullptr)
                                         : ::DeleteFileA(path.c_str()) != 0;
        if (!ok) {
            *why = std::string("cannot put back ") + name;
            return false;
        }
    }
    return true;
}

std::vector<std::string> Changed(const Items& a, const Items& b) {
    std::vector<std::string> out;
    auto i = a.begin();
    auto j = b.begin();
    while (i != a.end() || j != b.end()) {
        if (j == b.end() || (i != a.end() && i->first < j->first)) {
            out.push_back(i++->first);
        } else if (i == a.end() || j->first < i->first) {
            out.push_back(j++->first);
        } else {
            if (i->second != j->second)
                out.push_back(i->first);
            ++i;
            ++j;
        }
    }
    return out;
}

const std::string& ValueOf(const Items& items, const std::string& item) {
    auto it = items.find(item);
    return it == items.end() ? kAbsent : it->second;
}

} // namespace qvl::faultwalk
