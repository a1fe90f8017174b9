// demo.cpp: machine folders with the driver installed, and comparing machine states.
#include "platform/emu/demo.h"
#include "platform/emu/machine.h"
#include "platform/emu/registry.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace qvl::emu {

namespace {

const char kHklm[] = "HKEY_LOCAL_MACHINE\\";
const char kPrintKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print\\";
const char kClsid[] = "{f294d80-a93f-11d2-a531-0020afee395f}";
const char kOurs[] = "Ovrik Velostrix R40";
const char kOther[] = "HP LaserJet 4";

fs::path HostOf(const std::string& folder, const std::string& windowsPath) {
    std::string path = windowsPath;
    std::string drive = "C";
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 1);
        path = path.substr(2);
    }
    fs::path host = fs::path(folder) / drive;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            host /= path.substr(start, end - start);
        start = end + 1;
    }
    return host;
}

// Orders key paths as regedit exports them: every key before its subkeys.
bool TreeOrder(const std::string& a, const std::string& b) {
    bool validA = false;
    bool validB = false;
    return SplitPath(a, &validA) < SplitPath(b, &validB);
}

// The registry as regedit exports it: every key with a header of its own, parents
// included, each followed by a blank line.
std::string Export(const std::map<std::string, std::vector<RegValue>>& keys) {
    std::map<std::string, std::vector<RegValue>> all = keys;
    for (const auto& entry : keys)
        for (std::size_t at = entry.first.find('\\'); at != std::string::npos;
             at = entry.first.find('\\', at + 1))
            all.emplace(entry.first.substr(0, at), std::vector<RegValue>());
    std::vector<std::string> paths;
    for (const auto& entry : all)
        paths.push_back(entry.first);
    std::sort(paths.begin(), paths.end(), TreeOrder);
    std::string text = "REGEDIT4\r\n\r\n";
    for (const std::string& path : paths)
        text += RegBlock(path, all[path]);
    return text;
}

