// replay.h: what a machine must look like after a run, worked out from the machine
// before it and the calls the run made, and machine folders to run on.
#pragma once

#include "platform/emu/machine.h"
#include "platform/fault.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qvl::test {

// A machine folder's whole content: registry.reg and every file and folder of its
// drives, by path relative to the folder.
struct MachineState {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
};

MachineState ReadMachine(const std::string& folder);

// Applies to the machine as it was (before) the effect of every call in the trace that
// reported success, in order: deleted keys and their subtrees, deleted win.ini lines
// and sections, deleted files and folders, lines appended to text files. The calls
// listed in skip (numbers counted from 1) had no effect whatever they reported.
MachineState Replay(const std::string& before, const std::vector<std::string>& trace,
                    const std::set<std::uint64_t>& skip);

// Lines that differ between two states, for a readable failure.
std::vector<std::string> Differences(const MachineState& expected, const MachineState& actual);

void CopyMachine(const std::string& from, const std::string& to);
void RemoveMachine(const std::string& folder);

// Loads the machine in folder, runs the removal on it with the faults given, saves it.
struct RunResult {
    std::vector<std::string> trace;
    std::vector<InjectedFault> injected;
    std::uint64_t calls = 0;
    std::vector<InjectedFileFault> fileInjected; // and the same under the streams' files
    std::uint64_t fileCalls = 0;
};
RunResult RunOn(const std::string& folder, const FaultPlan& faults = FaultPlan(),
                FileFaults files = FileFaults());

} // namespace qvl::test
