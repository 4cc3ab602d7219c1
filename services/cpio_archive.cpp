#include "services/cpio_archive.h"

#include <algorithm>

namespace {

const std::size_t kHeaderSize = 110;  // the "newc" archive's fixed entry header

// The header's field `index`: eight hex digits, nothing else (strtoul would take blanks,
// a sign or "0x", and a negative number as a huge one).
bool hexField(const std::string& header, int index, unsigned long* value) {
    const std::size_t start = 6 + 8 * static_cast<std::size_t>(index);
    *value = 0;
    for (std::size_t i = start; i < start + 8; ++i) {
        const char c = header[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        *value = *value << 4 | static_cast<unsigned long>(digit);
    }
    return true;
}

}  // namespace

bool ArchiveStream::take(unsigned long long size, std::string* out) {
    if (out)
        out->clear();
    while (size > 0) {
        if (position_ == filled_ && !refill())
            return false;
        std::size_t part =
            static_cast<std::size_t>(std::min<unsigned long long>(size, filled_ - position_));
        if (out)
            out->append(buffer_ + position_, part);
        position_ += part;
        size -= part;
    }
    return true;
}

void ArchiveStream::drain() {
    while (refill()) position_ = filled_;
}

bool ArchiveStream::refill() {
    if (total_ > limit_)
        return false;
    filled_ = source_->read(buffer_, sizeof buffer_);
    position_ = 0;
    total_ += filled_;
    return filled_ > 0;
}

bool readArchiveEntry(ArchiveStream* stream, ArchiveEntry* entry) {
    std::string header;
    unsigned long mode = 0, size = 0, nameSize = 0;
    if (!stream->take(kHeaderSize, &header) ||
        (header.compare(0, 6, "070701") != 0 && header.compare(0, 6, "070702") != 0) ||
        !hexField(header, 1, &mode) || !hexField(header, 6, &size) ||
        !hexField(header, 11, &nameSize) || nameSize == 0 || nameSize > kArchivePathLimit + 1)
        return false;
    std::string name;
    if (!stream->take(nameSize, &name) || !stream->skipPadding(kHeaderSize + nameSize))
        return false;
    // The name ends with its NUL and holds none before it: a name that does not would be
    // taken for another (its last byte dropped, or cut at a NUL where it is compared).
    if (name.find('\0') != nameSize - 1)
        return false;
    name.resize(nameSize - 1);
    if (name.compare(0, 2, "./") == 0)
        name.erase(0, 1);
    else if (name.empty() || name[0] != '/')
        name.insert(0, "/");
    entry->name = name;
    entry->mode = mode;
    entry->size = size;
    return true;
}
