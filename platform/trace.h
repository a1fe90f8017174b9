// trace.h: a Platform that records every call it passes on, one line per call.
//
// Each line is the call's Win32 (or C runtime) name, its arguments with root keys by
// name and texts in double quotes, then " -> " and the result, e.g.
//   RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\Root\printer\0000", 0, KEY_QUERY_VALUE) -> 2
// What each call shows is in its row of calls.h.
#pragma once

#include "platform/platform.h"

#include <map>
#include <string>
#include <vector>

namespace qvl {

class TracingPlatform final : public Platform {
  public:
    explicit TracingPlatform(Platform& inner) : inner_(inner) {}
    const std::vector<std::string>& Lines() const { return lines_; }
    std::string Text() const; // the lines, each ended by "\n"

#define QVL_CALL(Ret, Method, Name, Params, ...) Ret Method Params override;
#include "platform/calls.h"

  private:
    // The words of the rows in calls.h.
    std::string Key(RegKey key) {
        return Handle(key, "key");
    }
    std::string Find(FindHandle handle) {
        return Handle(handle, "find");
    }
    std::string File(const TextStream* stream) {
        return Handle(reinterpret_cast<std::uintptr_t>(stream), "file");
    }
    // A handle's name after the call that closed it; its value may come back for a
    // later open, and that is a new handle.
    std::string Closed(std::uintptr_t handle, const std::string& result);
    std::string Closed(const TextStream* stream, const std::string& result) {
        return Closed(reinterpret_cast<std::uintptr_t>(stream), result);
    }
    // The buffer size a caller offered, kept to bound what Received shows.
    std::string Asked(const WinDword* size);
    std::string Received(const unsigned char* data, WinDword size) const;

    std::string Handle(std::uintptr_t value, const char* kind);

    Platform& inner_;
    std::vector<std::string> lines_;
    std::vector<std::pair<std::uintptr_t, int>> handleNames_;
    std::map<std::string, int> lastNumber_;
    WinDword asked_ = 0;
};

} // namespace qvl
