// pe_reader.cpp: the resources of a 32-bit Windows executable, read from the file.
#include "pe_reader.h"

#include <cstdint>

namespace qvl::test {

namespace {

struct Image {
    const std::string& bytes;
    std::uint32_t sectionTable = 0;
    std::uint16_t sections = 0;
    bool ok = true;

    std::uint32_t U(std::uint32_t at, int size) {
        if (at + static_cast<std::uint32_t>(size) > bytes.size()) {
            ok = false;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = v * 256 + static_cast<unsigned char>(bytes[at + static_cast<std::uint32_t>(i)]);
        return v;
    }
    // File offset of a relative virtual address.
    std::uint32_t Offset(std::uint32_t rva) {
        for (std::uint16_t i = 0; i < sections; ++i) {
            std::uint32_t s = sectionTable + 40u * i;
            std::uint32_t va = U(s + 12, 4), size = U(s + 16, 4), raw = U(s + 20, 4);
            if (rva >= va && rva < va + size)
                return rva - va + raw;
        }
        ok = false;
        return 0;
    }
    std::string Name(std::uint32_t base, std::uint32_t entryName) {
        if (!(entryName & 0x80000000u))
            return "#" + std::to_string(entryName);
        std::uint32_t at = base + (entryName & 0x7FFFFFFFu);
        std::uint32_t length = U(at, 2);
        std::string s;
        for (std::uint32_t i = 0; i < length; ++i)
            s.push_back(static_cast<char>(U(at + 2 + 2 * i, 2)));
        return s;
    }
};

} // namespace

bool ReadPeResources(const std::string& bytes, std::vector<standin::Resource>* out) {
    out->clear();
    Image img{bytes};
    if (bytes.size() < 64 || bytes.compare(0, 2, "MZ") != 0)
        return false;
    std::uint32_t pe = img.U(0x3C, 4);
    if (img.U(pe, 4) != 0x00004550 || img.U(pe + 24, 2) != 0x10B) // "PE\0\0", PE32
        return false;
    img.sections = static_cast<std::uint16_t>(img.U(pe + 6, 2));
    std::uint32_t optional = pe + 24;
    img.sectionTable = optional + img.U(pe + 20, 2);
    std::uint32_t resourceRva = img.U(optional + 96 + 2 * 8, 4); // data directory 2
    if (resourceRva == 0)
        return img.ok;
    std::uint32_t root = img.Offset(resourceRva);
    auto entries = [&](std::uint32_t dir, auto&& visit) {
        std::uint32_t count = img.U(dir + 12, 2) + img.U(dir + 14, 2);
        for (std::uint32_t i = 0; i < count && img.ok; ++i)
            visit(img.U(dir + 16 + 8 * i, 4), img.U(dir + 20 + 8 * i, 4));
    };
    entries(root, [&](std::uint32_t typeName, std::uint32_t typeDir) {
        entries(root + (typeDir & 0x7FFFFFFFu), [&](std::uint32_t name, std::uint32_t nameDir) {
            entries(root + (nameDir & 0x7FFFFFFFu),
                    [&](std::uint32_t language, std::uint32_t data) {
                        std::uint32_t entry = root + data;
                        std::uint32_t at = img.Offset(img.U(entry, 4));
                        std::uint32_t size = img.U(entry + 4, 4);
                        standin::Resource res;
                        res.type = img.Name(root, typeName);
                        res.name = img.Name(root, name);
                        res.language = static_cast<std::uint16_t>(language);
                        if (at + size <= bytes.size())
                            res.data = bytes.substr(at, size);
                        else
                            img.ok = false;
                        out->push_back(res);
                    });
        });
    });
    return img.ok;
}

} // namespace qvl::test
