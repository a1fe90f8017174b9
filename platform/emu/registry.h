// registry.h: the emulated Windows 9x registry, kept as a REGEDIT4 file.
//
// The registry holds HKEY_LOCAL_MACHINE and HKEY_USERS; the other roots are views into
// them, as on Windows 9x. Key and value names compare without regard to case and keep
// their case. The file is kept as the raw text of its key blocks, so a load and save
// changes nothing but the blocks of deleted keys.
#pragma once

#include "platform/platform.h"

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qvl::emu {

struct RegValue {
    std::string name; // "" for the default value (@)
    WinDword type;
    std::string data; // the raw bytes, a REG_SZ with its terminating zero
};

class Registry {
  public:
    Registry();

    // Parses REGEDIT4 text. Lines that are not understood are kept but mean nothing.
    void Load(const std::string& text);
    std::string Save() const;

    // The full path ("HKEY_LOCAL_MACHINE\A\B") of root + subKey with the aliases of
    // Windows 9x resolved; empty when the root is unknown or the subkey malformed.
    static std::string FullPath(RegKey root, const char* subKey);

    bool Exists(const std::string& fullPath) const;
    const RegValue* FindValue(const std::string& fullPath, const char* valueName) const;
    // Removes the key and its whole subtree. False when there is no such key or it is
    // a root.
    bool DeleteTree(const std::string& fullPath);
    // Every key and value, one line each, keys in name order: for comparing machines.
    std::vector<std::string> Listing() const;
    bool Changed() const { return changed_; }

  private:
    struct Block {
        std::string text;
        bool deleted = false;
    };
    struct Key {
        std::string name;
        Key* parent = nullptr;
        std::vector<std::unique_ptr<Key>> children;
        std::map<std::string, Key*> index; // children by upper-case name
        std::vector<RegValue> values;
        std::vector<std::list<Block>::iterator> blocks;
    };

    Key* Find(const std::string& fullPath) const;
    Key* Create(const std::string& fullPath);
    static Key* Child(const Key* key, const std::string& name);
    static std::string PathOf(const Key* key);
    void ParseBlockValues(Key* key, const std::string& body);
    static void ListKey(const Key* key, const std::string& path, std::vector<std::string>* out);

    std::string preamble_;
    std::list<Block> blocks_;
    Key machine_;
    Key users_;
    bool changed_ = false;
};

// Text helpers shared with the rest of the emulation.
bool EqualNoCase(const std::string& a, const std::string& b);
std::vector<std::string> SplitPath(const std::string& path, bool* valid);
std::string RootName(RegKey root); // "HKEY_LOCAL_MACHINE" etc., "" when not a root
// A full path with HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_CURRENT_CONFIG at its
// start replaced by the key they stand for.
std::string ResolveRootAlias(const std::string& fullPath);

// REGEDIT4 text of one key block, for building machines.
std::string RegBlock(const std::string& fullPath, const std::vector<RegValue>& values);
RegValue RegString(const std::string& name, const std::string& text);
RegValue RegDword(const std::string& name, WinDword value);
RegValue RegBinary(const std::string& name, WinDword type, const std::string& bytes);

} // namespace qvl::emu
