// removal_sequence_test.cpp: the order of the stages and the fixed registry keys.
//
// The names come from the removal's tables; what is checked is which rows a build takes.
// tests/wine/footprint.sh states the names and their order again, independently, and
// tests/transcripts the whole sequence of calls on the demo machines and empty ones.
#include "test_support.h"

#include "removal/start_menu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qvl::test {
namespace {

class RemovalSequence : public MachineTest {};

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
    const std::string classes = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\";
    const std::string printers =
        "HKEY_LOCAL_MACHINE\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\";
    const std::string menu = "HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                             "Explorer\\MenuOrder\\Start Menu\\&Programs\\";
    const std::string access = "HKEY_LOCAL_MACHINE\\Security\\Access\\PRINT\\";
    AddKey(classes + "{f294d80-a93f-11d2-a531-0020afee395f}\\InProcServer32",
           {emu::RegString("", "QVL7SHEL.DLL")});
    AddKey(classes + "{f294d80-a93f-11d2-a531-0020afee3950}", {});  // eight digits: not ours
    AddKey(classes + "{0f294d80-a93f-11d2-a531-0020afee395f}", {}); // a leading zero: not ours
    for (const std::string& key :
         {printers + "Ovrik Velostrix R40\\Sub", printers + "Other", menu + "Velostrix R40",
          menu + "Velostrix R4", access + "Ovrik Velostrix R40", access + "Ovrik Velostrix R400"})
        AddKey(key);
    std::vector<std::string> trace = Run();

    EXPECT_FALSE(KeyExists(classes + "{f294d80-a93f-11d2-a531-0020afee395f}"));
    EXPECT_TRUE(KeyExists(classes + "{f294d80-a93f-11d2-a531-0020afee3950}"));
    EXPECT_TRUE(KeyExists(classes + "{0f294d80-a93f-11d2-a531-0020afee395f}"));
    EXPECT_FALSE(KeyExists(printers + "Ovrik Velostrix R40"));
    EXPECT_TRUE(KeyExists(printers + "Other"));
    EXPECT_FALSE(KeyExists(menu + "Velostrix R40"));
    EXPECT_TRUE(KeyExists(menu + "Velostrix R4"));
    EXPECT_FALSE(KeyExists(access + "Ovrik Velostrix R40"));
    EXPECT_TRUE(KeyExists(access + "Ovrik Velostrix R400"));
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
    // The same calls, but for the pieces the growing wininit.ini is read in.
    auto calls = [this] {
        std::vector<std::string> out = WithoutResults(Run());
        out.erase(std::remove(out.begin(), out.end(), "fread(file#1, 260)"), out.end());
        return out;
    };
    std::vector<std::string> second = calls();
    EXPECT_TRUE(SameLines(calls(), second));
    // Only wininit.ini grew: the same lines again, without a header.
    std::vector<std::string> changed = emu::Missing(emu::SnapshotMachine(folder_), after);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].find("file C/WINDOWS/wininit.ini"), 0u);
    std::string lines = wininit.substr(std::string("[rename]\r\n").size());
    EXPECT_TRUE(SameText(ReadFile("C:\\WINDOWS\\wininit.ini"), wininit + lines + lines));
}

// tests/wine/footprint.sh states the footprint again for the runs under Wine, on
// purpose: a name that changed in a table alone, or an order, is caught here without Wine.
TEST(Footprint, TablesAgreeWithTheIndependentStatementInFootprintSh) {
    const char script[] =
        R"(. "$0" && printf "every %s\n" "${driver_keys[@]}" &&
        printf "newer %s\n" "${driver_keys_98[@]}" &&
        printf "shortcut $model\\%s\n" "${shortcuts[@]}" &&
        printf "file %s\n" "${system_files[@]}" && printf "deferred %s\n" "${deferred_files[@]}")";
    std::FILE* shell =
        popen(("bash -c '" + std::string(script) + "' " + QVL_FOOTPRINT_SH).c_str(), "r");
    ASSERT_NE(shell, nullptr);
    std::vector<std::string> stated;
    char line[1024];
    while (std::fgets(line, sizeof line, shell))
        stated.push_back(std::string(line, std::strcspn(line, "\n")));
    ASSERT_EQ(pclose(shell), 0);
    std::vector<std::string> tables;
    for (const KeyRow& key : kRemovalOrder)
        tables.push_back((tables.size() < kKeysOnEveryBuild ? "every " : "newer ") +
                         std::string(FindRootKey(key.root)->shortName) + "\\" + key.subKey);
    for (const char* shortcut : kShortcuts)
        tables.push_back("shortcut " + std::string(kGroupFolder + 1) + shortcut);
    for (const char* name : kSystemFiles)
        tables.push_back(std::string("file ") + name);
    for (const char* name : kDeferredFiles)
        tables.push_back(std::string("deferred ") + name);
    EXPECT_TRUE(SameLines(stated, tables))
        << "\n(-: in the removal's tables, not in footprint.sh; +: the reverse)";
}

TEST_F(RemovalSequence, GetVersionExAFailingCountsAsAnOldBuildAndTheRunGoesOn) {
    FaultPlan faults;
    faults.failCall = Call::GetVersionExA;
    std::vector<std::string> trace = Run(faults);
    EXPECT_EQ(Calls(trace, "RegDeleteKeyA").size(), FixedKeysOn(false).size());
    EXPECT_EQ(Calls(trace, "fclose").size(), 1u);
}

} // namespace
} // namespace qvl::test
