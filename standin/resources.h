// resources.h: reading compiled resources: .res files and dialog templates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// One resource. Types and names given by number read "#5", by string as the string.
struct Resource {
    std::string type;
    std::string name;
    std::uint16_t language = 0;
    std::string data;
};

// The resources of a .res file as windres writes it; false when it is malformed.
bool ParseResFile(const std::string& bytes, std::vector<Resource>* out);
const Resource* FindResource(const std::vector<Resource>& resources, const std::string& type,
                             const std::string& name);

struct DialogItem {
    std::uint32_t helpId = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t id = 0;
    std::string className; // "#128" for the Button atom, or the class name
    std::string text;
    std::uint16_t extraBytes = 0;
};

// A DLGTEMPLATE or DLGTEMPLATEEX with its items.
struct DialogTemplate {
    bool extended = false;
    std::uint16_t version = 0, signature = 0;
    std::uint32_t helpId = 0;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    std::string windowClass;
    std::string caption;
    std::uint16_t pointSize = 0;
    std::uint16_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t charset = 0;
    std::string font;
    std::vector<DialogItem> items;
};

bool ParseDialogTemplate(const std::string& bytes, DialogTemplate* out);

// The resources built into the Linux program: the same .res the Windows program links.
const std::vector<Resource>& BuiltInResources();

} // namespace standin
