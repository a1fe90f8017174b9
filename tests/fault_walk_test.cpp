// fault_walk_test.cpp: the fault layer, and every platform call of a whole run failing
// in turn, in every way it can fail, once and from there on; the run always ends,
// touches nothing outside its plan, and leaves exactly what the calls it made account for.
#include "replay.h"
#include "test_support.h"

#include <algorithm>

namespace qvl::test {
namespace {

using FaultLayer = MachineTest;

TEST_F(FaultLayer, FailsTheNthCallOnceOrFromThereOnOrEveryCallOfOneMethod) {
    PutFile("C:\\WINDOWS\\a.txt", "a");
    AddKey("HKEY_LOCAL_MACHINE\\K");
    RegistryText();
    emu::Machine machine(folder_);
    std::string error;
    ASSERT_TRUE(machine.Load(&error)) << error;
    FaultingPlatform faults(machine);
    faults.Plan().failAt = 2;
    EXPECT_EQ(faults.DeleteFileA("C:\\WINDOWS\\nothing"), 0); // call 1 fails of itself
    EXPECT_EQ(faults.DeleteFileA("C:\\WINDOWS\\a.txt"), 0);   // call 2 is made to fail
    EXPECT_EQ(faults.DeleteFileA("C:\\WINDOWS\\nothing"), 0);
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\a.txt"));
    ASSERT_EQ(faults.Injected().size(), 1u);
    EXPECT_EQ(faults.Injected()[0].number, 2u);
    EXPECT_EQ(faults.Injected()[0].call, Call::DeleteFileA);

    // The second way of every RegDeleteKeyA: success reported, the key left.
    faults.Plan() = FaultPlan();
    faults.Plan().failCall = Call::RegDeleteKeyA;
    faults.Plan().way = 1;
    RegKey key;
    EXPECT_EQ(faults.RegDeleteKeyA(kHkeyLocalMachine, "K"), 0);
    ASSERT_EQ(faults.RegOpenKeyExA(kHkeyLocalMachine, "K", 0, kKeyQueryValue, &key), 0);
    faults.RegCloseKey(key);
    EXPECT_EQ(faults.Injected().back().kind, FaultKind::Survive);
    // A call with fewer ways is not failed.
    faults.Plan().failCall = Call::DeleteFileA;
    EXPECT_EQ(faults.DeleteFileA("C:\\WINDOWS\\a.txt"), 1);
    EXPECT_EQ(faults.Injected().size(), 2u);

    PutFile("C:\\WINDOWS\\a.txt", "a");
    faults.Plan() = FaultPlan();
    faults.Plan().failAt = faults.Calls() + 1;
    faults.Plan().persistent = true;
    EXPECT_EQ(faults.DeleteFileA("C:\\WINDOWS\\a.txt"), 0);
    EXPECT_EQ(faults.OpenText("C:\\WINDOWS\\a.txt", "r"), nullptr);
    EXPECT_EQ(faults.Calls(), 9u);
    EXPECT_EQ(faults.Injected().size(), 4u);
    EXPECT_TRUE(FileExists("C:\\WINDOWS\\a.txt"));
}

struct WalkFigures {
    std::uint64_t runs = 0;
    std::uint64_t faults = 0;
};

// A demo machine, and the wininit.ini it holds before the run, if any.
struct Walked {
    WinDword build;
    const char* wininit;
    const char* name;
};
void PrintTo(const Walked& walked, std::ostream* out) {
    *out << walked.name;
}

class FaultWalk : public ::testing::TestWithParam<Walked> {
  protected:
    void SetUp() override {
        ASSERT_FALSE(root_.empty());
        ASSERT_TRUE(emu::WriteDemoMachine(root_ + "/template", GetParam().build));
        // A wininit.ini there is read through first, for its last section.
        was_ = GetParam().wininit;
        if (!was_.empty()) {
            ASSERT_TRUE(emu::PutMachineFile(root_ + "/template", "C:\\WINDOWS\\wininit.ini", was_));
        }
        before_ = emu::SnapshotMachine(root_ + "/template");
        CopyMachine(root_ + "/template", root_ + "/clean");
        clean_ = RunOn(root_ + "/clean");
        cleanAfter_ = emu::SnapshotMachine(root_ + "/clean");
        planned_ = emu::Missing(before_, cleanAfter_);
        std::string clean;
        emu::ReadHostFile(root_ + "/clean/C/WINDOWS/wininit.ini", &clean);
        // What a clean run leaves before its own lines: what stood there, and a line end
        // if its last line lacked one.
        lead_ = clean.substr(0, was_.size() + (clean.compare(was_.size(), 2, "\r\n") ? 0 : 2));
        header_ = clean.compare(lead_.size(), kHeader.size(), kHeader) == 0;
    }

