// text.cpp: bounded string building for the removal's fixed-size buffers.
#include "removal/text.h"

namespace qvl {

// Byte for byte, letter case included: the comparison lstrcmpA is meant to make here,
// without the locale's collation rules.
bool TextEqual(const char* a, const char* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

bool Contains(const char* text, char c) {
    for (; *text; ++text)
        if (*text == c)
            return true;
    return false;
}

bool CopyText(char* dst, unsigned size, const char* src) {
    if (size == 0)
        return false;
    dst[0] = 0;
    return AppendText(dst, size, src);
}

bool AppendText(char* dst, unsigned size, const char* src) {
    unsigned used = 0;
    while (used < size && dst[used])
        ++used;
    unsigned add = TextLength(src);
    if (used >= size || add >= size - used) {
        if (size > 0)
            dst[0] = 0;
        return false;
    }
    for (unsigned i = 0; i <= add; ++i)
        dst[used + i] = src[i];
    return true;
}

bool JoinText(char* dst, unsigned size, const char* a, const char* b, const char* c) {
    return CopyText(dst, size, a) && AppendText(dst, size, b) &&
           (c == nullptr || AppendText(dst, size, c));
}

bool TerminateValueText(char* data, unsigned capacity, WinDword size) {
    if (size > capacity)
        size = capacity;
    for (unsigned i = 0; i < size; ++i)
        if (data[i] == 0)
            return true;
    if (size < capacity) {
        data[size] = 0;
        return true;
    }
    return false;
}

bool AcceptDirectory(char* buffer, unsigned size, unsigned result) {
    // A result of size or more is the length the path would need: nothing usable was
    // written.
    if (result > 0 && result < size) {
        for (unsigned i = 0; i < size; ++i)
            if (buffer[i] == 0)
                return i > 0;
    }
    buffer[0] = 0;
    return false;
}

void DecimalText(char* dst, unsigned size, std::int32_t value) {
    char reversed[12];
    unsigned n = 0;
    std::uint32_t v = value < 0 ? 0 : static_cast<std::uint32_t>(value);
    do {
        reversed[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (n >= size) {
        dst[0] = 0;
        return;
    }
    for (unsigned i = 0; i < n; ++i)
        dst[i] = reversed[n - 1 - i];
    dst[n] = 0;
}

unsigned CountNames(const NameRow* table) {
    unsigned n = 0;
    while (table[n][0] != 0)
        ++n;
    return n;
}

} // namespace qvl
