// Search for the wizard's support files on the medium. The medium is the working
// directory: the programs enter it at start-up, so nothing of the directory a user
// started them from is ever searched.
#pragma once

#include <string>

// The first two characters of LANG when both are lower-case letters a to z ("en"
// when LANG is unset or exactly "C"); empty otherwise, and then no locale
// subdirectory is searched.
extern char localeSubdirectory[3];

// Records the locale subdirectory from LANG; called once at start-up.
void setLocaleSubdirectory();

// Path of the best existing regular file called `name` (symbolic links
// followed) in the medium directory, tried in this order: localeSubdirectory/name,
// name (the subdirectory candidate only when localeSubdirectory is not empty). The
// result is relative to the medium directory, allocated with g_malloc and released
// by the caller with g_free; null when no candidate qualifies.
char* findFile(const char* name);

// Expands the shell wildcard `pattern` in the medium directory. On success copies
// the first match (in sorted order, an absolute path) into `out`, whose capacity is
// `outSize` bytes including the terminator, and returns true. Returns false, leaving
// `out` untouched, when the directory plus pattern do not fit 255 characters,
// nothing matches, or the match does not fit `out`.
bool resolveFilename(const char* pattern, char* out, int outSize);

// text with the shell wildcard characters (\ * ? [) escaped, so that glob matches it
// literally: for the directory part of a pattern.
std::string globEscape(const std::string& text);
