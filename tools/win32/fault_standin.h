// fault_standin.h: STAND-IN for the fault-injecting Platform layer (platform/fault.h).
//
// TEMPORARY. The real layer wraps any Platform and is made from the one list of platform
// calls; until it is in this branch, the Win32 fault sweep uses this copy of its
// interface (the same names: Call, FaultKind, FaultKinds, FaultPlan, FaultingPlatform),
// so that switching is one include in fault_sweep.cpp and deleting this file. It adds
// nothing the real layer lacks; the calls and their ways of failing are those of the
// emulated machine's fault table.
#pragma once

#include "platform/platform.h"
#include "platform/textmode.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qvl {

// Method and trace name; FaultKinds below gives the ways each fails, in this order.
#define QVL_STANDIN_CALLS(X)                                                                       \
    X(RegOpenKeyExA, "RegOpenKeyExA")                                                              \
    X(RegQueryValueExA, "RegQueryValueExA")                                                        \
    X(RegCloseKey, "RegCloseKey")                                                                  \
    X(RegDeleteKeyA, "RegDeleteKeyA")                                                              \
    X(RegFlushKey, "RegFlushKey")                                                                  \
    X(GetProfileStringA, "GetProfileStringA")                                                      \
    X(WriteProfileStringA, "WriteProfileStringA")                                                  \
    X(GetVersionExA, "GetVersionExA")                                                              \
    X(GetSystemDirectoryA, "GetSystemDirectoryA")                                                  \
    X(GetWindowsDirectoryA, "GetWindowsDirectoryA")                                                \
    X(DeleteFileA, "DeleteFileA")                                                                  \
    X(RemoveDirectoryA, "RemoveDirectoryA")                                                        \
    X(FindFirstFileA, "FindFirstFileA")                                                            \
    X(FindNextFileA, "FindNextFileA")                                                              \
    X(FindClose, "FindClose")                                                                      \
    X(Allocate, "malloc")                                                                          \
    X(Release, "free")                                                                             \
    X(OpenText, "fopen")                                                                           \
    X(PrintLine, "fprintf")                                                                        \
    X(ScanWord, "fscanf")                                                                          \
    X(SeekFromEnd, "fseek")                                                                        \
    X(ReadChar, "fgetc")                                                                           \
    X(AtEndOfFile, "feof")                                                                         \
    X(CloseText, "fclose")

enum class Call {
#define QVL_STANDIN_ENUM(Method, Name) Method,
    QVL_STANDIN_CALLS(QVL_STANDIN_ENUM)
#undef QVL_STANDIN_ENUM
};

enum class FaultKind { Fail, NotFound, MoreData, Survive, TooLong, Partial };

inline const char* CallName(Call call) {
    static const char* const names[] = {
#define QVL_STANDIN_NAME(Method, Name) Name,
        QVL_STANDIN_CALLS(QVL_STANDIN_NAME)
#undef QVL_STANDIN_NAME
    };
    return names[static_cast<std::size_t>(call)];
}

inline const char* FaultKindName(FaultKind kind) {
    static const char* const names[] = {"fail",    "not-found", "more-data",
                                        "survive", "too-long",  "partial"};
    return names[static_cast<std::size_t>(kind)];
}

inline const std::vector<FaultKind>& FaultKinds(Call call) {
    using K = FaultKind;
    static const std::vector<FaultKind> kinds[] = {
        {K::Fail, K::NotFound},
        {K::Fail, K::NotFound, K::MoreData},
        {K::Fail},
        {K::Fail, K::Survive},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail, K::TooLong},
        {K::Fail, K::TooLong},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {},
        {K::Fail},
        {K::Fail, K::Partial},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail},
        {K::Fail},
    };
    static_assert(sizeof kinds / sizeof kinds[0] == static_cast<std::size_t>(Call::CloseText) + 1,
                  "one row of fault kinds per call");
    return kinds[static_cast<std::size_t>(call)];
}

