#pragma once

#include <cstddef>

namespace quirlomat {

// Fills buffer with bytes from the operating system's cryptographic random source
// (getrandom(2) on Linux, BCryptGenRandom on Windows). Blocks only until the system's pool
// has been seeded once after boot. Raises the internal error when the system refuses.
void SystemEntropy(void* buffer, std::size_t size);

}  // namespace quirlomat
