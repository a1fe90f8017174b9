// qvl7unin.cpp: the Linux program, which runs the uninstaller on an emulated machine.
#include "demo/demo.h"
#include "dialogs/program.h"
#include "linux/frontends.h"
#include "platform/emu/machine.h"
#include "platform/emu/machine_folder.h"
#include "platform/trace.h"
#include "removal/removal_sequence.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace qvl;

namespace {

const char kUsage[] =
    "usage: qvl7unin [--machine DIR] [--answers LIST] [--trace FILE] [--dialogs FILE]\n"
    "       qvl7unin --make-demo DIR [--build 95|98|NUMBER]\n"
    "Runs the Ovrik Velostrix R40 uninstaller on an emulated Windows 9x machine folder;\n"
    "without --machine, on a fresh demo machine (Windows 98, driver installed).\n"
    "The dialogs appear on the terminal; --answers gives the choices in advance:\n"
    "  ok|cancel|enter|escape|close   the confirmation dialog\n"
    "  cancel@N|escape@N|close@N      the progress dialog, after N ticks\n"
    "  yes|no                         the restart prompt\n"
    "e.g. --answers ok,no\n"
    "--trace writes the removal's calls, --dialogs the user32 calls of the dialogs.\n";

constexpr int kExitUsage = 1;

struct Options {
    std::string machine;
    std::string answers;
    bool haveAnswers = false;
    std::string trace;
    std::string dialogs;
    std::string makeDemo;
    WinDword build = emu::kWindows98Build;
};

// Passes every call on, and notes in the record of the dialogs' user32 calls where the
// removal started: the dialogs call RunRemoval() with no arguments, and it reaches the
// machine only through here.
class RemovalMark final : public Platform {
  public:
    explicit RemovalMark(Platform& inner) : inner_(inner) {}
#define QVL_CALL(Ret, Method, Name, Params, Args, ...)                                             \
    Ret Method Params override {                                                                   \
        if (!marked_)                                                                              \
            standin::CallLog().push_back("RunRemoval()");                                          \
        marked_ = true;                                                                            \
        return inner_.Method Args;                                                                 \
    }
#include "platform/calls.h"

  private:
    Platform& inner_;
    bool marked_ = false;
};

void WriteText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f == nullptr || std::fclose(f) != 0 || !ok)
        std::fprintf(stderr, "qvl7unin: cannot write %s\n", path.c_str());
}

bool ParseBuild(const std::string& text, WinDword* build) {
    if (text == "95")
        *build = emu::kWindows95Build;
    else if (text == "98")
        *build = emu::kWindows98Build;
    else {
        char* end = nullptr;
        unsigned long v = std::strtoul(text.c_str(), &end, 0);
        if (text.empty() || *end != 0)
            return false;
        *build = static_cast<WinDword>(v);
    }
    return true;
}

bool ParseArguments(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--machine" && hasValue)
            o->machine = argv[++i];
        else if (arg == "--answers" && hasValue) {
            o->answers = argv[++i];
            o->haveAnswers = true;
        } else if (arg == "--trace" && hasValue)
            o->trace = argv[++i];
        else if (arg == "--dialogs" && hasValue)
            o->dialogs = argv[++i];
        else if (arg == "--make-demo" && hasValue)
            o->makeDemo = argv[++i];
        else if (arg == "--build" && hasValue) {
            if (!ParseBuild(argv[++i], &o->build))
                return false;
        } else
            return false;
    }
    return true;
}

// "file C/WINDOWS/X 12 bytes ..." becomes "C:\WINDOWS\X"; other lines lose their kind.
std::string Shown(const std::string& line, std::string* kind) {
    std::size_t space = line.find(' ');
    *kind = line.substr(0, space);
    std::string rest = line.substr(space + 1);
    if (*kind == "file" || *kind == "folder") {
        if (*kind == "file")
            rest = rest.substr(0, rest.rfind(' ', rest.rfind(" bytes") - 1));
        std::string path = rest.substr(0, 1) + ":";
        for (char c : rest.substr(1))
            path.push_back(c == '/' ? '\\' : c);
        if (path.size() == 2)
            path += "\\";
        return path;
    }
    return rest;
}

void PrintGroup(const char* title, const std::vector<std::string>& lines,
                const std::vector<std::string>& skipKinds = {}) {
    std::printf("%s\n", title);
    int shown = 0;
    for (const std::string& line : lines) {
        std::string kind;
        std::string text = Shown(line, &kind);
        bool skip = false;
        for (const std::string& k : skipKinds)
            skip = skip || k == kind;
        // A key's values go with the key; only the keys are listed.
        if (skip || (kind == "registry" && text[0] != '['))
            continue;
        std::printf("  %-8s %s\n", kind.c_str(), text.c_str());
        ++shown;
    }
    if (shown == 0)
        std::printf("  (nothing)\n");
}

