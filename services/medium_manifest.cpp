#include "services/medium_manifest.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>

#include "services/descriptor.h"

const char* const ManifestName = "SHA256SUMS";

namespace {

const std::size_t DigestLength = 64;
const std::size_t PathLimit = 4095;
// The walk for unlisted files stops there: no medium comes near it.
const std::size_t WalkEntryLimit = 100000;
const int WalkDepthLimit = 32;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// sha256sum's escapes in a line that starts with '\': "\\" and "\n" (and "\r" of newer
// versions). False on any other.
bool unescapePath(const std::string& text, std::string* path) {
    path->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *path += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
            case '\\':
                *path += '\\';
                break;
            case 'n':
                *path += '\n';
                break;
            case 'r':
                *path += '\r';
                break;
            default:
                return false;
        }
    }
    return true;
}

// The path with its "." components left out; false for a path that cannot name a file
// beneath the root.
bool normalPath(const std::string& path, std::string* normal) {
    normal->clear();
    if (path.empty() || path.size() > PathLimit || path[0] == '/')
        return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7f)
            return false;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
        if (part.empty() || part == "..")
            return false;
        if (part != ".")
            *normal += (normal->empty() ? "" : "/") + part;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return !normal->empty();
}

// One line; false with `fault` set when it is wrong.
bool parseLine(const std::string& line, ManifestEntry* entry, ManifestFault* fault) {
    *fault = ManifestFault::Format;
    const bool escaped = !line.empty() && line[0] == '\\';
    const std::string text = escaped ? line.substr(1) : line;
    if (text.size() < DigestLength + 3 || text[DigestLength] != ' ' ||
        (text[DigestLength + 1] != ' ' && text[DigestLength + 1] != '*'))
        return false;
    if (!std::all_of(text.begin(), text.begin() + DigestLength, isHexDigit))
        return false;
    std::string path = text.substr(DigestLength + 2);
    if (escaped && !unescapePath(text.substr(DigestLength + 2), &path))
        return false;
    *fault = ManifestFault::BadPath;
    if (!normalPath(path, &entry->path))
        return false;
    entry->digest = text.substr(0, DigestLength);
    std::transform(entry->digest.begin(), entry->digest.end(), entry->digest.begin(),
                   [](char c) { return static_cast<char>(g_ascii_tolower(c)); });
    return true;
}

struct ChecksumFree {
    void operator()(GChecksum* checksum) const { g_checksum_free(checksum); }
};

std::string digestOf(const std::string& bytes) {
    std::unique_ptr<GChecksum, ChecksumFree> checksum(g_checksum_new(G_CHECKSUM_SHA256));
    g_checksum_update(checksum.get(), reinterpret_cast<const guchar*>(bytes.data()),
                      static_cast<gssize>(bytes.size()));
    return g_checksum_get_string(checksum.get());
}

// The SHA-256 of what `fd` holds from where it stands, read in pieces; false on a read
// error.
bool digestOf(int fd, std::string* digest) {
    std::unique_ptr<GChecksum, ChecksumFree> checksum(g_checksum_new(G_CHECKSUM_SHA256));
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        g_checksum_update(checksum.get(), reinterpret_cast<const guchar*>(buffer), n);
    }
    *digest = g_checksum_get_string(checksum.get());
    return true;
}

// Opens the regular file `path` beneath the directory `root`, looking at every name on
// the way before it is opened: a link is never followed, and a FIFO or device never
// opened. Ok with `*file` set, or the state that says why not.
FileState openBeneath(int root, const std::string& path, Descriptor* file) {
    Descriptor directory;
    int at = root;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string name = path.substr(start, last ? slash : slash - start);
        struct stat info;
        if (fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? FileState::Missing : FileState::Unreadable;
        if (S_ISLNK(info.st_mode))
            return FileState::NotRegular;
        if (last && !S_ISREG(info.st_mode))
            return FileState::NotRegular;
        if (!last && !S_ISDIR(info.st_mode))
            return FileState::Missing;
        const int flags = last ? O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC
                               : O_RDONLY | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC;
        Descriptor opened(openat(at, name.c_str(), flags));
        if (!opened.valid())
            return errno == ENOENT ? FileState::Missing : FileState::NotRegular;
        if (last) {
            // It may have been swapped since it was looked at.
            if (fstat(opened.get(), &info) != 0 || !S_ISREG(info.st_mode))
                return FileState::NotRegular;
            *file = std::move(opened);
            return FileState::Ok;
        }
        directory = std::move(opened);
        at = directory.get();
        start = slash + 1;
    }
}

