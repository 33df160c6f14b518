#pragma once

#include <cstddef>

// The operating system's side of secret memory, one file for each (secret_pages_unix.cpp,
// secret_pages_windows.cpp): whole pages, locked where the system allows it, out of crash and
// core dumps, and wiped by a store the compiler may not drop.
namespace quirlomat {

std::size_t PageSize() noexcept;

// size bytes of zeroed pages (size a multiple of PageSize()), or null.
void* MapSecretPages(std::size_t size) noexcept;

void WipePages(void* memory, std::size_t size) noexcept;

// Gives back what MapSecretPages made.
void UnmapSecretPages(void* memory, std::size_t size) noexcept;

}  // namespace quirlomat
