// reg_probe.cpp: tells which registry keys exist, for the end-to-end runs under Wine.
//
//   reg_probe < LIST       LIST: one key a line, ROOT\path, ROOT a short name of
//                          kRootKeys (HKCR, HKLM, ...)
//
// Prints "1 KEY" or "0 KEY" for each line, in order: one Wine start for a whole list,
// where `wine reg query` would need one per key.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HKEY Root(const char* name, const char** rest) {
    for (const qvl::RootKey& root : qvl::kRootKeys) {
        size_t length = std::strlen(root.shortName);
        if (std::strncmp(name, root.shortName, length) == 0 && name[length] == '\\') {
            *rest = name + length + 1;
            return reinterpret_cast<HKEY>(root.key);
        }
    }
    return nullptr;
}

} // namespace

int main() {
    char line[1024];
    int status = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (line[0] == 0)
            continue;
        const char* path = nullptr;
        HKEY root = Root(line, &path);
        if (root == nullptr) {
            std::printf("? %s\n", line);
            status = 2;
            continue;
        }
        HKEY key;
        bool present = RegOpenKeyExA(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (present)
            RegCloseKey(key);
        std::printf("%d %s\n", present ? 1 : 0, line);
    }
    return status;
}
