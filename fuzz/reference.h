// Plain byte-by-byte loops that say what the string utilities must do, kept
// apart from the library so that the fuzzers compare two independent
// formulations rather than the code with itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::fuzz {

// Space, tab, line feed, vertical tab, form feed and carriage return; no
// other byte, whatever the locale says.
inline bool referenceIsBlank(char c) {
  for (const char blank : {' ', '\t', '\n', '\v', '\f', '\r'}) {
    if (c == blank) return true;
  }
  return false;
}

// Walks `text` once from the left; wherever `from` starts, `to` is written
// and the walk jumps past the match, so matches never overlap and inserted
// text is never looked at again. An empty `from` matches nowhere.
inline std::string referenceReplace(std::string_view text, std::string_view from,
                                    std::string_view to) {
  // Byte by byte rather than through memcmp, which the fuzzer's hooks make
  // costly when called at every position.
  const auto startsAt = [&](std::size_t i) {
    if (from.empty() || text.size() - i < from.size()) return false;
    for (std::size_t j = 0; j < from.size(); ++j) {
      if (text[i + j] != from[j]) return false;
    }
    return true;
  };
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (startsAt(i)) {
      out.append(to);
      i += from.size();
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

// Ends a piece after every separator byte (the separator belongs to the piece
// it ends) and drops every blank byte on the way.
inline std::vector<std::string> referenceSplit(std::string_view text, char separator) {
  std::vector<std::string> pieces(1);
  for (const char c : text) {
    if (!referenceIsBlank(c)) pieces.back().push_back(c);
    if (c == separator) pieces.emplace_back();
  }
  return pieces;
}

}  // namespace brindle::fuzz
