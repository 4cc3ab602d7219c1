#include "wizard/install_lock.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

std::string lockPath() {
    if (geteuid() == 0)
        return "/run/stage3.lock";
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/stage3.lock";
    return "/tmp/stage3-" + std::to_string(geteuid()) + ".lock";
}

}  // namespace

bool InstallLock::take() {
    Descriptor fd(
        open(lockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat info;
    if (!fd.valid() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != geteuid())
        return true;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    file_ = std::move(fd);
    return true;
}
