// walk_footprint.h: where the Win32 fault walk learns the driver's footprint.
//
// The one place that binds the walk to the removal's tables: the stages' headers in
// removal/, put in the shapes the walk goes through.
#pragma once

#include "removal/inf_cleanup.h"
#include "removal/printer_sweep.h"
#include "removal/removal_sequence.h"
#include "removal/start_menu.h"
#include "removal/system_files.h"

#include <string>
#include <vector>

namespace qvl::faultwalk {

using FootprintKey = FixedKey;
using qvl::kFixedKeys;
using qvl::kGroupFolder; // below the Programs folder
using qvl::kProgramsValue;
using qvl::kShellFolders;
using qvl::OnBuilds;

// The bases under which the numbered instance keys are swept (HKEY_LOCAL_MACHINE).
inline const std::vector<std::string> kInstanceBases = [] {
    std::vector<std::string> bases;
    for (const SweepPass& pass : kPasses)
        bases.push_back(pass.base);
    return bases;
}();

inline const std::vector<std::string> kSystemFiles = [] {
    std::vector<std::string> names;
    for (const NameRow* row = kSystemFileTable; (*row)[0] != 0; ++row)
        names.push_back(*row);
    return names;
}();

// Folders below the Windows folder that the INF stage works in.
inline const std::vector<std::string> kInfFolders = {kInfFolder,
                                                     std::string(kInfOther, sizeof kInfOther - 2)};

} // namespace qvl::faultwalk
