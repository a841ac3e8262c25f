// What brindle-check finds in small stories, and on which line of test.py.
#include "check.h"
#include "hints.h"

#include "program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::check {
namespace {

struct Expected {
  std::size_t line;
  FindingKind kind;
  std::string fragment;  // a part of the message
};

std::string describe(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) {
    text += std::to_string(f.line) + " [" + std::to_string(static_cast<int>(f.kind)) + "] " + messageOf(f) + "\n";
  }
  return text;
}

TEST(CheckScriptTest, FindsWhatWillNotLoadOnTheLineItComesFrom) {
  using K = FindingKind;
  struct Case {
    const char* name;
    std::string script;
    std::vector<Expected> findings;
  };
  const std::vector<Case> cases = {
      {"a story that loads",
       "$ coins = 0\nlabel start:\n    $ coins += 5\n    if coins > 3:\n        e \"Ferry \\\"now\\\"\\n\"\n"
       "    elif coins == 2:\n        path_end\n    else:\n        call show (1)\n"
       "    e \"\\x41\\u{48}\\65\"\n    jump_out start\n",
       {}},
      {"a $ name Lua cannot assign, once, at its first line",
       "label a:\n    $ renpy.pause(1.0)\n    $ renpy.pause(1.0)\n    $ ok = 1\n",
       {{2, K::unassignableVariable, "\"renpy.pause(1.0)\": its declaration \"renpy.pause(1.0) = 0;\""}}},
      {"the line inside a chain that Lua points at",
       "label a:\n    if x:\n        y = 1\n        a b\n    else:\n        z = 1\n",
       {{4, K::luaSyntax, "'=' expected near 'b'"}}},
      {"an elif Lua cannot read", "label a:\n    if x:\n        y = 1\n    elif x != 2:\n        z = 1\n",
       {{4, K::luaSyntax, "'then' expected near '!'"}}},
      {"an unclosed call at the end of a chain points at its last line",
       "label a:\n    if x:\n        y = f(\n    z = 1\n",
       {{3, K::luaSyntax, "unexpected symbol near 'end'"}}},
      // Lua 5.4 and LuaJIT refuse what 5.1 alone lets pass.
      {"an escape only Lua 5.1 takes", "label a:\n    e \"50\\%\"\n    e \"a\\\\%\"\n",
       {{2, K::luaSyntax, "invalid escape sequence"}}},
      {"what 5.1 and LuaJIT refuse and 5.4 takes",
       "label a:\n    $\n    x = 7 // 2\n    if x:\n        f\n        (g)()\n",
       {{2, K::luaSyntax, "unexpected symbol near ';'"},
        {3, K::luaSyntax, "unexpected symbol near '/'"},
        {6, K::luaSyntax, "ambiguous syntax"}}},
      // The string runs into the entries after it; the line that opened it
      // is to blame, and those after it are still looked at.
      {"a long string left open", "label a:\n    x = 1\n    y = [[\n    z = 2\n    a b\n    w = 3\n",
       {{3, K::luaSyntax, "unfinished long string"}, {5, K::luaSyntax, "'=' expected near 'b'"}}},
      // Lua stops in the second line, which it refuses alone too, but not
      // the same way: the first is to blame, and then the second.
      {"every line opens a long string", "label a:\n    x = [[\n    y = [[\n",
       {{2, K::luaSyntax, "unfinished long string"}, {3, K::luaSyntax, "unfinished long string"}}},
      {"a label name Lua cannot read", "label a\"b:\n    x = 1\nlabel c:\n    y = 1\n",
       {{1, K::luaSyntax, "near 'b'"}}},
      {"jumps to missing labels and labels defined again, in line order",
       "label a:\n    jump_out b\nlabel c:\n    x = (\nlabel a:\n    jump_out c\n    jump_out d\n",
       {{2, K::undefinedJumpTarget, "jump_out leads to \"b\""},
        {4, K::luaSyntax, "unexpected symbol"},
        {5, K::duplicateLabel, "replaces the one of line 1"},
        {7, K::undefinedJumpTarget, "\"d\""}}},
      {"statements before the first label are in no table", "x = (\nlabel a:\n", {}},
      // The fix, in the author's terms.
      {"the common mistakes, each with its fix",
       "label a:\n    # a comment\n    \"It was a dark night.\"\n    if a > 1 && b:\n        x = 1\n"
       "    if a || !b:\n        x = 1\n    else if x:\n        y = 1\n",
       {{2, K::luaSyntax, "to fix it, start the comment with -- instead of #"},
        {3, K::luaSyntax, "to fix it, give the line a speaker, as in e \"...\""},
        {4, K::luaSyntax, "to fix it, write and instead of &&"},
        {6, K::luaSyntax, "to fix it, write or instead of || and write not instead of !"},
        {8, K::luaSyntax, "to fix it, write elif instead of else if"}}},
      // The line to change, not the one after it where Lua stops; and every
      // broken line of a chain, each once.
      {"an if without its colon", "label a:\n    if x\n        e \"a\"\n",
       {{2, K::luaSyntax, "'then' expected near 'e' (Lua stops on line 3); to fix it, end the line with a colon"}}},
      {"a statement that does not end, inside a chain",
       "label a:\n    if x:\n        e \"a\" b\n        y = 1\n",
       {{3, K::luaSyntax, "'=' expected near 'y' (Lua stops on line 4)"}}},
      {"three broken lines of one chain",
       "label a:\n    if x != 1:\n        y = (\n    elif z != 2:\n        w = 1\n    else:\n        v ==\n",
       {{2, K::luaSyntax, "'then' expected near '!'"},
        {3, K::luaSyntax, "unexpected symbol"},
        {4, K::luaSyntax, "'then' expected near '!'"},
        {7, K::luaSyntax, "'=' expected near '=='"}}},
  };
  for (const Case& c : cases) {
    const CheckReport report = checkScript(c.script);
    const std::string all = describe(report.findings);
    ASSERT_EQ(report.findings.size(), c.findings.size()) << c.name << "\n" << all;
    for (std::size_t k = 0; k < c.findings.size(); ++k) {
      const Finding& found = report.findings[k];
      EXPECT_EQ(found.line, c.findings[k].line) << c.name << "\n" << all;
      EXPECT_EQ(found.kind, c.findings[k].kind) << c.name << "\n" << all;
      EXPECT_NE(messageOf(found).find(c.findings[k].fragment), std::string::npos) << c.name << "\n" << all;
    }
  }
}

