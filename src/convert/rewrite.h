// The statement rules: what a line's words make of it. Each rule is written
// in one function of rewrite.cpp and takes its texts from triggers.h (the
// last one's replacement from output_texts.h). The rewriting is textual:
// substitutions act on substrings anywhere in a line and are never undone;
// only the choice of a rule looks at the words, which were made from the
// normalised line before any rewrite. Plain functions; any thread may call
// them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "records.h"
#include "text_buffer.h"
#include "words.h"
#include "triggers.h"

namespace brindle {

// The steps of a statement's rewrite that change its text, each with what
// it does, in the words a story's author reads (rewriteRuleText, in
// text_changes.h).
enum class RewriteRule : std::uint8_t {
  fourBlanks,        // the normalisation: four blanks become a tab
  blankAfterUpdate,  // the normalisation: a blank goes behind "+=" and "-="
  dollar,            // the first "$" is erased
  call,              // the first "call " is erased
  valueRewrite,      // a row of kValueRewrites; Edit::row tells which
  ifColons,          // an if line's colons become " then"
  chainColons,       // an elif or else: line's colons are erased
  elifWord,          // an elif line's "elif" becomes "elseif", and " then" follows
  jumpTarget,        // a jump target is quoted wherever it occurs
  updateExpansion,   // "+=" and "-=" of an update are expanded
  pathEndCall,       // a path_end statement becomes a call
  finalPass,         // "path_end;" becomes "path_end();" wherever it stands
};

// One replacement a step made: `removed` bytes at `at`, in the text as the
// step found it, gave way to `inserted` bytes. The edits of a step come in
// the order of their places; the steps in the order they ran.
struct Edit {
  std::size_t step = 0;
  std::size_t at = 0;
  std::size_t removed = 0;
  std::size_t inserted = 0;
  RewriteRule rule = RewriteRule::dollar;
  std::uint8_t row = 0;
};
using EditLog = std::vector<Edit>;

// Rewrites `statement.text`, a normalised statement (not a label statement)
// whose words are `words`, by the rules, and sets its indent and chain role:
// the common rewrites (the first "$" and the first "call " erased, then the
// value rewrites), the number of tabs, the keyword rule, then the last rule:
// every "path_end;" becomes "path_end();". `triggers` are
// those the line was scanned to hold (kEveryTrigger when not known); the
// steps they rule out are skipped. When the statement is malformed in a way
// the author should hear about, `*warning` receives a message (it is left
// untouched otherwise). For a `jump_out` statement with a target,
// `*jumpTarget` receives the target, when asked for (it is left untouched
// otherwise). With `edits`, every change the steps make is appended there.
// Returns whether a step may have edited the text (false: it surely did
// not). The words may view the text; they are not looked at once it changes.
bool rewriteStatement(Words& words, TriggerSet triggers, ScriptLine& statement,
                      std::string* warning, std::string* jumpTarget = nullptr,
                      EditLog* edits = nullptr);

// Which of the words that choose a rule `rest`, a line after its leading
// blanks that holds no whitespace but blanks, begins with, if any. Inline:
// every such line is asked.
inline FirstWord firstWordOf(std::string_view rest) {
  if (rest.empty() || !kFirstWordStarts[static_cast<unsigned char>(rest[0])]) return FirstWord::none;
  // No word that chooses a rule is longer than the longest of them: the
  // search for the blank stops there, and only words of the length found
  // and the same first byte are compared, byte by byte.
  constexpr std::size_t kLongest = [] {
    std::size_t longest = 0;
    for (const std::string_view word : kFirstWords) longest = std::max(longest, word.size());
    return longest;
  }();
  std::size_t size = 1;
  while (size < rest.size() && size <= kLongest && rest[size] != ' ') ++size;
  if (size > kLongest) return FirstWord::none;
  for (std::size_t k = 0; k < std::size(kFirstWords); ++k) {
    const std::string_view word = kFirstWords[k];
    if (word.size() == size && word[0] == rest[0] && std::equal(word.begin() + 1, word.end(), rest.begin() + 1)) {
      return static_cast<FirstWord>(k);
    }
  }
  return FirstWord::none;
}

// The same for a whole line `raw` that holds no whitespace but blanks, of
// `leading` leading blanks: blanks left over after its tabs make its first
// word empty.
inline FirstWord firstWordAfter(std::string_view raw, std::size_t leading) {
  return leading % kFourBlanks.size() == 0 ? firstWordOf(std::string_view(raw.data() + leading, raw.size() - leading))
                                           : FirstWord::none;
}

// The fast form of the rules for a line none of them touches: one with no
// whitespace but blanks (`blanksOnly`, as scanned), none of the texts of
// triggers.h after its leading blanks (`triggers`, as scanned, 0) and a
// first word that chooses no rule. Its Lua is then the line with each four
// of its leading blanks made a tab, which `lua` receives as a view of `raw`:
// what normaliseLine and rewriteStatement make of it, as the fuzz target
// checks. `leading` is what leadingBlanks(raw) gives, `first` what
// firstWordAfter(raw, leading) gives where the line is blanksOnly. Returns
// false, for the general steps, for any other line.
// Inline: most lines of a story are such lines.
inline bool untouchedLine(std::string_view raw, std::size_t leading, TriggerSet triggers, bool blanksOnly,
                          FirstWord first, LuaStatement& lua) {
  if (triggers != 0 || !blanksOnly) return false;
  constexpr std::size_t kTabBlanks = kFourBlanks.size();
  // Blanks left over after the tabs make the first word empty; otherwise it
  // runs to the next blank.
  if (first != FirstWord::none) return false;
  const std::size_t tabs = leading / kTabBlanks;
  const std::size_t cut = tabs * kTabBlanks;  // no more than `leading`, within the line
  lua = {std::string_view(raw.data() + cut, raw.size() - cut), tabs, tabs, ChainFlag::plainStatement};
  return true;
}

// The fast forms of the rules for the commonest statements of stories,
// each a line of one shape: `$ NAME = VALUE`, `$ NAME += VALUE` (and `-=`),
// `if CONDITION:`, `elif CONDITION:`, `else:`, `call NAME ARGUMENTS`,
// `jump_out TARGET` and `path_end`. A line is taken only where it holds no
// whitespace but blanks (`blanksOnly`), its leading blanks (`leading`, as
// leadingBlanks gives) make whole tabs, and it holds none of the trigger
// texts its shape does not expect (`triggers`, as scanned). The Lua goes
// to `lua`, viewing `raw` or `scratch`; a `$` line's variable or a jump's
// target goes to `name` (a view of `raw`), and where it stands in `raw` to
// `nameAt`. The contract: what normaliseLine and rewriteStatement make of
// the line, with no warning, its second word as the name, as the fuzz
// target checks. `first` is as for untouchedLine. Returns false, for the
// general steps, for any other line.
struct FastStatement {
  LuaStatement lua;
  NameKind nameKind = NameKind::none;  // variable or jumpTarget, or none
  std::string_view name;
  std::size_t nameAt = 0;
};
bool fastStatement(std::string_view raw, std::size_t leading, TriggerSet triggers, bool blanksOnly,
                   FirstWord first, TextBuffer& scratch, FastStatement& out);

// The last rule alone, over text[from, end): every "path_end;" becomes
// "path_end();", for the names the writer puts between its own texts.
void callPathEnds(std::string& text, std::size_t from = 0);

}  // namespace brindle
