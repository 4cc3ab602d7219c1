// The "newc" cpio archive that rpm2cpio writes, read entry by entry from any source of
// bytes (a program's pipe, or memory). The archive comes from a package file that may
// have been made to harm: every header field is checked, and no more than a given
// number of bytes is read from the source.
#pragma once

#include <cstddef>
#include <string>

// Where an archive's bytes come from.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `buffer`; 0 at the end (or on an error).
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

class ArchiveStream {
  public:
    // Reads `source` until more than `limit` bytes have come from it.
    ArchiveStream(ByteSource* source, unsigned long long limit) : source_(source), limit_(limit) {}

    // Exactly `size` bytes into `out` (or dropped, with a null `out`); false at an early
    // end or past the limit.
    bool take(unsigned long long size, std::string* out);
    // The padding after `consumed` bytes of an entry, to the next multiple of four.
    bool skipPadding(unsigned long long consumed) { return take((4 - consumed % 4) % 4, nullptr); }
    // Reads the source to its end (or the limit), so that its writer is not left blocked.
    void drain();

  private:
    bool refill();

    ByteSource* source_;
    unsigned long long limit_;
    char buffer_[64 * 1024];
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    unsigned long long total_ = 0;
};

struct ArchiveEntry {
    std::string name;  // as an absolute path
    unsigned long mode = 0;
    unsigned long long size = 0;
};

// The longest entry name taken, without its terminating NUL.
const std::size_t kArchivePathLimit = 4096;

// The next entry's header and name, up to its data; false at a damaged header. The
// archive's names are relative ("./lib/..."); they are given as the absolute paths rpm
// lists. The entry's data (entry->size bytes, then padding) is the caller's to take.
bool readArchiveEntry(ArchiveStream* stream, ArchiveEntry* entry);
