// Files at fixed names in a directory that every user can write to, such as /tmp.
// The wizard runs as root there: whatever another user left at one of its names (a
// link, a FIFO, a directory, a file of their own) must never be followed, opened,
// written through or trusted.
#pragma once

#include <sys/types.h>

#include <string>

// Which file a name stood for when this process made it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool made = false;
};

// Makes `path` a new regular file of this process's user with `content` and permission
// bits `mode`: the file is written under a fresh name beside it, made exclusively, and
// then renamed over `path`, which replaces (never follows) whatever stood there. False
// when that is not possible, for example with a directory at the name or no room left;
// nothing is left behind then. `made` (if given) records the new file. With `movedAside`
// given, a directory at the name does not stop it: it is first renamed, whole and as it
// is, to a new name beside it (see moveDirectoryAside), which `movedAside` receives
// (empty when there was none).
bool placeFile(const char* path, const std::string& content, mode_t mode, FileIdentity* made,
               std::string* movedAside = nullptr);

// Renames a directory that stands at `path` (not a link to one) to a new name beside it,
// "<path>.XXXXXX", and returns that name; the empty string when there is no directory
// there or it cannot be moved. The new name is made exclusively first, so nothing that
// another user made is replaced or entered.
std::string moveDirectoryAside(const char* path);

// Removes `path` when it is still the file `made` records; anything else at that name
// is left alone.
void removeOwnFile(const char* path, const FileIdentity& made);

// Makes a new directory from `templatePath` (ending in six X) that only this user can
// enter. Returns its path, or the empty string when it cannot be made.
std::string makePrivateDirectory(const char* templatePath);

// Creates `path` exclusively (never through a link) with permission bits `mode` and
// writes `content`. False when the name exists or the content did not reach the file
// whole. Meant for names inside a private directory.
bool writeNewFile(const std::string& path, const std::string& content, mode_t mode);

// Reads at most `limit` bytes of the regular file `path` (no link followed, no FIFO or
// device opened). False when it is no such file or cannot be read.
bool readSmallFile(const std::string& path, std::size_t limit, std::string* content);
