// fault.h: a Platform that makes chosen calls of the one it wraps fail, each in one of
// the ways that call can fail.
//
// It knows nothing of what it wraps, so the same faults can be put on the emulated
// machine or on real Win32. A failed call is not passed on, with two exceptions as the
// real calls behave: fclose releases the stream all the same, and a half-written line
// reaches the file before its write fails.
#pragma once

#include "platform/platform.h"
#include "platform/textmode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvl {

// The platform calls, by their interface names.
enum class Call {
#define QVL_CALL(Ret, Method, ...) Method,
#include "platform/calls.h"
};
// How many calls the list has: one past the last Call.
constexpr int kCallCount = 0
#define QVL_CALL(...) +1
#include "platform/calls.h"
    ;

enum class FaultKind {
#define QVL_FAULT_KIND(Kind, Name) Kind,
#include "platform/calls.h"
};

const char* CallName(Call call); // as the trace shows it: "malloc" for Allocate
const char* FaultKindName(FaultKind kind);
// The call that the trace shows by this name; false when there is none.
bool CallNamed(const std::string& name, Call* call);
// The ways a call can fail, its error result first; none for a call that cannot.
const std::vector<FaultKind>& FaultKinds(Call call);

struct FaultPlan {
    std::uint64_t failAt = 0;     // the n-th call fails (counted from 1); 0: none
    bool persistent = false;      // ...and so does every call after it
    std::optional<Call> failCall; // every call of this method fails
    // Which of the failing call's ways (FaultKinds); a call that has fewer ways is not
    // failed at all.
    std::size_t way = 0;
};

struct InjectedFault {
    std::uint64_t number; // of the call, counted from 1
    Call call;
    FaultKind kind;
};

class FaultingPlatform final : public Platform {
  public:
    explicit FaultingPlatform(Platform& inner, const FaultPlan& plan = FaultPlan())
        : inner_(inner), plan_(plan) {}

    FaultPlan& Plan() { return plan_; }
    std::uint64_t Calls() const { return calls_; }
    // The same count, for a FileFaults to read (without this class's type information).
    const std::uint64_t* CallCounter() const { return &calls_; }
    const std::vector<InjectedFault>& Injected() const { return injected_; }

#define QVL_CALL(Ret, Method, Name, Params, ...) Ret Method Params override;
#include "platform/calls.h"

  private:
    // Counts the call; the way it is to fail, or null when it is passed on.
    const FaultKind* Next(Call call);
    // The words of the rows in calls.h.
    static WinLong ValueTooLong(WinDword* size);
    static WinDword Fallback(const char* fallback, char* buffer, WinDword size);
    int HalfWritten(TextStream* stream, const char* line);
    // A failing fclose still releases the stream.
    int FailedClose(TextStream* stream);

    Platform& inner_;
    FaultPlan plan_;
    std::uint64_t calls_ = 0;
    std::vector<InjectedFault> injected_;
};

// The calls the text streams make on a file (textmode.h), each by the Win32 call it is on
// Windows: CreateFileA, GetFileSize, SetFilePointer, SetFilePointer to the end, ReadFile,
// WriteFile, SetEndOfFile, CloseHandle.
enum class FileCall { Open, Size, Seek, SeekToEnd, Read, Write, Truncate, Close };
const char* FileCallName(FileCall call);

struct InjectedFileFault {
    std::uint64_t number; // of the file call, counted from 1
    FileCall call;
    FaultKind kind;       // Fail, or Partial: a write that puts out half its bytes
    std::uint64_t during; // the platform call it fell in, as FaultingPlatform counts them
};

// Faults under the streams, in the files themselves, as a test file system would put
// them under any other: a platform that opens files through it (the emulated machine)
// asks it at each open and puts a FaultingByteFile over each file. Every file's calls
// count together, and the failAt-th fails in its way-th way:
//  0: its error result;
//  1: the same, and the disk is full from then on: every later write puts out half its
//     bytes and fails;
//  2: a write only: half its bytes put out, then the error.
// Header-only, so that the platform that takes it needs nothing else of the fault layer.
class FileFaults {
  public:
    std::uint64_t failAt = 0;                     // counted from 1; 0: none
    std::size_t way = 0;                          // as above
    const std::uint64_t* platformCalls = nullptr; // FaultingPlatform::CallCounter, for `during`

    // Counts a call; the way it is to fail, or null when it is passed on.
    const FaultKind* Next(FileCall call) {
        static const FaultKind kFail = FaultKind::Fail, kPartial = FaultKind::Partial;
        ++calls_;
        bool full = way == 1 && failAt != 0 && calls_ > failAt && call == FileCall::Write;
        if (!full && (calls_ != failAt || way >= (call == FileCall::Write ? 3u : 2u)))
            return nullptr;
        const FaultKind* kind = full || way == 2 ? &kPartial : &kFail;
        injected_.push_back(
            InjectedFileFault{calls_, call, *kind, platformCalls != nullptr ? *platformCalls : 0});
        return kind;
    }
    std::uint64_t Calls() const { return calls_; }
    const std::vector<InjectedFileFault>& Injected() const { return injected_; }

  private:
    std::uint64_t calls_ = 0;
    std::vector<InjectedFileFault> injected_;
};

class FaultingByteFile final : public ByteFile {
  public:
    FaultingByteFile(ByteFile* inner, FileFaults* faults) : inner_(inner), faults_(faults) {}
    long Read(void* data, unsigned size) override {
        return Fails(FileCall::Read) ? -1 : inner_->Read(data, size);
    }
    bool Write(const void* data, unsigned size) override {
        const FaultKind* kind = faults_->Next(FileCall::Write);
        if (kind != nullptr && *kind == FaultKind::Partial)
            inner_->Write(data, size / 2);
        return kind == nullptr && inner_->Write(data, size);
    }
    bool Seek(std::uint64_t offset) override {
        return !Fails(FileCall::Seek) && inner_->Seek(offset);
    }
    bool SeekToEnd() override { return !Fails(FileCall::SeekToEnd) && inner_->SeekToEnd(); }
    std::int64_t Size() override { return Fails(FileCall::Size) ? -1 : inner_->Size(); }
    bool Truncate() override { return !Fails(FileCall::Truncate) && inner_->Truncate(); }
    // A failed close releases the file all the same, as CloseHandle's caller must.
    bool Close() override {
        bool failed = Fails(FileCall::Close);
        return inner_->Close() && !failed;
    }

  private:
    bool Fails(FileCall call) { return faults_->Next(call) != nullptr; }
    ByteFile* inner_;
    FileFaults* faults_;
};

} // namespace qvl
