// start_menu_test.cpp: the printer's program group in the user's Start menu.
#include "test_support.h"

namespace qvl::test {
namespace {

const char* const kLinks[] = {
    "How do I for Velostrix R40.LNK", "Troubleshooting for Velostrix R40.LNK",
    "Velostrix R40 Printer Monitor.LNK", "Velostrix R40 Uninstall program.LNK"};
const std::string kShellFolders =
    "HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class StartMenu : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        SetMachine(kBuild98);
    }
    void Group(const std::string& programs) {
        for (const char* link : kLinks)
            PutFile(programs + "\\Ovrik Velostrix R40\\" + link, "L");
    }
    static std::vector<std::string> GroupCalls(const std::vector<std::string>& trace) {
        std::vector<std::string> out;
        for (const std::string& line : trace)
            if ((line.rfind("DeleteFileA", 0) == 0 && line.find(".LNK") != std::string::npos) ||
                line.rfind("RemoveDirectoryA", 0) == 0)
                out.push_back(line);
        return out;
    }
};

TEST_F(StartMenu, ShortcutsAndFolderGoFromTheProgramsFolderOfShellFolders) {
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
    AddKey(kShellFolders, {emu::RegString("Programs", programs)});
    Group(programs);
    PutFile(programs + "\\Accessories\\Notepad.lnk", "L");
    PutFile(programs + "\\Ovrik Velostrix R40 Extras\\Readme.LNK", "L");
    std::vector<std::string> calls = GroupCalls(Run());
    std::vector<std::string> expected;
    for (const char* link : kLinks)
        expected.push_back("DeleteFileA(\"" + programs + "\\Ovrik Velostrix R40\\" + link +
                           "\") -> 1");
    expected.push_back("RemoveDirectoryA(\"" + programs + "\\Ovrik Velostrix R40\") -> 1");
    EXPECT_EQ(calls, expected);
    EXPECT_FALSE(FileExists(programs + "\\Ovrik Velostrix R40"));
    EXPECT_TRUE(FileExists(programs + "\\Accessories\\Notepad.lnk"));
    EXPECT_TRUE(FileExists(programs + "\\Ovrik Velostrix R40 Extras\\Readme.LNK"));
}

TEST_F(StartMenu, UsersOwnFileKeepsTheFolder) {
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
    AddKey(kShellFolders, {emu::RegString("Programs", programs)});
    Group(programs);
    PutFile(programs + "\\Ovrik Velostrix R40\\My notes.txt", "mine");
    Run();
    for (const char* link : kLinks)
        EXPECT_FALSE(FileExists(programs + "\\Ovrik Velostrix R40\\" + link));
    EXPECT_EQ(ReadFile(programs + "\\Ovrik Velostrix R40\\My notes.txt"), "mine");
}

TEST_F(StartMenu, WithoutShellFoldersTheGroupIsLookedForAtTheRootOfTheDrive) {
    Group("C:");
    std::vector<std::string> calls = GroupCalls(Run());
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0],
              "DeleteFileA(\"\\Ovrik Velostrix R40\\How do I for Velostrix R40.LNK\") -> 1");
    EXPECT_EQ(calls[4], "RemoveDirectoryA(\"\\Ovrik Velostrix R40\") -> 1");
    EXPECT_FALSE(FileExists("C:\\Ovrik Velostrix R40"));
}

TEST_F(StartMenu, OnlyTheCurrentUsersFolderIsCleaned) {
    AddKey(kShellFolders, {emu::RegString("Programs", "C:\\WINDOWS\\Start Menu\\Programs")});
    AddKey(
        "HKEY_USERS\\anna\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
        {emu::RegString("Programs", "C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs")});
    Group("C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs");
    Run();
    for (const char* link : kLinks)
        EXPECT_TRUE(FileExists(
            std::string(
                "C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs\\Ovrik Velostrix R40\\") +
            link));
}

TEST_F(StartMenu, ProgramsValueThatCannotBeUsedWhole) {
    struct Case {
        const char* name;
        RegValue value;
        bool attempted; // the four deletions and the folder removal happen
        const char* groupPath;
    };
    const Case cases[] = {
        {"missing value: as without the key", emu::RegString("Start Menu", "C:\\X"), true,
         "\\Ovrik Velostrix R40"},
        {"value of 259 bytes with its zero: nothing fits",
         emu::RegString("Programs", "C:\\" + std::string(255, 'p')), false, nullptr},
        {"260 bytes without a zero", emu::RegBinary("Programs", 1, "C:\\" + std::string(257, 'p')),
         false, nullptr},
        {"too long to read", emu::RegString("Programs", "C:\\" + std::string(300, 'p')), false,
         nullptr},
        {"261 bytes with its zero", emu::RegString("Programs", "C:\\" + std::string(257, 'p')),
         false, nullptr},
        {"text without a zero", emu::RegBinary("Programs", 1, "C:\\P"), true,
         "C:\\P\\Ovrik Velostrix R40"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        AddKey(kShellFolders, {c.value});
        std::vector<std::string> calls = GroupCalls(Run());
        if (!c.attempted) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().rfind("RemoveDirectoryA", 0), 0u);
        if (c.groupPath != nullptr) {
            EXPECT_EQ(calls.back(), std::string("RemoveDirectoryA(\"") + c.groupPath + "\") -> 0");
        }
        for (const std::string& line : calls)
            EXPECT_LT(line.find('"', line.find('"') + 1) - line.find('"') - 1, 260u) << line;
    }
}

TEST_F(StartMenu, PathsThatWouldNotFitAreSkippedOneByOne) {
    // The group folder adds 20 characters, the longest shortcut name 38 more.
    struct Case {
        unsigned programsLength;
        unsigned calls; // shortcut deletions and the folder removal
    };
    const Case cases[] = {
        {201, 5}, // 221 + 38 = 259: everything fits
        {202, 4}, // "Troubleshooting for Velostrix R40.LNK" would need 260
        {239, 1}, // the group folder itself fits exactly, no shortcut does
        {240, 0}, // not even the group folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.programsLength);
        TearDown();
        SetUp();
        std::string programs = "C:\\" + std::string(c.programsLength - 3, 'p');
        AddKey(kShellFolders, {emu::RegString("Programs", programs)});
        std::vector<std::string> calls = GroupCalls(Run());
        ASSERT_EQ(calls.size(), c.calls);
        for (const std::string& line : calls)
            EXPECT_EQ(line.find("\"" + programs + "\\Ovrik Velostrix R40"), line.find('"')) << line;
        if (c.calls == 4) {
            EXPECT_EQ(calls[1].find("Troubleshooting"), std::string::npos);
        }
    }
}

} // namespace
} // namespace qvl::test
