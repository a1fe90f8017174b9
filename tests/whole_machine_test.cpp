// whole_machine_test.cpp: a machine with the driver installed beside another printer
// loses exactly the driver's footprint and keeps every other byte.
//
// This file states the footprint again on purpose, as an independent check of the tables
// in removal/ and of the demo machine, which is built from them.
#include "test_support.h"

#include <algorithm>

namespace qvl::test {
namespace {

const char* const kRemovedKeys[] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{f294d80-a93f-11d2-a531-0020afee395f}",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 "
    "Shell Extension",
    "HKEY_LOCAL_MACHINE\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik "
    "Velostrix R40",
    "HKEY_LOCAL_MACHINE\\Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows "
    "4.0\\Drivers\\Ovrik Velostrix R40",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows "
    "4.0\\Print Processors\\Velostrix R40 PrintProcessor",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print\\Monitors\\Velostrix R40 "
    "LanguageMonitor",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik Velostrix R40",
    "HKEY_LOCAL_MACHINE\\Enum\\Root\\printer\\0001",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Printer\\0001",
};
const char* const kNewShellKeys[] = {
    "HKEY_USERS\\."
    "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
    "Menu\\&Programs\\Velostrix R40",
    "HKEY_LOCAL_MACHINE\\Security\\Access\\PRINT\\Ovrik Velostrix R40",
};
const char* const kRemovedIniLines[] = {
    "[Devices] Ovrik Velostrix R40=kdp4mz,LPT1:",
    "[PrinterPorts] Ovrik Velostrix R40=kdp4mz,LPT1:,15,45",
    "[Ovrik Velostrix R40-LPT1]",
    "[Ovrik Velostrix R40-LPT1] Resolution=600",
    "[Ovrik Velostrix R40-LPT1] PaperSize=9",
    "[Ovrik Velostrix R40-LPT1] (blank line)",
    "[Ovrik Velostrix R40-FILE]",
    "[Ovrik Velostrix R40-FILE] Resolution=300",
    "[Ovrik Velostrix R40-FILE] (blank line)",
    "[Ovrik Velostrix R40-LPT2]",
    "[Ovrik Velostrix R40-LPT2] Resolution=300",
    "[Ovrik Velostrix R40-LPT2] (blank line)",
};
const char* const kRemovedFiles[] = {
    "C/WINDOWS/SYSTEM/QVL732.DLL",
    "C/WINDOWS/SYSTEM/QVL7CT.DLL",
    "C/WINDOWS/SYSTEM/QVL7HLP.HLP",
    "C/WINDOWS/SYSTEM/QVL7HLP.GID",
    "C/WINDOWS/SYSTEM/QVL7HLP1.HLP",
    "C/WINDOWS/SYSTEM/QVL7HLP1.GID",
    "C/WINDOWS/SYSTEM/QVL7TRB.HLP",
    "C/WINDOWS/SYSTEM/QVL7TRB.GID",
    "C/WINDOWS/SYSTEM/QVL7JNLI.DLL",
    "C/WINDOWS/SYSTEM/QVL7JP.DRV",
    "C/WINDOWS/SYSTEM/QVL7JPLN.DLL",
    "C/WINDOWS/SYSTEM/QVL7LN98.DLL",
    "C/WINDOWS/SYSTEM/QVL7RAST.DLL",
    "C/WINDOWS/SYSTEM/QVL7RS.DLL",
    "C/WINDOWS/SYSTEM/QVL7SHEL.DLL",
    "C/WINDOWS/SYSTEM/QVL7STAT.EXE",
    "C/WINDOWS/Start Menu/Programs/Ovrik Velostrix R40/How do I for Velostrix R40.LNK",
    "C/WINDOWS/Start Menu/Programs/Ovrik Velostrix R40/Troubleshooting for Velostrix R40.LNK",
    "C/WINDOWS/Start Menu/Programs/Ovrik Velostrix R40/Velostrix R40 Printer Monitor.LNK",
    "C/WINDOWS/Start Menu/Programs/Ovrik Velostrix R40/Velostrix R40 Uninstall program.LNK",
};

// The snapshot the run must leave: the one before, less what the plan removes.
std::vector<std::string> Expected(const std::vector<std::string>& before, bool newShell,
                                  const std::string& infFile) {
    std::vector<std::string> keys(std::begin(kRemovedKeys), std::end(kRemovedKeys));
    if (newShell)
        keys.insert(keys.end(), std::begin(kNewShellKeys), std::end(kNewShellKeys));
    std::vector<std::string> files(std::begin(kRemovedFiles), std::end(kRemovedFiles));
    files.push_back(infFile);
    std::vector<std::string> out;
    for (const std::string& line : before) {
        bool removed = false;
        if (line.rfind("registry ", 0) == 0) {
            for (const std::string& key : keys)
                removed = removed || UnderKey(KeyOfLine(line), key);
        } else if (line.rfind("win.ini ", 0) == 0) {
            for (const char* ini : kRemovedIniLines)
                removed = removed || line == std::string("win.ini ") + ini;
        } else if (line.rfind("file ", 0) == 0) {
            for (const std::string& file : files)
                removed = removed || line.rfind("file " + file + " ", 0) == 0;
            removed = removed || line.rfind("file C/WINDOWS/WIN.INI ", 0) == 0; // rewritten
        } else if (line == "folder C/WINDOWS/Start Menu/Programs/Ovrik Velostrix R40") {
            removed = true;
        }
        if (!removed)
            out.push_back(line);
    }
    return out;
}

std::vector<std::string> WithoutFiles(const std::vector<std::string>& lines,
                                      const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        bool drop = false;
        for (const std::string& name : names)
            drop = drop || line.rfind("file " + name + " ", 0) == 0;
        if (!drop)
            out.push_back(line);
    }
    return out;
}

