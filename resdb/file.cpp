#include "resdb/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

const char File_C::pathChar = '/';
const char* const File_C::curDir_P = "./";

namespace {

// process-wide: File_C::Alloc takes no handle: every file the database opens comes from
// the allocator a test installed (a plain function, without user data).
File_C::Allocator currentAllocator = nullptr;

}  // namespace

File_C* File_C::Alloc() {
    if (currentAllocator != nullptr)
        return currentAllocator();
    return new UnixFile_C();
}

File_C::Allocator File_C::SetAllocator(Allocator allocator) {
    Allocator previous = currentAllocator;
    currentAllocator = allocator;
    return previous;
}

bool File_C::Exists(const char* path) {
    struct stat info;
    return stat(path, &info) == 0;
}

bool File_C::Delete(const char* path) {
    return unlink(path) == 0;
}

unsigned long long File_C::Size(const char* path) {
    struct stat info;
    if (stat(path, &info) != 0)
        return 0;
    return static_cast<unsigned long long>(info.st_size);
}

std::string File_C::WhyNotOpened(const char* path, int openErrno) {
    struct stat info;
    if (stat(path, &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return "is a directory";
        if (!S_ISREG(info.st_mode))
            return "not a regular file";
    }
    return openErrno != 0 ? std::strerror(openErrno) : "";
}

File_C::~File_C() = default;

bool File_C::OpenRead(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                      ACCESS_MODE accessMode, SHARE_MODE shareMode) {
    return Open(path, ifDoesntExist, ifExists, accessMode, shareMode);
}

bool File_C::OpenWrite(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                       ACCESS_MODE accessMode, SHARE_MODE shareMode) {
    return Open(path, ifDoesntExist, ifExists, accessMode, shareMode);
}

bool File_C::OpenTrunc(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                       ACCESS_MODE accessMode, SHARE_MODE shareMode) {
    return Open(path, ifDoesntExist, ifExists, accessMode, shareMode);
}

bool File_C::OpenNew(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                     ACCESS_MODE accessMode, SHARE_MODE shareMode) {
    return Open(path, ifDoesntExist, ifExists, accessMode, shareMode);
}

unsigned long long File_C::SeekBegin(unsigned long long offset) {
    return Seek(offset, FROM_BEGIN);
}

unsigned long long File_C::SeekCurrent(unsigned long long offset) {
    return Seek(offset, FROM_CURRENT);
}

unsigned long long File_C::SeekEnd(unsigned long long offset) {
    return Seek(offset, FROM_END);
}

UnixFile_C::UnixFile_C() : fd(-1) {}

UnixFile_C::~UnixFile_C() {
    Close();
}

bool UnixFile_C::Open(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                      ACCESS_MODE accessMode, SHARE_MODE /*shareMode: no POSIX meaning*/) {
    Close();
    int flags = accessMode == ACCESS_READ ? O_RDONLY : O_RDWR;
    if (ifDoesntExist == DOESNT_EXIST_CREATE) {
        if (ifExists == EXISTS_FAIL)
            flags |= O_CREAT | O_EXCL;
        else if (ifExists == EXISTS_TRUNCATE)
            flags |= O_CREAT | O_TRUNC;
        else if (ifExists == EXISTS_OPEN)
            flags |= O_CREAT;
    } else if (ifDoesntExist == DOESNT_EXIST_FAIL && ifExists == EXISTS_TRUNCATE) {
        flags |= O_TRUNC;
    }
    // The database path may name a FIFO or a device on a damaged medium: opening
    // does not wait for a writer, and only a regular file is kept. The descriptor
    // stays non-blocking for every read: files of /proc that stat calls regular
    // (/proc/kmsg) would otherwise wait for data; a real file reads the same.
    fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0700);
    if (fd == -1)
        return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
        return false;
    }
    return true;
}

bool UnixFile_C::IsOpen() {
    return fd != -1;
}

bool UnixFile_C::Close() {
    if (fd != -1) {
        close(fd);
        fd = -1;
    }
    return true;
}

unsigned long UnixFile_C::Read(void* buffer, unsigned long count) {
    if (fd == -1)
        return 0;
    ssize_t got = read(fd, buffer, count);
    return got == -1 ? 0 : static_cast<unsigned long>(got);
}

unsigned long UnixFile_C::Write(const void* buffer, unsigned long count) {
    if (fd == -1)
        return 0;
    ssize_t put = write(fd, buffer, count);
    return put == -1 ? 0 : static_cast<unsigned long>(put);
}

unsigned long long UnixFile_C::Seek(unsigned long long offset, SEEK_MODE mode) {
    if (fd == -1)
        return 0;
    int whence = SEEK_SET;
    if (mode == FROM_CURRENT)
        whence = SEEK_CUR;
    else if (mode == FROM_END)
        whence = SEEK_END;
    // Offsets travel as 32-bit values: positions at or above 2 GiB are out of reach.
    off_t result = lseek(fd, static_cast<std::int32_t>(static_cast<std::uint32_t>(offset)), whence);
    return result == -1 ? 0 : static_cast<unsigned long long>(result);
}

unsigned long long UnixFile_C::Peek() {
    return Seek(0, FROM_CURRENT);
}
