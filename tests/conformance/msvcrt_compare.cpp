// msvcrt_compare.cpp: our streams beside msvcrt's fopen/fscanf/fprintf/fread on the same bytes.
//
// Prints one table line per sample: what msvcrt makes of the bytes, what our text-mode
// layer makes of them, and whether the two agree. docs/textmode-msvcrt.md holds the
// table as it stands, and the test fails when a run prints anything else.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char kFile[] = "C:\\qvl-msvcrt-compare.txt";

std::string Show(const std::string& s) {
    std::string out;
    char hex[8];
    for (unsigned char c : s) {
        if (c < 0x20 || c >= 0x7F || c == '\\' || c == '|') {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Put(const std::string& bytes) {
    std::FILE* f = std::fopen(kFile, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string Get() {
    std::string bytes;
    std::FILE* f = std::fopen(kFile, "rb");
    int c;
    while (f != nullptr && (c = std::fgetc(f)) != EOF)
        bytes += static_cast<char>(c);
    if (f != nullptr)
        std::fclose(f);
    return bytes;
}

// Words as fscanf(f, "%s") gives them, "*" after one when feof is then set, "EOF" at
// the end. width limits the conversion as "%7s" does; our layer instead reads the whole
// word and stores what fits, "+N" giving the word's length.
std::string ScanMsvcrt(const std::string& bytes, unsigned width) {
    Put(bytes);
    std::FILE* f = std::fopen(kFile, "r");
    std::string out;
    char format[16];
    std::snprintf(format, sizeof format, "%%%us", width);
    for (int guard = 0; guard < 20; ++guard) {
        char word[4096] = {};
        int r = std::fscanf(f, format, word);
        std::string mark = std::feof(f) ? "*" : "";
        out += out.empty() ? "" : " ";
        if (r != 1) {
            out += "EOF" + mark;
            break;
        }
        out += Show(word) + mark;
    }
    std::fclose(f);
    return out;
}

std::string ScanOurs(const std::string& bytes, unsigned width) {
    Put(bytes);
    qvl::Platform& p = qvl::DefaultPlatform();
    qvl::TextStream* f = p.OpenText(kFile, "r");
    std::string out;
    for (int guard = 0; guard < 20; ++guard) {
        char word[4096] = {};
        unsigned length = 0;
        int r = p.ScanWord(f, word, width + 1, &length);
        std::string mark = p.AtEndOfFile(f) ? "*" : "";
        out += out.empty() ? "" : " ";
        if (r != 1) {
            out += "EOF" + mark;
            break;
        }
        out += Show(word) + (length > width ? "+" + std::to_string(length) : "") + mark;
    }
    p.CloseText(f);
    return out;
}

std::string AppendMsvcrt(const std::string& bytes, const char* line) {
    Put(bytes);
    std::FILE* f = std::fopen(kFile, "a+");
    int n = std::fprintf(f, "%s\n", line);
    std::fclose(f);
    return std::to_string(n) + " " + Show(Get());
}

std::string AppendOurs(const std::string& bytes, const char* line) {
    Put(bytes);
    qvl::Platform& p = qvl::DefaultPlatform();
    qvl::TextStream* f = p.OpenText(kFile, "a+");
    int n = p.PrintLine(f, line);
    p.CloseText(f);
    return std::to_string(n) + " " + Show(Get());
}

// What fread gives from a stream opened "rb", in pieces of 4 bytes (the count, then the
// bytes), then whether feof is set: the removal reads wininit.ini so before it appends.
std::string ReadMsvcrt(const std::string& bytes) {
    Put(bytes);
    std::FILE* f = std::fopen(kFile, "rb");
    std::string out;
    char piece[4];
    for (std::size_t got = 4; got == 4;) {
        got = std::fread(piece, 1, sizeof piece, f);
        out += std::to_string(got) + ":" + Show(std::string(piece, got)) + " ";
    }
    out += std::feof(f) ? "EOF" : "error";
    std::fclose(f);
    return out;
}

std::string ReadOurs(const std::string& bytes) {
    Put(bytes);
    qvl::Platform& p = qvl::DefaultPlatform();
    qvl::TextStream* f = p.OpenText(kFile, "rb");
    std::string out;
    char piece[4];
    for (unsigned got = 4; got == 4;) {
        got = p.ReadBytes(f, piece, sizeof piece);
        out += std::to_string(got) + ":" + Show(std::string(piece, got)) + " ";
    }
    out += p.AtEndOfFile(f) ? "EOF" : "error";
    p.CloseText(f);
    return out;
}

void Row(const std::string& what, const std::string& msvcrt, const std::string& ours) {
    std::printf("| %s | %s | %s | %s |\n", what.c_str(), msvcrt.c_str(), ours.c_str(),
                msvcrt == ours ? "same" : "differs");
}

} // namespace

int main() {
    struct Words {
        std::string bytes;
        unsigned width;
    };
    const Words words[] = {
        {"ab cd", 200},
        {"ab cd\r\n", 200},
        {"", 200},
        {std::string("ab\x1A") + "cd", 200},
        {std::string("ab \x1A") + "cd", 200},
        {"a\r\nb\rc\nd\r\n", 200},
        {"a\r\r\nb", 200},
        {std::string("a\x0B") + "b\x0C" + "c\td \r\n\x1A", 200},
        {std::string("a\0b c", 5), 200},
        {"\xA0x \xFFy", 200},
        {"abcdefghij abcdefg k", 7},
    };
    std::printf("| fscanf \"%%s\" on | msvcrt | ours | |\n");
    std::printf("|---|---|---|---|\n");
    for (const Words& w : words)
        Row("`" + Show(w.bytes) + "`" +
                (w.width != 200 ? " (%" + std::to_string(w.width) + "s)" : ""),
            ScanMsvcrt(w.bytes, w.width), ScanOurs(w.bytes, w.width));
    struct Lines {
        std::string bytes;
        const char* line;
    };
    const Lines lines[] = {
        {"", "one"},          {"x", "one"},     {"x\r\n\x1A", "one"},
        {"x\x1A\x1A", "one"}, {"\x1Ax", "one"}, {"", "a\nb"},
    };
    std::printf("\n| \"a+\", fprintf \"%%s\\n\" on | msvcrt | ours | |\n");
    std::printf("|---|---|---|---|\n");
    for (const Lines& l : lines)
        Row("`" + Show(l.bytes) + "` + `" + Show(l.line) + "`", AppendMsvcrt(l.bytes, l.line),
            AppendOurs(l.bytes, l.line));
    const std::string reads[] = {
        "", "[x]\r\n", "a\r\nb\rc\n", {"a\0b\x1A[x]\x1A", 8}, "\x1A\x1A\x1A\x1A", "\xFF\x80\r\r\n"};
    std::printf("\n| \"rb\", fread 4 bytes at a time on | msvcrt | ours | |\n");
    std::printf("|---|---|---|---|\n");
    for (const std::string& bytes : reads)
        Row("`" + Show(bytes) + "`", ReadMsvcrt(bytes), ReadOurs(bytes));
    DeleteFileA(kFile);
    return 0;
}
