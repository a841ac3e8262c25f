// Byte-string editing from which the conversion is built: replace every
// occurrence, erase the first, cut into pieces at a separator. Each operation
// is linear in its input plus its result, depends on no locale and touches
// only its arguments (replaceAll also a scratch buffer of the calling
// thread), so any of them may run on several threads at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace brindle {

// The six whitespace bytes: space, tab, line feed, vertical tab, form feed
// and carriage return. Bytes 0x80 and above are never blank.
inline constexpr auto kSpaceBytes = [] {
  std::array<bool, 256> spaces{};
  for (const char space : {' ', '\t', '\n', '\v', '\f', '\r'}) {
    spaces[static_cast<unsigned char>(space)] = true;
  }
  return spaces;
}();

constexpr bool isSpaceByte(char c) { return kSpaceBytes[static_cast<unsigned char>(c)]; }

// Short texts are looked at eight bytes at a time, which costs less than a
// call. The eight bytes at `p` as one word, the first the lowest on a
// little-endian processor.
inline std::uint64_t wordAt(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
// Which bytes of `word` are `c`, each as its top bit: exact up to the
// lowest, and perhaps a few more above it, which a caller that wants them
// all looks at again. Zero exactly when none is.
constexpr std::uint64_t bytesOf(std::uint64_t word, char c) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
  return (x - kOnes) & ~x & (kOnes << 7);
}

// The bytes of `text` other than whitespace at its two ends: [begin, end),
// begin == end == text.size() when it holds nothing else.
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
};
constexpr Span textSpan(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && isSpaceByte(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && isSpaceByte(text[end - 1])) --end;
  return begin == end ? Span{text.size(), text.size()} : Span{begin, end};
}

// The next word of `text` from `at` on, as the author reads words: the
// whitespace before it skipped, then the bytes up to the next whitespace.
// `at` moves past it; the word is empty at the end.
constexpr std::string_view nextWord(std::string_view text, std::size_t& at) {
  while (at < text.size() && isSpaceByte(text[at])) ++at;
  const std::size_t begin = at;
  while (at < text.size() && !isSpaceByte(text[at])) ++at;
  return text.substr(begin, at - begin);
}

// Where the quoted text that `open` opens in `line` (a `"` or a `'`) ends:
// at the same quote, a backslash escaping the byte after it, or at the
// line's end (line.size()).
constexpr std::size_t quotedTextEnd(std::string_view line, std::size_t open) {
  std::size_t end = open + 1;
  while (end < line.size() && line[end] != line[open]) end += line[end] == '\\' ? 2 : 1;
  return end < line.size() ? end : line.size();
}

// A byte of a name, as a story's labels and variables are written: a
// letter, a digit, "_", or any byte from 0x80 (a part of a UTF-8 letter).
constexpr bool isNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// How many bytes the whole UTF-8 character that starts at byte `at` of
// `text` takes; 0 where none starts there: a stray continuation byte, a
// character cut short, an overlong form, a surrogate, or a code point past
// U+10FFFF.
std::size_t utf8CharacterAt(std::string_view text, std::size_t at);

// The parts one after another, in one string (GCC 12 warns wrongly of
// `"a" + s + "b"`).
template <typename... Parts>
std::string joined(const Parts&... parts) {
  std::string text;
  (text.append(std::string_view(parts)), ...);
  return text;
}

// Where `what` first occurs in `text` at or after `from`, or npos; an empty
// `what` occurs nowhere.
std::size_t findText(std::string_view text, std::string_view what, std::size_t from = 0);

// Where the byte `c` last occurs in `text`, or npos: as text.rfind(c), many
// bytes at a time, for a search that may cross a whole script. The C
// library's memrchr where there is one; elsewhere the portable form, eight
// bytes at a time, which gives the same (the tests compare both).
std::size_t findLastByte(std::string_view text, char c);
std::size_t findLastByteWordByWord(std::string_view text, char c);

// Replaces every non-overlapping occurrence of `from`, scanning left to right;
// replacement text is never searched again. An empty `from` changes nothing.
// Neither `from` nor `to` may view `text`.
void replaceAll(std::string& text, std::string_view from, std::string_view to);

// Removes the first occurrence of `what`, if any. An empty `what` changes
// nothing.
void eraseFirst(std::string& text, std::string_view what);

// The piece of `text` that starts at `from` and runs through the next
// `separator` (or to the end), with every whitespace byte taken out; moves
// `from` past it. The piece is a view of `text` when the bytes that remain
// are contiguous, as they usually are, and otherwise a copy in `joined`, so
// it lasts as long as both. Call it only while `from` <= text.size(). Inline,
// so that cutting words at blanks compiles to one walk over the bytes.
inline std::string_view nextPiece(std::string_view text, std::size_t& from, char separator,
                                  std::string& joined) {
  // A separator that is whitespace goes with the whitespace; another stays
  // in its piece.
  const bool separatorStays = !isSpaceByte(separator);
  const auto isWordByte = [&](char c) {
    return !isSpaceByte(c) && (!separatorStays || c != separator);
  };
  const auto isBlankByte = [&](char c) { return isSpaceByte(c) && c != separator; };
  // One walk over the usual piece: whitespace, a word, whitespace, then the
  // separator or the end.
  const char* const end = text.data() + text.size();
  const char* p = text.data() + from;
  while (p != end && isBlankByte(*p)) ++p;
  const char* const wordBegin = p;
  while (p != end && isWordByte(*p)) ++p;
  const char* const wordEnd = p;
  while (p != end && isBlankByte(*p)) ++p;
  if (p == end) {
    from = text.size() + 1;
    return {wordBegin, static_cast<std::size_t>(wordEnd - wordBegin)};
  }
  if (*p == separator && (!separatorStays || p == wordEnd)) {
    from = static_cast<std::size_t>(p + 1 - text.data());
    return {wordBegin, static_cast<std::size_t>((separatorStays ? p + 1 : wordEnd) - wordBegin)};
  }
  // Whitespace inside the piece, or before a separator that stays in it:
  // the bytes that remain are copied together.
  const char* separatorAt = p;
  while (separatorAt != end && *separatorAt != separator) ++separatorAt;
  const char* const pieceEnd = separatorAt == end ? end : separatorAt + 1;
  from = separatorAt == end ? text.size() + 1 : static_cast<std::size_t>(pieceEnd - text.data());
  joined.clear();
  for (const char* q = wordBegin; q != pieceEnd; ++q) {
    if (!isSpaceByte(*q)) joined.push_back(*q);
  }
  return joined;
}

}  // namespace brindle