std::string Registry98(bool newShell) {
    std::map<std::string, std::vector<RegValue>> keys;
    auto key = [&keys](const std::string& path, const std::vector<RegValue>& values) {
        keys[path] = values;
    };
    const std::string classes = std::string(kHklm) + "SOFTWARE\\Classes\\";
    const std::string print = kPrintKey;
    const std::string ext = "Printers\\shellex\\ContextMenuHandlers\\";

    // Another printer and the system around it.
    key(classes + "CLSID\\{00021400-0000-0000-C000-000000000046}", {RegString("", "Desktop")});
    key(classes + ext + "Fax Shell Extension",
        {RegString("", "{E3BA6A60-8C4B-11CF-9F26-00AA00BC8C6E}")});
    key(print + "Printers\\" + kOther,
        {RegString("Name", kOther), RegString("Port", "LPT1:"), RegDword("Attributes", 0x40)});
    key(print + "Environments\\Windows 4.0\\Drivers\\" + kOther,
        {RegString("Driver", "HPPCL5MS.DRV")});
    key(print + "Environments\\Windows 4.0\\Print Processors\\WinPrint",
        {RegString("Driver", "SPOOLSS.DLL")});
    key(print + "Monitors\\Local Port", {RegString("Driver", "localmon.dll")});
    key(std::string(kHklm) + "Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\" +
            kOther,
        {RegString("Default", "1")});
    key(std::string(kHklm) + "Enum\\LPTENUM\\HEWLETT-PACKARDLASERJE3AB8",
        {RegString("DeviceDesc", kOther)});
    key(std::string(kHklm) + "Enum\\Root\\printer\\0000",
        {RegString("DeviceDesc", kOther), RegString("Class", "Printer")});
    key(std::string(kHklm) + "System\\CurrentControlSet\\Services\\Class\\Printer\\0000",
        {RegString("DriverDesc", kOther), RegString("DevLoader", "*SPOOLER")});
    key(std::string(kHklm) + "Security\\Access\\PRINT\\" + kOther, {RegDword("Everyone", 0x3)});
    key("HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
        "Folders",
        {RegString("Programs", "C:\\WINDOWS\\Start Menu\\Programs"),
         RegString("Start Menu", "C:\\WINDOWS\\Start Menu")});
    key("HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\"
        "Start Menu\\&Programs\\Accessories",
        {RegBinary("Order", 3, std::string("\x08\x00\x00\x00\x02\x00\x00\x00", 8))});

    // The driver's own keys, each with something below it.
    key(classes + "CLSID\\" + kClsid, {RegString("", "Velostrix R40 Shell Extension")});
    key(classes + "CLSID\\" + kClsid + "\\InProcServer32",
        {RegString("", "QVL7SHEL.DLL"), RegString("ThreadingModel", "Apartment")});
    key(classes + ext + "Velostrix R40 Shell Extension", {RegString("", kClsid)});
    key(std::string(kHklm) + "Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\" +
            kOurs,
        {RegString("Default", "0")});
    key(std::string(kHklm) + "Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A",
        {RegString("DeviceDesc", kOurs), RegString("Driver", "Printer\\0001")});
    key(std::string(kHklm) + "Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A\\LogConfig", {});
    key(print + "Environments\\Windows 4.0\\Drivers\\" + kOurs,
        {RegString("Driver", "QVL7JP.DRV"), RegString("Data File", "QVL7JP.DRV"),
         RegString("Help File", "QVL7HLP.HLP")});
    key(print + "Environments\\Windows 4.0\\Drivers\\" + kOurs + "\\Dependent Files",
        {RegString("QVL732.DLL", ""), RegString("QVL7RAST.DLL", "")});
    key(print + "Environments\\Windows 4.0\\Print Processors\\Velostrix R40 PrintProcessor",
        {RegString("Driver", "QVL7RS.DLL")});
    key(print + "Monitors\\Velostrix R40 LanguageMonitor", {RegString("Driver", "QVL7LN98.DLL")});
    key(print + "Printers\\" + kOurs,
        {RegString("Name", kOurs), RegString("Port", "LPT1:"), RegString("Printer Driver", kOurs),
         RegDword("Attributes", 0x40)});
    key(print + "Printers\\" + kOurs + "\\PrinterDriverData",
        {RegBinary("Resolution", 3, std::string("\x58\x02\x00\x00", 4))});
    key(std::string(kHklm) + "Enum\\Root\\printer\\0001",
        {RegString("DeviceDesc", kOurs), RegString("Class", "Printer")});
    key(std::string(kHklm) + "Enum\\Root\\printer\\0001\\LogConfig", {});
    key(std::string(kHklm) + "System\\CurrentControlSet\\Services\\Class\\Printer\\0001",
        {RegString("DriverDesc", kOurs), RegString("DevLoader", "*SPOOLER")});
    key(std::string(kHklm) + "System\\CurrentControlSet\\Services\\Class\\Printer\\0001\\DEFAULT",
        {RegString("Port", "LPT1:")});
    if (newShell) {
        key(std::string(kHklm) + "Security\\Access\\PRINT\\" + kOurs, {RegDword("Everyone", 0x3)});
        key("HKEY_USERS\\."
            "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\"
            "Start Menu\\&Programs\\Velostrix R40",
            {RegBinary("Order", 3, std::string("\x08\x00\x00\x00\x04\x00\x00\x00", 8))});
    }
    return Export(keys);
}

