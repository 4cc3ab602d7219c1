// The installation medium's directory: where the programs find every file they read
// (the programs enter it at start-up), and whether an account other than the trusted
// ones could change what is there while root installs from it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The directory of the running program's own file (/proc/self/exe, links resolved);
// empty when it cannot be read.
std::string programDirectory();

// What lets another account change a medium.
struct MediumFault {
    enum Kind {
        None,
        ForeignOwner,      // `path` belongs to an account that is not trusted (`owner`)
        WritableByOthers,  // `path` can be written by its group or by everyone
        BrokenLink,        // `path` is a link to nothing: whoever makes its target decides
        NotAFile,          // `path`, a program to run, is a link or not a regular file
        UnknownImage       // `path` is on a loop device whose image file cannot be found
    };
    Kind kind = None;
    std::string path;
    uid_t owner = 0;
};

// Looks at the medium directory `directory`, at every directory above it, and at every
// entry in it and in its subdirectories (through links, and the directories above what
// a link leads to). Each must belong to one of `trusted` and be writable by no one else;
// a directory above may be writable by others when its sticky bit keeps them from
// renaming entries that are not theirs (/tmp). A file system on a loop device is only
// as safe as its image file: that file and the directories above it are judged the
// same way (whoever can write the image rewrites a read-only mount's files at will), and
// an image that cannot be found (deleted, or named in another mount namespace) is a
// fault, since who can write it is not known. The first fault found, or kind None.
MediumFault findMediumFault(const std::string& directory, const std::vector<uid_t>& trusted);

// The image file behind the loop device `device` (or behind the loop device a partition
// `device` is on), as `blockDevices` (/sys/dev/block) names it.
enum class LoopImage {
    None,     // `device` is not a loop device
    Found,    // `*image` names its image file
    Unknown,  // a loop device whose image file cannot be named, or has been deleted
};
LoopImage loopImageFile(const std::string& blockDevices, dev_t device, std::string* image);

// Opens the program file at `path` to run it from the descriptor (fexecve), so that the
// file judged is the file run. It must be a regular file, not a link; with `trusted`
// not empty it must also belong to one of `trusted` and be writable by no one else, as
// must the directories above it (as findMediumFault judges them). Returns the
// descriptor (close-on-exec, unless the file is a script, whose interpreter reads it
// through /dev/fd), or -1 with `*fault` saying why (kind None: it cannot be opened, and
// errno says why).
int openTrustedProgram(const std::string& path, const std::vector<uid_t>& trusted,
                       MediumFault* fault);

// The accounts a medium that root installs from may belong to: root, and the account
// that ran sudo or pkexec to become root (SUDO_UID, PKEXEC_UID).
std::vector<uid_t> trustedMediumOwners();
