// demo.cpp: machine folders with the driver installed.
#include "demo/demo.h"
#include "platform/emu/machine.h"
#include "platform/emu/machine_folder.h"
#include "platform/emu/registry.h"
#include "removal/inf_cleanup.h"
#include "removal/printer_sweep.h"
#include "removal/profile_cleanup.h"
#include "removal/removal_sequence.h"
#include "removal/start_menu.h"
#include "removal/system_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace qvl::emu {

namespace {

const char kOther[] = "HP LaserJet 4";
const std::string kOurs = PrinterModelName;

// Rows of the removal's fixed keys that the demo fills or puts another printer beside.
enum FixedKeyRow : unsigned {
    kClsidRow = 0,
    kShellExtensionRow = 1,
    kConfigPrinterRow = 3,
    kLptEnumRow = 4,
    kDriverRow = 7,
    kPrintProcessorRow = 8,
    kMonitorRow = 9,
    kPrinterRow = 10,
    kMenuOrderRow = 11,
    kSecurityRow = 12,
};

// A few of the driver's system files, as its keys name them.
enum SystemFileRow : unsigned {
    kCoreDll = 0,
    kHelpFile = 2,
    kDriverFile = 9,
    kMonitorDll = 11,
    kRasterDll = 12,
    kProcessorDll = 13,
    kShellDll = 14,
};

// A fixed key of the removal as the emulated registry spells it, aliases resolved.
std::string FixedKeyPath(unsigned row) {
    return Registry::FullPath(kFixedKeys[row].root, kFixedKeys[row].subKey);
}

// Another key under the same parent as a fixed key of the removal.
std::string Beside(unsigned row, const std::string& name) {
    std::string path = FixedKeyPath(row);
    return path.substr(0, path.rfind('\\') + 1) + name;
}

std::string LastName(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

std::string InstanceKey(const SweepPass& pass, const char* number) {
    return Registry::FullPath(kHkeyLocalMachine, pass.base) + "\\" + number;
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
    auto file = [](unsigned row) { return std::string(kSystemFileTable[row]); };
    const std::string clsid = LastName(FixedKeyPath(kClsidRow));
    const SweepPass& enumPass = kPasses[0];
    const SweepPass& classPass = kPasses[1];

    // Another printer and the system around it.
    key(Beside(kClsidRow, "{00021400-0000-0000-C000-000000000046}"), {RegString("", "Desktop")});
    key(Beside(kShellExtensionRow, "Fax Shell Extension"),
        {RegString("", "{E3BA6A60-8C4B-11CF-9F26-00AA00BC8C6E}")});
    key(Beside(kPrinterRow, kOther),
        {RegString("Name", kOther), RegString("Port", "LPT1:"), RegDword("Attributes", 0x40)});
    key(Beside(kDriverRow, kOther), {RegString("Driver", "HPPCL5MS.DRV")});
    key(Beside(kPrintProcessorRow, "WinPrint"), {RegString("Driver", "SPOOLSS.DLL")});
    key(Beside(kMonitorRow, "Local Port"), {RegString("Driver", "localmon.dll")});
    key(Beside(kConfigPrinterRow, kOther), {RegString("Default", "1")});
    key(Beside(kLptEnumRow, "HEWLETT-PACKARDLASERJE3AB8"), {RegString(enumPass.valueName, kOther)});
    key(Registry::FullPath(kHkeyLocalMachine, enumPass.startKey),
        {RegString(enumPass.valueName, kOther), RegString("Class", "Printer")});
    key(Registry::FullPath(kHkeyLocalMachine, classPass.startKey),
        {RegString(classPass.valueName, kOther), RegString("DevLoader", "*SPOOLER")});
    key(Beside(kSecurityRow, kOther), {RegDword("Everyone", 0x3)});
    key(Registry::FullPath(kHkeyCurrentUser, kShellFolders),
        {RegString(kProgramsValue, "C:\\WINDOWS\\Start Menu\\Programs"),
         RegString("Start Menu", "C:\\WINDOWS\\Start Menu")});
    key(Beside(kMenuOrderRow, "Accessories"),
        {RegBinary("Order", 3, std::string("\x08\x00\x00\x00\x02\x00\x00\x00", 8))});

    // The driver's own keys, each with something below it.
    key(FixedKeyPath(kClsidRow), {RegString("", LastName(FixedKeyPath(kShellExtensionRow)))});
    key(FixedKeyPath(kClsidRow) + "\\InProcServer32",
        {RegString("", file(kShellDll)), RegString("ThreadingModel", "Apartment")});
    key(FixedKeyPath(kShellExtensionRow), {RegString("", clsid)});
    key(FixedKeyPath(kConfigPrinterRow), {RegString("Default", "0")});
    key(FixedKeyPath(kLptEnumRow),
        {RegString(enumPass.valueName, kOurs), RegString("Driver", "Printer\\0001")});
    key(FixedKeyPath(kLptEnumRow) + "\\LogConfig", {});
    key(FixedKeyPath(kDriverRow),
        {RegString("Driver", file(kDriverFile)), RegString("Data File", file(kDriverFile)),
         RegString("Help File", file(kHelpFile))});
    key(FixedKeyPath(kDriverRow) + "\\Dependent Files",
        {RegString(file(kCoreDll), ""), RegString(file(kRasterDll), "")});
    key(FixedKeyPath(kPrintProcessorRow), {RegString("Driver", file(kProcessorDll))});
    key(FixedKeyPath(kMonitorRow), {RegString("Driver", file(kMonitorDll))});
    key(FixedKeyPath(kPrinterRow),
        {RegString("Name", kOurs), RegString("Port", "LPT1:"), RegString("Printer Driver", kOurs),
         RegDword("Attributes", 0x40)});
    key(FixedKeyPath(kPrinterRow) + "\\PrinterDriverData",
        {RegBinary("Resolution", 3, std::string("\x58\x02\x00\x00", 4))});
    key(InstanceKey(enumPass, "0001"),
        {RegString(enumPass.valueName, kOurs), RegString("Class", "Printer")});
    key(InstanceKey(enumPass, "0001") + "\\LogConfig", {});
    key(InstanceKey(classPass, "0001"),
        {RegString(classPass.valueName, kOurs), RegString("DevLoader", "*SPOOLER")});
    key(InstanceKey(classPass, "0001") + "\\DEFAULT", {RegString("Port", "LPT1:")});
    if (newShell) {
        key(FixedKeyPath(kSecurityRow), {RegDword("Everyone", 0x3)});
        key(FixedKeyPath(kMenuOrderRow),
            {RegBinary("Order", 3, std::string("\x08\x00\x00\x00\x04\x00\x00\x00", 8))});
    }
    return Export(keys);
}

// The driver's name in a [Devices] value, as its fallback value spells it.
std::string OurDriver() {
    std::string fallback = kFallbackDevice;
    return fallback.substr(0, fallback.find(','));
}

std::string WinIni() {
    const std::string driver = OurDriver();
    const std::string pro = kOurs + " Pro";
    const char* const portSettings[] = {"Resolution=600\r\nPaperSize=9\r\n", "Resolution=300\r\n",
                                        "Resolution=300\r\n"};
    std::string ini = "[windows]\r\nload=\r\nrun=\r\ndevice=HP LaserJet 4,HPPCL5MS,LPT1:\r\n\r\n";
    ini += std::string("[") + kDevices + "]\r\nHP LaserJet 4=HPPCL5MS,LPT1:\r\n";
    ini += kOurs + "=" + driver + ",LPT1:\r\n" + pro + "=" + driver + ",LPT2:\r\n\r\n";
    ini += std::string("[") + kPrinterPorts + "]\r\nHP LaserJet 4=HPPCL5MS,LPT1:,15,45\r\n";
    ini += kOurs + "=" + driver + ",LPT1:,15,45\r\n" + pro + "=" + driver + ",LPT2:,15,45\r\n\r\n";
    for (unsigned i = 0; i < 3; ++i)
        ini += "[" + kOurs + kFixedPortSuffixes[i] + "]\r\n" + portSettings[i] + "\r\n";
    ini += "[" + pro + "-LPT2]\r\nResolution=1200\r\n\r\n";
    ini += "[HP LaserJet 4,LPT1]\r\npaper=1\r\n\r\n[fonts]\r\nArial (TrueType)=ARIAL.TTF\r\n";
    return ini;
}

const char* const kOtherSystemFiles[] = {"HPPCL5MS.DRV", "UNIDRV.DLL", "SPOOLSS.DLL",
                                         "QVL7README.TXT"};

const std::string kShortcutBytes("L\0\0\0\x01\x14\x02\0", 8);

std::string OurInf() {
    return "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Printer\r\nProvider=%Ovrik%\r\n\r\n"
           "[QVL7.CopyFiles]\r\n" +
           std::string(kSystemFileTable[kCoreDll]) + "\r\n" + kInfToken + "\r\n" +
           kDeferredFileTable[CountNames(kDeferredFileTable) - 1] +
           "\r\n\r\n[Strings]\r\nOvrik=\"Ovrik\"\r\n";
}

const char kOtherInf[] = "[Version]\r\nSignature=\"$CHICAGO$\"\r\nClass=Printer\r\n\r\n"
                         "[HPLJ4.CopyFiles]\r\nHPPCL5MS.DRV\r\nUNIDRV.DLL\r\n";

// Names the token, but never as a word of its own.
std::string NearMissInf() {
    std::string lower = kInfToken;
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return "[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n[Notes]\r\n; mentions " +
           std::string(kInfToken) + ",,,1 and " + lower + " but never the word\r\nFile=\"" +
           kInfToken + "\"\r\n";
}

} // namespace

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
    ok = ok && PutMachineFile(folder, "C:\\WINDOWS\\WIN.INI", WinIni());
    const std::string system = "C:\\WINDOWS\\SYSTEM\\";
    for (const NameRow* table : {kSystemFileTable, kDeferredFileTable})
        for (unsigned i = 0; i < CountNames(table); ++i)
            ok = ok && PutMachineFile(folder, system + table[i],
                                      std::string("MZ driver file ") + table[i] + "\r\n");
    for (const char* name : kOtherSystemFiles)
        ok = ok && PutMachineFile(folder, system + name, std::string("MZ ") + name + "\r\n");
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
    for (const char* shortcut : kShortcuts)
        ok = ok && PutMachineFile(folder, programs + kGroupFolder + shortcut, kShortcutBytes);
    ok = ok && PutMachineFile(folder, programs + "\\Accessories\\Notepad.lnk", kShortcutBytes);
    const std::string inf = std::string("C:\\WINDOWS") + kInfFolder + "\\";
    ok = ok && PutMachineFile(folder, inf + "OTHER\\HPLJ4.INF", kOtherInf);
    if (newShell) {
        ok = ok && PutMachineFile(folder, std::string("C:\\WINDOWS") + kInfOther + kFixedInfName,
                                  OurInf());
        ok = ok && PutMachineFile(folder, inf + "oem0.inf", kOtherInf);
    } else {
        ok = ok && PutMachineFile(folder, inf + "oem0.inf", kOtherInf);
        ok = ok && PutMachineFile(folder, inf + "oem1.inf", OurInf());
        ok = ok && PutMachineFile(folder, inf + "oem2.inf", NearMissInf());
        ok = ok && PutMachineFile(folder, inf + "msprint.inf", OurInf());
    }
    ok = ok && PutMachineFile(folder, "C:\\AUTOEXEC.BAT", "@ECHO OFF\r\n");
    return ok;
}

} // namespace qvl::emu
