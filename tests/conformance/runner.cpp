// runner.cpp: runs each row of the conformance table on one machine and checks it.
#include "conformance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace qvl::conformance {

Before& Before::Key(std::string path, std::vector<Value> values) {
    keys.push_back(SeedKey{std::move(path), std::move(values)});
    return *this;
}
Before& Before::WinIni(std::string bytes) {
    winIni = std::move(bytes);
    return *this;
}
Before& Before::File(std::string path, std::string bytes, bool readOnly) {
    files.push_back(SeedFile{std::move(path), std::move(bytes), readOnly});
    return *this;
}
Before& Before::Folder(std::string path) {
    folders.push_back(std::move(path));
    return *this;
}

After& After::Keys(std::vector<std::string> paths) {
    keys = std::move(paths);
    return *this;
}
After& After::NoKeys(std::vector<std::string> paths) {
    noKeys = std::move(paths);
    return *this;
}
After& After::WinIni(std::string bytes) {
    winIni = std::move(bytes);
    return *this;
}
After& After::File(std::string path, std::string bytes) {
    files.emplace_back(std::move(path), std::move(bytes));
    return *this;
}
After& After::NoFile(std::string path) {
    files.emplace_back(std::move(path), std::nullopt);
    return *this;
}

Expect Gives(long result) {
    Expect e;
    e.result = result;
    return e;
}
Expect Gives(long result, std::string out) {
    Expect e = Gives(result);
    e.out = std::move(out);
    return e;
}

Call& Call::Is(Expect e) {
    expect = std::move(e);
    return *this;
}
Call& Call::OnWine(Expect e) {
    wine = std::move(e);
    return *this;
}

