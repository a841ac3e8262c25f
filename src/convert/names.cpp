#include "names.h"

#include <algorithm>
#include <cstring>

namespace brindle {
namespace {

// A slot holds the position of a name in the list plus one in its low bits
// and the top bits of the name's hash above them, so that a probe compares
// names only when those bits agree: a new name costs one look at the table,
// not one at every name met on the way. Zero marks a free slot.
constexpr unsigned kPositionBits = 40;
constexpr std::uint64_t kPositionMask = (std::uint64_t{1} << kPositionBits) - 1;

// Names are short: eight bytes at a time, each word mixed in by a
// multiplication, then the whole mixed once more, so that both the low bits
// (the slot) and the high ones (the tag) depend on every byte.
std::uint64_t hashOf(std::string_view name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  const char* const p = name.data();
  const std::size_t size = name.size();
  std::uint64_t hash = size * kMultiplier;
  std::size_t at = 0;
  for (; at + sizeof(std::uint64_t) <= size; at += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, p + at, sizeof word);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
  }
  if (at < size) {
    std::uint64_t word = 0;
    std::memcpy(&word, p + at, size - at);
    hash = (hash ^ word) * kMultiplier;
  }
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9u;
  return hash ^ (hash >> 32);
}

std::uint64_t tagOf(std::uint64_t hash) { return hash >> kPositionBits << kPositionBits; }

// The slot that holds `name`, or the free slot where it belongs.
template <typename Names>
auto& slotFor(Names& names, std::string_view name, std::uint64_t hash) {
  const std::size_t mask = names.slots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    auto& slot = names.slots[i];
    if (slot == 0) return slot;
    if ((slot & ~kPositionMask) == tagOf(hash) && nameAt(names, (slot & kPositionMask) - 1) == name) {
      return slot;
    }
  }
}

// Makes the hash table `size` slots long and puts every name in its new
// slot. The old table goes first, so that the two are never held at once.
void resizeSlots(NameTable& names, std::size_t size) {
  std::vector<std::uint64_t>().swap(names.slots);
  names.slots.assign(size, 0);
  for (std::size_t k = 0; k < nameCount(names); ++k) {
    const std::string_view name = nameAt(names, k);
    const std::uint64_t hash = hashOf(name);
    slotFor(names, name, hash) = tagOf(hash) | (k + 1);
  }
}

}  // namespace

void reserveNames(NameTable& names, std::size_t count) {
  std::size_t size = std::max<std::size_t>(64, names.slots.size());
  while (2 * count > size) size *= 2;
  if (size != names.slots.size()) resizeSlots(names, size);
}

void keepNamesOnly(NameTable& names) { std::vector<std::uint64_t>().swap(names.slots); }

std::size_t addName(NameTable& names, std::string_view name) {
  if (2 * (nameCount(names) + 1) > names.slots.size()) reserveNames(names, nameCount(names) + 1);
  const std::uint64_t hash = hashOf(name);
  std::uint64_t& slot = slotFor(names, name, hash);
  if (slot == 0) {
    names.bytes.append(name);
    names.ends.push_back(names.bytes.size());
    slot = tagOf(hash) | names.ends.size();
  }
  return static_cast<std::size_t>((slot & kPositionMask) - 1);
}

std::size_t findName(const NameTable& names, std::string_view name) {
  if (names.slots.empty()) return kNoName;
  const std::uint64_t slot = slotFor(names, name, hashOf(name));
  return slot == 0 ? kNoName : static_cast<std::size_t>((slot & kPositionMask) - 1);
}

}  // namespace brindle
