// The steps every line takes before its statement rules, against the plain
// operations they stand for: the cut into lines against a byte-by-byte
// reading, the trigger sets against a search for each scanned text, the
// normalisation against three replaceAll calls, the words against splitOn.
#include "normalise.h"
#include "plain_forms.h"
#include "scan.h"
#include "words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "generated_lines.h"
#include "string_utils.h"

namespace brindle {
namespace {

// Every group whose scanned text `text` holds: the blank run after the
// line's leading blanks only, the others anywhere; and a semicolon.
TriggerSet triggersHeldBy(std::string_view text) {
  const std::size_t indentation = text.find_first_not_of(' ');
  TriggerSet held = 0;
  for (const ScannedText& scanned : kScannedTexts) {
    const std::size_t from = scanned.text == kFourBlanks ? indentation : 0;
    if (from != std::string_view::npos && findText(text, scanned.text, from) != std::string_view::npos) {
      held |= scanned.sets;
    }
  }
  if (text.find(';') != std::string_view::npos) held |= kSemicolonTrigger;
  return held;
}

// The lines of `input` read byte by byte.
std::vector<std::string> linesOf(std::string_view input) {
  std::vector<std::string> lines(1);
  for (const char c : input) {
    if (c == '\n') {
      if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  return lines;
}

TEST(ScriptLinesTest, CutsLinesAndNamesEveryTriggerTheyHold) {
  test::LineMaker maker(11);
  std::vector<std::string> inputs = {"", "\n", "a\r\nb\r", "x\ry\r\r\n", "ca\nll  \n  $", "\n\n\r\n\n\r",
                                     std::string(200, '\n') + "x", "a" + std::string(130, '\n'),
                                     // semicolons first met far in, and in a line begun before
                                     std::string(3000, 'a') + "\nb;c\n" + std::string(1500, 'd') + ";",
                                     std::string("x\n").append(1100, 'e') + ";\ny;"};
  for (int i = 0; i < 300; ++i) inputs.push_back(maker.script(maker.below(30)));
  std::size_t linesWithNone = 0;
  std::size_t blanksOnlyMissed = 0;
  for (const std::string& input : inputs) {
    const std::vector<std::string> expected = linesOf(input);
    ScriptLines lines(input);
    ScannedLine line;
    std::size_t count = 0;
    while (lines.next(line)) {
      ASSERT_LT(count, expected.size()) << "input: " << input;
      ASSERT_EQ(line.text, expected[count]) << "input: " << input;
      const TriggerSet held = triggersHeldBy(line.text);
      ASSERT_EQ(line.triggers & held, held) << "line: " << line.text;
      const bool blanksOnly =
          std::none_of(line.text.begin(), line.text.end(), [](char c) { return c != ' ' && isSpaceByte(c); });
      // It may miss that a line holds only blanks, never the reverse.
      ASSERT_TRUE(!line.blanksOnly || blanksOnly) << "line: " << line.text;
      blanksOnlyMissed += blanksOnly && !line.blanksOnly;
      linesWithNone += line.triggers == 0 && !line.text.empty();
      ++count;
    }
    ASSERT_EQ(count, expected.size()) << "input: " << input;
    // Passing over the empty lines after each empty one gives the same
    // lines, counted the same.
    ScriptLines skipping(input);
    count = 0;
    while (skipping.next(line)) {
      ASSERT_LT(count, expected.size()) << "input: " << input;
      ASSERT_EQ(line.text, expected[count++]) << "input: " << input;
      if (!line.text.empty()) continue;
      for (std::size_t skipped = skipping.skipEmptyLines(); skipped > 0; --skipped) {
        ASSERT_LT(count, expected.size()) << "input: " << input;
        ASSERT_EQ(expected[count++], "") << "input: " << input;
      }
    }
    ASSERT_EQ(count, expected.size()) << "input: " << input;
  }
  EXPECT_GT(linesWithNone, 500u);  // the scan does let plain lines through
  EXPECT_LT(blanksOnlyMissed, 50u);
}

TEST(ScriptLinesTest, TheScansFastFormsFindThePlainFormsMasks) {
  const std::pair<const char*, BlockScan> forms[] = {{"AVX2", avx2BlockScan()},
                                                     {"AVX-512", avx512BlockScan()}};
  for (const auto& [name, fast] : forms) {
    if (!fast) {
      std::printf("this processor or build has no %s form of the scan\n", name);
      continue;
    }
    test::LineMaker maker(13);
    for (int i = 0; i < 3000; ++i) {
      // Two blocks, so that a form that reads or writes past the first is seen.
      std::string bytes = maker.script(6);
      bytes.resize(kScanBlock + kScanReads, i % 3 == 0 ? ' ' : '\0');
      // Every byte value too, those from 0x80 on included.
      if (i % 5 == 0) {
        for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((i * 7 + k * 31) & 0xFF);
      }
      BlockMasks plain[2], found[2];
      scanBlockPlain(bytes.data(), 2, plain);
      fast(bytes.data(), 2, found);
      for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(plain[k].lineFeeds, found[k].lineFeeds) << name << ' ' << bytes;
        ASSERT_EQ(plain[k].otherSpaces, found[k].otherSpaces) << name << ' ' << bytes;
        ASSERT_EQ(plain[k].quotes, found[k].quotes) << name << ' ' << bytes;
        ASSERT_EQ(plain[k].blankRuns, found[k].blankRuns) << name << ' ' << bytes;
        ASSERT_EQ(plain[k].textStarts, found[k].textStarts) << name << ' ' << bytes;
      }
    }
  }
}

TEST(NormaliseLineTest, EqualsTheThreeReplacementsAndKeepsTriggersTrue) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"        e \"hi\"", "\t\te \"hi\""},
      {"      x", "\t  x"},
      {"a     b", "a\t b"},
      {"$ x+=1", "$ x+= 1"},
      {"x -=2 +=+=", "x -= 2 += += "},
      {"  +=", "  += "},
      {"\t    x", "\t\tx"},
  };
  std::vector<std::string> lines;
  for (const auto& [raw, normalised] : cases) lines.push_back(raw);
  test::LineMaker maker(5);
  for (int i = 0; i < 20000; ++i) lines.push_back(i % 2 == 0 ? maker.line() : maker.statement());
  std::string line;
  for (const std::string& raw : lines) {
    std::string expected = raw;
    replaceAll(expected, kFourBlanks, "\t");
    replaceAll(expected, kAddTo, "+= ");
    replaceAll(expected, kSubtractFrom, "-= ");
    ScriptLines scan(raw);
    ScannedLine scanned;
    scan.next(scanned);
    for (const TriggerSet triggers : {scanned.triggers, kEveryTrigger}) {
      const Normalised after = normaliseLine(raw, triggers, line);
      ASSERT_EQ(line, expected) << "raw: " << raw;
      const TriggerSet held = triggersHeldBy(line) & ~kBlankRunTrigger;
      ASSERT_EQ(after.triggers & held, held) << "raw: " << raw;
      const std::size_t leadingBlanks = std::min(raw.find_first_not_of(' '), raw.size());
      ASSERT_EQ(after.leadingTabs, leadingBlanks / kFourBlanks.size()) << "raw: " << raw;
    }
  }
  for (const auto& [raw, normalised] : cases) {
    normaliseLine(raw, kEveryTrigger, line);
    EXPECT_EQ(line, normalised) << raw;
  }
}

