// trace.cpp: a Platform that records every call it passes on, one line per call.
#include "platform/trace.h"

#include <cstdio>

namespace qvl {

namespace {

std::string Number(long long value) {
    return std::to_string(value);
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", value);
    return text;
}

} // namespace

std::string TraceText(const char* text, std::size_t length) {
    std::string out = "\"";
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F || c == '"') {
            char cell[8];
            std::snprintf(cell, sizeof cell, "\\x%02X", c);
            out += cell;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

std::string TraceText(const char* text) {
    if (text == nullptr)
        return "NULL";
    std::size_t n = 0;
    while (text[n])
        ++n;
    return TraceText(text, n);
}

std::string TraceRoot(RegKey key) {
    const char* name = RootKeyName(key);
    return name ? name : "";
}

// Handles of each kind are numbered in the order they appear, so that traces of two
// platforms with different handle values compare equal.
std::string TracingPlatform::Handle(std::uintptr_t value, const char* kind) {
    if (kind[0] == 'k') {
        std::string root = TraceRoot(value);
        if (!root.empty())
            return root;
    }
    for (const auto& known : handleNames_)
        if (known.first == value)
            return std::string(kind) + "#" + Number(known.second);
    int number = ++lastNumber_[kind];
    handleNames_.emplace_back(value, number);
    return std::string(kind) + "#" + Number(number);
}

// A closed handle's value may come back for a later open; that is a new handle.
void TracingPlatform::Forget(std::uintptr_t value) {
    for (auto it = handleNames_.begin(); it != handleNames_.end(); ++it) {
        if (it->first == value) {
            handleNames_.erase(it);
            return;
        }
    }
}

std::string TracingPlatform::Text() const {
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\n";
    return text;
}

WinLong TracingPlatform::RegOpenKeyExA(RegKey root, const char* subKey, WinDword options,
                                       WinDword access, RegKey* result) {
    WinLong r = inner_.RegOpenKeyExA(root, subKey, options, access, result);
    std::string line = "RegOpenKeyExA(" + Handle(root, "key") + ", " + TraceText(subKey) + ", " +
                       Number(options) + ", " +
                       (access == kKeyQueryValue ? std::string("KEY_QUERY_VALUE") : Hex(access)) +
                       ") -> " + Number(r);
    if (r == kErrorSuccess)
        line += " " + Handle(*result, "key");
    Add(line);
    return r;
}

WinLong TracingPlatform::RegQueryValueExA(RegKey key, const char* valueName, WinDword* reserved,
                                          WinDword* type, unsigned char* data, WinDword* size) {
    WinDword asked = size != nullptr ? *size : 0;
    WinLong r = inner_.RegQueryValueExA(key, valueName, reserved, type, data, size);
    std::string line = "RegQueryValueExA(" + Handle(key, "key") + ", " + TraceText(valueName) +
                       ", " + Number(asked) + ") -> " + Number(r);
    if (r == kErrorSuccess && data != nullptr && size != nullptr)
        line +=
            " " + TraceText(reinterpret_cast<const char*>(data), *size <= asked ? *size : asked);
    Add(line);
    return r;
}

WinLong TracingPlatform::RegCloseKey(RegKey key) {
    std::string name = Handle(key, "key");
    WinLong r = inner_.RegCloseKey(key);
    Add("RegCloseKey(" + name + ") -> " + Number(r));
    Forget(key);
    return r;
}

WinLong TracingPlatform::RegDeleteKeyA(RegKey root, const char* subKey) {
    WinLong r = inner_.RegDeleteKeyA(root, subKey);
    Add("RegDeleteKeyA(" + Handle(root, "key") + ", " + TraceText(subKey) + ") -> " + Number(r));
    return r;
}

WinLong TracingPlatform::RegFlushKey(RegKey key) {
    WinLong r = inner_.RegFlushKey(key);
    Add("RegFlushKey(" + Handle(key, "key") + ") -> " + Number(r));
    return r;
}

WinDword TracingPlatform::GetProfileStringA(const char* section, const char* key,
                                            const char* fallback, char* buffer, WinDword size) {
    WinDword r = inner_.GetProfileStringA(section, key, fallback, buffer, size);
    Add("GetProfileStringA(" + TraceText(section) + ", " + TraceText(key) + ", " +
        TraceText(fallback) + ", " + Number(size) + ") -> " + Number(r) + " " +
        TraceText(buffer, r < size ? r : 0));
    return r;
}

WinBool TracingPlatform::WriteProfileStringA(const char* section, const char* key,
                                             const char* value) {
    WinBool r = inner_.WriteProfileStringA(section, key, value);
    Add("WriteProfileStringA(" + TraceText(section) + ", " + TraceText(key) + ", " +
        TraceText(value) + ") -> " + Number(r));
    return r;
}

WinBool TracingPlatform::GetVersionExA(OsVersionInfo* info) {
    WinDword asked = info->dwOSVersionInfoSize;
    WinBool r = inner_.GetVersionExA(info);
    std::string line = "GetVersionExA(" + Number(asked) + ") -> " + Number(r);
    if (r)
        line += " build " + Hex(info->dwBuildNumber);
    Add(line);
    return r;
}

unsigned TracingPlatform::GetSystemDirectoryA(char* buffer, unsigned size) {
    unsigned r = inner_.GetSystemDirectoryA(buffer, size);
    Add("GetSystemDirectoryA(" + Number(size) + ") -> " + Number(r) +
        (r > 0 && r < size ? " " + TraceText(buffer) : ""));
    return r;
}

unsigned TracingPlatform::GetWindowsDirectoryA(char* buffer, unsigned size) {
    unsigned r = inner_.GetWindowsDirectoryA(buffer, size);
    Add("GetWindowsDirectoryA(" + Number(size) + ") -> " + Number(r) +
        (r > 0 && r < size ? " " + TraceText(buffer) : ""));
    return r;
}

WinBool TracingPlatform::DeleteFileA(const char* path) {
    WinBool r = inner_.DeleteFileA(path);
    Add("DeleteFileA(" + TraceText(path) + ") -> " + Number(r));
    return r;
}

WinBool TracingPlatform::RemoveDirectoryA(const char* path) {
    WinBool r = inner_.RemoveDirectoryA(path);
    Add("RemoveDirectoryA(" + TraceText(path) + ") -> " + Number(r));
    return r;
}

FindHandle TracingPlatform::FindFirstFileA(const char* pattern, FindData* data) {
    FindHandle h = inner_.FindFirstFileA(pattern, data);
    std::string line = "FindFirstFileA(" + TraceText(pattern) + ") -> ";
    if (h == kInvalidFindHandle)
        line += "INVALID_HANDLE_VALUE";
    else
        line += Handle(h, "find") + " " + TraceText(data->name);
    Add(line);
    return h;
}

WinBool TracingPlatform::FindNextFileA(FindHandle handle, FindData* data) {
    WinBool r = inner_.FindNextFileA(handle, data);
    Add("FindNextFileA(" + Handle(handle, "find") + ") -> " + Number(r) +
        (r ? " " + TraceText(data->name) : ""));
    return r;
}

WinBool TracingPlatform::FindClose(FindHandle handle) {
    std::string name = Handle(handle, "find");
    WinBool r = inner_.FindClose(handle);
    Add("FindClose(" + name + ") -> " + Number(r));
    Forget(handle);
    return r;
}

void* TracingPlatform::Allocate(std::size_t size) {
    void* block = inner_.Allocate(size);
    Add("malloc(" + Number(static_cast<long long>(size)) + ") -> " + (block ? "block" : "NULL"));
    return block;
}

void TracingPlatform::Release(void* block) {
    inner_.Release(block);
    Add("free(block)");
}

TextStream* TracingPlatform::OpenText(const char* path, const char* mode) {
    TextStream* stream = inner_.OpenText(path, mode);
    Add("fopen(" + TraceText(path) + ", " + TraceText(mode) + ") -> " +
        (stream ? Handle(reinterpret_cast<std::uintptr_t>(stream), "file") : "NULL"));
    return stream;
}

int TracingPlatform::PrintLine(TextStream* stream, const char* line) {
    int r = inner_.PrintLine(stream, line);
    Add("fprintf(" + Handle(reinterpret_cast<std::uintptr_t>(stream), "file") + ", \"%s\\n\", " +
        TraceText(line) + ") -> " + Number(r));
    return r;
}

int TracingPlatform::ScanWord(TextStream* stream, char* word, unsigned size, unsigned* length) {
    int r = inner_.ScanWord(stream, word, size, length);
    std::string line = "fscanf(" + Handle(reinterpret_cast<std::uintptr_t>(stream), "file") +
                       ", \"%s\") -> " + Number(r);
    if (r == 1)
        line += " " + TraceText(word, *length < size ? *length : size - 1) +
                (*length >= size ? " (" + Number(*length) + " bytes)" : "");
    Add(line);
    return r;
}

int TracingPlatform::SeekFromEnd(TextStream* stream, long offset) {
    int r = inner_.SeekFromEnd(stream, offset);
    Add("fseek(" + Handle(reinterpret_cast<std::uintptr_t>(stream), "file") + ", " +
        Number(offset) + ", SEEK_END) -> " + Number(r));
    return r;
}

int TracingPlatform::ReadChar(TextStream* stream) {
    int r = inner_.ReadChar(stream);
    Add("fgetc(" + Handle(reinterpret_cast<std::uintptr_t>(stream), "file") + ") -> " + Number(r));
    return r;
}

int TracingPlatform::AtEndOfFile(TextStream* stream) {
    int r = inner_.AtEndOfFile(stream);
    Add("feof(" + Handle(reinterpret_cast<std::uintptr_t>(stream), "file") + ") -> " + Number(r));
    return r;
}

int TracingPlatform::CloseText(TextStream* stream) {
    std::string name = Handle(reinterpret_cast<std::uintptr_t>(stream), "file");
    int r = inner_.CloseText(stream);
    Add("fclose(" + name + ") -> " + Number(r));
    Forget(reinterpret_cast<std::uintptr_t>(stream));
    return r;
}

} // namespace qvl
