// Runs the real brindle-check in a story folder: what it prints, in which
// order, how it exits, and that it writes nothing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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
       "test.py:4: error: 'then' expected near '!'; to fix it, write ~= instead of !=\n"
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

TEST(CheckCliTest, OptionsAsUsersExpect) {
  struct Case {
    std::vector<std::string> args;
    std::string outStart;  // what standard output starts with
    std::string err;       // all of standard error; DIR is the folder
    int exitCode;
  };
  const std::string usage =
      "usage: brindle-check [--json] [FILE...]\n"
      "       brindle-check --play [--from LABEL] [--set NAME=VALUE]... [--steps N]\n"
      "                     [--engine FILE.lua] [--json] [FILE]\n"
      "       brindle-check --map [FILE]\n"
      "       brindle-check --lsp\n";
  const std::string mapRefused = "brindle-check: error: --map takes one file at most and no other option\n" + usage;
  const Case cases[] = {
      {{"--version"}, "brindle-check " BRINDLE_VERSION "\n", "", 0},
      {{"--help"}, usage, "", 0},
      {{"-v"}, "", "brindle-check: error: unknown option -v\n" + usage, 2},
      {{"--version", "--Version"}, "brindle-check ", "", 0},
      {{"--Version"}, "", "brindle-check: error: unknown option --Version\n" + usage, 2},
      {{"version"}, "", "brindle-check: error: cannot read version: there is no version in DIR\n", 1},
      {{"--", "--json"}, "", "brindle-check: error: cannot read --json: there is no --json in DIR\n", 1},
      {{"--lsp", "test.py"}, "", "brindle-check: error: --lsp takes no other option or file\n" + usage, 2},
      {{"--map", "a.py", "b.py"}, "", mapRefused, 2},
      {{"--map", "--lsp"}, "", mapRefused, 2},
      {{"--map", "--json"}, "", mapRefused, 2},
      {{"--map"}, "", "brindle-check: error: cannot read test.py: there is no test.py in DIR\n", 1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, c.args);
    std::string err = c.err;
    if (const std::size_t at = err.find("DIR"); at != std::string::npos) {
      err.replace(at, 3, std::filesystem::canonical(dir.path()).string());
    }
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0];
    EXPECT_EQ(run.out.substr(0, c.outStart.size()), c.outStart) << c.args[0];
    EXPECT_EQ(run.err, err) << c.args[0];
  }
}

// Where Graphviz's dot is, if it is on the PATH.
std::string dotProgram() {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "";
  while (!dirs.empty()) {
    const std::size_t end = std::min(dirs.find(':'), dirs.size());
    const std::filesystem::path dot = std::filesystem::path(dirs.substr(0, end)) / "dot";
    if (access(dot.c_str(), X_OK) == 0) return dot.string();
    dirs.remove_prefix(std::min(end + 1, dirs.size()));
  }
  return {};
}

TEST(CheckCliTest, MapIsLaidOutByDot) {
  const std::string dot = dotProgram();
  if (dot.empty()) GTEST_SKIP() << "Graphviz's dot is not installed (scripts/install-deps.sh installs graphviz)";
  struct Case {
    const char* name;
    std::string script;
    std::size_t nodes;
    std::size_t edges;
  };
  const std::vector<Case> cases = {
      {"the tour", readFile(BRINDLE_SOURCE_DIR "/examples/tour/test.py"), 4, 4},
      // Names that differ only in bytes of no UTF-8 character stay apart.
      {"hostile names",
       "label \"q\\:\n    jump_out x\xFF\n    jump_out x\xFE\n    jump_out \"\\\\\nlabel a\\b:\n"
       "label \xC3\xA9\x80\xE2\x82:\n    jump_out \"q\\\n",
       6, 4},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), c.script);
    const RunResult map = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, {"--map"});
    EXPECT_EQ(map.exitCode, 0) << c.name;
    EXPECT_EQ(map.err, "") << c.name;
    writeFile(dir.file("map.dot"), map.out);
    const RunResult laidOut = runProgram(dot.c_str(), dir.path(), {}, {"-Tsvg", "map.dot"});
    EXPECT_EQ(laidOut.exitCode, 0) << c.name << ": " << laidOut.err;
    EXPECT_EQ(laidOut.err, "") << c.name;
    const auto count = [&](std::string_view what) {
      std::size_t n = 0;
      for (std::size_t at = laidOut.out.find(what); at != std::string::npos; at = laidOut.out.find(what, at + 1)) ++n;
      return n;
    };
    EXPECT_EQ(count("<svg"), 1u) << c.name;
    EXPECT_EQ(count("class=\"node\""), c.nodes) << c.name;
    EXPECT_EQ(count("class=\"edge\""), c.edges) << c.name;
  }
}

TEST(CheckCliTest, SeveralFilesEachByTheNameGiven) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() + "/one");
  std::filesystem::create_directories(dir.path() + "/two");
  writeFile(dir.path() + "/one/test.py", "label a:\n    jump_out a\n");
  writeFile(dir.path() + "/two/test.py", "label a:\n    if x != 1:\n        y = 1\n");
  const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {},
                                   {"one/test.py", "two/test.py", "three/test.py"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "brindle-check: one/test.py: every line will load\n"
            "two/test.py:2: error: 'then' expected near '!'; to fix it, write ~= instead of !=\n"
            "brindle-check: two/test.py: 1 line will not load (1 Lua syntax error)\n"
            "brindle-check: error: cannot read three/test.py: there is no test.py in " +
                std::filesystem::canonical(dir.path()).string() + "/three\n"
            "brindle-check: 1 line will not load (1 Lua syntax error) in 3 files; 1 file could not "
            "be read\n");
}

TEST(CheckCliTest, JsonHasEveryFindingWithItsPlace) {
  TempDir dir;
  writeFile(dir.file("test.py"), "label a:\n    if x != 1:\n        e \"call me\"\n    jump_out b\n");
  const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, {"--json"});
  EXPECT_EQ(run.exitCode, 1);
  const nlohmann::json document = nlohmann::json::parse(run.out);
  const nlohmann::json expected = {
      {"files", {{{"file", "test.py"}, {"findings", 2}, {"warnings", 1}, {"error", nullptr}}}},
      {"findings",
       {{{"file", "test.py"}, {"line", 2}, {"column", 10}, {"endColumn", 12}, {"severity", "error"},
         {"kind", "luaSyntax"},
         {"message", "'then' expected near '!'; to fix it, write ~= instead of !="},
         {"hint", "write ~= instead of !="}},
        {{"file", "test.py"}, {"line", 3}, {"column", 9}, {"endColumn", 20}, {"severity", "warning"},
         {"kind", "textChange"},
         {"message", "the conversion changes \"call me\" to \"me\" (the first \"call \" of a line is removed)"},
         {"hint", nullptr}},
        {{"file", "test.py"}, {"line", 4}, {"column", 5}, {"endColumn", 15}, {"severity", "error"},
         {"kind", "undefinedJumpTarget"},
         {"message", "jump_out leads to \"b\", which no label of this script defines"},
         {"hint", nullptr}}}},
      {"summary", "brindle-check: 2 lines will not load (1 Lua syntax error, 1 undefined jump target)"}};
  EXPECT_EQ(document, expected) << run.out;
  // People still read standard error.
  EXPECT_NE(run.err.find("test.py:2: error: 'then' expected"), std::string::npos);
}

}  // namespace
}  // namespace brindle::test
