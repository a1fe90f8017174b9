# Writes a C++ file that holds the compiled resources (RES) of the program, so that the
# Linux stand-in shows the very templates QVL7UNIN.EXE carries.
file(READ ${RES} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Made by the build from the compiled resource script; do not edit.
#include \"standin/resources.h\"

namespace standin {
namespace {
const unsigned char kBytes[${size}] = {
${bytes}
};
} // namespace

const std::vector<Resource>& BuiltInResources() {
    static const std::vector<Resource> resources = [] {
        std::vector<Resource> out;
        ParseResFile(std::string(reinterpret_cast<const char*>(kBytes), sizeof kBytes), &out);
        return out;
    }();
    return resources;
}

} // namespace standin
")
