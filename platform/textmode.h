// textmode.h: the C runtime's text-mode stream rules on Windows, over a byte-level file.
//
// QVL7UNIN.EXE cannot rely on MSVCRT.DLL (Windows 95 as first shipped lacks it), so the
// rules that fopen/fprintf/fscanf/feof apply to text files are written here once and
// used by both the Win32 platform (over kernel32 handles) and the emulated machine (over
// host files):
//  - "\n" is written as CR LF, and CR LF reads as LF; a lone CR reads as CR;
//  - a Ctrl-Z byte (0x1A) ends the text on reading;
//  - "a+" removes one final Ctrl-Z at open and makes every write land at the end;
//  - "%s" skips blanks and bytes 0x09..0x0D, then takes bytes up to the next of them;
//    a word that a read error cuts short is not taken (msvcrt would take it), since its
//    start could be a word it is not;
//  - a stream opened "rb" reads the bytes as they stand: no CR LF, no Ctrl-Z rule;
//  - fread and fgetc set the end-of-file indicator at the end, not on a read error.
#pragma once

#include <cstdint>

namespace qvl {

class ByteFile {
  public:
    // Reads up to size bytes at the current position; returns the count, 0 at the end,
    // -1 on error.
    virtual long Read(void* data, unsigned size) = 0;
    virtual bool Write(const void* data, unsigned size) = 0;
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual bool SeekToEnd() = 0;
    virtual std::int64_t Size() = 0; // -1 on error
    // Cuts the file at the current position.
    virtual bool Truncate() = 0;
    // False when the system reports a failure; the file is closed all the same.
    virtual bool Close() = 0;

  protected:
    ~ByteFile() = default;
};

constexpr int kTextEof = -1;

// How many streams a platform holds open at once. The removal holds one at a time; the
// emulated machine holds no more than the Win32 platform, so that a stream never closed
// runs out there as it would on Windows.
constexpr unsigned kStreamSlots = 4;

class TextStream {
  public:
    // Binds the stream to an open file. For append mode it applies the "a+" rule that
    // drops one final Ctrl-Z byte; when the file's last byte cannot be looked at, or the
    // Ctrl-Z cannot be cut off, it binds nothing and returns false, and the caller closes
    // the file and fails the open, as msvcrt's fopen does.
    void AttachForReading(ByteFile* file, bool binary = false);
    bool AttachForAppending(ByteFile* file);
    bool InUse() const { return file_ != nullptr; }
    // Puts another file under the stream and returns the one it had, so that a test can
    // make the writes of a call fail part way.
    ByteFile* ReplaceFile(ByteFile* file) {
        ByteFile* old = file_;
        file_ = file;
        return old;
    }

    int PrintLine(const char* line);
    int ScanWord(char* word, unsigned size, unsigned* length);
    unsigned ReadBytes(char* buffer, unsigned size);
    int SeekFromEnd(long offset);
    int ReadChar();
    int AtEndOfFile() const { return eof_ ? 1 : 0; }
    int Close();

  private:
    int RawByte();  // next byte of the file, or -1
    int PeekByte(); // the same without consuming it
    int GetChar();  // next character after text-mode translation, or -1
    bool Fill();

    ByteFile* file_ = nullptr;
    bool append_ = false;
    bool binary_ = false;
    bool error_ = false;     // a read failed, as ferror would report it
    bool eof_ = false;       // the end-of-file indicator, as feof reports it
    bool textEnded_ = false; // a Ctrl-Z or the file's end was reached
    bool stuck_ = false;     // part of a line could not be taken back
    int pushback_ = -1;      // one character given back by the word reader
    unsigned pos_ = 0;
    unsigned len_ = 0;
    unsigned char buffer_[512];
};

} // namespace qvl
