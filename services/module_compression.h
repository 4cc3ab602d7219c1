// A compressed kernel module (*.ko.xz, *.ko.zst, *.ko.gz) unpacked in this process, with a
// bound on what it may unpack to: a module from a medium may be made to unpack to
// gigabytes from a few kilobytes, and is then refused without ever being held whole.
#pragma once

#include <cstddef>
#include <string>

enum ModuleUnpack {
    MODULE_UNPACKED = 0,   // `out` holds the module's bytes
    MODULE_TOO_LARGE = 1,  // it unpacks to more than the bound
    MODULE_DAMAGED = 2,    // its compressed data is damaged, cut short or of another kind
};

// The compression a module file name says it has: "xz", "zst", "gz", or "" for none.
std::string moduleCompression(const std::string& fileName);

// The most a module file may hold when it unpacks to no more than `unpackedLimit`: the
// compressed form of data that does not compress is a little larger than the data.
size_t packedSizeLimit(size_t unpackedLimit);

// Unpacks `packed` as `compression` says (moduleCompression; "" copies it) into `out`,
// never past `limit` bytes: a stream that would give more is MODULE_TOO_LARGE, found
// after at most `limit` + 1 bytes were made. Streams one after another are read as the
// compressing tools read them, the bound counting all of them.
int unpackModule(const std::string& compression, const std::string& packed, size_t limit,
                 std::string* out);
