// random_machine.cpp: seeded random machines that mix the driver's footprint with near
// misses, and what the removal must leave of each, worked out from the rules alone.
//
// The footprint's names come from the removal's tables; what each machine must lose is
// worked out from the rules over them (which key goes on which build, which port names
// which section). tests/wine/footprint.sh states the names again, independently.
#include "random_machine.h"
#include "test_support.h"

#include "platform/emu/machine.h"
#include "platform/emu/machine_folder.h"
#include "platform/emu/registry.h"
#include "platform/platform.h"
#include "removal/inf_cleanup.h"
#include "removal/profile_cleanup.h"
#include "removal/start_menu.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace qvl::test {

namespace {

using emu::RegValue;

const std::string kName = PrinterModelName;
const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kToken = kInfToken;

// The fixed keys with the aliases resolved, and whether a build of the kind takes each:
// a key that two rows reach goes when either of them applies.
std::map<std::string, bool> FixedKeyPaths(bool newShell) {
    std::map<std::string, bool> paths;
    for (const FixedKey& key : kFixedKeys)
        paths[FullPath(key)] |= newShell || key.builds == OnBuilds::kEvery;
    return paths;
}

class Dice {
  public:
    explicit Dice(std::uint32_t seed) : rng_(seed) {}
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    template <class T> const T& Pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(Int(0, static_cast<int>(v.size()) - 1))];
    }

  private:
    std::mt19937 rng_;
};

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// A description value: what it is, and whether the sweep must take it as the printer.
struct Description {
    bool present;
    RegValue value;
    bool matches;
};

Description RandomDescription(Dice& d, const std::string& valueName, const std::string& otherName) {
    switch (d.Int(0, 11)) {
    case 0:
    case 1:
    case 2:
        return {true, emu::RegString(valueName, kName), true};
    case 3:
        return {true, emu::RegString(valueName, Upper(kName)), false};
    case 4:
        return {true, emu::RegString(valueName, kName + (d.Chance(0.5) ? " " : "0")), false};
    case 5:
        return {true, emu::RegString(valueName, kName.substr(0, 18) + "1"), false};
    case 6:
        return {false, {}, false}; // no description at all
    case 7:
        return {true, emu::RegString(otherName, kName), false}; // the other pass's value
    case 8: // another type, the same bytes: the type is not looked at
        return {true, emu::RegBinary(valueName, 3, kName + std::string(1, '\0')), true};
    case 9: // text without its terminating zero
        return {true, emu::RegBinary(valueName, 1, kName), true};
    case 10: // too long for the buffer, with the name first
        return {true,
                emu::RegString(valueName,
                               kName + std::string(static_cast<std::size_t>(d.Int(230, 300)), 'x')),
                false};
    default:
        return {true, emu::RegString(valueName, "HP LaserJet " + std::to_string(d.Int(1, 9))),
                false};
    }
}

// The sweep's rules, from its state table: which of the numbered keys get deleted.
std::set<int> SweepOutcome(const std::map<int, bool>& keys) {
    std::set<int> deleted;
    auto exists = [&](int n) { return keys.count(n) != 0; };
    int next = 1;    // the next number to build
    int spent = 0;   // the budget spent
    int current = 0; // the key being examined
    bool examining = exists(0);
    for (;;) {
        if (examining) {
            if (keys.at(current)) {
                deleted.insert(current); // its re-open fails: a change to probing
            } else {
                if (next > 9999)
                    return deleted;
                current = next++;
                if (exists(current))
                    continue;
            }
            if (++spent > 100)
                return deleted;
            examining = false;
        }
        if (spent > 100 || next > 9999)
            return deleted;
        current = next++;
        ++spent;
        if (exists(current)) {
            if (++spent > 100)
                return deleted;
            examining = true;
        }
    }
}

std::map<int, bool> RandomInstances(Dice& d) {
    std::map<int, bool> keys;
    int n = d.Chance(0.7) ? 0 : d.Int(1, 120);
    int count = d.Int(0, 12);
    for (int i = 0; i < count && n < 400; ++i) {
        keys[n] = false;
        n += d.Chance(0.6) ? 1 : d.Int(2, d.Chance(0.3) ? 120 : 40);
    }
    return keys;
}

struct Section {
    std::string header;
    std::vector<std::pair<std::string, std::string>> lines; // key, value; key "" for a comment
};

