// machine.h: an emulated Windows 9x machine kept in a folder, as a Platform.
//
// The folder holds registry.reg (REGEDIT4), machine.ini (build number and directories)
// and one folder per drive (C/ is drive C:). See docs/machine-folder.md.
#pragma once

#include "platform/emu/profile.h"
#include "platform/emu/registry.h"
#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qvl::emu {

// Faults a test can inject into the machine.
struct FaultPlan {
    std::uint64_t failAt = 0; // the n-th platform call fails (counted from 1); 0: none
    bool persistent = false;  // ...and so does every call after it
    std::string failCall;     // every call of this name fails...
    std::string failArgument; // ...whose first text argument contains this (no case)
    // Which of the ways the failing call can fail (FaultKinds); a call that has fewer
    // ways is not failed at all.
    std::size_t kind = 0;
    std::vector<std::string> survivingKeys; // full paths (any root name): deleted, yet still there
    std::vector<std::string> undeletableFiles; // Windows paths: DeleteFileA refuses
    std::vector<std::string> unopenableFiles;  // Windows paths: fopen refuses
};

// The ways each platform call can fail, by its name: "fail" (the call's error result,
// no effect) first, then the call's own: "not-found" and "more-data" for registry
// reads, "survive" for a key deletion that reports success yet leaves the key, "too-long"
// for a directory that does not fit, "partial" for a line half written when the disk
// fills up.
const std::vector<std::string>& FaultKinds(const std::string& call);

// A fault that was injected: the call's number, name and kind.
struct InjectedFault {
    std::uint64_t call;
    std::string name;
    std::string kind;
};

class Machine final : public Platform {
  public:
    explicit Machine(const std::string& folder);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Reads registry.reg, machine.ini and WIN.INI. False, with a reason, when the folder
    // cannot serve as a machine.
    bool Load(std::string* error);
    // Writes back the registry and win.ini where they changed.
    bool Save();

    FaultPlan& Faults() { return faults_; }
    std::uint64_t Calls() const { return calls_; }
    std::uint64_t FaultsInjected() const { return injected_.size(); }
    const std::vector<InjectedFault>& Injected() const { return injected_; }

    // The host file for a Windows path; false for a path that leaves the machine or is
    // malformed.
    bool HostPath(const std::string& windowsPath, std::string* host,
                  bool wildcardLast = false) const;
    const std::string& Folder() const { return folder_; }

    // Platform
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
    struct OpenFile;
    struct Search {
        std::vector<FindData> matches;
        std::size_t next = 0;
    };

    // The kind of fault to inject into this call, or null for none.
    const char* Fault(const char* call, const char* argument);
    bool Fails(const char* call, const char* argument) { return Fault(call, argument) != nullptr; }
    bool Listed(const std::vector<std::string>& paths, const std::string& host) const;
    unsigned CopyDirectory(const std::string& path, char* buffer, unsigned size);
    std::string KeyPath(RegKey key) const;
    bool SaveRegistry();
    bool SaveProfile();

    std::string folder_;
    Registry registry_;
    ProfileFile profile_;
    bool profileChanged_ = false;
    std::string winIniPath_; // Windows path of win.ini
    WinDword build_ = 0;
    std::string windowsDir_ = "C:\\WINDOWS";
    std::string systemDir_ = "C:\\WINDOWS\\SYSTEM";

    std::map<RegKey, std::string> keys_; // open handles and the keys they name
    RegKey nextKey_ = 0x100;
    std::map<FindHandle, Search> searches_;
    FindHandle nextSearch_ = 0x200;
    std::map<TextStream*, std::unique_ptr<OpenFile>> files_;

    FaultPlan faults_;
    std::uint64_t calls_ = 0;
    std::vector<InjectedFault> injected_;
};

// The machine that the no-argument RunRemoval works on in the Linux build.
void SetDefaultPlatform(Platform* platform);

// Reads or writes a whole host file; writes go to a temporary file renamed over the
// old one, so an interrupted run never leaves half a file.
bool ReadHostFile(const std::string& path, std::string* bytes);
bool WriteHostFileAtomically(const std::string& path, const std::string& bytes);

} // namespace qvl::emu
