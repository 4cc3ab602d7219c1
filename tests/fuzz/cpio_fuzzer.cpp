// The archive of a driver package, read from any bytes as the package reader reads
// rpm2cpio's output: entry by entry up to the trailer or a damaged header. Every entry
// read names an absolute path of bounded length without a NUL, with header numbers of at
// most eight hex digits; an entry's data is taken whole or not at all; and the reader
// never gets more entries out of the bytes than their headers could fill.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "services/cpio_archive.h"

namespace {

class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t read(char* buffer, std::size_t size) override {
        if (ended_)
            std::abort();  // asked again after the end was reported
        const std::size_t part = size < size_ - at_ ? size : size_ - at_;
        std::memcpy(buffer, data_ + at_, part);
        at_ += part;
        ended_ = part == 0;
        return part;
    }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ended_ = false;
};

const std::size_t kHeaderSize = 110;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    MemorySource source(data, size);
    ArchiveStream stream(&source, 1024 * 1024);
    ArchiveEntry entry;
    std::size_t entries = 0;
    while (readArchiveEntry(&stream, &entry)) {
        ++entries;
        if (entries * kHeaderSize > size || entry.name.empty() || entry.name[0] != '/' ||
            entry.name.size() > kArchivePathLimit || entry.name.find('\0') != std::string::npos ||
            entry.mode > 0xFFFFFFFFul || entry.size > 0xFFFFFFFFull)
            std::abort();
        if (entry.name == "/TRAILER!!!") {
            stream.drain();
            break;
        }
        std::string content = "left over";
        const bool taken = stream.take(entry.size, &content);
        if (taken ? content.size() != entry.size : entry.size == 0)
            std::abort();
        if (!taken || !stream.skipPadding(entry.size))
            break;
    }
    return 0;
}
