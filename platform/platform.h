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

// Each with the name regedit gives it and the short one that reg.exe and scripts use.
struct RootKey {
    RegKey key;
    const char* name;
    const char* shortName;
};
constexpr RootKey kRootKeys[] = {
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {kHkeyCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {kHkeyUsers, "HKEY_USERS", "HKU"},
    {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
};

// The row of kRootKeys for key; null for a key that is not predefined.
constexpr const RootKey* FindRootKey(RegKey key) {
    for (const RootKey& root : kRootKeys)
        if (root.key == key)
            return &root;
    return nullptr;
}

// "HKEY_LOCAL_MACHINE" and the others; null for a key that is not predefined.
constexpr const char* RootKeyName(RegKey key) {
    const RootKey* root = FindRootKey(key);
    return root ? root->name : nullptr;
}

constexpr WinDword kKeyQueryValue = 0x0001; // KEY_QUERY_VALUE
constexpr FindHandle kInvalidFindHandle = ~static_cast<FindHandle>(0);

// Win32 error codes that the implementations return.
constexpr WinLong kErrorSuccess = 0;
constexpr WinLong kErrorFileNotFound = 2;
constexpr WinLong kErrorPathNotFound = 3;
constexpr WinLong kErrorAccessDenied = 5;
constexpr WinLong kErrorInvalidHandle = 6;
constexpr WinLong kErrorSharingViolation = 32;
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

// One method per row of calls.h, with the Win32 or C runtime call's arguments and
// results.
class Platform {
  public:
#define QVL_CALL(Ret, Method, Name, Params, ...) virtual Ret Method Params = 0;
#include "platform/calls.h"

  protected:
    ~Platform() = default;
};

// The platform that the no-argument RunRemoval works on; chosen at link time.
Platform& DefaultPlatform();

} // namespace qvl
