// registry.cpp: the emulated Windows 9x registry, kept as a REGEDIT4 file.
#include "platform/emu/registry.h"

#include <cstdio>

namespace qvl::emu {

namespace {

const char kMachineRoot[] = "HKEY_LOCAL_MACHINE";
const char kUsersRoot[] = "HKEY_USERS";

// Windows 9x keeps three of the five roots as views of the other two.
struct RootAlias {
    const char* name;
    const char* target;
};
const RootAlias kAliases[] = {
    {"HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"},
    {"HKEY_CURRENT_USER", "HKEY_USERS\\.DEFAULT"},
    {"HKEY_CURRENT_CONFIG", "HKEY_LOCAL_MACHINE\\Config\\0001"},
};

char Fold(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        c = Fold(c);
    return out;
}

std::string StripLineEnd(const std::string& line) {
    std::string s = line;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The key path inside a "[...]" header line, or false when the line is no header.
bool HeaderPath(const std::string& line, std::string* path) {
    std::string s = StripLineEnd(line);
    if (s.empty() || s[0] != '[')
        return false;
    std::size_t close = s.rfind(']');
    if (close == std::string::npos || close == 0)
        return false;
    *path = s.substr(1, close - 1);
    return true;
}

std::string ResolveAliases(const std::string& path) {
    for (const RootAlias& alias : kAliases) {
        std::string name = alias.name;
        if (path.size() >= name.size() && EqualNoCase(path.substr(0, name.size()), name) &&
            (path.size() == name.size() || path[name.size()] == '\\'))
            return alias.target + path.substr(name.size());
    }
    return path;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Fold(c);
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted text with REGEDIT4's two escapes, \\ and \". pos starts at the opening quote
// and ends after the closing one.
bool ParseQuoted(const std::string& s, std::size_t* pos, std::string* out) {
    if (*pos >= s.size() || s[*pos] != '"')
        return false;
    out->clear();
    for (std::size_t i = *pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out->push_back(s[++i]);
        } else if (s[i] == '"') {
            *pos = i + 1;
            return true;
        } else {
            out->push_back(s[i]);
        }
    }
    return false;
}

bool ParseHexBytes(const std::string& s, std::string* out) {
    out->clear();
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == ' ' || c == '\t' || c == ',') {
            ++i;
            continue;
        }
        if (i + 1 >= s.size())
            return false;
        int hi = HexDigit(s[i]);
        int lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out->push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

bool ParseValue(const std::string& line, RegValue* value) {
    std::size_t pos = 0;
    if (line.empty())
        return false;
    if (line[0] == '@') {
        value->name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, &pos, &value->name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=')
        return false;
    std::string data = line.substr(pos + 1);
    while (!data.empty() && (data.back() == ' ' || data.back() == '\t'))
        data.pop_back();
    if (!data.empty() && data[0] == '"') {
        std::size_t at = 0;
        std::string text;
        if (!ParseQuoted(data, &at, &text) || at != data.size())
            return false;
        value->type = 1; // REG_SZ
        value->data = text + std::string(1, '\0');
        return true;
    }
    if (data.compare(0, 6, "dword:") == 0) {
        if (data.size() != 14)
            return false;
        WinDword v = 0;
        for (std::size_t i = 6; i < 14; ++i) {
            int d = HexDigit(data[i]);
            if (d < 0)
                return false;
            v = v * 16 + static_cast<WinDword>(d);
        }
        value->type = 4; // REG_DWORD
        value->data.clear();
        for (int i = 0; i < 4; ++i)
            value->data.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return true;
    }
    if (data.compare(0, 4, "hex:") == 0) {
        value->type = 3; // REG_BINARY
        return ParseHexBytes(data.substr(4), &value->data);
    }
    if (data.compare(0, 4, "hex(") == 0) {
        std::size_t close = data.find("):");
        if (close == std::string::npos || close == 4)
            return false;
        WinDword type = 0;
        for (std::size_t i = 4; i < close; ++i) {
            int d = HexDigit(data[i]);
            if (d < 0)
                return false;
            type = type * 16 + static_cast<WinDword>(d);
        }
        value->type = type;
        return ParseHexBytes(data.substr(close + 2), &value->data);
    }
    return false;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

std::string HexList(const std::string& bytes) {
    std::string out;
    char cell[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(cell, sizeof cell, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i > 0)
            out += ",";
        out += cell;
    }
    return out;
}

} // namespace

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::vector<std::string> SplitPath(const std::string& path, bool* valid) {
    std::vector<std::string> parts;
    *valid = true;
    if (path.empty())
        return parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty())
            *valid = false;
        parts.push_back(part);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

std::string RootName(RegKey root) {
    const char* name = RootKeyName(root);
    return name ? name : "";
}

std::string ResolveRootAlias(const std::string& fullPath) {
    return ResolveAliases(fullPath);
}

Registry::Registry() {
    machine_.name = kMachineRoot;
    users_.name = kUsersRoot;
}

std::string Registry::FullPath(RegKey root, const char* subKey) {
    std::string rootName = RootName(root);
    if (rootName.empty())
        return "";
    std::string path = ResolveAliases(rootName);
    if (subKey == nullptr || *subKey == 0)
        return path;
    bool valid = false;
    SplitPath(subKey, &valid);
    return valid ? path + "\\" + subKey : "";
}

Registry::Key* Registry::Find(const std::string& fullPath) const {
    bool valid = false;
    std::vector<std::string> parts = SplitPath(fullPath, &valid);
    if (!valid || parts.empty())
        return nullptr;
    const Key* key = EqualNoCase(parts[0], kMachineRoot) ? &machine_
                     : EqualNoCase(parts[0], kUsersRoot) ? &users_
                                                         : nullptr;
    for (std::size_t i = 1; key != nullptr && i < parts.size(); ++i)
        key = Child(key, parts[i]);
    return const_cast<Key*>(key);
}

Registry::Key* Registry::Create(const std::string& fullPath) {
    bool valid = false;
    std::vector<std::string> parts = SplitPath(fullPath, &valid);
    if (!valid || parts.empty())
        return nullptr;
    Key* key = EqualNoCase(parts[0], kMachineRoot) ? &machine_
               : EqualNoCase(parts[0], kUsersRoot) ? &users_
                                                   : nullptr;
    for (std::size_t i = 1; key != nullptr && i < parts.size(); ++i) {
        Key* next = Child(key, parts[i]);
        if (next == nullptr) {
            key->children.push_back(std::make_unique<Key>());
            next = key->children.back().get();
            next->name = parts[i];
            next->parent = key;
            key->index[Upper(parts[i])] = next;
        }
        key = next;
    }
    return key;
}

Registry::Key* Registry::Child(const Key* key, const std::string& name) {
    auto it = key->index.find(Upper(name));
    return it == key->index.end() ? nullptr : it->second;
}

std::string Registry::PathOf(const Key* key) {
    std::string path = key->name;
    for (const Key* k = key->parent; k != nullptr; k = k->parent)
        path = k->name + "\\" + path;
    return path;
}

void Registry::ParseBlockValues(Key* key, const std::string& body) {
    std::vector<std::string> lines = SplitLines(body);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = StripLineEnd(lines[i]);
        // hex data may go on over lines that end in a backslash
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos &&
               i + 1 < lines.size()) {
            line.pop_back();
            line += StripLineEnd(lines[++i]);
        }
        RegValue value;
        if (!ParseValue(line, &value))
            continue;
        bool replaced = false;
        for (RegValue& existing : key->values) {
            if (EqualNoCase(existing.name, value.name)) {
                existing = value;
                replaced = true;
            }
        }
        if (!replaced)
            key->values.push_back(value);
    }
}

void Registry::Load(const std::string& text) {
    preamble_.clear();
    blocks_.clear();
    for (Key* root : {&machine_, &users_}) {
        root->children.clear();
        root->index.clear();
        root->values.clear();
        root->blocks.clear();
    }
    changed_ = false;

    std::vector<std::string> lines = SplitLines(text);
    std::size_t i = 0;
    std::string path;
    while (i < lines.size() && !HeaderPath(lines[i], &path))
        preamble_ += lines[i++];
    while (i < lines.size()) {
        HeaderPath(lines[i], &path);
        std::string block = lines[i++];
        std::string body;
        std::string next;
        while (i < lines.size() && !HeaderPath(lines[i], &next))
            body += lines[i++];
        blocks_.push_back(Block{block + body, false});
        std::string full = ResolveAliases(path);
        Key* key = Create(full);
        if (key != nullptr) {
            // A key is spelled as its own first header spells it, even where a subkey's
            // header named it before: that spelling stays as long as the key does.
            if (key->blocks.empty() && key->parent != nullptr)
                key->name = full.substr(full.rfind('\\') + 1);
            key->blocks.push_back(std::prev(blocks_.end()));
            ParseBlockValues(key, body);
        }
    }
}

std::string Registry::Save() const {
    std::string text = preamble_;
    for (const Block& block : blocks_)
        if (!block.deleted)
            text += block.text;
    return text;
}

bool Registry::Exists(const std::string& fullPath) const {
    return Find(fullPath) != nullptr;
}

const RegValue* Registry::FindValue(const std::string& fullPath, const char* valueName) const {
    const Key* key = Find(fullPath);
    if (key == nullptr)
        return nullptr;
    std::string name = valueName == nullptr ? "" : valueName;
    for (const RegValue& value : key->values)
        if (EqualNoCase(value.name, name))
            return &value;
    return nullptr;
}

bool Registry::DeleteTree(const std::string& fullPath) {
    Key* key = Find(fullPath);
    if (key == nullptr || key->parent == nullptr)
        return false;

    std::vector<Key*> subtree{key};
    for (std::size_t i = 0; i < subtree.size(); ++i)
        for (const auto& child : subtree[i]->children)
            subtree.push_back(child.get());
    std::list<Block>::iterator first = blocks_.end();
    for (Key* k : subtree) {
        for (auto block : k->blocks) {
            block->deleted = true;
            if (first == blocks_.end() ||
                std::distance(blocks_.begin(), block) < std::distance(blocks_.begin(), first))
                first = block;
        }
    }

    // Keys above that only existed through headers below them (a file written by hand;
    // regedit gives every key its own) still exist after the deletion, under the same
    // spelling. Each gets a header of its own where the deleted ones began, so the next
    // load finds them, and finds them spelled as the first header did.
    Key* parent = key->parent;
    std::vector<Key*> implicit;
    for (Key* k = parent; k->parent != nullptr; k = k->parent)
        if (k->blocks.empty())
            implicit.push_back(k);
    for (auto it = implicit.rbegin(); it != implicit.rend(); ++it)
        (*it)->blocks.push_back(blocks_.insert(first, Block{"[" + PathOf(*it) + "]\r\n\r\n"}));

    parent->index.erase(Upper(key->name));
    auto& siblings = parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == key) {
            siblings.erase(it);
            break;
        }
    }
    changed_ = true;
    return true;
}

