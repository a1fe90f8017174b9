// fault.cpp: a Platform that makes chosen calls of the one it wraps fail.
#include "platform/fault.h"
#include "platform/textmode.h"

namespace qvl {

namespace {

// A length that fits no buffer the engine has.
constexpr unsigned kTooLong = 300;

// A full disk under a stream: each write puts out half its bytes and fails.
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
    bool Close() override { return disk->Close(); }

    ByteFile* disk = nullptr;
};

} // namespace

const char* CallName(Call call) {
    static const char* const names[] = {
#define QVL_CALL(Ret, Method, Name, ...) Name,
#include "platform/calls.h"
    };
    return names[static_cast<std::size_t>(call)];
}

const char* FaultKindName(FaultKind kind) {
    static const char* const names[] = {
#define QVL_FAULT_KIND(Kind, Name) Name,
#include "platform/calls.h"
    };
    return names[static_cast<std::size_t>(kind)];
}

const char* FileCallName(FileCall call) {
    static const char* const names[] = {
        "CreateFileA", "GetFileSize", "SetFilePointer", "SetFilePointer(FILE_END)",
        "ReadFile",    "WriteFile",   "SetEndOfFile",   "CloseHandle"};
    return names[static_cast<std::size_t>(call)];
}

bool CallNamed(const std::string& name, Call* call) {
    for (int c = 0; c < kCallCount; ++c) {
        if (name == CallName(static_cast<Call>(c))) {
            *call = static_cast<Call>(c);
            return true;
        }
    }
    return false;
}

const std::vector<FaultKind>& FaultKinds(Call call) {
    static const std::vector<FaultKind> kinds[] = {
#define QVL_FAULT(Kind, ...) FaultKind::Kind,
#define QVL_CALL(Ret, Method, Name, Params, Args, Shown, Result, Faults) {Faults},
#include "platform/calls.h"
    };
    return kinds[static_cast<std::size_t>(call)];
}

const FaultKind* FaultingPlatform::Next(Call call) {
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

WinLong FaultingPlatform::ValueTooLong(WinDword* size) {
    if (size != nullptr)
        *size = kTooLong;
    return kErrorMoreData;
}

// As for a key that is not there: the fallback, cut to the buffer.
WinDword FaultingPlatform::Fallback(const char* fallback, char* buffer, WinDword size) {
    if (size == 0)
        return 0;
    WinDword n = 0;
    for (; fallback != nullptr && fallback[n] != 0 && n + 1 < size; ++n)
        buffer[n] = fallback[n];
    buffer[n] = 0;
    return n;
}

int FaultingPlatform::HalfWritten(TextStream* stream, const char* line) {
    if (stream == nullptr || !stream->InUse())
        return -1;
    HalfWrite full;
    full.disk = stream->ReplaceFile(&full);
    int written = inner_.PrintLine(stream, line);
    stream->ReplaceFile(full.disk);
    return written;
}

int FaultingPlatform::FailedClose(TextStream* stream) {
    inner_.CloseText(stream);
    return -1;
}

#define QVL_FAULT(Kind, ...)                                                                       \
    if (kind != nullptr && *kind == FaultKind::Kind) {                                             \
        __VA_ARGS__;                                                                               \
    }
#define QVL_CALL(Ret, Method, Name, Params, Args, Shown, Result, Faults)                           \
    Ret FaultingPlatform::Method Params {                                                          \
        [[maybe_unused]] const FaultKind* kind = Next(Call::Method);                               \
        Faults return inner_.Method Args;                                                          \
    }
#include "platform/calls.h"

} // namespace qvl