TEST(CheckScriptTest, KeepsBrindlesWarningsApart) {
  const CheckReport report = checkScript("x\nlabel a:\n    jump_out\n    jump_out b\n");
  ASSERT_EQ(report.warnings.size(), 2u);
  EXPECT_EQ(report.warnings[0].line, 1u);
  EXPECT_EQ(report.warnings[1].message, "jump_out has no target; the line is left unquoted");
  // A bare jump_out does not load either; the warning says why.
  ASSERT_EQ(report.findings.size(), 2u);
  EXPECT_EQ(report.findings[0].line, 3u);
  EXPECT_EQ(report.findings[0].kind, FindingKind::luaSyntax);
  EXPECT_EQ(report.findings[1].kind, FindingKind::undefinedJumpTarget);
}

TEST(CheckReportTest, SummaryCountsByKind) {
  using K = FindingKind;
  const struct {
    std::vector<Finding> findings;
    std::string summary;
  } cases[] = {
      {{}, "brindle-check: every line will load"},
      {{{4, K::duplicateLabel, "", {}}}, "brindle-check: 1 line will not load (1 duplicate label)"},
      {{{1, K::luaSyntax, "", {}}, {2, K::undefinedJumpTarget, "", {}}, {3, K::luaSyntax, "", {}},
        {5, K::unassignableVariable, "", {}}},
       "brindle-check: 4 lines will not load (2 Lua syntax errors, 1 variable Lua cannot assign, "
       "1 undefined jump target)"},
  };
  for (const auto& c : cases) EXPECT_EQ(summaryLine(c.findings), c.summary);
  std::string line;
  appendDiagnostic(line, kScriptPath, 12, "error", "unexpected symbol near '!'");
  EXPECT_EQ(line, "test.py:12: error: unexpected symbol near '!'\n");
}

// A fix that is one exact edit, applied, gives the line the author meant.
TEST(HintsTest, ExactFixesGiveTheLineMeant) {
  const struct {
    std::string line;
    std::string fixed;  // the line with every replacement made; the line itself where none is exact
  } cases[] = {
      {"    if a != b:", "    if a ~= b:"},
      {"    if a&&b:", "    if a and b:"},
      {"    if (a)||(b):", "    if (a)or(b):"},
      {"    if a || b", "    if a or b:"},
      {"    if !x", "    if not x:"},
      {"    if (!x):", "    if (not x):"},
      {"    else if x:", "    elif x:"},
      {"    else if(x):", "    elif(x):"},
      {"    e \"a != b\" and !done", "    e \"a != b\" and not done"},
      {"# a note", "# a note"},
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    const std::vector<Hint> hints = hintsFor(line);
    for (auto hint = hints.rbegin(); hint != hints.rend(); ++hint) {
      if (!hint->replacement.empty()) {
        line.replace(hint->column - 1, hint->endColumn - hint->column, hint->replacement);
      }
    }
    EXPECT_EQ(line, c.fixed) << c.line;
  }
}

}  // namespace
}  // namespace brindle::check
