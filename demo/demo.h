// demo.h: machine folders with the driver installed.
#pragma once

#include "platform/platform.h"

#include <string>

namespace qvl::emu {

constexpr WinDword kWindows98Build = 0x040A07CE;
constexpr WinDword kWindows95Build = 0x040003B6;

// Writes a Windows 9x machine with the driver's whole footprint (registry keys,
// instance keys, win.ini lines and sections, Start-menu group, system files, INF file)
// beside another printer's. On builds up to 950 the INF file is an oem*.inf file, among
// others that do not name the driver. False when the folder cannot be written.
bool WriteDemoMachine(const std::string& folder, WinDword build);

} // namespace qvl::emu
