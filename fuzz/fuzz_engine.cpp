// fuzz_engine.cpp: the whole removal over a machine made from the fuzzer's bytes: it
// never crashes, and it changes no file that is not its to delete or write.
//
// The driver's file names come from the removal's tables; tests/wine/footprint.sh states
// them again, independently.
#include "platform/emu/machine.h"
#include "platform/emu/machine_folder.h"
#include "removal/inf_cleanup.h"
#include "removal/removal.h"
#include "removal/start_menu.h"
#include "removal/system_files.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            std::string bytes;
            qvl::emu::ReadHostFile(it->path().string(), &bytes);
            files[fs::relative(it->path(), folder).generic_string()] = bytes;
        }
    }
    return files;
}

// A file the removal may delete: one the tables name, or an OEM INF file.
bool Ours(const std::string& path) {
    std::string name = fs::path(path).filename().string();
    for (unsigned i = 0; i < qvl::CountNames(qvl::kSystemFileTable); ++i)
        if (name == qvl::kSystemFileTable[i])
            return true;
    for (const char* shortcut : qvl::kShortcuts)
        if ("\\" + name == shortcut)
            return true;
    if (name == qvl::kFixedInfName)
        return true;
    std::string upper;
    for (char c : name)
        upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
    return upper.rfind("OEM", 0) == 0 && upper.size() > 7 &&
           upper.compare(upper.size() - 4, 4, ".INF") == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const std::string folder = "/dev/shm/qvl-fuzz-" + std::to_string(getpid());
    static const int removedAtExit = std::atexit([] {
        std::error_code e;
        fs::remove_all(folder, e);
    });
    (void)removedAtExit;
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder + "/C/WINDOWS/SYSTEM", ec);
    fs::create_directories(folder + "/C/WINDOWS/INF/OTHER", ec);

    char ini[128];
    std::snprintf(ini, sizeof ini, "[Version]\r\nBuildNumber=%08X\r\n",
                  in.ConsumeIntegral<std::uint32_t>());
    qvl::emu::WriteHostFileAtomically(folder + "/machine.ini", ini);
    qvl::emu::WriteHostFileAtomically(folder + "/registry.reg", in.ConsumeRandomLengthString(4096));
    qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\WIN.INI", in.ConsumeRandomLengthString(2048));
    if (in.ConsumeBool())
        qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\wininit.ini",
                                 in.ConsumeRandomLengthString(256));
    qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\SYSTEM\\QVL732.DLL", "x");
    qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\SYSTEM\\QVL7TN16.DLL", "x");
    qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\SYSTEM\\OTHER.DLL", "x");
    qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\INF\\OTHER\\OVRIKQVL7R40.INF", "x");
    int infs = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < infs; ++i) {
        std::string name = in.ConsumeRandomLengthString(24);
        if (name.empty() || name.find_first_of("/\\:*?\"<>|") != std::string::npos || name == "." ||
            name == "..")
            name = "oem" + std::to_string(i) + ".inf";
        qvl::emu::PutMachineFile(folder, "C:\\WINDOWS\\INF\\" + name,
                                 in.ConsumeRandomLengthString(1024));
    }
    std::map<std::string, std::string> before = Files(folder);

    qvl::emu::Machine machine(folder);
    std::string error;
    if (!machine.Load(&error))
        std::abort();
    qvl::RunRemoval(machine);
    machine.Save();

    std::map<std::string, std::string> after = Files(folder);
    for (const auto& f : before) {
        auto it = after.find(f.first);
        bool written = f.first == "registry.reg" || f.first == "C/WINDOWS/WIN.INI" ||
                       f.first == "C/WINDOWS/wininit.ini";
        if (it == after.end() && !Ours(f.first))
            std::abort(); // deleted something that is not the driver's
        if (it != after.end() && it->second != f.second && !written)
            std::abort(); // changed a file it never writes
    }
    for (const auto& f : after)
        if (!before.count(f.first) && f.first != "C/WINDOWS/wininit.ini")
            std::abort(); // made a file it never makes
    return 0;
}
