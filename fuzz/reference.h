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

// Decodes UTF-16 in the byte order given into UTF-8, one code point at a
// time; false for an odd number of bytes or a surrogate without its partner.
inline bool referenceDecodeUtf16(std::string_view bytes, bool bigEndian, std::string& utf8) {
  if (bytes.size() % 2 != 0) return false;
  const auto unitAt = [&](std::size_t i) {
    const unsigned first = static_cast<unsigned char>(bytes[i]);
    const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? first * 256 + second : second * 256 + first;
  };
  utf8.clear();
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    unsigned code = unitAt(i);
    if (code >= 0xDC00 && code < 0xE000) return false;
    if (code >= 0xD800 && code < 0xDC00) {
      if (i + 2 >= bytes.size()) return false;
      const unsigned low = unitAt(i + 2);
      if (low < 0xDC00 || low >= 0xE000) return false;
      code = 0x10000 + (code - 0xD800) * 0x400 + (low - 0xDC00);
      i += 2;
    }
    // The bits of the code point, six at a time, behind a lead byte that
    // says how many bytes follow.
    const int continuations = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    static const unsigned kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    utf8.push_back(static_cast<char>(kLead[continuations] | code >> (6 * continuations)));
    for (int k = continuations - 1; k >= 0; --k) {
      utf8.push_back(static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F)));
    }
  }
  return true;
}

}  // namespace brindle::fuzz
