#include "resdb/resource.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "resdb/coding.h"
#include "resdb/file.h"

// The file's bytes of `value`, as they lie in memory, decoded as the
// little-endian number they are: on a big-endian host the bytes swap, and the
// same call converts back.
unsigned int ToHostByteOrder(unsigned int value) {
    unsigned char bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    return DecodeFixed32(bytes);
}

unsigned long long ToHostByteOrder(unsigned long long value) {
    unsigned char bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    return DecodeFixed64(bytes);
}

bool ResourceID_C::Load(File_C* file) {
    std::uint32_t value;
    if (!ReadFixed32(file, value))
        return false;
    id = value;
    return true;
}

bool ResourceID_C::Store(File_C* file) const {
    return WriteFixed32(file, id);
}

LangRes_C::LangRes_C() = default;
LangRes_C::LangRes_C(const LangRes_C& other) = default;
LangRes_C::LangRes_C(const std::string& bytes) : data(bytes) {}
LangRes_C::~LangRes_C() = default;
LangRes_C& LangRes_C::operator=(const LangRes_C& other) = default;

LangRes_C& LangRes_C::operator=(const char* text) {
    if (text == nullptr)
        data.clear();
    else
        data.assign(text, std::strlen(text));
    return *this;
}

bool LangRes_C::Load(File_C* file) {
    // Learn how many bytes follow, so a hostile length cannot make us allocate
    // more than the file holds.
    unsigned long long here = file->Peek();
    unsigned long long end = file->SeekEnd(0);
    if (file->SeekBegin(here) != here || end < here) {
        data.clear();
        return false;
    }
    return Load(file, end - here);
}

bool LangRes_C::Load(File_C* file, unsigned long long remaining) {
    data.clear();
    std::uint32_t length;
    if (!ReadFixed32(file, length))
        return false;
    if (length == 0)
        return true;
    if (remaining < 4 || length > remaining - 4)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[length]);
    if (!buffer)
        return false;
    if (file->Read(buffer.get(), length) != length)
        return false;
    data.assign(buffer.get(), length);
    return true;
}

bool LangRes_C::Store(File_C* file) const {
    if (data.size() > 0xFFFFFFFFul)
        return false;  // the length field has 32 bits
    if (!WriteFixed32(file, static_cast<std::uint32_t>(data.size())))
        return false;
    if (data.empty())
        return true;
    return file->Write(data.data(), data.size()) == data.size();
}
