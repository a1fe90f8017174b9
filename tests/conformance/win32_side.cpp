// win32_side.cpp: the conformance rows' machine as the real one, seeded through the Win32 API.
//
// Rows put their keys and files below a component named QvlConf; after each row those
// subtrees go again and win.ini gets its old bytes back, so that the rows of one run
// share a machine without seeing each other.
#include "conformance.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

namespace qvl::conformance {

namespace {

const char kMark[] = "QvlConf";

bool SplitRoot(const std::string& fullPath, HKEY* root, std::string* sub) {
    std::size_t slash = fullPath.find('\\');
    std::string name = fullPath.substr(0, slash);
    for (const RootKey& key : kRootKeys) {
        if (lstrcmpiA(key.name, name.c_str()) == 0) {
            *root = reinterpret_cast<HKEY>(key.key);
            *sub = slash == std::string::npos ? "" : fullPath.substr(slash + 1);
            return true;
        }
    }
    return false;
}

// The part of a path up to and including its QvlConf component.
std::string UpToMark(const std::string& path) {
    std::size_t at = path.find(kMark);
    if (at == std::string::npos)
        return "";
    return path.substr(0, at + sizeof kMark - 1);
}

std::optional<std::string> ReadWhole(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
              put == bytes.size();
    return CloseHandle(h) && ok;
}

bool MakeFolders(const std::string& path) {
    for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string Parent(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileA(child.c_str());
        } while (FindNextFileA(h, &found));
        ::FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

class RealSide final : public Side {
  public:
    RealSide() {
        char dir[MAX_PATH];
        GetWindowsDirectoryA(dir, sizeof dir);
        winIni_ = std::string(dir) + "\\win.ini";
        original_ = ReadWhole(winIni_);
    }
    ~RealSide() override { Clean(); }

    bool Seed(const Before& before, std::string* error) override {
        Clean();
        for (const SeedKey& key : before.keys) {
            HKEY root;
            std::string sub;
            if (UpToMark(key.path).empty() || !SplitRoot(key.path, &root, &sub)) {
                *error = "a key outside the rows' own: " + key.path;
                return false;
            }
            seededKeys_.push_back(UpToMark(key.path));
            HKEY h;
            LONG r = RegCreateKeyExA(root, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                                     nullptr);
            if (r != ERROR_SUCCESS) {
                *error = "RegCreateKeyExA " + key.path + ": " + std::to_string(r);
                return false;
            }
            for (const Value& v : key.values) {
                r = RegSetValueExA(h, v.name.c_str(), 0, v.type,
                                   reinterpret_cast<const BYTE*>(v.data.data()),
                                   static_cast<DWORD>(v.data.size()));
                if (r != ERROR_SUCCESS) {
                    *error = "RegSetValueExA " + v.name + ": " + std::to_string(r);
                    RegCloseKey(h);
                    return false;
                }
            }
            RegCloseKey(h);
        }
        for (const std::string& folder : before.folders) {
            if (!Own(folder) || !MakeFolders(folder)) {
                *error = "cannot make " + folder;
                return false;
            }
        }
        for (const SeedFile& file : before.files) {
            if (!Own(file.path) || !MakeFolders(Parent(file.path)) ||
                !WriteWhole(file.path, file.bytes) ||
                (file.readOnly &&
                 !SetFileAttributesA(file.path.c_str(), FILE_ATTRIBUTE_READONLY))) {
                *error = "cannot write " + file.path;
                return false;
            }
        }
        if (before.winIni && !PutWinIni(*before.winIni)) {
            *error = "cannot write " + winIni_;
            return false;
        }
        return true;
    }

    Platform& Machine() override { return DefaultPlatform(); }

    // The profile functions keep win.ini in a cache of their own; all-null arguments
    // write it out and let it go.
    void Settle() override { WriteProfileStringA(nullptr, nullptr, nullptr); }

    bool KeyExists(const std::string& fullPath) override {
        HKEY root;
        std::string sub;
        HKEY h;
        if (!SplitRoot(fullPath, &root, &sub) ||
            RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }

    std::optional<std::string> FileBytes(const std::string& path) override {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::nullopt;
        return ReadWhole(path);
    }

    std::string WinIni() override { return ReadWhole(winIni_).value_or(""); }

    void Clean() override {
        for (const std::string& key : seededKeys_) {
            HKEY root;
            std::string sub;
            if (SplitRoot(key, &root, &sub))
                SHDeleteKeyA(root, sub.c_str());
        }
        seededKeys_.clear();
        for (const std::string& folder : folders_)
            RemoveTree(folder);
        folders_.clear();
        if (winIniTouched_ && original_)
            PutWinIni(*original_);
        winIniTouched_ = false;
    }

    bool UnderWine() const override {
        return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    }
    WinLong LastError() override { return static_cast<WinLong>(::GetLastError()); }

  private:
    bool Own(const std::string& path) {
        std::string top = UpToMark(path);
        if (top.empty())
            return false;
        for (const std::string& f : folders_)
            if (f == top)
                return true;
        folders_.push_back(top);
        return true;
    }

    bool PutWinIni(const std::string& bytes) {
        winIniTouched_ = true;
        WriteProfileStringA(nullptr, nullptr, nullptr);
        bool ok = WriteWhole(winIni_, bytes);
        WriteProfileStringA(nullptr, nullptr, nullptr);
        return ok;
    }

    std::string winIni_;
    std::optional<std::string> original_;
    bool winIniTouched_ = false;
    std::vector<std::string> seededKeys_;
    std::vector<std::string> folders_;
};

// The run is where it was meant to be: under Wine, in the Windows 9x mode that the
// test asked for through QVL_EXPECT_MODE. Without it, every row would still pass on a
// prefix that reports NT.
TEST(Machine, IsTheWindows9xModeAsked) {
    const char* mode = std::getenv("QVL_EXPECT_MODE");
    ASSERT_NE(mode, nullptr) << "QVL_EXPECT_MODE is not set";
    EXPECT_TRUE(MakeSide()->UnderWine());
    OsVersionInfo info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(DefaultPlatform().GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, 1u); // VER_PLATFORM_WIN32_WINDOWS
    EXPECT_EQ(info.dwMajorVersion, 4u);
    const std::string m = mode;
    EXPECT_EQ(info.dwMinorVersion, m == "win98" ? 10u : m == "winme" ? 90u : 0u) << mode;
}

} // namespace

std::unique_ptr<Side> MakeSide() {
    return std::make_unique<RealSide>();
}

} // namespace qvl::conformance
