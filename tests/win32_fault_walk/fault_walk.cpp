// fault_walk.cpp: the fault walk on real Win32: every platform call of a whole run
// fails in turn, in every way it can, on the machine this runs on.
//
//   win32_fault_walk [--every K] [--full-disk DRIVE]
//
// Runs the removal for real: start it only on a prefix seeded with the driver's
// footprint (tests/wine/fault-walk.sh). That seeded state is the template; every run
// starts from it, put back through the Win32 API, and each faulted run is checked:
//  1. nothing changed but what a clean run from the template changes, and each changed
//     item is as the clean run leaves it;
//  2. each part of the footprint is there whole or gone: a removed key with all below
//     it, a removed win.ini section with all its lines; wininit.ini holds whole lines;
//  3. a clean run afterwards leaves the watched state as a clean run from the template.
// With --every K, only calls 1, 1+K, 1+2K, ... are failed (each in every way), and
// only runs failing every call from those on; every method failing at each of its calls
// is run in full either way. With --full-disk, a last run fills up DRIVE ("D:\\", a small
// file system that holds wininit.ini). Prints the figures; exits 0 when every check held.
#include "removal/removal.h"
#include "platform/fault.h"
#include "walk_footprint.h"
#include "watched_state.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace qvl::faultwalk {
namespace {

// A run that takes longer than this has not ended: the removal alone takes well under
// a second here.
constexpr DWORD kRunTimeoutMs = 30000;
std::string g_drive; // the drive that holds wininit.ini, to fill up; none without --full-disk

struct RunJob {
    FaultingPlatform* platform;
};

DWORD WINAPI RunJobThread(LPVOID param) {
    RunRemoval(*static_cast<RunJob*>(param)->platform);
    return 0;
}

// Runs the removal on its own thread, so that a run that never ends is reported as such
// rather than stalling the walk until a test timeout.
bool RunEnds(FaultingPlatform& platform) {
    RunJob job{&platform};
    HANDLE thread = ::CreateThread(nullptr, 0, RunJobThread, &job, 0, nullptr);
    if (thread == nullptr)
        return false;
    DWORD waited = ::WaitForSingleObject(thread, kRunTimeoutMs);
    ::CloseHandle(thread);
    return waited == WAIT_OBJECT_0;
}

std::string Shown(const std::string& item, const Items& items) {
    std::string v = ValueOf(items, item);
    if (v.size() > 60)
        v = v.substr(0, 60) + "...";
    for (char& c : v)
        if (static_cast<unsigned char>(c) < 32)
            c = '.';
    return v;
}

class Walk {
  public:
    explicit Walk(unsigned every) : every_(every) {}

    bool Prepare() {
        watch_ = MakeWatchList();
        template_ = Snapshot(watch_, true);
        FaultingPlatform clean(DefaultPlatform());
        if (!RunEnds(clean))
            return Fail("a clean run from the template did not end");
        cleanCalls_ = clean.Calls();
        cleanAfter_ = Snapshot(watch_).items;
        const std::string& wininit = ValueOf(cleanAfter_, "bytes wininit.ini");
        if (wininit.size() <= ValueOf(template_.items, "bytes wininit.ini").size())
            return Fail("a clean run wrote no line to wininit.ini");
        if (!WholeLines(wininit).empty())
            return Fail("a clean run: " + WholeLines(wininit));
        char system[MAX_PATH];
        ::GetSystemDirectoryA(system, sizeof system);
        if (!LearnFootprint(cleanAfter_, system))
            return false;
        // A run that cannot learn the build takes the variant of builds up to 950: on
        // Windows 98 it deletes the driver's OEM INF file, which a clean run there keeps,
        // and keeps the three keys of the newer builds. What that variant removes is the
        // driver's too, so it joins the footprint.
        if (!PutBack("after the clean run"))
            return false;
        FaultPlan unknownBuild;
        unknownBuild.failCall = Call::GetVersionExA;
        FaultingPlatform variant(DefaultPlatform(), unknownBuild);
        if (!RunEnds(variant))
            return Fail("a run without the build did not end");
        variantAfter_ = Snapshot(watch_).items;
        if (!LearnFootprint(variantAfter_, system))
            return false;
        // A template without the footprint would make every check below pass: the keys
        // of every build and the system files must be there before and gone after.
        for (const FootprintKey& k : kFixedKeys) {
            std::string item = "reg " + KeyName(k);
            if (k.builds == OnBuilds::kEvery && template_.items.count(item) != 0 &&
                cleanAfter_.count(item) != 0)
                return Fail("a clean run left " + item);
        }
        for (const std::string& name : kSystemFiles) {
            std::string item = std::string("file ") + system + "\\" + name;
            if (template_.items.count(item) == 0 || cleanAfter_.count(item) != 0)
                return Fail("the template lacks " + item + ", or a clean run left it");
        }
        return PutBack("after the run without the build");
    }

