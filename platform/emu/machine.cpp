// machine.cpp: an emulated Windows 9x machine kept in a folder, as a Platform.
#include "platform/emu/machine.h"
#include "platform/textmode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qvl::emu {

namespace {

Platform* g_defaultPlatform = nullptr;

char Fold(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// DOS wildcards as FindFirstFileA applies them to one name: * is any run, ? any one
// character, no case; "*.*" matches every name, with or without a dot.
bool WildcardMatch(const char* pattern, const char* name) {
    if (std::strcmp(pattern, "*.*") == 0)
        return true;
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && Fold(*pattern) == Fold(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

// The short name that Windows 9x gives a long name on FAT, or "" when the name is a
// valid 8.3 name already: the first six characters of the base (blanks and dots left
// out, characters that 8.3 names do not allow made '_'), "~1", and the first three of
// the extension. The numeric tail of names that share a base is not modelled; wildcard
// patterns such as "oem*.inf" see the same either way. FindFirstFileA matches a pattern
// against both names, so "oem*.inf" also finds "oem3.infx" (OEM3~1.INF).
std::string ShortName(const std::string& name) {
    std::size_t dot = name.rfind('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    auto legal = [](char c) { return std::strchr("+,;=[] .", c) == nullptr; };
    bool plain = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
                 std::all_of(base.begin(), base.end(), legal) &&
                 std::all_of(ext.begin(), ext.end(), legal);
    if (plain)
        return "";
    auto squeeze = [](const std::string& part, std::size_t most) {
        std::string out;
        for (char c : part) {
            if (out.size() == most)
                break;
            if (c == ' ' || c == '.')
                continue;
            out += std::strchr("+,;=[]", c) != nullptr ? '_' : Fold(c);
        }
        return out;
    };
    std::string shortName = squeeze(base, 6) + "~1";
    std::string shortExt = squeeze(ext, 3);
    return shortExt.empty() ? shortName : shortName + "." + shortExt;
}

bool HasWildcards(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// The entry of dir whose name equals name without regard to case, or "".
std::string FindEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec))
        return name; // the exact spelling: no need to look further
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::string n = entry.path().filename().string();
        if (EqualNoCase(n, name))
            return n;
    }
    return "";
}

class HostByteFile final : public ByteFile {
  public:
    explicit HostByteFile(std::FILE* f) : f_(f) {}
    long Read(void* data, unsigned size) override {
        std::size_t got = std::fread(data, 1, size, f_);
        return got == 0 && std::ferror(f_) ? -1 : static_cast<long>(got);
    }
    bool Write(const void* data, unsigned size) override {
        return std::fwrite(data, 1, size, f_) == size && std::fflush(f_) == 0;
    }
    bool Seek(std::uint64_t offset) override {
        return std::fseek(f_, static_cast<long>(offset), SEEK_SET) == 0;
    }
    bool SeekToEnd() override { return std::fseek(f_, 0, SEEK_END) == 0; }
    std::int64_t Size() override {
        long here = std::ftell(f_);
        if (here < 0 || std::fseek(f_, 0, SEEK_END) != 0)
            return -1;
        long size = std::ftell(f_);
        std::fseek(f_, here, SEEK_SET);
        return size;
    }
    bool Truncate() override {
        std::fflush(f_);
        long here = std::ftell(f_);
        return here >= 0 && ftruncate(fileno(f_), here) == 0;
    }
    bool Close() override {
        bool closed = f_ == nullptr || std::fclose(f_) == 0;
        f_ = nullptr;
        return closed;
    }

  private:
    std::FILE* f_;
};

std::string Text(const char* s) {
    return s == nullptr ? "" : s;
}

} // namespace

struct Machine::OpenFile {
    OpenFile(std::FILE* f, std::string path, FileFaults* faults)
        : bytes(f), faulting(&bytes, faults), host(std::move(path)) {}
    HostByteFile bytes;
    FaultingByteFile faulting; // over bytes, where a test puts faults under the files
    std::string host;
    TextStream stream;
};

void SetDefaultPlatform(Platform* platform) {
    g_defaultPlatform = platform;
}

bool ReadHostFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes->append(chunk, got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

std::string MakeTempFolder(const std::string& prefix, const std::string& in) {
    std::error_code ec;
    fs::path folder = in.empty() ? fs::temp_directory_path(ec) : fs::path(in);
    std::string pattern = (folder / (prefix + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    return !ec && mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : "";
}

bool WriteHostFileAtomically(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    // The rename is what keeps a half-written file from ever standing under the real
    // name; an fsync would only add safety against power loss, at a large cost.
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool AddMachineSetting(const std::string& folder, const std::string& section,
                       const std::string& key, const std::string& value) {
    std::string text;
    ReadHostFile(folder + "/machine.ini", &text);
    ProfileFile settings;
    settings.Load(text);
    settings.Add(section, key, value);
    return WriteHostFileAtomically(folder + "/machine.ini", settings.Save());
}

Machine::Machine(const std::string& folder) : folder_(folder) {}

Machine::~Machine() {
    for (auto& entry : files_)
        entry.second->bytes.Close();
}

bool Machine::Load(std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) {
        *error = "no machine folder at " + folder_;
        return false;
    }
    std::string text;
    if (fs::exists(folder_ + "/registry.reg", ec) &&
        !ReadHostFile(folder_ + "/registry.reg", &text)) {
        *error = "cannot read " + folder_ + "/registry.reg";
        return false;
    }
    registry_.Load(text);

    ProfileFile settings;
    if (ReadHostFile(folder_ + "/machine.ini", &text))
        settings.Load(text);
    std::string value;
    // Always hexadecimal, with or without 0x: 040A07CE is Windows 98, not an octal number.
    if (settings.Get("Version", "BuildNumber", &value))
        build_ = static_cast<WinDword>(std::strtoul(value.c_str(), nullptr, 16));
    if (settings.Get("Directories", "Windows", &value))
        windowsDir_ = value;
    if (settings.Get("Directories", "System", &value))
        systemDir_ = value;
    for (const std::string& key : settings.Values("Protected", "SurvivingKey"))
        survivingKeys_.push_back(ResolveRootAlias(key));
    undeletableFiles_ = settings.Values("Protected", "UndeletableFile");
    unopenableFiles_ = settings.Values("Protected", "UnopenableFile");

    winIniPath_ = windowsDir_ + "\\WIN.INI";
    std::string host;
    if (HostPath(winIniPath_, &host) && ReadHostFile(host, &text))
        profile_.Load(text);
    return true;
}

bool Machine::SaveRegistry() {
    if (!registry_.Changed())
        return true;
    return WriteHostFileAtomically(folder_ + "/registry.reg", registry_.Save());
}

bool Machine::SaveProfile() {
    std::string host;
    if (!profileChanged_)
        return true;
    if (!HostPath(winIniPath_, &host) || !WriteHostFileAtomically(host, profile_.Save()))
        return false;
    profileChanged_ = false;
    return true;
}

bool Machine::Save() {
    bool registry = SaveRegistry();
    bool profile = SaveProfile();
    return registry && profile;
}

bool Machine::HostPath(const std::string& windowsPath, std::string* host, bool wildcardLast) const {
    std::string path = windowsPath;
    if (path.empty() || path.compare(0, 2, "\\\\") == 0)
        return false; // nothing, or a network path
    std::string drive = "C";
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        drive = std::string(1, Fold(path[0]));
        path = path.substr(2);
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part != "." && part != "..") {
            // Windows drops trailing dots and blanks from a name.
            while (!part.empty() && (part.back() == '.' || part.back() == ' '))
                part.pop_back();
        }
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        for (char c : part)
            if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|", c) != nullptr)
                return false;
        parts.push_back(part);
    }
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (HasWildcards(parts[i]) && !(wildcardLast && i + 1 == parts.size()))
            return false;

    fs::path dir = folder_;
    std::string driveEntry = FindEntry(dir, drive);
    dir /= driveEntry.empty() ? drive : driveEntry;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        std::string entry = last && wildcardLast ? "" : FindEntry(dir, parts[i]);
        dir /= entry.empty() ? parts[i] : entry;
    }
    *host = dir.string();
    return true;
}

// DOS wildcards as FindFirstFileA applies them to one name: * is any run, ? any one
bool Machine::Listed(const std::vector<std::string>& paths, const std::string& host) const {
    for (const std::string& p : paths) {
        std::string other;
        if (HostPath(p, &other) && other == host)
            return true;
    }
    return false;
}

std::string Machine::KeyPath(RegKey key) const {
    auto it = keys_.find(key);
    if (it != keys_.end())
        return it->second;
    return Registry::FullPath(key, nullptr);
}

WinLong Machine::RegOpenKeyExA(RegKey root, const char* subKey, WinDword, WinDword,
                               RegKey* result) {
    std::string base = KeyPath(root);
    if (base.empty())
        return kErrorBadKey;
    bool valid = true;
    if (subKey != nullptr && *subKey != 0)
        SplitPath(subKey, &valid);
    if (!valid)
        return kErrorBadKey;
    std::string path = subKey == nullptr || *subKey == 0 ? base : base + "\\" + subKey;
    if (!registry_.Exists(path))
        return kErrorFileNotFound;
    *result = nextKey_++;
    keys_[*result] = path;
    return kErrorSuccess;
}

WinLong Machine::RegQueryValueExA(RegKey key, const char* valueName, WinDword*, WinDword* type,
                                  unsigned char* data, WinDword* size) {
    std::string path = KeyPath(key);
    if (path.empty())
        return kErrorInvalidHandle;
    if (!registry_.Exists(path))
        return kErrorKeyDeleted;
    const RegValue* value = registry_.FindValue(path, valueName);
    if (value == nullptr)
        return kErrorFileNotFound;
    if (type != nullptr)
        *type = value->type;
    WinDword needed = static_cast<WinDword>(value->data.size());
    if (data != nullptr) {
        if (size == nullptr)
            return kErrorInvalidParameter;
        if (*size < needed) {
            *size = needed;
            return kErrorMoreData;
        }
        std::memcpy(data, value->data.data(), needed);
    }
    if (size != nullptr)
        *size = needed;
    return kErrorSuccess;
}

WinLong Machine::RegCloseKey(RegKey key) {
    return keys_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

WinLong Machine::RegDeleteKeyA(RegKey root, const char* subKey) {
    std::string base = KeyPath(root);
    if (base.empty() || subKey == nullptr || *subKey == 0)
        return kErrorBadKey;
    bool valid = true;
    SplitPath(subKey, &valid);
    if (!valid)
        return kErrorBadKey;
    std::string path = base + "\\" + subKey;
    if (!registry_.Exists(path))
        return kErrorFileNotFound;
    for (const std::string& keep : survivingKeys_)
        if (EqualNoCase(keep, path))
            return kErrorSuccess; // claims success, as a key held by another program can
    registry_.DeleteTree(path);
    return kErrorSuccess;
}

WinLong Machine::RegFlushKey(RegKey key) {
    if (KeyPath(key).empty())
        return kErrorBadKey;
    return SaveRegistry() ? kErrorSuccess : kErrorAccessDenied;
}

WinDword Machine::GetProfileStringA(const char* section, const char* key, const char* fallback,
                                    char* buffer, WinDword size) {
    std::string value = Text(fallback);
    if (section != nullptr && key != nullptr) {
        std::string found;
        if (profile_.Get(section, key, &found))
            value = found;
    }
    if (size == 0)
        return 0;
    // A value too long for the buffer is cut to size - 1 bytes, and that is returned.
    WinDword n = static_cast<WinDword>(std::min<std::size_t>(value.size(), size - 1));
    std::memcpy(buffer, value.data(), n);
    buffer[n] = 0;
    return n;
}

WinBool Machine::WriteProfileStringA(const char* section, const char* key, const char* value) {
    if (section == nullptr)
        return 0;
    bool changed;
    if (key == nullptr) {
        changed = profile_.DeleteSection(section);
    } else if (value == nullptr) {
        changed = profile_.DeleteKey(section, key);
    } else {
        profile_.Set(section, key, value);
        changed = true;
    }
    if (changed) {
        profileChanged_ = true;
        return SaveProfile() ? 1 : 0;
    }
    return 1;
}

WinBool Machine::GetVersionExA(OsVersionInfo* info) {
    if (info->dwOSVersionInfoSize != sizeof(OsVersionInfo))
        return 0;
    info->dwMajorVersion = (build_ >> 24) & 0xFF;
    info->dwMinorVersion = (build_ >> 16) & 0xFF;
    if (info->dwMajorVersion == 0)
        info->dwMajorVersion = 4;
    info->dwBuildNumber = build_;
    info->dwPlatformId = 1; // VER_PLATFORM_WIN32_WINDOWS
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return 1;
}

unsigned Machine::CopyDirectory(const std::string& path, char* buffer, unsigned size) {
    // As Windows does: a buffer too small gets nothing, and the size it would need
    // (terminating zero included) is returned.
    if (path.size() + 1 > size)
        return static_cast<unsigned>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<unsigned>(path.size());
}

unsigned Machine::GetSystemDirectoryA(char* buffer, unsigned size) {
    return CopyDirectory(systemDir_, buffer, size);
}

unsigned Machine::GetWindowsDirectoryA(char* buffer, unsigned size) {
    return CopyDirectory(windowsDir_, buffer, size);
}

WinBool Machine::DeleteFileA(const char* path) {
    std::string host;
    if (!HostPath(Text(path), &host))
        return 0;
    std::error_code ec;
    fs::file_status status = fs::symlink_status(host, ec);
    // A file its owner may not write is read-only, and Windows refuses to delete a
    // read-only file (ERROR_ACCESS_DENIED) until its attribute is cleared.
    lastError_ = kErrorAccessDenied;
    if (!fs::exists(status))
        lastError_ = kErrorFileNotFound;
    if (!fs::is_regular_file(status) ||
        (status.permissions() & fs::perms::owner_write) == fs::perms::none ||
        Listed(undeletableFiles_, host) || Listed(unopenableFiles_, host))
        return 0;
    // A file open in a stream stays: Windows 9x and Wine refuse it (a sharing violation),
    // where a host file system would delete it.
    for (const auto& open : files_)
        if (open.second->host == host) {
            lastError_ = kErrorSharingViolation;
            return 0;
        }
    return fs::remove(host, ec) ? 1 : 0;
}

WinBool Machine::RemoveDirectoryA(const char* path) {
    std::string host;
    if (!HostPath(Text(path), &host))
        return 0;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(host, ec)) || !fs::is_empty(host, ec) ||
        fs::path(host).parent_path() == fs::path(folder_))
        return 0; // missing, not empty, or a drive's root
    return fs::remove(host, ec) ? 1 : 0;
}

