#include "rewrite.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>

#include "normalise.h"
#include "output_texts.h"
#include "text_buffer.h"
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
// Inlined into both forms of the rewrite: a call for every line costs more
// than the tests.
[[gnu::always_inline]] inline KeywordRule keywordRuleOf(Words& words, TriggerSet triggers) {
  KeywordRule rule = KeywordRule::none;
  switch (words.firstWord()) {
    case FirstWord::jumpOut:
      return KeywordRule::quoteJumpTarget;
    case FirstWord::ifWord:
      return KeywordRule::openChain;
    case FirstWord::pathEnd:
      return KeywordRule::callPathEnd;
    case FirstWord::elseWord:
    case FirstWord::elifWord:
      rule = KeywordRule::continueChain;
      break;
    default:
      if ((triggers & kUpdateTrigger) != 0 &&
          (words.third() == kAddTo || words.third() == kSubtractFrom)) {
        rule = KeywordRule::expandUpdate;
      }
  }
  if (rule != KeywordRule::none && words.second() == kPathEndWord) return KeywordRule::keepPathEnd;
  return rule;
}

// How the rules change a text: the edits are made, and with kNoted, each is
// also put in the log, one step after another, at its place in the text as
// the step found it. The rules are written once, over either; without a
// log, nothing is noted and nothing costs more.
template <bool kNoted>
struct EditNotes {
  EditLog* log;
  std::size_t step = 0;

  void note(std::size_t at, std::size_t removed, std::size_t inserted, RewriteRule rule,
            std::size_t row = 0) {
    if constexpr (kNoted) {
      log->push_back({step, at, removed, inserted, rule, static_cast<std::uint8_t>(row)});
    }
  }
  void endStep() {
    if constexpr (kNoted) ++step;
  }
  // replaceAll, noting each occurrence it replaces, as one step: the same
  // text, built from the occurrences found once.
  void replaceAll(std::string& text, std::string_view from, std::string_view to, RewriteRule rule) {
    if constexpr (!kNoted) {
      brindle::replaceAll(text, from, to);
    } else {
      const std::size_t first = log->size();
      for (std::size_t at = findText(text, from); at != std::string::npos;
           at = findText(text, from, at + from.size())) {
        note(at, from.size(), to.size(), rule);
      }
      if (log->size() != first) {
        std::string result;
        std::size_t copied = 0;
        for (std::size_t k = first; k < log->size(); ++k) {
          result.append(text, copied, (*log)[k].at - copied).append(to);
          copied = (*log)[k].at + from.size();
        }
        text = result.append(text, copied);
      }
    }
    endStep();
  }
  // Erases `size` bytes at `at`, as one step.
  void erase(std::string& text, std::size_t at, std::size_t size, RewriteRule rule) {
    note(at, size, 0, rule);
    text.erase(at, size);
    endStep();
  }
  // Inserts `what` at `at`, as one step.
  void insert(std::string& text, std::size_t at, std::string_view what, RewriteRule rule) {
    note(at, 0, what.size(), rule);
    text.insert(at, what);
    endStep();
  }
};

// One scan gives the same text as one replaceAll per row of kValueRewrites:
// no two search texts can overlap unless one holds the other, and then the
// longer comes first; no replacement can form a new occurrence of a later
// row; and none makes the text longer. The `size` bytes at `in` are written
// rewritten from `out` on, which may be `in` itself; returns the bytes
// written.
template <typename Notes>
std::size_t applyValueRewrites(const char* const in, std::size_t size, char* const out, Notes& notes) {
  // Most bytes start no search text, and one look at a table lets them pass.
  static constexpr auto kStarts = [] {
    std::array<bool, 256> starts{};
    for (const auto& rule : kValueRewrites) starts[static_cast<unsigned char>(rule.first[0])] = true;
    return starts;
  }();
  const char* const end = in + size;
  char* to = out;
  for (const char* at = in; at != end;) {
    if (!kStarts[static_cast<unsigned char>(*at)]) {
      *to++ = *at++;
      continue;
    }
    const auto* rule = std::find_if(
        std::begin(kValueRewrites), std::end(kValueRewrites), [&](const auto& r) {
          return r.first.front() == *at && static_cast<std::size_t>(end - at) >= r.first.size() &&
                 std::equal(r.first.begin(), r.first.end(), at);
        });
    if (rule == std::end(kValueRewrites)) {
      *to++ = *at++;
      continue;
    }
    notes.note(static_cast<std::size_t>(at - in), rule->first.size(), rule->second.size(),
               RewriteRule::valueRewrite, static_cast<std::size_t>(rule - std::begin(kValueRewrites)));
    to = std::copy(rule->second.begin(), rule->second.end(), to);
    at += rule->first.size();
  }
  notes.endStep();
  return static_cast<std::size_t>(to - out);
}

