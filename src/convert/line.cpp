#include "convert/line.h"

#include <algorithm>

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

}  // namespace

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
  std::size_t start = 0;
  for (std::size_t i = 0; i < words.word.size(); ++i) {
    const std::size_t blank = line.find(' ', start);
    const std::size_t end = blank == std::string_view::npos ? line.size() : blank;
    words.word[i] = stripped(line.substr(start, end - start), words.joined[i]);
    words.count = i + 1;
    if (blank == std::string_view::npos) break;
    start = blank + 1;
  }
}

void wordsOf(const std::vector<std::string>& tokens, Words& words) {
  words.word = {};
  words.count = std::min(tokens.size(), words.word.size());
  for (std::size_t i = 0; i < words.count; ++i) words.word[i] = tokens[i];
}

}  // namespace brindle
