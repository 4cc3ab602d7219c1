#include "services/medium_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "services/descriptor.h"

namespace {

// Fills `text` from position `from` until it is full or the file ends;
// the number of bytes in `text` that hold file data, or -1 on a read error.
ssize_t fillFrom(int fd, std::string* text, std::size_t from) {
    std::size_t got = from;
    while (got < text->size()) {
        ssize_t n = read(fd, &(*text)[got], text->size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

bool readMediumFile(const char* path, std::size_t limit, std::string* bytes, bool* longer) {
    bytes->clear();
    *longer = false;
    // O_NONBLOCK keeps the open of a FIFO or a device from waiting; it has no
    // effect on the reads of a regular file.
    Descriptor file(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid())
        return false;
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;

    // One byte past the limit tells a longer file from one of exactly `limit`
    // bytes; the size fstat reports only saves memory, since the file may
    // grow or shrink while it is read.
    const std::size_t wanted = limit == static_cast<std::size_t>(-1) ? limit : limit + 1;
    const auto reported = static_cast<unsigned long long>(std::max<off_t>(info.st_size, 0));
    std::string text(static_cast<std::size_t>(std::min<unsigned long long>(wanted, reported + 1)),
                     '\0');
    ssize_t got = fillFrom(file.get(), &text, 0);
    if (got == static_cast<ssize_t>(text.size()) && text.size() < wanted) {
        // The file grew since fstat: read on up to the limit.
        text.resize(wanted);
        got = fillFrom(file.get(), &text, static_cast<std::size_t>(got));
    }
    if (got < 0)
        return false;
    text.resize(static_cast<std::size_t>(got));
    if (text.size() > limit) {
        *longer = true;
        text.resize(limit);
    }
    bytes->swap(text);
    return true;
}
