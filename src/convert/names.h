// A table of names, each kept once, in the order first added: the script's
// variables, and the labels and jump targets of a script. A plain value; one
// thread uses it at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "string_utils.h"

namespace brindle {

// The names are stored end to end in one buffer, with an open-addressing hash
// table of their positions beside it: a test for a known name costs a few
// probes of one array however many names there are, and a name costs its
// own bytes and about thirty more.
struct NameTable {
  std::string bytes;                 // every name, one after another
  std::vector<std::size_t> ends;     // where each name ends in `bytes`
  std::vector<std::uint64_t> slots;  // a power of two long, at most half full
};

inline std::size_t nameCount(const NameTable& names) { return names.ends.size(); }

// The name added `index`-th, counting from 0.
inline std::string_view nameAt(const NameTable& names, std::size_t index) {
  const std::size_t begin = index == 0 ? 0 : names.ends[index - 1];
  return std::string_view(names.bytes).substr(begin, names.ends[index] - begin);
}

// How the hash table finds a name; inline, so that a name met before, as
// most are, is found without a call.
namespace name_slots {

// A slot holds the position of a name in the list plus one in its low bits
// and the top bits of the name's hash above them, so that a probe compares
// names only when those bits agree: a new name costs one look at the table,
// not one at every name met on the way. Zero marks a free slot.
inline constexpr unsigned kPositionBits = 40;
inline constexpr std::uint64_t kPositionMask = (std::uint64_t{1} << kPositionBits) - 1;

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
inline constexpr std::size_t kShortName = 2 * sizeof(std::uint64_t);

// The words of the `size` <= kShortName bytes at `p`.
inline NameWords shortNameWords(const char* p, std::size_t size) {
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
inline bool sameBytes(const char* a, const char* b, std::size_t size) {
  if (size > kShortName) return std::memcmp(a, b, size) == 0;
  const NameWords x = shortNameWords(a, size);
  const NameWords y = shortNameWords(b, size);
  return ((x.first ^ y.first) | (x.last ^ y.last)) == 0;
}

inline std::uint64_t tagOf(std::uint64_t hash) { return hash >> kPositionBits << kPositionBits; }

// The index of the name in a slot that holds one.
inline std::size_t indexOf(std::uint64_t slot) { return static_cast<std::size_t>((slot & kPositionMask) - 1); }

// The slot that holds `name`, or the free slot where it belongs.
template <typename Names>
[[gnu::always_inline]] inline auto& slotFor(Names& names, std::string_view name, std::uint64_t hash) {
  const std::size_t mask = names.slots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    auto& slot = names.slots[i];
    if (slot == 0) return slot;
    if ((slot & ~kPositionMask) != tagOf(hash)) continue;
    const std::string_view known = nameAt(names, indexOf(slot));
    if (known.size() == name.size() && sameBytes(known.data(), name.data(), name.size())) return slot;
  }
}

}  // namespace name_slots

// Adds `name`, whose hash is `hash`, where addName did not find it (or found
// no table yet), making the table first where it must grow; returns its
// index.
std::size_t addNewName(NameTable& names, std::string_view name, std::uint64_t hash);

// The index of `name`, which is added first if it is not there yet, even
// when empty.
inline std::size_t addName(NameTable& names, std::string_view name) {
  const std::uint64_t hash = name_slots::hashOf(name);
  if (!names.slots.empty()) {
    if (const std::uint64_t slot = name_slots::slotFor(names, name, hash); slot != 0) {
      return name_slots::indexOf(slot);
    }
  }
  return addNewName(names, name, hash);
}

// Makes the hash table large enough for `count` names in all, at once.
void reserveNames(NameTable& names, std::size_t count);

// Lets the hash table go where only the names are read from now on: nameAt
// and nameCount still read them, addName and reserveNames make the table
// again, and findName must not be asked before.
void keepNamesOnly(NameTable& names);

// The index of `name`, or kNoName when it is not there.
inline constexpr std::size_t kNoName = static_cast<std::size_t>(-1);
std::size_t findName(const NameTable& names, std::string_view name);

}  // namespace brindle
