// random_machines_test.cpp: on thousands of random machines the removal takes exactly
// what its rules allow for that machine, and nothing else.
#include "random_machine.h"
#include "replay.h"
#include "test_support.h"

#include <cctype>
#include <chrono>

namespace qvl::test {
namespace {

// The snapshot less win.ini's lines and the two files a run writes, which are compared
// byte for byte instead.
std::vector<std::string> Comparable(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        bool written = l.rfind("win.ini ", 0) == 0 ||
                       (l.rfind("file ", 0) == 0 && (l.find("/WIN.INI ") != std::string::npos ||
                                                     l.find("/wininit.ini ") != std::string::npos));
        if (!written)
            out.push_back(l);
    }
    return out;
}

std::vector<std::string> Expected(const std::vector<std::string>& before, const RandomMachine& m) {
    std::vector<std::string> out;
    for (const std::string& line : Comparable(before)) {
        bool removed = false;
        if (line.rfind("registry ", 0) == 0) {
            for (const std::string& key : m.removedKeys)
                removed = removed || UnderKey(KeyOfLine(line), key);
        } else if (line.rfind("file ", 0) == 0) {
            for (const std::string& file : m.removedFiles)
                removed = removed || line.rfind("file " + file + " ", 0) == 0;
        } else {
            for (const std::string& folder : m.removedFolders)
                removed = removed || line == "folder " + folder;
        }
        if (!removed)
            out.push_back(line);
    }
    return out;
}

// Blanks as the profile reader skips them before a "[" and trims them off a name.
const std::string kBlanks(" \t\n\v\f\r\x1A");

// The name of the last section the file's headers open, in small letters, as Wine's
// profile reader takes them: a line ends at CR or LF, blanks may stand before its "[",
// the name runs to the line's last "]", is trimmed of blanks and ends at a NUL. Apart
// from LastSection and the emulation's reader on purpose, so as not to share their faults.
std::string LastSection(const std::string& text) {
    std::string last = "\x01none";
    for (std::size_t at = 0, end; at <= text.size(); at = end + 1) {
        end = std::min(text.find_first_of("\r\n", at), text.size());
        std::string line = text.substr(at, end - at);
        std::size_t open = line.find_first_not_of(kBlanks), close = line.rfind(']');
        if (open == std::string::npos || line[open] != '[' || close == std::string::npos ||
            close < open)
            continue;
        std::string name = line.substr(open + 1, close - open - 1);
        name.erase(name.find_last_not_of(kBlanks) + 1); // npos + 1: all of a blank name
        name.erase(0, name.find_first_not_of(kBlanks));
        last = name.substr(0, name.find('\0'));
        for (char& c : last)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return last;
}

// wininit.ini after a run: what stood there (less a final Ctrl-Z), a line end where its
// last line lacked one, "[rename]" exactly when the reader above saw some other section
// or none last, and the five lines, which then stand in a section named rename.
::testing::AssertionResult WininitAfter(const std::optional<std::string>& before,
                                        const std::string& after, const std::string& lines) {
    std::string kept = before.value_or("");
    if (!kept.empty() && kept.back() == '\x1A')
        kept.pop_back();
    std::string end = kept.empty() || kept.back() == '\n' ? "" : "\r\n";
    bool header = !before || LastSection(kept) != "rename";
    std::string expected = kept + end + (header ? "[rename]\r\n" : "") + lines;
    if (LastSection(after) != "rename")
        return ::testing::AssertionFailure() << "the lines stand in no [rename] section";
    return SameText(after, expected) << "\n(with" << (header ? "" : "out") << " a header)";
}

// Four batches of 600 machines each, so that they can run side by side.
class RandomMachines : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(RandomMachines, NothingIsLostAndNothingIsLeftThatTheRulesTake) {
    const std::uint32_t kMachines = 600;
    const std::uint32_t first = GetParam() * kMachines + 1;
    ScratchFolder scratch;
    const std::string& root = scratch.Path();
    auto start = std::chrono::steady_clock::now();
    std::uint32_t oldBuilds = 0;
    for (std::uint32_t seed = first; seed < first + kMachines; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::string folder = root + "/m";
        RemoveMachine(folder);
        RandomMachine m = MakeRandomMachine(seed, folder);
        oldBuilds += !IsNewShellBuild(m.build);
        std::vector<std::string> before = emu::SnapshotMachine(folder);
        RunOn(folder);
        std::vector<std::string> after = Comparable(emu::SnapshotMachine(folder));
        ASSERT_TRUE(SameLines(after, Expected(before, m)));
        std::string winIni;
        std::string wininit;
        emu::ReadHostFile(folder + "/" + m.windowsFolder + "/WIN.INI", &winIni);
        emu::ReadHostFile(folder + "/" + m.windowsFolder + "/wininit.ini", &wininit);
        ASSERT_EQ(winIni, m.winIniAfter);
        ASSERT_TRUE(WininitAfter(m.wininitBefore, wininit, m.deferredLines));
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(oldBuilds, kMachines / 5);
    EXPECT_LT(oldBuilds, kMachines * 4 / 5);
    std::printf("random machines: seeds %u to %u checked (%u of build %u or lower) in %.1f s\n",
                first, first + kMachines - 1, oldBuilds, unsigned{kLastOldShellBuild}, seconds);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomMachines, ::testing::Values(0u, 1u, 2u, 3u));

} // namespace
} // namespace qvl::test
