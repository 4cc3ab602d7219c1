#include "resdb/coding.h"

#include "resdb/file.h"

bool ReadFixed32(File_C* file, std::uint32_t& value) {
    unsigned char bytes[4];
    if (file->Read(bytes, sizeof bytes) != sizeof bytes)
        return false;
    value = DecodeFixed32(bytes);
    return true;
}

bool ReadFixed64(File_C* file, std::uint64_t& value) {
    unsigned char bytes[8];
    if (file->Read(bytes, sizeof bytes) != sizeof bytes)
        return false;
    value = DecodeFixed64(bytes);
    return true;
}

bool WriteFixed32(File_C* file, std::uint32_t value) {
    unsigned char bytes[4];
    EncodeFixed32(bytes, value);
    return file->Write(bytes, sizeof bytes) == sizeof bytes;
}

bool WriteFixed64(File_C* file, std::uint64_t value) {
    unsigned char bytes[8];
    EncodeFixed64(bytes, value);
    return file->Write(bytes, sizeof bytes) == sizeof bytes;
}
