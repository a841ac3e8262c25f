// Reading a script line by line: blocks, statements, line ends and the
// warnings that name their lines.
#include "plain_forms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace brindle {
namespace {

// A block as "name: text|text|...", for compact expectations.
std::vector<std::string> describe(const Script& script) {
  std::vector<std::string> blocks;
  for (const LabelBlock& block : script.labelBlocks) {
    std::string line = block.name + ":";
    for (std::size_t i = 0; i < block.lines.size(); ++i) {
      line += (i == 0 ? " " : "|") + block.lines[i].text;
    }
    blocks.push_back(line);
  }
  return blocks;
}

std::vector<std::string> warningsOf(const std::vector<Warning>& list) {
  std::vector<std::string> warnings;
  for (const Warning& w : list) warnings.push_back(std::to_string(w.line) + ": " + w.message);
  return warnings;
}

std::vector<std::string> warningsOf(const Script& script) { return warningsOf(script.warnings); }

TEST(ReadScriptTest, LinesLabelsAndLineEnds) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> blocks;
  };
  const std::vector<Case> cases = {
      {"empty input", "", {}},
      {"final line feed", "label a:\nx\n", {"a: x"}},
      {"no final line feed", "label a:\nx", {"a: x"}},
      {"CR LF line ends", "label a:\r\n    x\r\n\r\ny\r\n", {"a: \tx|y"}},
      {"lone carriage returns stay in the line", "label a:\nx\ry\r\r\nz\r", {"a: x\ry\r|z\r"}},
      {"empty lines are dropped, blank ones kept", "label a:\n\n    \n  \n\n", {"a: \t|  "}},
      {"indented label", "\tlabel a:\n    label b:\nx", {"a:", "b: x"}},
      {"only the first colon of a name goes", "label a:b:\nlabel c d e", {"ab::", "c:"}},
      {"two blanks give an empty name", "label  start", {":"}},
      {"repeated names give separate blocks", "label a:\nx\nlabel a:\ny", {"a: x", "a: y"}},
      {"two leading blanks hide a label", "label a:\n  label x\n", {"a:   label x"}},
      {"Label is not label", "label a:\nLabel b:", {"a: Label b:"}},
      {"NUL bytes are ordinary bytes", std::string("label a:\nx\0y\n", 13),
       {std::string("a: x\0y", 6)}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describe(readScript(c.input)), c.blocks) << c.name;
  }
}

TEST(ReadScriptTest, StatementsBeforeTheFirstLabel) {
  const Script script = readScript("# intro\n\n$ met = 0\nlabel start:\n$ met = 1\n");
  EXPECT_EQ(describe(script), (std::vector<std::string>{"start:  met = 1"}));
  ASSERT_EQ(nameCount(script.variableNames), 1u);
  EXPECT_EQ(nameAt(script.variableNames, 0), "met");
  EXPECT_EQ(warningsOf(script),
            (std::vector<std::string>{
                "1: 2 statements before the first label belong to no label and were left out of "
                "the output"}));
}

TEST(ReadScriptTest, WarningsNameTheirLines) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> warnings;
  };
  const std::vector<Case> cases = {
      {"well-formed script", "label a:\n$ x = 1\njump_out b\nlabel b:\njump_out a\n", {}},
      {"label without a name", "label a:\nlabel\nlabel  b\nlabel :\n",
       {"2: label has no name; its block is named \"\"",
        "3: label has no name; its block is named \"\"",
        "3: label \"\" is defined again; this table replaces the one of line 2 in LABELS",
        "4: label has no name; its block is named \"\"",
        "4: label \"\" is defined again; this table replaces the one of line 3 in LABELS"}},
      // Names match exactly, after the first colon of a label is taken out;
      // a jump before the first label is left out with its line.
      {"jumps to labels that are not there",
       "jump_out nowhere\nlabel a:\njump_out A\nif x:\n    jump_out b:\njump_out a\n",
       {"1: 1 statement before the first label belongs to no label and was left out of the "
        "output",
        "3: jump_out leads to \"A\", which no label of this script defines",
        "5: jump_out leads to \"b:\", which no label of this script defines"}},
      {"a label defined again, after a jump to it",
       "label a:\njump_out b\nlabel b:\nlabel a:\nlabel b:\n",
       {"4: label \"a\" is defined again; this table replaces the one of line 1 in LABELS",
        "5: label \"b\" is defined again; this table replaces the one of line 3 in LABELS"}},
      {"jump without a target", "label a:\n\n    jump_out\njump_out  x\n",
       {"3: jump_out has no target; the line is left unquoted",
        "4: jump_out has no target; the line is left unquoted"}},
      {"byte-order mark before a label", "\xEF\xBB\xBFlabel start:\nx\n", {}},
      {"byte-order mark before a comment", "\xEF\xBB\xBF# hi\nlabel a:\n",
       {"1: 1 statement before the first label belongs to no label and was left out of the "
        "output"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(warningsOf(readScript(c.input)), c.warnings) << c.name;
  }
}

// Past a hundred of a kind, one warning counts the rest, so that a script of
// repeated labels or jumps to nowhere does not bury the other warnings.
TEST(ReadScriptTest, CountsLabelProblemsPastAHundred) {
  std::string input = "label a:\n";
  for (std::size_t k = 0; k < kMostLabelWarnings + 2; ++k) input += "jump_out b\nlabel a:\n";
  const std::vector<std::string> warnings = warningsOf(readScript(input));
  ASSERT_EQ(warnings.size(), 2 * (kMostLabelWarnings + 1));
  for (const std::size_t parts : {2, 3, 8}) {  // the same when converted in parts
    Conversion result;
    convertScript(input, result, {}, {}, parts);
    EXPECT_EQ(warningsOf(result.warnings), warnings) << parts << " parts";
  }
  const std::size_t last = 2 * kMostLabelWarnings + 1;  // the line of the last shown of each kind
  EXPECT_EQ(warnings[warnings.size() - 4],
            std::to_string(last - 1) + ": jump_out leads to \"b\", which no label of this script defines");
  EXPECT_EQ(warnings[warnings.size() - 3],
            std::to_string(last - 1) +
                ": 2 more jumps to labels this script does not define are not shown; brindle-check "
                "lists them all");
  EXPECT_EQ(warnings.back(), std::to_string(last) +
                                 ": 2 more labels defined again are not shown; brindle-check lists "
                                 "them all");
}

}  // namespace
}  // namespace brindle
