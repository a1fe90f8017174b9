// machine_folder.cpp: putting files into a machine folder, and its whole state as lines
// for comparing a machine before and after a run.
#include "platform/emu/machine_folder.h"
#include "platform/emu/machine.h"
#include "platform/emu/profile.h"
#include "platform/emu/registry.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace qvl::emu {

namespace {

fs::path HostOf(const std::string& folder, const std::string& windowsPath) {
    std::string path = windowsPath;
    std::string drive = "C";
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 1);
        path = path.substr(2);
    }
    fs::path host = fs::path(folder) / drive;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            host /= path.substr(start, end - start);
        start = end + 1;
    }
    return host;
}

std::string Fnv(const std::string& bytes) {
    unsigned long long h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", h);
    return text;
}

} // namespace

bool PutMachineFolder(const std::string& folder, const std::string& windowsPath) {
    std::error_code ec;
    fs::create_directories(HostOf(folder, windowsPath), ec);
    return !ec;
}

bool PutMachineFile(const std::string& folder, const std::string& windowsPath,
                    const std::string& bytes) {
    fs::path host = HostOf(folder, windowsPath);
    std::error_code ec;
    fs::create_directories(host.parent_path(), ec);
    std::FILE* f = std::fopen(host.string().c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<std::string> SnapshotMachine(const std::string& folder) {
    std::vector<std::string> lines;
    std::string text;
    if (ReadHostFile(folder + "/registry.reg", &text)) {
        Registry registry;
        registry.Load(text);
        for (const std::string& line : registry.Listing())
            lines.push_back("registry " + line);
    }
    std::error_code ec;
    std::vector<std::string> files;
    std::string profile;
    // Each entry's path is the folder's with its own below it; cut by text, as
    // fs::relative resolves both through the file system for every entry.
    std::string base = fs::path(folder).generic_string();
    if (base.empty() || base.back() != '/')
        base += '/';
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = it->path().generic_string().substr(base.size());
        if (rel == "registry.reg" || rel == "machine.ini")
            continue;
        if (it->is_directory(ec)) {
            files.push_back("folder " + rel);
        } else {
            ReadHostFile(it->path().string(), &text);
            files.push_back("file " + rel + " " + std::to_string(text.size()) + " bytes " +
                            Fnv(text));
            if (EqualNoCase(it->path().filename().string(), "WIN.INI"))
                profile = text;
        }
    }
    std::sort(files.begin(), files.end());
    lines.insert(lines.end(), files.begin(), files.end());
    // win.ini line by line, in file order, each with the section it stands in.
    ProfileFile ini;
    ini.Load(profile);
    std::string section;
    for (const std::string& raw : ini.Lines()) {
        std::string line = raw;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            section = line;
        else
            line = section + " " + (line.empty() ? "(blank line)" : line);
        lines.push_back("win.ini " + line);
    }
    return lines;
}

std::vector<std::string> Missing(const std::vector<std::string>& a,
                                 const std::vector<std::string>& b) {
    std::map<std::string, long> count;
    for (const std::string& line : b)
        ++count[line];
    std::vector<std::string> out;
    for (const std::string& line : a) {
        if (count[line] > 0)
            --count[line];
        else
            out.push_back(line);
    }
    return out;
}

} // namespace qvl::emu
