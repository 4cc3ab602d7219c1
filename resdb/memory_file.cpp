#include "resdb/memory_file.h"

#include <cstring>

namespace {

// process-wide: the disk the allocator (a plain function, without user data) makes its
// files on, while it is installed.
MemoryDisk* activeDisk = nullptr;

File_C* allocMemoryFile() {
    return new MemoryFile_C(*activeDisk);
}

}  // namespace

bool MemoryFile_C::Open(const char* name, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                        ACCESS_MODE accessMode, SHARE_MODE) {
    Close();
    if (disk.Fails())
        return false;
    auto found = disk.files.find(name);
    if (found == disk.files.end()) {
        if (ifDoesntExist != DOESNT_EXIST_CREATE)
            return false;
        disk.files[name];
    } else if (ifExists == EXISTS_FAIL && ifDoesntExist == DOESNT_EXIST_CREATE) {
        return false;
    } else if (ifExists == EXISTS_TRUNCATE) {
        found->second.clear();
    }
    path = name;
    open = true;
    writable = accessMode != ACCESS_READ;
    position = 0;
    return true;
}

bool MemoryFile_C::Close() {
    open = false;
    return true;
}

unsigned long MemoryFile_C::Read(void* buffer, unsigned long count) {
    if (!open || disk.Fails())
        return 0;
    const std::string& contents = disk.files[path];
    if (position >= contents.size())
        return 0;
    unsigned long available = static_cast<unsigned long>(contents.size() - position);
    unsigned long got = count < available ? count : available;
    std::memcpy(buffer, contents.data() + position, got);
    position += got;
    return got;
}

unsigned long MemoryFile_C::Write(const void* buffer, unsigned long count) {
    if (!open || !writable || disk.Fails())
        return 0;
    std::string& contents = disk.files[path];
    if (contents.size() < position + count)
        contents.resize(position + count, '\0');
    std::memcpy(&contents[position], buffer, count);
    position += count;
    return count;
}

unsigned long long MemoryFile_C::Seek(unsigned long long offset, SEEK_MODE mode) {
    if (!open || disk.Fails())
        return 0;
    unsigned long long base = 0;
    if (mode == FROM_CURRENT)
        base = position;
    else if (mode == FROM_END)
        base = disk.files[path].size();
    position = base + offset;
    return position;
}

unsigned long long MemoryFile_C::Peek() {
    if (!open || disk.Fails())
        return 0;
    return position;
}

MemoryDiskScope::MemoryDiskScope(MemoryDisk& disk) {
    activeDisk = &disk;
    previous = File_C::SetAllocator(allocMemoryFile);
}

MemoryDiskScope::~MemoryDiskScope() {
    File_C::SetAllocator(previous);
    activeDisk = nullptr;
}
