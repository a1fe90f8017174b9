// win32_platform.cpp: the Platform on real Win32 (Windows 9x, NT and Wine).
//
// Nothing here uses the C runtime: QVL7UNIN.EXE must run on Windows 95 as first
// shipped, which has no MSVCRT.DLL. Text files go through textmode.cpp over kernel32.
#include "platform/platform.h"
#include "platform/textmode.h"
#include "platform/delete_tree.h"

#include <windows.h>

#include <new>

namespace qvl {

namespace {

static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfo), "OSVERSIONINFOA layout");

HKEY Key(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}

class Win32ByteFile final : public ByteFile {
  public:
    void Open(HANDLE handle) { handle_ = handle; }
    long Read(void* data, unsigned size) override {
        DWORD got = 0;
        if (!::ReadFile(handle_, data, size, &got, nullptr))
            return -1;
        return static_cast<long>(got);
    }
    bool Write(const void* data, unsigned size) override {
        DWORD put = 0;
        // A disk that fills up part way through reports success with fewer bytes written
        // (then ERROR_DISK_FULL): that is a failed write, for the stream to take back.
        return ::WriteFile(handle_, data, size, &put, nullptr) && put == size;
    }
    bool Seek(std::uint64_t offset) override {
        LONG high = static_cast<LONG>(offset >> 32);
        DWORD low =
            ::SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER || ::GetLastError() == NO_ERROR;
    }
    bool SeekToEnd() override {
        LONG high = 0;
        DWORD low = ::SetFilePointer(handle_, 0, &high, FILE_END);
        return low != INVALID_SET_FILE_POINTER || ::GetLastError() == NO_ERROR;
    }
    std::int64_t Size() override {
        DWORD high = 0;
        DWORD low = ::GetFileSize(handle_, &high);
        if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
            return -1;
        return (static_cast<std::int64_t>(high) << 32) | low;
    }
    bool Truncate() override { return ::SetEndOfFile(handle_) != 0; }
    bool Close() override {
        bool closed = handle_ == nullptr || ::CloseHandle(handle_) != 0;
        handle_ = nullptr;
        return closed;
    }

  private:
    HANDLE handle_ = nullptr; // while no file is open
};

// Each open file lives on the process heap from OpenText to CloseText: as static
// storage it would cost its 540 bytes in the file, which has no section left for
// uninitialised data (see cmake/qvl7unin.ld).
struct OpenFile {
    Win32ByteFile bytes;
    TextStream stream;
};
OpenFile* g_files[kStreamSlots];

// The slot that holds the stream, or null for a stream this platform did not open or
// has closed. For a null stream, a free slot.
OpenFile** SlotOf(TextStream* stream) {
    for (OpenFile*& file : g_files)
        if (file == nullptr ? stream == nullptr : &file->stream == stream)
            return &file;
    return nullptr;
}

// Whether a stream is one this platform opened and holds open: a null one is not.
bool IsOpen(TextStream* stream) {
    return stream != nullptr && SlotOf(stream) != nullptr;
}

void CopyFindData(const WIN32_FIND_DATAA& from, FindData* to) {
    to->attributes = from.dwFileAttributes;
    for (unsigned i = 0; i < kMaxPath; ++i)
        to->name[i] = from.cFileName[i];
    to->name[kMaxPath - 1] = 0;
}

// The four registry calls that DeleteKeyTree takes a subtree apart with.
struct Advapi32 {
    using Key = HKEY;
    static bool Open(HKEY parent, const char* name, HKEY* key) {
        return ::RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key) == ERROR_SUCCESS;
    }
    static bool EnumSubkey(HKEY key, unsigned index, char* name, unsigned size) {
        DWORD length = size;
        return ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }
    static void Close(HKEY key) { ::RegCloseKey(key); }
    static long Delete(HKEY parent, const char* name) { return ::RegDeleteKeyA(parent, name); }
};

class Win32Platform final : public Platform {
  public:
    WinLong RegOpenKeyExA(RegKey root, const char* subKey, WinDword options, WinDword access,
                          RegKey* result) override {
        HKEY key = nullptr;
        LONG r = ::RegOpenKeyExA(Key(root), subKey, options, access, &key);
        if (r == ERROR_SUCCESS)
            *result = reinterpret_cast<RegKey>(key);
        return r;
    }
    WinLong RegQueryValueExA(RegKey key, const char* valueName, WinDword* reserved, WinDword* type,
                             unsigned char* data, WinDword* size) override {
        return ::RegQueryValueExA(Key(key), valueName, reinterpret_cast<DWORD*>(reserved),
                                  reinterpret_cast<DWORD*>(type), data,
                                  reinterpret_cast<DWORD*>(size));
    }
    WinLong RegCloseKey(RegKey key) override { return ::RegCloseKey(Key(key)); }
    WinLong RegDeleteKeyA(RegKey root, const char* subKey) override {
        if (subKey == nullptr || *subKey == 0)
            return ERROR_BADKEY; // never the root itself
        Advapi32 registry;
        return DeleteKeyTree(registry, Key(root), subKey);
    }
    WinLong RegFlushKey(RegKey key) override { return ::RegFlushKey(Key(key)); }

