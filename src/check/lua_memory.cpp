#include "lua_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace brindle::check {

// A new block of a class that has none free, from the last slab or a new
// one; null when memory runs out, as Lua expects.
void* LuaMemory::carve(std::size_t sizeClass) {
  const std::size_t size = sizeClass * kGrain;
  if (used_ + size > kSlab) {
    std::byte* const slab = new (std::nothrow) std::byte[kSlab];
    if (!slab) return nullptr;
    slabs_.emplace_back(slab);
    used_ = 0;
  }
  void* block = slabs_.back().get() + used_;
  used_ += size;
  return block;
}

// A block of `newSize` bytes in place of `block`, of `oldSize`, with its
// bytes.
void* LuaMemory::move(void* block, std::size_t oldSize, std::size_t newSize) {
  const bool oldPooled = oldSize <= kLargest;
  const bool newPooled = newSize <= kLargest;
  if (oldPooled && newPooled && classOf(oldSize) == classOf(newSize)) return block;
  if (!oldPooled && !newPooled) return std::realloc(block, newSize);  // null when it fails
  void* const moved = newPooled ? take(classOf(newSize)) : std::malloc(newSize);
  if (!moved) return nullptr;
  std::memcpy(moved, block, oldSize < newSize ? oldSize : newSize);
  if (oldPooled) {
    give(block, classOf(oldSize));
  } else {
    std::free(block);
  }
  return moved;
}

void* LuaMemory::allocate(void* data, void* block, std::size_t oldSize, std::size_t newSize) {
  LuaMemory& memory = *static_cast<LuaMemory*>(data);
  if (newSize == 0) {  // Lua hands a block back, with its size
    if (oldSize <= kLargest) {
      if (block) memory.give(block, classOf(oldSize));
    } else {
      std::free(block);
    }
    return nullptr;
  }
  if (!block) return newSize <= kLargest ? memory.take(classOf(newSize)) : std::malloc(newSize);
  return memory.move(block, oldSize, newSize);
}

}  // namespace brindle::check
