// resources_test.cpp: the compiled dialog templates and icon, field by field, as the
// resource compiler wrote them and as they stand in QVL7UNIN.EXE.
#include "standin/resources.h"
#include "pe_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <tuple>

namespace qvl::test {
namespace {

using standin::DialogTemplate;
using standin::Resource;
using namespace std::string_literals;

constexpr std::uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000,
                        WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000,
                        WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000, DS_MODALFRAME = 0x80,
                        DS_CENTER = 0x800, DS_SETFONT = 0x40, BS_DEFPUSHBUTTON = 1,
                        BS_PUSHBUTTON = 0, SS_LEFT = 0, WS_EX_RTLREADING = 0x2000;

// The style bits the templates use, by name: the window's, and the low word's by what
// the style is of (a dialog, a button #128, a static #130; "ex" the extended style).
struct StyleBit {
    std::uint32_t bit;
    const char* name;
    std::string of;
};
#define BIT(name, of)                                                                              \
    { name, #name, of }
const StyleBit kStyleBits[] = {
    BIT(WS_POPUP, "window"),     BIT(WS_CHILD, "window"),   BIT(WS_VISIBLE, "window"),
    BIT(WS_CAPTION, "window"),   BIT(WS_BORDER, "window"),  BIT(WS_SYSMENU, "window"),
    BIT(WS_GROUP, "window"),     BIT(WS_TABSTOP, "window"), BIT(DS_MODALFRAME, "dialog"),
    BIT(DS_CENTER, "dialog"),    BIT(DS_SETFONT, "dialog"), BIT(BS_DEFPUSHBUTTON, "#128"),
    BIT(WS_EX_RTLREADING, "ex"),
};
#undef BIT

// A style in hex with the names of its bits, which also go to names, the rest in hex.
std::string Styled(std::uint32_t style, const std::string& of, std::vector<std::string>* names) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", style);
    std::string out = std::string(text) + " (";
    for (const StyleBit& b : kStyleBits)
        if ((style & b.bit) == b.bit && (b.of == of || (b.of == "window" && of != "ex")))
            names->push_back(b.name), style &= ~b.bit;
    std::snprintf(text, sizeof text, "0x%X", style);
    if (style != 0)
        names->push_back(text);
    for (const std::string& name : *names)
        out += (&name == &names->front() ? "" : "|") + name;
    return out + ")";
}

// Passes when two styles are equal; otherwise shows both and names the bits that differ.
::testing::AssertionResult SameStyle(std::uint32_t actual, std::uint32_t expected,
                                     const std::string& of) {
    std::vector<std::string> has;
    std::vector<std::string> wants;
    ::testing::AssertionResult result = ::testing::AssertionFailure()
                                        << Styled(actual, of, &has) << " against "
                                        << Styled(expected, of, &wants) << ":";
    for (const std::string& name : wants)
        if (std::find(has.begin(), has.end(), name) == has.end())
            result << " " << name << " missing";
    for (const std::string& name : has)
        if (std::find(wants.begin(), wants.end(), name) == wants.end())
            result << " " << name << " added";
    return actual == expected ? ::testing::AssertionSuccess() : result;
}

struct Item {
    const char* className;
    std::uint32_t id;
    const char* text;
    std::uint32_t style;
    std::uint32_t exStyle;
    std::int16_t x, y, cx, cy;
};

void CheckItems(const DialogTemplate& t, const std::vector<Item>& expected) {
    ASSERT_EQ(t.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const standin::DialogItem& item = t.items[i];
        const Item& e = expected[i];
        SCOPED_TRACE(e.text);
        // Class, id, text, place, size, help id and extra bytes.
        EXPECT_EQ(std::make_tuple(item.className, item.id, item.text, item.x, item.y, item.cx,
                                  item.cy, item.helpId, item.extraBytes),
                  std::make_tuple(std::string(e.className), e.id, std::string(e.text), e.x, e.y,
                                  e.cx, e.cy, 0u, 0));
        EXPECT_TRUE(SameStyle(item.style, e.style, item.className));
        EXPECT_TRUE(SameStyle(item.exStyle, e.exStyle, "ex"));
    }
}

// A template's header but its styles and an extended one's version and signature: whether
// it is extended, help id, place, size, menu, class, caption, and font (size, weight,
// italic, character set and name).
auto Header(const DialogTemplate& t) {
    return std::make_tuple(t.extended, t.helpId, t.x, t.y, t.cx, t.cy, t.menu, t.windowClass,
                           t.caption, t.pointSize, t.weight, int{t.italic}, int{t.charset}, t.font);
}

std::uint32_t U32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v * 256 + static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint16_t U16(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}
int U8(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]);
}