void PrintAccount(const std::vector<std::string>& before, const std::vector<std::string>& after,
                  const std::string& machineFolder) {
    std::vector<std::string> removed = emu::Missing(before, after);
    std::vector<std::string> added = emu::Missing(after, before);
    std::vector<std::string> stayed = emu::Missing(before, removed);
    std::vector<std::string> changedFiles;
    // A file whose bytes changed shows up on both sides; list it once, as changed.
    std::vector<std::string> removedOnly;
    for (const std::string& line : removed) {
        std::string kind;
        std::string path = Shown(line, &kind);
        bool rewritten = false;
        for (const std::string& a : added) {
            std::string k;
            if (kind == "file" && Shown(a, &k) == path)
                rewritten = true;
        }
        if (!rewritten)
            removedOnly.push_back(line);
    }
    PrintGroup("Removed:", removedOnly);
    PrintGroup("Written:", added, {"win.ini"});

    int keys = 0, iniLines = 0, files = 0;
    for (const std::string& line : stayed) {
        keys += line.compare(0, 10, "registry [") == 0;
        iniLines += line.compare(0, 8, "win.ini ") == 0;
        files += line.compare(0, 5, "file ") == 0;
    }
    std::printf("Stayed: %d registry keys, %d win.ini lines, %d files", keys, iniLines, files);
    std::printf(" (everything that is not the driver's)\n");

    std::string host;
    emu::Machine machine(machineFolder);
    std::string error;
    std::string text;
    if (machine.Load(&error) && machine.HostPath("C:\\WINDOWS\\wininit.ini", &host) &&
        emu::ReadHostFile(host, &text)) {
        std::printf("wininit.ini now reads:\n");
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            std::string line = text.substr(start, end == std::string::npos ? end : end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            // Other control bytes (a form feed, a lone CR, a NUL) shown, not sent.
            std::printf("  ");
            for (char c : line) {
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    std::printf("\\x%02X", static_cast<unsigned char>(c));
                else
                    std::putchar(c);
            }
            std::printf("\n");
            start = end == std::string::npos ? text.size() : end + 1;
        }
    }
}

int Run(const Options& o) {
    std::unique_ptr<standin::FrontEnd> frontEnd;
    std::string bad;
    if (o.haveAnswers) {
        if (!standin::ScriptedFrontEnd::Valid(o.answers, &bad)) {
            std::fprintf(stderr, "qvl7unin: unknown answer \"%s\"\n%s", bad.c_str(), kUsage);
            return kExitUsage;
        }
        frontEnd = std::make_unique<standin::ScriptedFrontEnd>(o.answers, stdout);
    } else if (standin::TerminalFrontEnd::Available()) {
        frontEnd = std::make_unique<standin::TerminalFrontEnd>();
    } else {
        std::fprintf(stderr,
                     "qvl7unin: no terminal to show the dialogs on, and no --answers; "
                     "nothing was changed\n%s",
                     kUsage);
        return kExitUsage;
    }

    std::string folder = o.machine;
    bool demo = folder.empty();
    if (demo) {
        folder = emu::MakeTempFolder("qvl7unin-demo-");
        if (folder.empty() || !emu::WriteDemoMachine(folder, o.build)) {
            std::fprintf(stderr, "qvl7unin: cannot create the demo machine\n");
            return kExitUsage;
        }
        std::printf("Demo machine: Windows %s with the Ovrik Velostrix R40 driver installed "
                    "beside an HP LaserJet 4 (%s)\n",
                    IsNewShellBuild(o.build) ? "98" : "95", folder.c_str());
    }
    emu::Machine machine(folder);
    std::string error;
    if (!machine.Load(&error)) {
        std::fprintf(stderr, "qvl7unin: %s\n", error.c_str());
        return kExitUsage;
    }
    std::vector<std::string> before = emu::SnapshotMachine(folder);

    TracingPlatform tracer(machine);
    RemovalMark mark(tracer);
    emu::SetDefaultPlatform(&mark);
    standin::SetFrontEnd(frontEnd.get());
    int code = RunProgram(nullptr);
    standin::SetFrontEnd(nullptr);
    machine.Save();
    emu::SetDefaultPlatform(nullptr);

    if (!o.trace.empty())
        WriteText(o.trace, tracer.Text());
    if (!o.dialogs.empty()) {
        std::string dialogs;
        for (const std::string& line : standin::CallLog())
            dialogs += line + "\n";
        WriteText(o.dialogs, dialogs);
    }
    if (g_bRemovalDone) {
        std::printf("\n");
        PrintAccount(before, emu::SnapshotMachine(folder), folder);
    } else {
        std::printf("\nNothing was removed: the machine is as it was.\n");
    }
    if (standin::RebootRequested())
        std::printf("Windows would restart now (ExitWindowsEx with EWX_REBOOT).\n");
    if (demo) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return code;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!options.makeDemo.empty()) {
        if (!emu::WriteDemoMachine(options.makeDemo, options.build)) {
            std::fprintf(stderr, "qvl7unin: cannot write a machine to %s\n",
                         options.makeDemo.c_str());
            return kExitUsage;
        }
        return 0;
    }
    return Run(options);
}
