// Reading the wizard's support files from the installation medium. The medium
// may be damaged or made to harm: a name may stand for a FIFO or a device, and
// a file may be of any size.
#pragma once

#include <cstddef>
#include <string>

// Reads the first `limit` bytes of the regular file at `path` into `*bytes`
// and sets `*longer` when the file holds more. Opening never blocks: a FIFO,
// device, directory or socket is refused unread. Returns false, with `*bytes`
// empty and `*longer` false, when the file cannot be opened or read or is not
// a regular file.
bool readMediumFile(const char* path, std::size_t limit, std::string* bytes, bool* longer);
