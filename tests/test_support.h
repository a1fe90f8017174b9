// test_support.h: a machine folder per test, and running the removal on it with a trace.
#pragma once

#include "demo/demo.h"
#include "platform/emu/machine.h"
#include "platform/emu/machine_folder.h"
#include "platform/emu/registry.h"
#include "platform/fault.h"
#include "platform/trace.h"
#include "removal/removal.h"
#include "removal/removal_sequence.h"
#include "removal/system_files.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qvl::test {

using emu::RegValue;

// A folder of one test's own, for its machine folders. It lies on a memory-backed file
// system where the machine has one (/dev/shm): the fault walks and random machines write
// thousands of machine folders, and on a disk they wait on it. It goes when the test
// ends; after a failure, with QVL_KEEP_FAILED set, it is kept as qvl-kept-* and named.
// Those a crashed test left behind go with the next test that makes one.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    void Restart() { TearDown(), SetUp(); } // a new machine folder, for a test's next case

    // machine.ini, Windows 98's until this is called; the directories default to
    // C:\WINDOWS and C:\WINDOWS\SYSTEM.
    void SetMachine(WinDword build, const std::string& windowsDir = "",
                    const std::string& systemDir = "");
    // Adds a key block to registry.reg.
    void AddKey(const std::string& fullPath, const std::vector<RegValue>& values = {});
    void PutFile(const std::string& windowsPath, const std::string& bytes);
    void PutFolder(const std::string& windowsPath);

    // Loads the machine, runs RunRemoval on it through the faults and a trace, and saves
    // it. Returns the trace.
    std::vector<std::string> Run(const FaultPlan& faults = FaultPlan());

    bool KeyExists(const std::string& fullPath);
    bool FileExists(const std::string& windowsPath);
    std::string ReadFile(const std::string& windowsPath);
    std::string RegistryText();

    std::unique_ptr<ScratchFolder> scratch_;
    std::string folder_;
    std::uint64_t lastCalls_ = 0;
    std::uint64_t lastInjected_ = 0;

  private:
    void WriteRegistry();
    std::string registry_;
    bool registryDirty_ = false;
};

// Whether a registry path is key or lies below it (without regard to case).
bool UnderKey(const std::string& path, const std::string& key);
// The key a snapshot line of the registry speaks of: "[path]" or "path "name"=...".
std::string KeyOfLine(const std::string& line);

// The lines of a trace that start with prefix.
std::vector<std::string> Calls(const std::vector<std::string>& trace, const std::string& prefix);
// The lines of a trace after the first that starts with after, up to the first that
// starts with before: the calls of one stage.
std::vector<std::string> Between(const std::vector<std::string>& trace, const std::string& after,
                                 const std::string& before);
// The lines up to " -> ", i.e. the calls and arguments without results.
std::vector<std::string> WithoutResults(const std::vector<std::string>& trace);

// Comparisons that fail small, in a few lines whatever the sizes: the lines that differ
// with a mark ("-" expected, "+" actual) and their numbers, as check.sh shows them, bytes
// outside printable ASCII escaped, long lines cut. For texts (a file's bytes): the sizes
// and the first line that differs, with the line before it and the next.
::testing::AssertionResult SameText(const std::string& actual, const std::string& expected);
// For lists of lines (calls, snapshots): the lines one side lacks, or where the same
// lines first stand in another order.
::testing::AssertionResult SameLines(const std::vector<std::string>& actual,
                                     const std::vector<std::string>& expected);

// The fixed keys that a run deletes on a build of the kind, those of every build first,
// each in the table's order; and the path of one in the emulated registry.
std::vector<FixedKey> FixedKeysOn(bool newShell);
std::string FullPath(const FixedKey& key);
// A Windows path as a snapshot line names it: "C/WINDOWS/...".
std::string SnapshotPath(const std::string& windowsPath);

// The driver's files as the removal's tables name them, in their order.
extern const std::vector<const char*> kSystemFiles;
extern const std::vector<const char*> kDeferredFiles;

constexpr WinDword kBuild98 = emu::kWindows98Build;
constexpr WinDword kBuild95 = emu::kWindows95Build;

} // namespace qvl::test
