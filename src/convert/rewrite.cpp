#include "rewrite.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <optional>

#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

// The keyword rules, in the order their tests are tried; only the first
// whose test holds is applied.
enum class KeywordRule {
  quoteJumpTarget,  // first word "jump_out"
  openChain,        // first word "if"
  callPathEnd,      // first word "path_end"
  keepPathEnd,      // second word "path_end": the final pass makes it a call
  continueChain,    // first word "else:" or "elif"
  expandUpdate,     // third word "+=" or "-="
  none,
};

// Tries the tests in order. The words a test looks at are cut only when it
// is tried, and a test is tried only where its outcome matters: a second
// word "path_end" chooses a rule that changes nothing, so it is looked for
// only where a later test would hold, and expanding an update rewrites
// nothing in a text that holds no "+=" or "-=" (`triggers` tell whether the
// text the rule will rewrite, after the common rewrites, may).
KeywordRule keywordRuleOf(Words& words, TriggerSet triggers) {
  const std::string_view first =
      words.firstMayStartWith(kFirstWordStarts) ? words.first() : std::string_view();
  if (first == kJumpOutWord) return KeywordRule::quoteJumpTarget;
  if (first == kIfWord) return KeywordRule::openChain;
  if (first == kPathEndWord) return KeywordRule::callPathEnd;
  KeywordRule rule = KeywordRule::none;
  if (first == kElseWord || first == kElifWord) {
    rule = KeywordRule::continueChain;
  } else if ((triggers & kUpdateTrigger) != 0 &&
             (words.third() == kAddTo || words.third() == kSubtractFrom)) {
    rule = KeywordRule::expandUpdate;
  }
  if (rule != KeywordRule::none && words.second() == kPathEndWord) return KeywordRule::keepPathEnd;
  return rule;
}

// One scan, in place, gives the same text as one replaceAll per row of
// kValueRewrites: no two search texts can overlap unless one holds the
// other, and then the longer comes first; no replacement can form a new
// occurrence of a later row; and none makes the text longer.
void applyValueRewrites(std::string& text) {
  // Most bytes start no search text, and one look at a table lets them pass.
  static constexpr auto kStarts = [] {
    std::array<bool, 256> starts{};
    for (const auto& rule : kValueRewrites) starts[static_cast<unsigned char>(rule.first[0])] = true;
    return starts;
  }();
  char* const begin = text.data();
  const char* const end = begin + text.size();
  char* out = begin;
  for (const char* in = begin; in != end;) {
    if (!kStarts[static_cast<unsigned char>(*in)]) {
      *out++ = *in++;
      continue;
    }
    const auto* rule = std::find_if(
        std::begin(kValueRewrites), std::end(kValueRewrites), [&](const auto& r) {
          return r.first.front() == *in && static_cast<std::size_t>(end - in) >= r.first.size() &&
                 std::equal(r.first.begin(), r.first.end(), in);
        });
    if (rule == std::end(kValueRewrites)) {
      *out++ = *in++;
      continue;
    }
    out = std::copy(rule->second.begin(), rule->second.end(), out);
    in += rule->first.size();
  }
  text.resize(static_cast<std::size_t>(out - begin));
}

// The rewrites every statement gets, in order, each skipped where the text
// holds nothing it looks for. `dollar` is where the first "$" stands, found
// before (npos for none), and so is `call`, the first "call ", where there
// is no "$" to erase first.
void applyCommonRewrites(std::string& text, TriggerSet triggers, std::size_t dollar,
                         std::size_t call) {
  // Erasing joins the bytes on either side, which may form a text that a
  // later rewrite looks for; no other text can appear.
  const auto erase = [&](std::size_t at, std::string_view what) {
    text.erase(at, what.size());
    if (at > 0 && at < text.size()) triggers |= formedByJoining(text[at - 1], text[at]);
  };
  if (dollar != std::string::npos) erase(dollar, kDollar);
  if ((triggers & kCallTrigger) != 0) {
    if (dollar != std::string::npos) call = findText(text, kCall);  // it may have moved, or formed
    if (call != std::string::npos) erase(call, kCall);
  }
  if ((triggers & kValueTrigger) != 0) applyValueRewrites(text);
}

// `jump_out target` becomes `jump_out ("target")`; the target is wrapped
// wherever it occurs in the line.
void quoteJumpTarget(std::string& text, std::string_view target) {
  std::string quoted;
  quoted.reserve(target.size() + 4);
  quoted.append("(\"").append(target).append("\")");
  replaceAll(text, target, quoted);
}

// `if a:` becomes `if a then`: every colon, wherever it stands.
void openChain(std::string& text) { replaceAll(text, kColon, " then"); }

// A path_end statement becomes a call wherever it stands: inside a chain body
// the final pass would not reach it, and a bare `path_end` does not load as
// Lua. The line holds no "path_end" when whitespace inside the word joined
// it.
void callPathEnd(std::string& text) {
  const std::size_t at = findText(text, kPathEnd);
  if (at != std::string::npos) text.insert(at + kPathEnd.size(), "()");
}

// `else:` becomes `else`, `elif a:` becomes `elseif a then`: every colon
// goes, and for `elif` every "elif" becomes "elseif".
void continueChain(std::string& text, bool elif) {
  replaceAll(text, kColon, "");
  if (!elif) return;
  replaceAll(text, kElifWord, "elseif");
  text.append(" then");
}