template <typename Notes>
void applyValueRewrites(std::string& text, Notes& notes) {
  text.resize(applyValueRewrites(text.data(), text.size(), text.data(), notes));
}

// The value rewrites alone, noting nothing: `text` rewritten, written at
// `out`, which has room for it; returns where the rewritten text ends.
char* putValueRewritten(char* out, std::string_view text) {
  EditNotes<false> notes{nullptr};
  return out + applyValueRewrites(text.data(), text.size(), out, notes);
}

// The rewrites every statement gets, in order, each skipped where the text
// holds nothing it looks for. `dollar` is where the first "$" stands, found
// before (npos for none), and so is `call`, the first "call ", where there
// is no "$" to erase first.
template <typename Notes>
void applyCommonRewrites(std::string& text, TriggerSet triggers, std::size_t dollar,
                         std::size_t call, Notes& notes) {
  // Erasing joins the bytes on either side, which may form a text that a
  // later rewrite looks for; no other text can appear.
  const auto erase = [&](std::size_t at, std::string_view what, RewriteRule rule) {
    notes.erase(text, at, what.size(), rule);
    if (at > 0 && at < text.size()) triggers |= formedByJoining(text[at - 1], text[at]);
  };
  if (dollar != std::string::npos) erase(dollar, kDollar, RewriteRule::dollar);
  if ((triggers & kCallTrigger) != 0) {
    if (dollar != std::string::npos) call = findText(text, kCall);  // it may have moved, or formed
    if (call != std::string::npos) erase(call, kCall, RewriteRule::call);
  }
  if ((triggers & kValueTrigger) != 0) applyValueRewrites(text, notes);
}

// `jump_out target` becomes `jump_out ("target")`; the target is wrapped
// wherever it occurs in the line.
template <typename Notes>
void quoteJumpTarget(std::string& text, std::string_view target, Notes& notes) {
  std::string quoted;
  quoted.reserve(kTargetOpen.size() + target.size() + kTargetClose.size());
  quoted.append(kTargetOpen).append(target).append(kTargetClose);
  notes.replaceAll(text, target, quoted, RewriteRule::jumpTarget);
}

// `if a:` becomes `if a then`: every colon, wherever it stands.
template <typename Notes>
void openChain(std::string& text, Notes& notes) {
  notes.replaceAll(text, kColon, kThen, RewriteRule::ifColons);
}

// A path_end statement becomes a call wherever it stands: inside a chain body
// the final pass would not reach it, and a bare `path_end` does not load as
// Lua. The line holds no "path_end" when whitespace inside the word joined
// it.
template <typename Notes>
void callPathEnd(std::string& text, Notes& notes) {
  const std::size_t at = findText(text, kPathEnd);
  if (at != std::string::npos) {
    notes.insert(text, at + kPathEnd.size(), kCallParentheses, RewriteRule::pathEndCall);
  }
}

// `else:` becomes `else`, `elif a:` becomes `elseif a then`: every colon
// goes, and for `elif` every "elif" becomes "elseif".
template <typename Notes>
void continueChain(std::string& text, bool elif, Notes& notes) {
  notes.replaceAll(text, kColon, "", RewriteRule::chainColons);
  if (!elif) return;
  notes.replaceAll(text, kElifWord, kElseifWord, RewriteRule::elifWord);
  notes.note(text.size(), 0, kThen.size(), RewriteRule::elifWord);
  text.append(kThen);
  notes.endStep();
}

// `name += value` becomes `name = name + value`, and `-=` likewise. Both
// operators are rewritten whichever one chose the rule.
template <typename Notes>
void expandUpdate(std::string& text, std::string_view name, Notes& notes) {
  // "+=" becomes "= NAME +", "-=" "= NAME -": the operator's sign follows
  // the name.
  std::string expanded;
  expanded.reserve(kUpdateOpen.size() + name.size() + 2);
  for (const std::string_view update : {kAddTo, kSubtractFrom}) {
    expanded.assign(kUpdateOpen).append(name).append(1, ' ').append(1, update[0]);
    notes.replaceAll(text, update, expanded, RewriteRule::updateExpansion);
  }
}

