// Runs the real brindle-check in a story folder: what it prints, in which
// order, how it exits, and that it writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e/run_brindle.h"

namespace brindle::test {
namespace {

TEST(CheckCliTest, ReportsSortedByLineAndExitsWithWhetherItFoundAnything) {
  struct Case {
    const char* name;
    std::string script;
    std::string err;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {"a story that loads", "label start:\n    $ coins += 1\n    jump_out start\n",
       "brindle-check: every line will load\n", 0},
      {"every kind, with brindle's warnings among them",
       "x = 1\nlabel start:\n    jump_out end\n    if coins != 2:\n        $ renpy.pause(1.0)\n"
       "label start:\n    jump_out\n",
       "test.py:1: warning: 1 statement before the first label belongs to no label and was left "
       "out of the output\n"
       "test.py:3: error: jump_out leads to \"end\", which no label of this script defines\n"
       "test.py:4: error: 'then' expected near '!'\n"
       "test.py:5: error: Lua cannot assign to \"renpy.pause(1.0)\": its declaration "
       "\"renpy.pause(1.0) = 0;\" does not load (unexpected symbol near '=')\n"
       "test.py:6: error: label \"start\" is defined again; this table replaces the one of line 2 "
       "in LABELS\n"
       "test.py:7: warning: jump_out has no target; the line is left unquoted\n"
       "test.py:7: error: '=' expected near ';'\n"
       "brindle-check: 5 lines will not load (2 Lua syntax errors, 1 variable Lua cannot assign, "
       "1 undefined jump target, 1 duplicate label)\n",
       1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), c.script);
    const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(run.err, c.err) << c.name;
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"test.py"}) << c.name;
  }
}

TEST(CheckCliTest, ScriptThatCannotBeReadIsAnError) {
  struct Case {
    const char* name;
    std::optional<std::string> testPy;
    std::string err;  // after "brindle-check: error: cannot read test.py: "
  };
  const Case cases[] = {
      {"missing", std::nullopt, "there is no test.py in DIR"},
      {"malformed UTF-16", std::string("\xFF\xFEl\0a\0b", 7),
       "it is UTF-16 text, but it ends in half a character; save it as UTF-8 and run again"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.testPy) writeFile(dir.path() + "/test.py", *c.testPy);
    const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path());
    std::string err = "brindle-check: error: cannot read test.py: " + c.err + "\n";
    if (const std::size_t at = err.find("DIR"); at != std::string::npos) {
      err.replace(at, 3, std::filesystem::canonical(dir.path()).string());
    }
    EXPECT_EQ(run.exitCode, 1) << c.name;
    EXPECT_EQ(run.err, err) << c.name;
  }
}

TEST(CheckCliTest, PrintsItsVersionForExactlyTheArgumentVersion) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    int exitCode;  // 1: the check ran and found no test.py in the empty folder
  };
  const Case cases[] = {
      {{"--version"}, "brindle-check " BRINDLE_VERSION "\n", 0},
      {{"--version", "--version"}, "", 1},
      {{"-v"}, "", 1},
      {{"--Version"}, "", 1},
      {{"version"}, "", 1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0];
    EXPECT_EQ(run.out, c.out) << c.args[0];
    EXPECT_EQ(run.err.rfind("brindle-check: error: cannot read test.py: ", 0) == 0, c.exitCode == 1)
        << c.args[0] << ": " << run.err;
  }
}

}  // namespace
}  // namespace brindle::test
