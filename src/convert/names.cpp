#include "names.h"

#include <algorithm>
#include <cstring>

#include "string_utils.h"

namespace brindle {
namespace {

// A slot holds the position of a name in the list plus one in its low bits
// and the top bits of the name's hash above them, so that a probe compares
// names only when those bits agree: a new name costs one look at the table,
// not one at every name met on the way. Zero marks a free slot.
constexpr unsigned kPositionBits = 40;
constexpr std::uint64_t kPositionMask = (std::uint64_t{1} << kPositionBits) - 1;

// A name of up to sixteen bytes is its size and two words, its first eight
// bytes and its last eight, which overlap where it is shorter (its first
// four and last four below eight bytes, the bytes themselves below four):
// such names, the most, are hashed and compared without a loop or a call.
// The words hold the bytes in the processor's order, which only the hash
// sees.
struct NameWords {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};
constexpr std::size_t kShortName = 2 * sizeof(std::uint64_t);

// The words of the `size` <= kShortName bytes at `p`.
NameWords shortNameWords(const char* p, std::size_t size) {
  if (size >= sizeof(std::uint64_t)) return {wordAt(p), wordAt(p + size - sizeof(std::uint64_t))};
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  if (size >= 4) {
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + size - 4, 4);
    return {low, high};
  }
  for (std::size_t k = 0; k < size; ++k) low |= std::uint32_t{static_cast<unsigned char>(p[k])} << (8 * k);
  return {low, 0};
}

// A longer name is taken eight bytes at a time until its last sixteen,
// each word mixed in by a multiplication; the whole is mixed once more, so
// that both the low bits (the slot) and the high ones (the tag) depend on
// every byte.
inline std::uint64_t hashOf(std::string_view name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  const char* const p = name.data();
  const std::size_t size = name.size();
  std::uint64_t hash = size * kMultiplier;
  std::size_t at = 0;
  for (; size - at > kShortName; at += sizeof(std::uint64_t)) {
    hash = (hash ^ wordAt(p + at)) * kMultiplier;
    hash ^= hash >> 32;
  }
  const NameWords words = shortNameWords(p + at, size - at);
  hash = (hash ^ words.first) * kMultiplier;
  hash ^= hash >> 32;
  hash = (hash ^ words.last) * 0xBF58476D1CE4E5B9u;
  hash ^= hash >> 29;
  hash *= kMultiplier;
  return hash ^ (hash >> 32);
}

// Whether the `size` bytes at `a` and at `b` are the same.
bool sameBytes(const char* a, const char* b, std::size_t size) {
  if (size > kShortName) return std::memcmp(a, b, size) == 0;
  const NameWords x = shortNameWords(a, size);
  const NameWords y = shortNameWords(b, size);
  return ((x.first ^ y.first) | (x.last ^ y.last)) == 0;
}

std::uint64_t tagOf(std::uint64_t hash) { return hash >> kPositionBits << kPositionBits; }

// The slot that holds `name`, or the free slot where it belongs.
// Inline: every name the script gives comes through here.
template <typename Names>
[[gnu::always_inline]] inline auto& slotFor(Names& names, std::string_view name, std::uint64_t hash) {
  const std::size_t mask = names.slots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    auto& slot = names.slots[i];
    if (slot == 0) return slot;
    if ((slot & ~kPositionMask) != tagOf(hash)) continue;
    const std::string_view known = nameAt(names, (slot & kPositionMask) - 1);
    if (known.size() == name.size() && sameBytes(known.data(), name.data(), name.size())) return slot;
  }
}

// Makes the hash table `size` slots long and puts every name in its new
// slot, the first free one from where its hash points: the names differ,
// so none is compared. The old table goes first, so that the two are never
// held at once.
void resizeSlots(NameTable& names, std::size_t size) {
  std::vector<std::uint64_t>().swap(names.slots);
  names.slots.assign(size, 0);
  const std::size_t mask = size - 1;
  for (std::size_t k = 0; k < nameCount(names); ++k) {
    const std::uint64_t hash = hashOf(nameAt(names, k));
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    while (names.slots[i] != 0) i = (i + 1) & mask;
    names.slots[i] = tagOf(hash) | (k + 1);
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