// Every "path_end;" becomes "path_end();", wherever it stands; returns
// whether one did.
template <typename Notes>
bool callEveryPathEnd(std::string& text, Notes& notes) {
  const std::size_t size = text.size();
  notes.replaceAll(text, kPathEndStatement, kPathEndCall, RewriteRule::finalPass);
  return text.size() != size;
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

namespace {

// Rewrites the statement with the plan of its rules, noting the edits when
// Notes does; returns whether a step may have edited the text.
template <typename Notes>
bool rewriteWith(Words& words, TriggerSet triggers, ScriptLine& statement, std::string* warning,
                 std::string* jumpTarget, Notes& notes) {
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
  const bool elif = rule == KeywordRule::continueChain && words.firstWord() == FirstWord::elifWord;
  const std::string second(
      rule == KeywordRule::quoteJumpTarget || rule == KeywordRule::expandUpdate ? words.second()
                                                                                : std::string_view());
  applyCommonRewrites(text, triggers, dollar, call, notes);
  const std::optional<std::size_t> tabs = words.tabCount();
  statement.indent = tabs ? *tabs : countTabs(text);
  statement.chainFlag = ChainFlag::plainStatement;
  bool edited = dollar != std::string::npos || (triggers & (kCallTrigger | kValueTrigger)) != 0;
  switch (rule) {
    case KeywordRule::quoteJumpTarget:
      if (second.empty()) {
        if (warning) *warning = "jump_out has no target; the line is left unquoted";
      } else {
        quoteJumpTarget(text, second, notes);
        if (jumpTarget) *jumpTarget = second;
      }
      edited = true;
      break;
    case KeywordRule::openChain:
      openChain(text, notes);
      statement.chainFlag = ChainFlag::opensChain;
      edited = true;
      break;
    case KeywordRule::callPathEnd:
      callPathEnd(text, notes);
      edited = true;
      break;
    case KeywordRule::continueChain:
      continueChain(text, elif, notes);
      statement.chainFlag = ChainFlag::continuesChain;
      edited = true;
      break;
    case KeywordRule::expandUpdate:
      expandUpdate(text, second, notes);
      edited = true;
      break;
    case KeywordRule::keepPathEnd:
    case KeywordRule::none:
      break;
  }
  // No rule puts in a semicolon: without one in the line there is no
  // "path_end;" to call.
  if ((triggers & kSemicolonTrigger) != 0 && callEveryPathEnd(text, notes)) edited = true;
  return edited;
}

// The rewrite that notes its edits, apart, so that the plain one is compiled
// as if it were alone.
[[gnu::noinline]] bool rewriteNoting(Words& words, TriggerSet triggers, ScriptLine& statement,
                                     std::string* warning, std::string* jumpTarget, EditLog& edits) {
  EditNotes<true> notes{&edits};
  return rewriteWith(words, triggers, statement, warning, jumpTarget, notes);
}

}  // namespace

bool rewriteStatement(Words& words, TriggerSet triggers, ScriptLine& statement,
                      std::string* warning, std::string* jumpTarget, EditLog* edits) {
  if (edits) return rewriteNoting(words, triggers, statement, warning, jumpTarget, *edits);
  EditNotes<false> notes{nullptr};
  return rewriteWith(words, triggers, statement, warning, jumpTarget, notes);
}

namespace {

// Where the word of `rest` that starts at `from` ends: at the next blank
// or the end.
std::size_t wordEnd(std::string_view rest, std::size_t from) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; from + sizeof(std::uint64_t) <= rest.size(); from += sizeof(std::uint64_t)) {
      if (const std::uint64_t blanks = bytesOf(wordAt(rest.data() + from), kFourBlanks[0]); blanks != 0) {
        return from + static_cast<std::size_t>(std::countr_zero(blanks)) / 8;
      }
    }
  }
  while (from < rest.size() && rest[from] != kFourBlanks[0]) ++from;
  return from;
}

// Whether the only update of `text` ("+=" or "-=") is the one at `at`.
// Every update ends in the same byte, which is rare in a line: those bytes
// are found eight at a time, and only the byte before each is looked at.
bool onlyUpdateAt(std::string_view text, std::size_t at) {
  const auto anotherEndsAt = [&](std::size_t i) {
    return i > 0 && endsUpdate(text[i - 1], text[i]) && i - 1 != at;
  };
  std::size_t from = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; from + sizeof(std::uint64_t) <= text.size(); from += sizeof(std::uint64_t)) {
      for (std::uint64_t ends = bytesOf(wordAt(text.data() + from), kAddTo[1]); ends != 0; ends &= ends - 1) {
        if (anotherEndsAt(from + static_cast<std::size_t>(std::countr_zero(ends)) / 8)) return false;
      }
    }
  }
  for (; from < text.size(); ++from) {
    if (anotherEndsAt(from)) return false;
  }
  return true;
}

