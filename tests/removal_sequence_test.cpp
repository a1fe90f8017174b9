// removal_sequence_test.cpp: the order of the stages and the fixed registry keys.
//
// The names come from the removal's tables; what is checked is which rows a build takes,
// in which order, and what surrounds them. tests/wine/footprint.sh states the names
// again, independently.
#include "test_support.h"

#include "removal/printer_sweep.h"
#include "removal/profile_cleanup.h"
#include "removal/start_menu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qvl::test {
namespace {

std::string Four(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", n);
    return text;
}

// The whole sequence of calls a run makes on a machine that holds nothing of the
// driver, written out from the removal plan over the tables' names.
std::vector<std::string> ExpectedEmptyRun(bool newShell) {
    std::vector<std::string> calls = {"GetVersionExA(148)"};
    for (const FixedKey& key : FixedKeysOn(newShell))
        calls.push_back(std::string("RegDeleteKeyA(") + RootKeyName(key.root) + ", \"" +
                        key.subKey + "\")");
    if (newShell) {
        calls.push_back("RegFlushKey(HKEY_USERS)");
        calls.push_back("RegFlushKey(HKEY_CURRENT_USER)");
    }
    calls.push_back("RegFlushKey(HKEY_LOCAL_MACHINE)");
    for (const SweepPass& pass : kPasses)
        for (int n = 0; n <= 101; ++n)
            calls.push_back("RegOpenKeyExA(HKEY_LOCAL_MACHINE, \"" + std::string(pass.base) + "\\" +
                            Four(n) + "\", 0, KEY_QUERY_VALUE)");
    calls.push_back(
        "GetProfileStringA(\"Devices\", \"Ovrik Velostrix R40\", \"kdp4mz,lpt1:\", 150)");
    for (const char* suffix : kFixedPortSuffixes)
        calls.push_back("WriteProfileStringA(\"Ovrik Velostrix R40" + std::string(suffix) +
                        "\", NULL, NULL)");
    calls.push_back("WriteProfileStringA(\"Devices\", \"Ovrik Velostrix R40\", NULL)");
    calls.push_back("WriteProfileStringA(\"PrinterPorts\", \"Ovrik Velostrix R40\", NULL)");
    calls.push_back("RegOpenKeyExA(HKEY_CURRENT_USER, "
                    "\"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\", 0, "
                    "KEY_QUERY_VALUE)");
    for (const char* link : kShortcuts)
        calls.push_back("DeleteFileA(\"\\Ovrik Velostrix R40" + std::string(link) + "\")");
    calls.push_back("RemoveDirectoryA(\"\\Ovrik Velostrix R40\")");
    calls.push_back("GetSystemDirectoryA(260)");
    calls.push_back("GetWindowsDirectoryA(260)");
    for (const char* name : kSystemFiles)
        calls.push_back("DeleteFileA(\"C:\\WINDOWS\\SYSTEM\\" + std::string(name) + "\")");
    if (newShell) {
        calls.push_back("DeleteFileA(\"C:\\WINDOWS\\INF\\OTHER\\OVRIKQVL7R40.INF\")");
    } else {
        calls.push_back("malloc(52000)");
        calls.push_back("FindFirstFileA(\"C:\\WINDOWS\\INF\\oem*.inf\")");
        calls.push_back("free(block)");
    }
    calls.push_back("FindFirstFileA(\"C:\\WINDOWS\\wininit.ini\")");
    calls.push_back("fopen(\"C:\\WINDOWS\\wininit.ini\", \"a+\")");
    // A new file is empty: there is no last line to end.
    calls.push_back("fseek(file#1, -1, SEEK_END)");
    calls.push_back("fprintf(file#1, \"%s\\n\", \"[rename]\")");
    for (const char* name : kDeferredFiles)
        calls.push_back("fprintf(file#1, \"%s\\n\", \"NULL=C:\\WINDOWS\\SYSTEM\\" +
                        std::string(name) + "\")");
    calls.push_back("fclose(file#1)");
    return calls;
}

class RemovalSequence : public MachineTest {};

TEST_F(RemovalSequence, EmptyMachineOnWindows98MakesExactlyThePlannedCalls) {
    SetMachine(kBuild98);
    std::vector<std::string> trace = Run();
    EXPECT_EQ(WithoutResults(trace), ExpectedEmptyRun(true));
    // Nothing existed, so every deletion and every open failed.
    for (const std::string& line : Calls(trace, "RegOpenKeyExA"))
        EXPECT_NE(line.find(" -> 2"), std::string::npos) << line;
    EXPECT_EQ(Calls(trace, "RegOpenKeyExA(HKEY_LOCAL_MACHINE").size(), 204u);
}

TEST_F(RemovalSequence, EmptyMachineOnWindows95MakesExactlyThePlannedCalls) {
    SetMachine(kBuild95);
    EXPECT_EQ(WithoutResults(Run()), ExpectedEmptyRun(false));
}

TEST_F(RemovalSequence, BuildNumberDecidesByItsLowWordAbove950) {
    struct Case {
        WinDword build;
        bool newShell;
    };
    const Case cases[] = {
        {0x040003B6, false},                     // Windows 95, build 950
        {0x000003B7, true},                      // 951
        {0x040003B7, true},  {0x040A07CE, true}, // Windows 98, build 1998
        {0xFFFF03B6, false},                     // a high word never counts
        {0x03B70000, false},                     // nor does 951 in the high word
        {0x0000FFFF, true},                      // the low word is unsigned
        {0x00000000, false},
    };
    for (const Case& c : cases) {
        SetMachine(c.build);
        std::vector<std::string> trace = Run();
        EXPECT_EQ(Calls(trace, "RegDeleteKeyA").size(), FixedKeysOn(c.newShell).size())
            << std::hex << c.build;
        std::vector<std::string> flushes = WithoutResults(Calls(trace, "RegFlushKey"));
        std::vector<std::string> expected = {"RegFlushKey(HKEY_LOCAL_MACHINE)"};
        if (c.newShell)
            expected.insert(expected.begin(),
                            {"RegFlushKey(HKEY_USERS)", "RegFlushKey(HKEY_CURRENT_USER)"});
        EXPECT_EQ(flushes, expected) << std::hex << c.build;
    }
}

TEST_F(RemovalSequence, FixedKeysGoWithTheirSubtreesAndThroughTheRootAliases) {
    SetMachine(kBuild98);
    const std::string classes = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\";
    AddKey(classes + "{f294d80-a93f-11d2-a531-0020afee395f}\\InProcServer32",
           {emu::RegString("", "QVL7SHEL.DLL")});
    AddKey(classes + "{f294d80-a93f-11d2-a531-0020afee3950}", {});  // eight digits: not ours
    AddKey(classes + "{0f294d80-a93f-11d2-a531-0020afee395f}", {}); // a leading zero: not ours
    AddKey("HKEY_LOCAL_"
           "MACHINE\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Ovrik "
           "Velostrix R40\\Sub");
    AddKey("HKEY_LOCAL_"
           "MACHINE\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Other");
    AddKey("HKEY_USERS\\."
           "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
           "Menu\\&Programs\\Velostrix R40");
    AddKey("HKEY_USERS\\."
           "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
           "Menu\\&Programs\\Velostrix R4");
    AddKey("HKEY_LOCAL_MACHINE\\Security\\Access\\PRINT\\Ovrik Velostrix R40");
    AddKey("HKEY_LOCAL_MACHINE\\Security\\Access\\PRINT\\Ovrik Velostrix R400");
    std::vector<std::string> trace = Run();

    EXPECT_FALSE(KeyExists(classes + "{f294d80-a93f-11d2-a531-0020afee395f}"));
    EXPECT_TRUE(KeyExists(classes + "{f294d80-a93f-11d2-a531-0020afee3950}"));
    EXPECT_TRUE(KeyExists(classes + "{0f294d80-a93f-11d2-a531-0020afee395f}"));
    EXPECT_FALSE(KeyExists("HKEY_LOCAL_"
                           "MACHINE\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Print"
                           "ers\\Ovrik Velostrix R40"));
    EXPECT_TRUE(KeyExists(
        "HKEY_LOCAL_"
        "MACHINE\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\Other"));
    EXPECT_FALSE(KeyExists("HKEY_USERS\\."
                           "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOr"
                           "der\\Start Menu\\&Programs\\Velostrix R40"));
    EXPECT_TRUE(KeyExists("HKEY_USERS\\."
                          "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrd"
                          "er\\Start Menu\\&Programs\\Velostrix R4"));
    EXPECT_FALSE(KeyExists("HKEY_LOCAL_MACHINE\\Security\\Access\\PRINT\\Ovrik Velostrix R40"));
    EXPECT_TRUE(KeyExists("HKEY_LOCAL_MACHINE\\Security\\Access\\PRINT\\Ovrik Velostrix R400"));
    // The key under HKEY_CLASSES_ROOT went first, so the same key under its other name
    // was not there any more.
    std::string first = Calls(trace, "RegDeleteKeyA(HKEY_CLASSES_ROOT, \"CLSID\\").at(0);
    std::string again =
        Calls(trace, "RegDeleteKeyA(HKEY_LOCAL_MACHINE, \"SOFTWARE\\Classes\\CLSID").at(0);
    EXPECT_EQ(first.substr(first.find(" -> ")), " -> 0");
    EXPECT_EQ(again.substr(again.find(" -> ")), " -> 2");
}

TEST_F(RemovalSequence, OldBuildsKeepTheNewShellKeys) {
    SetMachine(kBuild95);
    for (const FixedKey& key : kFixedKeys)
        AddKey(FullPath(key));
    Run();
    for (const FixedKey& key : kFixedKeys)
        EXPECT_EQ(KeyExists(FullPath(key)), key.builds == OnBuilds::kNewShell) << FullPath(key);
}

TEST_F(RemovalSequence, SecondRunOnACleanedMachineMakesTheSameCallsAndChangesNothing) {
    ASSERT_TRUE(emu::WriteDemoMachine(folder_, kBuild98));
    Run();
    std::vector<std::string> after = emu::SnapshotMachine(folder_);
    std::string wininit = ReadFile("C:\\WINDOWS\\wininit.ini");
    std::vector<std::string> second = WithoutResults(Run());
    std::vector<std::string> third = WithoutResults(Run());
    EXPECT_EQ(second, third);
    // Only wininit.ini grew: the same lines again, without a header.
    std::vector<std::string> changed = emu::Missing(emu::SnapshotMachine(folder_), after);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].find("file C/WINDOWS/wininit.ini"), 0u);
    std::string lines = wininit.substr(std::string("[rename]\r\n").size());
    EXPECT_EQ(ReadFile("C:\\WINDOWS\\wininit.ini"), wininit + lines + lines);
}