struct FaultPlan {
    std::uint64_t failAt = 0;     // the n-th call fails (counted from 1); 0: none
    bool persistent = false;      // ...and so does every call after it
    std::optional<Call> failCall; // every call of this method fails
    std::size_t way = 0;          // which of FaultKinds(call); beyond them: not failed
};

struct InjectedFault {
    std::uint64_t number;
    Call call;
    FaultKind kind;
};

class FaultingPlatform final : public Platform {
  public:
    explicit FaultingPlatform(Platform& inner, const FaultPlan& plan = FaultPlan())
        : inner_(inner), plan_(plan) {}

    FaultPlan& Plan() { return plan_; }
    std::uint64_t Calls() const { return calls_; }
    const std::vector<InjectedFault>& Injected() const { return injected_; }

    WinLong RegOpenKeyExA(RegKey root, const char* subKey, WinDword options, WinDword access,
                          RegKey* result) override {
        if (const FaultKind* k = Next(Call::RegOpenKeyExA))
            return *k == FaultKind::NotFound ? kErrorFileNotFound : kErrorAccessDenied;
        return inner_.RegOpenKeyExA(root, subKey, options, access, result);
    }
    WinLong RegQueryValueExA(RegKey key, const char* valueName, WinDword* reserved, WinDword* type,
                             unsigned char* data, WinDword* size) override {
        if (const FaultKind* k = Next(Call::RegQueryValueExA)) {
            if (*k == FaultKind::MoreData) {
                if (size != nullptr)
                    *size = kTooLong;
                return kErrorMoreData;
            }
            return *k == FaultKind::NotFound ? kErrorFileNotFound : kErrorAccessDenied;
        }
        return inner_.RegQueryValueExA(key, valueName, reserved, type, data, size);
    }
    WinLong RegCloseKey(RegKey key) override {
        return Next(Call::RegCloseKey) ? kErrorInvalidHandle : inner_.RegCloseKey(key);
    }
    WinLong RegDeleteKeyA(RegKey root, const char* subKey) override {
        if (const FaultKind* k = Next(Call::RegDeleteKeyA))
            return *k == FaultKind::Survive ? kErrorSuccess : kErrorAccessDenied;
        return inner_.RegDeleteKeyA(root, subKey);
    }
    WinLong RegFlushKey(RegKey key) override {
        return Next(Call::RegFlushKey) ? kErrorAccessDenied : inner_.RegFlushKey(key);
    }
    WinDword GetProfileStringA(const char* section, const char* key, const char* fallback,
                               char* buffer, WinDword size) override {
        if (!Next(Call::GetProfileStringA))
            return inner_.GetProfileStringA(section, key, fallback, buffer, size);
        // As for a key that is not there: the fallback, cut to the buffer.
        if (size == 0)
            return 0;
        WinDword n = 0;
        for (; fallback != nullptr && fallback[n] != 0 && n + 1 < size; ++n)
            buffer[n] = fallback[n];
        buffer[n] = 0;
        return n;
    }
    WinBool WriteProfileStringA(const char* section, const char* key, const char* value) override {
        return Next(Call::WriteProfileStringA) ? 0
                                               : inner_.WriteProfileStringA(section, key, value);
    }
    WinBool GetVersionExA(OsVersionInfo* info) override {
        return Next(Call::GetVersionExA) ? 0 : inner_.GetVersionExA(info);
    }
    unsigned GetSystemDirectoryA(char* buffer, unsigned size) override {
        if (const FaultKind* k = Next(Call::GetSystemDirectoryA))
            return *k == FaultKind::TooLong ? kTooLong : 0;
        return inner_.GetSystemDirectoryA(buffer, size);
    }
    unsigned GetWindowsDirectoryA(char* buffer, unsigned size) override {
        if (const FaultKind* k = Next(Call::GetWindowsDirectoryA))
            return *k == FaultKind::TooLong ? kTooLong : 0;
        return inner_.GetWindowsDirectoryA(buffer, size);
    }
    WinBool DeleteFileA(const char* path) override {
        return Next(Call::DeleteFileA) ? 0 : inner_.DeleteFileA(path);
    }
    WinBool RemoveDirectoryA(const char* path) override {
        return Next(Call::RemoveDirectoryA) ? 0 : inner_.RemoveDirectoryA(path);
    }
    FindHandle FindFirstFileA(const char* pattern, FindData* data) override {
        return Next(Call::FindFirstFileA) ? kInvalidFindHandle
                                          : inner_.FindFirstFileA(pattern, data);
    }
    WinBool FindNextFileA(FindHandle handle, FindData* data) override {
        return Next(Call::FindNextFileA) ? 0 : inner_.FindNextFileA(handle, data);
    }
    WinBool FindClose(FindHandle handle) override {
        return Next(Call::FindClose) ? 0 : inner_.FindClose(handle);
    }
    void* Allocate(std::size_t size) override {
        return Next(Call::Allocate) ? nullptr : inner_.Allocate(size);
    }
    void Release(void* block) override {
        Next(Call::Release);
        inner_.Release(block);
    }
    TextStream* OpenText(const char* path, const char* mode) override {
        return Next(Call::OpenText) ? nullptr : inner_.OpenText(path, mode);
    }
    int PrintLine(TextStream* stream, const char* line) override {
        const FaultKind* k = Next(Call::PrintLine);
        if (k == nullptr)
            return inner_.PrintLine(stream, line);
        if (*k != FaultKind::Partial || stream == nullptr || !stream->InUse())
            return -1;
        // A full disk: half the bytes of each write reach the file, then it fails.
        HalfWrite full;
        full.disk = stream->ReplaceFile(&full);
        int written = inner_.PrintLine(stream, line);
        stream->ReplaceFile(full.disk);
        return written;
    }
    int ScanWord(TextStream* stream, char* word, unsigned size, unsigned* length) override {
        if (!Next(Call::ScanWord))
            return inner_.ScanWord(stream, word, size, length);
        *length = 0;
        return kTextEof;
    }
    int SeekFromEnd(TextStream* stream, long offset) override {
        return Next(Call::SeekFromEnd) ? -1 : inner_.SeekFromEnd(stream, offset);
    }
    int ReadChar(TextStream* stream) override {
        return Next(Call::ReadChar) ? -1 : inner_.ReadChar(stream);
    }
    int AtEndOfFile(TextStream* stream) override {
        return Next(Call::AtEndOfFile) ? 1 : inner_.AtEndOfFile(stream);
    }
    int CloseText(TextStream* stream) override {
        if (!Next(Call::CloseText))
            return inner_.CloseText(stream);
        inner_.CloseText(stream); // fclose releases the stream even when it fails
        return -1;
    }

