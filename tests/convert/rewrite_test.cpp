#include "convert/rewrite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/driver.h"

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
    EXPECT_EQ(line.chainFlag, c.chainFlag) << "input: " << c.input;
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

TEST(RewriteStatementTest, RecordsEachVariableOnceInFirstSeenOrder) {
  const Script script = readUnderLabel(
      "$ money += 10\n$ seen = True\n$ money -= 2\n$x = 1\n$\n$  y = 2\n$ Seen = 1\n");
  EXPECT_EQ(script.variableNames.names, (std::vector<std::string>{"money", "seen", "Seen"}));
}

TEST(RewriteStatementTest, WarnsOnlyAboutAJumpWithoutTarget) {
  VariableNames names;
  for (const std::vector<std::string>& tokens :
       std::vector<std::vector<std::string>>{{"jump_out"}, {"jump_out", "", "x"}}) {
    std::string warning;
    rewriteStatement("jump_out", tokens, names, &warning);
    EXPECT_EQ(warning, "jump_out has no target; the line is left unquoted");
  }
  std::string warning;
  rewriteStatement("jump_out a", {"jump_out", "a"}, names, &warning);
  rewriteStatement("$", {"$"}, names, &warning);
  EXPECT_EQ(warning, "");
  EXPECT_TRUE(names.names.empty());
}

}  // namespace
}  // namespace brindle
