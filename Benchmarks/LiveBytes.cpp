// Replaces the global allocation functions to count the heap in use: the memory a kept
// parse holds is what stays allocated after it is read, with the allocator's own rounding.
#include "LiveBytes.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

}  // namespace

namespace skarvel::bench {

std::size_t LiveBytes()
{
    return liveBytes.load();
}

std::size_t PeakBytes()
{
    return peakBytes.load();
}

void ResetPeakBytes()
{
    peakBytes = liveBytes.load();
}

}  // namespace skarvel::bench

void* operator new(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t live = liveBytes += malloc_usable_size(block);
    std::size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return block;
}

void operator delete(void* block) noexcept
{
    if (block != nullptr) {
        liveBytes -= malloc_usable_size(block);
        std::free(block);
    }
}

void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}
