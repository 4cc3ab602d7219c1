#include "wizard/install_log.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

std::string chosenPath;
std::string openPath;
int logFd = -1;
bool written = false;

// Makes `directory` and its missing parents, each new one with mode 0700.
bool makeDirectories(const std::string& directory) {
    struct stat info;
    if (stat(directory.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    size_t slash = directory.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(directory.substr(0, slash)))
        return false;
    return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string defaultDirectory() {
    if (geteuid() == 0)
        return "/var/log/stage3";
    const char* state = g_getenv("XDG_STATE_HOME");
    std::string base =
        state && state[0] == '/' ? state : std::string(g_get_home_dir()) + "/.local/state";
    return base + "/stage3";
}

std::string utcStamp() {
    time_t now = time(nullptr);
    struct tm utc;
    gmtime_r(&now, &utc);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return stamp;
}

int createExclusively(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND,
                0600);
}

void writeAll(const std::string& text) {
    size_t done = 0;
    while (logFd >= 0 && done < text.size()) {
        ssize_t n = write(logFd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

void setInstallLogPath(const std::string& path) {
    chosenPath = path;
}

bool openInstallLog() {
    closeInstallLog();
    if (!chosenPath.empty()) {
        openPath = chosenPath;
        logFd = createExclusively(openPath);
    } else {
        std::string directory = defaultDirectory();
        std::string stem = directory + "/install-" + utcStamp();
        openPath = stem + ".log";
        if (makeDirectories(directory)) {
            // Two runs in the same second get logs of their own.
            for (int n = 2; (logFd = createExclusively(openPath)) < 0 && errno == EEXIST && n < 100;
                 ++n)
                openPath = stem + "-" + std::to_string(n) + ".log";
        }
    }
    if (logFd >= 0)
        fchmod(logFd, 0600);
    written = logFd >= 0;
    return written;
}

const std::string& installLogPath() {
    return openPath;
}

bool installLogOpen() {
    return logFd >= 0;
}

bool installLogWritten() {
    return written;
}

void writeInstallLog(const std::string& text) {
    writeAll(text);
}

void writeInstallLogField(const std::string& name, const std::string& value) {
    writeAll(name + ": " + value + "\n");
}

void closeInstallLog() {
    if (logFd >= 0)
        close(logFd);
    logFd = -1;
}
