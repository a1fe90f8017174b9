// replay.cpp: what a machine must look like after a run, worked out from the machine
// before it and the calls the run made.
#include "replay.h"

#include "platform/emu/profile.h"
#include "platform/emu/registry.h"
#include "platform/trace.h"
#include "removal/removal.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace qvl::test {

namespace {

struct TracedCall {
    std::string name;
    std::vector<std::string> args; // texts unquoted; NULL as "\x01NULL"
    std::string result;
};

const std::string kNull = "\x01NULL";

int Hex(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c - 'a' + 10;
}

TracedCall Parse(const std::string& line) {
    TracedCall call;
    std::size_t open = line.find('(');
    call.name = line.substr(0, open);
    std::size_t i = open + 1;
    while (i < line.size() && line[i] != ')') {
        std::string arg;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 3 < line.size() && line[i + 1] == 'x') {
                    arg.push_back(static_cast<char>(Hex(line[i + 2]) * 16 + Hex(line[i + 3])));
                    i += 3;
                } else {
                    arg.push_back(line[i]);
                }
            }
            ++i; // the closing quote
        } else {
            while (i < line.size() && line[i] != ',' && line[i] != ')')
                arg.push_back(line[i++]);
            if (arg == "NULL")
                arg = kNull;
        }
        call.args.push_back(arg);
        if (line.compare(i, 2, ", ") == 0)
            i += 2;
    }
    std::size_t arrow = line.find(" -> ", i);
    if (arrow != std::string::npos) {
        std::string rest = line.substr(arrow + 4);
        call.result = rest.substr(0, rest.find(' '));
    }
    return call;
}

RegKey RootByName(const std::string& name) {
    for (const RootKey& root : kRootKeys)
        if (name == root.name)
            return root.key;
    return 0;
}

std::string Relative(const std::string& folder, const std::string& host) {
    return fs::path(host).lexically_relative(folder).generic_string();
}

} // namespace

MachineState ReadMachine(const std::string& folder) {
    MachineState state;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = Relative(folder, it->path().string());
        if (rel == "machine.ini")
            continue;
        if (it->is_directory(ec)) {
            state.folders.insert(rel);
        } else {
            std::string bytes;
            emu::ReadHostFile(it->path().string(), &bytes);
            state.files[rel] = bytes;
        }
    }
    return state;
}

MachineState Replay(const std::string& before, const std::vector<std::string>& trace,
                    const std::set<std::uint64_t>& skip) {
    MachineState state = ReadMachine(before);
    emu::Machine paths(before); // maps Windows paths as they stood before the run
    std::string error;
    paths.Load(&error);

    emu::Registry registry;
    registry.Load(state.files["registry.reg"]);
    std::string winIni;
    paths.HostPath("C:\\WINDOWS\\WIN.INI", &winIni); // the default; machine.ini may say otherwise
    char dir[kMaxPath];
    if (paths.GetWindowsDirectoryA(dir, sizeof dir) < sizeof dir)
        paths.HostPath(std::string(dir) + "\\WIN.INI", &winIni);
    std::string winIniRel = Relative(before, winIni);
    bool hadWinIni = state.files.count(winIniRel) != 0;
    emu::ProfileFile profile;
    profile.Load(state.files[winIniRel]);

    std::map<std::string, std::string> openFiles; // trace handle -> relative path
    for (std::size_t n = 0; n < trace.size(); ++n) {
        TracedCall c = Parse(trace[n]);
        Call call;
        if (skip.count(n + 1) || !CallNamed(c.name, &call))
            continue;
        std::string host;
        switch (call) {
        case Call::RegDeleteKeyA:
            if (c.result == "0")
                registry.DeleteTree(
                    emu::Registry::FullPath(RootByName(c.args[0]), c.args[1].c_str()));
            break;
        case Call::WriteProfileStringA:
            if (c.result == "1" && c.args[2] == kNull && c.args[1] == kNull)
                profile.DeleteSection(c.args[0]);
            else if (c.result == "1" && c.args[2] == kNull)
                profile.DeleteKey(c.args[0], c.args[1]);
            break;
        case Call::DeleteFileA:
            if (c.result == "1" && paths.HostPath(c.args[0], &host))
                state.files.erase(Relative(before, host));
            break;
        case Call::RemoveDirectoryA:
            if (c.result == "1" && paths.HostPath(c.args[0], &host))
                state.folders.erase(Relative(before, host));
            break;
        case Call::OpenText:
            if (c.result != "NULL" && c.args[1] == "a+" && paths.HostPath(c.args[0], &host)) {
                std::string rel = Relative(before, host);
                std::string& bytes = state.files[rel];
                if (!bytes.empty() && bytes.back() == '\x1A')
                    bytes.pop_back();
                openFiles[c.result] = rel;
            }
            break;
        case Call::PrintLine:
            if (c.result != "-1")
                state.files[openFiles[c.args[0]]] += c.args[2] + "\r\n";
            break;
        default: // the calls that change nothing
            break;
        }
    }
    state.files["registry.reg"] =
        registry.Changed() ? registry.Save() : state.files["registry.reg"];
    if (hadWinIni)
        state.files[winIniRel] = profile.Save();
    if (state.files["registry.reg"].empty() && !fs::exists(before + "/registry.reg"))
        state.files.erase("registry.reg");
    return state;
}

std::vector<std::string> Differences(const MachineState& expected, const MachineState& actual) {
    std::vector<std::string> out;
    for (const auto& f : expected.files) {
        auto it = actual.files.find(f.first);
        if (it == actual.files.end())
            out.push_back("missing file " + f.first);
        else if (it->second != f.second)
            out.push_back("different file " + f.first);
    }
    for (const auto& f : actual.files)
        if (!expected.files.count(f.first))
            out.push_back("extra file " + f.first);
    for (const std::string& d : expected.folders)
        if (!actual.folders.count(d))
            out.push_back("missing folder " + d);
    for (const std::string& d : actual.folders)
        if (!expected.folders.count(d))
            out.push_back("extra folder " + d);
    return out;
}

void CopyMachine(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::remove_all(to, ec);
    fs::copy(from, to, fs::copy_options::recursive, ec);
}

void RemoveMachine(const std::string& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
}

RunResult RunOn(const std::string& folder, const FaultPlan& faults, FileFaults files) {
    emu::Machine machine(folder);
    std::string error;
    machine.Load(&error);
    FaultingPlatform faulting(machine, faults);
    TracingPlatform trace(faulting);
    files.platformCalls = faulting.CallCounter();
    machine.PutFileFaults(&files);
    RunRemoval(trace);
    machine.Save();
    return RunResult{trace.Lines(), faulting.Injected(), faulting.Calls(), files.Injected(),
                     files.Calls()};
}

} // namespace qvl::test
