// An open file descriptor, closed when it goes out of scope.
#pragma once

#include <unistd.h>

namespace skarvel {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~Descriptor() { Reset(); }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

    void Reset(int fd = -1)
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

}  // namespace skarvel
