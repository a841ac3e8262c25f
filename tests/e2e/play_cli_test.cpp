// Runs the real brindle-check --play in a story folder: the tour played to
// its end as checked in, the exit codes and usage errors, a sandbox that
// leaves nothing behind, and the JSON document.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "e2e/run_brindle.h"

namespace brindle::test {
namespace {

TEST(PlayCliTest, TheTourPlaysToItsEndAsCheckedIn) {
  TempDir dir;
  writeFile(dir.file("test.py"), readFile(BRINDLE_SOURCE_DIR "/examples/tour/test.py"));
  const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, {"--play"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, readFile(BRINDLE_SOURCE_DIR "/examples/tour/expected-play.txt"));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"test.py"});
}

TEST(PlayCliTest, ExitCodesAndWhatIsPrinted) {
  struct Case {
    const char* name;
    std::string script;
    std::vector<std::string> args;
    std::string out;
    std::string errStart;
    int exitCode;
  };
  const std::string usage = "usage: brindle-check [--json] [FILE...]\n";
  const Case cases[] = {
      {"the path ends", "label start:\n    e \"Hi.\"\n    path_end\n", {"--play"},
       "test.py:2: e: Hi.\ntest.py:3: the path ends\n", "", 0},
      {"the file by the name given", "label start:\n    e \"Hi.\"\n", {"--play", "./test.py"},
       "./test.py:2: e: Hi.\n./test.py:2: label start has no more entries\n", "", 0},
      {"the step limit", "label start:\n    jump_out start\n", {"--play", "--steps", "2"},
       "test.py:2: jump to start\ntest.py:2: jump to start\n"
       "test.py:2: stopped after 2 entries: the story loops through start\n",
       "", 1},
      {"os.execute, refused", "label start:\n    call os.execute (\"touch made\")\n", {"--play"},
       "test.py:2: os is not available: a story plays in a sandbox\n", "", 1},
      {"io.open, refused", "label start:\n    $ f = io.open(\"made\", \"w\")\n    call f.write (f, \"x\")\n",
       {"--play"}, "test.py:2: io is not available: a story plays in a sandbox\n", "", 1},
      {"require, refused", "label start:\n    $ m = require(\"made\")\n", {"--play"},
       "test.py:2: require is not available: a story plays in a sandbox\n", "", 1},
      {"a script that will not load is checked instead", "label start:\n    if x != 1:\n        e \"A.\"\n",
       {"--play"}, "", "test.py:2: error: 'then' expected near '!'", 1},
      {"an unknown label to start from", "label start:\n    e \"A.\"\n", {"--play", "--from", "nowhere"}, "",
       "brindle-check: error: the script has no label \"nowhere\" to start from\n" + usage, 2},
      {"a value that is none", "label start:\n    $ x = 1\n", {"--play", "--set", "x=maybe"}, "",
       "brindle-check: error: --set x=maybe: a value is a number, true, false or a quoted string\n" + usage, 2},
      {"play options without --play", "label start:\n", {"--steps", "3"}, "",
       "brindle-check: error: --from, --set, --steps and --engine go with --play\n" + usage, 2},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), c.script);
    const RunResult run = runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(run.out, c.out) << c.name;
    EXPECT_EQ(run.err.substr(0, c.errStart.size()), c.errStart) << c.name << "\n" << run.err;
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"test.py"}) << c.name;
  }
}

TEST(PlayCliTest, JsonAndAnEngine) {
  TempDir dir;
  writeFile(dir.file("test.py"),
            "label start:\n    $ coins = 0\n    $ coins = pay(3)\n    call show_text (\"Paid.\")\n    jump_out end\n"
            "label end:\n    g \"Bye.\"\n    path_end\n");
  writeFile(dir.file("engine.lua"), "function pay(n) return n * 2 end\n");
  const RunResult run =
      runProgram(BRINDLE_CHECK_EXECUTABLE, dir.path(), {}, {"--play", "--json", "--engine", "engine.lua"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json expected = nlohmann::json::parse(R"json({
    "steps": [
      {"line": 3, "label": "start", "kind": "call", "call": "pay(3)"},
      {"line": 4, "label": "start", "kind": "call", "call": "show_text(\"Paid.\")"},
      {"line": 5, "label": "start", "kind": "jump", "target": "end"},
      {"line": 7, "label": "end", "kind": "dialogue", "speaker": "g", "text": "Bye."}],
    "end": {"line": 8, "label": "end", "kind": "pathEnd", "message": "the path ends"},
    "variables": {"coins": 6}})json");
  EXPECT_EQ(nlohmann::json::parse(run.out), expected) << run.out;
}

}  // namespace
}  // namespace brindle::test
