// Room for the big buffers of a run: the script as read and the Lua text of
// the parts converted on other threads, on huge pages where Linux has
// them. Plain functions on the caller's buffers; any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace brindle {

// Asks, on Linux, for transparent huge pages behind [data, data + size).
// Filling a buffer of a hundred megabytes page by page takes tens of
// thousands of page faults, which on a virtual machine cost more than the
// whole conversion; huge pages take a few hundred. Elsewhere, or when the
// system declines, nothing changes.
inline void adviseHugePages([[maybe_unused]] const void* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t end = begin + size;
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  if (end > first + kHugePage) {
    madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
#endif
}

// Gives back to the system, on Linux, the memory behind the whole huge
// pages (2 MiB) of [data, data + size), a stretch of a buffer of the
// caller's own that nothing reads again: they read as zeros from then on.
// Whole huge pages only, so that none is split and the call is cheap.
// Elsewhere nothing changes.
inline void releasePages([[maybe_unused]] const void* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_DONTNEED)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#endif
}

// Reserves room for `size` bytes in `buffer`, on huge pages where the system
// has them. When even the room cannot be had (a small address space), it
// does nothing, and the buffer grows as it is filled.
inline void reserveLargeBuffer(std::string& buffer, std::size_t size) {
  try {
    buffer.reserve(size);
  } catch (const std::bad_alloc&) {
    return;
  }
  adviseHugePages(buffer.data(), buffer.capacity());
}

// Has every block of a megabyte or more given back to the system when it
// is freed, where glibc would keep the largest it has seen for reuse:
// for a process that makes such blocks again and again, as a language
// server makes its messages.
inline void keepLargeBlocksApart() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

// Gives the memory freed since back to the system, where the C library
// keeps it otherwise (glibc keeps what threads freed in arenas of their
// own): for after a burst of work on threads has come and gone.
inline void giveBackFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace brindle
