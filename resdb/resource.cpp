#include "resdb/resource.h"

#include <cstring>
#include <memory>
#include <new>

#include "resdb/file.h"

namespace {

template <typename T>
T reverseIfBigEndian(T value) {
    T one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    if (first == 1)
        return value;
    T reversed = 0;
    for (unsigned i = 0; i < sizeof(T); ++i) {
        reversed = static_cast<T>((reversed << 8) | (value & 0xFF));
        value >>= 8;
    }
    return reversed;
}

}  // namespace

unsigned int ToHostByteOrder(unsigned int value) { return reverseIfBigEndian(value); }

unsigned long long ToHostByteOrder(unsigned long long value) {
    return reverseIfBigEndian(value);
}

bool ResourceID_C::Load(File_C* file) {
    unsigned int raw;
    if (file->Read(&raw, 4) != 4)
        return false;
    id = ToHostByteOrder(raw);
    return true;
}

bool ResourceID_C::Store(File_C* file) const {
    unsigned int raw = ToHostByteOrder(id);
    return file->Write(&raw, 4) == 4;
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
    unsigned int raw;
    if (file->Read(&raw, 4) != 4)
        return false;
    unsigned long length = ToHostByteOrder(raw);
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
    unsigned int raw = ToHostByteOrder(static_cast<unsigned int>(data.size()));
    if (file->Write(&raw, 4) != 4)
        return false;
    if (data.empty())
        return true;
    return file->Write(data.data(), data.size()) == data.size();
}