// Puts `text` at `out` with every colon made `colon`; returns where it
// ends. `out` has room for the text with each of its bytes made `colon`.
char* putColonsMade(char* out, std::string_view text, std::string_view colon) {
  const char* from = text.data();
  const char* const end = from + text.size();
  // Most lines end in their only colon, after which nothing is looked at.
  while (from != end) {
    const auto* const at = static_cast<const char*>(std::memchr(from, kColon[0], static_cast<std::size_t>(end - from)));
    if (!at) break;
    out = TextBuffer::put(out, std::string_view(from, static_cast<std::size_t>(at - from)));
    out = TextBuffer::put(out, colon);
    from = at + 1;
  }
  return TextBuffer::put(out, std::string_view(from, static_cast<std::size_t>(end - from)));
}

// Whether `text` holds `what`, found by its last byte: for the words the
// fast forms look for, a byte rarer in a story than the first.
bool holdsByLastByte(std::string_view text, std::string_view what) {
  if (text.size() < what.size()) return false;
  const std::size_t tail = what.size() - 1;
  const char* at = text.data() + tail;
  const char* const end = text.data() + text.size();
  while ((at = static_cast<const char*>(std::memchr(at, what[tail], static_cast<std::size_t>(end - at))))) {
    if (std::equal(what.begin(), what.end() - 1, at - tail)) return true;
    ++at;
  }
  return false;
}

// Whether the word of `rest` that starts at `from` is `word`.
bool wordIs(std::string_view rest, std::size_t from, std::string_view word) {
  return rest.size() >= from + word.size() && rest.compare(from, word.size(), word) == 0 &&
         (rest.size() == from + word.size() || rest[from + word.size()] == kFourBlanks[0]);
}

}  // namespace

