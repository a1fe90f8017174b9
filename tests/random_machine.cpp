// random_machine.cpp: seeded random machines that mix the driver's footprint with near
// misses, and what the removal must leave of each, worked out from the rules alone.
#include "random_machine.h"
#include "test_support.h"

#include "platform/emu/demo.h"
#include "platform/emu/machine.h"
#include "platform/emu/registry.h"
#include "platform/platform.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace qvl::test {

namespace {

using emu::RegValue;

const std::string kName = "Ovrik Velostrix R40";
const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kToken = "QVL7STAT.EXE";

const char* const kLinks[] = {
    "How do I for Velostrix R40.LNK", "Troubleshooting for Velostrix R40.LNK",
    "Velostrix R40 Printer Monitor.LNK", "Velostrix R40 Uninstall program.LNK"};

// The driver's fixed keys with the aliases resolved; the last two go only on builds
// above 950 (HKEY_CURRENT_USER's row is the same key as HKEY_USERS\.DEFAULT's).
const char* const kFixedKeys[] = {
    "SOFTWARE\\Classes\\CLSID\\{f294d80-a93f-11d2-a531-0020afee395f}",
    "SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension",
    "Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40",
    "Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A",
    "System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Drivers\\Ovrik "
    "Velostrix R40",
    "System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Print "
    "Processors\\Velostrix R40 "
    "PrintProcessor",
    "System\\CurrentControlSet\\control\\Print\\Monitors\\Velostrix R40 LanguageMonitor",
    "System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40",
    "Security\\Access\\PRINT\\Ovrik Velostrix R40",
};
const char kMenuOrder[] =
    "HKEY_USERS\\."
    "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
    "Menu\\&Programs\\Velostrix R40";

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

std::string SnapshotPath(const std::string& windowsPath) {
    std::string out = windowsPath.substr(0, 1);
    for (char c : windowsPath.substr(2))
        out.push_back(c == '\\' ? '/' : c);
    return out;
}

} // namespace

