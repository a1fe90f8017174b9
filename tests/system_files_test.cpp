// system_files_test.cpp: the driver's system files and the wininit.ini lines.
//
// Expected wininit.ini bytes spell the "NULL=" lines out on purpose, as a check of the
// stage's text; the file names themselves come from the tables (test_support.h).
#include "test_support.h"

#include <cctype>

namespace qvl::test {
namespace {

std::string NullLines(const std::string& systemDir) {
    std::string text;
    for (const char* name : kDeferredFiles)
        text += "NULL=" + systemDir + "\\" + name + "\r\n";
    return text;
}

const std::string kWininit = "C:\\WINDOWS\\wininit.ini";

// A literal's bytes, NULs included.
template <std::size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

class SystemFiles : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        SetMachine(kBuild98);
    }
};

TEST_F(SystemFiles, FilesGoInTableOrderAndTheOnesInUseStay) {
    for (const char* name : kSystemFiles)
        PutFile(std::string("C:\\WINDOWS\\SYSTEM\\") + name, "x");
    for (const char* name : kDeferredFiles)
        PutFile(std::string("C:\\WINDOWS\\SYSTEM\\") + name, "x");
    PutFile("C:\\WINDOWS\\SYSTEM\\QVL7STAT.EX_", "x");
    PutFile("C:\\WINDOWS\\SYSTEM\\QVL733.DLL", "x");
    std::vector<std::string> deletes = Calls(Run(), "DeleteFileA(\"C:\\WINDOWS\\SYSTEM\\");
    ASSERT_EQ(deletes.size(), kSystemFiles.size());
    for (std::size_t i = 0; i < deletes.size(); ++i)
        EXPECT_EQ(deletes[i], std::string("DeleteFileA(\"C:\\WINDOWS\\SYSTEM\\") + kSystemFiles[i] +
                                  "\") -> 1");
    for (const char* name : kSystemFiles)
        EXPECT_FALSE(FileExists(std::string("C:\\WINDOWS\\SYSTEM\\") + name)) << name;
    for (const char* name : kDeferredFiles)
        EXPECT_TRUE(FileExists(std::string("C:\\WINDOWS\\SYSTEM\\") + name)) << name;
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\SYSTEM\\QVL7STAT.EX_"));
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\SYSTEM\\QVL733.DLL"));
}

TEST_F(SystemFiles, FileThatWillNotGoIsPassedOver) {
    for (const char* name : kSystemFiles)
        PutFile(std::string("C:\\WINDOWS\\SYSTEM\\") + name, "x");
    const std::string stuck = kSystemFiles.front();
    std::string lower = "c:\\windows\\system\\" + stuck;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(emu::AddMachineSetting(folder_, "Protected", "UndeletableFile", lower));
    Run();
    for (const char* name : kSystemFiles)
        EXPECT_EQ(FileExists(std::string("C:\\WINDOWS\\SYSTEM\\") + name), name == stuck) << name;
    // No second attempt, and no wininit.ini line for it.
    EXPECT_EQ(ReadFile(kWininit).find(stuck), std::string::npos);
}

TEST_F(SystemFiles, WininitIsCreatedWithHeaderAndALineForEachFileInUse) {
    Run();
    EXPECT_EQ(ReadFile(kWininit), "[rename]\r\n" + NullLines("C:\\WINDOWS\\SYSTEM"));
}

