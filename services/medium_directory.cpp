#include "services/medium_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "services/glib_memory.h"

namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

std::string resolvedPath(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string parentOf(const std::string& resolved) {
    size_t slash = resolved.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : resolved.substr(0, slash);
}

const unsigned LoopMajor = 7;

// The first line of a small file of the kernel's, without its newline.
bool readFirstLine(const std::string& path, std::string* line) {
    std::ifstream file(path);
    return file && std::getline(file, *line);
}

// The block device a file system without one of its own in st_dev (btrfs, whose st_dev
// is a number of its own) is mounted from, as /proc/self/mountinfo names it.
bool mountedBlockDevice(dev_t device, dev_t* block) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string number = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, deviceNumber, field;
        if (!(fields >> id >> parent >> deviceNumber) || deviceNumber != number)
            continue;
        while (fields >> field && field != "-") {
        }
        std::string type, source;
        struct stat info;
        if (fields >> type >> source && source[0] == '/' && stat(source.c_str(), &info) == 0 &&
            S_ISBLK(info.st_mode)) {
            *block = info.st_rdev;
            return true;
        }
    }
    return false;
}

// One look at a medium. The directories above the objects are shared by most of them,
// so each is looked at once.
class MediumWalk {
  public:
    explicit MediumWalk(const std::vector<uid_t>& trusted) : trusted_(trusted) {}

    // The object at `path` (through a link) and the directories above it.
    MediumFault examine(const std::string& path) {
        MediumFault fault;
        std::string resolved = resolvedPath(path);
        struct stat info;
        if (resolved.empty() || stat(resolved.c_str(), &info) != 0) {
            fault.kind = MediumFault::BrokenLink;
            fault.path = path;
            return fault;
        }
        fault = judge(resolved, info, false);
        if (fault.kind == MediumFault::None)
            fault = examineAncestors(resolved);
        return fault.kind != MediumFault::None ? fault : examineDevice(info.st_dev, resolved);
    }

    // The image file behind the file system of device `device`, when it is on a loop
    // device; `path` is the object on it, named when the image cannot be.
    MediumFault examineDevice(dev_t device, const std::string& path) {
        if (!devicesSeen_.insert(device).second)
            return {};
        dev_t block = device;
        if (major(device) == 0 && !mountedBlockDevice(device, &block))
            return {};
        std::string image;
        MediumFault fault;
        switch (loopImageFile("/sys/dev/block", block, &image)) {
            case LoopImage::None:
                return {};
            case LoopImage::Found:
                fault = examine(image);
                if (fault.kind != MediumFault::BrokenLink)
                    return fault;
                break;
            case LoopImage::Unknown:
                break;
        }
        fault.kind = MediumFault::UnknownImage;
        fault.path = path;
        return fault;
    }

    // The program file open as `info` at `path`, and the directory it is in.
    MediumFault examineProgram(const std::string& path, const struct stat& info) {
        MediumFault fault = judge(path, info, false);
        if (fault.kind != MediumFault::None)
            return fault;
        std::string directory = resolvedPath(parentOf(path));
        fault = directory.empty() ? MediumFault{MediumFault::BrokenLink, parentOf(path), 0}
                                  : examine(directory);
        return fault.kind != MediumFault::None ? fault : examineDevice(info.st_dev, path);
    }

    // The entries of `directory`, and with `depth` those of its subdirectories too.
    MediumFault examineEntries(const std::string& directory, int depth) {
        DirectoryHandle handle(opendir(directory.c_str()));
        if (!handle)
            return {};
        while (const dirent* entry = readdir(handle.get())) {
            std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string path = directory + "/" + name;
            MediumFault fault = examine(path);
            struct stat info;
            if (fault.kind == MediumFault::None && depth > 0 && stat(path.c_str(), &info) == 0 &&
                S_ISDIR(info.st_mode))
                fault = examineEntries(path, depth - 1);
            if (fault.kind != MediumFault::None)
                return fault;
        }
        return {};
    }

