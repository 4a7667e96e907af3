// Waiting for a file to become old enough for the store to keep its parse.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "ProfileCache.h"

namespace skarvel::test {

// Waits until the file at `path` has settled: its parse, read from now on, is kept.
inline void WaitUntilSettled(const std::string& path)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0) << path;
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        if (IsSettled(status, now)) {
            return;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << path << " never settles";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace skarvel::test