TEST_F(SystemFiles, ExistingWininitGetsTheLinesAppended) {
    struct Case {
        const char* name;
        std::string before;
        std::string kept;    // what stands before the appended lines afterwards
        bool header = false; // written by this run
    };
    const std::string ended = "[x]\r\n" + std::string(253, 'x') + "\r\n"; // 260: fread's piece
    const std::string open = "[rename]\r\n" + std::string(250, 'x');      // 260, unended
    const Case cases[] = {
        {"with [rename]", "[rename]\r\nNUL=C:\\OLD.DLL\r\n", "[rename]\r\nNUL=C:\\OLD.DLL\r\n"},
        // Lines under another section would be passed over.
        {"rename section not last", "[rename]\r\nNUL=C:\\A\r\n[other]\r\nx=1\r\n",
         "[rename]\r\nNUL=C:\\A\r\n[other]\r\nx=1\r\n[rename]\r\n", true},
        {"another section alone", "[CombineVxDs]\r\nfoo=bar\r\n",
         "[CombineVxDs]\r\nfoo=bar\r\n[rename]\r\n", true},
        {"rename last after another", "[x]\r\n[rename]\r\n", "[x]\r\n[rename]\r\n"},
        // Left so by a run that failed after creating it: its lines need a header.
        {"empty file", "", "[rename]\r\n", true},
        {"line feed alone", "[rename]\nNUL=C:\\A\n", "[rename]\nNUL=C:\\A\n"},
        // The first line must not be glued to the last one there.
        {"no line break at the end", "[rename]\r\nNUL=C:\\A", "[rename]\r\nNUL=C:\\A\r\n"},
        {"only a header", "[rename]", "[rename]\r\n"},
        {"header, then Ctrl-Z", "[rename]\x1A", "[rename]\r\n"},
        {"carriage return alone", "[rename]\r", "[rename]\r\r\n"},
        {"blank at the end", "[rename]\r\nNUL=C:\\A ", "[rename]\r\nNUL=C:\\A \r\n"},
        {"ends in Ctrl-Z", "[rename]\r\nNUL=C:\\A\r\n\x1A", "[rename]\r\nNUL=C:\\A\r\n"},
        {"only one Ctrl-Z is taken", "[rename]\r\n\x1A\x1A", "[rename]\r\n\x1A\r\n"},
        {"Ctrl-Z inside stays", "[rename]\r\n\x1A\r\nx\r\n", "[rename]\r\n\x1A\r\nx\r\n"},
        {"only a Ctrl-Z", "\x1A", "[rename]\r\n", true},
        // No line is a section header: WININIT.EXE would pass over lines under none.
        {"blank lines", "\r\n\r\n", "\r\n\r\n[rename]\r\n", true},
        {"three blanks", "   ", "   \r\n[rename]\r\n", true},
        {"a comment", "; by setup\r\n", "; by setup\r\n[rename]\r\n", true},
        {"brackets that open no section", "[rename\r\n;[x]\r\n", "[rename\r\n;[x]\r\n[rename]\r\n",
         true},
        {"a header after blanks", " \t[x]\r\n", " \t[x]\r\n[rename]\r\n", true},
        // The Ctrl-Z that "a+" cuts comes alone in the second piece read; the line
        // before it is still unended.
        {"a Ctrl-Z alone in the second piece", "[rename]\r\n" + std::string(250, 'x') + "\x1A",
         "[rename]\r\n" + std::string(250, 'x') + "\r\n"},
        // A last piece of 1 to 3 bytes: the line end before a Ctrl-Z, across the edge.
        {"last piece \"X\"", ended + "X", ended + "X\r\n[rename]\r\n", true},
        {"last piece LF", open + "\n", open + "\n"},
        {"last piece Ctrl-Z after an ended line", ended + "\x1A", ended + "[rename]\r\n", true},
        {"last piece \"X\", Ctrl-Z", ended + "X\x1A", ended + "X\r\n[rename]\r\n", true},
        {"last piece LF, Ctrl-Z", open + "\n\x1A", open + "\n"},
        {"last piece CR LF", open + "\r\n", open + "\r\n"},
        {"last piece \"XY\", Ctrl-Z", ended + "XY\x1A", ended + "XY\r\n[rename]\r\n", true},
        {"last piece CR LF, Ctrl-Z", open + "\r\n\x1A", open + "\r\n"},
        {"last piece \"X\", CR LF", ended + "X\r\n", ended + "X\r\n[rename]\r\n", true},
        // Headers as Wine's profile reader sees them.
        {"after a form feed", "\f[rename]\r\nNUL=C:\\A\r\n", "\f[rename]\r\nNUL=C:\\A\r\n"},
        {"after a Ctrl-Z", "\x1A[rename]\r\n", "\x1A[rename]\r\n"},
        {"after 300 blanks", std::string(300, ' ') + "[rename]\r\n",
         std::string(300, ' ') + "[rename]\r\n"},
        {"its \"[\" last in the first piece read", std::string(259, '\t') + "[rename]",
         std::string(259, '\t') + "[rename]\r\n"},
        {"its \"[\" first in the second", std::string(260, '\v') + "[Rename]\r\n",
         std::string(260, '\v') + "[Rename]\r\n"},
        {"any letter case, blanks inside", "[x]\r\n[ ReNaME\t]\r\n", "[x]\r\n[ ReNaME\t]\r\n"},
        {"a space before the \"]\"", "[x]\r\n[rename ]\r\n", "[x]\r\n[rename ]\r\n"},
        {"the start of \"rename\"", "[rename]\r\n[renam]\r\n",
         "[rename]\r\n[renam]\r\n[rename]\r\n", true},
        {"the name runs to the last \"]\"", "[rename]x]\r\n", "[rename]x]\r\n[rename]\r\n", true},
        {"a NUL ends the name", Bytes("[rename\0x]\r\n"), Bytes("[rename\0x]\r\n")},
        // Trimming stops at the NUL, so the name keeps the blank: "rename ".
        {"a NUL after a blank", Bytes("[rename \0]\r\n"), Bytes("[rename \0]\r\n[rename]\r\n"),
         true},
        {"a NUL hides no line end", Bytes("a\0b\r\n[rename]\r\n"), Bytes("a\0b\r\n[rename]\r\n")},
        {"a NUL starts a long line", Bytes("\0") + std::string(300, 'x') + "\r\n[rename]",
         Bytes("\0") + std::string(300, 'x') + "\r\n[rename]\r\n"},
        {"a NUL, then blanks", Bytes("\0") + std::string(300, ' ') + "[rename]\r\n",
         Bytes("\0") + std::string(300, ' ') + "[rename]\r\n[rename]\r\n", true},
        {"carriage returns alone", "[x]\r[rename]\r", "[x]\r[rename]\r\r\n"},
        {"then a \"[\" without \"]\"", "[rename]\r\n[other\r\n", "[rename]\r\n[other\r\n"},
        {"a NUL that starts the line", Bytes("\0[rename]\r\n"), Bytes("\0[rename]\r\n[rename]\r\n"),
         true},
        {"a header after a long line", std::string(300, 'x') + "\r\n[rename]",
         std::string(300, 'x') + "\r\n[rename]\r\n"},
        {"a long line's later part", std::string(259, 'x') + "[rename]",
         std::string(259, 'x') + "[rename]\r\n[rename]\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutFile(kWininit, c.before);
        std::vector<std::string> trace = Run();
        EXPECT_TRUE(SameText(ReadFile(kWininit), c.kept + NullLines("C:\\WINDOWS\\SYSTEM")));
        EXPECT_EQ(Calls(trace, "fprintf(file#2, \"%s\\n\", \"[rename]\")").size(),
                  c.header ? 1u : 0u);
    }
}

TEST_F(SystemFiles, WininitFoundWhateverTheCaseOfItsName) {
    PutFile("C:\\WINDOWS\\WININIT.INI", "[rename]\r\n");
    Run();
    EXPECT_EQ(ReadFile("C:\\WINDOWS\\WININIT.INI"),
              "[rename]\r\n" + NullLines("C:\\WINDOWS\\SYSTEM"));
}

TEST_F(SystemFiles, TwoRunsWithoutRestart) {
    Run();
    Run();
    EXPECT_EQ(ReadFile(kWininit),
              "[rename]\r\n" + NullLines("C:\\WINDOWS\\SYSTEM") + NullLines("C:\\WINDOWS\\SYSTEM"));
}

TEST_F(SystemFiles, WininitNotReadThroughGetsNothing) {
    // A file the run cannot open to read, cannot read to its end, or that its search
    // missed: whether it needs a header is unknown, and nothing is written to it.
    for (std::optional<Call> failing : {std::optional<Call>(), std::optional(Call::ReadBytes),
                                        std::optional(Call::FindFirstFileA)}) {
        SCOPED_TRACE(failing ? CallName(*failing) : "fopen refused");
        Restart();
        PutFile(kWininit, "[rename]\r\nNUL=C:\\A\r\n");
        if (!failing) {
            ASSERT_TRUE(emu::AddMachineSetting(folder_, "Protected", "UnopenableFile", kWininit));
        }
        FaultPlan faults;
        faults.failCall = failing;
        std::vector<std::string> trace = Run(faults);
        EXPECT_TRUE(SameText(ReadFile(kWininit), "[rename]\r\nNUL=C:\\A\r\n"));
        EXPECT_EQ(Calls(trace, "fprintf").size(), 0u);
        if (!failing) {
            EXPECT_EQ(trace.back(), "fopen(\"C:\\WINDOWS\\wininit.ini\", \"rb\") -> NULL");
        }
    }
}

TEST_F(SystemFiles, OtherDirectoriesAreUsedAsReported) {
    SetMachine(kBuild98, "D:\\WIN98", "D:\\WIN98\\SYSTEM");
    PutFolder("D:\\WIN98\\SYSTEM");
    PutFile("D:\\WIN98\\SYSTEM\\QVL732.DLL", "x");
    PutFile("C:\\WINDOWS\\SYSTEM\\QVL7CT.DLL", "x");
    Run();
    EXPECT_FALSE(FileExists("D:\\WIN98\\SYSTEM\\QVL732.DLL"));
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\SYSTEM\\QVL7CT.DLL"));
    EXPECT_EQ(ReadFile("D:\\WIN98\\wininit.ini"), "[rename]\r\n" + NullLines("D:\\WIN98\\SYSTEM"));
    EXPECT_FALSE(FileExists(kWininit));
}

TEST_F(SystemFiles, SystemDirectoryLengthBoundaries) {
    // "NULL=" + directory + "\" + name fits in a path buffer's 259 characters or is left
    // out: where the longest in-use name's line just fits, every line does; one character
    // more, only shorter names' do; at 254, where "NULL=" + directory + "\" alone is 260,
    // none does (nor a deletion's path) and no wininit.ini is written at all.
    std::string longest;
    for (const char* name : kDeferredFiles)
        longest = std::string(name).size() > longest.size() ? name : longest;
    const std::size_t fitting = 259 - 6 - longest.size();
    for (std::size_t length : {fitting, fitting + 1, std::size_t{254}}) {
        SCOPED_TRACE("a system directory of " + std::to_string(length) + " characters; " + longest +
                     ", the longest in-use name, has " + std::to_string(longest.size()));
        Restart();
        std::string system = "C:\\WINDOWS\\" + std::string(length - 11, 's');
        SetMachine(kBuild98, "C:\\WINDOWS", system);
        PutFolder(system);
        PutFile(system + "\\QVL7STAT.EXE", "x");
        std::vector<std::string> trace = Run();
        EXPECT_EQ(Calls(trace, "DeleteFileA(\"" + system).size(),
                  length < 254 ? kSystemFiles.size() : 0);
        EXPECT_EQ(FileExists(system + "\\QVL7STAT.EXE"), length == 254);
        std::string lines;
        for (const char* name : kDeferredFiles)
            if (length == fitting || (length < 254 && std::string(name).size() < longest.size()))
                lines += "NULL=" + system + "\\" + name + "\r\n";
        if (!lines.empty()) {
            EXPECT_TRUE(SameText(ReadFile(kWininit), "[rename]\r\n" + lines));
        } else {
            EXPECT_FALSE(FileExists(kWininit)) << ReadFile(kWininit);
            EXPECT_TRUE(Calls(trace, "fopen(\"" + kWininit).empty());
        }
    }
}

TEST_F(SystemFiles, LongSystemDirectorySkipsOnlyTheDeletionsThatDoNotFit) {
    // 246 + "\" + 12 = 259; the 10- and 11-character names still fit at 247 and 248.
    for (unsigned length : {246u, 247u, 248u, 249u}) {
        SCOPED_TRACE(length);
        Restart();
        std::string system = "C:\\WINDOWS\\" + std::string(length - 11, 's');
        SetMachine(kBuild98, "C:\\WINDOWS", system);
        std::vector<std::string> deletes = Calls(Run(), "DeleteFileA(\"" + system);
        std::size_t expected = 0;
        for (const char* name : kSystemFiles)
            expected += length + 1 + std::string(name).size() <= 259 ? 1 : 0;
        EXPECT_EQ(deletes.size(), expected);
        for (const std::string& line : deletes)
            EXPECT_LE(line.find("\") -> ") - line.find('"') - 1, 259u);
    }
}

TEST_F(SystemFiles, WindowsDirectoryLengthBoundaries) {
    // 247 + "\wininit.ini" = 259 fits; 248 does not, and nothing is written.
    for (unsigned length : {247u, 248u}) {
        SCOPED_TRACE(length);
        Restart();
        std::string windows = "C:\\" + std::string(length - 3, 'w');
        SetMachine(kBuild98, windows, "C:\\S");
        PutFolder(windows);
        std::vector<std::string> trace = Run();
        if (length == 247) {
            EXPECT_EQ(ReadFile(windows + "\\wininit.ini"), "[rename]\r\n" + NullLines("C:\\S"));
        } else {
            EXPECT_TRUE(Calls(trace, "fopen").empty());
            EXPECT_TRUE(Calls(trace, "FindFirstFileA(\"" + windows + "\\wininit").empty());
        }
    }
}

TEST_F(SystemFiles, DirectoriesNotReportedAreNeverTakenForTheRoot) {
    struct Case {
        Call failing;
        bool systemFilesDeleted;
        bool wininitWritten;
    };
    const Case cases[] = {
        {Call::GetSystemDirectoryA, false, false},
        {Call::GetWindowsDirectoryA, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CallName(c.failing));
        Restart();
        SetMachine(kBuild98);
        AddKey("HKEY_USERS\\."
               "DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
               {emu::RegString("Programs", "C:\\WINDOWS\\Start Menu\\Programs")});
        PutFile("C:\\QVL732.DLL", "root");
        PutFile("C:\\wininit.ini", "root");
        PutFile("C:\\WINDOWS\\SYSTEM\\QVL732.DLL", "x");
        PutFile("C:\\INF\\OTHER\\OVRIKQVL7R40.INF", "root");
        FaultPlan faults;
        faults.failCall = c.failing;
        std::vector<std::string> trace = Run(faults);
        EXPECT_EQ(ReadFile("C:\\QVL732.DLL"), "root");
        EXPECT_EQ(ReadFile("C:\\wininit.ini"), "root");
        EXPECT_EQ(ReadFile("C:\\INF\\OTHER\\OVRIKQVL7R40.INF"), "root");
        EXPECT_EQ(FileExists("C:\\WINDOWS\\SYSTEM\\QVL732.DLL"), !c.systemFilesDeleted);
        EXPECT_EQ(FileExists(kWininit), c.wininitWritten);
        for (const std::string& line : trace)
            EXPECT_EQ(line.find("(\"\\"), std::string::npos) << line;
    }
}

} // namespace
} // namespace qvl::test
