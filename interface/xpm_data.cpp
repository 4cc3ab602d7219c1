// A decoder for XPM data of the built-in side picture's form, so that the
// picture does not depend on gdk-pixbuf's optional XPM loader module.
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "interface/widget_build.h"

namespace {

struct Rgba {
    guchar r, g, b, a;
};

bool parseHexColour(const char* text, Rgba* out) {
    if (text[0] != '#' || std::strlen(text) != 7) return false;
    unsigned value = 0;
    for (int i = 1; i < 7; ++i) {
        int digit = g_ascii_xdigit_value(text[i]);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *out = Rgba{static_cast<guchar>(value >> 16), static_cast<guchar>(value >> 8),
                static_cast<guchar>(value), 255};
    return true;
}

// One colour line: key of `keyLength` characters, blanks or tabs, "c", blanks
// or tabs, then "None" or "#RRGGBB".
bool parseColourLine(const char* line, int keyLength, std::string* key, Rgba* colour) {
    if (std::strlen(line) < static_cast<size_t>(keyLength)) return false;
    key->assign(line, static_cast<size_t>(keyLength));
    const char* p = line + keyLength;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p != 'c' || (p[1] != ' ' && p[1] != '\t')) return false;
    p += 1;
    while (*p == ' ' || *p == '\t') ++p;
    if (g_ascii_strcasecmp(p, "None") == 0) {
        *colour = Rgba{0, 0, 0, 0};
        return true;
    }
    return parseHexColour(p, colour);
}

}  // namespace

GdkPixbuf* pixbufFromXpmData(const char* const* data) {
    if (!data || !data[0]) return nullptr;
    int width = 0, height = 0, colours = 0, keyLength = 0;
    if (std::sscanf(data[0], "%d %d %d %d", &width, &height, &colours, &keyLength) != 4) {
        return nullptr;
    }
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096 || colours <= 0 ||
        colours > (1 << 20) || keyLength <= 0 || keyLength > 4) {
        return nullptr;
    }

    std::unordered_map<std::string, Rgba> palette;
    palette.reserve(static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i) {
        const char* line = data[1 + i];
        std::string key;
        Rgba colour;
        if (!line || !parseColourLine(line, keyLength, &key, &colour)) return nullptr;
        palette[key] = colour;
    }

    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    if (!pixbuf) return nullptr;
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const size_t rowLength = static_cast<size_t>(width) * static_cast<size_t>(keyLength);
    std::string key;
    for (int y = 0; y < height; ++y) {
        const char* row = data[1 + colours + y];
        if (!row || std::strlen(row) < rowLength) {
            g_object_unref(pixbuf);
            return nullptr;
        }
        guchar* out = pixels + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            key.assign(row + static_cast<size_t>(x) * keyLength, static_cast<size_t>(keyLength));
            auto found = palette.find(key);
            if (found == palette.end()) {
                g_object_unref(pixbuf);
                return nullptr;
            }
            out[0] = found->second.r;
            out[1] = found->second.g;
            out[2] = found->second.b;
            out[3] = found->second.a;
            out += 4;
        }
    }
    return pixbuf;
}