// tests/wine/footprint.sh states the footprint again for the runs under Wine, on
// purpose: a name that changed in a table alone is caught here without Wine.
TEST(Footprint, TablesAgreeWithTheIndependentStatementInFootprintSh) {
    const char script[] =
        R"(. "$0" && printf "every %s\n" "${driver_keys[@]}" "${unseeded_keys[@]}" &&
        printf "newer %s\n" "${driver_keys_98[@]}" &&
        printf "file %s\n" "${system_files[@]}" "${deferred_files[@]}")";
    std::FILE* shell =
        popen(("bash -c '" + std::string(script) + "' " + QVL_FOOTPRINT_SH).c_str(), "r");
    ASSERT_NE(shell, nullptr);
    std::vector<std::string> stated;
    char line[1024];
    while (std::fgets(line, sizeof line, shell))
        stated.push_back(std::string(line, std::strcspn(line, "\n")));
    ASSERT_EQ(pclose(shell), 0);
    std::vector<std::string> tables;
    for (const FixedKey& key : kFixedKeys)
        tables.push_back((key.builds == OnBuilds::kEvery ? "every " : "newer ") +
                         std::string(FindRootKey(key.root)->shortName) + "\\" + key.subKey);
    for (const std::vector<const char*>* names : {&kSystemFiles, &kDeferredFiles})
        for (const char* name : *names)
            tables.push_back(std::string("file ") + name);
    std::sort(stated.begin(), stated.end());
    std::sort(tables.begin(), tables.end());
    EXPECT_TRUE(SameLines(stated, tables))
        << "\n(missing: in the removal's tables, not in footprint.sh; unexpected: the reverse)";
}

TEST_F(RemovalSequence, GetVersionExAFailingCountsAsAnOldBuildAndTheRunGoesOn) {
    SetMachine(kBuild98);
    FaultPlan faults;
    faults.failCall = Call::GetVersionExA;
    std::vector<std::string> trace = Run(faults);
    EXPECT_EQ(Calls(trace, "RegDeleteKeyA").size(), FixedKeysOn(false).size());
    EXPECT_EQ(Calls(trace, "fclose").size(), 1u);
}

} // namespace
} // namespace qvl::test
