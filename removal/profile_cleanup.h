// profile_cleanup.h: the win.ini sections and lines that name the printer.
#pragma once

#include "removal/removal.h"

namespace qvl {

inline constexpr char kDevices[] = "Devices";
inline constexpr char kPrinterPorts[] = "PrinterPorts";
inline constexpr char kFallbackDevice[] = "kdp4mz,lpt1:";
inline constexpr const char* kFixedPortSuffixes[] = {"-LPT1", "-FILE", "-LPT2"};

} // namespace qvl
