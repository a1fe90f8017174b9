// fuzz_profile.cpp: win.ini reading and writing: a file reads back byte for byte, and a
// deletion takes out exactly the lines it names.
#include "platform/emu/profile.h"
#include "removal/profile_cleanup.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    qvl::emu::ProfileFile ini;
    ini.Load(text);
    if (ini.Save() != text)
        std::abort();
    std::size_t before = ini.Lines().size();

    // Section and key names taken from the file itself, so that they exist now and then.
    std::string section = qvl::kDevices;
    std::string key = qvl::PrinterModelName;
    for (const std::string& line : ini.Lines()) {
        if (line.size() > 2 && line[0] == '[' && line.find(']') != std::string::npos)
            section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos && (data[0] & 1))
            key = line.substr(0, line.find('='));
    }
    std::string value;
    bool had = ini.Get(section, key, &value);
    bool deleted = (data[0] & 2) ? ini.DeleteSection(section) : ini.DeleteKey(section, key);
    if (!(data[0] & 2) && deleted != had)
        std::abort();
    if (!(data[0] & 2) && deleted && ini.Lines().size() != before - 1)
        std::abort();
    // Whatever was deleted, the rest is still the file's own lines, in order.
    std::size_t at = 0;
    for (const std::string& line : ini.Lines()) {
        at = text.find(line, at);
        if (at == std::string::npos)
            std::abort();
        at += line.size();
    }
    return 0;
}