  private:
    // `stickyShields`: a directory whose sticky bit keeps others from renaming or
    // removing what is not theirs; it still lets them add names, so it shields only the
    // directories above an object, never the object itself.
    MediumFault judge(const std::string& path, const struct stat& info, bool stickyShields) const {
        MediumFault fault;
        fault.path = path;
        if (std::find(trusted_.begin(), trusted_.end(), info.st_uid) == trusted_.end()) {
            fault.kind = MediumFault::ForeignOwner;
            fault.owner = info.st_uid;
            return fault;
        }
        bool writable = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        bool shielded = stickyShields && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
        if (writable && !shielded)
            fault.kind = MediumFault::WritableByOthers;
        return fault;
    }

    MediumFault examineAncestors(const std::string& resolved) {
        for (std::string directory = resolved; directory != "/";) {
            directory = parentOf(directory);
            // Seen before: it and those above it passed.
            if (!ancestorsSeen_.insert(directory).second)
                break;
            struct stat info;
            if (stat(directory.c_str(), &info) != 0)
                continue;
            MediumFault fault = judge(directory, info, true);
            if (fault.kind == MediumFault::None)
                fault = examineDevice(info.st_dev, directory);
            if (fault.kind != MediumFault::None)
                return fault;
        }
        return {};
    }

    const std::vector<uid_t>& trusted_;
    std::set<std::string> ancestorsSeen_;
    std::set<dev_t> devicesSeen_;
};

}  // namespace

std::string programDirectory() {
    GCharPtr self(g_file_read_link("/proc/self/exe", nullptr));
    if (!self)
        return std::string();
    std::string path = self.get();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

MediumFault findMediumFault(const std::string& directory, const std::vector<uid_t>& trusted) {
    MediumWalk walk(trusted);
    MediumFault fault = walk.examine(directory);
    // The locale subdirectories' files are read too; nothing deeper is.
    return fault.kind != MediumFault::None ? fault : walk.examineEntries(directory, 1);
}

LoopImage loopImageFile(const std::string& blockDevices, dev_t device, std::string* image) {
    const std::string node =
        blockDevices + "/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string name;
    bool named = readFirstLine(node + "/loop/backing_file", &name);
    // A partition of a loop device: the loop device is the one above it.
    if (!named && access((node + "/partition").c_str(), F_OK) == 0)
        named = readFirstLine(node + "/../loop/backing_file", &name);
    if (!named)
        return major(device) == LoopMajor ? LoopImage::Unknown : LoopImage::None;
    // The kernel names a removed image "PATH (deleted)": a file now at PATH is another
    // one, and the image itself may still be open for writing somewhere.
    const std::string deleted = " (deleted)";
    if (name.empty() || name[0] != '/' ||
        (name.size() > deleted.size() &&
         name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0))
        return LoopImage::Unknown;
    *image = name;
    return LoopImage::Found;
}

int openTrustedProgram(const std::string& path, const std::vector<uid_t>& trusted,
                       MediumFault* fault) {
    *fault = MediumFault();
    // Read, not O_PATH: the first bytes say whether it is a script. O_NONBLOCK: a FIFO
    // put there does not hold the open.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (trusted.empty() ? 0 : O_NOFOLLOW);
    int fd = open(path.c_str(), flags);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        bool link = fd < 0 ? errno == ELOOP : true;
        if (fd >= 0)
            close(fd);
        if (link) {
            fault->kind = MediumFault::NotAFile;
            fault->path = path;
        }
        return -1;
    }
    if (!trusted.empty()) {
        *fault = MediumWalk(trusted).examineProgram(path, info);
        if (fault->kind != MediumFault::None) {
            close(fd);
            return -1;
        }
    }
    // A script's interpreter is given /dev/fd/N: the descriptor must stay open for it.
    char head[2];
    if (pread(fd, head, sizeof head, 0) == 2 && head[0] == '#' && head[1] == '!')
        fcntl(fd, F_SETFD, 0);
    return fd;
}

std::vector<uid_t> trustedMediumOwners() {
    std::vector<uid_t> owners{0};
    for (const char* name : {"SUDO_UID", "PKEXEC_UID"}) {
        const char* value = g_getenv(name);
        guint64 uid = 0;
        if (value && g_ascii_string_to_unsigned(value, 10, 0, G_MAXUINT32 - 1, &uid, nullptr))
            owners.push_back(static_cast<uid_t>(uid));
    }
    return owners;
}
