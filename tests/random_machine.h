// random_machine.h: seeded random machines that mix the driver's footprint with near
// misses, and what the removal must leave of each, worked out from the rules alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvl::test {

struct RandomMachine {
    std::uint32_t build = 0;
    std::string windowsFolder; // snapshot path of the Windows directory
    // What a run must remove and write, by the removal's rules.
    std::vector<std::string> removedKeys;  // full registry paths, subtrees included
    std::vector<std::string> removedFiles; // snapshot paths, "C/WINDOWS/SYSTEM/QVL732.DLL"
    std::vector<std::string> removedFolders;
    std::string winIniAfter;                  // the whole file; empty when there is none
    std::optional<std::string> wininitBefore; // absent when there is none
    std::string deferredLines;                // the "NULL=" lines a run appends to it
};

// Writes a machine made from seed into folder (which must not exist) and returns what a
// run must make of it.
RandomMachine MakeRandomMachine(std::uint32_t seed, const std::string& folder);

} // namespace qvl::test
