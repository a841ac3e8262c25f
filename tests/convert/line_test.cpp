// The driver's one-scan line steps against the step-by-step operations they
// stand for: normalisation against three replaceAll calls, the words against
// splitOn, the common rewrites against one eraseFirst or replaceAll per rule,
// and the label-by-label conversion against writing all blocks at once.
#include "convert/line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/driver.h"
#include "convert/rewrite.h"
#include "convert/shortcut.h"
#include "convert/writer.h"
#include "text/string_utils.h"

namespace brindle {
namespace {

std::string normalisedStepByStep(std::string line) {
  replaceAll(line, "    ", "\t");
  replaceAll(line, "+=", "+= ");
  replaceAll(line, "-=", "-= ");
  return line;
}

std::string rewrittenStepByStep(std::string line) {
  eraseFirst(line, "$");
  eraseFirst(line, "call ");
  replaceAll(line, " (", "(");
  replaceAll(line, "is_h=True", "true");
  replaceAll(line, "is_end=True", "true");
  replaceAll(line, "is_h=False", "false");
  replaceAll(line, "is_end=False", "false");
  replaceAll(line, "False", "false");
  replaceAll(line, "True", "true");
  return line;
}

// Lines made of the pieces the rules look for, cut and joined in every way:
// whole keywords, their halves, blanks and tabs in runs, line-end bytes.
class LineMaker {
 public:
  explicit LineMaker(std::uint64_t seed) : state_(seed) {}

  std::string next() {
    static constexpr std::array<std::string_view, 36> kPieces = {
        "$",     "call ",  "ca",     "ll ",   " (",    "(",     "is_h=", "is_end=", "True",
        "False", "Tru",    "e",      "Fal",   "se",    "+=",    "-=",    "+",       "-",
        "=",     " ",      "  ",     "    ",  "\t",    "x",     "if",    ":",       "\r",
        "label", "path_end", ";",    "é",     "jump_out", "elif", "else:", "\v",    "l"};
    std::string line;
    const std::size_t pieces = below(14);
    for (std::size_t i = 0; i < pieces; ++i) line.append(kPieces[below(kPieces.size())]);
    return line;
  }

  std::size_t below(std::size_t bound) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::size_t>((state_ >> 33) % bound);
  }

 private:
  std::uint64_t state_;
};

// Each text the one-scan steps look for, at every position from the start to
// well past the width of one scanning window.
std::vector<std::string> patternsAtEveryPosition() {
  static constexpr std::array<std::string_view, 13> kPatterns = {
      "$", "call ", " (", "True", "False", "is_h=True", "is_end=False",
      "+=", "-=", "  ", "     ", "ca$ll ", "Tr$ue"};
  std::vector<std::string> lines;
  for (const std::string_view pattern : kPatterns) {
    for (std::size_t before = 0; before < 70; ++before) {
      lines.push_back(std::string(before, 'x') + std::string(pattern));
      lines.push_back(std::string(before, 'x') + std::string(pattern) + "y");
      lines.push_back("    " + std::string(before, 'x') + std::string(pattern));
    }
  }
  return lines;
}

std::vector<std::string> testLines() {
  std::vector<std::string> lines = patternsAtEveryPosition();
  LineMaker maker(20261207);
  for (int i = 0; i < 20000; ++i) lines.push_back(maker.next());
  return lines;
}

TEST(NormaliseLineTest, EqualsTheThreeReplacements) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"        e \"hi\"", "\t\te \"hi\""},
      {"      x", "\t  x"},
      {"a     b", "a\t b"},
      {"$ x+=1", "$ x+= 1"},
      {"x -=2 +=+=", "x -= 2 += += "},
      {"  +=", "  += "},
  };
  std::string line;
  for (const auto& [raw, normalised] : cases) {
    EXPECT_TRUE(normaliseLine(raw, line));
    EXPECT_EQ(line, normalised) << raw;
  }
  EXPECT_FALSE(normaliseLine("", line));
  EXPECT_EQ(line, "");
  for (const std::string& raw : testLines()) {
    if (raw.empty()) continue;
    ASSERT_TRUE(normaliseLine(raw, line));
    ASSERT_EQ(line, normalisedStepByStep(raw)) << "raw: " << raw;
  }
}

TEST(SplitWordsTest, GivesTheFirstThreeWordsOfSplitOn) {
  std::vector<std::string> tokens;
  Words words;
  for (const std::string& line : testLines()) {
    splitOn(line, tokens, ' ');
    splitWords(line, words);
    ASSERT_EQ(words.count, std::min<std::size_t>(tokens.size(), 3)) << "line: " << line;
    for (std::size_t i = 0; i < 3; ++i) {
      ASSERT_EQ(words.word[i], i < tokens.size() ? tokens[i] : "") << "line: " << line;
    }
  }
}

TEST(ApplyCommonRewritesTest, EqualsOneStepPerRule) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ca$ll show (1)", "show(1)"},  // erasing "$" forms "call "
      {"Tr$ue is_h=Fa$lse", "true is_h=Fa$lse"},  // only the first "$" goes
      {"cacall ll", "call"},
      {"x  (y", "x (y"},  // the " (" formed by the replacement stays
      {"TTrue Falsee is_end=True", "Ttrue falsee true"},
      {"\t$ seen = True", "\t seen = true"},
  };
  std::string text;
  for (const auto& [line, rewritten] : cases) {
    applyCommonRewrites(line, text);
    EXPECT_EQ(text, rewritten) << line;
  }
  for (const std::string& line : testLines()) {
    const std::size_t tabs = applyCommonRewrites(line, text);
    const std::string expected = rewrittenStepByStep(line);
    ASSERT_EQ(text, expected) << "line: " << line;
    ASSERT_EQ(tabs, static_cast<std::size_t>(std::count(expected.begin(), expected.end(), '\t')));
  }
}

