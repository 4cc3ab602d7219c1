// Character-set conversion between UTF-8, a little-endian 16-bit form and the
// multibyte encoding of the current LC_CTYPE locale.
#pragma once

#include <iostream>
#include <string>

// Reads `in` byte by byte to its end and writes each decoded character to
// `out`: as 2 bytes (least significant first) when it is at most 0xFFFF,
// otherwise as its 32-bit value in 4 bytes (no surrogate pairs). Malformed
// input is decoded by fixed rules instead of being refused: a stray
// continuation byte stands for itself (U+0080..U+00BF), continuation bytes are
// not checked, overlong forms are accepted, and each byte missing at the end
// of input counts as 0x3F. Returns 0 when the input was read to its end, -1 at
// a byte 0xFE or 0xFF; what was written before stays in `out`.
int UTF8toUTF16(std::iostream& in, std::iostream& out);

// Reads 16-bit units from the beginning of `in` and writes UTF-8 to `out`,
// always preceded by the mark EF BB BF. A leading FF FE (little-endian) or
// FE FF (big-endian) is consumed as the byte order mark; without one the input
// is read as little-endian from position 0. Each unit is encoded on its own
// (surrogate halves are not paired); a final odd byte is dropped. Always 0.
int UTF16toUTF8(std::iostream& in, std::iostream& out);

// Converts UTF-8 text (any length, NUL bytes allowed) into the multibyte
// encoding of the current LC_CTYPE locale, character by character through
// wctomb. `mbcs` is emptied first. A leading U+FEFF or U+FFFE is dropped and a
// U+0000 adds nothing. Returns 0 on success; -1 for a lead byte 0xFE/0xFF
// (`mbcs` empty) or for a character the locale cannot represent (`mbcs` then
// holds the text converted before it).
int UTF8toMbcs(const std::string& utf8, std::string& mbcs);