FindHandle Machine::FindFirstFileA(const char* pattern, FindData* data) {
    std::string host;
    if (!HostPath(Text(pattern), &host, true))
        return kInvalidFindHandle;
    fs::path full(host);
    fs::path dir = full.parent_path();
    std::string wanted = full.filename().string();
    std::error_code ec;
    if (wanted.empty() || !fs::is_directory(dir, ec) || fs::path(host) == fs::path(folder_))
        return kInvalidFindHandle;

    std::vector<std::string> names;
    if (dir != fs::path(folder_) && dir.parent_path() != fs::path(folder_)) {
        names.push_back(".");
        names.push_back("..");
    }
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() < kMaxPath)
            names.push_back(name);
    }
    // The emulation lists a folder in name order; FAT would give creation order.
    std::sort(names.begin(), names.end());
    Search search;
    for (const std::string& name : names) {
        std::string shortName = ShortName(name);
        if (!WildcardMatch(wanted.c_str(), name.c_str()) &&
            (shortName.empty() || !WildcardMatch(wanted.c_str(), shortName.c_str())))
            continue;
        FindData found = {};
        std::memcpy(found.name, name.c_str(), name.size() + 1);
        found.attributes = fs::is_directory(dir / name, ec) ? kFileAttributeDirectory : 0x20;
        search.matches.push_back(found);
    }
    if (search.matches.empty())
        return kInvalidFindHandle;
    *data = search.matches[0];
    search.next = 1;
    FindHandle handle = nextSearch_++;
    searches_[handle] = search;
    return handle;
}

