// UTF-16 text, as Windows editors save "Unicode" files, turned into the UTF-8
// bytes the conversion reads; and the look of such a file saved without its
// byte-order mark. Plain functions over bytes; no state, no allocation beyond
// the buffer the caller hands in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle {

enum class Utf16Fault {
  none,
  oddLength,          // the bytes end in half a 16-bit unit
  unpairedSurrogate,  // half of a surrogate pair, without its other half
};

struct Utf16Decoding {
  Utf16Fault fault = Utf16Fault::none;
  std::size_t line = 0;  // the line (from 1) that holds the fault
};

// Decodes `bytes`, UTF-16 without a byte-order mark in the byte order given,
// into `utf8`, which it replaces: one pass counts and checks, a second writes
// into a buffer of the exact size. Every character becomes its UTF-8 bytes,
// U+000A a line feed, so lines stay where they were. Malformed input leaves
// `utf8` empty and says what is wrong, and where.
Utf16Decoding decodeUtf16(std::string_view bytes, bool bigEndian, std::string& utf8);

// Whether `bytes` (without a byte-order mark) look like UTF-16 text of the
// Latin alphabet: read as 16-bit units in one of the two byte orders, every
// unit of the first line that holds a character (empty lines before it
// included, its line feed too) has a NUL high byte, there are at least two
// units, and one of them is neither NUL nor a line end. Text in UTF-8 holds
// no NUL bytes, so its first unit already decides; the scan never goes past
// that first line.
bool looksLikeUtf16(std::string_view bytes);

}  // namespace brindle
