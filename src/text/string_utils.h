// Byte-string editing used to normalise script lines and cut them into words.
// Every operation is linear in the size of its input plus its result, keeps no
// state and touches only its arguments. Matching is exact and case-sensitive;
// no character set or locale is assumed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// True for exactly the six whitespace bytes: space, tab, line feed, vertical
// tab, form feed and carriage return. Bytes 0x80 and above are never blank.
constexpr bool isSpaceByte(char c) {
  // Bit n of the mask is set for byte value n: 9 to 13 and 32.
  constexpr unsigned long long kSpaces = (1ull << ' ') | (0x1Full << '\t');
  const auto byte = static_cast<unsigned char>(c);
  return byte <= ' ' && ((kSpaces >> byte) & 1) != 0;
}

// Replaces every non-overlapping occurrence of `from`, scanning left to right;
// replacement text is never searched again. An empty `from` changes nothing.
void replaceAll(std::string& text, std::string_view from, std::string_view to);

// Removes the first occurrence of `what`, if any. An empty `what` changes
// nothing.
void eraseFirst(std::string& text, std::string_view what);

// Cuts `text` after every `separator` into pieces (separators + 1 of them,
// empty ones kept), then strips every whitespace byte from each piece. The
// previous content of `pieces` is discarded. Returns the number of pieces.
std::size_t splitOn(std::string_view text, std::vector<std::string>& pieces,
                    char separator);

// `text` repeated `count` times; empty when `count` is zero or less.
std::string repeatString(std::string_view text, long long count);

}  // namespace brindle
