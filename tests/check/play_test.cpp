// The play of small stories as printed, step by step with its script
// lines, and how it ends; what the sandbox refuses; and that the Lua played
// is the text brindle writes.
#include "play.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "parts.h"

namespace brindle::check {
namespace {

struct Case {
  const char* name;
  std::string script;
  PlayOptions options;
  std::optional<std::string> engine;
  std::string printed;  // playText of the report, for test.py
};

void expectPlays(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const PlayEngine engine{"engine.lua", c.engine.value_or("")};
    const PlayReport report = playScript(c.script, c.options, c.engine ? &engine : nullptr);
    EXPECT_EQ(report.refusal, "") << c.name;
    EXPECT_EQ(playText("test.py", report), c.printed) << c.name;
  }
}

PlayOptions setting(std::string name, std::string value) {
  PlayOptions options;
  options.set.push_back({std::move(name), std::move(value)});
  return options;
}

PlayOptions steps(std::size_t count) {
  PlayOptions options;
  options.steps = count;
  return options;
}

TEST(PlayTest, StepsAndEndsFollowTheRulesOfThePlay) {
  const std::string branch =
      "label start:\n    if coins > 3:\n        e \"Rich.\"\n    else:\n        e \"Poor.\"\n    $ coins = 1\n"
      "    path_end\n";
  expectPlays({
      {"dialogue, a call in literals, a jump, and a label that runs out",
       "label start:\n    e \"Hi.\"\n    call show_text (\"a \\\"b\\\"\", 2.5, is_h=True)\n    jump_out next\n"
       "label next:\n    m \"There.\"\n",
       {}, std::nullopt,
       "test.py:2: e: Hi.\ntest.py:3: show_text(\"a \\\"b\\\"\", 2.5, true)\ntest.py:4: jump to next\n"
       "test.py:6: m: There.\ntest.py:6: label next has no more entries\n"},
      {"a line of dialogue with a line feed stays one line", "label start:\n    e \"One\\ntwo.\"\n", {},
       std::nullopt, "test.py:2: e: One\\ntwo.\ntest.py:2: label start has no more entries\n"},
      {"a variable as the file declares it", branch, {}, std::nullopt,
       "test.py:5: e: Poor.\ntest.py:7: the path ends\n"},
      {"--set takes the other branch", branch, setting("coins", "5"), std::nullopt,
       "test.py:3: e: Rich.\ntest.py:7: the path ends\n"},
      {"--set before the first entry, not before the declarations' own statements",
       "label start:\n    if flag:\n        e \"Set.\"\n    $ flag = True\n", setting("flag", "\"yes\""),
       std::nullopt, "test.py:3: e: Set.\ntest.py:4: label start has no more entries\n"},
      {"the entry runs on after jump_out; the last jump of an entry counts",
       "label start:\n    if True:\n        jump_out a\n        e \"Still here.\"\n        jump_out b\n"
       "label a:\n    e \"A.\"\nlabel b:\n    e \"B.\"\n",
       {}, std::nullopt,
       "test.py:3: jump to a\ntest.py:4: e: Still here.\ntest.py:5: jump to b\ntest.py:9: e: B.\n"
       "test.py:9: label b has no more entries\n"},
      {"path_end wins over a jump of the same entry",
       "label start:\n    if True:\n        path_end\n        jump_out start\n", {}, std::nullopt,
       "test.py:4: jump to start\ntest.py:3: the path ends\n"},
      {"--from starts elsewhere", "label a:\n    e \"A.\"\nlabel b:\n    e \"B.\"\n",
       [] {
         PlayOptions options;
         options.from = "b";
         return options;
       }(),
       std::nullopt, "test.py:4: e: B.\ntest.py:4: label b has no more entries\n"},
      {"a jump to a label the script lacks", "label start:\n    jump_out nowhere\n", {}, std::nullopt,
       "test.py:2: jump to nowhere\n"
       "test.py:2: jump_out leads to \"nowhere\", which no label of this script defines\n"},
      {"a loop stops at the limit, naming its labels in the order first played",
       "label start:\n    jump_out a\nlabel a:\n    jump_out b\nlabel b:\n    jump_out a\n", steps(4), std::nullopt,
       "test.py:2: jump to a\ntest.py:4: jump to b\ntest.py:6: jump to a\ntest.py:4: jump to b\n"
       "test.py:4: stopped after 4 entries: the story loops through a, b\n"},
      {"a run-time error at the line of the statement in its chain",
       "label start:\n    $ x = \"a\"\n    if True:\n        e \"Before.\"\n        $ x += 1\n", {}, std::nullopt,
       "test.py:4: e: Before.\ntest.py:5: attempt to perform arithmetic on global 'x' (a string value)\n"},
      {"a call of a number", "label start:\n    $ n = 1\n    call n (2)\n", {}, std::nullopt,
       "test.py:3: attempt to call global 'n' (a number value)\n"},
      {"the engine's function replaces the stand-in, and its result is used",
       "label start:\n    $ n = ask(\"Again?\")\n    if n == 2:\n        e \"Two.\"\n",
       {}, std::string("function ask(q) return #q - 4 end"),
       "test.py:2: ask: Again?\ntest.py:4: e: Two.\ntest.py:4: label start has no more entries\n"},
      {"the engine's own calls are not the story's steps; its jump_out is the play's",
       "label start:\n    call show_text (\"x\")\n    jump_out b\nlabel b:\n    e \"B.\"\n", {},
       std::string("function helper() end function show_text(t) helper() end function jump_out() end"),
       "test.py:2: show_text(\"x\")\ntest.py:3: jump to b\ntest.py:5: e: B.\n"
       "test.py:5: label b has no more entries\n"},
      {"an engine that does not run", "label start:\n    e \"A.\"\n", {}, std::string("x = = 1"),
       "test.py: the engine engine.lua did not run: engine.lua:1: unexpected symbol near '='\n"},
  });
}

TEST(PlayTest, TheSandboxStopsWhatAStoryMayNotDo) {
  const std::string loop = "function spin() while true do end end\n"
                           "function caught() while true do pcall(spin) end end\n";
  expectPlays({
      {"os", "label start:\n    call os.execute (\"touch made\")\n", {}, std::nullopt,
       "test.py:2: os is not available: a story plays in a sandbox\n"},
      {"io", "label start:\n    $ f = io.open(\"made\", \"w\")\n", {}, std::nullopt,
       "test.py:2: io is not available: a story plays in a sandbox\n"},
      {"require", "label start:\n    e \"A.\"\n    $ m = require \"x\"\n", {}, std::nullopt,
       "test.py:2: e: A.\ntest.py:3: require is not available: a story plays in a sandbox\n"},
      {"string.dump, and no pcall of the story catches the stop",
       "label start:\n    $ ok = pcall(string.dump, print)\n", {}, std::nullopt,
       "test.py:2: string.dump is not available: a story plays in a sandbox\n"},
      {"in the engine too", "label start:\n    call clock ()\n", {},
       std::string("function clock() return os.time() end"),
       "test.py:2: clock()\ntest.py:2: os is not available: a story plays in a sandbox\n"},
      {"memory", "label start:\n    $ s = string.rep(\"x\", 2000000000)\n", {}, std::nullopt,
       "test.py:2: stopped: the story used more than 64 MiB of memory, the most a play may use\n"},
      {"instructions, even under pcall", "label start:\n    call caught ()\n", {}, loop,
       "test.py:2: caught()\n"
       "test.py:2: stopped after 10000000 Lua instructions in one entry: the story may be caught in a loop\n"},
  });
}

TEST(PlayTest, OptionsThatCannotBeUsedAreRefused) {
  struct Refusal {
    PlayOptions options;
    std::string refusal;
  };
  const std::string script = "label start:\n    $ coins = 0\n";
  PlayOptions from;
  from.from = "nowhere";
  const Refusal refusals[] = {
      {from, "the script has no label \"nowhere\" to start from"},
      {setting("coinz", "1"), "cannot set \"coinz\": the script has no variable of that name"},
      {setting("coins", "lots"),
       "cannot set \"coins\" to lots: a value is a number, true, false or a quoted string"},
      {steps(0), "the steps must be a number from 1 to 1000000"},
  };
  for (const Refusal& r : refusals) {
    const PlayReport report = playScript(script, r.options);
    EXPECT_EQ(report.refusal, r.refusal);
    EXPECT_TRUE(report.steps.empty());
  }
}

TEST(PlayTest, ValuesAsTyped) {
  struct Typed {
    const char* typed;
    bool valid;
    PlayValue::Kind kind;
    double number;
    std::string text;
  };
  using K = PlayValue::Kind;
  const Typed cases[] = {
      {"3", true, K::number, 3, ""},       {"-2.5e1", true, K::number, -25, ""},
      {"true", true, K::boolean, 0, ""},   {"\"a \\\"b\\\"\"", true, K::string, 0, "a \"b\""},
      {"'x'", true, K::string, 0, "x"},    {"True", false, K::nil, 0, ""},
      {"1e", false, K::nil, 0, ""},        {"\"open", false, K::nil, 0, ""},
      {"0x10", false, K::nil, 0, ""},      {"", false, K::nil, 0, ""},
  };
  for (const Typed& c : cases) {
    PlayValue value;
    EXPECT_EQ(parsePlayValue(c.typed, value), c.valid) << c.typed;
    if (!c.valid) continue;
    EXPECT_EQ(value.kind, c.kind) << c.typed;
    EXPECT_EQ(value.number, c.number) << c.typed;
    EXPECT_EQ(value.text, c.text) << c.typed;
  }
}

// The Lua played is output.lua's, in either layout, and its lines map to
// the script's: a step past 60,000 entries still names its own line.
TEST(PlayTest, PlaysTheTextBrindleWrites) {
  std::string grouped = "label start:\n";
  for (int k = 0; k < 60010; ++k) grouped += "    $ n += 1\n";
  grouped += "    e \"Done.\"\n";
  for (const std::string& script : {std::string("label a:\n    $ x = 1\n    if x == 1:\n        e \"y\"\n"), grouped}) {
    Conversion converted;
    convertInParts(script, converted);
    EXPECT_EQ(playableLua(script).text, converted.lua);
  }
  const PlayReport report = playScript(grouped, steps(70000));
  ASSERT_EQ(report.steps.size(), 1u);
  EXPECT_EQ(report.steps[0].line, 60012u);
  EXPECT_EQ(report.end.kind, PlayEndKind::labelEnded);
  ASSERT_EQ(report.variables.size(), 1u);
  EXPECT_EQ(report.variables[0].value.number, 60010);
}

// A script Lua will not load is not played: the check says where.
TEST(PlayTest, AScriptThatWillNotLoadIsChecked) {
  const PlayReport report = playScript("label start:\n    e \"A.\"\n    if x != 1:\n        e \"B.\"\n", {});
  EXPECT_EQ(report.end.kind, PlayEndKind::notLoaded);
  EXPECT_EQ(report.end.line, 3u);
  EXPECT_EQ(report.end.message,
            "the story does not load: 'then' expected near '!'; to fix it, write ~= instead of !=");
  EXPECT_TRUE(report.steps.empty());
  ASSERT_TRUE(report.check);
  EXPECT_EQ(report.check->findings.size(), 1u);
}

}  // namespace
}  // namespace brindle::check
