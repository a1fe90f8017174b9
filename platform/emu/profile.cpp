// profile.cpp: win.ini with the profile rules of Windows 9x.
#include "platform/emu/profile.h"
#include "platform/emu/registry.h"

namespace qvl::emu {

namespace {

const std::size_t npos = std::string::npos;

std::string Trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

bool SectionName(const std::string& line, std::string* name) {
    std::string s = Trim(line);
    if (s.empty() || s[0] != '[')
        return false;
    std::size_t close = s.find(']');
    *name = Trim(s.substr(1, close == npos ? npos : close - 1));
    return true;
}

bool KeyOf(const std::string& line, std::string* key, std::string* value) {
    std::size_t eq = line.find('=');
    if (eq == npos)
        return false;
    *key = Trim(line.substr(0, eq));
    *value = Trim(line.substr(eq + 1));
    return true;
}

} // namespace

void ProfileFile::Load(const std::string& bytes) {
    lines_.clear();
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        end = end == npos ? bytes.size() : end + 1;
        lines_.push_back(bytes.substr(start, end - start));
        start = end;
    }
}

std::string ProfileFile::Save() const {
    std::string bytes;
    for (const std::string& line : lines_)
        bytes += line;
    return bytes;
}

std::size_t ProfileFile::FindSection(const std::string& section) const {
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (SectionName(lines_[i], &name) && EqualNoCase(name, Trim(section)))
            return i;
    return npos;
}

std::size_t ProfileFile::SectionEnd(std::size_t header) const {
    std::string name;
    std::size_t i = header + 1;
    while (i < lines_.size() && !SectionName(lines_[i], &name))
        ++i;
    return i;
}

std::size_t ProfileFile::FindKey(std::size_t header, const std::string& key) const {
    std::string k;
    std::string v;
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (KeyOf(lines_[i], &k, &v) && EqualNoCase(k, Trim(key)))
            return i;
    return npos;
}

bool ProfileFile::Get(const std::string& section, const std::string& key,
                      std::string* value) const {
    std::size_t header = FindSection(section);
    if (header == npos)
        return false;
    std::size_t line = FindKey(header, key);
    if (line == npos)
        return false;
    std::string k;
    KeyOf(lines_[line], &k, value);
    if (value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
        value->back() == value->front())
        *value = value->substr(1, value->size() - 2);
    return true;
}

bool ProfileFile::DeleteKey(const std::string& section, const std::string& key) {
    std::size_t header = FindSection(section);
    std::size_t line = header == npos ? npos : FindKey(header, key);
    if (line == npos)
        return false;
    lines_.erase(lines_.begin() + static_cast<long>(line));
    return true;
}

bool ProfileFile::DeleteSection(const std::string& section) {
    std::size_t header = FindSection(section);
    if (header == npos)
        return false;
    lines_.erase(lines_.begin() + static_cast<long>(header),
                 lines_.begin() + static_cast<long>(SectionEnd(header)));
    return true;
}

std::vector<std::string> ProfileFile::Values(const std::string& section,
                                             const std::string& key) const {
    std::vector<std::string> values;
    std::size_t header = FindSection(section);
    if (header == npos)
        return values;
    std::string k;
    std::string v;
    std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (KeyOf(lines_[i], &k, &v) && EqualNoCase(k, Trim(key)))
            values.push_back(v);
    return values;
}

void ProfileFile::Add(const std::string& section, const std::string& key,
                      const std::string& value) {
    std::string text = key + "=" + value + "\r\n";
    std::size_t header = FindSection(section);
    if (header != npos) {
        lines_.insert(lines_.begin() + static_cast<long>(SectionEnd(header)), text);
        return;
    }
    if (!lines_.empty() && lines_.back().back() != '\n')
        lines_.back() += "\r\n";
    lines_.push_back("[" + section + "]\r\n");
    lines_.push_back(text);
}

void ProfileFile::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
    std::size_t header = FindSection(section);
    std::size_t line = header == npos ? npos : FindKey(header, key);
    if (line != npos)
        lines_[line] = key + "=" + value + "\r\n";
    else
        Add(section, key, value);
}

} // namespace qvl::emu
