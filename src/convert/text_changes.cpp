#include "text_changes.h"

#include <algorithm>
#include <cstring>

#include "string_utils.h"
#include "output_texts.h"
#include "triggers.h"

namespace brindle {
namespace {

using Quoted = TextChangeScratch::Quoted;

void findQuotedTexts(std::string_view line, std::vector<Quoted>& texts) {
  texts.clear();
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (line[at] != '"' && line[at] != '\'') continue;
    const std::size_t end = quotedTextEnd(line, at);
    texts.push_back({at, end});
    at = end;
  }
}

std::string_view contentOf(std::string_view line, const Quoted& quoted) {
  return line.substr(quoted.open + 1, quoted.close - quoted.open - 1);
}

void addRule(TextChange* change, RewriteRule rule, std::size_t row = 0) {
  if (!change) return;
  const std::pair<RewriteRule, std::size_t> named{rule, row};
  if (std::find(change->rules.begin(), change->rules.end(), named) == change->rules.end()) {
    change->rules.push_back(named);
  }
}

// Follows the quoted texts through the edits of one step, each at its place
// in the text as the step found it; names the rules that acted inside one.
void followStep(std::vector<Quoted>& texts, const Edit* begin, const Edit* end, TextChange* change,
                bool& changed) {
  for (Quoted& quoted : texts) {
    std::ptrdiff_t beforeOpen = 0;   // what the edits before the opening quote added
    std::ptrdiff_t beforeClose = 0;  // and those before the closing one
    for (const Edit* edit = begin; edit != end; ++edit) {
      const std::size_t from = edit->at;
      const std::size_t to = edit->at + edit->removed;
      const auto growth = static_cast<std::ptrdiff_t>(edit->inserted) - static_cast<std::ptrdiff_t>(edit->removed);
      if (to <= quoted.open) {  // before it, an insertion before its quote included
        beforeOpen += growth;
        beforeClose += growth;
      } else if (from > quoted.open && to <= quoted.close) {  // inside it
        beforeClose += growth;
        changed = true;
        addRule(change, edit->rule, edit->row);
      } else if (from <= quoted.close) {  // across a quote of it
        beforeClose += growth;
        changed = true;
        addRule(change, edit->rule, edit->row);
      }
    }
    quoted.open = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(quoted.open) + beforeOpen);
    quoted.close = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(quoted.close) + beforeClose);
  }
}

// `text` cut, where long, to the part from `from` to `to` with a few bytes
// around it, and "..." where it is cut; never inside a UTF-8 character.
std::string excerpt(std::string_view text, std::size_t from, std::size_t to) {
  constexpr std::size_t kAround = 16;
  constexpr std::size_t kShort = 48;
  if (text.size() <= kShort) return std::string(text);
  const auto continues = [&](std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  std::size_t begin = from > kAround ? from - kAround : 0;
  while (begin > 0 && continues(begin)) --begin;
  std::size_t end = std::min(text.size(), to + kAround);
  while (end < text.size() && continues(end)) ++end;
  std::string out = begin > 0 ? "..." : "";
  out.append(text.substr(begin, end - begin));
  if (end < text.size()) out.append("...");
  return out;
}

}  // namespace

std::string rewriteRuleText(RewriteRule rule, std::size_t row) {
  const auto quoted = [](std::string_view text) {
    std::string out(1, '"');
    return out.append(text).append(1, '"');
  };
  switch (rule) {
    case RewriteRule::fourBlanks:
      return "four blanks become a tab";
    case RewriteRule::blankAfterUpdate:
      return "a blank is put behind every " + quoted(kAddTo) + " and " + quoted(kSubtractFrom);
    case RewriteRule::dollar:
      return "the first " + quoted(kDollar) + " of a line is removed";
    case RewriteRule::call:
      return "the first " + quoted(kCall) + " of a line is removed";
    case RewriteRule::valueRewrite:
      return quoted(kValueRewrites[row].first) + " becomes " + quoted(kValueRewrites[row].second);
    case RewriteRule::ifColons:
      return "every " + quoted(kColon) + " of an if line becomes \" then\"";
    case RewriteRule::chainColons:
      return "every " + quoted(kColon) + " of an elif or else: line is removed";
    case RewriteRule::elifWord:
      return quoted(kElifWord) + " becomes \"elseif\" and \" then\" ends an elif line";
    case RewriteRule::jumpTarget:
      return "a jump_out's target is put in (\"...\") wherever it stands in its line";
    case RewriteRule::updateExpansion:
      return quoted(kAddTo) + " and " + quoted(kSubtractFrom) + " of an update are written out";
    case RewriteRule::pathEndCall:
      return "the first " + quoted(kPathEnd) + " of a path_end line becomes a call";
    case RewriteRule::finalPass:
      return quoted(kPathEndStatement) + " becomes \"path_end();\"";
  }
  return {};
}

