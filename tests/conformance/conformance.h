// conformance.h: one table of platform calls, answered by the emulated machine and by real Win32.
//
// Each row names the machine before (keys, values, win.ini bytes, files), the calls made
// through Platform&, what each call gives and the machine after. The same rows run
// against the emulated machine on Linux and against the Win32 platform under Wine.
// Where Wine is known to answer otherwise than Windows 9x, the row carries Wine's
// answer beside the Windows 9x one and says why; Wine's answer counts only under Wine,
// in the manner of Wine's own broken().
#pragma once

#include "platform/platform.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qvl::conformance {

struct Value {
    std::string name; // "" for the default value
    WinDword type;
    std::string data; // raw bytes: a REG_SZ carries its zero only where the row gives it one
};

struct SeedKey {
    std::string path; // full path: "HKEY_LOCAL_MACHINE\Software\...", any root name
    std::vector<Value> values;
};

struct SeedFile {
    std::string path; // "C:\QvlConf\..."
    std::string bytes;
    bool readOnly = false;
};

// The machine before a row. Every key and file lives below a component "QvlConf", so
// that a real machine can be cleaned up after each row.
struct Before {
    std::vector<SeedKey> keys;
    std::optional<std::string> winIni; // the whole file, when the row needs one
    std::vector<SeedFile> files;
    std::vector<std::string> folders;

    Before& Key(std::string path, std::vector<Value> values = {});
    Before& WinIni(std::string bytes);
    Before& File(std::string path, std::string bytes, bool readOnly = false);
    Before& Folder(std::string path);
};

// What a call gives. Out is the call's output as text (see Op); absent means the row
// does not look at it, which it does only where Windows documents the output as
// undefined.
struct Expect {
    long result = 0;
    std::optional<std::string> out;
    std::optional<WinDword> size; // RegQueryValueExA: the size variable afterwards
    std::optional<WinDword> type; // RegQueryValueExA: the type variable afterwards
};
Expect Gives(long result);
Expect Gives(long result, std::string out);

enum class Op {
    RegOpen,      // a: subkey; result; the handle is closed again
    RegQuery,     // a: subkey, b: value name, size: buffer; result; out: the whole buffer
    RegDelete,    // a: subkey; result
    RegFlush,     // result
    GetProfile,   // a: section, b: key, c: fallback, size: buffer; out: up to the zero
    WriteProfile, // a: section, b: key or null, c: value or null; result
    WindowsDir,   // size: buffer; out: up to the zero, or the whole buffer when none
    SystemDir,    // as WindowsDir
    Find,         // a: pattern; result: matches; out: names in name order, '|' between
    RemoveFile,   // a: path; result (DeleteFileA)
    RemoveFolder, // a: path; result (RemoveDirectoryA)
    Append,       // a: path, lines; result: fopen succeeded; out: each PrintLine result
    ReadBinary,   // a: path, size: buffer; result: fopen "rb" succeeded; out: what each fread
                  // gave, "|" after each, then "EOF" when feof is set, "error" when not
    Scan,         // a: path, size: buffer; out: each word, "*" after it when feof is
                  // set, "+N" for a word of N bytes cut to the buffer, then "EOF"
    DeleteOpen,   // a: path; result: DeleteFileA while it stands open "r"; out: the last error
    Reopen,       // a: path, size: times opened "r" and closed in turn; result: how many opened
};

struct Call {
    Op op;
    RegKey root = 0;
    std::optional<std::string> a, b, c; // absent: a null pointer
    unsigned size = 0;
    std::vector<std::string> lines;
    Expect expect;              // what Windows 9x gives
    std::optional<Expect> wine; // what Wine gives instead

    Call& Is(Expect e);
    Call& OnWine(Expect e);
    std::string Describe() const;
};

Call RegOpen(RegKey root, std::string subKey);
Call RegQuery(RegKey root, std::string subKey, std::optional<std::string> value, unsigned size);
Call RegDelete(RegKey root, std::string subKey);
Call RegFlush(RegKey root);
Call GetProfile(std::optional<std::string> section, std::optional<std::string> key,
                std::optional<std::string> fallback, unsigned size);
Call WriteProfile(std::string section, std::optional<std::string> key,
                  std::optional<std::string> value);
Call WindowsDir(unsigned size);
Call SystemDir(unsigned size);
Call Find(std::string pattern);
Call RemoveFile(std::string path);
Call RemoveFolder(std::string path);
Call Append(std::string path, std::vector<std::string> lines);
Call ReadBinary(std::string path, unsigned size);
Call Scan(std::string path, unsigned size);
Call DeleteOpen(std::string path);
Call Reopen(std::string path, unsigned times);

// The machine after a row.
struct After {
    std::vector<std::string> keys;   // full paths that exist
    std::vector<std::string> noKeys; // full paths that do not
    std::optional<std::string> winIni;
    std::vector<std::pair<std::string, std::optional<std::string>>> files; // absent: no file

    After& Keys(std::vector<std::string> paths);
    After& NoKeys(std::vector<std::string> paths);
    After& WinIni(std::string bytes);
    After& File(std::string path, std::string bytes);
    After& NoFile(std::string path);
};

struct Row {
    Row(const char* name_, Before before_, std::vector<Call> calls_, After after_,
        std::optional<After> afterOnWine_ = std::nullopt, const char* wineDiffers_ = nullptr)
        : name(name_), before(std::move(before_)), calls(std::move(calls_)),
          after(std::move(after_)), afterOnWine(std::move(afterOnWine_)),
          wineDiffers(wineDiffers_) {}
    const char* name;
    Before before;
    std::vector<Call> calls;
    After after;
    std::optional<After> afterOnWine;
    const char* wineDiffers = nullptr; // why Wine answers otherwise, where it does
};

const std::vector<Row>& Rows();

// One machine to run rows on: the emulated one, or the real one the program runs on.
class Side {
  public:
    virtual ~Side() = default;
    // Makes the machine of a row; false, with a reason, when it cannot be made.
    virtual bool Seed(const Before& before, std::string* error) = 0;
    virtual Platform& Machine() = 0;
    // Makes everything the calls did visible to the readers below.
    virtual void Settle() = 0;
    virtual bool KeyExists(const std::string& fullPath) = 0;
    virtual std::optional<std::string> FileBytes(const std::string& path) = 0;
    virtual std::string WinIni() = 0;
    // Takes the row's keys and files off again.
    virtual void Clean() = 0;
    virtual bool UnderWine() const = 0;
    virtual WinLong LastError() = 0; // GetLastError
};

std::unique_ptr<Side> MakeSide();

} // namespace qvl::conformance