    // The checks every faulted run must pass.
    void Check(const RunResult& run, const std::string& what) {
        SCOPED_TRACE(what);
        std::string work = root_ + "/work";
        std::vector<std::string> after = emu::SnapshotMachine(work);
        // Nothing outside the plan: whatever went is among what a clean run removes,
        // and nothing new appears but the two files a run writes.
        for (const std::string& line : emu::Missing(before_, after))
            ASSERT_TRUE(std::find(planned_.begin(), planned_.end(), line) != planned_.end())
                << line;
        for (const std::string& line : emu::Missing(after, before_))
            ASSERT_TRUE(line.rfind("file C/WINDOWS/WIN.INI ", 0) == 0 ||
                        line.rfind("file C/WINDOWS/wininit.ini ", 0) == 0)
                << line;
        // Exactly what the calls made account for, the failed one doing nothing.
        std::set<std::uint64_t> skip;
        for (const InjectedFault& f : run.injected)
            skip.insert(f.number);
        // A fault under a stream's file fails the platform call it fell in, when that
        // call says so; one that reports success must have done all its work.
        for (const InjectedFileFault& f : run.fileInjected) {
            const std::string& line = run.trace.at(f.during - 1);
            std::string result = line.substr(line.rfind(" -> ") + 4);
            if (result == "NULL" || result == "-1")
                skip.insert(f.during);
        }
        std::vector<std::string> differences =
            Differences(Replay(root_ + "/template", run.trace, skip), ReadMachine(work));
        ASSERT_TRUE(differences.empty()) << differences[0];
        // wininit.ini: what stood there, then nothing, or the header and whole lines.
        std::string wininit;
        emu::ReadHostFile(work + "/C/WINDOWS/wininit.ini", &wininit);
        ASSERT_EQ(wininit.compare(0, was_.size(), was_), 0) << "what stood there changed";
        ASSERT_TRUE(wininit.size() == was_.size() || wininit.compare(0, lead_.size(), lead_) == 0)
            << "lines glued to the last one that stood there";
        const std::size_t header = lead_.size();
        for (std::size_t at = header, end; at < wininit.size(); at = end + 2) {
            end = wininit.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "a line without its end";
            std::string line = wininit.substr(at, end - at);
            bool known = line + "\r\n" == kHeader && at == header && header_;
            for (const char* name : kDeferredFiles)
                known = known || (line == std::string("NULL=C:\\WINDOWS\\SYSTEM\\") + name &&
                                  (at > header || !header_));
            ASSERT_TRUE(known) << "a line no clean run writes there: " << line;
        }
    }

    // A second, clean run finishes the removal: the machine ends as after a clean run.
    // wininit.ini may hold a line twice, once from each run, but it starts with the
    // header and lacks none of a clean run's lines.
    void CheckRecovery(const std::string& what) {
        SCOPED_TRACE(what + ", then a clean run");
        std::string work = root_ + "/work";
        RunOn(work);
        std::vector<std::string> after = emu::SnapshotMachine(work);
        auto notWininit = [](const std::vector<std::string>& lines) {
            std::vector<std::string> out;
            for (const std::string& l : lines)
                if (l.rfind("file C/WINDOWS/wininit.ini ", 0) != 0)
                    out.push_back(l);
            return out;
        };
        ASSERT_TRUE(SameLines(notWininit(after), notWininit(cleanAfter_)));
        std::string wininit, clean;
        emu::ReadHostFile(work + "/C/WINDOWS/wininit.ini", &wininit);
        emu::ReadHostFile(root_ + "/clean/C/WINDOWS/wininit.ini", &clean);
        std::size_t rest = lead_.size();
        if (header_) {
            ASSERT_EQ(wininit.compare(rest, kHeader.size(), kHeader), 0) << "no header first";
            rest += kHeader.size();
        }
        ASSERT_EQ(("\n" + wininit.substr(rest)).find("\n" + kHeader), std::string::npos)
            << "a header that a clean run does not write";
        for (std::size_t at = 0, end; (end = clean.find("\r\n", at)) != std::string::npos;
             at = end + 2)
            ASSERT_NE(("\n" + wininit).find("\n" + clean.substr(at, end + 2 - at)),
                      std::string::npos)
                << "wininit.ini lacks " << clean.substr(at, end - at);
    }