class WholeMachine : public MachineTest {};

TEST_F(WholeMachine, Windows98LosesExactlyTheDriversFootprint) {
    ASSERT_TRUE(emu::WriteDemoMachine(folder_, kBuild98));
    std::string iniBefore = ReadFile("C:\\WINDOWS\\WIN.INI");
    std::vector<std::string> before = emu::SnapshotMachine(folder_);
    Run();
    std::vector<std::string> after = emu::SnapshotMachine(folder_);

    EXPECT_EQ(WithoutFiles(after, {"C/WINDOWS/WIN.INI", "C/WINDOWS/wininit.ini"}),
              Expected(before, true, "C/WINDOWS/INF/OTHER/OVRIKQVL7R40.INF"));
    // win.ini: the same bytes less the printer's lines and sections.
    std::string ini = iniBefore;
    for (const char* gone :
         {"Ovrik Velostrix R40=kdp4mz,LPT1:\r\n", "Ovrik Velostrix R40=kdp4mz,LPT1:,15,45\r\n",
          "[Ovrik Velostrix R40-LPT1]\r\nResolution=600\r\nPaperSize=9\r\n\r\n",
          "[Ovrik Velostrix R40-FILE]\r\nResolution=300\r\n\r\n",
          "[Ovrik Velostrix R40-LPT2]\r\nResolution=300\r\n\r\n"}) {
        std::size_t at = ini.find(gone);
        ASSERT_NE(at, std::string::npos) << gone;
        ini.erase(at, std::string(gone).size());
    }
    EXPECT_EQ(ReadFile("C:\\WINDOWS\\WIN.INI"), ini);
    EXPECT_EQ(ReadFile("C:\\WINDOWS\\wininit.ini"),
              "[rename]\r\nNULL=C:\\WINDOWS\\SYSTEM\\QVL7TN16.DLL\r\nNULL=C:"
              "\\WINDOWS\\SYSTEM\\QVL7TN32.DLL\r\n"
              "NULL=C:\\WINDOWS\\SYSTEM\\QVL7LANG.DLL\r\nNULL=C:\\WINDOWS\\SYSTEM\\QVL7PRIN.DLL\r\n"
              "NULL=C:\\WINDOWS\\SYSTEM\\QVL7UNIN.EXE\r\n");
}

TEST_F(WholeMachine, Windows95LosesExactlyTheDriversFootprint) {
    ASSERT_TRUE(emu::WriteDemoMachine(folder_, kBuild95));
    // Keys that only the newer builds' removal takes must stay here.
    std::string registry;
    ASSERT_TRUE(emu::ReadHostFile(folder_ + "/registry.reg", &registry));
    registry += emu::RegBlock(kNewShellKeys[0], {emu::RegString("x", "y")});
    registry += emu::RegBlock(kNewShellKeys[1], {});
    ASSERT_TRUE(emu::WriteHostFileAtomically(folder_ + "/registry.reg", registry));
    PutFile("C:\\WINDOWS\\INF\\OTHER\\OVRIKQVL7R40.INF", "QVL7STAT.EXE\r\n");

    std::vector<std::string> before = emu::SnapshotMachine(folder_);
    std::vector<std::string> trace = Run();
    std::vector<std::string> after = emu::SnapshotMachine(folder_);
    EXPECT_EQ(WithoutFiles(after, {"C/WINDOWS/WIN.INI", "C/WINDOWS/wininit.ini"}),
              Expected(before, false, "C/WINDOWS/INF/oem1.inf"));
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\INF\\oem2.inf")); // names the file only in near misses
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\INF\\msprint.inf"));
    // The three keys of the newer builds are not even tried.
    for (const std::string& line : Calls(trace, "RegDeleteKeyA")) {
        EXPECT_EQ(line.find("Security\\Access"), std::string::npos) << line;
        EXPECT_EQ(line.find("MenuOrder"), std::string::npos) << line;
    }
}

TEST_F(WholeMachine, RegistryFileKeepsEveryOtherByte) {
    ASSERT_TRUE(emu::WriteDemoMachine(folder_, kBuild98));
    std::string before;
    ASSERT_TRUE(emu::ReadHostFile(folder_ + "/registry.reg", &before));
    Run();
    std::string after = RegistryText();
    // Every block left is one that stood in the file before, in the same order.
    std::size_t from = 0;
    std::size_t start = 0;
    while (start < after.size()) {
        std::size_t next = after.find("\r\n[", start);
        std::string block =
            after.substr(start, next == std::string::npos ? next : next + 2 - start);
        std::size_t at = before.find(block, from);
        ASSERT_NE(at, std::string::npos) << block;
        from = at + block.size();
        start = next == std::string::npos ? after.size() : next + 2;
    }
    EXPECT_EQ(after.find("Velostrix"), std::string::npos);
}

} // namespace
} // namespace qvl::test