bool fastStatement(std::string_view raw, std::size_t leading, TriggerSet triggers, bool blanksOnly,
                   FirstWord first, TextBuffer& scratch, FastStatement& out) {
  constexpr std::size_t kTabBlanks = kFourBlanks.size();
  if (!blanksOnly || leading % kTabBlanks != 0 || leading == raw.size() ||
      (triggers & (kBlankRunTrigger | kSemicolonTrigger)) != 0) {
    return false;
  }
  const std::string_view rest(raw.data() + leading, raw.size() - leading);
  const std::size_t tabs = leading / kTabBlanks;
  // The bytes of `rest` from `from` on, or from `from` to `to`.
  const auto part = [&](std::size_t from, std::size_t to = std::string_view::npos) {
    return std::string_view(rest.data() + from, std::min(to, rest.size()) - from);
  };
  // With no whitespace but blanks and no run of them, the tabs are the
  // leading ones, and the words are the runs between blanks.
  const auto done = [&](std::string_view text, ChainFlag flag) {
    out.lua = {text, tabs, tabs, flag};
    return true;
  };
  // The Lua written into `scratch` from its start to `end`.
  const auto written = [&](const char* end, ChainFlag flag) {
    scratch.settle(end);
    return done(scratch.view(), flag);
  };
  // The name a `$` line or a jump gives, at `at` in `rest`.
  const auto named = [&](NameKind kind, std::string_view name, std::size_t at) {
    out.nameKind = kind;
    out.name = name;
    out.nameAt = leading + at;
  };
  out.nameKind = NameKind::none;
  out.name = {};
  scratch.clear();
  if (rest.starts_with(kCall)) {
    // The first "call " stands first and goes; the tab before it forms
    // nothing with what follows.
    if ((triggers & ~(kCallTrigger | kValueTrigger)) != 0) return false;
    if ((triggers & kValueTrigger) == 0) return done(part(kCall.size()), ChainFlag::plainStatement);
    return written(putValueRewritten(scratch.room(rest.size()), part(kCall.size())), ChainFlag::plainStatement);
  }
  if (first == FirstWord::none) return false;
  const std::size_t second = kFirstWords[static_cast<std::size_t>(first)].size() + 1;  // where the second word starts
  switch (first) {
    case FirstWord::dollar: {
      // "$" stands first and goes; the blank or tab before it and the blank
      // after it form no trigger text.
      const std::size_t nameEnd = wordEnd(rest, second);
      if (nameEnd <= second || (triggers & ~(kDollarTrigger | kUpdateTrigger | kValueTrigger)) != 0) {
        return false;
      }
      const std::string_view name = part(second, nameEnd);
      if ((triggers & kUpdateTrigger) == 0) {
        named(NameKind::variable, name, second);
        if ((triggers & kValueTrigger) == 0) return done(part(kDollar.size()), ChainFlag::plainStatement);
        return written(putValueRewritten(scratch.room(rest.size()), part(kDollar.size())), ChainFlag::plainStatement);
      }
      // `$ NAME += VALUE`: the one update is the third word, and the blank
      // the normalisation puts behind it forms no text a rule looks for
      // with what follows (more blanks make a run no rule looks at now). A
      // NAME "path_end" keeps the update as it stands: the general steps.
      if ((triggers & kValueTrigger) != 0 || name == kPathEndWord || nameEnd + 3 > rest.size() || rest[nameEnd] != ' ' ||
          !endsUpdate(rest[nameEnd + 1], rest[nameEnd + 2]) || !onlyUpdateAt(rest, nameEnd + 1) ||
          (formedByJoining(' ', nameEnd + 3 < rest.size() ? rest[nameEnd + 3] : '\0') & ~kBlankRunTrigger) != 0) {
        return false;
      }
      named(NameKind::variable, name, second);
      const char sign[] = {' ', rest[nameEnd + 1], ' '};
      char* lua = scratch.room(rest.size() + kUpdateOpen.size() + name.size() + std::size(sign));
      lua = TextBuffer::put(lua, part(kDollar.size(), nameEnd + 1));  // the blank included
      lua = TextBuffer::put(lua, kUpdateOpen);
      lua = TextBuffer::put(lua, name);
      lua = TextBuffer::put(lua, std::string_view(sign, std::size(sign)));
      return written(TextBuffer::put(lua, part(nameEnd + 3)), ChainFlag::plainStatement);
    }
    case FirstWord::ifWord:
    case FirstWord::elifWord:
    case FirstWord::elseWord: {
      // A second word "path_end" leaves the line as it is: the general steps.
      if (triggers != 0 || wordIs(rest, second, kPathEndWord)) return false;
      // Room for every byte made " then", and for the " then" of an elif.
      char* const lua = scratch.room((rest.size() + 1) * std::max(kThen.size(), kElseifWord.size()));
      if (first == FirstWord::ifWord) return written(putColonsMade(lua, rest, kThen), ChainFlag::opensChain);
      if (first == FirstWord::elseWord) return written(putColonsMade(lua, rest, ""), ChainFlag::continuesChain);
      // Every "elif" becomes "elseif": the first stands first, and where
      // the rest, its colons gone, holds another, the general steps.
      char* const condition = TextBuffer::put(lua, kElseifWord);
      char* const end = putColonsMade(condition, part(kElifWord.size()), "");
      if (holdsByLastByte(std::string_view(condition, static_cast<std::size_t>(end - condition)), kElifWord)) {
        return false;
      }
      return written(TextBuffer::put(end, kThen), ChainFlag::continuesChain);
    }
    case FirstWord::jumpOut: {
      // `jump_out TARGET`, where the target is found in the line only where
      // it stands: it runs to the end, so any other place begins before it.
      if (triggers != 0 || second >= rest.size() || wordEnd(rest, second) != rest.size()) return false;
      const std::string_view target = part(second);
      for (std::size_t at = 0; at < second; ++at) {
        if (rest[at] == target[0] && rest.compare(at, target.size(), target) == 0) return false;
      }
      named(NameKind::jumpTarget, target, second);
      char* lua = scratch.room(rest.size() + kTargetOpen.size() + kTargetClose.size());
      lua = TextBuffer::put(lua, part(0, second));
      lua = TextBuffer::put(lua, kTargetOpen);
      lua = TextBuffer::put(lua, target);
      return written(TextBuffer::put(lua, kTargetClose), ChainFlag::plainStatement);
    }
    case FirstWord::pathEnd:
      if (triggers != 0 || rest.size() != kPathEndWord.size()) return false;
      return written(TextBuffer::put(TextBuffer::put(scratch.room(rest.size() + kCallParentheses.size()), rest),
                                     kCallParentheses),
                     ChainFlag::plainStatement);
    case FirstWord::label:
    case FirstWord::none:
      return false;
  }
  return false;
}

void callPathEnds(std::string& text, std::size_t from) {
  const std::size_t hit = findText(text, kPathEndStatement, from);
  if (hit == std::string::npos) return;
  std::string rest(text, hit);
  text.resize(hit);
  replaceAll(rest, kPathEndStatement, kPathEndCall);
  text.append(rest);
}

}  // namespace brindle
