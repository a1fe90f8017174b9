// trace.cpp: a Platform that records every call it passes on, one line per call.
#include "platform/trace.h"

#include <cstdio>
#include <type_traits>

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

// A text in double quotes, control and high bytes as \xNN.
std::string Quote(const char* text, std::size_t length) {
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

// The same up to the zero, or NULL for a null pointer.
std::string Quote(const char* text) {
    if (text == nullptr)
        return "NULL";
    std::size_t n = 0;
    while (text[n])
        ++n;
    return Quote(text, n);
}

std::string Access(WinDword access) {
    return access == kKeyQueryValue ? std::string("KEY_QUERY_VALUE") : Hex(access);
}

// A word fscanf read: what the buffer holds, and the whole length when it was cut.
std::string Scanned(const char* word, unsigned size, unsigned length) {
    return Quote(word, length < size ? length : size - 1) +
           (length >= size ? " (" + Number(length) + " bytes)" : "");
}

template <class... Parts> std::string Join(const Parts&... parts) {
    std::string out;
    const char* separator = "";
    ((out += separator, out += parts, separator = ", "), ...);
    return out;
}

// What a call of no result passes back, so that every row is traced alike.
struct NoResult {};

template <class Call> auto Pass(Call call) {
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        return NoResult{};
    } else {
        return call();
    }
}

} // namespace

// Handles of each kind are numbered in the order they appear, so that traces of two
// platforms with different handle values compare equal.
std::string TracingPlatform::Handle(std::uintptr_t value, const char* kind) {
    if (kind[0] == 'k') {
        if (const char* root = RootKeyName(value))
            return root;
    }
    for (const auto& known : handleNames_)
        if (known.first == value)
            return std::string(kind) + "#" + Number(known.second);
    int number = ++lastNumber_[kind];
    handleNames_.emplace_back(value, number);
    return std::string(kind) + "#" + Number(number);
}

std::string TracingPlatform::Closed(std::uintptr_t handle, const std::string& result) {
    for (auto it = handleNames_.begin(); it != handleNames_.end(); ++it) {
        if (it->first == handle) {
            handleNames_.erase(it);
            break;
        }
    }
    return result;
}

std::string TracingPlatform::Asked(const WinDword* size) {
    asked_ = size != nullptr ? *size : 0;
    return Number(asked_);
}

std::string TracingPlatform::Received(const unsigned char* data, WinDword size) const {
    return Quote(reinterpret_cast<const char*>(data), size <= asked_ ? size : asked_);
}

std::string TracingPlatform::Text() const {
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\n";
    return text;
}

#define QVL_CALL(Ret, Method, Name, Params, Args, Shown, Result, Faults)                           \
    Ret TracingPlatform::Method Params {                                                           \
        std::string shownArgs = Join Shown;                                                        \
        [[maybe_unused]] auto r = Pass([&] { return inner_.Method Args; });                        \
        std::string shownResult = Result;                                                          \
        lines_.push_back(std::string(Name) + "(" + shownArgs + ")" +                               \
                         (shownResult.empty() ? "" : " -> " + shownResult));                       \
        return static_cast<Ret>(r);                                                                \
    }
#include "platform/calls.h"

} // namespace qvl
