// Runs the real executable on hostile scripts generated here (deep nesting,
// huge lines, many entries and variables, NUL bytes, broken UTF-8, stray
// carriage returns, links) and on every real script beside the checkout, and
// checks what it writes, not only that it finishes.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/run_brindle.h"

namespace brindle::test {
namespace {

// A sanitized build spends several times longer on every byte, in brindle and
// in these tests, so there the three largest families shrink to a quarter of
// their bytes: 5,000 levels of nesting instead of 10,000 (the tabs grow with
// the square of the depth), lines of 5 MB instead of 20 MB.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kNestingDepth = 5000;
constexpr std::size_t kHugeLine = 5 * 1024 * 1024;
#else
constexpr std::size_t kNestingDepth = 10000;
constexpr std::size_t kHugeLine = 20 * 1024 * 1024;
#endif

// A run that spins instead of finishing is stopped by the processor-time
// limit and then fails on its exit code rather than hanging the suite.
void limitProcessorTime() {
  const rlimit limit{120, 120};
  setrlimit(RLIMIT_CPU, &limit);
}

std::string printable(const std::string& bytes) {
  std::string out;
  for (const unsigned char c : bytes) {
    if (std::isprint(c) && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

// Compares outputs that may be hundreds of megabytes long and, when they
// differ, shows only the sizes and the neighbourhood of the first difference.
testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  const auto mismatch =
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  const auto at = static_cast<std::size_t>(mismatch.first - actual.begin());
  const std::size_t from = at < 40 ? 0 : at - 40;
  return testing::AssertionFailure()
         << "sizes " << actual.size() << " (actual) and " << expected.size()
         << " (expected); first difference at byte " << at << "\n  actual:   ..."
         << printable(actual.substr(from, 80)) << "\n  expected: ..."
         << printable(expected.substr(from, 80));
}

struct Outcome {
  RunResult run;
  std::string lua;
};

Outcome convert(const std::string& script) {
  TempDir dir;
  writeFile(dir.file("test.py"), script);
  Outcome outcome{runBrindle(dir.path(), limitProcessorTime), ""};
  outcome.lua = readFile(dir.file("output.lua"));
  return outcome;
}

std::string tabs(std::size_t count) { return std::string(count, '\t'); }

// "v" and the number; built by appending, since g++ 12 warns wrongly about
// adding a literal to a temporary string here.
std::string variable(std::size_t i) { return std::string("v").append(std::to_string(i)); }

TEST(HostileInputTest, ChainsNestedTenThousandLevelsDeep) {
  const std::size_t depth = kNestingDepth;
  std::string script = "label deep:\n";
  std::string lua = kLuaHeader + "\n\n\n\nLABELS[\"deep\"] = {\n\tfunction() ";
  for (std::size_t i = 0; i < depth; ++i) {
    const std::string name = variable(i);
    script.append(tabs(i)).append("if ").append(name).append(":\n");
    lua.append("\n").append(tabs(i)).append("if ").append(name).append(" then\n");
  }
  script += "x\n";
  // Closing lines, innermost chain first.
  for (std::size_t i = depth; i-- > 0;) lua.append("\n").append(tabs(i)).append("end");
  lua += "; end,\n\tfunction() x; end\n};";

  const Outcome outcome = convert(script);
  EXPECT_EQ(outcome.run.exitCode, 0);
  EXPECT_EQ(outcome.run.err, "");
  EXPECT_TRUE(sameBytes(outcome.lua, lua));
}

TEST(HostileInputTest, TwentyMegabytesOfBlanksOnOneLine) {
  // Every run of four blanks becomes a tab; the three left over stay.
  const std::size_t blanks = kHugeLine + 3;
  const Outcome outcome = convert("label a:\n" + std::string(blanks, ' ') + "\ny\n");
  EXPECT_EQ(outcome.run.exitCode, 0);
  EXPECT_EQ(outcome.run.err, "");
  EXPECT_TRUE(sameBytes(outcome.lua, kLuaHeader + "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() " +
                                         tabs(blanks / 4) + "   ; end,\n\tfunction() y; end\n};"));
}

// Both are far above what one Lua function holds: output.lua is grouped.
TEST(HostileInputTest, TwoHundredThousandPathEndEntries) {
  const std::size_t count = 200000;
  std::string script = "label a:\n";
  for (std::size_t i = 0; i < count; ++i) script += "path_end\n";
  std::string lua = kLuaHeader + "\n\n";
  appendTableInPieces(lua, "a", count, [](std::size_t) { return "path_end()"; });
  const Outcome outcome = convert(script);
  EXPECT_EQ(outcome.run.exitCode, 0);
  EXPECT_EQ(outcome.run.err, "");
  EXPECT_TRUE(sameBytes(outcome.lua, lua));
}

TEST(HostileInputTest, HundredThousandDistinctVariables) {
  // Each variable is set, then updated in the opposite order: it is declared
  // once, in the order first seen.
  const std::size_t count = 100000;
  std::string script = "label a:\n";
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    names.push_back(variable(i));
    script += "$ " + names.back() + " = " + std::to_string(i) + "\n";
  }
  for (std::size_t i = count; i-- > 0;) script += "$ " + names[i] + " += 1\n";
  std::string lua = kLuaHeader + groupedDeclarations(names) + "\n\n";
  appendTableInPieces(lua, "a", 2 * count, [&names](std::size_t i) {
    if (i < count) return " " + names[i] + " = " + std::to_string(i);
    const std::string& name = names[2 * count - 1 - i];
    return " " + name + " = " + name + " +  1";
  });
  const Outcome outcome = convert(script);
  EXPECT_EQ(outcome.run.exitCode, 0);
  EXPECT_EQ(outcome.run.err, "");
  EXPECT_TRUE(sameBytes(outcome.lua, lua));
}

TEST(HostileInputTest, AMillionEmptyLinesStillCountForLineNumbers) {
  const Outcome outcome = convert("label a:\n" + std::string(1000000, '\n') + "jump_out\n");
  EXPECT_EQ(outcome.run.exitCode, 0);
  EXPECT_EQ(outcome.run.err,
            "test.py:1000002: warning: jump_out has no target; the line is left unquoted\n");
  EXPECT_TRUE(sameBytes(outcome.lua,
                        kLuaHeader + "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() jump_out; end\n};"));
}

TEST(HostileInputTest, OddBytesPassThroughUnchanged) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string script;
    std::string luaAfterHeader;
    std::string err = "";  // standard error
  };
  const std::vector<Case> cases = {
      {"lines of NUL bytes",
       "label a\0b:\n"s + std::string(4096, '\0') + "\n$ v\0w = 1\njump_out a\0b\n"s,
       "v\0w = 0;\n\n\n\n\nLABELS[\"a\0b\"] = {\n\tfunction() "s + std::string(4096, '\0') +
           "; end,\n\tfunction()  v\0w = 1; end,\n\tfunction() jump_out (\"a\0b\"); end\n};"s},
      // 0x85 and 0xA0 are blanks in some locales and encodings; here they are
      // bytes like any other, also inside names.
      {"invalid UTF-8",
       "label \xFF\xFE:\n    $ \xA0x\x85 = 1\n"
       "    e \"\xC3\x28 \xE2\x82 \xF0\x28\x8C\x28 \xC0\xAF\"\n"
       "    if \xED\xA0\x80:\n        jump_out \xFF\xFE\n",
       "\xA0x\x85 = 0;\n\n\n\n\nLABELS[\"\xFF\xFE\"] = {\n\tfunction() \t \xA0x\x85 = 1; end,\n"
       "\tfunction() \te \"\xC3\x28 \xE2\x82 \xF0\x28\x8C\x28 \xC0\xAF\"; end,\n"
       "\tfunction() \n\tif \xED\xA0\x80 then\n\n\t\tjump_out (\"\xFF\xFE\")\n\tend; end\n};"},
      // Only a carriage return right before a line feed ends a line.
      {"lone carriage returns", "label a:\rx\r\ny\rz\r\r\n\r",
       "\n\n\n\nLABELS[\"ax\"] = {\n\tfunction() y\rz\r; end,\n\tfunction() \r; end\n};"},
      // Converted the same, but said: the author meant three lines.
      {"nothing but carriage returns as line ends", "label a:\rx\ry\r",
       "\n\n\n\nLABELS[\"axy\"] = {\n};",
       "test.py:1: warning: the lines of this file end in a carriage return alone, which does "
       "not end a line here, so the whole file was read as one line; save it with Windows "
       "(CR LF) or Unix (LF) line ends\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = convert(c.script);
    EXPECT_EQ(outcome.run.exitCode, 0) << c.name;
    EXPECT_EQ(outcome.run.err, c.err) << c.name;
    EXPECT_TRUE(sameBytes(outcome.lua, kLuaHeader + c.luaAfterHeader)) << c.name;
  }
}

TEST(HostileInputTest, OneHugeLineWithoutALineFeed) {
  const std::size_t size = kHugeLine;
  {
    const std::string name(size, 'n');
    const Outcome outcome = convert("label " + name + ":");
    EXPECT_EQ(outcome.run.exitCode, 0);
    EXPECT_EQ(outcome.run.err, "");
    EXPECT_TRUE(sameBytes(outcome.lua, kLuaHeader + "\n\n\n\nLABELS[\"" + name + "\"] = {\n};"));
  }
  {
    const Outcome outcome = convert(std::string(size, 'x'));
    EXPECT_EQ(outcome.run.exitCode, 0);
    EXPECT_EQ(outcome.run.err,
              "test.py:1: warning: 1 statement before the first label belongs to no label and "
              "was left out of the output\n");
    EXPECT_TRUE(sameBytes(outcome.lua, kLuaHeader + "\n\n"));
  }
}

TEST(HostileInputTest, ScriptReachedThroughAChainOfLinksIsConverted) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("stories/links"));
  writeFile(dir.file("stories/story.py"), "label a:\n    path_end\n");
  // test.py -> stories/links/current (relative) -> .../stories/story.py (absolute)
  ASSERT_EQ(
      symlink(dir.file("stories/story.py").c_str(), dir.file("stories/links/current").c_str()), 0);
  ASSERT_EQ(symlink("stories/links/current", dir.file("test.py").c_str()), 0);
  const RunResult run = runBrindle(dir.path(), limitProcessorTime);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(dir.file("output.lua")),
            kLuaHeader + "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() \tpath_end(); end\n};");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("test.py")));
  EXPECT_EQ(readFile(dir.file("stories/story.py")), "label a:\n    path_end\n");
}

