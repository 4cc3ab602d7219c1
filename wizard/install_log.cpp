#include "wizard/install_log.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "services/descriptor.h"
#include "services/files.h"
#include "services/terminal_text.h"
#include "services/text_format.h"

namespace {

const char* const RootLogDirectory = "/var/log/stage3";

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

const int NewLogFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND;

std::string sizeText(std::size_t bytes) {
    const std::size_t mebibyte = 1024 * 1024;
    return bytes % mebibyte == 0 ? std::to_string(bytes / mebibyte) + " MiB"
                                 : std::to_string(bytes) + " bytes";
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

// Root's log directory, or none. Used only when it is root's own and no one else can
// write to it: whoever can write there can replace a log with one of their own.
Descriptor InstallLog::openRootDirectory() {
    mkdir(RootLogDirectory, 0700);
    Descriptor fd(::open(RootLogDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (fd.valid() && fstat(fd.get(), &info) == 0 && info.st_uid == 0 &&
        (info.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return fd;
    // A link or a file at the name is refused as well; a directory that cannot be
    // opened at all is a log that cannot be written.
    directoryRefused_ = fd.valid() || errno == ELOOP || errno == ENOTDIR;
    return Descriptor();
}

// The log in the default place: a new name each run, two runs in the same second
// getting logs of their own.
Descriptor InstallLog::createDefault() {
    const bool asRoot = geteuid() == 0;
    std::string directory = asRoot ? RootLogDirectory : userLogDirectory();
    std::string stem = "install-" + formatUtcTime(time(nullptr), "%Y%m%dT%H%M%SZ");
    std::string name = stem + ".log";
    openPath_ = directory + "/" + name;
    Descriptor directoryFd = asRoot ? openRootDirectory() : Descriptor();
    if (directoryRefused_)
        openPath_ = directory;
    if (asRoot ? !directoryFd.valid() : !makeDirectories(directory))
        return Descriptor();
    Descriptor fd;
    for (int n = 2; n < 100; ++n) {
        fd.reset(asRoot ? openat(directoryFd.get(), name.c_str(), NewLogFlags, 0600)
                        : ::open((directory + "/" + name).c_str(), NewLogFlags, 0600));
        if (fd.valid() || errno != EEXIST)
            break;
        name = stem + "-" + std::to_string(n) + ".log";
    }
    openPath_ = directory + "/" + name;
    return fd;
}

void InstallLog::append(const std::string& text) {
    if (file_.valid() && writeAll(file_.get(), text))
        size_ += text.size();
}

int InstallLog::createNamed() {
    if (chosenPath_.empty() || named_.valid())
        return 0;
    named_.reset(::open(chosenPath_.c_str(), NewLogFlags, 0600));
    return named_.valid() ? 0 : errno;
}

void InstallLog::discardUnused() {
    if (!named_.valid())
        return;
    struct stat made;
    struct stat now;
    if (fstat(named_.get(), &made) == 0 && made.st_size == 0 &&
        lstat(chosenPath_.c_str(), &now) == 0 && now.st_dev == made.st_dev &&
        now.st_ino == made.st_ino)
        unlink(chosenPath_.c_str());
    named_.reset();
}

bool InstallLog::open() {
    close();
    directoryRefused_ = false;
    size_ = 0;
    outputDropped_ = false;
    if (named_.valid()) {
        openPath_ = chosenPath_;
        file_ = std::move(named_);
    } else if (!chosenPath_.empty()) {
        openPath_ = chosenPath_;
        file_.reset(::open(openPath_.c_str(), NewLogFlags, 0600));
    } else {
        file_ = createDefault();
    }
    if (file_.valid())
        fchmod(file_.get(), 0600);
    written_ = file_.valid();
    return written_;
}

std::string installLogDirectory() {
    return geteuid() == 0 ? RootLogDirectory : userLogDirectory();
}

void InstallLog::write(const std::string& text) {
    if (outputDropped_ || !file_.valid())
        return;
    std::string safe = logSafeText(text);
    if (size_ + safe.size() > limit_) {
        outputDropped_ = true;
        append("--- end of install output: the rest was dropped, the log reached " +
               sizeText(limit_) + " ---\n");
        return;
    }
    append(safe);
}

void InstallLog::writeField(const std::string& name, const std::string& value) {
    append(logSafeText(name + ": " + value) + "\n");
}
