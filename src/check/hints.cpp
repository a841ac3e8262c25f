#include "hints.h"

#include <algorithm>

#include "string_utils.h"

namespace brindle::check {
namespace {

// The first word of `line` and where the next begins.
std::string_view wordAt(std::string_view line, std::size_t& at) {
  while (at < line.size() && isSpaceByte(line[at])) ++at;
  const std::size_t begin = at;
  while (at < line.size() && !isSpaceByte(line[at])) ++at;
  return line.substr(begin, at - begin);
}

}  // namespace

std::vector<Hint> hintsFor(std::string_view line) {
  std::vector<Hint> hints;
  const auto add = [&](HintKind kind, std::string fix, std::size_t at, std::size_t size) {
    hints.push_back({kind, std::move(fix), at + 1, at + 1 + size});
  };
  std::size_t next = 0;
  const std::string_view first = wordAt(line, next);
  const std::size_t firstAt = next - first.size();
  std::size_t afterSecond = next;
  const std::string_view second = wordAt(line, afterSecond);
  if (!first.empty() && first[0] == '#') {
    add(HintKind::hashComment, "start the comment with -- instead of #", firstAt, 1);
    return hints;
  }
  if (first == "else" && (second == "if" || second.starts_with("if("))) {
    add(HintKind::elseIf, "write elif instead of else if", firstAt, afterSecond - firstAt - second.size() + 2);
  }
  if (!first.empty() && (first[0] == '"' || first[0] == '\'')) {
    // A quoted text that closes, with nothing after it.
    std::size_t at = firstAt + 1;
    while (at < line.size() && line[at] != first[0]) at += line[at] == '\\' ? 2 : 1;
    if (at < line.size() && line.find_first_not_of(" \t\r\v\f", at + 1) == std::string_view::npos) {
      add(HintKind::noSpeaker, "give the line a speaker, as in e \"...\"", firstAt, at + 1 - firstAt);
    }
  }
  // The operators and the colon, outside quoted texts and comments.
  bool colon = false;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"' || c == '\'') {
      ++at;
      while (at < line.size() && line[at] != c) at += line[at] == '\\' ? 2 : 1;
      continue;
    }
    const char after = at + 1 < line.size() ? line[at + 1] : '\0';
    if (c == '-' && after == '-') break;
    if (c == ':') colon = true;
    if (c == '!' && after == '=') {
      add(HintKind::notEqual, "write ~= instead of !=", at, 2);
      ++at;
    } else if (c == '!') {
      add(HintKind::notOperator, "write not instead of !", at, 1);
    } else if (c == '&' && after == '&') {
      add(HintKind::andOperator, "write and instead of &&", at, 2);
      ++at;
    } else if (c == '|' && after == '|') {
      add(HintKind::orOperator, "write or instead of ||", at, 2);
      ++at;
    }
  }
  if ((first == "if" || first == "elif") && !colon) {
    const std::size_t end = line.find_last_not_of(" \t\r\v\f");
    add(HintKind::missingColon, "end the line with a colon", end == std::string_view::npos ? 0 : end + 1, 0);
  }
  std::stable_sort(hints.begin(), hints.end(),
                   [](const Hint& a, const Hint& b) { return a.column < b.column; });
  return hints;
}

std::string joinFixes(const std::vector<Hint>& hints) {
  std::string text;
  for (std::size_t k = 0; k < hints.size(); ++k) {
    if (k > 0) text.append(k + 1 == hints.size() ? " and " : ", ");
    text.append(hints[k].fix);
  }
  return text;
}

}  // namespace brindle::check
