// Every text that makes a rule act, listed once, with what the statement
// rules put in its place. The line steps, the statement rewrites and the
// writer take the texts they look for from here (the fixed texts of
// output.lua around the statements are in output_texts.h); the line scan's
// patterns and the seam table are derived from kScannedTexts; the tests'
// line generators draw from kTriggers, and a test holds the fuzzer's
// dictionary to it. Constants only: safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <utility>

namespace brindle {

// Texts looked for anywhere in a line, inside words too.
inline constexpr std::string_view kFourBlanks = "    ";  // become a tab
inline constexpr std::string_view kAddTo = "+=";        // get a blank behind them;
inline constexpr std::string_view kSubtractFrom = "-=";  // expanded in updates
inline constexpr std::string_view kDollar = "$";        // the first one is erased
inline constexpr std::string_view kCall = "call ";      // the first one is erased
inline constexpr std::string_view kColon = ":";         // rewritten in chain lines, erased once from label names
inline constexpr std::string_view kPathEnd = "path_end";  // a statement that ends the story's path
inline constexpr std::string_view kPathEndStatement = "path_end;";  // made a call wherever it stands
inline constexpr std::string_view kAnnouncingLabel = "R28";  // a table that announces its entries

// The value rewrites, in the order they run: " (" loses its blank, the four
// keyword arguments become their bare value, then every other "False" and
// "True" is written in lower case.
inline constexpr std::pair<std::string_view, std::string_view> kValueRewrites[] = {
    {" (", "("},
    {"is_h=True", "true"},
    {"is_end=True", "true"},
    {"is_h=False", "false"},
    {"is_end=False", "false"},
    {"False", "false"},
    {"True", "true"},
};

// What the keyword rules put in.
inline constexpr std::string_view kThen = " then";          // for an if line's colons, after an elif line
inline constexpr std::string_view kElseifWord = "elseif";   // for every "elif" of an elif line
inline constexpr std::string_view kCallParentheses = "()";  // after a path_end statement's "path_end"
inline constexpr std::string_view kTargetOpen = "(\"";     // around a jump target,
inline constexpr std::string_view kTargetClose = "\")";    // wherever it stands
inline constexpr std::string_view kUpdateOpen = "= ";       // "+=" becomes "= NAME +", "-=" "= NAME -"

// Words that choose a rule, compared with a line's words whole and exactly.
inline constexpr std::string_view kLabelWord = "label";
inline constexpr std::string_view kDollarWord = kDollar;
inline constexpr std::string_view kJumpOutWord = "jump_out";
inline constexpr std::string_view kIfWord = "if";
inline constexpr std::string_view kPathEndWord = kPathEnd;
inline constexpr std::string_view kElseWord = "else:";
inline constexpr std::string_view kElifWord = "elif";

// The words that choose a rule as a line's first word, in the order of
// FirstWord, and the bytes they start with: a first word that starts with
// any other byte chooses none.
enum class FirstWord : std::uint8_t { label, dollar, jumpOut, ifWord, pathEnd, elseWord, elifWord, none };
inline constexpr std::string_view kFirstWords[] = {
    kLabelWord, kDollarWord, kJumpOutWord, kIfWord, kPathEndWord, kElseWord, kElifWord};
static_assert(std::size(kFirstWords) == static_cast<std::size_t>(FirstWord::none));
inline constexpr auto kFirstWordStarts = [] {
  std::array<bool, 256> starts{};
  for (const std::string_view word : kFirstWords) starts[static_cast<unsigned char>(word[0])] = true;
  return starts;
}();

// What a line may hold that sets off a step before its keyword rule: a set
// of these bits, one per group of scanned texts.
using TriggerSet = unsigned;
inline constexpr TriggerSet kBlankRunTrigger = 1;  // four blanks: normalised to a tab
inline constexpr TriggerSet kUpdateTrigger = 2;    // "+=" or "-=": normalised, and expanded
inline constexpr TriggerSet kDollarTrigger = 4;    // "$": erased
inline constexpr TriggerSet kCallTrigger = 8;      // "call ": erased
inline constexpr TriggerSet kValueTrigger = 16;    // a value rewrite's search text
// A semicolon, which no rule puts in: the last rule, which makes every
// "path_end;" a call, has something to look for only in a line that holds
// one. Not scanned: few scripts hold any.
inline constexpr TriggerSet kSemicolonTrigger = 32;
inline constexpr TriggerSet kEveryTrigger = 63;

// The texts that may make the normalisation or a common rewrite change a
// line, each with the step it sets off. A line that holds none of them
// after its indentation needs only its leading blanks turned into tabs
// before its keyword rule.
struct ScannedText {
  std::string_view text;
  TriggerSet sets;
};

inline constexpr auto kScannedTexts = [] {
  std::array<ScannedText, 5 + std::size(kValueRewrites)> texts = {{
      {kFourBlanks, kBlankRunTrigger},
      {kAddTo, kUpdateTrigger},
      {kSubtractFrom, kUpdateTrigger},
      {kDollar, kDollarTrigger},
      {kCall, kCallTrigger},
  }};
  for (std::size_t i = 0; i < std::size(kValueRewrites); ++i) {
    texts[5 + i] = {kValueRewrites[i].first, kValueTrigger};
  }
  return texts;
}();

// The groups of scanned texts that hold `before` directly followed by
// `after`: what may form where an edit puts the two bytes side by side. A
// text that did not hold a scanned text before can hold one after only
// across such a seam. Looked up in a table made from kScannedTexts: each
// byte that occurs in a scanned text has a row and a column.
namespace seams {
inline constexpr std::size_t kMostBytes = 32;
inline constexpr std::size_t kNone = kMostBytes;

inline constexpr auto kIndex = [] {
  std::array<std::size_t, 256> index{};
  index.fill(kNone);
  std::size_t next = 0;
  for (const ScannedText& scanned : kScannedTexts) {
    for (const char c : scanned.text) {
      auto& slot = index[static_cast<unsigned char>(c)];
      if (slot == kNone) slot = next++;
    }
  }
  if (next > kMostBytes) throw "kMostBytes is too small for the scanned texts";
  return index;
}();

inline constexpr auto kFormed = [] {
  std::array<std::array<TriggerSet, kMostBytes>, kMostBytes> formed{};
  for (const ScannedText& scanned : kScannedTexts) {
    for (std::size_t k = 1; k < scanned.text.size(); ++k) {
      formed[kIndex[static_cast<unsigned char>(scanned.text[k - 1])]]
            [kIndex[static_cast<unsigned char>(scanned.text[k])]] |= scanned.sets;
    }
  }
  return formed;
}();
}  // namespace seams

constexpr TriggerSet formedByJoining(char before, char after) {
  const std::size_t row = seams::kIndex[static_cast<unsigned char>(before)];
  const std::size_t column = seams::kIndex[static_cast<unsigned char>(after)];
  return row == seams::kNone || column == seams::kNone ? 0 : seams::kFormed[row][column];
}

// Every trigger text and word, for whatever needs the whole list.
inline constexpr auto kTriggers = [] {
  std::array<std::string_view, std::size(kScannedTexts) + 9> texts{};
  std::size_t n = 0;
  for (const ScannedText& scanned : kScannedTexts) texts[n++] = scanned.text;
  for (const std::string_view text : {kColon, kPathEnd, kPathEndStatement, kAnnouncingLabel,
                                      kLabelWord, kJumpOutWord, kIfWord, kElseWord, kElifWord}) {
    texts[n++] = text;
  }
  return texts;
}();

}  // namespace brindle
