// Whole files, read and written the one way every part of the wizard and its tools does:
// a bounded read that never waits on what is not a regular file, a write beside the
// target that is renamed over it, new files made exclusively, and the names the wizard
// makes in directories other users can write to (such as /tmp). The wizard runs as root
// there: whatever another user left at one of its names (a link, a FIFO, a directory, a
// file of their own) is never followed, opened, written through or trusted. Descriptors
// are owned (services/descriptor.h).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "services/descriptor.h"

// Whether the last component of a path may be a symbolic link.
enum class Links { Follow, Refuse };

// Reads the first `limit` bytes of the regular file at `path` into `*bytes` and sets
// `*longer` (when given) if the file holds more. Opening never waits: a FIFO, device,
// directory or socket is refused unread, and with Links::Refuse a link too. False, with
// `*bytes` empty and `*longer` false, when the file cannot be opened or read or is not a
// regular file; errno then says why (EINVAL for a file of another type).
bool readRegularFile(const std::string& path, std::size_t limit, std::string* bytes,
                     bool* longer = nullptr, Links links = Links::Follow);

// Which file a name stood for when this process made it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool made = false;
};

// How placeFile writes.
struct PlaceOptions {
    explicit PlaceOptions(mode_t mode = 0644, FileIdentity* made = nullptr)
        : mode(mode), made(made) {}

    mode_t mode;
    // Flushed to the disk before it is renamed over the name, so that a crash leaves the
    // old file or the new one whole.
    bool durable = false;
    // Records the new file.
    FileIdentity* made;
    // Given, a directory at the name does not stop the write: it is first renamed, whole
    // and as it is, to a new name beside it (see moveDirectoryAside), which this receives
    // (empty when there was none).
    std::string* movedAside = nullptr;
    // Why the write failed, in words naming the file.
    std::string* error = nullptr;
};

// Makes `path` a new regular file of this process's user with `content`: written under a
// fresh name beside it ("<path>.tmp.XXXXXX", made exclusively), then renamed over `path`,
// which replaces (never follows) whatever stood there. False when that is not possible,
// for example with a directory at the name or no room left; nothing is left behind then.
bool placeFile(const std::string& path, const std::string& content,
               const PlaceOptions& options = PlaceOptions());

// Renames a directory that stands at `path` (not a link to one) to a new name beside it,
// "<path>.XXXXXX", and returns that name; the empty string when there is no directory
// there or it cannot be moved. The new name is made exclusively first, so nothing that
// another user made is replaced or entered.
std::string moveDirectoryAside(const std::string& path);

// Removes `path` when it is still the file `made` records; anything else at that name
// is left alone.
void removeOwnFile(const std::string& path, const FileIdentity& made);

// Makes a new directory from `templatePath` (ending in six X) that only this user can
// enter. Returns its path, or the empty string when it cannot be made.
std::string makePrivateDirectory(const std::string& templatePath);

// Creates `path` exclusively (never through a link) with permission bits `mode` and
// writes `content`. False when the name exists or the content did not reach the file
// whole. Meant for names inside a private directory.
bool writeNewFile(const std::string& path, const std::string& content, mode_t mode);

// Copies the regular file at `from` (never a FIFO or a device, never through a link at
// its last component) to the new file `to`, made exclusively with permission bits `mode`,
// and gives the SHA-256 of the bytes copied as lowercase hex in `*sha256`: the digest is
// of the copy, whatever happens to `from` meanwhile. False, with nothing left at `to`,
// when any of it fails.
bool copyRegularFile(const std::string& from, const std::string& to, mode_t mode,
                     std::string* sha256);

// Writes all of `content` to `fd`; false on an error (errno says which).
bool writeAll(int fd, const std::string& content);

// The working directory (the medium, once the programs entered it) as the kernel names
// it: its physical path, never $PWD, which the caller's environment sets and which may
// name it through links another account can retarget. "" when it cannot be named.
std::string currentDirectory();
