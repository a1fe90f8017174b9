// textmode_test.cpp: the C runtime's text-mode rules over a byte file.
#include "memory_file.h"
#include "test_support.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace qvl::test {
namespace {

// Each word read, then "EOF"; the end-of-file indicator after each read as * (set) or
// nothing.
std::vector<std::string> Words(const std::string& bytes, unsigned size = 200, int failRead = 0) {
    MemoryFile file(bytes);
    file.failRead = failRead;
    TextStream stream;
    stream.AttachForReading(&file);
    std::vector<std::string> out;
    std::vector<char> word(size);
    for (int guard = 0; guard < 1000; ++guard) {
        unsigned length = 0;
        int r = stream.ScanWord(word.data(), size, &length);
        std::string mark = stream.AtEndOfFile() ? "*" : "";
        if (r != 1) {
            out.push_back("EOF" + mark);
            break;
        }
        std::string text(word.data(), std::min(length, size - 1));
        if (length > size - 1)
            text += "+" + std::to_string(length);
        out.push_back(text + mark);
    }
    return out;
}

using V = std::vector<std::string>;

TEST(TextMode, WordReading) {
    struct Case {
        const char* name;
        std::string bytes;
        V words;
        int failRead = 0; // the read that fails, in pieces of 7 bytes
    };
    const Case cases[] = {
        {"line break after the last word", "ab cd\r\n", {"ab", "cd", "EOF*"}},
        {"no line break after the last word", "ab cd", {"ab", "cd*", "EOF*"}},
        {"empty", "", {"EOF*"}},
        {"blanks only", " \t\r\n\x0B\x0C", {"EOF*"}},
        {"Ctrl-Z first",
         "\x1A"
         "ab",
         {"EOF*"}},
        {"CR LF split by a refill", "abcdef\r\ng", {"abcdef", "g*", "EOF*"}},
        {"Ctrl-Z right after a refill", "abcdefg\x1Ah", {"abcdefg*", "EOF*"}},
        {"CR before Ctrl-Z", "a\r\x1A", {"a", "EOF*"}},
        {"NUL and high bytes are word bytes",
         std::string("a\0b \xFF\xA0", 6),
         {std::string("a\0b", 3), "\xFF\xA0*", "EOF*"}},
        {"commas and quotes are word bytes", "\"x\",,,1", {"\"x\",,,1*", "EOF*"}},
        {"a read error cuts a word", "a QVL7STAT.EXEX", {"a", "EOF"}, 3},
        {"a read error after a CR", "a QVL7\r", {"a", "QVL7", "EOF"}, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Words(c.bytes, 200, c.failRead), c.words) << c.name;
}

TEST(TextMode, LongWordsAreReadWholeButStoredCut) {
    EXPECT_EQ(Words(std::string(199, 'a') + " b"), (V{std::string(199, 'a'), "b*", "EOF*"}));
    EXPECT_EQ(Words(std::string(200, 'a') + " b"),
              (V{std::string(199, 'a') + "+200", "b*", "EOF*"}));
    EXPECT_EQ(Words(std::string(5000, 'a') + "QVL7STAT.EXE"),
              (V{std::string(199, 'a') + "+5012*", "EOF*"}));
}

TEST(TextMode, BinaryReadsGiveTheBytesAndAFailedReadIsNoEnd) {
    // "rb" keeps CR LF and Ctrl-Z; a failed read ends the bytes but, as in msvcrt, not feof.
    for (int failing : {0, 3}) {
        MemoryFile file("[a]\r\n\x1A[b]\r\n", 4);
        file.failRead = failing;
        TextStream stream;
        stream.AttachForReading(&file, true);
        char buffer[32];
        std::string got(buffer, stream.ReadBytes(buffer, sizeof buffer));
        EXPECT_EQ(got, failing ? "[a]\r\n\x1A[b" : "[a]\r\n\x1A[b]\r\n");
        EXPECT_EQ(stream.AtEndOfFile(), failing ? 0 : 1) << "read " << failing << " failing";
    }
}

TEST(TextMode, AppendingWritesCrLfAtTheEnd) {
    struct Case {
        std::string before;
        std::string line;
        std::string after;
    };
    std::vector<Case> cases = {{"x", "one", "xone\r\ntwo\r\n"}};
    // Lines around the 256-byte buffer they pass through, the CR LF at its edge.
    for (std::size_t size = 254; size <= 258; ++size)
        cases.push_back({"", std::string(size, 'L'), std::string(size, 'L') + "\r\ntwo\r\n"});
    for (const Case& c : cases) {
        MemoryFile file(c.before);
        TextStream stream;
        ASSERT_TRUE(stream.AttachForAppending(&file));
        EXPECT_EQ(stream.PrintLine(c.line.c_str()), static_cast<int>(c.line.size()) + 1);
        file.Seek(0); // a stray seek must not matter: every write goes to the end
        stream.PrintLine("two");
        EXPECT_EQ(stream.Close(), 0);
        EXPECT_TRUE(file.closed);
        EXPECT_TRUE(SameText(file.Bytes(), c.after)) << c.line.size();
    }
}

// Each call of an append fails in turn, in every way (FileFaults): the open fails with
// the file as it was, or lines come whole, never behind the final Ctrl-Z.
TEST(TextMode, EachFileCallOfAnAppendFailsInTurn) {
    const std::string before = "[rename]\r\n\x1A", line(300, 'L');
    for (std::uint64_t n = 1, faults = 1; faults > 0; ++n) {
        faults = 0;
        for (std::size_t way = 0; way < 3; ++way) {
            MemoryFile memory(before);
            FileFaults plan;
            plan.failAt = n;
            plan.way = way;
            FaultingByteFile file(&memory, &plan);
            TextStream stream;
            bool open = stream.AttachForAppending(&file);
            bool first = open && stream.PrintLine(line.c_str()) > 0;
            bool second = open && stream.PrintLine("two") > 0;
            std::size_t faulted = plan.Injected().size();
            int seek = stream.SeekFromEnd(-1); // a failed Size or Seek is told
            EXPECT_EQ(seek, open && plan.Injected().size() == faulted ? 0 : -1) << n << way;
            faults += plan.Injected().size();
            std::string after =
                "[rename]\r\n" + (first ? line + "\r\n" : "") + (second ? "two\r\n" : "");
            EXPECT_TRUE(SameText(memory.Bytes(), open ? after : before)) << n << " " << way;
        }
    }
}

TEST(TextMode, LineFeedsInsideALineBecomeCrLfAndLongLinesArriveWhole) {
    MemoryFile file("");
    TextStream stream;
    stream.AttachForAppending(&file);
    std::string longLine(1000, 'L');
    longLine[500] = '\n';
    EXPECT_EQ(stream.PrintLine(longLine.c_str()), 1001);
    EXPECT_TRUE(
        SameText(file.Bytes(), longLine.substr(0, 500) + "\r" + longLine.substr(500) + "\r\n"));
}

TEST(TextMode, LineThatCannotBeWrittenWholeIsTakenBack) {
    // -2, -3: the seek back or the cut fails too, and the part stays
    for (int failing : {1, 2, 3, -2, -3}) {
        MemoryFile file("[rename]\r\n");
        TextStream stream;
        stream.AttachForAppending(&file);
        file.failWrite = std::abs(failing);
        file.failSeek = failing == -2;
        file.failTruncate = failing == -3;
        std::string line = "NULL=C:\\" + std::string(500, 'S') + "\\QVL7UNIN.EXE";
        EXPECT_EQ(stream.PrintLine(line.c_str()), -1) << failing;
        std::string stuck = file.Bytes();
        EXPECT_TRUE(failing < 0 || SameText(stuck, "[rename]\r\n")) << failing;
        file.failWrite = 0;
        file.failSeek = file.failTruncate = false;
        stream.PrintLine("NULL=C:\\X"); // never glued to a part left
        EXPECT_TRUE(SameText(file.Bytes(), failing < 0 ? stuck : "[rename]\r\nNULL=C:\\X\r\n"));
    }
}

TEST(TextMode, StreamsOfTheWrongModeRefuse) {
    MemoryFile file("word");
    TextStream reader;
    reader.AttachForReading(&file);
    EXPECT_EQ(reader.PrintLine("x"), -1);
    EXPECT_TRUE(SameText(file.Bytes(), "word"));
    TextStream writer;
    writer.AttachForAppending(&file);
    char word[8];
    unsigned length = 0;
    EXPECT_EQ(writer.ScanWord(word, sizeof word, &length), kTextEof);
}

} // namespace
} // namespace qvl::test
