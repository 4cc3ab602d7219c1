#include "services/file_search.h"

#include <glib.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "services/glib_memory.h"

// process-wide: the language of the process's environment (LANG), taken once at
// start-up; every search of the medium's files in every layer looks there first.
char localeSubdirectory[3] = "";

namespace {

constexpr std::size_t kPathBufferSize = 256;

bool isRegularFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

// glob without flags; the result is released by the caller through globfree
// even when the expansion failed.
bool expand(const char* pattern, glob_t* matches) {
    return glob(pattern, 0, nullptr, matches) == 0 && matches->gl_pathc > 0;
}

}  // namespace

void setLocaleSubdirectory() {
    const char* lang = std::getenv("LANG");
    if (lang == nullptr || std::strcmp(lang, "C") == 0)
        lang = "en_US";
    // Only a language code names a subdirectory: LANG="..", "/x" or "PO" must not
    // point the search at another directory.
    auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    if (lower(lang[0]) && lower(lang[1])) {
        localeSubdirectory[0] = lang[0];
        localeSubdirectory[1] = lang[1];
        localeSubdirectory[2] = '\0';
    } else {
        localeSubdirectory[0] = '\0';
    }
}

char* findFile(const char* name) {
    if (name == nullptr)
        return nullptr;
    // Large enough for the longer candidate, sub/name. Every candidate is composed
    // directly in it, so no length limit applies to name.
    const std::size_t size = std::strlen(localeSubdirectory) + std::strlen(name) + 2;
    GCharPtr path(static_cast<char*>(g_malloc(size)));
    if (localeSubdirectory[0] != '\0') {
        std::snprintf(path.get(), size, "%s/%s", localeSubdirectory, name);
        if (isRegularFile(path.get()))
            return path.release();
    }
    std::snprintf(path.get(), size, "%s", name);
    return isRegularFile(path.get()) ? path.release() : nullptr;
}

std::string globEscape(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '*' || c == '?' || c == '[')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

bool resolveFilename(const char* pattern, char* out, int outSize) {
    if (pattern == nullptr || out == nullptr || outSize <= 0)
        return false;
    const std::size_t patternLength = std::strlen(pattern);
    // The working directory, "/" and the pattern share one 255-character
    // buffer; a pattern that leaves no room for a directory cannot succeed.
    if (patternLength + 1 >= kPathBufferSize - 1)
        return false;

    char buffer[kPathBufferSize];
    if (getcwd(buffer, kPathBufferSize - 1 - (patternLength + 1)) == nullptr)
        return false;
    // Directories are taken literally; only the pattern is a pattern.
    std::string candidate = globEscape(buffer) + "/" + pattern;

    glob_t matches{};
    bool found = expand(candidate.c_str(), &matches);
    bool copied = false;
    if (found && std::strlen(matches.gl_pathv[0]) < static_cast<std::size_t>(outSize)) {
        std::strcpy(out, matches.gl_pathv[0]);
        copied = true;
    }
    globfree(&matches);
    return copied;
}
