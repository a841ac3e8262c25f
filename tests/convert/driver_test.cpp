#include "convert/driver.h"

#include "convert/writer.h"

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
  EXPECT_EQ(script.variableNames.names, (std::vector<std::string>{"met"}));
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
      {"well-formed script", "label a:\n$ x = 1\njump_out b\n", {}},
      {"label without a name", "label a:\nlabel\nlabel  b\nlabel :\n",
       {"2: label has no name; its block is named \"\"",
        "3: label has no name; its block is named \"\"",
        "4: label has no name; its block is named \"\""}},
      {"jump without a target", "label a:\n\n    jump_out\njump_out  x\n",
       {"3: jump_out has no target; the line is left unquoted",
        "4: jump_out has no target; the line is left unquoted"}},
      {"byte-order mark before a label",
       "\xEF\xBB\xBFlabel start:\nx\n",
       {"1: 2 statements before the first label belong to no label and were left out of the "
        "output (the file starts with a UTF-8 byte-order mark, which kept line 1 from being "
        "read as a label)"}},
      {"byte-order mark before a comment", "\xEF\xBB\xBF# hi\nlabel a:\n",
       {"1: 1 statement before the first label belongs to no label and was left out of the "
        "output"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(warningsOf(readScript(c.input)), c.warnings) << c.name;
  }
}

TEST(ConvertScriptTest, SameInputGivesSameBytes) {
  const std::string input = "label R28:\n    if a:\n        x\n    y\n";
  Conversion first;
  Conversion second;
  convertScript(input, first);
  convertScript(input, second);
  EXPECT_EQ(first.lua, second.lua);
  EXPECT_EQ(first.console, "nadasnadas");
  EXPECT_EQ(second.console, "nadasnadas");
}

// Scripts whose `label` lines let a conversion cut them into several parts,
// with something in every part that depends on what came before: line
// numbers of warnings, announcements, variables first seen late, chains
// that end where a part ends.
const std::vector<std::string>& scriptsWithManyLabels() {
  static const std::vector<std::string> scripts = {
      "",
      "no label at all\n$ x = 1\n",
      "\xEF\xBB\xBFlabel hidden:\n$ a = 1\nlabel R28:\nx\ny\nlabel b:\njump_out\n",
      "label a:\n    if x:\n        y\nlabel R28:\n    if z:\n        w\n    else:\n"
      "        v\nlabel \nlabel c:\n$ late = 2\n    $ late += 1\nlabel R28:\nq",
      "label a:\r\n  $ b = True\r\nlabel d:\r\n\r\njump_out\r\nlabel e:\r\n"
      "label f:\r\n    path_end\r\n",
      "orphan\n\nlabel a:\nx\nlabel b:\n\tlabel c:\nlabel d:\n    if a:\n"
      "label e:\n        deep\nlabel R28:\n1\n2\n3\nlabel R28:\n4\nlabel g:\njump_out",
      // Four blanks become a tab, which joins "label" to the next word: only
      // "label" and one blank surely opens a block.
      "label R28:\nx\nif a:\n    y\nlabel    b\n    z\nlabel     c\nw\nlabel  d\n"
      "label        e\nlabel    \nv\nlabel R28:\nu",
  };
  return scripts;
}

TEST(ConvertScriptTest, PartsAndPiecesGiveTheWholeResult) {
  for (const std::string& input : scriptsWithManyLabels()) {
    const Script script = readScript(input);
    std::string console;
    const std::string lua = writeLuaOutput(script.labelBlocks, script.variableNames, console);
    for (const std::size_t parts : {1, 2, 3, 8}) {
      for (const std::size_t pieceSize : {1, 40, 1 << 20}) {
        std::string received;
        std::size_t calls = 0;
        const LuaSink sink = [&](std::string_view piece) {
          received.append(piece);
          ++calls;
          return true;
        };
        Conversion result;
        EXPECT_TRUE(convertScript(input, result, sink, {parts, pieceSize}));
        const std::string context =
            "parts " + std::to_string(parts) + ", pieces of " + std::to_string(pieceSize) +
            ", input: " + input;
        EXPECT_EQ(received + result.lua, lua) << context;
        EXPECT_EQ(result.console, console) << context;
        EXPECT_EQ(warningsOf(result.warnings), warningsOf(script)) << context;
        if (pieceSize == 1 && !script.labelBlocks.empty()) {
          EXPECT_GT(calls, 1u) << context;
        }

        Conversion kept;
        convertScript(input, kept, {}, {parts, pieceSize});
        EXPECT_EQ(kept.lua, lua) << context;
      }
    }
  }
}

TEST(ConvertScriptTest, RefusedSinkIsNotAskedAgainAndTheRunStillEnds) {
  const std::string input = "label R28:\nx\nlabel R28:\njump_out\ny\nlabel c:\n$ z = 1\n";
  std::size_t calls = 0;
  Conversion result;
  const bool accepted = convertScript(
      input, result,
      [&calls](std::string_view) {
        ++calls;
        return false;
      },
      {3, 1});
  EXPECT_FALSE(accepted);
  EXPECT_EQ(calls, 1u);
  EXPECT_EQ(result.console, "nadasnadasnadas");
  EXPECT_EQ(warningsOf(result.warnings),
            (std::vector<std::string>{"4: jump_out has no target; the line is left unquoted"}));
}

TEST(FindVariablesTest, FindsWhatReadingTheScriptFinds) {
  const std::vector<std::string> inputs = {
      "$ a = 1\n$ b = 2\n$ a = 3",
      "e \"$5 for the $ sign\"\n$x = 1\nx $ y\n",
      "    $ indented = 1\n\t$ tabbed = 2\n  $ two = 3\n$\tjoined = 4\n",
      "label a:\n$ first\r\n$ crlf\r\n$ last\r",
      "$\n$ \n$  \n$ $ $\n$$ no\n",
      "x\n\n$ one $ two\n$ three",
      "$ a+=1\n$ b -= 2\n$ c+=3\n",
      "$     five\n     $ indented_five\n$ v\vt\n$ é = 1\n        $ x y",
      "$ joined    .add(x)\n$ kept   = 1\n$ tab\t= 2\n$ four    \n",
  };
  for (const std::string& input : inputs) {
    EXPECT_EQ(findVariables(input).names, readScript(input).variableNames.names)
        << "input: " << input;
  }
}

}  // namespace
}  // namespace brindle