const char kWinIni[] = "[windows]\r\n"
                       "load=\r\n"
                       "run=\r\n"
                       "device=HP LaserJet 4,HPPCL5MS,LPT1:\r\n"
                       "\r\n"
                       "[Devices]\r\n"
                       "HP LaserJet 4=HPPCL5MS,LPT1:\r\n"
                       "Ovrik Velostrix R40=kdp4mz,LPT1:\r\n"
                       "Ovrik Velostrix R40 Pro=kdp4mz,LPT2:\r\n"
                       "\r\n"
                       "[PrinterPorts]\r\n"
                       "HP LaserJet 4=HPPCL5MS,LPT1:,15,45\r\n"
                       "Ovrik Velostrix R40=kdp4mz,LPT1:,15,45\r\n"
                       "Ovrik Velostrix R40 Pro=kdp4mz,LPT2:,15,45\r\n"
                       "\r\n"
                       "[Ovrik Velostrix R40-LPT1]\r\n"
                       "Resolution=600\r\n"
                       "PaperSize=9\r\n"
                       "\r\n"
                       "[Ovrik Velostrix R40-FILE]\r\n"
                       "Resolution=300\r\n"
                       "\r\n"
                       "[Ovrik Velostrix R40-LPT2]\r\n"
                       "Resolution=300\r\n"
                       "\r\n"
                       "[Ovrik Velostrix R40 Pro-LPT2]\r\n"
                       "Resolution=1200\r\n"
                       "\r\n"
                       "[HP LaserJet 4,LPT1]\r\n"
                       "paper=1\r\n"
                       "\r\n"
                       "[fonts]\r\n"
                       "Arial (TrueType)=ARIAL.TTF\r\n";

const char* const kSystemFiles[] = {
    "QVL732.DLL",   "QVL7CT.DLL",   "QVL7HLP.HLP",  "QVL7HLP.GID",  "QVL7HLP1.HLP", "QVL7HLP1.GID",
    "QVL7TRB.HLP",  "QVL7TRB.GID",  "QVL7JNLI.DLL", "QVL7JP.DRV",   "QVL7JPLN.DLL", "QVL7LN98.DLL",
    "QVL7RAST.DLL", "QVL7RS.DLL",   "QVL7SHEL.DLL", "QVL7STAT.EXE", "QVL7TN16.DLL", "QVL7TN32.DLL",
    "QVL7LANG.DLL", "QVL7PRIN.DLL", "QVL7UNIN.EXE",
};

const char* const kOtherSystemFiles[] = {"HPPCL5MS.DRV", "UNIDRV.DLL", "SPOOLSS.DLL",
                                         "QVL7README.TXT"};

const char* const kShortcuts[] = {
    "How do I for Velostrix R40.LNK",
    "Troubleshooting for Velostrix R40.LNK",
    "Velostrix R40 Printer Monitor.LNK",
    "Velostrix R40 Uninstall program.LNK",
};

const std::string kShortcutBytes("L\0\0\0\x01\x14\x02\0", 8);

const char kOurInf[] = "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Printer\r\n"
                       "Provider=%Ovrik%\r\n\r\n[QVL7.CopyFiles]\r\nQVL732.DLL\r\nQVL7STAT.EXE\r\n"
                       "QVL7UNIN.EXE\r\n\r\n[Strings]\r\nOvrik=\"Ovrik\"\r\n";
const char kOtherInf[] = "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Printer\r\n\r\n"
                         "[HPLJ4.CopyFiles]\r\nHPPCL5MS.DRV\r\nUNIDRV.DLL\r\n";
const char kNearMissInf[] = "[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n[Notes]\r\n"
                            "; mentions QVL7STAT.EXE,,,1 and qvl7stat.exe but never the word\r\n"
                            "File=\"QVL7STAT.EXE\"\r\n";

std::string Fnv(const std::string& bytes) {
    unsigned long long h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", h);
    return text;
}

} // namespace

bool PutMachineFolder(const std::string& folder, const std::string& windowsPath) {
    std::error_code ec;
    fs::create_directories(HostOf(folder, windowsPath), ec);
    return !ec;
}

