// start_menu_test.cpp: the printer's program group in the user's Start menu.
#include "test_support.h"

#include "removal/start_menu.h"

namespace qvl::test {
namespace {

const std::string kShellFoldersKey = emu::Registry::FullPath(kHkeyCurrentUser, kShellFolders);

class StartMenu : public MachineTest {
  protected:
    void Group(const std::string& programs) {
        for (const char* link : kShortcuts)
            PutFile(programs + kGroupFolder + link, "L");
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
    AddKey(kShellFoldersKey, {emu::RegString("Programs", programs)});
    Group(programs);
    PutFile(programs + "\\Accessories\\Notepad.lnk", "L");
    PutFile(programs + kGroupFolder + " Extras\\Readme.LNK", "L");
    std::vector<std::string> calls = GroupCalls(Run());
    std::vector<std::string> expected;
    for (const char* link : kShortcuts)
        expected.push_back("DeleteFileA(\"" + programs + kGroupFolder + link + "\") -> 1");
    expected.push_back("RemoveDirectoryA(\"" + programs + kGroupFolder + "\") -> 1");
    EXPECT_TRUE(SameLines(calls, expected));
    EXPECT_FALSE(FileExists(programs + kGroupFolder));
    EXPECT_TRUE(FileExists(programs + "\\Accessories\\Notepad.lnk"));
    EXPECT_TRUE(FileExists(programs + kGroupFolder + " Extras\\Readme.LNK"));
}

TEST_F(StartMenu, UsersOwnFileKeepsTheFolder) {
    const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
    AddKey(kShellFoldersKey, {emu::RegString("Programs", programs)});
    Group(programs);
    PutFile(programs + kGroupFolder + "\\My notes.txt", "mine");
    Run();
    for (const char* link : kShortcuts)
        EXPECT_FALSE(FileExists(programs + kGroupFolder + link));
    EXPECT_TRUE(SameText(ReadFile(programs + kGroupFolder + "\\My notes.txt"), "mine"));
}

TEST_F(StartMenu, WithoutShellFoldersTheGroupIsLookedForAtTheRootOfTheDrive) {
    Group("C:");
    std::vector<std::string> calls = GroupCalls(Run());
    ASSERT_EQ(calls.size(), std::size(kShortcuts) + 1);
    EXPECT_EQ(calls[0], std::string("DeleteFileA(\"") + kGroupFolder + kShortcuts[0] + "\") -> 1");
    EXPECT_EQ(calls.back(), std::string("RemoveDirectoryA(\"") + kGroupFolder + "\") -> 1");
    EXPECT_FALSE(FileExists(std::string("C:") + kGroupFolder));
}

TEST_F(StartMenu, OnlyTheCurrentUsersFolderIsCleaned) {
    AddKey(kShellFoldersKey, {emu::RegString("Programs", "C:\\WINDOWS\\Start Menu\\Programs")});
    AddKey(
        "HKEY_USERS\\anna\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
        {emu::RegString("Programs", "C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs")});
    Group("C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs");
    Run();
    for (const char* link : kShortcuts)
        EXPECT_TRUE(FileExists("C:\\WINDOWS\\Profiles\\anna\\Start Menu\\Programs" +
                               std::string(kGroupFolder) + link));
}

TEST_F(StartMenu, ProgramsValueThatCannotBeUsedWhole) {
    struct Case {
        const char* name;
        RegValue value;
        bool attempted;       // the four deletions and the folder removal happen
        const char* programs; // where the group is then looked for
    };
    const Case cases[] = {
        {"missing value: as without the key", emu::RegString("Start Menu", "C:\\X"), true, ""},
        {"value of 259 bytes with its zero: nothing fits",
         emu::RegString("Programs", "C:\\" + std::string(255, 'p')), false, nullptr},
        {"260 bytes without a zero", emu::RegBinary("Programs", 1, "C:\\" + std::string(257, 'p')),
         false, nullptr},
        {"too long to read", emu::RegString("Programs", "C:\\" + std::string(300, 'p')), false,
         nullptr},
        {"261 bytes with its zero", emu::RegString("Programs", "C:\\" + std::string(257, 'p')),
         false, nullptr},
        {"text without a zero", emu::RegBinary("Programs", 1, "C:\\P"), true, "C:\\P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        AddKey(kShellFoldersKey, {c.value});
        std::vector<std::string> calls = GroupCalls(Run());
        if (!c.attempted) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().rfind("RemoveDirectoryA", 0), 0u);
        if (c.programs != nullptr) {
            EXPECT_EQ(calls.back(),
                      std::string("RemoveDirectoryA(\"") + c.programs + kGroupFolder + "\") -> 0");
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
        Restart();
        std::string programs = "C:\\" + std::string(c.programsLength - 3, 'p');
        AddKey(kShellFoldersKey, {emu::RegString("Programs", programs)});
        std::vector<std::string> calls = GroupCalls(Run());
        ASSERT_EQ(calls.size(), c.calls);
        for (const std::string& line : calls)
            EXPECT_EQ(line.find("\"" + programs + kGroupFolder), line.find('"')) << line;
        if (c.calls == 4) {
            EXPECT_EQ(calls[1].find("Troubleshooting"), std::string::npos);
        }
    }
}

} // namespace
} // namespace qvl::test
