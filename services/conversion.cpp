#include "services/conversion.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>

namespace {

void putByte(std::iostream& out, unsigned int value) {
    out.put(static_cast<char>(value & 0xFF));
}

// Number of one-bits at the top of `lead`, counted down to the first zero.
int leadingOnes(unsigned char lead) {
    int count = 0;
    while (count < 8 && (lead & (0x80u >> count)) != 0) ++count;
    return count;
}

void writeUnit16(std::iostream& out, std::uint32_t value) {
    putByte(out, value);
    putByte(out, value >> 8);
}

}  // namespace

int UTF8toUTF16(std::iostream& in, std::iostream& out) {
    for (;;) {
        int first = in.get();
        if (first == std::char_traits<char>::eof())
            return 0;
        const unsigned char lead = static_cast<unsigned char>(first);
        const int ones = leadingOnes(lead);
        if (ones >= 7)
            return -1;

        std::uint32_t value = lead;
        if (ones >= 2) {
            // The payload bits of the lead byte lie below its ones and their
            // terminating zero.
            value = lead & ((1u << (7 - ones)) - 1);
            for (int i = 1; i < ones; ++i) {
                int next = in.get();
                // A sequence cut by the end of input is completed with 0x3F.
                unsigned int bits = next == std::char_traits<char>::eof()
                                        ? 0x3Fu
                                        : static_cast<unsigned int>(next) & 0x3Fu;
                value = (value << 6) | bits;
            }
        }

        writeUnit16(out, value);
        if (value > 0xFFFF)
            writeUnit16(out, value >> 16);
    }
}

int UTF16toUTF8(std::iostream& in, std::iostream& out) {
    bool bigEndian = false;
    unsigned char unit[2];
    in.read(reinterpret_cast<char*>(unit), 2);
    if (in.gcount() == 2 && unit[0] == 0xFF && unit[1] == 0xFE) {
        bigEndian = false;
    } else if (in.gcount() == 2 && unit[0] == 0xFE && unit[1] == 0xFF) {
        bigEndian = true;
    } else {
        in.clear();
        in.seekg(0);
    }

    out.write("\xEF\xBB\xBF", 3);

    for (;;) {
        in.read(reinterpret_cast<char*>(unit), 2);
        if (in.gcount() != 2)
            return 0;
        unsigned int u = bigEndian ? (unit[0] << 8) | unit[1] : (unit[1] << 8) | unit[0];
        if (u < 0x80) {
            putByte(out, u);
        } else if (u < 0x800) {
            putByte(out, 0xC0 | (u >> 6));
            putByte(out, 0x80 | (u & 0x3F));
        } else {
            putByte(out, 0xE0 | (u >> 12));
            putByte(out, 0x80 | ((u >> 6) & 0x3F));
            putByte(out, 0x80 | (u & 0x3F));
        }
    }
}

int UTF8toMbcs(const std::string& utf8, std::string& mbcs) {
    mbcs.clear();

    std::stringstream in(utf8, std::ios::in | std::ios::out | std::ios::binary);
    std::stringstream out(std::ios::in | std::ios::out | std::ios::binary);
    int result = UTF8toUTF16(in, out);
    if (result != 0)
        return result;

    const std::string units = out.str();
    std::size_t pos = 0;
    if (units.size() >= 2) {
        unsigned int first =
            static_cast<unsigned char>(units[0]) | (static_cast<unsigned char>(units[1]) << 8);
        if (first == 0xFEFF || first == 0xFFFE)
            pos = 2;
    }

    const std::size_t bufferSize = MB_CUR_MAX + 1;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize]);
    if (!buffer)
        return -1;

    for (; pos + 1 < units.size(); pos += 2) {
        wchar_t wide = static_cast<wchar_t>(static_cast<unsigned char>(units[pos]) |
                                            (static_cast<unsigned char>(units[pos + 1]) << 8));
        int length = wctomb(buffer.get(), wide);
        if (length < 0)
            return -1;
        buffer[length] = '\0';
        // Up to the first NUL: a U+0000 character adds nothing.
        mbcs.append(buffer.get());
    }
    return 0;
}