// Every real script converts with exit code 0, an output that begins with
// the header, and nothing on standard error but well-formed warnings.
TEST(HostileInputTest, EveryRealScriptConverts) {
  const std::filesystem::path real =
      std::filesystem::path(BRINDLE_SOURCE_DIR) / ".." / "shared" / "corpus" / "real";
  std::vector<std::filesystem::path> scripts;
  if (std::filesystem::is_directory(real)) {
    for (const auto& entry : std::filesystem::directory_iterator(real)) {
      if (entry.path().extension() == ".rpy") scripts.push_back(entry.path());
    }
  }
  if (scripts.empty()) {
    GTEST_SKIP() << "no real scripts in " << real.lexically_normal()
                 << " (they sit beside a full checkout, not in the repository)";
  }
  std::sort(scripts.begin(), scripts.end());
  for (const auto& script : scripts) {
    const Outcome outcome = convert(readFile(script.string()));
    const std::string name = script.filename().string();
    EXPECT_EQ(outcome.run.exitCode, 0) << name;
    EXPECT_EQ(outcome.lua.substr(0, kLuaHeader.size()), kLuaHeader) << name;
    EXPECT_GT(outcome.lua.size(), kLuaHeader.size()) << name;
    std::size_t start = 0;
    while (start < outcome.run.err.size()) {
      const std::size_t end = outcome.run.err.find('\n', start);
      const std::string line = outcome.run.err.substr(start, end - start);
      EXPECT_EQ(line.rfind("test.py:", 0), 0u) << name << ": " << line;
      EXPECT_NE(line.find(": warning: "), std::string::npos) << name << ": " << line;
      start = end == std::string::npos ? end : end + 1;
    }
  }
}

}  // namespace
}  // namespace brindle::test
