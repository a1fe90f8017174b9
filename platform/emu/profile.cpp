// profile.cpp: win.ini with the profile rules of Windows 9x.
#include "platform/emu/profile.h"
#include "platform/emu/registry.h"

#include <algorithm>

namespace qvl::emu {

namespace {

const std::size_t npos = std::string::npos;
// The "header" of the lines before the first header, the section that "" names.
const std::size_t kTop = npos - 1;

std::size_t Body(std::size_t header) {
    return header == kTop ? 0 : header + 1;
}

bool SpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

// What the profile reader (Wine's, the real Win32 at hand) takes off around a header
// and its name: VT, FF and Ctrl-Z too, and the line's end.
bool Blank(char c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

std::string Trim(const std::string& s, bool (*blank)(char) = SpaceOrTab) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && (blank(s[e - 1]) || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    return s.substr(b, e - b);
}

// The name runs to the line's last "]" and ends at a NUL, which a blank before it does
// not: "[rename \0]" names no [rename]. A "[" with no "]" is a line of the section.
bool SectionName(const std::string& line, std::string* name) {
    std::string s = Trim(line, Blank);
    std::size_t close = s.rfind(']');
    if (s.empty() || s[0] != '[' || close == npos)
        return false;
    *name = Trim(s.substr(1, close - 1), Blank);
    name->resize(std::min(name->size(), name->find('\0')));
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

// A line ends at a CR or an LF, as Wine's profile reader ends one (the conformance row
// ProfileLinesEndedByALoneCr): a lone CR before a header, after one or inside its name
// ends the line there. CR LF is one line end, kept with its line, so that every byte of
// the file stays where it stood. The header rule is stated twice more, apart on purpose:
// LastSection (removal/wininit_header.h) reads in fread's pieces inside the removal, which
// cannot lean on the emulation, and the random machines' test reads with its own code, so
// that it checks LastSection rather than repeats it. This copy is held to Wine by the
// conformance table.
void ProfileFile::Load(const std::string& bytes) {
    lines_.clear();
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        end = end == npos ? bytes.size() : end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
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
    if (Trim(section, Blank).empty())
        return kTop;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (SectionName(lines_[i], &name) && EqualNoCase(name, Trim(section, Blank)))
            return i;
    return npos;
}

std::size_t ProfileFile::SectionEnd(std::size_t header) const {
    std::string name;
    std::size_t i = Body(header);
    while (i < lines_.size() && !SectionName(lines_[i], &name))
        ++i;
    return i;
}

std::size_t ProfileFile::FindKey(std::size_t header, const std::string& key) const {
    std::string k;
    std::string v;
    std::size_t end = SectionEnd(header);
    for (std::size_t i = Body(header); i < end; ++i)
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
    // A deletion, unlike a read, takes the name as given: with blanks around it, it names
    // no section, as every name read from a header is trimmed.
    std::size_t header = Trim(section, Blank) == section ? FindSection(section) : npos;
    if (header == npos)
        return false;
    lines_.erase(lines_.begin() + static_cast<long>(header == kTop ? 0 : header),
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
    for (std::size_t i = Body(header); i < end; ++i)
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
    if (!lines_.empty() && lines_.back().back() != '\n' && lines_.back().back() != '\r')
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
