// inf_cleanup_test.cpp: the printer's setup information file in the INF folder.
//
// The INF file's name and the word that marks the printer's OEM files stand here again
// on purpose, as a check of the stage's tables from outside.
#include "test_support.h"

namespace qvl::test {
namespace {

const std::string kInf = "C:\\WINDOWS\\INF\\";

class InfCleanup : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        SetMachine(kBuild95);
        PutFolder("C:\\WINDOWS\\INF");
    }
    // Calls of the INF stage: from the system directory deletions to wininit.ini.
    static std::vector<std::string> InfCalls(const std::vector<std::string>& trace) {
        return Between(
            trace, "DeleteFileA(\"C:\\WINDOWS\\SYSTEM\\" + std::string(kSystemFiles.back()) + "\")",
            "FindFirstFileA(\"C:\\WINDOWS\\wininit.ini\")");
    }
};

TEST_F(InfCleanup, NewBuildDeletesOnlyTheFixedFile) {
    SetMachine(kBuild98);
    PutFile(kInf + "OTHER\\OVRIKQVL7R40.INF", "QVL7STAT.EXE\r\n");
    PutFile(kInf + "OTHER\\HPLJ4.INF", "QVL7STAT.EXE\r\n");
    PutFile(kInf + "oem3.inf", "QVL7STAT.EXE\r\n");
    std::vector<std::string> calls = InfCalls(Run());
    EXPECT_TRUE(
        SameLines(calls, {"DeleteFileA(\"C:\\WINDOWS\\INF\\OTHER\\OVRIKQVL7R40.INF\") -> 1"}));
    EXPECT_FALSE(FileExists(kInf + "OTHER\\OVRIKQVL7R40.INF"));
    EXPECT_TRUE(FileExists(kInf + "OTHER\\HPLJ4.INF"));
    EXPECT_TRUE(FileExists(kInf + "oem3.inf"));
}

