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

// The bytes of a name as words, without a call: names are short. The
// `size` < 8 bytes at `p` in the low bytes of a word (as the processor
// orders them, which only the hash sees); wordAt gives eight.
std::uint64_t shortWordAt(const char* p, std::size_t size) {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  if (size >= 4) {
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + size - 4, 4);  // the last four, over the first where they meet
    return low | std::uint64_t{high} << (8 * (size - 4));
  }
  for (std::size_t k = 0; k < size; ++k) low |= std::uint32_t{static_cast<unsigned char>(p[k])} << (8 * k);
  return low;
}

// Names are short: eight bytes at a time, each word mixed in by a
// multiplication, then the whole mixed once more, so that both the low bits
// (the slot) and the high ones (the tag) depend on every byte.
inline std::uint64_t hashOf(std::string_view name) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  const char* const p = name.data();
  const std::size_t size = name.size();
  std::uint64_t hash = size * kMultiplier;
  std::size_t at = 0;
  for (; at + sizeof(std::uint64_t) <= size; at += sizeof(std::uint64_t)) {
    hash = (hash ^ wordAt(p + at)) * kMultiplier;
    hash ^= hash >> 32;
  }
  if (at < size) hash = (hash ^ shortWordAt(p + at, size - at)) * kMultiplier;
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9u;
  return hash ^ (hash >> 32);
}

// Whether the `size` bytes at `a` and at `b` are the same, a word at a time.
bool sameBytes(const char* a, const char* b, std::size_t size) {
  std::size_t at = 0;
  for (; at + sizeof(std::uint64_t) <= size; at += sizeof(std::uint64_t)) {
    if (wordAt(a + at) != wordAt(b + at)) return false;
  }
  const std::size_t left = size - at;
  if (left >= 4) {
    std::uint32_t x[2];
    std::uint32_t y[2];
    std::memcpy(&x[0], a + at, 4);
    std::memcpy(&x[1], a + size - 4, 4);
    std::memcpy(&y[0], b + at, 4);
    std::memcpy(&y[1], b + size - 4, 4);
    return x[0] == y[0] && x[1] == y[1];
  }
  for (; at < size; ++at) {
    if (a[at] != b[at]) return false;
  }
  return true;
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
