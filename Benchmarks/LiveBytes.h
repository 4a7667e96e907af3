// Heap bytes in use by the whole process, as the allocator counts them.
#pragma once

#include <cstddef>

namespace skarvel::bench {

std::size_t LiveBytes();

// The most heap in use at once since the last ResetPeakBytes().
std::size_t PeakBytes();
void ResetPeakBytes();

}  // namespace skarvel::bench
