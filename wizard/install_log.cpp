#include "wizard/install_log.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "services/terminal_text.h"

namespace {

const char* const RootLogDirectory = "/var/log/stage3";
// A log is read by a person: a script that prints without end does not fill the disk.
std::size_t logLimit = 64 * 1024 * 1024;

std::string chosenPath;
std::string openPath;
int logFd = -1;
// The log named with --log, made at start-up, until the install takes it.
int namedFd = -1;
bool written = false;
bool directoryRefused = false;
std::size_t logSize = 0;
bool outputDropped = false;

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

std::string userLogDirectory() {
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

const int NewLogFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND;

// Root's log directory, or -1. Used only when it is root's own and no one else can
// write to it: whoever can write there can replace a log with one of their own.
int openRootLogDirectory() {
    mkdir(RootLogDirectory, 0700);
    int fd = open(RootLogDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) == 0 && info.st_uid == 0 &&
        (info.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return fd;
    // A link or a file at the name is refused as well; a directory that cannot be
    // opened at all is a log that cannot be written.
    directoryRefused = fd >= 0 || errno == ELOOP || errno == ENOTDIR;
    if (fd >= 0)
        close(fd);
    return -1;
}

// The log in the default place: a new name each run, two runs in the same second
// getting logs of their own.
int createDefaultLog() {
    const bool asRoot = geteuid() == 0;
    std::string directory = asRoot ? RootLogDirectory : userLogDirectory();
    std::string stem = "install-" + utcStamp();
    std::string name = stem + ".log";
    openPath = directory + "/" + name;
    int directoryFd = asRoot ? openRootLogDirectory() : -1;
    if (directoryRefused)
        openPath = directory;
    if (asRoot ? directoryFd < 0 : !makeDirectories(directory))
        return -1;
    int fd = -1;
    for (int n = 2; n < 100; ++n) {
        fd = asRoot ? openat(directoryFd, name.c_str(), NewLogFlags, 0600)
                    : open((directory + "/" + name).c_str(), NewLogFlags, 0600);
        if (fd >= 0 || errno != EEXIST)
            break;
        name = stem + "-" + std::to_string(n) + ".log";
    }
    openPath = directory + "/" + name;
    if (directoryFd >= 0)
        close(directoryFd);
    return fd;
}

std::string sizeText(std::size_t bytes) {
    const std::size_t mebibyte = 1024 * 1024;
    return bytes % mebibyte == 0 ? std::to_string(bytes / mebibyte) + " MiB"
                                 : std::to_string(bytes) + " bytes";
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
    logSize += done;
}

// Text as a terminal would be given it: no control characters but tab and newline (NUL
// bytes too), so that showing the log cannot command the reader's terminal.
std::string logSafeText(const std::string& text) {
    std::string safe;
    size_t at = 0;
    while (at <= text.size()) {
        size_t nul = text.find('\0', at);
        if (nul == std::string::npos)
            nul = text.size();
        safe += terminalSafeText(text.substr(at, nul - at).c_str());
        at = nul + 1;
    }
    return safe;
}

}  // namespace

void setInstallLogPath(const std::string& path) {
    chosenPath = path;
}

int createNamedInstallLog() {
    if (chosenPath.empty() || namedFd >= 0)
        return 0;
    namedFd = open(chosenPath.c_str(), NewLogFlags, 0600);
    return namedFd >= 0 ? 0 : errno;
}

void discardUnusedInstallLog() {
    if (namedFd < 0)
        return;
    struct stat made;
    struct stat now;
    if (fstat(namedFd, &made) == 0 && made.st_size == 0 && lstat(chosenPath.c_str(), &now) == 0 &&
        now.st_dev == made.st_dev && now.st_ino == made.st_ino)
        unlink(chosenPath.c_str());
    close(namedFd);
    namedFd = -1;
}

bool openInstallLog() {
    closeInstallLog();
    directoryRefused = false;
    logSize = 0;
    outputDropped = false;
    if (namedFd >= 0) {
        openPath = chosenPath;
        logFd = namedFd;
        namedFd = -1;
    } else if (!chosenPath.empty()) {
        openPath = chosenPath;
        logFd = open(openPath.c_str(), NewLogFlags, 0600);
    } else {
        logFd = createDefaultLog();
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

bool installLogDirectoryRefused() {
    return directoryRefused;
}

void writeInstallLog(const std::string& text) {
    if (outputDropped || logFd < 0)
        return;
    std::string safe = logSafeText(text);
    if (logSize + safe.size() > logLimit) {
        outputDropped = true;
        writeAll("--- end of install output: the rest was dropped, the log reached " +
                 sizeText(logLimit) + " ---\n");
        return;
    }
    writeAll(safe);
}

void writeInstallLogField(const std::string& name, const std::string& value) {
    writeAll(logSafeText(name + ": " + value) + "\n");
}

void closeInstallLog() {
    if (logFd >= 0)
        close(logFd);
    logFd = -1;
}

void setInstallLogLimit(std::size_t bytes) {
    logLimit = bytes;
}