namespace {

Call Make(Op op, RegKey root, std::optional<std::string> a, std::optional<std::string> b = {},
          std::optional<std::string> c = {}, unsigned size = 0) {
    Call call;
    call.op = op;
    call.root = root;
    call.a = std::move(a);
    call.b = std::move(b);
    call.c = std::move(c);
    call.size = size;
    return call;
}

const char* Ptr(const std::optional<std::string>& s) {
    return s ? s->c_str() : nullptr;
}

// Control and high bytes as \xNN, so that failures show every byte.
std::string Show(const std::string& s) {
    std::string out;
    char hex[8];
    for (unsigned char c : s) {
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string ShowOpt(const std::optional<std::string>& s) {
    return s ? "\"" + Show(*s) + "\"" : "null";
}

// The buffer up to its first zero, the zero included, or the whole buffer when the call
// wrote none.
std::string UpToZero(const std::vector<char>& buffer, unsigned size) {
    const char* begin = buffer.data();
    const char* end = std::find(begin, begin + size, '\0');
    return std::string(begin, end == begin + size ? end : end + 1);
}

constexpr char kFill = '?'; // what a buffer holds before a call

struct Outcome {
    long result = 0;
    std::string out;
    WinDword size = 0;
    WinDword type = 0;
};

Outcome Perform(Side& side, const Call& call) {
    Platform& p = side.Machine();
    Outcome o;
    // One guard byte past the buffer: no call may write beyond the size it was given.
    std::vector<char> buffer(call.size + 1, kFill);
    switch (call.op) {
    case Op::RegOpen: {
        RegKey key = 0;
        o.result = p.RegOpenKeyExA(call.root, Ptr(call.a), 0, kKeyQueryValue, &key);
        if (o.result == kErrorSuccess)
            p.RegCloseKey(key);
        break;
    }
    case Op::RegQuery: {
        RegKey key = 0;
        o.result = p.RegOpenKeyExA(call.root, Ptr(call.a), 0, kKeyQueryValue, &key);
        if (o.result != kErrorSuccess) {
            o.out = "(open failed)";
            break;
        }
        o.size = call.size;
        o.type = 0xEEEE;
        o.result = p.RegQueryValueExA(key, Ptr(call.b), nullptr, &o.type,
                                      reinterpret_cast<unsigned char*>(buffer.data()), &o.size);
        p.RegCloseKey(key);
        o.out.assign(buffer.data(), call.size);
        break;
    }
    case Op::RegDelete:
        o.result = p.RegDeleteKeyA(call.root, Ptr(call.a));
        break;
    case Op::RegFlush:
        o.result = p.RegFlushKey(call.root);
        break;
    case Op::GetProfile:
        o.result = static_cast<long>(
            p.GetProfileStringA(Ptr(call.a), Ptr(call.b), Ptr(call.c), buffer.data(), call.size));
        o.out = UpToZero(buffer, call.size);
        break;
    case Op::WriteProfile:
        o.result = p.WriteProfileStringA(Ptr(call.a), Ptr(call.b), Ptr(call.c));
        break;
    case Op::WindowsDir:
    case Op::SystemDir:
        o.result = static_cast<long>(call.op == Op::WindowsDir
                                         ? p.GetWindowsDirectoryA(buffer.data(), call.size)
                                         : p.GetSystemDirectoryA(buffer.data(), call.size));
        o.out = UpToZero(buffer, call.size);
        break;
    case Op::Find: {
        FindData data;
        std::vector<std::string> names;
        FindHandle h = p.FindFirstFileA(Ptr(call.a), &data);
        if (h != kInvalidFindHandle) {
            do
                names.push_back(data.name);
            while (names.size() < 100 && p.FindNextFileA(h, &data));
            p.FindClose(h);
        }
        // FAT lists a folder in the order its entries were made, Wine in the order of
        // the host's file system: only the set of names is the same everywhere.
        std::sort(names.begin(), names.end());
        o.result = static_cast<long>(names.size());
        for (const std::string& name : names)
            o.out += (o.out.empty() ? "" : "|") + name;
        break;
    }
    case Op::RemoveFile:
        o.result = p.DeleteFileA(Ptr(call.a));
        break;
    case Op::RemoveFolder:
        o.result = p.RemoveDirectoryA(Ptr(call.a));
        break;
    case Op::Append: {
        TextStream* f = p.OpenText(Ptr(call.a), "a+");
        o.result = f != nullptr;
        if (f == nullptr)
            break;
        for (const std::string& line : call.lines)
            o.out += (o.out.empty() ? "" : ",") + std::to_string(p.PrintLine(f, line.c_str()));
        p.CloseText(f);
        break;
    }
    case Op::ReadBinary: {
        TextStream* f = p.OpenText(Ptr(call.a), "rb");
        o.result = f != nullptr;
        if (f == nullptr)
            break;
        for (int guard = 0; guard < 100; ++guard) {
            std::fill(buffer.begin(), buffer.end(), kFill);
            unsigned got = p.ReadBytes(f, buffer.data(), call.size);
            o.out += std::string(buffer.data(), got < call.size ? got : call.size) + "|";
            if (got < call.size)
                break;
        }
        o.out += p.AtEndOfFile(f) ? "EOF" : "error";
        p.CloseText(f);
        break;
    }
    case Op::Scan: {
        TextStream* f = p.OpenText(Ptr(call.a), "r");
        o.result = f != nullptr;
        if (f == nullptr)
            break;
        for (int guard = 0; guard < 100; ++guard) {
            unsigned length = 0;
            std::fill(buffer.begin(), buffer.end(), kFill);
            int r = p.ScanWord(f, buffer.data(), call.size, &length);
            std::string mark = p.AtEndOfFile(f) ? "*" : "";
            if (!o.out.empty())
                o.out += "|";
            if (r != 1) {
                o.out += "EOF" + mark;
                break;
            }
            std::string word = UpToZero(buffer, call.size);
            word.pop_back(); // the zero
            if (length != word.size())
                word += "+" + std::to_string(length);
            o.out += word + mark;
        }
        p.CloseText(f);
        break;
    }
    case Op::DeleteOpen: {
        TextStream* f = p.OpenText(Ptr(call.a), "r");
        o.result = f != nullptr ? p.DeleteFileA(Ptr(call.a)) : -1;
        o.out = o.result == 0 ? std::to_string(side.LastError()) : "";
        p.CloseText(f);
        break;
    }
    case Op::Reopen: // fclose fails for a stream that did not open
        for (unsigned i = 0; i < call.size; ++i)
            o.result += p.CloseText(p.OpenText(Ptr(call.a), "r")) == 0;
        break;
    }
    EXPECT_EQ(buffer[call.size], kFill) << "wrote past the buffer";
    return o;
}

class Table : public ::testing::TestWithParam<std::size_t> {
  protected:
    static void SetUpTestSuite() { side_ = MakeSide().release(); }
    static void TearDownTestSuite() {
        delete side_;
        side_ = nullptr;
    }
    static Side* side_;
};
Side* Table::side_ = nullptr;

TEST_P(Table, Row) {
    const Row& row = Rows()[GetParam()];
    Side& side = *side_;
    bool wine = side.UnderWine();
    if (wine && row.wineDiffers != nullptr)
        RecordProperty("wine_differs", row.wineDiffers);
    std::string error;
    ASSERT_TRUE(side.Seed(row.before, &error)) << error;
    for (const Call& call : row.calls) {
        const Expect& e = wine && call.wine ? *call.wine : call.expect;
        SCOPED_TRACE(call.Describe() + (wine && call.wine ? " (Wine's answer)" : ""));
        Outcome o = Perform(side, call);
        EXPECT_EQ(o.result, e.result);
        if (e.out) {
            EXPECT_EQ(Show(o.out), Show(*e.out));
        }
        if (e.size) {
            EXPECT_EQ(o.size, *e.size);
        }
        if (e.type) {
            EXPECT_EQ(o.type, *e.type);
        }
    }
    side.Settle();
    const After& after = wine && row.afterOnWine ? *row.afterOnWine : row.after;
    for (const std::string& key : after.keys)
        EXPECT_TRUE(side.KeyExists(key)) << key;
    for (const std::string& key : after.noKeys)
        EXPECT_FALSE(side.KeyExists(key)) << key;
    if (after.winIni) {
        EXPECT_EQ(Show(side.WinIni()), Show(*after.winIni)) << "win.ini";
    }
    for (const auto& file : after.files) {
        std::optional<std::string> bytes = side.FileBytes(file.first);
        EXPECT_EQ(bytes.has_value(), file.second.has_value()) << file.first;
        if (bytes && file.second) {
            EXPECT_EQ(Show(*bytes), Show(*file.second)) << file.first;
        }
    }
    side.Clean();
}

INSTANTIATE_TEST_SUITE_P(Conformance, Table, ::testing::Range<std::size_t>(0, Rows().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             return std::string(Rows()[param.param].name);
                         });

} // namespace

std::string Call::Describe() const {
    static const char* const names[] = {
        "RegOpenKeyExA",     "RegQueryValueExA",    "RegDeleteKeyA",        "RegFlushKey",
        "GetProfileStringA", "WriteProfileStringA", "GetWindowsDirectoryA", "GetSystemDirectoryA",
        "FindFirstFileA",    "DeleteFileA",         "RemoveDirectoryA",     "fopen a+/fprintf",
        "fopen rb/fread",    "fopen r/fscanf",      "fopen r/DeleteFileA",  "fopen r/fclose"};
    std::string text = names[static_cast<int>(op)];
    text += "(";
    if (const char* rootName = RootKeyName(root))
        text += std::string(rootName) + ", ";
    text += ShowOpt(a);
    if (b || c)
        text += ", " + ShowOpt(b);
    if (c || op == Op::WriteProfile)
        text += ", " + ShowOpt(c);
    if (size != 0)
        text += ", " + std::to_string(size);
    return text + ")";
}

Call RegOpen(RegKey root, std::string subKey) {
    return Make(Op::RegOpen, root, std::move(subKey));
}
Call RegQuery(RegKey root, std::string subKey, std::optional<std::string> value, unsigned size) {
    return Make(Op::RegQuery, root, std::move(subKey), std::move(value), {}, size);
}
Call RegDelete(RegKey root, std::string subKey) {
    return Make(Op::RegDelete, root, std::move(subKey));
}
Call RegFlush(RegKey root) {
    return Make(Op::RegFlush, root, {});
}
Call GetProfile(std::optional<std::string> section, std::optional<std::string> key,
                std::optional<std::string> fallback, unsigned size) {
    return Make(Op::GetProfile, 0, std::move(section), std::move(key), std::move(fallback), size);
}
Call WriteProfile(std::string section, std::optional<std::string> key,
                  std::optional<std::string> value) {
    return Make(Op::WriteProfile, 0, std::move(section), std::move(key), std::move(value));
}
Call WindowsDir(unsigned size) {
    return Make(Op::WindowsDir, 0, {}, {}, {}, size);
}
Call SystemDir(unsigned size) {
    return Make(Op::SystemDir, 0, {}, {}, {}, size);
}
Call Find(std::string pattern) {
    return Make(Op::Find, 0, std::move(pattern));
}
Call RemoveFile(std::string path) {
    return Make(Op::RemoveFile, 0, std::move(path));
}
Call RemoveFolder(std::string path) {
    return Make(Op::RemoveFolder, 0, std::move(path));
}
Call Append(std::string path, std::vector<std::string> lines) {
    Call call = Make(Op::Append, 0, std::move(path), {}, {}, 0);
    call.lines = std::move(lines);
    return call;
}
Call ReadBinary(std::string path, unsigned size) {
    return Make(Op::ReadBinary, 0, std::move(path), {}, {}, size);
}
Call Scan(std::string path, unsigned size) {
    return Make(Op::Scan, 0, std::move(path), {}, {}, size);
}
Call DeleteOpen(std::string path) {
    return Make(Op::DeleteOpen, 0, std::move(path));
}
Call Reopen(std::string path, unsigned times) {
    return Make(Op::Reopen, 0, std::move(path), {}, {}, times);
}

} // namespace qvl::conformance
