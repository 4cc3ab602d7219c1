#include "wizard/install_lock.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

int lockFd = -1;

std::string lockPath() {
    if (geteuid() == 0)
        return "/run/stage3.lock";
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/stage3.lock";
    return "/tmp/stage3-" + std::to_string(geteuid()) + ".lock";
}

}  // namespace

bool takeInstallLock() {
    int fd = open(lockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    lockFd = fd;
    return true;
}

void releaseInstallLock() {
    if (lockFd >= 0)
        close(lockFd);
    lockFd = -1;
}

bool installLockHeld() {
    return lockFd >= 0;
}
