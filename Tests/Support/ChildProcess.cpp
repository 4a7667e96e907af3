#include "ChildProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace skarvel::test {

pid_t StartChild(const std::function<int()>& body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    return pid;
}

ChildEnd WaitForChild(pid_t pid, std::chrono::milliseconds limit)
{
    if (pid < 0) {
        return ChildEnd::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            if (WIFSIGNALED(status)) {
                return ChildEnd::Killed;
            }
            return WEXITSTATUS(status) == 0 ? ChildEnd::Succeeded : ChildEnd::Failed;
        }
        if (ended < 0 && errno != EINTR) {
            return ChildEnd::Failed;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return ChildEnd::TimedOut;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ChildEnd RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit)
{
    return WaitForChild(StartChild(body), limit);
}

BusyLoops::BusyLoops(int count)
{
    for (int i = 0; i < count; ++i) {
        pids_.push_back(StartChild([] {
            for (volatile unsigned spin = 0;; spin = spin + 1) {
            }
            return 0;
        }));
    }
}

BusyLoops::~BusyLoops()
{
    for (const pid_t pid : pids_) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
}

}  // namespace skarvel::test
