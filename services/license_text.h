// The medium's license agreement ("license.txt"), read with limits for every front end.
#pragma once

#include <cstddef>
#include <string>

// The most of "license.txt" that is read and shown, in bytes.
const std::size_t LicenseFileLimit = 1024 * 1024;

// Reads "license.txt" into `*text` as its bytes are (no conversion), cut at the first
// NUL, of at most LicenseFileLimit bytes, with its lines folded: the newlines at the end
// removed and every single line break turned into a blank, so that a view re-flows
// paragraphs by word wrap; a pair of line breaks (a blank line) stays as the paragraph
// break. `*cut` tells whether the limit cut the text (at a UTF-8 character boundary), so
// that the view says so. False, with `*text` empty, when the file is not found or cannot
// be read.
bool readLicenseFile(std::string* text, bool* cut);
