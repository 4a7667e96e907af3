// Child processes for tests: code run in a fork, and busy loops that keep the processors
// busy beside a test, so that a guarantee is tested on a loaded machine.
#pragma once

#include <sys/mman.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <new>
#include <vector>

namespace skarvel::test {

// Forks a child that runs `body` and exits with its answer; the child's pid (-1 when the
// fork failed).
pid_t StartChild(const std::function<int()>& body);

// How a child ended: exited with 0, exited otherwise, ended by a signal, or was killed for
// running too long.
enum class ChildEnd { Succeeded, Failed, Killed, TimedOut };

// Waits for the child to end; one that runs longer than `limit` is killed and reported as
// TimedOut, so that a hang shows as a failure rather than as a hung test.
ChildEnd WaitForChild(pid_t pid, std::chrono::milliseconds limit = std::chrono::minutes(5));

// Runs `body` in a child and waits for it: Succeeded when it answered 0.
ChildEnd RunInChild(const std::function<int()>& body,
                    std::chrono::milliseconds limit = std::chrono::minutes(5));

// A value in memory that forked children share with the test: what they found, for the
// test to check.
template <typename T>
class SharedValue {
public:
    SharedValue()
        : memory_(mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                       -1, 0))
    {
        value_ = new (memory_) T();
    }
    SharedValue(const SharedValue&) = delete;
    SharedValue& operator=(const SharedValue&) = delete;
    ~SharedValue()
    {
        value_->~T();
        munmap(memory_, sizeof(T));
    }

    T& operator*() const { return *value_; }
    T* operator->() const { return value_; }

private:
    void* memory_;
    T* value_;
};

// Processes that spin until the object goes.
class BusyLoops {
public:
    explicit BusyLoops(int count);
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;
    ~BusyLoops();

private:
    std::vector<pid_t> pids_;
};

}  // namespace skarvel::test
