#include "hints.h"

#include <algorithm>

#include "string_utils.h"
#include "triggers.h"

namespace brindle::check {
namespace {

// A hint that puts `right` where the author wrote `wrong`.
struct Swap {
  HintKind kind;
  std::string_view wrong;
  std::string_view right;
  bool word;  // `right` is a word, which needs blanks around it
};
constexpr Swap kNotEqual{HintKind::notEqual, "!=", "~=", false};
constexpr Swap kAnd{HintKind::andOperator, "&&", "and", true};
constexpr Swap kOr{HintKind::orOperator, "||", "or", true};
constexpr Swap kNot{HintKind::notOperator, "!", "not", true};
// The word of an else line, without its colon.
constexpr std::string_view kElse = kElseWord.substr(0, kElseWord.size() - 1);
constexpr std::string_view kColon = ":";

}  // namespace

std::vector<Hint> hintsFor(std::string_view line) {
  std::vector<Hint> hints;
  const auto add = [&](HintKind kind, std::string fix, std::size_t at, std::size_t size,
                       std::string replacement = {}) {
    hints.push_back({kind, std::move(fix), at + 1, at + 1 + size, std::move(replacement)});
  };
  const auto swap = [&](const Swap& swap, std::size_t at) {
    // Beside a name or a number, a word needs a blank: a&&b is a and b,
    // but (!x) is (not x).
    const std::size_t end = at + swap.wrong.size();
    const bool blankBefore = !swap.word || at == 0 || !isNameByte(line[at - 1]);
    const bool blankAfter = !swap.word || end == line.size() || !isNameByte(line[end]);
    add(swap.kind, joined("write ", swap.right, " instead of ", swap.wrong), at, swap.wrong.size(),
        joined(blankBefore ? "" : " ", swap.right, blankAfter ? "" : " "));
  };
  std::size_t next = 0;
  const std::string_view first = nextWord(line, next);
  const std::size_t firstAt = next - first.size();
  std::size_t afterSecond = next;
  const std::string_view second = nextWord(line, afterSecond);
  if (!first.empty() && first[0] == '#') {
    add(HintKind::hashComment, "start the comment with -- instead of #", firstAt, 1);
    return hints;
  }
  if (first == kElse && (second == kIfWord || second.starts_with(joined(kIfWord, "(")))) {
    add(HintKind::elseIf, joined("write ", kElifWord, " instead of ", kElse, " ", kIfWord), firstAt,
        afterSecond - firstAt - second.size() + kIfWord.size(), std::string(kElifWord));
  }
  if (!first.empty() && (first[0] == '"' || first[0] == '\'')) {
    // A quoted text that closes, with nothing after it.
    const std::size_t at = quotedTextEnd(line, firstAt);
    if (at < line.size() && textSpan(line.substr(at + 1)).begin == line.size() - at - 1) {
      add(HintKind::noSpeaker, "give the line a speaker, as in e \"...\"", firstAt, at + 1 - firstAt);
    }
  }
  // The operators and the colon, outside quoted texts and comments.
  bool colon = false;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"' || c == '\'') {
      at = quotedTextEnd(line, at);
      continue;
    }
    const char after = at + 1 < line.size() ? line[at + 1] : '\0';
    if (c == '-' && after == '-') break;
    if (c == ':') colon = true;
    const std::string_view here = line.substr(at);
    for (const Swap* candidate : {&kNotEqual, &kAnd, &kOr, &kNot}) {
      if (here.starts_with(candidate->wrong)) {
        swap(*candidate, at);
        at += candidate->wrong.size() - 1;
        break;
      }
    }
  }
  if ((first == kIfWord || first == kElifWord) && !colon) {
    const Span text = textSpan(line);
    add(HintKind::missingColon, "end the line with a colon", text.begin == text.end ? 0 : text.end, 0,
        std::string(kColon));
  }
  std::stable_sort(hints.begin(), hints.end(),
                   [](const Hint& a, const Hint& b) { return a.column < b.column; });
  return hints;
}

void appendFixes(std::string& out, const std::vector<Hint>& hints) {
  for (std::size_t k = 0; k < hints.size(); ++k) {
    if (k > 0) out.append(k + 1 == hints.size() ? " and " : ", ");
    out.append(hints[k].fix);
  }
}

std::string joinFixes(const std::vector<Hint>& hints) {
  std::string text;
  appendFixes(text, hints);
  return text;
}

}  // namespace brindle::check