    bool Run() {
        DWORD start = ::GetTickCount();
        // Each call fails once, in each of its ways.
        std::uint64_t reach = cleanCalls_;
        for (std::uint64_t n = 1; n <= reach; ++n) {
            if ((n - 1) % every_ != 0)
                continue;
            for (std::size_t way = 0;; ++way) {
                FaultPlan plan;
                plan.failAt = n;
                plan.way = way;
                std::uint64_t calls = 0;
                if (!RunOne(plan, &calls))
                    return false;
                if (calls > reach)
                    reach = calls;
                if (lastInjected_ == 0)
                    break;
            }
        }
        onceRuns_ = runs_;
        // Every call from the n-th on fails in its first way.
        for (std::uint64_t n = 1; n <= cleanCalls_ + 1; n += every_) {
            FaultPlan plan;
            plan.failAt = n;
            plan.persistent = true;
            if (!RunOne(plan, nullptr))
                return false;
            ++persistentRuns_;
        }
        // Each method fails at every call of it, in each of its ways: every key deletion
        // reports success and leaves its key, every line is half written, and so on.
        for (int c = 0; c < kCallCount; ++c) {
            Call call = static_cast<Call>(c);
            for (std::size_t way = 0; way < FaultKinds(call).size(); ++way) {
                FaultPlan plan;
                plan.failCall = call;
                plan.way = way;
                if (!RunOne(plan, nullptr))
                    return false;
                ++methodRuns_;
            }
        }
        seconds_ = (::GetTickCount() - start) / 1000.0;
        return true;
    }

