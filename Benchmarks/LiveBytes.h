// Heap bytes in use by the whole process, as the allocator counts them.
#pragma once

#include <cstddef>

namespace skarvel::bench {

std::size_t LiveBytes();

}  // namespace skarvel::bench
