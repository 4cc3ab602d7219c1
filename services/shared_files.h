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
// nothing is left behind then. `made` (if given) records the new file.
bool placeFile(const char* path, const std::string& content, mode_t mode, FileIdentity* made);

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
