// printer_sweep.h: where the printer's numbered instance keys are looked for.
#pragma once

#include "removal/removal.h"

namespace qvl {

struct SweepPass {
    const char* startKey;
    const char* base;
    const char* valueName;
};

inline constexpr SweepPass kPasses[] = {
    {"Enum\\Root\\printer\\0000", "Enum\\Root\\printer", "DeviceDesc"},
    {"System\\CurrentControlSet\\Services\\Class\\Printer\\0000",
     "System\\CurrentControlSet\\Services\\Class\\Printer", "DriverDesc"},
};

// Gaps and mode changes a pass may spend before it gives up.
inline constexpr std::int32_t kProbeBudget = 100;
// Names have four digits; the pass ends before it would need a fifth.
inline constexpr std::int32_t kLastIndex = 9999;

} // namespace qvl
