// profile.h: win.ini with the profile rules of Windows 9x.
//
// Sections and keys compare without regard to case. Deleting a key removes its line,
// deleting a section removes its header and every line up to the next header; every
// other byte of the file stays as it was. Lines end and headers are read as Wine's
// profile reader has them (see profile.cpp), and "" names the lines before the first
// header.
#pragma once

#include <string>
#include <vector>

namespace qvl::emu {

class ProfileFile {
  public:
    void Load(const std::string& bytes);
    std::string Save() const;

    // The value of the first line of key in the first section of that name, with the
    // blanks around it and one pair of enclosing quotes taken off.
    bool Get(const std::string& section, const std::string& key, std::string* value) const;
    bool DeleteKey(const std::string& section, const std::string& key);
    bool DeleteSection(const std::string& section);
    // Sets key=value, replacing the key's line or adding one (and the section).
    void Set(const std::string& section, const std::string& key, const std::string& value);
    // For files where a key may stand more than once (machine.ini): every value of key
    // in the first section of that name, and a line key=value added at its end.
    std::vector<std::string> Values(const std::string& section, const std::string& key) const;
    void Add(const std::string& section, const std::string& key, const std::string& value);

    const std::vector<std::string>& Lines() const { return lines_; }

  private:
    // Index of the header line of the section, or npos.
    std::size_t FindSection(const std::string& section) const;
    std::size_t SectionEnd(std::size_t header) const;
    std::size_t FindKey(std::size_t header, const std::string& key) const;

    std::vector<std::string> lines_; // each with its own line end
};

} // namespace qvl::emu
