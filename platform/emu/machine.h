// machine.h: an emulated Windows 9x machine kept in a folder, as a Platform.
//
// The folder holds registry.reg (REGEDIT4), machine.ini (build number, directories, and
// the keys and files that other programs hold) and one folder per drive (C/ is drive
// C:). See docs/machine-folder.md.
#pragma once

#include "platform/emu/profile.h"
#include "platform/emu/registry.h"
#include "platform/fault.h"
#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qvl::emu {

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

    // The host file for a Windows path; false for a path that leaves the machine or is
    // malformed.
    bool HostPath(const std::string& windowsPath, std::string* host,
                  bool wildcardLast = false) const;
    const std::string& Folder() const { return folder_; }
    // GetLastError after a DeleteFileA that failed.
    WinLong LastError() const { return lastError_; }
    // Puts the faults under every file the streams open from now on; null for none.
    void PutFileFaults(FileFaults* faults) { fileFaults_ = faults; }

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
    unsigned ReadBytes(TextStream* stream, char* buffer, unsigned size) override;
    int SeekFromEnd(TextStream* stream, long offset) override;
    int AtEndOfFile(TextStream* stream) override;
    int CloseText(TextStream* stream) override;

  private:
    struct OpenFile;
    struct Search {
        std::vector<FindData> matches;
        std::size_t next = 0;
    };

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
    WinLong lastError_ = kErrorSuccess;
    std::string windowsDir_ = "C:\\WINDOWS";
    std::string systemDir_ = "C:\\WINDOWS\\SYSTEM";

    std::map<RegKey, std::string> keys_; // open handles and the keys they name
    RegKey nextKey_ = 0x100;
    std::map<FindHandle, Search> searches_;
    FindHandle nextSearch_ = 0x200;
    std::map<TextStream*, std::unique_ptr<OpenFile>> files_;
    FileFaults* fileFaults_ = nullptr;
    // [Protected] in machine.ini: what other programs hold.
    std::vector<std::string> survivingKeys_;    // full paths, aliases resolved
    std::vector<std::string> undeletableFiles_; // Windows paths
    std::vector<std::string> unopenableFiles_;  // Windows paths
};

// The machine that the no-argument RunRemoval works on in the Linux build.
void SetDefaultPlatform(Platform* platform);

// Reads or writes a whole host file; writes go to a temporary file renamed over the
// old one, so an interrupted run never leaves half a file.
bool ReadHostFile(const std::string& path, std::string* bytes);
bool WriteHostFileAtomically(const std::string& path, const std::string& bytes);
// A new empty folder in the host folder in, or the host's temporary folder, named prefix
// and six random letters; empty when none can be made.
std::string MakeTempFolder(const std::string& prefix, const std::string& in = "");

// Adds key=value to a section of the machine's machine.ini, after the lines already
// there, for building machines.
bool AddMachineSetting(const std::string& folder, const std::string& section,
                       const std::string& key, const std::string& value);

} // namespace qvl::emu