WinBool Machine::FindNextFileA(FindHandle handle, FindData* data) {
    auto it = searches_.find(handle);
    if (it == searches_.end() || it->second.next >= it->second.matches.size())
        return 0;
    *data = it->second.matches[it->second.next++];
    return 1;
}

WinBool Machine::FindClose(FindHandle handle) {
    return searches_.erase(handle) == 1 ? 1 : 0;
}

void* Machine::Allocate(std::size_t size) {
    return std::malloc(size);
}

void Machine::Release(void* block) {
    std::free(block);
}

TextStream* Machine::OpenText(const char* path, const char* mode) {
    std::string host;
    if (!HostPath(Text(path), &host) || Listed(unopenableFiles_, host))
        return nullptr;
    std::error_code ec;
    bool append = Text(mode) == "a+";
    bool binary = Text(mode) == "rb";
    if (fs::is_directory(host, ec) || (!append && !binary && Text(mode) != "r") ||
        files_.size() >= kStreamSlots)
        return nullptr;
    // CreateFileA, which fopen calls here.
    if (fileFaults_ != nullptr && fileFaults_->Next(FileCall::Open) != nullptr)
        return nullptr;
    bool created = false;
    std::FILE* f = nullptr;
    if (!append)
        f = std::fopen(host.c_str(), "rb");
    else if (fs::exists(host, ec))
        f = std::fopen(host.c_str(), "r+b");
    else if (fs::is_directory(fs::path(host).parent_path(), ec))
        created = (f = std::fopen(host.c_str(), "w+b")) != nullptr;
    if (f == nullptr)
        return nullptr;
    auto file = std::make_unique<OpenFile>(f, host, fileFaults_);
    ByteFile* bytes =
        fileFaults_ != nullptr ? static_cast<ByteFile*>(&file->faulting) : &file->bytes;
    if (!append) {
        file->stream.AttachForReading(bytes, binary);
    } else if (!file->stream.AttachForAppending(bytes)) {
        // On Windows the file CreateFileA made would stay, empty; here a failed fopen
        // leaves nothing, so that what a run leaves is what its successful calls account
        // for. An empty wininit.ini is taken by the next run as a new one.
        file->bytes.Close();
        if (created)
            fs::remove(host, ec);
        return nullptr;
    }
    TextStream* stream = &file->stream;
    files_[stream] = std::move(file);
    return stream;
}

