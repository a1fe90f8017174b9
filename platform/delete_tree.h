// delete_tree.h: takes a registry key and its subtree apart, over any registry.
//
// Written once over four operations so that the Win32 build runs it on advapi32 and a
// test runs it on a registry that misbehaves on purpose. No <windows.h> here.
//
// Registry provides:
//   using Key = ...;
//   bool Open(Key parent, const char* name, Key* key);   // true when opened
//   bool EnumSubkey(Key key, unsigned index, char* name, unsigned size); // true: named
//   void Close(Key key);
//   long Delete(Key parent, const char* name);           // 0 on success
#pragma once

#include "platform/platform.h"

namespace qvl {

// Deletes the subkeys depth first, then the key, and returns the key's own deletion
// result. Windows 9x's RegDeleteKeyA would take the subtree along, but NT-family Windows
// refuses keys with subkeys and Wine's Windows 9x mode leaves some behind, so the tree
// is taken apart here on every system.
//
// The subkeys are counted first and then deleted from the last index down: deleting one
// never moves those below it, and each index is visited once. A subkey that will not go,
// whether its deletion fails or reports success while it stays, is simply left, and the
// walk still ends after as many steps as there were subkeys. Another program may write
// the key meanwhile: an index that names no subkey any more is passed over, and a
// subkey added after the count stays, and the key with it.
template <class Registry>
long DeleteKeyTree(Registry& registry, typename Registry::Key parent, const char* name) {
    typename Registry::Key key;
    if (registry.Open(parent, name, &key)) {
        char child[kMaxPath];
        unsigned count = 0;
        while (registry.EnumSubkey(key, count, child, sizeof child))
            ++count;
        while (count-- > 0) {
            if (registry.EnumSubkey(key, count, child, sizeof child))
                DeleteKeyTree(registry, key, child);
        }
        registry.Close(key);
    }
    return registry.Delete(parent, name);
}

} // namespace qvl
