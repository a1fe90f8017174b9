// resources.cpp: reading compiled resources: .res files and dialog templates.
#include "standin/resources.h"

namespace standin {

namespace {

class Reader {
  public:
    Reader(const std::string& bytes, std::size_t pos = 0) : bytes_(bytes), pos_(pos) {}
    bool Ok() const { return ok_; }
    std::size_t Pos() const { return pos_; }
    void Seek(std::size_t pos) {
        if (pos > bytes_.size())
            ok_ = false;
        else
            pos_ = pos;
    }
    void Align(std::size_t base) {
        while ((pos_ - base) % 4 != 0 && pos_ < bytes_.size())
            ++pos_;
    }
    std::uint32_t Read(int size) {
        if (pos_ + static_cast<std::size_t>(size) > bytes_.size()) {
            ok_ = false;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = v * 256 + static_cast<unsigned char>(bytes_[pos_ + static_cast<std::size_t>(i)]);
        pos_ += static_cast<std::size_t>(size);
        return v;
    }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Read(2)); }
    std::uint32_t U32() { return Read(4); }
    // A zero-terminated UTF-16 string, kept as 8-bit text.
    std::string WideString() {
        std::string s;
        for (std::uint16_t c = U16(); ok_ && c != 0; c = U16())
            s.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        return s;
    }
    // An ordinal (0xFFFF and a number, read "#n") or a string; 0 alone is empty.
    std::string NameOrOrdinal(bool allowEmpty) {
        std::uint16_t first = U16();
        if (first == 0xFFFF)
            return "#" + std::to_string(U16());
        if (first == 0 && allowEmpty)
            return "";
        pos_ -= 2;
        return WideString();
    }
    std::string Bytes(std::size_t n) {
        if (pos_ + n > bytes_.size()) {
            ok_ = false;
            return "";
        }
        std::string s = bytes_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    bool AtEnd() const { return pos_ >= bytes_.size(); }

  private:
    const std::string& bytes_;
    std::size_t pos_;
    bool ok_ = true;
};

} // namespace

bool ParseResFile(const std::string& bytes, std::vector<Resource>* out) {
    out->clear();
    Reader r(bytes);
    while (!r.AtEnd()) {
        std::size_t start = r.Pos();
        std::uint32_t dataSize = r.U32();
        std::uint32_t headerSize = r.U32();
        Resource res;
        res.type = r.NameOrOrdinal(false);
        res.name = r.NameOrOrdinal(false);
        r.Align(0);
        r.U32(); // DataVersion
        r.U16(); // MemoryFlags
        res.language = r.U16();
        r.Seek(start + headerSize);
        res.data = r.Bytes(dataSize);
        r.Align(0);
        if (!r.Ok() || headerSize < 32)
            return false;
        if (!(res.type == "#0" && res.name == "#0" && dataSize == 0)) // the empty first entry
            out->push_back(res);
    }
    return true;
}

const Resource* FindResource(const std::vector<Resource>& resources, const std::string& type,
                             const std::string& name) {
    for (const Resource& res : resources)
        if (res.type == type && res.name == name)
            return &res;
    return nullptr;
}

bool ParseDialogTemplate(const std::string& bytes, DialogTemplate* t) {
    *t = DialogTemplate();
    Reader r(bytes);
    t->version = r.U16();
    t->signature = r.U16();
    t->extended = t->version == 1 && t->signature == 0xFFFF;
    std::uint16_t count = 0;
    if (t->extended) {
        t->helpId = r.U32();
        t->exStyle = r.U32();
        t->style = r.U32();
    } else {
        r.Seek(0);
        t->style = r.U32();
        t->exStyle = r.U32();
    }
    count = r.U16();
    t->x = static_cast<std::int16_t>(r.U16());
    t->y = static_cast<std::int16_t>(r.U16());
    t->cx = static_cast<std::int16_t>(r.U16());
    t->cy = static_cast<std::int16_t>(r.U16());
    t->menu = r.NameOrOrdinal(true);
    t->windowClass = r.NameOrOrdinal(true);
    t->caption = r.WideString();
    const std::uint32_t kSetFont = 0x40; // DS_SETFONT
    if (t->style & kSetFont) {
        t->pointSize = r.U16();
        if (t->extended) {
            t->weight = r.U16();
            t->italic = static_cast<std::uint8_t>(r.Read(1));
            t->charset = static_cast<std::uint8_t>(r.Read(1));
        }
        t->font = r.WideString();
    }
    for (std::uint16_t i = 0; i < count && r.Ok(); ++i) {
        r.Align(0);
        DialogItem item;
        if (t->extended) {
            item.helpId = r.U32();
            item.exStyle = r.U32();
            item.style = r.U32();
        } else {
            item.style = r.U32();
            item.exStyle = r.U32();
        }
        item.x = static_cast<std::int16_t>(r.U16());
        item.y = static_cast<std::int16_t>(r.U16());
        item.cx = static_cast<std::int16_t>(r.U16());
        item.cy = static_cast<std::int16_t>(r.U16());
        item.id = t->extended ? r.U32() : r.U16();
        item.className = r.NameOrOrdinal(false);
        item.text = r.NameOrOrdinal(false);
        item.extraBytes = r.U16();
        r.Bytes(item.extraBytes);
        t->items.push_back(item);
    }
    return r.Ok() && r.Pos() == bytes.size();
}

} // namespace standin