  private:
    static constexpr unsigned kTooLong = 300; // a length that fits no buffer the engine has

    class HalfWrite final : public ByteFile {
      public:
        long Read(void* data, unsigned size) override { return disk->Read(data, size); }
        bool Write(const void* data, unsigned size) override {
            disk->Write(data, size / 2);
            return false;
        }
        bool Seek(std::uint64_t offset) override { return disk->Seek(offset); }
        bool SeekToEnd() override { return disk->SeekToEnd(); }
        std::int64_t Size() override { return disk->Size(); }
        bool Truncate() override { return disk->Truncate(); }
        void Close() override { disk->Close(); }
        ByteFile* disk = nullptr;
    };

    const FaultKind* Next(Call call) {
        ++calls_;
        bool fail = plan_.failAt != 0 &&
                    (calls_ == plan_.failAt || (plan_.persistent && calls_ > plan_.failAt));
        if (plan_.failCall == call)
            fail = true;
        const std::vector<FaultKind>& kinds = FaultKinds(call);
        if (!fail || plan_.way >= kinds.size())
            return nullptr;
        injected_.push_back(InjectedFault{calls_, call, kinds[plan_.way]});
        return &kinds[plan_.way];
    }

    Platform& inner_;
    FaultPlan plan_;
    std::uint64_t calls_ = 0;
    std::vector<InjectedFault> injected_;
};

#undef QVL_STANDIN_CALLS

} // namespace qvl