void Registry::ListKey(const Key* key, const std::string& path, std::vector<std::string>* out) {
    out->push_back("[" + path + "]");
    for (const RegValue& value : key->values)
        out->push_back(path + " " + Quote(value.name) + "=hex(" + std::to_string(value.type) +
                       "):" + HexList(value.data));
    // Subkeys in name order, as regedit lists them, whatever order the file had.
    for (const auto& child : key->index)
        ListKey(child.second, path + "\\" + child.second->name, out);
}

std::vector<std::string> Registry::Listing() const {
    std::vector<std::string> out;
    ListKey(&machine_, machine_.name, &out);
    ListKey(&users_, users_.name, &out);
    return out;
}

std::string RegBlock(const std::string& fullPath, const std::vector<RegValue>& values) {
    std::string text = "[" + fullPath + "]\r\n";
    for (const RegValue& v : values) {
        text += v.name.empty() ? "@" : Quote(v.name);
        text += "=";
        bool plainText = v.type == 1 && !v.data.empty() && v.data.back() == '\0' &&
                         v.data.find('\0') == v.data.size() - 1;
        if (plainText) {
            text += Quote(v.data.substr(0, v.data.size() - 1));
        } else if (v.type == 4 && v.data.size() == 4) {
            char cell[16];
            unsigned long n = 0;
            for (int i = 3; i >= 0; --i)
                n = n * 256 + static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
            std::snprintf(cell, sizeof cell, "dword:%08lx", n);
            text += cell;
        } else if (v.type == 3) {
            text += "hex:" + HexList(v.data);
        } else {
            char cell[16];
            std::snprintf(cell, sizeof cell, "hex(%x):", static_cast<unsigned>(v.type));
            text += cell + HexList(v.data);
        }
        text += "\r\n";
    }
    return text + "\r\n";
}

RegValue RegString(const std::string& name, const std::string& text) {
    return RegValue{name, 1, text + std::string(1, '\0')};
}

RegValue RegDword(const std::string& name, WinDword value) {
    std::string data;
    for (int i = 0; i < 4; ++i)
        data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return RegValue{name, 4, data};
}

RegValue RegBinary(const std::string& name, WinDword type, const std::string& bytes) {
    return RegValue{name, type, bytes};
}

} // namespace qvl::emu
