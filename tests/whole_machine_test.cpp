// whole_machine_test.cpp: a machine with the driver installed beside another printer
// loses exactly the driver's footprint and keeps every other byte.
//
// What the run must take is worked out from the removal's rules over its tables' names;
// tests/wine/footprint.sh states the names again, independently.
#include "test_support.h"

#include "removal/printer_sweep.h"
#include "removal/profile_cleanup.h"
#include "removal/start_menu.h"

#include <algorithm>

namespace qvl::test {
namespace {

const std::string kModel = PrinterModelName;

// The snapshot the run must leave: the one before, less what the plan removes.
std::vector<std::string> Expected(const std::vector<std::string>& before, bool newShell,
                                  const std::string& infFile) {
    std::vector<std::string> keys;
    for (const FixedKey& key : FixedKeysOn(newShell))
        keys.push_back(FullPath(key));
    for (const SweepPass& pass : kPasses) // the demo's instance of the printer
        keys.push_back(emu::Registry::FullPath(kHkeyLocalMachine, pass.base) + "\\0001");
    std::vector<std::string> iniPrefixes = {"[Devices] " + kModel + "=",
                                            "[PrinterPorts] " + kModel + "="};
    for (const char* suffix : kFixedPortSuffixes)
        iniPrefixes.push_back("[" + kModel + suffix + "]");
    const std::string group = "C:\\WINDOWS\\Start Menu\\Programs" + std::string(kGroupFolder);
    std::vector<std::string> files = {infFile};
    for (const char* name : kSystemFiles)
        files.push_back(SnapshotPath("C:\\WINDOWS\\SYSTEM\\" + std::string(name)));
    for (const char* shortcut : kShortcuts)
        files.push_back(SnapshotPath(group + shortcut));
    std::vector<std::string> out;
    for (const std::string& line : before) {
        bool removed = false;
        if (line.rfind("registry ", 0) == 0) {
            for (const std::string& key : keys)
                removed = removed || UnderKey(KeyOfLine(line), key);
        } else if (line.rfind("win.ini ", 0) == 0) {
            for (const std::string& prefix : iniPrefixes)
                removed = removed || line.rfind("win.ini " + prefix, 0) == 0;
        } else if (line.rfind("file ", 0) == 0) {
            for (const std::string& file : files)
                removed = removed || line.rfind("file " + file + " ", 0) == 0;
            removed = removed || line.rfind("file C/WINDOWS/WIN.INI ", 0) == 0; // rewritten
        } else {
            removed = line == "folder " + SnapshotPath(group);
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

    EXPECT_TRUE(SameLines(WithoutFiles(after, {"C/WINDOWS/WIN.INI", "C/WINDOWS/wininit.ini"}),
                          Expected(before, true, "C/WINDOWS/INF/OTHER/OVRIKQVL7R40.INF")));
    // win.ini: the same bytes less the printer's lines and sections.
    std::string ini = iniBefore;
    for (const char* gone :
         {"Ovrik Velostrix R40=kdp4mz,LPT1:\r\n", "Ovrik Velostrix R40=kdp4mz,LPT1:,15,45\r\n",
          "[Ovrik Velostrix R40-LPT1]\r\nResolution=600\r\nPaperSize=9\r\n\r\n",
          "[Ovrik Velostrix R40-FILE]\r\nResolution=300\r\n\r\n",
          "[Ovrik Velostrix R40-LPT2]\r\nResolution=300\r\n\r\n"}) {
        std::size_t at = ini.find(gone);
        ASSERT_NE(at, std::string::npos) << "the demo's win.ini lacks " << gone;
        ini.erase(at, std::string(gone).size());
    }
    EXPECT_TRUE(SameText(ReadFile("C:\\WINDOWS\\WIN.INI"), ini));
    std::string wininit = "[rename]\r\n";
    for (const char* name : kDeferredFiles)
        wininit += "NULL=C:\\WINDOWS\\SYSTEM\\" + std::string(name) + "\r\n";
    EXPECT_TRUE(SameText(ReadFile("C:\\WINDOWS\\wininit.ini"), wininit));
}

TEST_F(WholeMachine, Windows95LosesExactlyTheDriversFootprint) {
    ASSERT_TRUE(emu::WriteDemoMachine(folder_, kBuild95));
    // Keys that only the newer builds' removal takes must stay here.
    std::string registry;
    ASSERT_TRUE(emu::ReadHostFile(folder_ + "/registry.reg", &registry));
    for (const FixedKey& key : kFixedKeys)
        if (key.builds == OnBuilds::kNewShell)
            registry += emu::RegBlock(FullPath(key), {emu::RegString("x", "y")});
    ASSERT_TRUE(emu::WriteHostFileAtomically(folder_ + "/registry.reg", registry));
    PutFile("C:\\WINDOWS\\INF\\OTHER\\OVRIKQVL7R40.INF", "QVL7STAT.EXE\r\n");

    std::vector<std::string> before = emu::SnapshotMachine(folder_);
    Run();
    std::vector<std::string> after = emu::SnapshotMachine(folder_);
    EXPECT_TRUE(SameLines(WithoutFiles(after, {"C/WINDOWS/WIN.INI", "C/WINDOWS/wininit.ini"}),
                          Expected(before, false, "C/WINDOWS/INF/oem1.inf")));
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\INF\\oem2.inf")); // names the file only in near misses
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\INF\\msprint.inf"));
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
