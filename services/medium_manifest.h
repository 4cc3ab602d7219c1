// The medium's digest list, SHA256SUMS at its root: one line per file of the medium but
// itself, as sha256sum writes it ("<64 hex digits>  <path relative to the root>", a '*'
// in place of the second blank for a file read in binary mode, and a leading '\' where
// the path holds an escaped backslash or newline). A medium made before it existed has
// none, and is taken as it is.
//
// The medium may have been changed after its list was made, or made to harm: its list
// may be of any size or hold any bytes, and its names may stand for links, FIFOs or
// devices. Nothing here follows a link or opens anything but a regular file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

extern const char* const ManifestName;  // "SHA256SUMS"

// The largest digest list read; a longer one is refused whole.
const std::size_t kManifestLimit = 1024 * 1024;

enum class ManifestFault {
    Format,     // not "<64 hex digits><blank><blank or *><path>", or a bad escape
    BadPath,    // empty, absolute, with a ".." or empty component, a control character,
                // or longer than 4095 bytes
    Duplicate,  // a path listed before
};

struct ManifestLineError {
    std::size_t line;  // counted from 1
    ManifestFault fault;
};

struct ManifestEntry {
    std::string path;    // relative, "." components left out
    std::string digest;  // 64 lower-case hex digits
};

struct ParsedManifest {
    std::vector<ManifestEntry> entries;  // in the list's order
    std::vector<ManifestLineError> errors;
};

// Every line of `text` is checked; empty lines are skipped.
ParsedManifest parseManifest(const std::string& text);

enum class ManifestState {
    Absent,      // no SHA256SUMS: a medium of before
    Unreadable,  // not a regular file (a link, a FIFO ...), or it could not be read
    TooLarge,    // longer than kManifestLimit
    Malformed,   // a line is wrong (see `lineErrors`); no file was checked
    Read,
};

enum class FileState {
    Ok,
    Differs,     // `found` is not `expected`
    Missing,     // listed, but no such file
    NotRegular,  // listed, but a link (or a path through one), FIFO, device or directory
    Unreadable,  // listed, but opening or reading it failed
    Unlisted,    // on the medium, not in the list: an install must not use it
};

struct FileCheck {
    std::string path;  // relative to the medium's root
    FileState state;
    std::string expected;  // the listed digest; empty for an unlisted file
    std::string found;     // the file's digest when it was read
};

struct MediumCheck {
    ManifestState manifest = ManifestState::Absent;
    std::string manifestDigest;  // SHA-256 of the list as read
    std::vector<ManifestLineError> lineErrors;
    // The listed files in the list's order, then the unlisted ones sorted by path.
    std::vector<FileCheck> files;
    // The medium's tree was too large or deep to be walked whole for unlisted files.
    bool walkIncomplete = false;

    // True for a medium without a list, and for one whose listed files all match and
    // which holds nothing else.
    bool acceptable() const;
};

// Called after each listed file with the number done and the number listed.
using ManifestProgress = std::function<void(std::size_t done, std::size_t total)>;

// Checks the medium whose root is `directory` against its SHA256SUMS.
MediumCheck checkMedium(const std::string& directory, const ManifestProgress& progress = {});
