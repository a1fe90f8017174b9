// text.h: bounded string building for the removal's fixed-size buffers.
//
// Paths are built in 260-byte buffers. A path that would not fit is never cut short
// (a shortened path names some other file): the builders refuse, leave the buffer
// empty and return false, and the caller skips that one step.
#pragma once

#include "platform/platform.h"

namespace qvl {

using NameRow = char[20];

constexpr unsigned TextLength(const char* text) {
    unsigned n = 0;
    while (text[n])
        ++n;
    return n;
}
bool TextEqual(const char* a, const char* b);
bool Contains(const char* text, char c);

// dst = src; false (and dst empty) when it does not fit in size bytes.
bool CopyText(char* dst, unsigned size, const char* src);
// dst += src; false (and dst empty) when the whole does not fit.
bool AppendText(char* dst, unsigned size, const char* src);
// dst = a + b + c (c may be null).
bool JoinText(char* dst, unsigned size, const char* a, const char* b, const char* c = nullptr);

// Makes the size bytes that a registry read returned into a zero-terminated text in
// place: the text ends at the first zero byte within them, or right after them. False
// when the data fill the whole buffer with no zero, so no text can be formed.
bool TerminateValueText(char* data, unsigned capacity, WinDword size);

// A directory as GetSystemDirectoryA/GetWindowsDirectoryA reported it: usable when the
// call claimed success and the text is terminated and not empty. Otherwise the buffer
// is emptied and false returned.
bool AcceptDirectory(char* buffer, unsigned size, unsigned result);

// Decimal digits of a non-negative number, no sign, no leading zeros.
void DecimalText(char* dst, unsigned size, std::int32_t value);

// The number of names in a table that ends with an empty row.
unsigned CountNames(const NameRow* table);

} // namespace qvl
