// Helpers of the resource database tests: database images written byte by
// byte; scratch directories and whole-file access come from tests/support.
#ifndef STAGE3_TESTS_RESDB_TEST_SUPPORT_H
#define STAGE3_TESTS_RESDB_TEST_SUPPORT_H

#include <string>

#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

// Bytes from hexadecimal text such as "00 01 2C".
inline std::string Hex(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
        i += 2;
    }
    return bytes;
}

// Little-endian encodings used to write database images by hand.
inline std::string U32(unsigned int value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

inline std::string U64(unsigned long long value) {
    return U32(static_cast<unsigned int>(value)) + U32(static_cast<unsigned int>(value >> 32));
}

// A 32-byte language header with variant and sub-variant 0.
inline std::string HeaderBytes(unsigned long long next, unsigned long long block,
                               const char* language, const char* region) {
    std::string codes = std::string(language) +
                        std::string(4 - std::string(language).size(), '\0') + std::string(region) +
                        std::string(4 - std::string(region).size(), '\0');
    return U64(next) + U64(block) + codes + U32(0) + U32(0);
}

inline const std::string kMagicBytes("\0\0\0\1", 4);

#endif