void CheckResources(const std::vector<Resource>& resources) {
    ASSERT_EQ(resources.size(), 4u);
    for (const Resource& r : resources)
        EXPECT_EQ(r.language, 0) << r.type << " " << r.name; // LANG_NEUTRAL, SUBLANG_NEUTRAL

    const Resource* welcome = standin::FindResource(resources, "#5", "WELCOME");
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(welcome->data.size(), 176u);
    DialogTemplate w;
    ASSERT_TRUE(standin::ParseDialogTemplate(welcome->data, &w));
    EXPECT_EQ(Header(w), std::make_tuple(false, 0u, 0, 0, 273, 95, ""s, ""s, "Welcoming"s, 8, 0, 0,
                                         0, "MS Sans Serif"s));
    EXPECT_TRUE(SameStyle(
        w.style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
        "dialog"));
    EXPECT_TRUE(SameStyle(w.exStyle, 0, "ex"));
    CheckItems(w, {
                      {"#128", 1, "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
                       42, 68, 50, 14},
                      {"#128", 2, "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0,
                       165, 68, 53, 14},
                      {"#130", 1000, "???", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, 23, 17,
                       226, 37},
                  });

    const Resource* uninstall = standin::FindResource(resources, "#5", "UNINSTALL");
    ASSERT_NE(uninstall, nullptr);
    EXPECT_EQ(uninstall->data.size(), 214u);
    DialogTemplate u;
    ASSERT_TRUE(standin::ParseDialogTemplate(uninstall->data, &u));
    EXPECT_EQ(Header(u), std::make_tuple(true, 0u, 0, 0, 186, 91, ""s, ""s, "Uninstalling"s, 8, 0,
                                         0, 1, "MS Sans Serif"s));
    EXPECT_EQ(std::make_tuple(u.version, u.signature), std::make_tuple(1, 0xFFFF));
    EXPECT_TRUE(SameStyle(u.style,
                          WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                              DS_CENTER | DS_SETFONT,
                          "dialog"));
    EXPECT_TRUE(SameStyle(u.exStyle, 0, "ex"));
    CheckItems(u, {
                      {"#130", 1007, "!!!", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, 21, 13,
                       141, 36},
                      {"msctls_progress32", 1008, "Progress1", WS_CHILD | WS_VISIBLE | WS_BORDER,
                       WS_EX_RTLREADING, 28, 63, 126, 9},
                  });

    const Resource* group = standin::FindResource(resources, "#14", "IDI_UNINICON");
    ASSERT_NE(group, nullptr);
    const std::string& g = group->data;
    ASSERT_EQ(g.size(), 20u);
    // Reserved, icon, one image 32 by 32 of 16 colours, reserved, one plane, 4 bits a
    // pixel, its size and its identifier.
    EXPECT_EQ(std::make_tuple(U16(g, 0), U16(g, 2), U16(g, 4), U8(g, 6), U8(g, 7), U8(g, 8),
                              U8(g, 9), U16(g, 10), U16(g, 12), U32(g, 14), U16(g, 18)),
              std::make_tuple(0, 1, 1, 32, 32, 16, 0, 1, 4, 744u, 1));

    const Resource* icon = standin::FindResource(resources, "#3", "#1");
    ASSERT_NE(icon, nullptr);
    const std::string& i = icon->data;
    ASSERT_EQ(i.size(), 744u);
    // BITMAPINFOHEADER: its size, 32 wide, 64 high (image and mask), one plane, 4 bits a
    // pixel, BI_RGB, the image's size.
    EXPECT_EQ(std::make_tuple(U32(i, 0), U32(i, 4), U32(i, 8), U16(i, 12), U16(i, 14), U32(i, 16),
                              U32(i, 20)),
              std::make_tuple(40u, 32u, 64u, 1, 4, 0u, 512u));
    const std::uint32_t standard[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                        0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                        0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(U32(i, 40 + 4 * static_cast<std::size_t>(c)), standard[c])
            << c; // RGBQUAD: B G R 0
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Resources, CompiledResourceScript) {
    CheckResources(standin::BuiltInResources());
}

TEST(Resources, ExecutableCarriesTheSameResources) {
    const char* path = std::getenv("QVL_EXE");
    std::string exe = path ? path : QVL_DEFAULT_EXE;
    std::string image = ReadAll(exe);
    if (image.empty()) {
        if (std::getenv("QVL_REQUIRE_EXE"))
            FAIL() << "no executable at " << exe;
        GTEST_SKIP() << "no executable at " << exe << "; build the mingw preset first";
    }
    std::vector<Resource> resources;
    ASSERT_TRUE(ReadPeResources(image, &resources));
    CheckResources(resources);
    for (const Resource& r : resources) {
        const Resource* compiled =
            standin::FindResource(standin::BuiltInResources(), r.type, r.name);
        ASSERT_NE(compiled, nullptr) << r.type << " " << r.name;
        EXPECT_EQ(compiled->data, r.data) << r.type << " " << r.name;
    }
}

TEST(Resources, IconIsMadeFromItsPixelMap) {
    std::string made = std::string(QVL_BINARY_DIR) + "/uninicon-check.ico";
    std::string command =
        std::string(QVL_MAKE_ICON) + " " + QVL_SOURCE_DIR + "/dialogs/uninicon.txt " + made;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string checkedIn = ReadAll(std::string(QVL_SOURCE_DIR) + "/dialogs/uninicon.ico");
    EXPECT_EQ(checkedIn.size(), 766u);
    EXPECT_EQ(ReadAll(made), checkedIn) << "run make_icon to bring dialogs/uninicon.ico up to date";
}

} // namespace
} // namespace qvl::test
