#include "services/shared_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

bool writeAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool placeFile(const char* path, const std::string& content, mode_t mode, FileIdentity* made,
               std::string* movedAside) {
    if (movedAside)
        *movedAside = moveDirectoryAside(path);
    std::string temporary = directoryOf(path) + "/.stage3-XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool written = writeAll(fd, content) && fchmod(fd, mode) == 0 && fstat(fd, &info) == 0;
    if (close(fd) != 0)
        written = false;
    // rename replaces the directory entry itself: a link at `path` is not followed and
    // a FIFO there is never opened. It fails on a directory.
    if (!written || rename(name.data(), path) != 0) {
        unlink(name.data());
        return false;
    }
    if (made)
        *made = FileIdentity{info.st_dev, info.st_ino, true};
    return true;
}

void removeOwnFile(const char* path, const FileIdentity& made) {
    struct stat info;
    if (!made.made || lstat(path, &info) != 0)
        return;
    if (info.st_dev == made.device && info.st_ino == made.inode)
        unlink(path);
}

std::string moveDirectoryAside(const char* path) {
    struct stat info;
    if (lstat(path, &info) != 0 || !S_ISDIR(info.st_mode))
        return std::string();
    std::string aside = makePrivateDirectory((std::string(path) + ".XXXXXX").c_str());
    if (aside.empty())
        return aside;
    // A directory renamed onto an empty one replaces it; anything that took the
    // directory's place meanwhile (a file, a link) cannot, and stays where it is.
    if (rename(path, aside.c_str()) != 0) {
        rmdir(aside.c_str());
        return std::string();
    }
    return aside;
}

std::string makePrivateDirectory(const char* templatePath) {
    std::vector<char> name(templatePath,
                           templatePath + std::char_traits<char>::length(templatePath) + 1);
    // mkdtemp makes the directory exclusively with the permission bits 0700.
    if (!mkdtemp(name.data()))
        return std::string();
    return std::string(name.data());
}

bool writeNewFile(const std::string& path, const std::string& content, mode_t mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool written = writeAll(fd, content) && fchmod(fd, mode) == 0;
    if (close(fd) != 0)
        written = false;
    return written;
}

bool readSmallFile(const std::string& path, std::size_t limit, std::string* content) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    content->assign(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        ssize_t n = read(fd, &(*content)[got], limit - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    content->resize(got);
    close(fd);
    return true;
}
