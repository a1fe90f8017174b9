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
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace qvl::emu {

namespace {

const char kOther[] = "HP LaserJet 4";
const std::string kOurs = PrinterModelName;

// The fixed key of the removal under root with exactly this subkey, as the emulated
// registry spells it (aliases resolved). The demo names each key it fills whole, as the
// driver's setup made it: a row added to the table or changed in it never changes what
// the demo installs, and a key the table lacks stops the demo with its name.
std::string FixedKeyPath(RegKey root, const std::string& subKey) {
    for (const FixedKey& key : kFixedKeys)
        if (key.root == root && key.subKey == subKey)
            return Registry::FullPath(key.root, key.subKey);
    throw std::logic_error(std::string("the demo machine fills the fixed key ") +
                           RootKeyName(root) + "\\" + subKey +
                           ", and the removal's table has no such row");
}

// A system file that the driver's keys name, checked against the removal's table.
std::string SystemFile(const char* name) {
    for (unsigned i = 0; i < CountNames(kSystemFileTable); ++i)
        if (std::strcmp(kSystemFileTable[i], name) == 0)
            return name;
    throw std::logic_error(std::string("the demo machine names the system file ") + name +
                           ", and the removal's table has no such row");
}

// The pass of the instance sweep that reads valueName.
const SweepPass& PassReading(const char* valueName) {
    for (const SweepPass& pass : kPasses)
        if (std::strcmp(pass.valueName, valueName) == 0)
            return pass;
    throw std::logic_error(std::string("no pass of the instance sweep reads ") + valueName);
}

// Another key under the same parent as a fixed key of the removal.
std::string Beside(const std::string& path, const std::string& name) {
    return path.substr(0, path.rfind('\\') + 1) + name;
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
    const std::string print = "System\\CurrentControlSet\\control\\Print\\";
    const std::string clsidName = "{f294d80-a93f-11d2-a531-0020afee395f}";
    const std::string shellExtension = "Velostrix R40 Shell Extension";
    const std::string kClsidKey = FixedKeyPath(kHkeyClassesRoot, "CLSID\\" + clsidName);
    const std::string kShellExtensionKey =
        FixedKeyPath(kHkeyClassesRoot, "Printers\\shellex\\ContextMenuHandlers\\" + shellExtension);
    const std::string kConfigPrinterKey =
        FixedKeyPath(kHkeyLocalMachine, "Config\\0001\\" + print + "Printers\\" + kOurs);
    const std::string kLptEnumKey =
        FixedKeyPath(kHkeyLocalMachine, "Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A");
    const std::string kDriverKey =
        FixedKeyPath(kHkeyLocalMachine, print + "Environments\\Windows 4.0\\Drivers\\" + kOurs);
    const std::string kPrintProcessorKey = FixedKeyPath(
        kHkeyLocalMachine,
        print + "Environments\\Windows 4.0\\Print Processors\\Velostrix R40 PrintProcessor");
    const std::string kMonitorKey =
        FixedKeyPath(kHkeyLocalMachine, print + "Monitors\\Velostrix R40 LanguageMonitor");
    const std::string kPrinterKey = FixedKeyPath(kHkeyLocalMachine, print + "Printers\\" + kOurs);
    const std::string kMenuOrderKey = FixedKeyPath(
        kHkeyUsers, ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\"
                    "Start Menu\\&Programs\\Velostrix R40");
    const std::string kSecurityKey =
        FixedKeyPath(kHkeyLocalMachine, "Security\\Access\\PRINT\\" + kOurs);
    const SweepPass& enumPass = PassReading("DeviceDesc");
    const SweepPass& classPass = PassReading("DriverDesc");

    // Another printer and the system around it.
    key(Beside(kClsidKey, "{00021400-0000-0000-C000-000000000046}"), {RegString("", "Desktop")});
    key(Beside(kShellExtensionKey, "Fax Shell Extension"),
        {RegString("", "{E3BA6A60-8C4B-11CF-9F26-00AA00BC8C6E}")});
    key(Beside(kPrinterKey, kOther),
        {RegString("Name", kOther), RegString("Port", "LPT1:"), RegDword("Attributes", 0x40)});
    key(Beside(kDriverKey, kOther), {RegString("Driver", "HPPCL5MS.DRV")});
    key(Beside(kPrintProcessorKey, "WinPrint"), {RegString("Driver", "SPOOLSS.DLL")});
    key(Beside(kMonitorKey, "Local Port"), {RegString("Driver", "localmon.dll")});
    key(Beside(kConfigPrinterKey, kOther), {RegString("Default", "1")});
    key(Beside(kLptEnumKey, "HEWLETT-PACKARDLASERJE3AB8"), {RegString(enumPass.valueName, kOther)});
    key(Registry::FullPath(kHkeyLocalMachine, enumPass.startKey),
        {RegString(enumPass.valueName, kOther), RegString("Class", "Printer")});
    key(Registry::FullPath(kHkeyLocalMachine, classPass.startKey),
        {RegString(classPass.valueName, kOther), RegString("DevLoader", "*SPOOLER")});
    key(Beside(kSecurityKey, kOther), {RegDword("Everyone", 0x3)});
    key(Registry::FullPath(kHkeyCurrentUser, kShellFolders),
        {RegString(kProgramsValue, "C:\\WINDOWS\\Start Menu\\Programs"),
         RegString("Start Menu", "C:\\WINDOWS\\Start Menu")});
    key(Beside(kMenuOrderKey, "Accessories"),
        {RegBinary("Order", 3, std::string("\x08\x00\x00\x00\x02\x00\x00\x00", 8))});

    // The driver's own keys, each with something below it.
    key(kClsidKey, {RegString("", shellExtension)});
    key(kClsidKey + "\\InProcServer32",
        {RegString("", SystemFile("QVL7SHEL.DLL")), RegString("ThreadingModel", "Apartment")});
    key(kShellExtensionKey, {RegString("", clsidName)});
    key(kConfigPrinterKey, {RegString("Default", "0")});
    key(kLptEnumKey, {RegString(enumPass.valueName, kOurs), RegString("Driver", "Printer\\0001")});
    key(kLptEnumKey + "\\LogConfig", {});
    key(kDriverKey, {RegString("Driver", SystemFile("QVL7JP.DRV")),
                     RegString("Data File", SystemFile("QVL7JP.DRV")),
                     RegString("Help File", SystemFile("QVL7HLP.HLP"))});
    key(kDriverKey + "\\Dependent Files",
        {RegString(SystemFile("QVL732.DLL"), ""), RegString(SystemFile("QVL7RAST.DLL"), "")});
    key(kPrintProcessorKey, {RegString("Driver", SystemFile("QVL7RS.DLL"))});
    key(kMonitorKey, {RegString("Driver", SystemFile("QVL7LN98.DLL"))});
    key(kPrinterKey, {RegString("Name", kOurs), RegString("Port", "LPT1:"),
                      RegString("Printer Driver", kOurs), RegDword("Attributes", 0x40)});
    key(kPrinterKey + "\\PrinterDriverData",
        {RegBinary("Resolution", 3, std::string("\x58\x02\x00\x00", 4))});
    key(InstanceKey(enumPass, "0001"),
        {RegString(enumPass.valueName, kOurs), RegString("Class", "Printer")});
    key(InstanceKey(enumPass, "0001") + "\\LogConfig", {});
    key(InstanceKey(classPass, "0001"),
        {RegString(classPass.valueName, kOurs), RegString("DevLoader", "*SPOOLER")});
    key(InstanceKey(classPass, "0001") + "\\DEFAULT", {RegString("Port", "LPT1:")});
    if (newShell) {
        key(kSecurityKey, {RegDword("Everyone", 0x3)});
        key(kMenuOrderKey,
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
    std::string ini = "[windows]\r\nload=\r\nrun=\r\ndevice=HP LaserJet 4,HPPCL5MS,LPT1:\r\n\r\n";
    ini += std::string("[") + kDevices + "]\r\nHP LaserJet 4=HPPCL5MS,LPT1:\r\n";
    ini += kOurs + "=" + driver + ",LPT1:\r\n" + pro + "=" + driver + ",LPT2:\r\n\r\n";
    ini += std::string("[") + kPrinterPorts + "]\r\nHP LaserJet 4=HPPCL5MS,LPT1:,15,45\r\n";
    ini += kOurs + "=" + driver + ",LPT1:,15,45\r\n" + pro + "=" + driver + ",LPT2:,15,45\r\n\r\n";
    std::string settings = "Resolution=600\r\nPaperSize=9\r\n"; // the first has one more
    for (const char* suffix : kFixedPortSuffixes) {
        ini += "[" + kOurs + suffix + "]\r\n" + settings + "\r\n";
        settings = "Resolution=300\r\n";
    }
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
           std::string(SystemFile("QVL732.DLL")) + "\r\n" + kInfToken + "\r\n" +
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
    bool newShell = IsNewShellBuild(build);
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
