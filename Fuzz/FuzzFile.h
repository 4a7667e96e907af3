// A scratch profile file for a fuzz target, one per process.
#pragma once

#include <string>

namespace skarvel::fuzz {

// The scratch file's path, in memory-backed storage when the machine has it so
// that the store's flushes to disk do not bound the rate of runs.
const std::string& ScratchPath();

// Replaces the scratch file's bytes; removes it, and any temporary left for it.
void WriteScratch(const std::string& bytes);
void RemoveScratch();

// Stops the run so that the fuzzer records the input, when `condition` fails.
void Require(bool condition);

}  // namespace skarvel::fuzz
