// A table of names, each kept once, in the order first added: the script's
// variables, and the labels and jump targets of a script. A plain value; one
// thread uses it at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The index of `name`, which is added first if it is not there yet, even
// when empty.
std::size_t addName(NameTable& names, std::string_view name);

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