    // A run with wininit.ini on a full drive, which cuts the last line a clean run writes
    // halfway: a comment line pads the template so that the file's last block ends there,
    // and a filler takes every other block of the drive, until Windows says it is full.
    bool FullDisk() {
        const std::string& clean = ValueOf(cleanAfter_, "bytes wininit.ini");
        std::size_t cut = (clean.rfind('\n', clean.size() - 3) + clean.size() - 1) / 2;
        State padded = template_;
        padded.items["bytes wininit.ini"] +=
            std::string((8192 - cut % 4096 - 2) % 4096, ';') + "\r\n";
        std::string why;
        if (!Restore(watch_, padded, template_.items, &why) || !Prepare())
            return Fail("cannot pad wininit.ini: " + why);
        static const char block[65536] = {};
        HANDLE h = ::CreateFileA((g_drive + "filler").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
        for (DWORD put = 1; put != 0 && ::WriteFile(h, block, sizeof block, &put, nullptr);) {
        }
        return ((::GetLastError() == ERROR_DISK_FULL && ::CloseHandle(h)) ||
                Fail(g_drive + " never filled up")) &&
               RunOne(FaultPlan{}, nullptr, true);
    }

    void Report() const {
        std::printf("calls in a clean run: %llu\n", static_cast<unsigned long long>(cleanCalls_));
        std::printf("failed once: %llu runs, %llu faults injected%s\n",
                    static_cast<unsigned long long>(onceRuns_),
                    static_cast<unsigned long long>(onceFaults_),
                    every_ > 1
                        ? (" (calls 1, 1+k, ... for k = " + std::to_string(every_) + ")").c_str()
                        : "");
        std::printf("failed from the n-th call on: %llu runs\n",
                    static_cast<unsigned long long>(persistentRuns_));
        std::printf("one method failed at each of its calls: %llu runs\n",
                    static_cast<unsigned long long>(methodRuns_));
        std::printf("runs: %llu, failed checks: %llu, time: %.1f s\n",
                    static_cast<unsigned long long>(runs_),
                    static_cast<unsigned long long>(failures_), seconds_);
    }

    std::uint64_t Failures() const { return failures_; }

  private:
    bool Fail(const std::string& what) {
        std::printf("FAILED: %s\n", what.c_str());
        ++failures_;
        return false;
    }

    // The footprint is taken from what clean runs change, so it is held here to what the
    // tables name: a key below one of the fixed keys or a numbered key below an instance
    // base, a system file, the Start-menu group, a file in the INF folders. win.ini and
    // wininit.ini are left to the end-to-end runs, which check them line by line.
    bool NamedByTables(const std::string& item, const std::string& system) const {
        auto below = [&](const std::string& path, const std::string& top, bool self) {
            return path.compare(0, top.size(), top) == 0 &&
                   ((self && path.size() == top.size()) ||
                    (path.size() > top.size() &&
                     (path[top.size()] == '\\' || (self && path[top.size()] == '\t'))));
        };
        std::string path = item.substr(item.find(' ') + 1);
        if (item.compare(0, 13, "others under ") == 0)
            return false; // no key beside a footprint key is the removal's
        if (item.compare(0, 4, "reg ") == 0 || item.compare(0, 4, "val ") == 0) {
            for (const FootprintKey& k : kFixedKeys)
                if (below(path, KeyName(k), true))
                    return true;
            for (const std::string& base : kInstanceBases)
                if (below(path, std::string("HKLM\\") + base, false))
                    return true;
            return false;
        }
        if (item.compare(0, 5, "file ") == 0 || item.compare(0, 4, "dir ") == 0) {
            for (const std::string& name : kSystemFiles)
                if (path == system + "\\" + name)
                    return true;
            for (const std::string& programs : watch_.deepDirs)
                if (below(path, programs + kGroupFolder, true))
                    return true;
            for (const std::string& inf : kInfFolders)
                if (below(path, watch_.windowsDir + inf, false) &&
                    path.find('\\', watch_.windowsDir.size() + inf.size() + 1) == std::string::npos)
                    return true;
            return false;
        }
        return true;
    }

    // What a reference run changed joins the footprint, all of it named by the tables.
    bool LearnFootprint(const Items& after, const std::string& system) {
        for (const std::string& item : Changed(template_.items, after)) {
            if (!NamedByTables(item, system))
                return Fail("a clean run changed what the removal's tables do not name: " + item +
                            " = " + Shown(item, after));
            footprint_.insert(item);
        }
        return true;
    }

    // now: the watched state as it stands, when it was just taken.
    bool PutBack(const std::string& when, const Items* now = nullptr) {
        std::string why;
        if (!Restore(watch_, template_, now != nullptr ? *now : Snapshot(watch_).items, &why))
            return Fail("cannot put the template back " + when + ": " + why);
        std::vector<std::string> left = Changed(template_.items, Snapshot(watch_).items);
        if (!left.empty())
            return Fail("the template did not come back " + when + ": " + left[0]);
        return true;
    }

    static std::string Describe(const FaultPlan& plan, const FaultingPlatform& run) {
        std::string what;
        if (plan.failCall)
            what = std::string("every ") + CallName(*plan.failCall);
        else
            what = (plan.persistent ? "every call from " : "call ") + std::to_string(plan.failAt) +
                   (plan.persistent ? " on" : "");
        if (!run.Injected().empty()) {
            const InjectedFault& f = run.Injected()[0];
            what += std::string(" (") + CallName(f.call) + " " + FaultKindName(f.kind) + ")";
        }
        return what;
    }

    // One faulted run from the template, its checks, a clean run after it, and the
    // template put back. False only when the walk cannot go on.
    bool RunOne(const FaultPlan& plan, std::uint64_t* calls, bool fullDisk = false) {
        FaultingPlatform faulted(DefaultPlatform(), plan);
        ++runs_;
        bool ended = RunEnds(faulted);
        if (fullDisk)
            ::DeleteFileA((g_drive + "filler").c_str());
        lastInjected_ = faulted.Injected().size();
        if (calls != nullptr)
            *calls = faulted.Calls();
        std::string what = fullDisk ? "wininit.ini on a full drive" : Describe(plan, faulted);
        if (!ended) {
            Fail(what + ": the run did not end");
            return false; // its thread still works on the machine
        }
        bool once = !plan.persistent && !plan.failCall && !fullDisk;
        if (once && lastInjected_ == 0)
            return PutBack("after " + what);
        onceFaults_ += once ? 1 : 0;
        Items after = Snapshot(watch_).items;
        Items now = after;
        std::string problem = CheckFaulted(after);
        std::size_t has = ValueOf(after, "bytes wininit.ini").size();
        if (fullDisk)
            std::printf("%s: wininit.ini %zu bytes, %zu before\n", what.c_str(), has,
                        ValueOf(template_.items, "bytes wininit.ini").size());
        if (fullDisk && problem.empty() && has == ValueOf(cleanAfter_, "bytes wininit.ini").size())
            problem = "every line went in: wininit.ini is not on the drive";
        if (problem.empty()) {
            FaultingPlatform clean(DefaultPlatform());
            if (!RunEnds(clean)) {
                Fail(what + ", then a clean run: it did not end");
                return false;
            }
            now = Snapshot(watch_).items;
            problem = CheckRecovered(now);
            if (!problem.empty())
                problem = "then a clean run: " + problem;
        }
        if (!problem.empty() && failures_ < 20)
            std::printf("FAILED: %s: %s\n", what.c_str(), problem.c_str());
        if (!problem.empty())
            ++failures_;
        return PutBack("after " + what, &now);
    }

    // Checks 1 and 2 on the state a faulted run left.
    std::string CheckFaulted(const Items& after) const {
        for (const std::string& item : Changed(template_.items, after)) {
            if (item.compare(0, 6, "bytes ") == 0)
                continue; // the profile files are checked line by line
            if (footprint_.count(item) == 0)
                return "changed outside the footprint: " + item + " = " + Shown(item, after);
            if (ValueOf(after, item) != ValueOf(cleanAfter_, item) &&
                ValueOf(after, item) != ValueOf(variantAfter_, item))
                return "neither as it was nor as a clean run leaves it: " + item + " = " +
                       Shown(item, after);
        }
        // A part that a clean run removes is there whole or gone: a key that went with
        // its parent still there, or a win.ini section that went.
        for (const std::string& top : footprint_) {
            bool key = top.compare(0, 4, "reg ") == 0 &&
                       (cleanAfter_.count(top) == 0 || variantAfter_.count(top) == 0) &&
                       footprint_.count(top.substr(0, top.rfind('\\'))) == 0;
            bool section = top.compare(0, 4, "ini ") == 0 && top.find('\t') == std::string::npos;
            if (!key && !section)
                continue;
            std::string head = top.substr(4);
            int there = 0, gone = 0;
            for (const std::string& item : footprint_) {
                std::size_t at = item.find(' ');
                std::string rest = item.substr(at + 1);
                bool inside =
                    key ? (item.compare(0, 4, "reg ") == 0 || item.compare(0, 4, "val ") == 0) &&
                              rest.compare(0, head.size(), head) == 0 &&
                              (rest.size() == head.size() || rest[head.size()] == '\\' ||
                               rest[head.size()] == '\t')
                        : item.compare(0, top.size(), top) == 0;
                if (!inside)
                    continue;
                if (ValueOf(after, item) == ValueOf(template_.items, item))
                    ++there;
                else
                    ++gone;
            }
            if (there != 0 && gone != 0)
                return "only part of " + top + " went: " + std::to_string(gone) + " of " +
                       std::to_string(there + gone) + " items";
        }
        return WholeLines(ValueOf(after, "bytes wininit.ini"));
    }

    // wininit.ini holds what stood there, then nothing but whole lines, each as a clean
    // run writes it. A header comes only first in a file the run made: the template's
    // file ends in its [rename] section, and a reader that takes the first [rename]
    // section would pass over lines under a second.
    std::string WholeLines(const std::string& bytes) const {
        if (&bytes == &kAbsent || bytes.empty())
            return "";
        const std::string& stood = ValueOf(template_.items, "bytes wininit.ini");
        const std::string was = &stood == &kAbsent ? "" : stood;
        if (bytes.compare(0, was.size(), was) != 0)
            return "what stood in wininit.ini changed";
        if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0)
            return "wininit.ini ends inside a line";
        std::vector<std::string> lines = SplitLines(bytes.substr(was.size()));
        std::vector<std::string> known = SplitLines(ValueOf(cleanAfter_, "bytes wininit.ini"));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            bool ok = std::find(known.begin(), known.end(), lines[i]) != known.end() &&
                      (lines[i] != "[rename]" || (was.empty() && i == 0));
            if (!ok)
                return "wininit.ini line " + std::to_string(i + 1) + " after what stood there is " +
                       (lines[i] == "[rename]" ? "a second header" : "not whole: " + lines[i]);
        }
        return "";
    }

