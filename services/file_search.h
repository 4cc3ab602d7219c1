// Search for the wizard's support files: next to the working directory and
// next to the program, each with an optional per-language subdirectory.
#pragma once

#include <string>

// Directory part of the program's invocation path, without the trailing
// slash; "." when the path holds no slash.
extern char orgDirectory[256];
// The first two characters of LANG when both are lower-case letters a to z ("en"
// when LANG is unset or exactly "C"); empty otherwise, and then no locale
// subdirectory is searched.
extern char localeSubdirectory[3];

// Records the program directory and the locale subdirectory; called once at
// start-up with the program's invocation path. A program directory longer than
// orgDirectory can hold is not recorded (orgDirectory keeps its value), so the
// program directory candidates then name the current directory.
void setSearchDirectories(const char* programPath);

// Path of the best existing regular file called `name` (symbolic links
// followed), tried in this order: localeSubdirectory/name, name,
// orgDirectory/localeSubdirectory/name, orgDirectory/name (the subdirectory
// candidates only when localeSubdirectory is not empty). The result is
// allocated with g_malloc and released by the caller with g_free; null when no
// candidate qualifies.
char* findFile(const char* name);

// Expands the shell wildcard `pattern` in the current directory and, when that
// finds nothing, in orgDirectory. On success copies the first match (in sorted
// order) into `out`, whose capacity is `outSize` bytes including the
// terminator, and returns true. Returns false, leaving `out` untouched, when
// the working directory plus pattern do not fit 255 characters, nothing
// matches, or the match does not fit `out`.
bool resolveFilename(const char* pattern, char* out, int outSize);

// text with the shell wildcard characters (\ * ? [) escaped, so that glob matches it
// literally: for the directory part of a pattern.
std::string globEscape(const std::string& text);
