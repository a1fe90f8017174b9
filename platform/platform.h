// platform.h: the one interface through which the removal engine reaches the system.
//
// Every operation mirrors the Win32 call (or C runtime call) of the same name, with the
// same arguments and results, so that the real implementation is a thin wrapper and the
// emulated one can be checked against it call for call. The engine never sees
// <windows.h>; the few Win32 types and constants it needs are restated here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvl {

using RegKey = std::uintptr_t;     // HKEY
using FindHandle = std::uintptr_t; // HANDLE from FindFirstFileA
using WinLong = std::int32_t;      // LONG: registry results
using WinDword = std::uint32_t;    // DWORD
using WinBool = std::int32_t;      // BOOL

// Predefined root keys, with their Win32 values.
constexpr RegKey kHkeyClassesRoot = 0x80000000u;
constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;
constexpr RegKey kHkeyUsers = 0x80000003u;
constexpr RegKey kHkeyCurrentConfig = 0x80000005u;

// "HKEY_LOCAL_MACHINE" and the others; null for a key that is not predefined.
constexpr const char* RootKeyName(RegKey key) {
    return key == kHkeyClassesRoot     ? "HKEY_CLASSES_ROOT"
           : key == kHkeyCurrentUser   ? "HKEY_CURRENT_USER"
           : key == kHkeyLocalMachine  ? "HKEY_LOCAL_MACHINE"
           : key == kHkeyUsers         ? "HKEY_USERS"
           : key == kHkeyCurrentConfig ? "HKEY_CURRENT_CONFIG"
                                       : nullptr;
}

constexpr WinDword kKeyQueryValue = 0x0001; // KEY_QUERY_VALUE
constexpr FindHandle kInvalidFindHandle = ~static_cast<FindHandle>(0);

// Win32 error codes that the implementations return.
constexpr WinLong kErrorSuccess = 0;
constexpr WinLong kErrorFileNotFound = 2;
constexpr WinLong kErrorPathNotFound = 3;
constexpr WinLong kErrorAccessDenied = 5;
constexpr WinLong kErrorInvalidHandle = 6;
constexpr WinLong kErrorNotEnoughMemory = 8;
constexpr WinLong kErrorInvalidParameter = 87;
constexpr WinLong kErrorInsufficientBuffer = 122;
constexpr WinLong kErrorDirNotEmpty = 145;
constexpr WinLong kErrorBadPathname = 161;
constexpr WinLong kErrorMoreData = 234;
constexpr WinLong kErrorNoMoreFiles = 18;
constexpr WinLong kErrorBadKey = 1010;
constexpr WinLong kErrorKeyDeleted = 1018;

constexpr unsigned kMaxPath = 260; // MAX_PATH

// OSVERSIONINFOA, byte for byte (148 bytes).
struct OsVersionInfo {
    WinDword dwOSVersionInfoSize;
    WinDword dwMajorVersion;
    WinDword dwMinorVersion;
    WinDword dwBuildNumber;
    WinDword dwPlatformId;
    char szCSDVersion[128];
};
static_assert(sizeof(OsVersionInfo) == 148, "OSVERSIONINFOA is 148 bytes");

// The part of WIN32_FIND_DATAA that the engine reads.
struct FindData {
    WinDword attributes;
    char name[kMaxPath]; // cFileName: the bare name, zero-terminated
};
constexpr WinDword kFileAttributeDirectory = 0x10;

// An open text-mode stream (FILE* in the C runtime); see textmode.h.
class TextStream;

class Platform {
  public:
    // Registry (advapi32).
    virtual WinLong RegOpenKeyExA(RegKey root, const char* subKey, WinDword options,
                                  WinDword access, RegKey* result) = 0;
    virtual WinLong RegQueryValueExA(RegKey key, const char* valueName, WinDword* reserved,
                                     WinDword* type, unsigned char* data, WinDword* size) = 0;
    virtual WinLong RegCloseKey(RegKey key) = 0;
    // Deletes the key and its whole subtree, as RegDeleteKeyA does on Windows 9x.
    virtual WinLong RegDeleteKeyA(RegKey root, const char* subKey) = 0;
    virtual WinLong RegFlushKey(RegKey key) = 0;

    // Profile (win.ini). A null key deletes the section; a null value deletes the line.
    virtual WinDword GetProfileStringA(const char* section, const char* key, const char* fallback,
                                       char* buffer, WinDword size) = 0;
    virtual WinBool WriteProfileStringA(const char* section, const char* key,
                                        const char* value) = 0;

    // System information (kernel32).
    virtual WinBool GetVersionExA(OsVersionInfo* info) = 0;
    virtual unsigned GetSystemDirectoryA(char* buffer, unsigned size) = 0;
    virtual unsigned GetWindowsDirectoryA(char* buffer, unsigned size) = 0;

    // Files and folders (kernel32).
    virtual WinBool DeleteFileA(const char* path) = 0;
    virtual WinBool RemoveDirectoryA(const char* path) = 0;
    virtual FindHandle FindFirstFileA(const char* pattern, FindData* data) = 0;
    virtual WinBool FindNextFileA(FindHandle handle, FindData* data) = 0;
    virtual WinBool FindClose(FindHandle handle) = 0;

    // Memory for working lists (malloc/free in the C runtime).
    virtual void* Allocate(std::size_t size) = 0;
    virtual void Release(void* block) = 0;

    // Text-mode streams with the C runtime's rules on Windows: fopen with "r" or "a+",
    // fprintf(f, "%s\n", line), fscanf(f, "%s", word), feof and fclose.
    virtual TextStream* OpenText(const char* path, const char* mode) = 0;
    virtual int PrintLine(TextStream* stream, const char* line) = 0;
    // Reads one whitespace-delimited word. Returns 1 when a word was read, -1 (EOF) when
    // none was left. At most size-1 bytes and a zero are stored; *length receives the
    // word's whole length, which exceeds size-1 for a word too long for the buffer.
    virtual int ScanWord(TextStream* stream, char* word, unsigned size, unsigned* length) = 0;
    // fseek(stream, offset, SEEK_END): 0, or -1 for a position before the file's start.
    virtual int SeekFromEnd(TextStream* stream, long offset) = 0;
    // fgetc: the next character after text-mode translation, or -1 (EOF).
    virtual int ReadChar(TextStream* stream) = 0;
    virtual int AtEndOfFile(TextStream* stream) = 0;
    virtual int CloseText(TextStream* stream) = 0;

  protected:
    ~Platform() = default;
};

// The platform that the no-argument RunRemoval works on; chosen at link time.
Platform& DefaultPlatform();

} // namespace qvl