    WinDword GetProfileStringA(const char* section, const char* key, const char* fallback,
                               char* buffer, WinDword size) override {
        return ::GetProfileStringA(section, key, fallback, buffer, size);
    }
    WinBool WriteProfileStringA(const char* section, const char* key, const char* value) override {
        return ::WriteProfileStringA(section, key, value);
    }

    WinBool GetVersionExA(OsVersionInfo* info) override {
        return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
    }
    unsigned GetSystemDirectoryA(char* buffer, unsigned size) override {
        return ::GetSystemDirectoryA(buffer, size);
    }
    unsigned GetWindowsDirectoryA(char* buffer, unsigned size) override {
        return ::GetWindowsDirectoryA(buffer, size);
    }

    WinBool DeleteFileA(const char* path) override { return ::DeleteFileA(path); }
    WinBool RemoveDirectoryA(const char* path) override { return ::RemoveDirectoryA(path); }
    FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
        WIN32_FIND_DATAA found;
        HANDLE h = ::FindFirstFileA(pattern, &found);
        if (h == INVALID_HANDLE_VALUE)
            return kInvalidFindHandle;
        CopyFindData(found, data);
        return reinterpret_cast<FindHandle>(h);
    }
    WinBool FindNextFileA(FindHandle handle, FindData* data) override {
        WIN32_FIND_DATAA found;
        if (!::FindNextFileA(reinterpret_cast<HANDLE>(handle), &found))
            return FALSE;
        CopyFindData(found, data);
        return TRUE;
    }
    WinBool FindClose(FindHandle handle) override {
        return ::FindClose(reinterpret_cast<HANDLE>(handle));
    }

    void* Allocate(std::size_t size) override { return ::HeapAlloc(::GetProcessHeap(), 0, size); }
    void Release(void* block) override {
        if (block != nullptr)
            ::HeapFree(::GetProcessHeap(), 0, block);
    }

    TextStream* OpenText(const char* path, const char* mode) override {
        bool append = mode[0] == 'a' && mode[1] == '+' && mode[2] == 0;
        bool binary = mode[0] == 'r' && mode[1] == 'b' && mode[2] == 0;
        if (!append && !binary && !(mode[0] == 'r' && mode[1] == 0))
            return nullptr;
        OpenFile** slot = SlotOf(nullptr); // a free one
        if (slot == nullptr)
            return nullptr;
        // The memory comes first: OPEN_ALWAYS creates the file, and a run that then gave
        // up would leave an empty wininit.ini behind for the next one.
        void* memory = Allocate(sizeof(OpenFile));
        if (memory == nullptr)
            return nullptr;
        HANDLE h =
            ::CreateFileA(path, append ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            Release(memory);
            return nullptr;
        }
        OpenFile* file = new (memory) OpenFile;
        file->bytes.Open(h);
        if (!append) {
            file->stream.AttachForReading(&file->bytes, binary);
        } else if (!file->stream.AttachForAppending(&file->bytes)) {
            file->bytes.Close(); // as msvcrt's fopen, which fails there
            Release(memory);
            return nullptr;
        }
        *slot = file;
        return &file->stream;
    }
    int PrintLine(TextStream* stream, const char* line) override {
        return IsOpen(stream) ? stream->PrintLine(line) : -1;
    }
    int ScanWord(TextStream* stream, char* word, unsigned size, unsigned* length) override {
        if (!IsOpen(stream)) {
            *length = 0;
            return kTextEof;
        }
        return stream->ScanWord(word, size, length);
    }
    unsigned ReadBytes(TextStream* stream, char* buffer, unsigned size) override {
        return IsOpen(stream) ? stream->ReadBytes(buffer, size) : 0;
    }
    int SeekFromEnd(TextStream* stream, long offset) override {
        return IsOpen(stream) ? stream->SeekFromEnd(offset) : -1;
    }
    int AtEndOfFile(TextStream* stream) override {
        return IsOpen(stream) ? stream->AtEndOfFile() : 1;
    }
    int CloseText(TextStream* stream) override {
        OpenFile** slot = stream != nullptr ? SlotOf(stream) : nullptr;
        if (slot == nullptr)
            return -1;
        int result = stream->Close();
        Release(*slot);
        *slot = nullptr;
        return result;
    }
};

alignas(Win32Platform) unsigned char g_platformStorage[sizeof(Win32Platform)];
Win32Platform* g_platform;

} // namespace

Platform& DefaultPlatform() {
    if (g_platform == nullptr)
        g_platform = new (g_platformStorage) Win32Platform();
    return *g_platform;
}

} // namespace qvl