// `name += value` becomes `name = name + value`, and `-=` likewise. Both
// operators are rewritten whichever one chose the rule.
void expandUpdate(std::string& text, std::string_view name) {
  std::string plus("= ");
  plus.append(name).append(" +");
  std::string minus("= ");
  minus.append(name).append(" -");
  replaceAll(text, kAddTo, plus);
  replaceAll(text, kSubtractFrom, minus);
}

// The tabs in `text`: those of the indentation counted one by one, the
// rest, which most lines have none of, found with memchr.
std::size_t countTabs(std::string_view text) {
  std::size_t tabs = 0;
  while (tabs < text.size() && text[tabs] == '\t') ++tabs;
  const char* p = text.data() + tabs;
  const char* const end = text.data() + text.size();
  while ((p = static_cast<const char*>(std::memchr(p, '\t', static_cast<std::size_t>(end - p))))) {
    ++tabs;
    ++p;
  }
  return tabs;
}

}  // namespace

bool isLabelStatement(Words& words) {
  return words.firstMayStartWith(kFirstWordStarts) && words.first() == kLabelWord;
}

std::string labelName(Words& words) {
  std::string name(words.second());
  eraseFirst(name, kColon);
  return name;
}

std::string_view variableOf(Words& words) {
  return words.firstMayStartWith(kFirstWordStarts) && words.first() == kDollarWord
             ? words.second()
             : std::string_view();
}

bool variableOfSimpleLine(std::string_view raw, std::string_view& name) {
  // Blanks in fours become tabs, which leave the first word alone. A name
  // without whitespace or "=" (which "+=" and "-=" end with) is left as it
  // is, and so is a blank after it that fewer than three more follow.
  constexpr char kBlank = kFourBlanks[0];
  std::size_t at = 0;
  while (raw.substr(at, kFourBlanks.size()) == kFourBlanks) at += kFourBlanks.size();
  if (raw.substr(at, kDollarWord.size()) != kDollarWord) return false;
  at += kDollarWord.size();
  if (at == raw.size() || raw[at] != kBlank) return false;
  const std::size_t begin = ++at;
  while (at < raw.size() && !isSpaceByte(raw[at]) && raw[at] != kAddTo[1]) ++at;
  const bool ended = at == raw.size() ||
                     (raw[at] == kBlank && raw.substr(at, kFourBlanks.size()) != kFourBlanks);
  if (at == begin || !ended) return false;
  name = raw.substr(begin, at - begin);
  return true;
}

void rewriteStatement(Words& words, TriggerSet triggers, ScriptLine& statement,
                      std::string* warning, std::string* jumpTarget) {
  std::string& text = statement.text;
  // The keyword rule is chosen, and the word it works with copied, before
  // the common rewrites change the text under the words. Erasing joins the
  // bytes on either side, which may form a "+=" that the rule would expand;
  // where the one text to erase stands is found first, so that the rule
  // knows. Where both a "$" and a "call " are to be erased, any text may
  // form.
  const auto find = [&](TriggerSet trigger, std::string_view what) {
    return (triggers & trigger) != 0 ? findText(text, what) : std::string::npos;
  };
  const std::size_t dollar = find(kDollarTrigger, kDollar);
  const std::size_t call = dollar == std::string::npos ? find(kCallTrigger, kCall) : std::string::npos;
  const auto joined = [&](std::size_t at, std::size_t size) {
    return at > 0 && at + size < text.size() ? formedByJoining(text[at - 1], text[at + size]) : 0;
  };
  TriggerSet after = triggers;
  if (dollar != std::string::npos && (triggers & kCallTrigger) != 0) {
    after = kEveryTrigger;
  } else if (dollar != std::string::npos) {
    after |= joined(dollar, kDollar.size());
  } else if (call != std::string::npos) {
    after |= joined(call, kCall.size());
  }
  const KeywordRule rule = keywordRuleOf(words, after);
  const bool elif = rule == KeywordRule::continueChain && words.first() == kElifWord;
  const std::string second(
      rule == KeywordRule::quoteJumpTarget || rule == KeywordRule::expandUpdate ? words.second()
                                                                                : std::string_view());
  applyCommonRewrites(text, triggers, dollar, call);
  const std::optional<std::size_t> tabs = words.tabCount();
  statement.indent = tabs ? *tabs : countTabs(text);
  statement.chainFlag = ChainFlag::plainStatement;
  switch (rule) {
    case KeywordRule::quoteJumpTarget:
      if (second.empty()) {
        if (warning) *warning = "jump_out has no target; the line is left unquoted";
      } else {
        quoteJumpTarget(text, second);
        if (jumpTarget) *jumpTarget = second;
      }
      return;
    case KeywordRule::openChain:
      openChain(text);
      statement.chainFlag = ChainFlag::opensChain;
      return;
    case KeywordRule::callPathEnd:
      callPathEnd(text);
      return;
    case KeywordRule::continueChain:
      continueChain(text, elif);
      statement.chainFlag = ChainFlag::continuesChain;
      return;
    case KeywordRule::expandUpdate:
      expandUpdate(text, second);
      return;
    case KeywordRule::keepPathEnd:
    case KeywordRule::none:
      return;
  }
}

}  // namespace brindle