RandomMachine MakeRandomMachine(std::uint32_t seed, const std::string& folder) {
    Dice d(seed);
    RandomMachine m;
    std::uint32_t low = static_cast<std::uint32_t>(
        d.Pick(std::vector<int>{950, 951, 0, 65535, 1998, 949, d.Int(0, 2000)}));
    std::uint32_t high =
        d.Chance(0.5) ? 0x040A0000u : static_cast<std::uint32_t>(d.Int(0, 65535)) << 16;
    m.build = high | low;
    bool newShell = low > 950;
    const std::string windows = d.Chance(0.8) ? "C:\\WINDOWS" : "D:\\WIN98";
    const std::string system = windows + (d.Chance(0.8) ? "\\SYSTEM" : "\\SYS");
    m.windowsFolder = SnapshotPath(windows);
    char buildText[16];
    std::snprintf(buildText, sizeof buildText, "0x%08X", static_cast<unsigned>(m.build));
    emu::PutMachineFolder(folder, system);
    std::string machineIni = std::string("[Version]\r\nBuildNumber=") + buildText +
                             "\r\n[Directories]\r\nWindows=" + windows + "\r\nSystem=" + system +
                             "\r\n";
    emu::WriteHostFileAtomically(folder + "/machine.ini", machineIni);

    // Registry.
    std::map<std::string, std::vector<RegValue>> keys;
    for (const char* k : kFixedKeys) {
        std::string path = kHklm + k;
        if (d.Chance(0.6)) {
            keys[path] = {emu::RegString("Name", kName)};
            if (d.Chance(0.5))
                keys[path + "\\Sub" + std::to_string(d.Int(1, 3))] = {emu::RegDword("x", 1)};
            if (d.Chance(0.3))
                keys[path + "\\A\\B"] = {};
        }
        // Near misses beside it.
        if (d.Chance(0.3))
            keys[path + (d.Chance(0.5) ? " Pro" : "0")] = {emu::RegString("Name", "other")};
    }
    if (d.Chance(0.5))
        keys[kMenuOrder] = {emu::RegBinary("Order", 3, std::string("\x08\0\0\0", 4))};
    keys[std::string(kMenuOrder).substr(0, std::string(kMenuOrder).size() - 4) + "R4"] = {};
    keys[kHklm + "SOFTWARE\\Classes\\CLSID\\{f294d800-a93f-11d2-a531-0020afee395f}"] = {};

    const std::string enumBase = kHklm + "Enum\\Root\\printer";
    const std::string classBase = kHklm + "System\\CurrentControlSet\\Services\\Class\\Printer";
    std::vector<std::string> removedInstances;
    for (int pass = 0; pass < 2; ++pass) {
        const std::string& base = pass == 0 ? enumBase : classBase;
        std::map<int, bool> instances = RandomInstances(d);
        for (auto& entry : instances) {
            char number[16];
            std::snprintf(number, sizeof number, "%04d", entry.first);
            Description desc = RandomDescription(d, pass == 0 ? "DeviceDesc" : "DriverDesc",
                                                 pass == 0 ? "DriverDesc" : "DeviceDesc");
            entry.second = desc.matches;
            std::vector<RegValue> values;
            if (desc.present)
                values.push_back(desc.value);
            values.push_back(emu::RegString("Class", "Printer"));
            keys[base + "\\" + number] = values;
            if (d.Chance(0.3))
                keys[base + "\\" + number + "\\LogConfig"] = {};
        }
        for (int n : SweepOutcome(instances)) {
            char number[16];
            std::snprintf(number, sizeof number, "%04d", n);
            removedInstances.push_back(base + "\\" + number);
        }
        if (instances.empty())
            keys[base] = {};
    }

    std::string programs = windows + "\\Start Menu\\Programs";
    bool shellFolders = d.Chance(0.8);
    if (shellFolders)
        keys["HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
             "Folders"] = {emu::RegString("Programs", programs)};
    else
        programs = "C:";

    std::string registry = "REGEDIT4\r\n\r\n";
    for (const auto& k : keys)
        registry += emu::RegBlock(k.first, k.second);
    emu::WriteHostFileAtomically(folder + "/registry.reg", registry);

    for (std::size_t i = 0; i < (newShell ? 9u : 8u); ++i)
        m.removedKeys.push_back(kHklm + kFixedKeys[i]);
    if (newShell)
        m.removedKeys.push_back(kMenuOrder);
    m.removedKeys.insert(m.removedKeys.end(), removedInstances.begin(), removedInstances.end());

    // win.ini: the printer's lines and sections among others, some named after it.
    std::vector<Section> ini;
    ini.push_back({"windows", {{"device", "HP LaserJet 4,HPPCL5MS,LPT1:"}, {"load", ""}}});
    const std::vector<std::string> devices = {"",
                                              "kdp4mz,LPT1:",
                                              "kdp4mz,LPT2:",
                                              "kdp4mz,\\\\SRV\\Q" + std::to_string(d.Int(1, 9)),
                                              "kdp4mz\\LPT1:",
                                              "kdp4mz,FILE:",
                                              "kdp4mz," + std::string(160, 'L') + "\\"};
    std::string device = d.Pick(devices);
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
    std::string network = device.find(',') != std::string::npos
                              ? kName + "-" + device.substr(device.find(',') + 1)
                              : "";
    if (!network.empty() && device.find('\\') != std::string::npos && device.size() < 149)
        portSections.push_back(network);
    for (const std::string& s : portSections)
        if (d.Chance(0.6))
            ini.push_back({d.Chance(0.2) ? Upper(s) : s,
                           {{"Resolution", std::to_string(d.Int(1, 12) * 100)}}});
    ini.push_back({"fonts", {{"Arial (TrueType)", "ARIAL.TTF"}}});
    std::shuffle(ini.begin() + 3, ini.end(), std::mt19937(seed));

    // Which sections and lines go, by the rules of the profile stage.
    std::set<std::string> goneSections;
    bool whole = device.empty() || device.size() < 149;
    std::string value = device.empty() ? "kdp4mz,lpt1:" : device;
    if (whole && value.find('\\') != std::string::npos) {
        if (value.find(',') != std::string::npos)
            goneSections.insert(Upper(kName + "-" + value.substr(value.find(',') + 1)));
    } else if (whole) {
        for (const char* p : {"-LPT1", "-FILE", "-LPT2"})
            goneSections.insert(Upper(kName + p));
    }
    std::vector<Section> iniAfter;
    for (const Section& s : ini) {
        if (goneSections.count(Upper(s.header)))
            continue;
        Section kept = s;
        if (SameText(s.header, "Devices") || SameText(s.header, "PrinterPorts")) {
            auto it = std::find_if(kept.lines.begin(), kept.lines.end(),
                                   [](const std::pair<std::string, std::string>& l) {
                                       return SameText(l.first, kName);
                                   });
            if (it != kept.lines.end())
                kept.lines.erase(it);
        }
        iniAfter.push_back(kept);
    }
    emu::PutMachineFile(folder, windows + "\\WIN.INI", Render(ini));
    m.winIniAfter = Render(iniAfter);

    // The Start-menu group.
    std::string group = programs + "\\Ovrik Velostrix R40";
    bool groupThere = d.Chance(0.7);
    bool extra = false;
    if (groupThere) {
        emu::PutMachineFolder(folder, group);
        for (const char* link : kLinks) {
            if (d.Chance(0.8)) {
                emu::PutMachineFile(folder, group + "\\" + link, "L");
                m.removedFiles.push_back(SnapshotPath(group + "\\" + link));
            }
        }
        extra = d.Chance(0.25);
        if (extra)
            emu::PutMachineFile(
                folder, group + "\\" + (d.Chance(0.5) ? "My notes.txt" : "Velostrix R40.LNK"),
                "mine");
        if (!extra)
            m.removedFolders.push_back(SnapshotPath(group));
    }
    emu::PutMachineFile(folder, programs + "\\Accessories\\Notepad.lnk", "L");
    emu::PutMachineFile(folder, programs + "\\Ovrik Velostrix R40 Tools\\Readme.LNK", "L");

    // The system directory.
    for (const char* name : kSystemFiles) {
        if (d.Chance(0.7)) {
            emu::PutMachineFile(folder, system + "\\" + name, name);
            m.removedFiles.push_back(SnapshotPath(system + "\\" + name));
        }
    }
    for (const char* name : kDeferredFiles)
        if (d.Chance(0.7))
            emu::PutMachineFile(folder, system + "\\" + name, name);
    for (const char* other : {"QVL733.DLL", "QVL7STAT.EX_", "QVL7STAT.EXE.BAK", "UNIDRV.DLL"})
        if (d.Chance(0.5))
            emu::PutMachineFile(folder, system + "\\" + other, other);

    // INF files: the fixed one, and OEM files with the token in near-miss forms.
    const std::string inf = windows + "\\INF";
    emu::PutMachineFolder(folder, inf);
    if (d.Chance(0.6)) {
        emu::PutMachineFile(folder, inf + "\\OTHER\\OVRIKQVL7R40.INF",
                            "[Version]\r\n" + kToken + "\r\n");
        if (newShell)
            m.removedFiles.push_back(SnapshotPath(inf + "\\OTHER\\OVRIKQVL7R40.INF"));
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
        emu::PutMachineFile(folder, inf + "\\" + name, bytes);
        if (!newShell && MatchesOemInf(name) && HoldsToken(bytes))
            m.removedFiles.push_back(SnapshotPath(inf + "\\" + name));
    }
    emu::PutMachineFile(folder, inf + "\\printer.inf", kToken + "\r\n");

    // wininit.ini.
    std::string lines;
    for (const char* name : kDeferredFiles)
        lines += "NULL=" + system + "\\" + name + "\r\n";
    switch (d.Int(0, 3)) {
    case 0:
        m.wininitAfter = "[rename]\r\n" + lines;
        break;
    case 1:
        emu::PutMachineFile(folder, windows + "\\wininit.ini", "[rename]\r\nNUL=C:\\OLD.DLL\r\n");
        m.wininitAfter = "[rename]\r\nNUL=C:\\OLD.DLL\r\n" + lines;
        break;
    case 2:
        emu::PutMachineFile(folder, windows + "\\wininit.ini", "[rename]\r\n\x1A");
        m.wininitAfter = "[rename]\r\n" + lines;
        break;
    default:
        emu::PutMachineFile(folder, windows + "\\wininit.ini", "");
        m.wininitAfter = lines;
        break;
    }
    return m;
}

} // namespace qvl::test