int Machine::PrintLine(TextStream* stream, const char* line) {
    if (files_.count(stream) == 0)
        return -1;
    return stream->PrintLine(line);
}

int Machine::ScanWord(TextStream* stream, char* word, unsigned size, unsigned* length) {
    if (files_.count(stream) == 0) {
        *length = 0;
        return kTextEof;
    }
    return stream->ScanWord(word, size, length);
}

unsigned Machine::ReadBytes(TextStream* stream, char* buffer, unsigned size) {
    return files_.count(stream) != 0 ? stream->ReadBytes(buffer, size) : 0;
}

int Machine::SeekFromEnd(TextStream* stream, long offset) {
    if (files_.count(stream) == 0)
        return -1;
    return stream->SeekFromEnd(offset);
}

int Machine::AtEndOfFile(TextStream* stream) {
    if (files_.count(stream) == 0)
        return 1;
    return stream->AtEndOfFile();
}

int Machine::CloseText(TextStream* stream) {
    auto it = files_.find(stream);
    if (it == files_.end())
        return -1;
    int closed = it->second->stream.Close();
    files_.erase(it);
    return closed;
}

} // namespace qvl::emu

namespace qvl {

Platform& DefaultPlatform() {
    if (emu::g_defaultPlatform == nullptr) {
        std::fputs("qvl7unin: no machine to work on\n", stderr);
        std::abort();
    }
    return *emu::g_defaultPlatform;
}

} // namespace qvl
