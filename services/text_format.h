// Texts of the database with values put in, times as text, and texts cut to a
// number of characters for display.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

// `text` with each "%s", in order, replaced by the next of `values` (as they are).
// Texts come from the medium: nothing else in them is a format directive, and a text
// with fewer "%s" than values just leaves the rest out.
std::string fillText(const std::string& text, const std::vector<std::string>& values);

// `when` in UTC by the strftime `format` ("%Y-%m-%dT%H:%M:%SZ", say); "" for a time gmtime
// cannot break down.
std::string formatUtcTime(std::time_t when, const char* format);

// How the bytes of a text being cut form characters: by the locale (the string
// service's texts, a terminal's), or as UTF-8 (what widgets take).
enum class TextEncoding { Locale, Utf8 };

// The bytes of the first `maxCharacters` characters of `text` (of `size` bytes). A byte
// that forms no character counts as one.
std::size_t charactersLength(const char* text, std::size_t size, std::size_t maxCharacters,
                             TextEncoding encoding);

// `text` without what follows its first `maxCharacters` characters.
std::string cutToCharacters(const std::string& text, std::size_t maxCharacters,
                            TextEncoding encoding = TextEncoding::Locale);
