// Texts of the database with values put in.
#pragma once

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