TEST(PlainLineFinderTest, PlainLinesNeedOnlyTheirLeadingBlanksTurned) {
  // The test lines once as one script, in input order as the driver asks.
  std::string input;
  LineMaker maker(99);
  for (const std::string& line : testLines()) {
    input += std::string(maker.below(9), ' ') + line + (maker.below(4) == 0 ? "\r\n" : "\n");
  }
  PlainLineFinder finder(input);
  std::size_t plainLines = 0;
  std::string viaPlain;
  std::string viaAll;
  std::string rewritten;
  for (std::size_t begin = 0; begin < input.size();) {
    std::size_t end = input.find('\n', begin);
    const std::size_t next = end + 1;
    if (end > begin && input[end - 1] == '\r') --end;
    const std::string_view line(input.data() + begin, end - begin);
    begin = next;
    if (line.empty() || !finder.isPlain(line)) continue;
    ++plainLines;
    normalisePlainLine(line, viaPlain);
    normaliseLine(line, viaAll);
    ASSERT_EQ(viaPlain, viaAll) << "line: " << line;
    applyCommonRewrites(viaAll, rewritten);
    ASSERT_EQ(rewritten, viaAll) << "line: " << line;
  }
  EXPECT_GT(plainLines, 1000u);  // the finder does let plain lines through
}

// Lines shaped like those the shortcuts take, with the pieces the rules look
// for put in among the words, so that most are near misses.
std::vector<std::string> statementShapedLines() {
  static constexpr std::array<std::string_view, 12> kHeads = {
      "$ ", "call ", "path_end", "path_end ", "if ", "elif ", "else:", "jump_out ",
      "e ", "label ", "\t", ""};
  static constexpr std::array<std::string_view, 27> kWords = {
      "x",  "score_1", "+=", "-=", "=", "5",   "True", "False", "(a)", "is_h=True", ":",
      "elif", "el:if", "call", "path_end", "path_end;", "$", "out", "jump_", "x+=1",
      "  ", "\r", "\t", "é", "p:ath_end", "p:at", "pa\tth_end"};
  std::vector<std::string> lines;
  LineMaker maker(4);
  for (int i = 0; i < 60000; ++i) {
    std::string line(maker.below(4) == 0 ? maker.below(9) : 4 * maker.below(3), ' ');
    line += kHeads[maker.below(kHeads.size())];
    const std::size_t words = maker.below(5);
    for (std::size_t w = 0; w < words; ++w) {
      if (w > 0 || maker.below(3) == 0) line += ' ';
      line += kWords[maker.below(kWords.size())];
    }
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST(ShortcutStatementTest, EqualsTheGeneralSteps) {
  std::string line;
  Words words;
  ScriptLine expected;
  ScriptLine statement;
  std::string warning;
  std::size_t taken[2] = {0, 0};
  for (const std::string& raw : statementShapedLines()) {
    PlainLineFinder finder(raw);
    const bool plain = finder.isPlain(raw);
    bool mayHoldPathEnd = true;
    if (!shortcutStatement(raw, plain, statement, mayHoldPathEnd)) continue;
    ++taken[plain];
    normaliseLine(raw, line);
    splitWords(line, words);
    ASSERT_NE(words.first(), "label") << "raw: " << raw;
    warning.clear();
    rewriteStatementInto(line, words, nullptr, &warning, expected);
    ASSERT_EQ(statement.text, expected.text) << "raw: " << raw;
    ASSERT_EQ(statement.indent, expected.indent) << "raw: " << raw;
    ASSERT_EQ(statement.chainFlag, expected.chainFlag) << "raw: " << raw;
    ASSERT_EQ(warning, "") << "raw: " << raw;
    if (!mayHoldPathEnd) {
      ASSERT_EQ(statement.text.find("pat"), std::string::npos) << "raw: " << raw;
    }
  }
  // Both kinds of line do take shortcuts.
  EXPECT_GT(taken[0], 5000u);
  EXPECT_GT(taken[1], 5000u);
}

TEST(ConvertScriptTest, EqualsWritingEveryBlockAtOnce) {
  LineMaker maker(7);
  for (int round = 0; round < 300; ++round) {
    std::string input;
    const std::size_t lines = maker.below(40);
    for (std::size_t i = 0; i < lines; ++i) {
      const std::size_t roll = maker.below(10);
      if (roll == 0) {
        input += maker.below(4) == 0 ? "label R28:" : "label l" + std::to_string(i) + ":";
      } else if (roll == 1) {
        input += std::string(4 * maker.below(4), ' ') + "if x:";
      } else if (roll == 2) {
        input += std::string(4 * maker.below(4), ' ') + (maker.below(2) == 0 ? "else:" : "elif y:");
      } else {
        input += std::string(4 * maker.below(4), ' ') + maker.next();
      }
      input += maker.below(5) == 0 ? "\r\n" : "\n";
    }
    Conversion converted;
    convertScript(input, converted);
    const Script script = readScript(input);
    std::string console;
    EXPECT_EQ(converted.lua, writeLuaOutput(script.labelBlocks, script.variableNames, console))
        << "input: " << input;
    EXPECT_EQ(converted.console, console);
    ASSERT_EQ(converted.warnings.size(), script.warnings.size());
  }
}

}  // namespace
}  // namespace brindle
