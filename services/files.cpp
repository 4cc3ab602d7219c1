#include "services/files.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Fills `text` from position `from` until it is full or the file ends; the number of
// bytes in `text` that hold file data, or -1 on a read error.
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

// A name made exclusively from `pattern` (ending in six X), open for writing.
Descriptor makeTemporary(std::string* pattern) {
    std::vector<char> name(pattern->begin(), pattern->end());
    name.push_back('\0');
    Descriptor fd(mkostemp(name.data(), O_CLOEXEC));
    *pattern = name.data();
    return fd;
}

bool failWith(const PlaceOptions& options, const std::string& what) {
    if (options.error)
        *options.error = what + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool readRegularFile(const std::string& path, std::size_t limit, std::string* bytes, bool* longer,
                     Links links) {
    bytes->clear();
    if (longer)
        *longer = false;
    // O_NONBLOCK keeps the open of a FIFO or a device from waiting; it has no effect on
    // the reads of a regular file.
    const int flags =
        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    Descriptor file(open(path.c_str(), flags));
    if (!file.valid())
        return false;
    struct stat info;
    if (fstat(file.get(), &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    // One byte past the limit tells a longer file from one of exactly `limit` bytes; the
    // size fstat reports only saves memory, since the file may grow or shrink while it is
    // read.
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
        if (longer)
            *longer = true;
        text.resize(limit);
    }
    bytes->swap(text);
    return true;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool placeFile(const std::string& path, const std::string& content, const PlaceOptions& options) {
    if (options.movedAside)
        *options.movedAside = moveDirectoryAside(path);
    std::string temporary = path + ".tmp.XXXXXX";
    Descriptor fd = makeTemporary(&temporary);
    if (!fd.valid())
        return failWith(options, "cannot create a temporary file beside " + path);
    struct stat info;
    bool written = writeAll(fd.get(), content) && fchmod(fd.get(), options.mode) == 0 &&
                   (!options.durable || fsync(fd.get()) == 0) && fstat(fd.get(), &info) == 0;
    if (!fd.close())
        written = false;
    if (!written) {
        failWith(options, "cannot write " + temporary);
        unlink(temporary.c_str());
        return false;
    }
    // rename replaces the directory entry itself: a link at `path` is not followed and a
    // FIFO there is never opened. It fails on a directory.
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        failWith(options, "cannot replace " + path);
        unlink(temporary.c_str());
        return false;
    }
    if (options.made)
        *options.made = FileIdentity{info.st_dev, info.st_ino, true};
    return true;
}

void removeOwnFile(const std::string& path, const FileIdentity& made) {
    struct stat info;
    if (!made.made || lstat(path.c_str(), &info) != 0)
        return;
    if (info.st_dev == made.device && info.st_ino == made.inode)
        unlink(path.c_str());
}

std::string moveDirectoryAside(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::string();
    std::string aside = makePrivateDirectory(path + ".XXXXXX");
    if (aside.empty())
        return aside;
    // A directory renamed onto an empty one replaces it; anything that took the
    // directory's place meanwhile (a file, a link) cannot, and stays where it is.
    if (rename(path.c_str(), aside.c_str()) != 0) {
        rmdir(aside.c_str());
        return std::string();
    }
    return aside;
}

std::string makePrivateDirectory(const std::string& templatePath) {
    std::vector<char> name(templatePath.begin(), templatePath.end());
    name.push_back('\0');
    // mkdtemp makes the directory exclusively with the permission bits 0700.
    if (!mkdtemp(name.data()))
        return std::string();
    return std::string(name.data());
}

bool writeNewFile(const std::string& path, const std::string& content, mode_t mode) {
    Descriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.valid())
        return false;
    bool written = writeAll(fd.get(), content) && fchmod(fd.get(), mode) == 0;
    return fd.close() && written;
}

bool copyRegularFile(const std::string& from, const std::string& to, mode_t mode,
                     std::string* sha256) {
    sha256->clear();
    Descriptor in(open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info;
    if (!in.valid() || fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    Descriptor out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!out.valid())
        return false;
    GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
    std::string chunk(1 << 16, '\0');
    bool copied = true;
    for (;;) {
        ssize_t got = fillFrom(in.get(), &chunk, 0);
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        std::string bytes = chunk.substr(0, static_cast<std::size_t>(got));
        g_checksum_update(checksum, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
        if (!writeAll(out.get(), bytes)) {
            copied = false;
            break;
        }
        if (static_cast<std::size_t>(got) < chunk.size())
            break;
    }
    copied = copied && fchmod(out.get(), mode) == 0;
    copied = out.close() && copied;
    if (copied)
        *sha256 = g_checksum_get_string(checksum);
    else
        unlink(to.c_str());
    g_checksum_free(checksum);
    return copied;
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() >= (1u << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    // Linux names a directory that is no longer reachable from the root "(unreachable)...".
    return buffer[0] == '/' ? std::string(buffer.data()) : std::string();
}
