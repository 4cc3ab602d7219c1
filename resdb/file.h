// File access layer of the resource database: an abstract file with positioned
// reads and writes of raw bytes, and its POSIX implementation.
//
// Nothing here throws and nothing keeps an error state: every failure shows
// only in the result (false, a count of 0 or a short count, a position of 0).
#ifndef STAGE3_RESDB_FILE_H
#define STAGE3_RESDB_FILE_H

#include <string>

class File_C {
  public:
    // The numeric values are part of the interface: callers may pass them as numbers.
    enum IF_DOESNT_EXIST { DOESNT_EXIST_CREATE = 0, DOESNT_EXIST_FAIL = 1 };
    enum IF_EXISTS { EXISTS_OPEN = 0, EXISTS_TRUNCATE = 1, EXISTS_FAIL = 2 };
    enum ACCESS_MODE { ACCESS_READ = 0, ACCESS_READ_WRITE = 1 };
    enum SHARE_MODE { SHARE_NONE = 0, SHARE_READ = 1 };
    enum SEEK_MODE { FROM_BEGIN = 0, FROM_CURRENT = 1, FROM_END = 2 };

    static const char pathChar;         // '/'
    static const char* const curDir_P;  // "./"

    // A new, closed file of the platform's implementation; the caller owns it
    // and destroys it through a File_C pointer.
    static File_C* Alloc();
    // Replaces the implementation Alloc hands out, so that tests can put an
    // in-memory file under the database; null restores UnixFile_C. Returns the
    // allocator replaced.
    typedef File_C* (*Allocator)();
    static Allocator SetAllocator(Allocator allocator);
    static bool Exists(const char* path);
    static bool Delete(const char* path);
    // Size in bytes, or 0 when the path cannot be examined.
    static unsigned long long Size(const char* path);
    // Why Open refused `path`, in words for a message: "is a directory" or
    // "not a regular file" when the path names something else than a regular
    // file, else the system's text for `openErrno` (errno as the failed Open
    // left it); "" when neither tells anything.
    static std::string WhyNotOpened(const char* path, int openErrno);

    // Closes any file held before; true when the file is open afterwards.
    virtual bool Open(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
                      ACCESS_MODE accessMode, SHARE_MODE shareMode) = 0;
    virtual bool IsOpen() = 0;
    virtual bool Close() = 0;
    // Number of bytes transferred; 0 on failure or while closed. A short count
    // is returned as it is, without retrying.
    virtual unsigned long Read(void* buffer, unsigned long count) = 0;
    virtual unsigned long Write(const void* buffer, unsigned long count) = 0;
    // New position; 0 on failure or while closed.
    virtual unsigned long long Seek(unsigned long long offset, SEEK_MODE mode) = 0;
    // Current position; 0 on failure or while closed.
    virtual unsigned long long Peek() = 0;
    virtual ~File_C();

    // Conveniences forwarding to Open; the defaults describe the usual intent.
    bool OpenRead(const char* path, IF_DOESNT_EXIST ifDoesntExist = DOESNT_EXIST_FAIL,
                  IF_EXISTS ifExists = EXISTS_OPEN, ACCESS_MODE accessMode = ACCESS_READ,
                  SHARE_MODE shareMode = SHARE_READ);
    bool OpenWrite(const char* path, IF_DOESNT_EXIST ifDoesntExist = DOESNT_EXIST_CREATE,
                   IF_EXISTS ifExists = EXISTS_OPEN, ACCESS_MODE accessMode = ACCESS_READ_WRITE,
                   SHARE_MODE shareMode = SHARE_NONE);
    bool OpenTrunc(const char* path, IF_DOESNT_EXIST ifDoesntExist = DOESNT_EXIST_CREATE,
                   IF_EXISTS ifExists = EXISTS_TRUNCATE, ACCESS_MODE accessMode = ACCESS_READ_WRITE,
                   SHARE_MODE shareMode = SHARE_NONE);
    bool OpenNew(const char* path, IF_DOESNT_EXIST ifDoesntExist = DOESNT_EXIST_CREATE,
                 IF_EXISTS ifExists = EXISTS_FAIL, ACCESS_MODE accessMode = ACCESS_READ_WRITE,
                 SHARE_MODE shareMode = SHARE_NONE);

    unsigned long long SeekBegin(unsigned long long offset);
    unsigned long long SeekCurrent(unsigned long long offset);
    unsigned long long SeekEnd(unsigned long long offset);
};

// A file over a POSIX descriptor. Every Read and Write is exactly one system
// call; offsets are passed to lseek as 32-bit values.
class UnixFile_C : public File_C {
  public:
    UnixFile_C();
    ~UnixFile_C() override;
    UnixFile_C(const UnixFile_C&) = delete;
    UnixFile_C& operator=(const UnixFile_C&) = delete;

    bool Open(const char* path, IF_DOESNT_EXIST ifDoesntExist, IF_EXISTS ifExists,
              ACCESS_MODE accessMode, SHARE_MODE shareMode) override;
    bool IsOpen() override;
    bool Close() override;
    unsigned long Read(void* buffer, unsigned long count) override;
    unsigned long Write(const void* buffer, unsigned long count) override;
    unsigned long long Seek(unsigned long long offset, SEEK_MODE mode) override;
    unsigned long long Peek() override;

    int fd;  // -1 while closed
};

#endif
