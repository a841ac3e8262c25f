// Memory for a Lua state that parses chunk after chunk: Lua asks for and
// gives back many small blocks (strings, prototypes, tables of the
// parser), which here come from free lists of sixteen-byte size classes
// carved out of large slabs, each a few instructions, where the C library's
// allocator costs a good share of a parse. Larger blocks go to the C
// library. Everything is given back when the LuaMemory goes, after its
// state. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace brindle::check {

class LuaMemory {
 public:
  LuaMemory() = default;
  LuaMemory(const LuaMemory&) = delete;
  LuaMemory& operator=(const LuaMemory&) = delete;

  // Lua's allocation function: `data` is the LuaMemory.
  static void* allocate(void* data, void* block, std::size_t oldSize, std::size_t newSize);

 private:
  static constexpr std::size_t kGrain = 16;
  static constexpr std::size_t kClasses = 32;  // blocks up to 512 bytes
  static constexpr std::size_t kSlab = std::size_t{1} << 16;

  static constexpr std::size_t kLargest = kClasses * kGrain;

  static std::size_t classOf(std::size_t size) { return (size + kGrain - 1) / kGrain; }
  void* take(std::size_t sizeClass) {
    if (FreeBlock* block = free_[sizeClass]) {
      free_[sizeClass] = block->next;
      return block;
    }
    return carve(sizeClass);
  }
  void give(void* block, std::size_t sizeClass) {
    FreeBlock* const freed = static_cast<FreeBlock*>(block);
    freed->next = free_[sizeClass];
    free_[sizeClass] = freed;
  }
  void* carve(std::size_t sizeClass);
  void* move(void* block, std::size_t oldSize, std::size_t newSize);

  struct FreeBlock {
    FreeBlock* next;
  };
  FreeBlock* free_[kClasses + 1] = {};
  std::vector<std::unique_ptr<std::byte[]>> slabs_;
  std::size_t used_ = kSlab;  // of the last slab
};

}  // namespace brindle::check
