// An in-memory File_C: files live in a MemoryDisk keyed by path. It carries
// databases that are not on disk (the programs' built-in texts) and, in tests,
// makes every failure path reachable: the disk can make its n-th operation
// (open, read, write, seek or peek) fail.
#ifndef STAGE3_RESDB_MEMORY_FILE_H
#define STAGE3_RESDB_MEMORY_FILE_H

#include <map>
#include <string>

#include "resdb/file.h"

struct MemoryDisk {
    std::map<std::string, std::string> files;
    unsigned long operations = 0;  // operations performed so far
    unsigned long failAt = 0;      // 1-based operation to fail; 0 never fails

    // Counts one operation; true when it is the one to fail.
    bool Fails() { return ++operations == failAt; }
};

class MemoryFile_C : public File_C {
  public:
    explicit MemoryFile_C(MemoryDisk& disk) : disk(disk) {}

    bool Open(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
              ACCESS_MODE accessMode, SHARE_MODE shareMode) override;
    bool IsOpen() override { return open; }
    bool Close() override;
    unsigned long Read(void* buffer, unsigned long count) override;
    unsigned long Write(const void* buffer, unsigned long count) override;
    unsigned long long Seek(unsigned long long offset, SEEK_MODE mode) override;
    unsigned long long Peek() override;

  private:
    MemoryDisk& disk;
    std::string path;
    bool open = false;
    bool writable = false;
    unsigned long long position = 0;
};

// While alive, File_C::Alloc hands out MemoryFile_C objects on `disk`.
class MemoryDiskScope {
  public:
    explicit MemoryDiskScope(MemoryDisk& disk);
    ~MemoryDiskScope();

  private:
    File_C::Allocator previous;
};

#endif
