// Runs the fuzzers' property checks inside the ordinary test suite: over the
// seed corpus, every input a fuzzer once broke (fuzz/regressions/), the
// example stories and, when the checkout has them beside it, the real
// scripts; and shows that the checks do notice broken records and output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "check_check.h"
#include "convert_check.h"
#include "lsp_edits_check.h"
#include "lsp_messages_check.h"
#include "string_utils_check.h"

namespace brindle::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = BRINDLE_SOURCE_DIR;

// Regular files anywhere under `dir` whose name passes `keep`, sorted; none
// when `dir` does not exist.
std::vector<fs::path> filesUnder(const fs::path& dir,
                                 const std::function<bool(const fs::path&)>& keep) {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file() && keep(entry.path())) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool anyFile(const fs::path&) { return true; }

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FuzzReplayTest, ConversionSeedsFindingsAndExamplesKeepEveryProperty) {
  std::vector<fs::path> inputs = filesUnder(kSourceDir / "fuzz/seeds/convert", anyFile);
  const std::vector<fs::path> findings =
      filesUnder(kSourceDir / "fuzz/regressions/convert", anyFile);
  const std::vector<fs::path> examples = filesUnder(
      kSourceDir / "examples", [](const fs::path& p) { return p.filename() == "test.py"; });
  inputs.insert(inputs.end(), findings.begin(), findings.end());
  inputs.insert(inputs.end(), examples.begin(), examples.end());
  ASSERT_GE(inputs.size(), 10u) << "the seed corpus is missing from " << kSourceDir;
  for (const fs::path& input : inputs) {
    EXPECT_EQ(checkConversion(readBytes(input)), "") << input;
  }
}

TEST(FuzzReplayTest, RealScriptsKeepEveryProperty) {
  const fs::path real = kSourceDir / ".." / "shared" / "corpus" / "real";
  const std::vector<fs::path> scripts =
      filesUnder(real, [](const fs::path& p) { return p.extension() == ".rpy"; });
  if (scripts.empty()) {
    GTEST_SKIP() << "no real scripts in " << real.lexically_normal()
                 << " (they sit beside a full checkout, not in the repository)";
  }
  for (const fs::path& script : scripts) {
    EXPECT_EQ(checkConversion(readBytes(script)), "") << script.filename();
  }
}

TEST(FuzzReplayTest, StringUtilitySeedsAndFindingsKeepEveryProperty) {
  std::vector<fs::path> inputs = filesUnder(kSourceDir / "fuzz/seeds/string_utils", anyFile);
  const std::vector<fs::path> findings =
      filesUnder(kSourceDir / "fuzz/regressions/string_utils", anyFile);
  inputs.insert(inputs.end(), findings.begin(), findings.end());
  ASSERT_GE(inputs.size(), 5u) << "the seed corpus is missing from " << kSourceDir;
  for (const fs::path& input : inputs) {
    EXPECT_EQ(checkStringUtils(readBytes(input)), "") << input;
  }
}

TEST(FuzzReplayTest, CheckerSeedsFindingsAndExamplesKeepEveryProperty) {
  std::vector<fs::path> inputs = filesUnder(kSourceDir / "fuzz/seeds/check", anyFile);
  for (const char* more : {"fuzz/regressions/check", "fuzz/seeds/convert", "examples"}) {
    const std::vector<fs::path> found = filesUnder(kSourceDir / more, anyFile);
    inputs.insert(inputs.end(), found.begin(), found.end());
  }
  ASSERT_GE(inputs.size(), 10u) << "the seed corpus is missing from " << kSourceDir;
  for (const fs::path& input : inputs) {
    EXPECT_EQ(checkChecker(readBytes(input)), "") << input;
  }
}

TEST(FuzzReplayTest, MessageReaderSeedsAndFindingsKeepEveryProperty) {
  std::vector<fs::path> inputs = filesUnder(kSourceDir / "fuzz/seeds/lsp_messages", anyFile);
  const std::vector<fs::path> findings = filesUnder(kSourceDir / "fuzz/regressions/lsp_messages", anyFile);
  inputs.insert(inputs.end(), findings.begin(), findings.end());
  ASSERT_GE(inputs.size(), 3u) << "the seed corpus is missing from " << kSourceDir;
  for (const fs::path& input : inputs) {
    EXPECT_EQ(checkLspMessages(readBytes(input)), "") << input;
  }
}

TEST(FuzzReplayTest, EditSeedsAndFindingsKeepEveryProperty) {
  std::vector<fs::path> inputs = filesUnder(kSourceDir / "fuzz/seeds/lsp_edits", anyFile);
  const std::vector<fs::path> findings = filesUnder(kSourceDir / "fuzz/regressions/lsp_edits", anyFile);
  inputs.insert(inputs.end(), findings.begin(), findings.end());
  ASSERT_GE(inputs.size(), 3u) << "the seed corpus is missing from " << kSourceDir;
  for (const fs::path& input : inputs) {
    EXPECT_EQ(checkLspEdits(readBytes(input)), "") << input;
  }
}

