// What the rewrites of a statement do to its quoted texts. The rules are
// textual and act inside quotes too, so a character may come to say
// something else ("don't call it" loses its "call "); this unit tells which
// quoted texts a statement's rewrite changed, from the edits the rules
// report, and how to say so. A quoted text runs from a `"` or `'` to the
// same quote, a backslash escaping the byte after it, or to the line's end.
// Plain functions; any thread may call them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rewrite.h"

namespace brindle {

// What a rule does, in the words a story's author reads: "the first
// \"call \" of a line is removed", and so on; `row` tells which value
// rewrite.
std::string rewriteRuleText(RewriteRule rule, std::size_t row = 0);

struct TextChange {
  std::vector<std::pair<std::string, std::string>> texts;  // each changed text, before and after
  std::vector<std::pair<RewriteRule, std::size_t>> rules;  // what changed them (and the row)
};

// Room the search reuses from line to line, so that it allocates nothing
// once grown. Belongs to one thread.
struct TextChangeScratch {
  struct Quoted {
    std::size_t open = 0;   // where its opening quote stands
    std::size_t close = 0;  // and its closing one, or the line's length
  };
  std::vector<Quoted> before;
  std::vector<Quoted> texts;
};

// Whether the rewrite of the statement `raw` changed one of its quoted
// texts: `normalised` is what the normalisation made of `raw` (which may be
// left empty where it only turned `leadingTabs` fours of leading blanks into
// tabs), `edits` what the statement rules did to that, as they did it,
// `rewritten` the statement's text in the end. With `change`, the texts and
// the rules are put there.
bool findTextChanges(std::string_view raw, std::string_view normalised, std::size_t leadingTabs,
                     const EditLog& edits, std::string_view rewritten, TextChange* change,
                     TextChangeScratch& scratch);

// "the conversion changes "X" to "Y" (RULE)": long texts are cut to the
// part around the change.
std::string describeTextChange(const TextChange& change);

}  // namespace brindle
