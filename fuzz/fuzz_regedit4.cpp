// fuzz_regedit4.cpp: the REGEDIT4 reader and writer: a file reads back byte for byte,
// and after a deletion the file written reads back as the registry in memory.
#include "platform/emu/registry.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    qvl::emu::Registry registry;
    registry.Load(text);
    if (registry.Save() != text)
        std::abort();

    // Delete the key named by the first listed header that the input picks.
    std::vector<std::string> listing = registry.Listing();
    std::vector<std::string> keys;
    for (const std::string& line : listing)
        if (line.size() > 2 && line[0] == '[')
            keys.push_back(line.substr(1, line.size() - 2));
    if (size > 0 && keys.size() > 2) {
        const std::string& victim = keys[data[0] % keys.size()];
        bool root = victim == "HKEY_LOCAL_MACHINE" || victim == "HKEY_USERS";
        bool deleted = registry.DeleteTree(victim);
        if (deleted == root || registry.Exists(victim) != root)
            std::abort(); // roots stay, every other key goes
    }
    qvl::emu::Registry reloaded;
    reloaded.Load(registry.Save());
    if (reloaded.Listing() != registry.Listing())
        std::abort();
    return 0;
}
