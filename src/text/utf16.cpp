#include "utf16.h"

#include <cstdint>

namespace brindle {
namespace {

constexpr char32_t kLineFeed = 0x0A;

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The 16-bit units of the bytes, one at a time.
struct Units {
  std::string_view bytes;
  bool bigEndian;

  std::size_t size() const { return bytes.size() / 2; }
  char32_t operator[](std::size_t k) const {
    const auto first = static_cast<unsigned char>(bytes[2 * k]);
    const auto second = static_cast<unsigned char>(bytes[2 * k + 1]);
    return bigEndian ? char32_t{first} << 8 | second : char32_t{second} << 8 | first;
  }
};

std::size_t lineOfUnit(const Units& units, std::size_t end) {
  std::size_t line = 1;
  for (std::size_t k = 0; k < end; ++k) line += units[k] == kLineFeed;
  return line;
}

std::size_t utf8Length(char32_t code) {
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

char* appendUtf8(char32_t code, char* out) {
  const auto byte = [](char32_t bits) { return static_cast<char>(static_cast<unsigned char>(bits)); };
  if (code < 0x80) {
    *out++ = byte(code);
  } else if (code < 0x800) {
    *out++ = byte(0xC0 | code >> 6);
    *out++ = byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out++ = byte(0xE0 | code >> 12);
    *out++ = byte(0x80 | (code >> 6 & 0x3F));
    *out++ = byte(0x80 | (code & 0x3F));
  } else {
    *out++ = byte(0xF0 | code >> 18);
    *out++ = byte(0x80 | (code >> 12 & 0x3F));
    *out++ = byte(0x80 | (code >> 6 & 0x3F));
    *out++ = byte(0x80 | (code & 0x3F));
  }
  return out;
}

// Walks the characters of `units`, handing each code point to `visit`.
// Returns the index of the first unit of an unpaired surrogate, or the
// number of units when there is none.
template <typename Visit>
std::size_t forEachCharacter(const Units& units, Visit&& visit) {
  const std::size_t count = units.size();
  for (std::size_t k = 0; k < count; ++k) {
    const char32_t unit = units[k];
    if (isHighSurrogate(unit)) {
      if (k + 1 == count || !isLowSurrogate(units[k + 1])) return k;
      visit(0x10000 + ((unit - 0xD800) << 10) + (units[k + 1] - 0xDC00));
      ++k;
    } else if (isLowSurrogate(unit)) {
      return k;
    } else {
      visit(unit);
    }
  }
  return count;
}

}  // namespace

Utf16Decoding decodeUtf16(std::string_view bytes, bool bigEndian, std::string& utf8) {
  utf8.clear();
  const Units units{bytes, bigEndian};
  if (bytes.size() % 2 != 0) return {Utf16Fault::oddLength, lineOfUnit(units, units.size())};
  std::size_t length = 0;
  const std::size_t stop = forEachCharacter(units, [&](char32_t code) { length += utf8Length(code); });
  if (stop != units.size()) return {Utf16Fault::unpairedSurrogate, lineOfUnit(units, stop)};
  utf8.resize(length);
  char* out = utf8.data();
  forEachCharacter(units, [&](char32_t code) { out = appendUtf8(code, out); });
  return {};
}

bool looksLikeUtf16(std::string_view bytes) {
  constexpr char32_t kCarriageReturn = 0x0D;
  for (const bool bigEndian : {false, true}) {
    const Units units{bytes, bigEndian};
    std::size_t k = 0;
    bool anyText = false;
    bool lineEnded = false;
    for (; k < units.size() && units[k] < 0x100 && !lineEnded; ++k) {
      lineEnded = anyText && units[k] == kLineFeed;
      anyText = anyText || (units[k] != 0 && units[k] != kLineFeed && units[k] != kCarriageReturn);
    }
    if (k >= 2 && anyText && (lineEnded || k == units.size())) return true;
  }
  return false;
}

}  // namespace brindle
