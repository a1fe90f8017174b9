// machine_folder.h: putting files into a machine folder, and its whole state as lines
// for comparing a machine before and after a run.
#pragma once

#include <string>
#include <vector>

namespace qvl::emu {

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