TEST_F(InfCleanup, WordRules) {
    struct Case {
        const char* name;
        std::string bytes;
        bool deleted;
    };
    const std::string t = "QVL7STAT.EXE";
    const Case cases[] = {
        {"own line", "[x]\r\n" + t + "\r\n", true},
        {"key and value", t + " = 1\r\n", true},
        {"tab separated", "a\t" + t + "\tb", true},
        {"vertical tab and form feed", "\x0B" + t + "\x0C", true},
        {"last word without line break", "[Files]\r\n" + t, true},
        {"only the word", t, true},
        {"lone CR around it", "\r" + t + "\r", true},
        {"stops at the first match", t + "\r\n" + std::string(5000, 'z'), true},
        {"after Ctrl-Z", "[Files]\r\n\x1A" + t + "\r\n", false},
        {"Ctrl-Z right after it", "x " + t + "\x1A" + "junk", true},
        {"Ctrl-Z glued in front", "x\x1A" + t, false},
        {"commas after it", t + ",,,1\r\n", false},
        {"quoted", "\"" + t + "\"\r\n", false},
        {"lower case", "qvl7stat.exe\r\n", false},
        {"part of a longer word", "X" + t + "\r\n", false},
        {"empty", "", false},
        {"white space only", " \r\n\t\r\n", false},
        {"NUL glued after it", t + std::string(1, '\0') + "junk\r\n", false},
        {"NUL glued before it", std::string(1, '\0') + t + "\r\n", false},
        {"NUL inside a word of its length", "QVL7" + std::string(1, '\0') + "TAT.EXE\r\n", false},
        {"high bytes around", "\xA0" + t + "\xFF\r\n", false},
        {"199-character word ends in it", std::string(187, 'A') + t + "\r\n", false},
        {"200-character word ends in it", std::string(188, 'A') + t + "\r\n", false},
        {"word past the buffer ends in it", std::string(500, 'A') + t, false},
        {"long word, then the word", std::string(500, 'A') + " " + t, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutFile(kInf + "oem7.inf", c.bytes);
        Run();
        EXPECT_EQ(FileExists(kInf + "oem7.inf"), !c.deleted);
    }
}

TEST_F(InfCleanup, OnlyTheFileThatHoldsTheWordGoes) {
    PutFile(kInf + "oem0.inf", "[Version]\r\nClass=Printer\r\n");
    PutFile(kInf + "oem1.inf", "[Files]\r\nQVL7STAT.EXE\r\n");
    PutFile(kInf + "oem2.inf", "[Files]\r\nHPPCL5MS.DRV\r\n");
    PutFile(kInf + "printer.inf", "QVL7STAT.EXE\r\n");
    PutFile(kInf + "oem9.pnf", "QVL7STAT.EXE\r\n");
    std::vector<std::string> calls = InfCalls(Run());
    EXPECT_TRUE(FileExists(kInf + "oem0.inf"));
    EXPECT_FALSE(FileExists(kInf + "oem1.inf"));
    EXPECT_TRUE(FileExists(kInf + "oem2.inf"));
    EXPECT_TRUE(FileExists(kInf + "printer.inf"));
    EXPECT_TRUE(FileExists(kInf + "oem9.pnf"));
    // Listing first, then one file at a time, each closed before the next is opened.
    std::vector<std::string> expected = {
        "malloc(52000) -> block",
        "FindFirstFileA(\"C:\\WINDOWS\\INF\\oem*.inf\") -> find#1 \"oem0.inf\"",
        "FindNextFileA(find#1) -> 1 \"oem1.inf\"",
        "FindNextFileA(find#1) -> 1 \"oem2.inf\"",
        "FindNextFileA(find#1) -> 0",
        "FindClose(find#1) -> 1",
        "fopen(\"C:\\WINDOWS\\INF\\oem0.inf\", \"r\") -> file#1",
        "feof(file#1) -> 0",
        "fscanf(file#1, \"%s\") -> 1 \"[Version]\"",
        "feof(file#1) -> 0",
        "fscanf(file#1, \"%s\") -> 1 \"Class=Printer\"",
        "feof(file#1) -> 0",
        "fscanf(file#1, \"%s\") -> -1",
        "fclose(file#1) -> 0",
        "fopen(\"C:\\WINDOWS\\INF\\oem1.inf\", \"r\") -> file#2",
        "feof(file#2) -> 0",
        "fscanf(file#2, \"%s\") -> 1 \"[Files]\"",
        "feof(file#2) -> 0",
        "fscanf(file#2, \"%s\") -> 1 \"QVL7STAT.EXE\"",
        "fclose(file#2) -> 0",
        "DeleteFileA(\"C:\\WINDOWS\\INF\\oem1.inf\") -> 1",
        "fopen(\"C:\\WINDOWS\\INF\\oem2.inf\", \"r\") -> file#3",
        "feof(file#3) -> 0",
        "fscanf(file#3, \"%s\") -> 1 \"[Files]\"",
        "feof(file#3) -> 0",
        "fscanf(file#3, \"%s\") -> 1 \"HPPCL5MS.DRV\"",
        "feof(file#3) -> 0",
        "fscanf(file#3, \"%s\") -> -1",
        "fclose(file#3) -> 0",
        "free(block)",
    };
    EXPECT_TRUE(SameLines(calls, expected));
}

TEST_F(InfCleanup, LastWordWithoutLineBreakIsComparedBeforeTheEnd) {
    PutFile(kInf + "oem1.inf", "a QVL7STAT.EXE");
    PutFile(kInf + "oem2.inf", "a b");
    std::vector<std::string> calls = InfCalls(Run());
    EXPECT_FALSE(FileExists(kInf + "oem1.inf"));
    auto at = std::find(calls.begin(), calls.end(), "fscanf(file#2, \"%s\") -> 1 \"b\"");
    ASSERT_NE(at, calls.end());
    EXPECT_EQ(*(at + 1), "feof(file#2) -> 1");
    EXPECT_EQ(*(at + 2), "fclose(file#2) -> 0");
}

TEST_F(InfCleanup, EveryHolderGoesInSearchOrder) {
    for (const char* name : {"oem1.inf", "OEM2.INF", "oem10.inf"})
        PutFile(kInf + name, "QVL7STAT.EXE\r\n");
    std::vector<std::string> deletes = Calls(InfCalls(Run()), "DeleteFileA");
    std::vector<std::string> expected = {"DeleteFileA(\"C:\\WINDOWS\\INF\\OEM2.INF\") -> 1",
                                         "DeleteFileA(\"C:\\WINDOWS\\INF\\oem1.inf\") -> 1",
                                         "DeleteFileA(\"C:\\WINDOWS\\INF\\oem10.inf\") -> 1"};
    EXPECT_TRUE(SameLines(deletes, expected));
}

TEST_F(InfCleanup, EmptyFileAfterAMatchingOneStays) {
    PutFile(kInf + "oem1.inf", "QVL7STAT.EXE");
    PutFile(kInf + "oem2.inf", "");
    PutFile(kInf + "oem3.inf", "   \r\n");
    Run();
    EXPECT_FALSE(FileExists(kInf + "oem1.inf"));
    EXPECT_TRUE(FileExists(kInf + "oem2.inf"));
    EXPECT_TRUE(FileExists(kInf + "oem3.inf"));
}

TEST_F(InfCleanup, NoMatchingFileOpensNothing) {
    PutFile(kInf + "printer.inf", "QVL7STAT.EXE\r\n");
    std::vector<std::string> calls = InfCalls(Run());
    std::vector<std::string> expected = {
        "malloc(52000) -> block",
        "FindFirstFileA(\"C:\\WINDOWS\\INF\\oem*.inf\") -> INVALID_HANDLE_VALUE", "free(block)"};
    EXPECT_TRUE(SameLines(calls, expected));
}

TEST_F(InfCleanup, TwoHundredAndMoreMatchesAreAllScanned) {
    for (unsigned count : {200u, 201u, 450u}) {
        SCOPED_TRACE(count);
        Restart();
        for (unsigned i = 0; i < count; ++i)
            PutFile(kInf + "oem" + std::to_string(i) + ".inf",
                    i % 2 ? "QVL7STAT.EXE\r\n" : "x\r\n");
        std::vector<std::string> calls = InfCalls(Run());
        EXPECT_EQ(Calls(calls, "fopen").size(), count);
        EXPECT_EQ(Calls(calls, "DeleteFileA").size(), count / 2);
        for (unsigned i = 0; i < count; ++i)
            EXPECT_EQ(FileExists(kInf + "oem" + std::to_string(i) + ".inf"), i % 2 == 0) << i;
        EXPECT_EQ(Calls(calls, "malloc").size(), Calls(calls, "free").size());
    }
}

TEST_F(InfCleanup, NameListAllocationFailures) {
    for (unsigned i = 0; i < 201; ++i)
        PutFile(kInf + "oem" + std::to_string(1000 + i) + ".inf", "QVL7STAT.EXE\r\n");
    std::vector<std::string> normal = Run();

    // No list at all: the stage ends before it searches.
    Restart();
    for (unsigned i = 0; i < 201; ++i)
        PutFile(kInf + "oem" + std::to_string(1000 + i) + ".inf", "QVL7STAT.EXE\r\n");
    FaultPlan faults;
    faults.failCall = Call::Allocate;
    std::vector<std::string> calls = InfCalls(Run(faults));
    EXPECT_TRUE(SameLines(calls, {"malloc(52000) -> NULL"}));
    EXPECT_TRUE(FileExists(kInf + "oem1000.inf"));

    // The list cannot grow past 200: the 200 names listed are still scanned. Every
    // call is traced, so a call's number is its line number in the trace.
    std::size_t second = 0;
    for (std::size_t i = 0, seen = 0; i < normal.size(); ++i)
        if (normal[i].rfind("malloc(104000)", 0) == 0 && seen++ == 0)
            second = i + 1;
    ASSERT_GT(second, 0u);
    Restart();
    for (unsigned i = 0; i < 201; ++i)
        PutFile(kInf + "oem" + std::to_string(1000 + i) + ".inf", "QVL7STAT.EXE\r\n");
    faults = FaultPlan();
    faults.failAt = second;
    calls = InfCalls(Run(faults));
    EXPECT_EQ(lastInjected_, 1u);
    EXPECT_EQ(Calls(calls, "DeleteFileA").size(), 200u);
    EXPECT_TRUE(FileExists(kInf + "oem1200.inf"));
    EXPECT_EQ(Calls(calls, "free").size(), 1u);
}

TEST_F(InfCleanup, NamesThatCannotBeReadAreSkipped) {
    PutFolder(kInf + "oemdir.inf");
    PutFile(kInf + "oemdir.inf\\QVL7STAT.EXE", "QVL7STAT.EXE");
    PutFile(kInf + "oem1.inf", "QVL7STAT.EXE");
    PutFile(kInf + "oem2.inf", "QVL7STAT.EXE");
    ASSERT_TRUE(emu::AddMachineSetting(folder_, "Protected", "UnopenableFile", kInf + "oem1.inf"));
    std::vector<std::string> calls = InfCalls(Run());
    EXPECT_TRUE(FileExists(kInf + "oemdir.inf\\QVL7STAT.EXE"));
    EXPECT_TRUE(FileExists(kInf + "oem1.inf"));
    EXPECT_FALSE(FileExists(kInf + "oem2.inf"));
    EXPECT_EQ(Calls(calls, "DeleteFileA").size(), 1u);
}

TEST_F(InfCleanup, RefusedDeletionDoesNotStopTheScan) {
    PutFile(kInf + "oem1.inf", "QVL7STAT.EXE");
    PutFile(kInf + "oem2.inf", "QVL7STAT.EXE");
    ASSERT_TRUE(emu::AddMachineSetting(folder_, "Protected", "UndeletableFile", kInf + "oem1.inf"));
    Run();
    EXPECT_TRUE(FileExists(kInf + "oem1.inf"));
    EXPECT_FALSE(FileExists(kInf + "oem2.inf"));
}

TEST_F(InfCleanup, PathLengthBoundaries) {
    // From a Windows directory of 232 characters ...\INF\OTHER\OVRIKQVL7R40.INF is 259;
    // from 246 the older builds' ...\INF\oem*.inf is, and from 256 their ...\INF is 260.
    const std::pair<WinDword, unsigned> cases[] = {
        {kBuild98, 232}, {kBuild98, 233}, {kBuild95, 246}, {kBuild95, 247}, {kBuild95, 256}};
    for (auto [build, length] : cases) {
        SCOPED_TRACE((build == kBuild98 ? "Windows 98, " : "Windows 95, ") +
                     std::to_string(length));
        Restart();
        std::string windows = "C:\\" + std::string(length - 3, 'w');
        SetMachine(build, windows, "C:\\S");
        std::string inf =
            windows + (build == kBuild98 ? "\\INF\\OTHER\\OVRIKQVL7R40.INF" : "\\INF\\oem1.inf");
        PutFile(inf, "QVL7STAT.EXE");
        std::vector<std::string> trace = Run();
        EXPECT_EQ(FileExists(inf), length != 232 && length != 246);
        EXPECT_EQ(Calls(trace, "DeleteFileA(\"" + windows).size(), FileExists(inf) ? 0u : 1u);
        // A path that did not fit is not searched cut short, from the root or as "".
        for (const std::string& search : Calls(trace, "FindFirstFileA(\""))
            EXPECT_TRUE(search.rfind("FindFirstFileA(\"" + windows + "\\", 0) == 0) << search;
    }
}

TEST_F(InfCleanup, ListedNameLengthBoundary) {
    // Folder, backslash and name together: 259 is scanned, 260 is skipped.
    std::string windows = "C:\\" + std::string(200, 'w');
    SetMachine(kBuild95, windows, "C:\\S");
    std::string folder = windows + "\\INF";                       // 207 characters
    std::string fits = "oem" + std::string(51 - 7, 'f') + ".inf"; // 51 characters: 259
    std::string over = "oem" + std::string(52 - 7, 'g') + ".inf"; // 52 characters: 260
    PutFile(folder + "\\" + fits, "QVL7STAT.EXE");
    PutFile(folder + "\\" + over, "QVL7STAT.EXE");
    std::vector<std::string> trace = Run();
    EXPECT_FALSE(FileExists(folder + "\\" + fits));
    EXPECT_TRUE(FileExists(folder + "\\" + over));
    EXPECT_EQ(Calls(trace, "fopen(\"" + folder).size(), 1u);
}

} // namespace
} // namespace qvl::test
