// make_icon.cpp: turns the text pixel map of the program's icon into an .ico file.
//
//   make_icon uninicon.txt uninicon.ico
//
// The file holds one 32 x 32 image with 16 colours: a 40-byte BITMAPINFOHEADER
// (height 64: colour image and mask), the standard 16-colour table, 512 bytes of
// colour image and a 128-byte mask, 744 bytes in all.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const unsigned char kPalette[16][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

void Put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, unsigned long v) {
    Put16(out, static_cast<unsigned>(v & 0xFFFF));
    Put16(out, static_cast<unsigned>(v >> 16));
}

int Colour(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // transparent
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_icon MAP.txt OUT.ico\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line.size() != 32 || line.find_first_not_of(".0123456789ABCDEF") != std::string::npos) {
            std::cerr << "make_icon: every row has 32 of . 0-9 A-F: " << line << "\n";
            return 1;
        }
        rows.push_back(line);
    }
    if (rows.size() != 32) {
        std::cerr << "make_icon: 32 rows wanted, " << rows.size() << " found\n";
        return 1;
    }

    std::string image;
    Put32(image, 40);  // biSize
    Put32(image, 32);  // biWidth
    Put32(image, 64);  // biHeight: the colour image and the mask
    Put16(image, 1);   // biPlanes
    Put16(image, 4);   // biBitCount
    Put32(image, 0);   // biCompression: BI_RGB
    Put32(image, 512); // biSizeImage: the colour image
    Put32(image, 0);
    Put32(image, 0);
    Put32(image, 0);
    Put32(image, 0);
    for (const auto& rgb : kPalette) {
        image.push_back(static_cast<char>(rgb[2]));
        image.push_back(static_cast<char>(rgb[1]));
        image.push_back(static_cast<char>(rgb[0]));
        image.push_back(0);
    }
    // Bitmaps run bottom row first. Transparent pixels are black in the colour image
    // and set in the mask.
    for (int y = 31; y >= 0; --y) {
        for (int x = 0; x < 32; x += 2) {
            int hi = Colour(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
            int lo = Colour(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x + 1)]);
            image.push_back(static_cast<char>(((hi < 0 ? 0 : hi) << 4) | (lo < 0 ? 0 : lo)));
        }
    }
    for (int y = 31; y >= 0; --y) {
        for (int x = 0; x < 32; x += 8) {
            unsigned char bits = 0;
            for (int b = 0; b < 8; ++b)
                if (Colour(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x + b)]) < 0)
                    bits |= static_cast<unsigned char>(0x80 >> b);
            image.push_back(static_cast<char>(bits));
        }
    }

    std::string ico;
    Put16(ico, 0); // reserved
    Put16(ico, 1); // type: icon
    Put16(ico, 1); // one image
    ico.push_back(32);
    ico.push_back(32);
    ico.push_back(16); // colours
    ico.push_back(0);
    Put16(ico, 1); // planes
    Put16(ico, 4); // bits per pixel
    Put32(ico, static_cast<unsigned long>(image.size()));
    Put32(ico, 6 + 16); // offset of the image
    ico += image;

    std::ofstream out(argv[2], std::ios::binary);
    out.write(ico.data(), static_cast<std::streamsize>(ico.size()));
    return out ? 0 : 1;
}
