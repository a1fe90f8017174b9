// delete_tree_test.cpp: the Win32 build's subtree deletion, on a registry that misbehaves.
#include "platform/delete_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qvl::test {
namespace {

// Keys by full path ("A\\B"), listed in name order as RegEnumKeyExA lists them. Like
// NT-family Windows it refuses to delete a key that still has subkeys. Some keys
// misbehave: a failing one refuses to go, a sticky one reports success and stays.
class FakeRegistry {
  public:
    using Key = unsigned; // index into paths_; 0 is the root

    FakeRegistry(std::set<std::string> tree, std::set<std::string> failing,
                 std::set<std::string> sticky)
        : keys(std::move(tree)), failing_(std::move(failing)), sticky_(std::move(sticky)) {}

    bool Open(Key parent, const char* name, Key* key) {
        std::string path = Path(parent, name);
        if (keys.count(path) == 0)
            return false;
        paths_.push_back(path);
        *key = static_cast<Key>(paths_.size() - 1);
        ++open;
        return true;
    }
    bool EnumSubkey(Key key, unsigned index, char* name, unsigned size) {
        // A walk that does not end is cut off here and reported, not left to hang.
        if (++steps > kStepLimit) {
            ranAway = true;
            return false;
        }
        std::vector<std::string> children = Children(paths_.at(key));
        if (index >= children.size() || children[index].size() >= size)
            return false;
        children[index].copy(name, children[index].size());
        name[children[index].size()] = 0;
        return true;
    }
    void Close(Key) { --open; }
    long Delete(Key parent, const char* name) {
        // Another program writes the key while it is taken apart: at the first deletion
        // each key it names goes if there, and comes if not.
        for (const std::string& k : std::exchange(meanwhile, {}))
            if (keys.erase(k) == 0)
                keys.insert(k);
        std::string path = Path(parent, name);
        if (keys.count(path) == 0)
            return kErrorFileNotFound;
        if (failing_.count(path) != 0 || !Children(path).empty())
            return kErrorAccessDenied;
        if (sticky_.count(path) == 0)
            keys.erase(path);
        return kErrorSuccess;
    }

    static constexpr int kStepLimit = 10000;
    std::set<std::string> keys, meanwhile;
    int open = 0; // handles opened and not closed
    int steps = 0;
    bool ranAway = false;

  private:
    std::string Path(Key parent, const char* name) const {
        const std::string& base = paths_.at(parent);
        return base.empty() ? name : base + "\\" + name;
    }
    std::vector<std::string> Children(const std::string& path) const {
        std::vector<std::string> out;
        std::string prefix = path + "\\";
        for (const std::string& k : keys)
            if (k.compare(0, prefix.size(), prefix) == 0 &&
                k.find('\\', prefix.size()) == std::string::npos)
                out.push_back(k.substr(prefix.size()));
        return out;
    }

    std::set<std::string> failing_;
    std::set<std::string> sticky_;
    std::vector<std::string> paths_{""};
};

// Key paths separated by blanks.
std::set<std::string> Keys(const std::string& paths) {
    std::set<std::string> out;
    for (std::size_t at = 0, end = 0; at < paths.size(); at = end + 1) {
        end = std::min(paths.find(' ', at), paths.size());
        out.insert(paths.substr(at, end - at));
    }
    return out;
}

struct TreeCase {
    const char* what;
    const char* keys;
    const char* failing;
    const char* sticky;
    const char* left;
    long result;
    const char* meanwhile = "";
};

const TreeCase kTreeCases[] = {
    {"no subkeys", "K L", "", "", "L", kErrorSuccess},
    {"one subkey", "K K\\A", "", "", "", kErrorSuccess},
    {"several subkeys", "K K\\A K\\B K\\C K\\D", "", "", "", kErrorSuccess},
    {"nested, beside keys of like names", "K K\\A K\\A\\X K\\A\\X\\Y K\\A\\Z K\\B K\\B\\X KA KA\\X",
     "", "", "KA KA\\X", kErrorSuccess},
    {"a subkey reports success and stays", "K K\\A K\\B K\\C", "", "K\\B", "K K\\B",
     kErrorAccessDenied},
    {"a deep subkey reports success and stays", "K K\\A K\\A\\X K\\A\\Y K\\B", "", "K\\A\\X",
     "K K\\A K\\A\\X", kErrorAccessDenied},
    {"a subkey's deletion fails", "K K\\A K\\B K\\C", "K\\A", "", "K K\\A", kErrorAccessDenied},
    {"the key reports success and stays", "K K\\A", "", "K", "K", kErrorSuccess},
    {"no such key", "L L\\A", "", "", "L L\\A", kErrorFileNotFound},
    {"others delete subkeys meanwhile", "K K\\A K\\B K\\C K\\D", "", "", "", kErrorSuccess,
     "K\\A K\\B"},
    {"others add a subkey meanwhile", "K K\\A K\\B", "", "", "K K\\C", kErrorAccessDenied, "K\\C"},
};

TEST(DeleteKeyTree, EndsAndTakesWhatWillGo) {
    for (const TreeCase& c : kTreeCases) {
        FakeRegistry registry(Keys(c.keys), Keys(c.failing), Keys(c.sticky));
        registry.meanwhile = Keys(c.meanwhile);
        long result = DeleteKeyTree(registry, 0, "K");
        EXPECT_FALSE(registry.ranAway) << c.what;
        EXPECT_EQ(registry.keys, Keys(c.left)) << c.what;
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(registry.open, 0) << c.what << ": every opened key is closed";
    }
}

} // namespace
} // namespace qvl::test
