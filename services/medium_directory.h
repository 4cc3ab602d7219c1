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
        BrokenLink         // `path` is a link to nothing: whoever makes its target decides
    };
    Kind kind = None;
    std::string path;
    uid_t owner = 0;
};

// Looks at the medium directory `directory`, at every directory above it, and at every
// entry in it and in its subdirectories (through links, and the directories above what
// a link leads to). Each must belong to one of `trusted` and be writable by no one else;
// a directory above may be writable by others when its sticky bit keeps them from
// renaming entries that are not theirs (/tmp). The first fault found, or kind None.
MediumFault findMediumFault(const std::string& directory, const std::vector<uid_t>& trusted);

// The accounts a medium that root installs from may belong to: root, and the account
// that ran sudo or pkexec to become root (SUDO_UID, PKEXEC_UID).
std::vector<uid_t> trustedMediumOwners();
