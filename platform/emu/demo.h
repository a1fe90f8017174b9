// demo.h: machine folders with the driver installed, and comparing machine states.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

namespace qvl::emu {

constexpr WinDword kWindows98Build = 0x040A07CE;
constexpr WinDword kWindows95Build = 0x040003B6;

// Writes a Windows 9x machine with the driver's whole footprint (registry keys,
// instance keys, win.ini lines and sections, Start-menu group, system files, INF file)
// beside another printer's. On builds up to 950 the INF file is an oem*.inf file, among
// others that do not name the driver. False when the folder cannot be written.
bool WriteDemoMachine(const std::string& folder, WinDword build);

// Puts a file at a Windows path ("C:\WINDOWS\WIN.INI") of a machine folder, creating
// its folders with the names as given.
bool PutMachineFile(const std::string& folder, const std::string& windowsPath,
                    const std::string& bytes);
bool PutMachineFolder(const std::string& folder, const std::string& windowsPath);

// The whole state of a machine folder, one line per registry key and value, win.ini
// line, file and folder, for comparing a machine before and after a run.
std::vector<std::string> SnapshotMachine(const std::string& folder);
// Lines of a that b lacks (each line counted as often as it occurs).
std::vector<std::string> Missing(const std::vector<std::string>& a,
                                 const std::vector<std::string>& b);

} // namespace qvl::emu