// Edits of the kinds an author makes (a label, a chain line, a variable
// put in or taken out, lines joined, a colon lost), drawn at random places
// of the example stories, and of all of them as one story (enough labels
// that its pieces are checked on threads), in the form checkLspEdits reads.
TEST(FuzzReplayTest, RandomEditsOfTheExamplesKeepEveryProperty) {
  const std::vector<fs::path> examples = filesUnder(
      kSourceDir / "examples", [](const fs::path& p) { return p.filename() == "test.py"; });
  ASSERT_FALSE(examples.empty());
  std::vector<std::string> stories;
  std::string joined;
  for (const fs::path& example : examples) joined += stories.emplace_back(readBytes(example));
  stories.push_back(joined);
  const std::vector<std::string> puts = {"label middle:\n", "    if coins > 1:\n", "        elif x:\n", "\n",
                                         "    $ seen = True\n", "    jump_out middle\n", ":", " ", "\r", ""};
  std::uint64_t state = 20261209;
  const auto random = [&state](std::size_t below) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::size_t>(state >> 33) % below;
  };
  for (std::size_t k = 0; k < stories.size(); ++k) {
    for (int sequence = 0; sequence < 4; ++sequence) {
      std::string input = stories[k] + "\xFF";
      for (int edit = 0; edit < 12; ++edit) {
        const std::string& put = puts[random(puts.size())];
        input += {static_cast<char>(random(256)), static_cast<char>(random(256)),
                  static_cast<char>(random(4) == 0 ? random(256) : random(3)), static_cast<char>(put.size())};
        input += put;
      }
      EXPECT_EQ(checkLspEdits(input), "") << (k < examples.size() ? examples[k] : "the joined examples")
                                          << ", sequence " << sequence;
    }
  }
}

// A story with a nested chain, a plain path_end entry, a text that looks like
// a closing line, and an announcing label.
const std::string kStory =
    "label a:\n\tif a:\n\t\tif b:\n\t\t\tx\n\t\tend\n\tpath_end\nlabel R28:\ny\nz\n";

TEST(ConvertCheckTest, AcceptsTheTrueOutputAndNoticesEveryKindOfDamage) {
  const Script script = readScript(kStory);
  Conversion conversion;
  convertScript(kStory, conversion);
  ASSERT_EQ(checkOutput(script, conversion.lua, conversion.console), "");

  const auto replaceFirst = [](std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  };
  struct Case {
    const char* name;
    std::string lua;
    std::string console;
    std::string failure;  // what the check must say
  };
  const std::string& lua = conversion.lua;
  const std::string& console = conversion.console;
  const std::vector<Case> cases = {
      {"header changed", replaceFirst(lua, "Brindle", "Brindel"), console,
       "at byte 0 the output lacks the fixed header"},
      // The story's own "\t\tend" text line stays; only the real closing line goes.
      {"inner chain not closed", replaceFirst(lua, "\t\t\tx\n\t\tend\n\t\tend", "\t\t\tx\n\t\tend"),
       console, "the output lacks a line of a chain in label block 0"},
      {"a closing line too many", replaceFirst(lua, "\n\tend;", "\n\tend\n\tend;"), console,
       "the output lacks the \"; end\" closing an entry in label block 0"},
      {"final pass skipped", replaceFirst(lua, "path_end();", "path_end;"), console,
       "the output lacks the text of a plain entry in label block 0"},
      {"entry without \"; end\"", replaceFirst(lua, "y; end", "y end"), console,
       "the output lacks the \"; end\" closing an entry in label block 1"},
      {"comma after the last entry", replaceFirst(lua, "z; end", "z; end,"), console,
       "the output lacks the \"\\n};\" closing a table in label block 1"},
      {"table left open", lua.substr(0, lua.size() - 3), console,
       "the output lacks the \"\\n};\" closing a table in label block 1"},
      {"a byte after the last table", lua + "\n", console,
       "the output goes on for 1 bytes after the last table"},
      {"one announcement missing", lua, "nadas", "standard output should say \"nadas\" 2 times"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.lua + c.console, lua + console) << c.name << ": the damage did not apply";
    const std::string failure = checkOutput(script, c.lua, c.console);
    EXPECT_NE(failure.find(c.failure), std::string::npos) << c.name << ": " << failure;
  }
}

TEST(ConvertCheckTest, NoticesRecordsThatDoNotMatchTheInput) {
  ASSERT_EQ(checkRecords(kStory, readScript(kStory)), "");
  struct Case {
    const char* name;
    std::function<void(Script&)> damage;
    std::string failure;
  };
  const std::vector<Case> cases = {
      {"a block lost", [](Script& s) { s.labelBlocks.pop_back(); },
       "the input has 2 label statements but the conversion built 1 label blocks"},
      {"a name changed", [](Script& s) { s.labelBlocks[1].name = "R29"; },
       "label block 1 has the wrong name"},
      {"a statement lost", [](Script& s) { s.labelBlocks[0].lines.pop_back(); },
       "label block 0 holds 4 statements, the input 5"},
      {"an indent miscounted", [](Script& s) { s.labelBlocks[0].lines[1].indent = 1; },
       "statement 1 of label block 0 has indent 1"},
      {"a chain role lost",
       [](Script& s) { s.labelBlocks[0].lines[0].chainFlag = ChainFlag::plainStatement; },
       "statement 0 of label block 0 has chain role 3"},
      {"a warning beyond the input", [](Script& s) { s.warnings.push_back({99, "x"}); },
       "a warning names line 99 of 10"},
  };
  for (const Case& c : cases) {
    Script script = readScript(kStory);
    c.damage(script);
    const std::string failure = checkRecords(kStory, script);
    EXPECT_EQ(failure.substr(0, c.failure.size()), c.failure) << c.name << ": " << failure;
  }
}

}  // namespace
}  // namespace brindle::fuzz
