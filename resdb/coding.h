// Byte order of the database file. Every number in the file is little-endian,
// written and read byte by byte whatever the host's own order; nothing is
// copied between memory and the file as a whole integer.
//
// Encode and Decode work on memory; ReadFixed and WriteFixed move one number
// through a File_C with a single Read or Write of its bytes.
#ifndef STAGE3_RESDB_CODING_H
#define STAGE3_RESDB_CODING_H

#include <cstdint>

class File_C;

inline void EncodeFixed32(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void EncodeFixed64(unsigned char* bytes, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline std::uint32_t DecodeFixed32(const unsigned char* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

inline std::uint64_t DecodeFixed64(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// Read at the current position. A short read returns false and leaves
// `value` unchanged.
bool ReadFixed32(File_C* file, std::uint32_t& value);
bool ReadFixed64(File_C* file, std::uint64_t& value);
// True exactly when every byte of the number was written.
bool WriteFixed32(File_C* file, std::uint32_t value);
bool WriteFixed64(File_C* file, std::uint64_t value);

#endif
