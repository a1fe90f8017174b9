// inf_cleanup.h: where the printer's setup information file is, and how it is known.
#pragma once

#include "removal/removal.h"

namespace qvl {

inline constexpr char kInfOther[] = "\\INF\\OTHER\\";
inline constexpr char kFixedInfName[] = "OVRIKQVL7R40.INF";
inline constexpr char kInfFolder[] = "\\INF";
inline constexpr char kOemPattern[] = "oem*.inf";
inline constexpr char kInfToken[] = "QVL7STAT.EXE"; // one of the driver's system files

} // namespace qvl
