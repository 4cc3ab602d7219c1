// A file descriptor owned by one object, closed when the object goes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <utility>

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives up ownership: the caller closes the descriptor.
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes it now; false when the close reported an error (for a file written, that
    // the data may not have reached it).
    bool close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

    // A new pipe, both ends with `flags` (O_CLOEXEC, O_NONBLOCK). False when none could
    // be made.
    static bool makePipe(Descriptor* readEnd, Descriptor* writeEnd, int flags = O_CLOEXEC) {
        int fds[2];
        if (pipe2(fds, flags) != 0)
            return false;
        readEnd->reset(fds[0]);
        writeEnd->reset(fds[1]);
        return true;
    }

  private:
    int fd_ = -1;
};