TEST(WordsTest, AreThePiecesSplitOnCuts) {
  test::LineMaker maker(3);
  std::vector<std::string> pieces;
  Words words;
  std::string line;
  std::size_t quick = 0;
  for (int i = 0; i < 40000; ++i) {
    const std::string raw = i % 2 == 0 ? maker.line() : maker.statement();
    ScriptLines scan(raw);
    ScannedLine scanned;
    scan.next(scanned);
    const Normalised normalised = normaliseLine(raw, scanned.triggers, line);
    splitOn(line, pieces, ' ');
    // Every other line is cut as the driver cuts it, with what the scan and
    // the normalisation tell of it.
    const bool blanksOnly = scanned.blanksOnly && (scanned.triggers & kBlankRunTrigger) == 0;
    if (i % 4 < 2) {
      words.reset(line, normalised.leadingTabs, blanksOnly);
      quick += blanksOnly;
    } else {
      words.reset(line);
    }
    // Asked for out of order, as the rules may ask.
    const std::string_view third = words.third();
    ASSERT_EQ(words.first(), pieces[0]) << "line: " << line;
    ASSERT_EQ(words.second(), pieces.size() > 1 ? pieces[1] : "") << "line: " << line;
    ASSERT_EQ(third, pieces.size() > 2 ? pieces[2] : "") << "line: " << line;
  }
  EXPECT_GT(quick, 1000u);
}

}  // namespace
}  // namespace brindle