    // Check 3: the same as after a clean run from the template, but for what the
    // variant without a build removes beyond it. wininit.ini may hold a line twice, once
    // from each run, but none of a clean run's lines is missing, its header included.
    std::string CheckRecovered(const Items& after) const {
        for (const std::string& item : Changed(cleanAfter_, after)) {
            if (item == "bytes wininit.ini" || item.compare(0, 8, "wininit\t") == 0) {
                bool there = ValueOf(after, item) != kAbsent;
                if (there == (ValueOf(cleanAfter_, item) != kAbsent))
                    continue;
                return "wininit.ini differs: " + item;
            }
            if (ValueOf(after, item) == ValueOf(variantAfter_, item))
                continue;
            return "differs from a clean run: " + item + " = " + Shown(item, after) + ", not " +
                   Shown(item, cleanAfter_);
        }
        return WholeLines(ValueOf(after, "bytes wininit.ini"));
    }

    unsigned every_;
    WatchList watch_;
    State template_;
    Items cleanAfter_;
    Items variantAfter_; // after a clean run that could not learn the build
    std::set<std::string> footprint_;
    std::uint64_t cleanCalls_ = 0;
    std::uint64_t runs_ = 0, onceRuns_ = 0, onceFaults_ = 0, persistentRuns_ = 0, methodRuns_ = 0;
    std::uint64_t failures_ = 0;
    std::size_t lastInjected_ = 0;
    double seconds_ = 0;
};

} // namespace
} // namespace qvl::faultwalk

int main(int argc, char** argv) {
    unsigned every = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--every") == 0 && i + 1 < argc)
            every = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--full-disk") == 0 && i + 1 < argc)
            qvl::faultwalk::g_drive = argv[++i];
        else {
            std::printf("usage: win32_fault_walk [--every K] [--full-disk DRIVE]\n");
            return 2;
        }
    }
    if (every == 0)
        every = 1;
    qvl::faultwalk::Walk walk(every);
    bool ran = walk.Prepare() && walk.Run();
    walk.Report(); // the full drive's run, after the figures, prints its own line
    ran = ran && (qvl::faultwalk::g_drive.empty() || walk.FullDisk());
    std::fflush(stdout);
    // A run that did not end still has its thread: leave without waiting for it.
    ::ExitProcess(ran && walk.Failures() == 0 ? 0 : 1);
}
