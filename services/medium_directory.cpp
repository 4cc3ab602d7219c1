#include "services/medium_directory.h"

#include <dirent.h>
#include <glib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>

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
        return fault.kind != MediumFault::None ? fault : examineAncestors(resolved);
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
            if (fault.kind != MediumFault::None)
                return fault;
        }
        return {};
    }

    const std::vector<uid_t>& trusted_;
    std::set<std::string> ancestorsSeen_;
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
