#include "convert/line.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "text/scan.h"
#include "text/string_utils.h"

namespace brindle {
namespace {

// `piece` without its whitespace: a view of it when the bytes that remain
// are contiguous (the usual case: indentation before, a carriage return
// after), else a copy in `joined`.
std::string_view stripped(std::string_view piece, std::string& joined) {
  while (!piece.empty() && isSpaceByte(piece.front())) piece.remove_prefix(1);
  while (!piece.empty() && isSpaceByte(piece.back())) piece.remove_suffix(1);
  if (std::none_of(piece.begin(), piece.end(), isSpaceByte)) return piece;
  joined.clear();
  for (const char c : piece) {
    if (!isSpaceByte(c)) joined.push_back(c);
  }
  return joined;
}

// Whether a line holds anything normalisation changes after its leading
// blanks: two blanks in a row, "+=" or "-=". Most lines hold none.
bool needsNormalising(std::string_view rest) {
  bool found = false;
  scanWindows(rest, [&found](const unsigned char* p) {
    unsigned char hit = 0;
    for (std::size_t i = 0; i < kScanStep; ++i) {
      const unsigned char a = p[i];
      const unsigned char b = p[i + 1];
      hit |= ((a == ' ') & (b == ' ')) | ((b == '=') & ((a == '+') | (a == '-')));
    }
    found |= hit != 0;
  });
  return found;
}


// kScanStep bytes, compared and combined all at once: with vector
// instructions where the processor has them.
using Bytes = unsigned char __attribute__((vector_size(kScanStep)));

// The first of the kScanStep starts of the window at `p` where a candidate
// starts, or kScanStep. `p[-1]` is not read: a blank run after a byte that
// is not a blank is matched from that byte on, and leading blanks (after a
// line feed, or at the start of the input) are no candidate.
std::size_t firstCandidate(const unsigned char* p) {
  // Copied in, not returned from a function: where vectors have no
  // registers (32-bit x86 without SSE), returning one changes the ABI.
  Bytes a;
  Bytes b;
  Bytes c;
  std::memcpy(&a, p, sizeof a);
  std::memcpy(&b, p + 1, sizeof b);
  std::memcpy(&c, p + 2, sizeof c);
  const auto bA = b == 'a';
  const auto hits = ((a != ' ') & (a != '\n') & (b == ' ') & (c == ' ')) |
                    ((b == '=') & ((a == '+') | (a == '-'))) | (a == '$') |
                    ((a == ' ') & (b == '(')) | (bA & (c == 'l') & ((a == 'c') | (a == 'F'))) |
                    ((a == 'T') & (b == 'r') & (c == 'u')) | (bA & (a == 'p') & (c == 't'));
  // A hit is a byte of all ones.
  std::uint64_t halves[2];
  static_assert(sizeof halves == sizeof hits);
  std::memcpy(halves, &hits, sizeof halves);
  if ((halves[0] | halves[1]) == 0) return kScanStep;
  if constexpr (std::endian::native == std::endian::little) {
    return halves[0] != 0 ? std::countr_zero(halves[0]) / 8
                          : 8 + std::countr_zero(halves[1]) / 8;
  } else {
    std::size_t first = 0;
    while (hits[first] == 0) ++first;
    return first;
  }
}

}  // namespace

std::size_t PlainLineFinder::nextCandidate(std::size_t from) const {
  const auto* p = reinterpret_cast<const unsigned char*>(input_.data());
  const std::size_t n = input_.size();
  std::size_t at = from;
  for (; at + kScanWindow <= n; at += kScanStep) {
    const std::size_t hit = firstCandidate(p + at);
    if (hit != kScanStep) return at + hit;
  }
  // The last starts, fewer than kScanWindow, read through a zero-padded copy;
  // a zero byte is no part of any candidate but the first byte of a blank
  // run, which needs two blanks after it.
  while (at < n) {
    unsigned char window[kScanWindow] = {};
    std::memcpy(window, p + at, std::min(kScanWindow, n - at));
    const std::size_t hit = firstCandidate(window);
    if (hit != kScanStep && at + hit < n) return at + hit;
    at += kScanStep;
  }
  return n;
}

bool PlainLineFinder::isPlain(std::string_view line) {
  const auto begin = static_cast<std::size_t>(line.data() - input_.data());
  if (!found_ || candidate_ < begin) {
    candidate_ = nextCandidate(begin);
    found_ = true;
  }
  return candidate_ >= begin + line.size();
}

void normalisePlainLine(std::string_view raw, std::string& line) {
  std::size_t leading = 0;
  while (leading < raw.size() && raw[leading] == ' ') ++leading;
  line.assign(leading / 4, '\t');
  line.append(leading % 4, ' ').append(raw.substr(leading));
}

bool normaliseLine(std::string_view raw, std::string& line) {
  line.clear();
  if (raw.empty()) return false;
  std::size_t leading = 0;
  while (leading < raw.size() && raw[leading] == ' ') ++leading;
  const std::string_view rest = raw.substr(leading);
  if (!needsNormalising(rest)) {
    line.append(leading / 4, '\t').append(leading % 4, ' ').append(rest);
    return true;
  }
  // Four blanks become one tab and take three bytes fewer; every '=' may
  // gain a blank. So the result is at most twice as long as the line.
  line.resize(2 * raw.size());
  char* out = line.data();
  const char* const begin = raw.data();
  const char* const end = begin + raw.size();
  for (const char* in = begin; in != end;) {
    const char c = *in;
    if (c == ' ') {
      // A run of n blanks gives n / 4 tabs, then the n % 4 blanks left over.
      const char* run = in;
      while (in != end && *in == ' ') ++in;
      const auto blanks = static_cast<std::size_t>(in - run);
      out = std::fill_n(out, blanks / 4, '\t');
      out = std::fill_n(out, blanks % 4, ' ');
      continue;
    }
    *out++ = c;
    // Blank runs turn into tabs, never into nothing, so a "+=" or "-=" of the
    // normalised line is one of the raw line too.
    if (c == '=' && in != begin && (in[-1] == '+' || in[-1] == '-')) *out++ = ' ';
    ++in;
  }
  line.resize(static_cast<std::size_t>(out - line.data()));
  return true;
}

void splitWords(std::string_view line, Words& words) {
  words.word = {};
  words.count = 0;
  const auto isOtherSpace = [](char c) { return c != ' ' && isSpaceByte(c); };
  const char* p = line.data();
  const char* const end = p + line.size();
  for (std::size_t i = 0; i < words.word.size(); ++i) {
    // The piece runs to the next blank. Usually it is whitespace (the
    // indentation), the word, then perhaps more whitespace (a carriage
    // return), and the word is a view; anything after that whitespace means
    // whitespace inside the word, which stripped() takes out.
    while (p != end && isOtherSpace(*p)) ++p;
    const char* const begin = p;
    while (p != end && !isSpaceByte(*p)) ++p;
    const char* const wordEnd = p;
    while (p != end && isOtherSpace(*p)) ++p;
    if (p != end && *p != ' ') {
      const char* const blank = std::find(p, end, ' ');
      words.word[i] = stripped(std::string_view(begin, static_cast<std::size_t>(blank - begin)),
                               words.joined[i]);
      p = blank;
    } else {
      words.word[i] = std::string_view(begin, static_cast<std::size_t>(wordEnd - begin));
    }
    words.count = i + 1;
    if (p == end) break;
    ++p;  // the blank
  }
}

void wordsOf(const std::vector<std::string>& tokens, Words& words) {
  words.word = {};
  words.count = std::min(tokens.size(), words.word.size());
  for (std::size_t i = 0; i < words.count; ++i) words.word[i] = tokens[i];
}

}  // namespace brindle
