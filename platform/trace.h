// trace.h: a Platform that records every call it passes on, one line per call.
//
// Each line is the call's Win32 (or C runtime) name, its arguments with root keys by
// name and texts in double quotes, then " -> " and the result, e.g.
//   RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\Root\printer\0000", 0, KEY_QUERY_VALUE) -> 2
#pragma once

#include "platform/platform.h"

#include <map>
#include <string>
#include <vector>

namespace qvl {

class TracingPlatform final : public Platform {
  public:
    explicit TracingPlatform(Platform& inner) : inner_(inner) {}
    const std::vector<std::string>& Lines() const { return lines_; }
    std::string Text() const; // the lines, each ended by "\n"

    WinLong RegOpenKeyExA(RegKey root, const char* subKey, WinDword options, WinDword access,
                          RegKey* result) override;
    WinLong RegQueryValueExA(RegKey key, const char* valueName, WinDword* reserved, WinDword* type,
                             unsigned char* data, WinDword* size) override;
    WinLong RegCloseKey(RegKey key) override;
    WinLong RegDeleteKeyA(RegKey root, const char* subKey) override;
    WinLong RegFlushKey(RegKey key) override;
    WinDword GetProfileStringA(const char* section, const char* key, const char* fallback,
                               char* buffer, WinDword size) override;
    WinBool WriteProfileStringA(const char* section, const char* key, const char* value) override;
    WinBool GetVersionExA(OsVersionInfo* info) override;
    unsigned GetSystemDirectoryA(char* buffer, unsigned size) override;
    unsigned GetWindowsDirectoryA(char* buffer, unsigned size) override;
    WinBool DeleteFileA(const char* path) override;
    WinBool RemoveDirectoryA(const char* path) override;
    FindHandle FindFirstFileA(const char* pattern, FindData* data) override;
    WinBool FindNextFileA(FindHandle handle, FindData* data) override;
    WinBool FindClose(FindHandle handle) override;
    void* Allocate(std::size_t size) override;
    void Release(void* block) override;
    TextStream* OpenText(const char* path, const char* mode) override;
    int PrintLine(TextStream* stream, const char* line) override;
    int ScanWord(TextStream* stream, char* word, unsigned size, unsigned* length) override;
    int SeekFromEnd(TextStream* stream, long offset) override;
    int ReadChar(TextStream* stream) override;
    int AtEndOfFile(TextStream* stream) override;
    int CloseText(TextStream* stream) override;

  private:
    void Add(const std::string& line) { lines_.push_back(line); }
    std::string Handle(std::uintptr_t value, const char* kind);
    void Forget(std::uintptr_t value);

    Platform& inner_;
    std::vector<std::string> lines_;
    std::vector<std::pair<std::uintptr_t, int>> handleNames_;
    std::map<std::string, int> lastNumber_;
};

// A text as the trace shows it: in double quotes, control and high bytes as \xNN,
// or NULL for a null pointer.
std::string TraceText(const char* text);
std::string TraceText(const char* text, std::size_t length);
// HKEY_LOCAL_MACHINE and the others by name; any other key as a handle number.
std::string TraceRoot(RegKey key);

} // namespace qvl
