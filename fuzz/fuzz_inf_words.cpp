// fuzz_inf_words.cpp: the text-mode word reader against a plain reading of the rules.
#include "tests/memory_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The words as the rules give them: the text ends at the first Ctrl-Z, CR LF is LF, and
// words are runs of bytes other than blank and 0x09 to 0x0D.
std::vector<std::string> Reference(const std::string& bytes) {
    std::string text = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || (c >= 9 && c <= 13)) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    unsigned bufferSize = 1 + data[0] % 220; // word buffers of 1 to 220 bytes
    unsigned piece = 1 + data[1] % 64;       // how much one read returns
    std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    qvl::test::MemoryFile file(bytes, piece);
    qvl::TextStream stream;
    stream.AttachForReading(&file);
    std::vector<std::string> expected = Reference(bytes);
    std::vector<char> word(bufferSize + 16, '\x55');
    std::size_t count = 0;
    for (;;) {
        unsigned length = 0;
        int r = stream.ScanWord(word.data(), bufferSize, &length);
        for (std::size_t i = bufferSize; i < word.size(); ++i)
            if (word[i] != '\x55')
                std::abort(); // written past the buffer
        if (r != 1)
            break;
        if (count >= expected.size() || length != expected[count].size())
            std::abort();
        std::size_t stored = std::min<std::size_t>(length, bufferSize - 1);
        if (std::memcmp(word.data(), expected[count].data(), stored) != 0 || word[stored] != 0)
            std::abort();
        ++count;
        // The end-of-file indicator is set once the last word has been read and the text
        // ended right after it, or after a read that found no word.
        if (stream.AtEndOfFile() && count != expected.size())
            std::abort();
    }
    if (count != expected.size() || !stream.AtEndOfFile())
        std::abort();
    return 0;
}
