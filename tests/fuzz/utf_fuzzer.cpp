// Fuzz target for the UTF-8 / 16-bit stream converters and the locale
// conversion built on them. Besides "no crash, no undefined behaviour" it
// checks two round trips that must hold for every input:
//  - valid UTF-8 of BMP characters (no surrogates), not starting with U+FEFF
//    or U+FFFE: UTF16toUTF8(UTF8toUTF16(x)) is the mark EF BB BF followed by x;
//  - 16-bit units whose first unit is not a byte order mark: converting them
//    to UTF-8 and back gives the same units (a final odd byte is dropped).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "services/conversion.h"

namespace {

std::stringstream binaryStream(const std::string& content = std::string()) {
    return std::stringstream(content, std::ios::in | std::ios::out | std::ios::binary);
}

// Strict check: shortest forms of U+0000..U+FFFF without surrogates.
bool isValidBmpUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t value;
        if ((b & 0xE0) == 0xC0) {
            length = 2;
            value = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            value = b & 0x0F;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (c & 0x3F);
        }
        if (length == 2 && value < 0x80)
            return false;
        if (length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)))
            return false;
        i += length;
    }
    return true;
}

std::string utf8to16(const std::string& text, int* result) {
    auto in = binaryStream(text);
    auto out = binaryStream();
    *result = UTF8toUTF16(in, out);
    return out.str();
}

std::string utf16to8(const std::string& units) {
    auto in = binaryStream(units);
    auto out = binaryStream();
    if (UTF16toUTF8(in, out) != 0)
        std::abort();
    return out.str();
}

bool startsWithMark(const std::string& units) {
    if (units.size() < 2)
        return false;
    unsigned char a = static_cast<unsigned char>(units[0]);
    unsigned char b = static_cast<unsigned char>(units[1]);
    return (a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF);
}

const std::string kMark = "\xEF\xBB\xBF";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    int result = 0;
    const std::string units = utf8to16(input, &result);
    if (result != 0 && result != -1)
        std::abort();
    if (units.size() % 2 != 0)
        std::abort();

    if (isValidBmpUtf8(input)) {
        if (result != 0)
            std::abort();
        if (!startsWithMark(units) && utf16to8(units) != kMark + input)
            std::abort();
    }

    // Arbitrary bytes as 16-bit units survive the trip to UTF-8 and back.
    const std::string even = input.substr(0, size - size % 2);
    const std::string utf8 = utf16to8(input);
    if (utf8.compare(0, kMark.size(), kMark) != 0)
        std::abort();
    if (!startsWithMark(even)) {
        const std::string back = utf8to16(utf8.substr(kMark.size()), &result);
        if (result != 0 || back != even)
            std::abort();
    }

    std::string mbcs;
    int converted = UTF8toMbcs(input, mbcs);
    if (converted != 0 && converted != -1)
        std::abort();
    return 0;
}