std::string Render(const std::vector<Section>& sections) {
    std::string out;
    for (const Section& s : sections) {
        out += "[" + s.header + "]\r\n";
        for (const auto& l : s.lines)
            out += l.first.empty() ? l.second + "\r\n" : l.first + "=" + l.second + "\r\n";
        out += "\r\n";
    }
    return out;
}

bool SameText(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

// DOS wildcard "oem*.inf" against a long name, without regard to case.
bool MatchesOemInf(const std::string& name) {
    std::string u = Upper(name);
    return u.size() >= 7 && u.compare(0, 3, "OEM") == 0 && u.compare(u.size() - 4, 4, ".INF") == 0;
}

// Whether the text, read as the C runtime reads a text file, holds the token as a word.
bool HoldsToken(const std::string& bytes) {
    std::string text = bytes.substr(0, bytes.find('\x1A'));
    std::string word;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : ' ';
        if (c == ' ' || (c >= 9 && c <= 13)) {
            if (word == kToken)
                return true;
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    return false;
}

// A [Devices] value is read into 150 bytes, so a read shows at most 149 characters.
constexpr std::size_t kShown = 150 - 1;

using Keys = std::map<std::string, std::vector<RegValue>>;

// Where a random machine keeps its Windows folders.
struct Layout {
    std::string folder; // the machine folder on the host
    std::string windows;
    std::string system;
    std::string programs; // the Start menu's Programs folder; "C:" when none is registered
    bool newShell = false;
};

Layout RandomLayout(Dice& d, const std::string& folder, RandomMachine* m) {
    Layout l;
    l.folder = folder;
    std::uint32_t low = static_cast<std::uint32_t>(
        d.Pick(std::vector<int>{kLastOldShellBuild, kLastOldShellBuild + 1, 0, 65535, 1998,
                                kLastOldShellBuild - 1, d.Int(0, 2000)}));
    std::uint32_t high =
        d.Chance(0.5) ? 0x040A0000u : static_cast<std::uint32_t>(d.Int(0, 65535)) << 16;
    m->build = high | low;
    l.newShell = IsNewShellBuild(m->build);
    l.windows = d.Chance(0.8) ? "C:\\WINDOWS" : "D:\\WIN98";
    l.system = l.windows + (d.Chance(0.8) ? "\\SYSTEM" : "\\SYS");
    m->windowsFolder = SnapshotPath(l.windows);
    char buildText[16];
    std::snprintf(buildText, sizeof buildText, "0x%08X", static_cast<unsigned>(m->build));
    emu::PutMachineFolder(folder, l.system);
    emu::WriteHostFileAtomically(folder + "/machine.ini",
                                 std::string("[Version]\r\nBuildNumber=") + buildText +
                                     "\r\n[Directories]\r\nWindows=" + l.windows +
                                     "\r\nSystem=" + l.system + "\r\n");
    return l;
}

// The fixed keys, some with subtrees, near misses beside them.
void AddFixedKeys(Dice& d, bool newShell, Keys* keys, RandomMachine* m) {
    for (const auto& [path, removed] : FixedKeyPaths(newShell)) {
        if (d.Chance(0.6)) {
            (*keys)[path] = {emu::RegString("Name", kName)};
            if (d.Chance(0.5))
                (*keys)[path + "\\Sub" + std::to_string(d.Int(1, 3))] = {emu::RegDword("x", 1)};
            if (d.Chance(0.3))
                (*keys)[path + "\\A\\B"] = {};
            if (removed)
                m->removedKeys.push_back(path);
        }
        if (d.Chance(0.3))
            (*keys)[path.substr(0, path.size() - 1)] = {}; // one letter short
        if (d.Chance(0.3))
            (*keys)[path + (d.Chance(0.5) ? " Pro" : "0")] = {emu::RegString("Name", "other")};
    }
    (*keys)[kHklm + "SOFTWARE\\Classes\\CLSID\\{f294d800-a93f-11d2-a531-0020afee395f}"] = {};
}

std::string Numbered(const std::string& base, int n) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", n);
    return base + "\\" + number;
}

// One branch's numbered keys, each described one way or another.
void AddInstanceKeys(Dice& d, const std::string& base, const std::string& valueName,
                     const std::string& otherName, Keys* keys, RandomMachine* m) {
    std::map<int, bool> instances = RandomInstances(d);
    for (auto& entry : instances) {
        Description desc = RandomDescription(d, valueName, otherName);
        entry.second = desc.matches;
        std::vector<RegValue> values;
        if (desc.present)
            values.push_back(desc.value);
        values.push_back(emu::RegString("Class", "Printer"));
        (*keys)[Numbered(base, entry.first)] = values;
        if (d.Chance(0.3))
            (*keys)[Numbered(base, entry.first) + "\\LogConfig"] = {};
    }
    for (int n : SweepOutcome(instances))
        m->removedKeys.push_back(Numbered(base, n));
    if (instances.empty())
        (*keys)[base] = {};
}

void AddShellFolders(Dice& d, Layout* l, Keys* keys) {
    l->programs = l->windows + "\\Start Menu\\Programs";
    if (d.Chance(0.8))
        (*keys)["HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                "Shell Folders"] = {emu::RegString("Programs", l->programs)};
    else
        l->programs = "C:";
}

void AddRegistry(Dice& d, Layout* l, RandomMachine* m) {
    Keys keys;
    AddFixedKeys(d, l->newShell, &keys, m);
    AddInstanceKeys(d, kHklm + "Enum\\Root\\printer", "DeviceDesc", "DriverDesc", &keys, m);
    AddInstanceKeys(d, kHklm + "System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc",
                    "DeviceDesc", &keys, m);
    AddShellFolders(d, l, &keys);
    std::string registry = "REGEDIT4\r\n\r\n";
    for (const auto& k : keys)
        registry += emu::RegBlock(k.first, k.second);
    emu::WriteHostFileAtomically(l->folder + "/registry.reg", registry);
}

// A value for the printer's [Devices] line: none, a local or network port, or one
// around the 150-byte buffer that it is read into, with a backslash before, at or past
// the point where a read cuts it.
std::string RandomDevice(Dice& d) {
    const std::vector<std::string> devices = {"",
                                              "kdp4mz,LPT1:",
                                              "kdp4mz,LPT2:",
                                              "kdp4mz,\\\\SRV\\Q" + std::to_string(d.Int(1, 9)),
                                              "kdp4mz\\LPT1:",
                                              "kdp4mz,FILE:",
                                              "kdp4mz," + std::string(160, 'L') + "\\"};
    std::string device = d.Pick(devices);
    if (d.Chance(0.3)) {
        std::size_t length =
            static_cast<std::size_t>(d.Pick(std::vector<int>{147, 148, 149, 150, 151, 170}));
        device = "kdp4mz,";
        int backslash = d.Chance(0.4) ? -1 : d.Int(7, static_cast<int>(length) - 1);
        while (device.size() < length)
            device.push_back(static_cast<int>(device.size()) == backslash ? '\\' : 'P');
    }
    return device;
}

// The per-port sections that the removal deletes for a [Devices] value ("" when win.ini
// has no such line), in upper case. A read that shows 149 characters cannot be told
// from one of a longer value. A backslash in what the read shows means a network port,
// named after the first comma; its section is deleted only when the read shows the
// port whole. Without a backslash the three fixed sections go, whatever the length.
std::set<std::string> GoneSections(const std::string& device) {
    std::string value = device.empty() ? "kdp4mz,lpt1:" : device;
    std::string shown = value.substr(0, kShown);
    bool mayBeCut = value.size() >= kShown;
    std::set<std::string> gone;
    if (shown.find('\\') == std::string::npos) {
        for (const char* p : kFixedPortSuffixes)
            gone.insert(Upper(kName + p));
    } else if (!mayBeCut && shown.find(',') != std::string::npos) {
        gone.insert(Upper(kName + "-" + shown.substr(shown.find(',') + 1)));
    }
    return gone;
}

// The printer's lines and sections among others, some named after it.
void AddProfile(Dice& d, std::uint32_t seed, const Layout& l, RandomMachine* m) {
    std::vector<Section> ini;
    ini.push_back({"windows", {{"device", "HP LaserJet 4,HPPCL5MS,LPT1:"}, {"load", ""}}});
    std::string device = RandomDevice(d);
    Section dev{"Devices", {{"HP LaserJet 4", "HPPCL5MS,LPT1:"}}};
    Section ports{"PrinterPorts", {{"HP LaserJet 4", "HPPCL5MS,LPT1:,15,45"}}};
    if (d.Chance(0.3)) {
        dev.lines.push_back({kName + " Pro", "kdp4mz,LPT1:"});
        ports.lines.push_back({kName + " Pro", "kdp4mz,LPT1:,15,45"});
    }
    if (!device.empty()) {
        dev.lines.insert(dev.lines.begin() + d.Int(0, static_cast<int>(dev.lines.size())),
                         {kName, device});
        if (d.Chance(0.8))
            ports.lines.push_back({d.Chance(0.2) ? Upper(kName) : kName, device + ",15,45"});
    }
    ini.push_back(dev);
    ini.push_back(ports);
    std::vector<std::string> portSections = {kName + "-LPT1", kName + "-FILE",     kName + "-LPT2",
                                             kName + "-LPT3", kName + " Pro-LPT1", kName + "-"};
    // The sections named after the port, whole and as far as a read shows it.
    std::size_t comma = device.find(',');
    if (comma != std::string::npos) {
        portSections.push_back(kName + "-" + device.substr(comma + 1));
        if (device.size() > kShown && comma < kShown)
            portSections.push_back(kName + "-" + device.substr(comma + 1, kShown - comma - 1));
    }
    for (const std::string& s : portSections)
        if (d.Chance(0.6))
            ini.push_back({d.Chance(0.2) ? Upper(s) : s,
                           {{"Resolution", std::to_string(d.Int(1, 12) * 100)}}});
    ini.push_back({"fonts", {{"Arial (TrueType)", "ARIAL.TTF"}}});
    std::shuffle(ini.begin() + 3, ini.end(), std::mt19937(seed));

    std::set<std::string> goneSections = GoneSections(device);
    std::vector<Section> iniAfter;
    for (const Section& s : ini) {
        if (goneSections.count(Upper(s.header)))
            continue;
        Section kept = s;
        if (SameText(s.header, "Devices") || SameText(s.header, "PrinterPorts")) {
            auto it = std::find_if(kept.lines.begin(), kept.lines.end(),
                                   [](const std::pair<std::string, std::string>& line) {
                                       return SameText(line.first, kName);
                                   });
            if (it != kept.lines.end())
                kept.lines.erase(it);
        }
        iniAfter.push_back(kept);
    }
    emu::PutMachineFile(l.folder, l.windows + "\\WIN.INI", Render(ini));
    m->winIniAfter = Render(iniAfter);
}

void AddStartMenuGroup(Dice& d, const Layout& l, RandomMachine* m) {
    std::string group = l.programs + kGroupFolder;
    if (d.Chance(0.7)) {
        emu::PutMachineFolder(l.folder, group);
        for (const char* link : kShortcuts) {
            if (d.Chance(0.8)) {
                emu::PutMachineFile(l.folder, group + link, "L");
                m->removedFiles.push_back(SnapshotPath(group + link));
            }
        }
        // A file of the user's keeps the folder.
        if (d.Chance(0.25))
            emu::PutMachineFile(
                l.folder, group + "\\" + (d.Chance(0.5) ? "My notes.txt" : "Velostrix R40.LNK"),
                "mine");
        else
            m->removedFolders.push_back(SnapshotPath(group));
    }
    emu::PutMachineFile(l.folder, l.programs + "\\Accessories\\Notepad.lnk", "L");
    emu::PutMachineFile(l.folder, l.programs + "\\" + kName + " Tools\\Readme.LNK", "L");
}

void AddSystemFiles(Dice& d, const Layout& l, RandomMachine* m) {
    for (const char* name : kSystemFiles) {
        if (d.Chance(0.7)) {
            emu::PutMachineFile(l.folder, l.system + "\\" + name, name);
            m->removedFiles.push_back(SnapshotPath(l.system + "\\" + name));
        }
    }
    for (const char* name : kDeferredFiles)
        if (d.Chance(0.7))
            emu::PutMachineFile(l.folder, l.system + "\\" + name, name);
    for (const char* other : {"QVL733.DLL", "QVL7STAT.EX_", "QVL7STAT.EXE.BAK", "UNIDRV.DLL"})
        if (d.Chance(0.5))
            emu::PutMachineFile(l.folder, l.system + "\\" + other, other);
}

// The fixed INF file, and OEM files with the word in near-miss forms.
void AddInfFiles(Dice& d, const Layout& l, RandomMachine* m) {
    const std::string inf = l.windows + "\\INF";
    emu::PutMachineFolder(l.folder, inf);
    if (d.Chance(0.6)) {
        emu::PutMachineFile(l.folder, inf + "\\OTHER\\OVRIKQVL7R40.INF",
                            "[Version]\r\n" + kToken + "\r\n");
        if (l.newShell)
            m->removedFiles.push_back(SnapshotPath(inf + "\\OTHER\\OVRIKQVL7R40.INF"));
    }
    const std::vector<std::string> contents = {
        kToken + "\r\n",
        "[Files]\r\n" + kToken,
        kToken + " = 1\r\n",
        kToken + ",,,1\r\n",
        "\"" + kToken + "\"\r\n",
        "qvl7stat.exe\r\n",
        "x\x1A" + kToken + "\r\n",
        "",
        "  \r\n",
        "X" + kToken,
        std::string(300, 'A') + kToken,
        "[Version]\r\nClass=Printer\r\n",
        kToken + std::string(1, '\0') + "\r\n",
        "\t" + kToken + "\x1A",
    };
    const std::vector<std::string> names = {"oem", "OEM", "Oem"};
    int files = d.Int(0, 8);
    for (int i = 0; i < files; ++i) {
        std::string name = d.Pick(names) + std::to_string(i) +
                           (d.Chance(0.8)   ? ".inf"
                            : d.Chance(0.5) ? ".pnf"
                                            : ".inf.bak");
        std::string bytes = d.Pick(contents);
        emu::PutMachineFile(l.folder, inf + "\\" + name, bytes);
        if (!l.newShell && MatchesOemInf(name) && HoldsToken(bytes))
            m->removedFiles.push_back(SnapshotPath(inf + "\\" + name));
    }
    emu::PutMachineFile(l.folder, inf + "\\printer.inf", kToken + "\r\n");
}

// wininit.ini as other programs leave it: sections in any order and letter case, blanks
// of every kind before headers, lines past the 260-byte pieces it is read in with a "["
// at a piece's edge, NULs at a line's start and inside it, CR or LF alone (in brackets
// too), a final Ctrl-Z, no final line end; or no file at all.
void AddWininit(Dice& d, const Layout& l, RandomMachine* m) {
    for (const char* name : kDeferredFiles)
        m->deferredLines += "NULL=" + l.system + "\\" + name + "\r\n";
    if (d.Chance(0.15))
        return;
    const std::vector<std::string> names = {"rename",    "RENAME",   "a]\r[Rename",
                                            " rename\t", "rena\rme", "CombineVxDs",
                                            "renamed",   "rename]x", {"rename\0x", 8}};
    const std::vector<std::string> ends = {"\r\n", "\r\n", "\n", "\r"};
    const std::string blanks(" \t\v\f\x1A");
    std::string text;
    for (int lines = d.Int(0, 7); lines > 0; --lines) {
        // What stands before the line's "[": nothing, a few blanks, or enough of them or
        // of some text to bring it to the edge of a piece.
        char fill = d.Chance(0.2) ? 'x' : blanks[static_cast<std::size_t>(d.Int(0, 4))];
        std::size_t edge = 260 - text.size() % 260 - static_cast<std::size_t>(d.Int(0, 1));
        std::size_t lead = d.Pick(std::vector<std::size_t>{0, 0, 1, 3, edge, 300});
        text += (d.Chance(0.1) ? std::string(1, '\0') : "") + std::string(lead, fill);
        switch (d.Int(0, 4)) {
        case 0:
        case 1:
            text += "[" + d.Pick(names) + "]";
            break;
        case 2:
            text += "NUL=C:\\OLD" + std::string(d.Chance(0.2) ? 1 : 0, '\0') + ".DLL";
            break;
        case 3:
            text += "; [rename] by setup";
            break;
        default:
            text += "[rename";
            break;
        }
        text += d.Pick(ends);
    }
    if (!text.empty() && d.Chance(0.2))
        text.pop_back(); // no final line end
    if (d.Chance(0.15))
        text += "\x1A";
    emu::PutMachineFile(l.folder, l.windows + "\\wininit.ini", text);
    m->wininitBefore = text;
}

} // namespace

RandomMachine MakeRandomMachine(std::uint32_t seed, const std::string& folder) {
    Dice d(seed);
    RandomMachine m;
    Layout l = RandomLayout(d, folder, &m);
    AddRegistry(d, &l, &m);
    AddProfile(d, seed, l, &m);
    AddStartMenuGroup(d, l, &m);
    AddSystemFiles(d, l, &m);
    AddInfFiles(d, l, &m);
    AddWininit(d, l, &m);
    return m;
}

} // namespace qvl::test
