// A decoder for XPM pictures, so that the side picture depends neither on
// gdk-pixbuf's optional XPM loader module nor on what a medium's file claims.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "interface/widget_build.h"

namespace {

struct Rgba {
    guchar r, g, b, a;
};

bool parseHexColour(const char* text, Rgba* out) {
    if (text[0] != '#' || std::strlen(text) != 7)
        return false;
    unsigned value = 0;
    for (int i = 1; i < 7; ++i) {
        int digit = g_ascii_xdigit_value(text[i]);
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *out = Rgba{static_cast<guchar>(value >> 16), static_cast<guchar>(value >> 8),
                static_cast<guchar>(value), 255};
    return true;
}

guchar channel(double value) {
    return static_cast<guchar>(std::lround(value * 255.0));
}

bool parseColour(const std::string& text, Rgba* out) {
    if (g_ascii_strcasecmp(text.c_str(), "None") == 0) {
        *out = Rgba{0, 0, 0, 0};
        return true;
    }
    if (parseHexColour(text.c_str(), out))
        return true;
    GdkRGBA rgba;
    if (!gdk_rgba_parse(&rgba, text.c_str()))
        return false;
    *out = Rgba{channel(rgba.red), channel(rgba.green), channel(rgba.blue), channel(rgba.alpha)};
    return true;
}

bool isContextKey(const std::string& word) {
    return word == "c" || word == "m" || word == "s" || word == "g" || word == "g4";
}

// One colour line: key of `keyLength` characters, then pairs of a context key
// ("c", "m", "s", "g4" or "g") and its value, all separated by blanks or
// tabs. A value may be several words ("light grey"). The colour is the value
// of "c".
bool parseColourLine(const char* line, int keyLength, std::string* key, Rgba* colour) {
    if (std::strlen(line) < static_cast<size_t>(keyLength))
        return false;
    key->assign(line, static_cast<size_t>(keyLength));
    std::string context, value, colourText;
    bool hasColour = false;
    auto endPair = [&] {
        if (context == "c") {
            colourText = value;
            hasColour = true;
        }
    };
    for (const char* p = line + keyLength; *p;) {
        while (*p == ' ' || *p == '\t') ++p;
        const char* start = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
        std::string word(start, static_cast<size_t>(p - start));
        if (word.empty())
            break;
        if (isContextKey(word)) {
            endPair();
            context = word;
            value.clear();
        } else if (context.empty()) {
            return false;
        } else {
            if (!value.empty())
                value += ' ';
            value += word;
        }
    }
    endPair();
    return hasColour && parseColour(colourText, colour);
}

// The C string literals of an XPM file, in order, outside comments. A
// backslash stands for the character after it; a literal ends at its line.
class XpmLiterals {
  public:
    explicit XpmLiterals(const std::string& text) : text_(text) {}

    bool next(std::string* literal) {
        const size_t size = text_.size();
        while (pos_ < size) {
            char c = text_[pos_];
            char after = pos_ + 1 < size ? text_[pos_ + 1] : '\0';
            if (c == '/' && (after == '*' || after == '/')) {
                size_t end = text_.find(after == '*' ? "*/" : "\n", pos_ + 2);
                if (end == std::string::npos)
                    return false;
                pos_ = end + (after == '*' ? 2 : 1);
            } else if (c == '"') {
                return readLiteral(literal);
            } else {
                ++pos_;
            }
        }
        return false;
    }

  private:
    bool readLiteral(std::string* literal) {
        literal->clear();
        for (++pos_; pos_ < text_.size();) {
            char c = text_[pos_++];
            if (c == '"')
                return true;
            if (c == '\n')
                return false;
            if (c == '\\' && pos_ < text_.size())
                c = text_[pos_++];
            literal->push_back(c);
        }
        return false;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

// The four numbers that open an XPM header.
struct XpmHeader {
    long long width, height, colours, keyLength;
};

// Reads one unsigned decimal number after blanks or tabs. A number past every
// limit stops counting at a bound above them all, so that nothing overflows.
bool readHeaderNumber(const char** p, long long* value) {
    while (**p == ' ' || **p == '\t') ++*p;
    if (!g_ascii_isdigit(**p))
        return false;
    *value = 0;
    for (; g_ascii_isdigit(**p); ++*p) *value = std::min(*value * 10 + (**p - '0'), 1LL << 31);
    return true;
}

bool readXpmHeader(const std::string& line, XpmHeader* header) {
    const char* p = line.c_str();
    return readHeaderNumber(&p, &header->width) && readHeaderNumber(&p, &header->height) &&
           readHeaderNumber(&p, &header->colours) && readHeaderNumber(&p, &header->keyLength);
}

// Whether the header announces a picture the decoder may take on.
bool withinLimits(const XpmHeader& h) {
    return h.width >= 1 && h.width <= XpmMaxSide && h.height >= 1 && h.height <= XpmMaxSide &&
           h.colours >= 1 && h.colours <= XpmMaxColours && h.colours <= h.width * h.height &&
           h.keyLength >= 1 && h.keyLength <= 4;
}

}  // namespace

GdkPixbuf* pixbufFromXpmData(const char* const* data) {
    if (!data || !data[0])
        return nullptr;
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
        if (!line || !parseColourLine(line, keyLength, &key, &colour))
            return nullptr;
        palette[key] = colour;
    }

    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    if (!pixbuf)
        return nullptr;
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

GdkPixbuf* pixbufFromXpmText(const std::string& text) {
    static const char Magic[] = "/* XPM */";
    if (text.compare(0, sizeof Magic - 1, Magic) != 0)
        return nullptr;
    XpmLiterals literals(text);
    std::vector<std::string> lines(1);
    XpmHeader header;
    if (!literals.next(&lines[0]) || !readXpmHeader(lines[0], &header) || !withinLimits(header)) {
        return nullptr;
    }

    const auto wanted = static_cast<size_t>(1 + header.colours + header.height);
    std::string literal;
    while (lines.size() < wanted && literals.next(&literal)) lines.push_back(literal);
    if (lines.size() < wanted)
        return nullptr;

    std::vector<const char*> data;
    data.reserve(lines.size() + 1);
    for (const std::string& line : lines) data.push_back(line.c_str());
    data.push_back(nullptr);
    return pixbufFromXpmData(data.data());
}
