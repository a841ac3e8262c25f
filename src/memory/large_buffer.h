// Room for the big buffers of a run: the script as read and the Lua text of
// the parts converted on other threads, on huge pages where Linux has
// them; and how the C library keeps the blocks of a run or of a server.
// Plain functions on the caller's buffers; any thread may call them, but
// those that set the C library up say when.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#include <unistd.h>
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

// Memory for a buffer, uninitialised, that frees itself at the alignment
// it was had at.
struct BufferDelete {
  std::align_val_t alignment{__STDCPP_DEFAULT_NEW_ALIGNMENT__};
  void operator()(char* bytes) const { ::operator delete[](bytes, alignment); }
};
using BufferBytes = std::unique_ptr<char[], BufferDelete>;

// How a buffer of `size` bytes is had: from a multiple of `alignment` (a
// power of two) on, and on Linux, for a buffer of two huge pages or more,
// as whole huge pages from one on. The C library begins a large block just
// past a header of its own and ends it where asked, which leaves up to a
// huge page at each end to small pages, each a page fault of its own: on a
// virtual machine about ten microseconds apiece, several milliseconds a
// buffer, where a whole huge page costs about as much as one. Address
// space skipped or never written costs no memory.
struct BufferShape {
  std::size_t bytes;
  std::align_val_t alignment;
};
inline BufferShape bufferShape(std::size_t size, std::size_t alignment) {
#if defined(__linux__)
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (size >= 2 * kHugePage && alignment < kHugePage && size <= SIZE_MAX - kHugePage) {
    return {(size + kHugePage - 1) & ~(kHugePage - 1), std::align_val_t{kHugePage}};
  }
#endif
  return {size, std::align_val_t{std::max<std::size_t>(alignment, __STDCPP_DEFAULT_NEW_ALIGNMENT__)}};
}

// A buffer of at least `size` bytes, had as bufferShape says, with huge
// pages asked for behind it (adviseHugePages); nullptr when the memory
// cannot be had.
inline BufferBytes allocateBuffer(std::size_t size, std::size_t alignment, const std::nothrow_t&) noexcept {
  const BufferShape shape = bufferShape(size, alignment);
  BufferBytes bytes(static_cast<char*>(::operator new[](shape.bytes, shape.alignment, std::nothrow)),
                    BufferDelete{shape.alignment});
  if (bytes) adviseHugePages(bytes.get(), shape.bytes);
  return bytes;
}

// The same, throwing std::bad_alloc when the memory cannot be had.
inline BufferBytes allocateBuffer(std::size_t size, std::size_t alignment = 1) {
  BufferBytes bytes = allocateBuffer(size, alignment, std::nothrow);
  if (!bytes) throw std::bad_alloc();
  return bytes;
}

// For a run that builds tables of names and labels on several threads at
// once, which grow by doubling to a megabyte or so each: their blocks come
// from one heap, on huge pages from its first whole one through 16 MB of
// room, and freed ones stay there to be used again. By default each thread
// has a heap of its own, every block from 128 KB on is mapped apart and
// given back when freed, and all are on 4 KB pages, each a page fault when
// first written: on a virtual machine 10-12 microseconds apiece, some 2,300
// of them for a script of 100 MB.
// Blocks of 4 MB and more are mapped apart where the heap has no room for
// them. Call it first thing, before any thread starts.
inline void keepSmallBlocksOnHugePages() {
#if defined(__GLIBC__) && defined(__linux__)
  constexpr int kHeapRoom = 16 << 20;
  constexpr int kMappedApart = 4 << 20;
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_TRIM_THRESHOLD, 2 * kHeapRoom);
  mallopt(M_TOP_PAD, kHeapRoom);
  // Up to the room's size, the two blocks had here come from the heap, not
  // mapped apart; the threshold is set once they are had.
  mallopt(M_MMAP_THRESHOLD, 2 * kHeapRoom);
  if (const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0)); end != static_cast<std::uintptr_t>(-1)) {
    // The heap's free top, where the blocks to come are cut from, begins
    // past the blocks had so far, seldom on a huge page, and the blocks
    // below the first huge page would each come on 4 KB pages (some 500
    // page faults at 100 MB). A block had once and never written takes the
    // free top up to a few bytes below that huge page, where the free top's
    // own size is written, and keeps the blocks to come above it. Its bytes
    // cost address space only.
#if __GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33)
    const std::size_t topFree = mallinfo2().keepcost;
#else
    const std::size_t topFree = 0;  // not told: the blocks begin where they do
#endif
    const std::uintptr_t topBegin = end - topFree;
    const std::uintptr_t firstHuge = (topBegin + kHugePage - 1) & ~(kHugePage - 1);
    constexpr std::size_t kLeftBelow = 64;
    if (topFree > 0 && firstHuge - topBegin > 2 * kLeftBelow) {
      static void* const below = malloc(firstHuge - topBegin - kLeftBelow);
      (void)below;
    }
    // The heap grows by a block of the room's size and by the room asked
    // above after it; freed, the block joins the free top, which trims
    // itself back to the room. Of the room only the block's end was
    // written, and it goes with the trim, so that every huge page of the
    // room is first written once asked for.
    void* volatile block = malloc(kHeapRoom);
    free(block);
    const auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    if (top > firstHuge) adviseHugePages(reinterpret_cast<const void*>(firstHuge), top - firstHuge);
  }
  mallopt(M_MMAP_THRESHOLD, kMappedApart);
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

// Has the system map, on Linux, the pages of [data, data + size) that are
// not yet mapped, in one call: for a stretch of a mapped file that is about
// to be read through, which then spares the reading a fault every few pages
// (for 100 MB on tmpfs, about 15 ms of faults where the one call takes 8).
// Nothing else changes; a page the call cannot map is left to be faulted in
// when read.
inline void preparePages([[maybe_unused]] const void* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_READ)
  static const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = begin & ~(pageSize - 1);
  if (size > 0) madvise(reinterpret_cast<void*>(first), begin + size - first, MADV_POPULATE_READ);
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
