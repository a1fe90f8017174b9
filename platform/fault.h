// fault.h: a Platform that makes chosen calls of the one it wraps fail, each in one of
// the ways that call can fail.
//
// It knows nothing of what it wraps, so the same faults can be put on the emulated
// machine or on real Win32. A failed call is not passed on, with two exceptions as the
// real calls behave: fclose releases the stream all the same, and a half-written line
// reaches the file before its write fails.
#pragma once

#include "platform/platform.h"

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

} // namespace qvl
