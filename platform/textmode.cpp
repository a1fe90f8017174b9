// textmode.cpp: the C runtime's text-mode stream rules over a byte-level file.
#include "platform/textmode.h"

namespace qvl {

namespace {

constexpr unsigned char kCtrlZ = 0x1A;

bool IsBlank(int c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

} // namespace

void TextStream::AttachForReading(ByteFile* file, bool binary) {
    *this = TextStream();
    file_ = file;
    binary_ = binary;
}

bool TextStream::AttachForAppending(ByteFile* file) {
    *this = TextStream();
    // MSVCRT's open for "a+" looks at the last byte and cuts a Ctrl-Z off, so that
    // appended text is not hidden behind an end-of-file mark. Where it cannot tell or
    // cut, lines written now could stand behind a Ctrl-Z, where Windows 9x's reader
    // never sees them: the open fails instead. Unlike msvcrt it does not go back to the
    // start: every write goes to the end, and the stream reads nothing.
    std::int64_t size = file->Size();
    std::uint64_t last = static_cast<std::uint64_t>(size - 1);
    unsigned char c = 0;
    if (size != 0 && !(size > 0 && file->Seek(last) && file->Read(&c, 1) == 1 &&
                       (c != kCtrlZ || (file->Seek(last) && file->Truncate()))))
        return false;
    file_ = file;
    append_ = true;
    return true;
}

bool TextStream::Fill() {
    if (textEnded_)
        return false;
    long got = file_->Read(buffer_, sizeof buffer_);
    if (got <= 0) {
        error_ = got < 0;
        textEnded_ = true;
        return false;
    }
    pos_ = 0;
    len_ = static_cast<unsigned>(got);
    return true;
}

int TextStream::PeekByte() {
    if (pos_ == len_ && !Fill())
        return -1;
    if (buffer_[pos_] == kCtrlZ && !binary_) {
        textEnded_ = true;
        return -1;
    }
    return buffer_[pos_];
}

int TextStream::RawByte() {
    int c = PeekByte();
    if (c >= 0)
        ++pos_;
    return c;
}

int TextStream::GetChar() {
    if (pushback_ >= 0) {
        int c = pushback_;
        pushback_ = -1;
        return c;
    }
    int c = RawByte();
    if (c == '\r' && !binary_ && PeekByte() == '\n') {
        ++pos_;
        return '\n';
    }
    return c;
}

int TextStream::ScanWord(char* word, unsigned size, unsigned* length) {
    *length = 0;
    if (size > 0)
        word[0] = 0;
    if (file_ == nullptr || append_)
        return kTextEof;
    int c = GetChar();
    while (c >= 0 && IsBlank(c))
        c = GetChar();
    if (c < 0) {
        eof_ = !error_;
        return kTextEof;
    }
    unsigned n = 0;
    while (c >= 0 && !IsBlank(c)) {
        if (size > 0 && n < size - 1)
            word[n] = static_cast<char>(c);
        ++n;
        c = GetChar();
    }
    // A word cut by a read error is no word: how it goes on is unknown, and its start
    // could equal a word it is not (msvcrt would give the cut word).
    bool cut = c < 0 && error_;
    if (c < 0)
        eof_ = !error_;
    else
        pushback_ = c;
    if (size > 0)
        word[cut ? 0 : n < size - 1 ? n : size - 1] = 0;
    *length = cut ? 0 : n;
    return cut ? kTextEof : 1;
}

unsigned TextStream::ReadBytes(char* buffer, unsigned size) {
    unsigned n = 0;
    for (int c; n < size && (c = ReadChar()) >= 0;)
        buffer[n++] = static_cast<char>(c);
    return n;
}

// Like fseek, it forgets what was read ahead and clears the end-of-file indicator.
int TextStream::SeekFromEnd(long offset) {
    std::int64_t size = file_ != nullptr ? file_->Size() : -1;
    if (size < 0 || size + offset < 0 || !file_->Seek(static_cast<std::uint64_t>(size + offset)))
        return -1; // also for an empty file: there is no last byte to go back to
    pos_ = len_ = 0;
    pushback_ = -1;
    eof_ = textEnded_ = error_ = false;
    return 0;
}

int TextStream::ReadChar() {
    int c = file_ != nullptr ? GetChar() : -1;
    if (c < 0)
        eof_ = !error_;
    return c;
}

int TextStream::PrintLine(const char* line) {
    if (file_ == nullptr || !append_ || stuck_ || !file_->SeekToEnd())
        return -1;
    // A line that could not be written whole is taken back: half a "NULL=" line in
    // wininit.ini would name some other file. Without the size to go back to, nothing is
    // written.
    std::int64_t before = file_->Size();
    if (before < 0)
        return -1;
    unsigned char out[256];
    unsigned n = 0;
    int written = 0;
    auto flush = [&]() {
        bool ok = n == 0 || file_->Write(out, n);
        n = 0;
        return ok;
    };
    // A part that cannot be taken back stays, and every later line would be glued to
    // it: the stream writes no more.
    auto undo = [&]() {
        stuck_ = !file_->Seek(static_cast<std::uint64_t>(before)) || !file_->Truncate();
        return -1;
    };
    for (const char* p = line;; ++p) {
        char c = *p ? *p : '\n'; // the format's own line end follows the text
        if (n + 2 > sizeof out && !flush())
            return undo();
        if (c == '\n')
            out[n++] = '\r';
        out[n++] = static_cast<unsigned char>(c);
        ++written;
        if (!*p)
            break;
    }
    return flush() ? written : undo();
}

int TextStream::Close() {
    if (file_ == nullptr)
        return -1;
    bool closed = file_->Close();
    file_ = nullptr;
    return closed ? 0 : -1;
}

} // namespace qvl
