// test_support.cpp: a machine folder per test, and running the removal on it with a trace.
#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qvl::test {

namespace {

std::vector<const char*> Names(const NameRow* table) {
    std::vector<const char*> names;
    for (unsigned i = 0; i < CountNames(table); ++i)
        names.push_back(table[i]);
    return names;
}

const char kScratchPrefix[] = "qvl-test-";

std::string ScratchBase() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    return fs::temp_directory_path(ec).string();
}

// The folders of test processes that ended without removing theirs (a sanitizer's
// abort, a timeout's kill): their names carry the process's id.
void RemoveOrphans(const std::string& base) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(base, ec)) {
        std::string name = entry.path().filename().string();
        bool ours = name.rfind(kScratchPrefix, 0) == 0; // a shorter name has no id to read
        long pid = ours ? std::strtol(name.c_str() + sizeof kScratchPrefix - 1, nullptr, 10) : 0;
        if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH)
            fs::remove_all(entry.path(), ec);
    }
}

constexpr std::size_t kShownLines = 20;
constexpr std::size_t kShownBytes = 120;

// A line of a failure's message: a mark, the line's number, and the line escaped and cut
// short.
std::string Shown(char mark, std::size_t number, const std::string& line) {
    std::string out = "\n  " + std::string(1, mark) + " " + std::to_string(number) + "  ";
    for (std::size_t i = 0; i < line.size() && i < kShownBytes; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        char escaped[8] = {static_cast<char>(c)};
        if (c < 0x20 || c > 0x7E)
            std::snprintf(escaped, sizeof escaped,
                          c == '\r'   ? "\\r"
                          : c == '\n' ? "\\n"
                                      : "\\x%02X",
                          c);
        out += escaped;
    }
    if (line.size() > kShownBytes)
        out += "... (" + std::to_string(line.size() - kShownBytes) + " bytes more)";
    return out;
}

// Adds the lines of a that b lacks, each counted as often as it stands: their numbers
// from 0, and whether a is the actual list.
void Unmatched(const std::vector<std::string>& a, const std::vector<std::string>& b, bool actual,
               std::vector<std::pair<std::size_t, bool>>* out) {
    std::map<std::string, long> count;
    for (const std::string& line : b)
        ++count[line];
    for (std::size_t i = 0; i < a.size(); ++i)
        if (count[a[i]]-- <= 0)
            out->push_back({i, actual});
}

} // namespace

ScratchFolder::ScratchFolder() {
    std::string base = ScratchBase();
    RemoveOrphans(base);
    path_ = emu::MakeTempFolder(kScratchPrefix + std::to_string(static_cast<long>(getpid())) + "-",
                                base);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty() && ::testing::Test::HasFailure() && std::getenv("QVL_KEEP_FAILED")) {
        std::string kept = path_;
        kept.replace(kept.rfind(kScratchPrefix), sizeof kScratchPrefix - 1, "qvl-kept-");
        fs::rename(path_, kept, ec);
        std::printf("QVL_KEEP_FAILED: the test's folder is kept at %s\n",
                    (ec ? path_ : kept).c_str());
    } else if (!path_.empty()) {
        fs::remove_all(path_, ec);
    }
}

const std::vector<const char*> kSystemFiles = Names(kSystemFileTable);
const std::vector<const char*> kDeferredFiles = Names(kDeferredFileTable);

::testing::AssertionResult SameText(const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    std::size_t start = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
    std::size_t number =
        1 + static_cast<std::size_t>(std::count(expected.begin(), expected.begin() + start, '\n'));
    ::testing::AssertionResult result = ::testing::AssertionFailure()
                                        << actual.size() << " bytes, " << expected.size()
                                        << " expected; they differ from line " << number
                                        << ", byte " << at - start + 1 << " on:";
    if (start > 0) {
        std::size_t before = start < 2 ? 0 : expected.rfind('\n', start - 2) + 1;
        result << Shown(' ', number - 1, expected.substr(before, start - before));
    }
    for (const std::string* text : {&expected, &actual}) {
        char mark = text == &actual ? '+' : '-';
        if (start == text->size())
            result << "\n  " << mark << " the text ends";
        for (std::size_t from = start, n = number; from < text->size() && n < number + 2; ++n) {
            std::size_t end = std::min(text->find('\n', from), text->size() - 1) + 1;
            // The first line from a little before where it differs, if that is far in.
            std::size_t skip = n == number && at - start > kShownBytes / 2 ? at - start - 20 : 0;
            result << Shown(mark, n,
                            (skip ? "..." : "") + text->substr(from + skip, end - from - skip));
            from = end;
        }
    }
    return result;
}

::testing::AssertionResult SameLines(const std::vector<std::string>& actual,
                                     const std::vector<std::string>& expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult result = ::testing::AssertionFailure()
                                        << actual.size() << " lines, " << expected.size()
                                        << " expected";
    std::vector<std::pair<std::size_t, bool>> lines;
    Unmatched(expected, actual, false, &lines);
    Unmatched(actual, expected, true, &lines);
    if (lines.empty()) {
        std::size_t at = static_cast<std::size_t>(
            std::mismatch(actual.begin(), actual.end(), expected.begin()).first - actual.begin());
        return result << ", the same lines in another order; from line " << at + 1 << ":"
                      << Shown('-', at + 1, expected[at]) << Shown('+', at + 1, actual[at]);
    }
    std::sort(lines.begin(), lines.end()); // by number, as a diff shows them
    result << "; the lines only one side has:";
    for (std::size_t i = 0; i < lines.size() && i < kShownLines; ++i)
        result << Shown(lines[i].second ? '+' : '-', lines[i].first + 1,
                        (lines[i].second ? actual : expected)[lines[i].first]);
    if (lines.size() > kShownLines)
        result << "\n  ... and " << lines.size() - kShownLines << " more";
    return result;
}