bool findTextChanges(std::string_view raw, std::string_view normalised, std::size_t leadingTabs,
                     const EditLog& edits, std::string_view rewritten, TextChange* change,
                     TextChangeScratch& scratch) {
  std::vector<Quoted>& before = scratch.before;
  std::vector<Quoted>& texts = scratch.texts;
  findQuotedTexts(raw, before);
  if (before.empty()) return false;
  bool changed = false;
  if (normalised.empty()) {
    // Each four leading blanks became one tab, before any quote.
    texts = before;
    for (Quoted& quoted : texts) {
      quoted.open -= 3 * leadingTabs;
      quoted.close -= 3 * leadingTabs;
    }
  } else {
    // The normalisation leaves every quote where it stands among the bytes,
    // so the quoted texts pair up; its two steps are told by what they act
    // on.
    findQuotedTexts(normalised, texts);
    if (texts.size() != before.size()) return false;
    for (std::size_t k = 0; k < texts.size(); ++k) {
      const std::string_view was = contentOf(raw, before[k]);
      if (was == contentOf(normalised, texts[k])) continue;
      changed = true;
      if (findText(was, kFourBlanks) != std::string_view::npos) addRule(change, RewriteRule::fourBlanks);
      if (findText(was, kAddTo) != std::string_view::npos ||
          findText(was, kSubtractFrom) != std::string_view::npos) {
        addRule(change, RewriteRule::blankAfterUpdate);
      }
    }
  }
  for (std::size_t first = 0; first < edits.size();) {
    std::size_t last = first;
    while (last < edits.size() && edits[last].step == edits[first].step) ++last;
    followStep(texts, edits.data() + first, edits.data() + last, change, changed);
    first = last;
  }
  // Each text as it stands in the end.
  bool differs = false;
  for (std::size_t k = 0; k < texts.size() && changed; ++k) {
    const std::size_t close = std::min(texts[k].close, rewritten.size());
    const std::size_t open = std::min(texts[k].open + 1, close);
    const std::string_view after = rewritten.substr(open, close - open);
    const std::string_view was = contentOf(raw, before[k]);
    if (was == after) continue;
    differs = true;
    if (change) change->texts.push_back({std::string(was), std::string(after)});
  }
  if (!differs && change) change->rules.clear();
  return differs;
}

std::string describeTextChange(const TextChange& change) {
  std::string message = "the conversion changes ";
  for (std::size_t k = 0; k < change.texts.size(); ++k) {
    const auto& [was, now] = change.texts[k];
    std::size_t prefix = 0;
    while (prefix < was.size() && prefix < now.size() && was[prefix] == now[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < was.size() - prefix && suffix < now.size() - prefix &&
           was[was.size() - 1 - suffix] == now[now.size() - 1 - suffix]) {
      ++suffix;
    }
    if (k > 0) message.append(k + 1 == change.texts.size() ? " and " : ", ");
    message.append("\"").append(excerpt(was, prefix, was.size() - suffix)).append("\" to \"");
    message.append(excerpt(now, prefix, now.size() - suffix)).append("\"");
  }
  message.append(" (");
  for (std::size_t k = 0; k < change.rules.size(); ++k) {
    if (k > 0) message.append("; ");
    message.append(rewriteRuleText(change.rules[k].first, change.rules[k].second));
  }
  return message.append(")");
}

}  // namespace brindle
