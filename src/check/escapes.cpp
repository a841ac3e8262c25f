#include "escapes.h"

#include <algorithm>

namespace brindle::check {
namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned long hexValue(char c) {
  return static_cast<unsigned long>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

// The length of the escape after a backslash at `text[at]` that Lua 5.4 and
// LuaJIT take, or 0 for one they refuse. Decimal escapes and line ends are
// the same in every Lua, and 5.1 refuses what the others refuse of them.
std::size_t newerEscapeLength(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return 1;  // the string is unfinished anyway
  const char c = text[at + 1];
  static constexpr std::string_view kSingle = "abfnrtv\\\"'\n\rz0123456789";
  if (kSingle.find(c) != std::string_view::npos) return 2;
  if (c == 'x') {
    return at + 3 < text.size() && isHexDigit(text[at + 2]) && isHexDigit(text[at + 3]) ? 4 : 0;
  }
  if (c == 'u') {
    // \u{XXX}: LuaJIT takes code points up to 0x10FFFF, Lua 5.4 more.
    if (at + 2 >= text.size() || text[at + 2] != '{') return 0;
    std::size_t k = at + 3;
    unsigned long value = 0;
    while (k < text.size() && isHexDigit(text[k]) && value <= 0x10FFFF) {
      value = value * 16 + hexValue(text[k]);
      ++k;
    }
    return k > at + 3 && k < text.size() && text[k] == '}' && value <= 0x10FFFF ? k + 1 - at : 0;
  }
  return 0;
}

}  // namespace

bool markEscapesNewerLuasRefuse(std::string_view text, std::string& marked,
                                std::vector<std::size_t>& marks) {
  std::vector<std::size_t> refused;
  for (std::size_t at = text.find('\\'); at != std::string::npos;) {
    const std::size_t length = newerEscapeLength(text, at);
    if (length == 0) refused.push_back(at);
    at = text.find('\\', at + std::max<std::size_t>(length, 1));
  }
  if (refused.empty()) return false;
  constexpr std::string_view kMark = "999";
  marked.clear();
  marked.reserve(text.size() + refused.size() * kMark.size());
  std::size_t from = 0;
  for (const std::size_t at : refused) {
    marked.append(text.substr(from, at + 1 - from));
    marks.push_back(marked.size() - 1);
    marked.append(kMark);
    from = at + 1;
  }
  marked.append(text.substr(from));
  return true;
}

}  // namespace brindle::check
