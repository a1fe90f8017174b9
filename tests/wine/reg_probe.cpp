// reg_probe.cpp: tells which registry keys exist, for the end-to-end runs under Wine.
//
//   reg_probe < LIST       LIST: one key a line, ROOT\path, ROOT one of HKCR, HKCU,
//                          HKLM, HKU, HKCC
//
// Prints "1 KEY" or "0 KEY" for each line, in order: one Wine start for a whole list,
// where `wine reg query` would need one per key.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HKEY Root(const char* name, const char** rest) {
    static const struct {
        const char* name;
        HKEY key;
    } kRoots[] = {{"HKCR\\", HKEY_CLASSES_ROOT},
                  {"HKCU\\", HKEY_CURRENT_USER},
                  {"HKLM\\", HKEY_LOCAL_MACHINE},
                  {"HKU\\", HKEY_USERS},
                  {"HKCC\\", HKEY_CURRENT_CONFIG}};
    for (const auto& root : kRoots) {
        size_t length = std::strlen(root.name);
        if (std::strncmp(name, root.name, length) == 0) {
            *rest = name + length;
            return root.key;
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