FileCheck checkListedFile(int root, const ManifestEntry& entry) {
    FileCheck check{entry.path, FileState::Ok, entry.digest, ""};
    Descriptor file;
    check.state = openBeneath(root, entry.path, &file);
    if (check.state != FileState::Ok)
        return check;
    if (!digestOf(file.get(), &check.found))
        check.state = FileState::Unreadable;
    else if (check.found != check.expected)
        check.state = FileState::Differs;
    return check;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Collects every name beneath the directory `directory` (which this takes) that is not a
// directory itself (links not followed) and not in `listed`. False when the tree is
// larger or deeper than the walk goes.
bool collectUnlisted(int directory, const std::string& prefix, int depth,
                     const std::set<std::string>& listed, std::size_t* seen,
                     std::vector<std::string>* unlisted) {
    Descriptor owned(directory);
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(directory));
    if (!dir)
        return true;  // a directory that cannot be read holds nothing an install can use
    owned.release();  // the stream closes it now
    while (struct dirent* item = readdir(dir.get())) {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        if (++*seen > WalkEntryLimit)
            return false;
        const std::string path = prefix.empty() ? name : prefix + "/" + name;
        struct stat info;
        if (fstatat(dirfd(dir.get()), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode)) {
            if (depth == WalkDepthLimit)
                return false;
            int sub = openat(dirfd(dir.get()), name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0 && !collectUnlisted(sub, path, depth + 1, listed, seen, unlisted))
                return false;
        } else if (path != ManifestName && !listed.count(path)) {
            unlisted->push_back(path);
        }
    }
    return true;
}

// Reads the list at the root; Read with `*text` set, or the state that says why not.
ManifestState readManifest(int root, std::string* text) {
    Descriptor file;
    const FileState state = openBeneath(root, ManifestName, &file);
    if (state == FileState::Missing)
        return ManifestState::Absent;
    if (state != FileState::Ok)
        return ManifestState::Unreadable;
    text->clear();
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ManifestState::Unreadable;
        if (n == 0)
            return ManifestState::Read;
        if (text->size() + static_cast<std::size_t>(n) > kManifestLimit)
            return ManifestState::TooLarge;
        text->append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

ParsedManifest parseManifest(const std::string& text) {
    ParsedManifest parsed;
    std::set<std::string> seen;
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        ManifestEntry entry;
        ManifestFault fault;
        if (!parseLine(line, &entry, &fault))
            parsed.errors.push_back({number, fault});
        else if (!seen.insert(entry.path).second)
            parsed.errors.push_back({number, ManifestFault::Duplicate});
        else
            parsed.entries.push_back(std::move(entry));
    }
    return parsed;
}

bool MediumCheck::acceptable() const {
    if (manifest == ManifestState::Absent)
        return true;
    return manifest == ManifestState::Read && !walkIncomplete &&
           std::all_of(files.begin(), files.end(),
                       [](const FileCheck& file) { return file.state == FileState::Ok; });
}

MediumCheck checkMedium(const std::string& directory, const ManifestProgress& progress) {
    MediumCheck check;
    Descriptor root(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) {
        check.manifest = ManifestState::Unreadable;
        return check;
    }
    std::string text;
    check.manifest = readManifest(root.get(), &text);
    if (check.manifest != ManifestState::Read)
        return check;
    check.manifestDigest = digestOf(text);
    ParsedManifest parsed = parseManifest(text);
    if (!parsed.errors.empty()) {
        check.manifest = ManifestState::Malformed;
        check.lineErrors = std::move(parsed.errors);
        return check;
    }
    std::set<std::string> listed;
    for (const ManifestEntry& entry : parsed.entries) {
        check.files.push_back(checkListedFile(root.get(), entry));
        listed.insert(entry.path);
        if (progress)
            progress(check.files.size(), parsed.entries.size());
    }
    std::vector<std::string> unlisted;
    std::size_t seen = 0;
    const int top = openat(root.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    check.walkIncomplete = top < 0 || !collectUnlisted(top, "", 0, listed, &seen, &unlisted);
    std::sort(unlisted.begin(), unlisted.end());
    for (std::string& path : unlisted)
        check.files.push_back({std::move(path), FileState::Unlisted, "", ""});
    return check;
}