    // Fails the n-th platform call, or file call of the streams, for n = 1, 2, ... until
    // a run no longer reaches it, once in each way it can fail.
    void WalkEachCall(bool files) {
        WalkFigures figures;
        for (std::uint64_t n = 1;; ++n) {
            bool reached = false;
            for (std::size_t way = 0;; ++way) {
                CopyMachine(root_ + "/template", root_ + "/work");
                FaultPlan faults;
                FileFaults fileFaults;
                (files ? fileFaults.failAt : faults.failAt) = n;
                faults.way = fileFaults.way = way;
                RunResult run = RunOn(root_ + "/work", faults, fileFaults);
                ++figures.runs;
                reached = (files ? run.fileCalls : run.calls) >= n;
                if (run.injected.empty() && run.fileInjected.empty())
                    break;
                ++figures.faults;
                std::string what = "call " + std::to_string(n) + " ";
                if (files)
                    what = "file " + what + FileCallName(run.fileInjected[0].call) + " " +
                           FaultKindName(run.fileInjected[0].kind) +
                           (way == 1 ? ", then a full disk" : "") + " in " +
                           run.trace.at(run.fileInjected[0].during - 1);
                else
                    what += std::string(CallName(run.injected[0].call)) + " " +
                            FaultKindName(run.injected[0].kind);
                Check(run, what);
                CheckRecovery(what);
                if (HasFatalFailure())
                    return;
            }
            if (!reached)
                break;
        }
        std::uint64_t calls = files ? clean_.fileCalls : clean_.calls;
        EXPECT_GT(figures.faults, calls); // every call, some more than one way
        std::printf("%s, build 0x%08X: %llu calls in a clean run, %llu faults injected in "
                    "%llu runs\n",
                    files ? "file fault walk" : "fault walk",
                    static_cast<unsigned>(GetParam().build), static_cast<unsigned long long>(calls),
                    static_cast<unsigned long long>(figures.faults),
                    static_cast<unsigned long long>(figures.runs));
    }

    ScratchFolder scratch_;
    std::string root_ = scratch_.Path();
    std::string was_;     // wininit.ini before the run
    std::string lead_;    // and before a clean run's own lines
    bool header_ = false; // which a clean run gives "[rename]"
    const std::string kHeader = "[rename]\r\n";
    std::vector<std::string> before_;
    std::vector<std::string> cleanAfter_;
    std::vector<std::string> planned_;
    RunResult clean_;
};

TEST_P(FaultWalk, EachCallFailsOnceInEveryWayItCan) {
    WalkEachCall(false);
}

// The same under the streams: each call they make on a file fails (FileFaults).
TEST_P(FaultWalk, EachFileCallOfTheStreamsFailsOnceInEveryWayItCan) {
    WalkEachCall(true);
}

TEST_P(FaultWalk, EveryCallFromTheNthOnFails) {
    std::uint64_t runs = 0;
    for (std::uint64_t n = 1; n <= clean_.calls + 1; ++n) {
        CopyMachine(root_ + "/template", root_ + "/work");
        FaultPlan faults;
        faults.failAt = n;
        faults.persistent = true;
        RunResult run = RunOn(root_ + "/work", faults);
        ++runs;
        Check(run, "every call from " + std::to_string(n) + " on");
        if (HasFatalFailure())
            return;
        if (run.injected.empty())
            break;
    }
    EXPECT_GT(runs, 100u);
    std::printf("persistent faults, build 0x%08X: %llu runs, each failing every call from its "
                "n-th on\n",
                static_cast<unsigned>(GetParam().build), static_cast<unsigned long long>(runs));
}

// No wininit.ini; one without a section; one whose last section is [rename], with an
// unended line in it, where a header written again, or a line glued to that one, is wrong.
INSTANTIATE_TEST_SUITE_P(
    DemoMachines, FaultWalk,
    ::testing::Values(Walked{kBuild98, "", "Windows98"},
                      Walked{kBuild95, "; by setup\r\n", "Windows95"},
                      Walked{kBuild98, "[rename]\r\nNUL=C:\\SETUP.DLL", "Windows98WithRename"}),
    [](const ::testing::TestParamInfo<Walked>& param) { return std::string(param.param.name); });

} // namespace
} // namespace qvl::test