bool PutMachineFile(const std::string& folder, const std::string& windowsPath,
                    const std::string& bytes) {
    fs::path host = HostOf(folder, windowsPath);
    std::error_code ec;
    fs::create_directories(host.parent_path(), ec);
    std::FILE* f = std::fopen(host.string().c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WriteDemoMachine(const std::string& folder, WinDword build) {
    bool newShell = (build & 0xFFFF) > 950;
    char buildText[32];
    std::snprintf(buildText, sizeof buildText, "0x%08lX", static_cast<unsigned long>(build));
    std::error_code ec;
    fs::create_directories(folder, ec);
    bool ok = WriteHostFileAtomically(folder + "/machine.ini",
                                      std::string("[Version]\r\nBuildNumber=") + buildText +
                                          "\r\n\r\n[Directories]\r\nWindows=C:\\WINDOWS\r\n"
                                          "System=C:\\WINDOWS\\SYSTEM\r\n");
    ok = ok && WriteHostFileAtomically(folder + "/registry.reg", Registry98(newShell));
    ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\WIN.INI", kWinIni);
    for (const char* name : kSystemFiles)
        ok = ok && PutMachineFile(folder, std::string("C:\\WINDOWS\\SYSTEM\\") + name,
                                  std::string("MZ driver file ") + name + "\r\n");
    for (const char* name : kOtherSystemFiles)
        ok = ok && PutMachineFile(folder, std::string("C:\\WINDOWS\\SYSTEM\\") + name,
                                  std::string("MZ ") + name + "\r\n");
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs\\";
    for (const char* name : kShortcuts)
        ok =
            ok && PutMachineFile(folder, programs + "Ovrik Velostrix R40\\" + name, kShortcutBytes);
    ok = ok && PutMachineFile(folder, programs + "Accessories\\Notepad.lnk", kShortcutBytes);
    ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\OTHER\\HPLJ4.INF", kOtherInf);
    if (newShell) {
        ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\OTHER\\OVRIKQVL7R40.INF", kOurInf);
        ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\oem0.inf", kOtherInf);
    } else {
        ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\oem0.inf", kOtherInf);
        ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\oem1.inf", kOurInf);
        ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\oem2.inf", kNearMissInf);
        ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\INF\\msprint.inf", kOurInf);
    }
    ok = ok && PutMachineFile(folder, "C:\\AUTOEXEC.BAT", "@ECHO OFF\r\n");
    return ok;
}

std::vector<std::string> SnapshotMachine(const std::string& folder) {
    std::vector<std::string> lines;
    std::string text;
    if (ReadHostFile(folder + "/registry.reg", &text)) {
        Registry registry;
        registry.Load(text);
        for (const std::string& line : registry.Listing())
            lines.push_back("registry " + line);
    }
    std::error_code ec;
    std::vector<std::string> files;
    std::string profile;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = fs::relative(it->path(), folder, ec).generic_string();
        if (rel == "registry.reg" || rel == "machine.ini")
            continue;
        if (it->is_directory(ec)) {
            files.push_back("folder " + rel);
        } else {
            ReadHostFile(it->path().string(), &text);
            files.push_back("file " + rel + " " + std::to_string(text.size()) + " bytes " +
                            Fnv(text));
            if (EqualNoCase(it->path().filename().string(), "WIN.INI"))
                profile = text;
        }
    }
    std::sort(files.begin(), files.end());
    lines.insert(lines.end(), files.begin(), files.end());
    // win.ini line by line, in file order, each with the section it stands in.
    ProfileFile ini;
    ini.Load(profile);
    std::string section;
    for (const std::string& raw : ini.Lines()) {
        std::string line = raw;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            section = line;
        else
            line = section + " " + (line.empty() ? "(blank line)" : line);
        lines.push_back("win.ini " + line);
    }
    return lines;
}

std::vector<std::string> Missing(const std::vector<std::string>& a,
                                 const std::vector<std::string>& b) {
    std::map<std::string, long> count;
    for (const std::string& line : b)
        ++count[line];
    std::vector<std::string> out;
    for (const std::string& line : a) {
        if (count[line] > 0)
            --count[line];
        else
            out.push_back(line);
    }
    return out;
}

} // namespace qvl::emu