std::vector<FixedKey> FixedKeysOn(bool newShell) {
    std::vector<FixedKey> keys;
    for (const FixedKey& key : kFixedKeys)
        if (key.builds == OnBuilds::kEvery)
            keys.push_back(key);
    for (const FixedKey& key : kFixedKeys)
        if (newShell && key.builds == OnBuilds::kNewShell)
            keys.push_back(key);
    return keys;
}

std::string FullPath(const FixedKey& key) {
    return emu::Registry::FullPath(key.root, key.subKey);
}

std::string SnapshotPath(const std::string& windowsPath) {
    std::string out = windowsPath.substr(0, 1);
    for (char c : windowsPath.substr(2))
        out.push_back(c == '\\' ? '/' : c);
    return out;
}

void MachineTest::SetUp() {
    scratch_ = std::make_unique<ScratchFolder>();
    folder_ = scratch_->Path();
    ASSERT_FALSE(folder_.empty());
    PutFolder("C:\\WINDOWS\\SYSTEM");
    SetMachine(kBuild98);
    registry_ = "REGEDIT4\r\n\r\n";
    registryDirty_ = true;
    WriteRegistry(); // later writes only follow AddKey, so a machine written whole stays
}

void MachineTest::TearDown() {
    scratch_.reset();
}

void MachineTest::SetMachine(WinDword build, const std::string& windowsDir,
                             const std::string& systemDir) {
    char text[64];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(build));
    std::string ini = std::string("[Version]\r\nBuildNumber=") + text + "\r\n";
    if (!windowsDir.empty() || !systemDir.empty()) {
        ini += "[Directories]\r\n";
        if (!windowsDir.empty())
            ini += "Windows=" + windowsDir + "\r\n";
        if (!systemDir.empty())
            ini += "System=" + systemDir + "\r\n";
    }
    ASSERT_TRUE(emu::WriteHostFileAtomically(folder_ + "/machine.ini", ini));
}

void MachineTest::WriteRegistry() {
    if (registryDirty_) {
        ASSERT_TRUE(emu::WriteHostFileAtomically(folder_ + "/registry.reg", registry_));
    }
    registryDirty_ = false;
}

void MachineTest::AddKey(const std::string& fullPath, const std::vector<RegValue>& values) {
    registry_ += emu::RegBlock(fullPath, values);
    registryDirty_ = true;
}

void MachineTest::PutFile(const std::string& windowsPath, const std::string& bytes) {
    ASSERT_TRUE(emu::PutMachineFile(folder_, windowsPath, bytes)) << windowsPath;
}

void MachineTest::PutFolder(const std::string& windowsPath) {
    ASSERT_TRUE(emu::PutMachineFolder(folder_, windowsPath)) << windowsPath;
}

std::vector<std::string> MachineTest::Run(const FaultPlan& faults) {
    WriteRegistry();
    emu::Machine machine(folder_);
    std::string error;
    EXPECT_TRUE(machine.Load(&error)) << error;
    FaultingPlatform faulting(machine, faults);
    TracingPlatform trace(faulting);
    RunRemoval(trace);
    EXPECT_TRUE(machine.Save());
    lastCalls_ = faulting.Calls();
    lastInjected_ = faulting.Injected().size();
    return trace.Lines();
}

bool MachineTest::KeyExists(const std::string& fullPath) {
    emu::Registry registry;
    registry.Load(RegistryText());
    return registry.Exists(fullPath);
}

std::string MachineTest::RegistryText() {
    WriteRegistry();
    std::string text;
    emu::ReadHostFile(folder_ + "/registry.reg", &text);
    return text;
}

bool MachineTest::FileExists(const std::string& windowsPath) {
    emu::Machine machine(folder_);
    std::string error;
    std::string host;
    return machine.Load(&error) && machine.HostPath(windowsPath, &host) && fs::exists(host);
}

std::string MachineTest::ReadFile(const std::string& windowsPath) {
    emu::Machine machine(folder_);
    std::string error;
    std::string host;
    std::string bytes;
    if (machine.Load(&error) && machine.HostPath(windowsPath, &host))
        emu::ReadHostFile(host, &bytes);
    return bytes;
}

bool UnderKey(const std::string& path, const std::string& key) {
    return path.size() >= key.size() && emu::EqualNoCase(path.substr(0, key.size()), key) &&
           (path.size() == key.size() || path[key.size()] == '\\');
}

std::string KeyOfLine(const std::string& line) {
    std::string rest = line.substr(std::string("registry ").size());
    if (rest[0] == '[')
        return rest.substr(1, rest.size() - 2);
    return rest.substr(0, rest.rfind(" \"", rest.rfind("\"=hex(")));
}

std::vector<std::string> Calls(const std::vector<std::string>& trace, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : trace)
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

std::vector<std::string> Between(const std::vector<std::string>& trace, const std::string& after,
                                 const std::string& before) {
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& line : trace) {
        if (in && line.rfind(before, 0) == 0)
            break;
        if (in)
            out.push_back(line);
        if (!in && line.rfind(after, 0) == 0)
            in = true;
    }
    return out;
}

std::vector<std::string> WithoutResults(const std::vector<std::string>& trace) {
    std::vector<std::string> out;
    for (const std::string& line : trace)
        out.push_back(line.substr(0, line.find(" -> ")));
    return out;
}

} // namespace qvl::test
