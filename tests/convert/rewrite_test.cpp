// The statement rules, case by case through the whole line steps, and the
// skipping of steps a line's triggers rule out against running every step.
#include "rewrite.h"
#include "statements.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plain_forms.h"
#include "generated_lines.h"
#include "normalise.h"
#include "output_texts.h"
#include "scan.h"
#include "words.h"
#include "string_utils.h"
#include "triggers.h"

namespace brindle {
namespace {

struct RewriteCase {
  std::string input;  // one script line, as it stands in test.py
  std::string text;
  std::size_t indent;
  int chainFlag;
};

// Runs `lines` under a label so they take the driver's normalisation too.
Script readUnderLabel(const std::string& lines) { return readScript("label start:\n" + lines); }

void expectRewrites(const std::vector<RewriteCase>& cases) {
  for (const RewriteCase& c : cases) {
    const Script script = readUnderLabel(c.input);
    ASSERT_EQ(script.labelBlocks.size(), 1u);
    ASSERT_EQ(script.labelBlocks[0].lines.size(), 1u) << c.input;
    const ScriptLine& line = script.labelBlocks[0].lines[0];
    EXPECT_EQ(line.text, c.text) << "input: " << c.input;
    EXPECT_EQ(line.indent, c.indent) << "input: " << c.input;
    EXPECT_EQ(static_cast<int>(line.chainFlag), c.chainFlag) << "input: " << c.input;
  }
}

TEST(RewriteStatementTest, StoryOfMoneyAndAShop) {
  expectRewrites({
      {"    $ money += 10", "\t money = money +  10", 1, 3},
      {"    call show_text (1)", "\tshow_text(1)", 1, 3},
      {"    if money > 5:", "\tif money > 5 then", 1, 0},
      {"        jump_out shop", "\t\tjump_out (\"shop\")", 2, 3},
      {"    elif is_h=True:", "\telseif true then", 1, 1},
      {"        $ seen = True", "\t\t seen = true", 2, 3},
      {"    else:", "\telse", 1, 1},
      {"        path_end", "\t\tpath_end()", 2, 3},
      {"    $ money -= 2", "\t money = money -  2", 1, 3},
  });
}

TEST(RewriteStatementTest, TextualRewritesAndRuleChoice) {
  expectRewrites({
      {"$x = 1", "x = 1", 0, 3},
      {"$ x+=1", " x+= 1", 0, 3},
      {"$ recall = 1", " re= 1", 0, 3},
      {"$ price = \"$5\"", " price = \"$5\"", 0, 3},
      {"call a; call b", "a; call b", 0, 3},
      {"TrueColor", "trueColor", 0, 3},
      {"x = False", "x = false", 0, 3},
      {"f(is_end=True, is_h=False, is_end=False)", "f(true, false, false)", 0, 3},
      {"if a: b", "if a then b", 0, 0},
      {"if x == \"a:b\":", "if x == \"a thenb\" then", 0, 0},
      {"else : ", "else : ", 0, 3},
      {"else: path_end", "else: path_end", 0, 3},
      {"elif a:", "elseif a then", 0, 1},
      {"elif elifx: # elif", "elseif elseifx # elseif then", 0, 1},
      {"jump_out out", "jump_(\"out\") (\"out\")", 0, 3},
      {"jump_out True", "jump_out true", 0, 3},
      {"x += 1", "x +=  1", 0, 3},
      {" x += 1", " x = x +  1", 0, 3},
      {"$ a -= 1 += 2", " a = a -  1 = a +  2", 0, 3},
      {"e \"a\tb    c\"", "e \"a\tb\tc\"", 2, 3},
      {"  label x", "  label x", 0, 3},  // two leading blanks: not a label statement
      {"    ", "\t", 1, 3},
      {"  ", "  ", 0, 3},
      {"\tpath_end", "\tpath_end()", 1, 3},
      {"path_end # path_end", "path_end() # path_end", 0, 3},
      {"path\vend", "path\vend", 0, 3},
      {"path_\vend", "path_\vend", 0, 3},  // the word is path_end, the line holds no such text
      {"\tx path_end", "\tx path_end", 1, 3},
      {"$", "", 0, 3},
      {"jump_out", "jump_out", 0, 3},
      {"jump_out  shop", "jump_out  shop", 0, 3},
  });
}

// A statement taken through the line steps and the rules, with the triggers
// the scan finds, or with every trigger, so that no step is skipped.
ScriptLine rewritten(std::string_view raw, bool scanned, std::string* warning) {
  ScannedLine line;
  ScriptLines(raw).next(line);
  ScriptLine statement;
  Words words;
  if (scanned) {
    const Normalised normalised = normaliseLine(raw, line.triggers, statement.text);
    words.reset(statement.text, normalised.leadingTabs,
                line.blanksOnly && (line.triggers & kBlankRunTrigger) == 0);
    rewriteStatement(words, normalised.triggers, statement, warning);
  } else {
    normaliseLine(raw, kEveryTrigger, statement.text);
    words.reset(statement.text);
    rewriteStatement(words, kEveryTrigger, statement, warning);
  }
  return statement;
}

// The common rewrites and the last rule as the plain operations they stand
// for.
std::string commonRewritesStepByStep(std::string text) {
  eraseFirst(text, kDollar);
  eraseFirst(text, kCall);
  for (const auto& [from, to] : kValueRewrites) replaceAll(text, from, to);
  replaceAll(text, kPathEndStatement, kPathEndCall);
  return text;
}

TEST(RewriteStatementTest, SkipsOnlyStepsThatChangeNothing) {
  test::LineMaker maker(17);
  std::size_t skipped = 0;
  for (int i = 0; i < 30000; ++i) {
    const std::string raw = i % 2 == 0 ? maker.statement() : maker.line();
    std::string warningScanned;
    std::string warningEvery;
    const ScriptLine fast = rewritten(raw, true, &warningScanned);
    const ScriptLine every = rewritten(raw, false, &warningEvery);
    ASSERT_EQ(fast.text, every.text) << "raw: " << raw;
    ASSERT_EQ(fast.indent, every.indent) << "raw: " << raw;
    ASSERT_EQ(fast.chainFlag, every.chainFlag) << "raw: " << raw;
    ASSERT_EQ(warningScanned, warningEvery) << "raw: " << raw;
    // With no keyword rule, the text is that of the plain operations.
    std::string normalised = raw;
    replaceAll(normalised, kFourBlanks, "\t");
    replaceAll(normalised, kAddTo, "+= ");
    replaceAll(normalised, kSubtractFrom, "-= ");
    std::vector<std::string> words;
    splitOn(normalised, words, ' ');
    const bool keyword = words[0] == kJumpOutWord || words[0] == kIfWord ||
                         words[0] == kPathEndWord || words[0] == kElseWord ||
                         words[0] == kElifWord ||
                         (words.size() > 2 && (words[2] == kAddTo || words[2] == kSubtractFrom));
    if (!keyword) {
      ASSERT_EQ(every.text, commonRewritesStepByStep(normalised)) << "raw: " << raw;
    }
    ScannedLine line;
    ScriptLines(raw).next(line);
    skipped += line.triggers == 0;
  }
  EXPECT_GT(skipped, 3000u);  // most of these lines do skip steps
}

TEST(FastStatementTest, GivesWhatTheGeneralStepsGive) {
  // Each shape, taken (true), and lines near them that the general steps
  // must take (false) or that either may take.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"    $ day = 2", true},          {"$ seen = False", true},
      {"        $ day -= 9", true},     {"$ x +=5", true},
      {"$ x +== 1", true},              {"    if route != 9:", true},
      {"elif a:b:", true},              {"    else:", true},
      {"    call show_bg (767)", true}, {"call wait", true},
      {"    jump_out scene_1", true},   {"path_end", true},
      {"$  x = 1", false},              {"$ x += 1 -= 2", false},
      {"$ x +=(1)", false},             {"$ a+=b += 1", false},
      {"if path_end:", false},          {"elif elif:", false},
      {"elif el:if:", false},           {"jump_out out", false},
      {"jump_out a b", false},          {"jump_out", false},
      {"path_end x", false},            {"   $ x = 1", false},
      {"$ x = 1;", false},              {"$ x =    1", false},
      {"$ x = call y", false},          {"label a:", false},
      {"$ path_end += 1", false},       {"$ path_end = 1", true},
      {"$ x += -=1", false},            {"$ long_name += 12345 += 6", false},
      {"$ long_name += 1234567", true},
  };
  test::LineMaker maker(29);
  std::vector<std::pair<std::string, bool>> lines = cases;
  for (int i = 0; i < 30000; ++i) lines.emplace_back(i % 2 == 0 ? maker.statement() : maker.line(), false);
  std::size_t taken = 0;
  for (const auto& [raw, shape] : lines) {
    ScannedLine line;
    ScriptLines(raw).next(line);
    TextBuffer scratch;
    FastStatement fast;
    const std::size_t leading = leadingBlanks(raw);
    const bool took = fastStatement(raw, leading, line.triggers, line.blanksOnly, firstWordAfter(raw, leading),
                                    scratch, fast);
    EXPECT_TRUE(took || !shape) << raw;
    if (!took) continue;
    ++taken;
    std::string warning;
    const ScriptLine every = rewritten(raw, false, &warning);
    ASSERT_EQ(std::string(fast.lua.tabs, '\t').append(fast.lua.text), every.text) << raw;
    ASSERT_EQ(fast.lua.indent, every.indent) << raw;
    ASSERT_EQ(fast.lua.chainFlag, every.chainFlag) << raw;
    ASSERT_EQ(warning, "") << raw;
    std::string normalised;
    normaliseLine(raw, kEveryTrigger, normalised);
    Words words;
    words.reset(normalised);
    if (fast.nameKind != NameKind::none) {
      ASSERT_EQ(fast.name, words.second()) << raw;
      ASSERT_EQ(fast.nameAt, rawOffsetOf(raw, words.span(1).first)) << raw;
    }
  }
  EXPECT_GT(taken, 300u);  // generated lines reach the fast forms too
}

TEST(RewriteStatementTest, WarnsOnlyAboutAJumpWithoutTarget) {
  for (const char* raw : {"jump_out", "jump_out  x", "\tjump_out "}) {
    std::string warning;
    rewritten(raw, true, &warning);
    EXPECT_EQ(warning, "jump_out has no target; the line is left unquoted") << raw;
  }
  for (const char* raw : {"jump_out a", "$", "x jump_out"}) {
    std::string warning;
    rewritten(raw, true, &warning);
    EXPECT_EQ(warning, "") << raw;
  }
}

}  // namespace
}  // namespace brindle
