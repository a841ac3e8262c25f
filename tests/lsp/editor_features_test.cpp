// The language server's answers on a small story, as functions of a version
// of it and a position, apart from the protocol.
#include "editor_features.h"

#include "decode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace brindle::lsp {
namespace {

// Lines from 0, as the editor counts; "é" and "先" are one unit each, the
// emoji two.
const std::string kStory =
    "label start:\n"                          // 0
    "    $ coins = 1\n"                       // 1
    "    e \"caf\xC3\xA9 \xF0\x9F\x98\x80\" \n"  // 2
    "    if coins != 2:\n"                    // 3
    "        jump_out market\n"               // 4
    "    else if coins:\n"                    // 5
    "        $ coins += 1\n"                  // 6
    "label market:\n"                         // 7
    "    jump_out market\n"                   // 8
    "    e \"the market \xE5\x85\x88\" && x\n"   // 9
    "label market:\n"                         // 10
    "    jump_out start\n";                   // 11

struct Opened {
  std::shared_ptr<const Story> story = openStory(kStory);
  StoryReport report = StoryChecker().check(story);
};

std::string describe(const Range& range) {
  return std::to_string(range.start.line) + ":" + std::to_string(range.start.character) + "-" +
         std::to_string(range.end.line) + ":" + std::to_string(range.end.character);
}

std::vector<std::string> describe(const std::vector<Range>& ranges) {
  std::vector<std::string> texts;
  for (const Range& range : ranges) texts.push_back(describe(range));
  return texts;
}

TEST(EditorFeaturesTest, DefinitionsReferencesAndCompletions) {
  const Opened story;
  const Story& a = *story.story;
  struct Case {
    Position at;
    std::string definition;              // empty: none
    std::vector<std::string> references;  // with the definitions
  };
  const std::vector<Case> cases = {
      // A jump's target: the last definition, the one LABELS keeps.
      {{4, 18}, "10:6-10:12", {"7:6-7:12", "10:6-10:12", "4:17-4:23", "8:13-8:19"}},
      {{7, 8}, "10:6-10:12", {"7:6-7:12", "10:6-10:12", "4:17-4:23", "8:13-8:19"}},
      {{11, 14}, "0:6-0:11", {"0:6-0:11", "11:13-11:18"}},
      // A variable: its first `$` line, wherever its name stands.
      {{3, 9}, "1:6-1:11", {"1:6-1:11", "6:10-6:15"}},
      {{6, 11}, "1:6-1:11", {"1:6-1:11", "6:10-6:15"}},
      // Dialogue names nothing.
      {{2, 7}, "", {}},
  };
  for (const Case& c : cases) {
    const std::optional<Range> definition = definitionAt(a, c.at);
    EXPECT_EQ(definition ? describe(*definition) : "", c.definition) << c.at.line << ":" << c.at.character;
    EXPECT_EQ(describe(referencesAt(a, c.at, true)), c.references) << c.at.line << ":" << c.at.character;
  }
  const auto names = [&](Position at) {
    std::vector<std::string> found;
    for (const Completion& completion : completionsAt(a, at)) found.push_back(completion.name);
    return found;
  };
  EXPECT_EQ(names({4, 17}), (std::vector<std::string>{"start", "market"}));
  EXPECT_EQ(names({4, 19}), std::vector<std::string>{"market"});  // "ma" typed
  EXPECT_EQ(names({3, 7}), std::vector<std::string>{"coins"});    // an if's condition
  EXPECT_TRUE(names({2, 6}).empty());                             // dialogue
}

TEST(EditorFeaturesTest, HoverSymbolsLensesAndDiagnostics) {
  const Opened story;
  const Story& a = *story.story;
  EXPECT_EQ(hoverAt(a, {1, 4}), std::optional<std::string>("```lua\n\tfunction() \t coins = 1; end,\n```"));
  EXPECT_EQ(hoverAt(a, {7, 8}),
            std::optional<std::string>("label **market**: 2 entries, 2 jumps to it (lines 5, 9)"));
  std::vector<std::string> symbols;
  for (const Symbol& symbol : documentSymbols(a)) symbols.push_back(symbol.name + " " + describe(symbol.selection));
  EXPECT_EQ(symbols, (std::vector<std::string>{"start 0:6-0:11", "market 7:6-7:12", "market 10:6-10:12"}));
  std::vector<std::string> lenses;
  for (const Lens& lens : codeLenses(a)) lenses.push_back(lens.title);
  EXPECT_EQ(lenses, (std::vector<std::string>{"1 jump", "2 jumps", "2 jumps"}));
  // Every finding and warning, with the range of what to change; columns
  // in UTF-16 units.
  std::vector<std::string> diagnostics;
  for (const Diagnostic& d : diagnosticsOf(story.report)) {
    diagnostics.push_back(describe(d.range) + " " + std::to_string(static_cast<int>(d.severity)) + " " + d.code);
  }
  EXPECT_EQ(diagnostics, (std::vector<std::string>{"3:13-3:15 1 luaSyntax", "5:4-5:11 1 luaSyntax",
                                                   "9:21-9:23 1 luaSyntax", "10:0-10:13 1 duplicateLabel"}));
}

TEST(EditorFeaturesTest, RenameAndQuickFixes) {
  const Opened story;
  const Story& a = *story.story;
  struct Case {
    Position at;
    std::string name;
    std::vector<std::string> edits;
    std::string refusal;  // a part of it
  };
  const std::vector<Case> cases = {
      {{4, 18}, "bazaar", {"7:6-7:12", "10:6-10:12", "4:17-4:23", "8:13-8:19"}, ""},
      {{0, 7}, "opening", {"0:6-0:11", "11:13-11:18"}, ""},
      {{4, 18}, "two words", {}, "blank"},
      {{4, 18}, "a:b", {}, "colon"},
      {{4, 18}, "start", {}, "defined already"},
      {{2, 7}, "x", {}, "only a label"},
  };
  for (const Case& c : cases) {
    const Rename rename = renameAt(a, c.at, c.name);
    std::vector<std::string> edits;
    for (const TextEdit& edit : rename.edits) {
      EXPECT_EQ(edit.newText, c.name);
      edits.push_back(describe(edit.range));
    }
    EXPECT_EQ(edits, c.edits) << c.name;
    EXPECT_NE(rename.refusal.find(c.refusal), std::string::npos) << c.name << ": " << rename.refusal;
    EXPECT_EQ(rename.refusal.empty(), c.refusal.empty()) << c.name;
  }
  std::vector<std::string> fixes;
  for (const QuickFix& fix : quickFixes(a, story.report, {{0, 0}, {11, 0}})) {
    fixes.push_back(describe(fix.edit.range) + " " + fix.edit.newText);
  }
  EXPECT_EQ(fixes, (std::vector<std::string>{"3:13-3:15 ~=", "5:4-5:11 elif", "9:21-9:23 and"}));
}

TEST(EditorFeaturesTest, HintsOnLabelsNoJumpReaches) {
  struct Case {
    const char* name;
    std::string script;
    std::vector<std::string> hints;  // range and message
  };
  const std::vector<Case> cases = {
      {"the first label is where the story begins; a jump to itself reaches a label",
       "label start:\n    e \"a\"\nlabel loop:\n    jump_out loop\nlabel lost:\n",
       {"4:6-4:10 no jump_out leads to label lost"}},
      {"a label defined twice, on both lines", "label a:\nlabel b:\nlabel b:\n",
       {"1:6-1:7 no jump_out leads to label b", "2:6-2:7 no jump_out leads to label b"}},
      {"the first label's name, wherever defined; a jump before any label runs nowhere",
       "jump_out b\nlabel a:\nlabel b:\nlabel a:\n", {"2:6-2:7 no jump_out leads to label b"}},
  };
  for (const Case& c : cases) {
    const std::shared_ptr<const Story> story = openStory(c.script);
    std::vector<std::string> hints;
    for (const Diagnostic& d : diagnosticsOf(StoryChecker().check(story))) {
      if (d.severity == Severity::hint) hints.push_back(describe(d.range) + " " + d.message);
    }
    EXPECT_EQ(hints, c.hints) << c.name;
  }
}

// The server's map, from the pieces of a version, is the one --map makes
// of the same text, on every real script at hand and on a version an edit
// made; each piece counts the entries its table is written with.
TEST(EditorFeaturesTest, MapAgreesWithTheScriptsOwn) {
  namespace fs = std::filesystem;
  std::vector<fs::path> scripts = {fs::path(BRINDLE_SOURCE_DIR) / "examples" / "tour" / "test.py"};
  const fs::path corpus = fs::path(BRINDLE_SOURCE_DIR) / ".." / "shared" / "corpus" / "real";
  if (fs::is_directory(corpus)) {
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
      if (entry.path().extension() == ".rpy") scripts.push_back(entry.path());
    }
  }
  const auto describeMap = [](const StoryMap& map) {
    std::string text;
    for (const MapNode& n : map.nodes) {
      text += n.name + " " + std::to_string(n.line) + " " + std::to_string(n.entries) + " " +
              std::to_string(n.start) + std::to_string(n.reached) + std::to_string(n.defined) + "\n";
    }
    for (const MapEdge& e : map.edges) {
      text += std::to_string(e.from) + ">" + std::to_string(e.to) + " " + std::to_string(e.count) + " " +
              std::to_string(e.line) + "\n";
    }
    return text;
  };
  for (const fs::path& path : scripts) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::shared_ptr<const Story> opened = openStory(text);
    // A chain opened, and a jump added, in the middle of the script.
    const Position middle{opened->positionOf(opened->scriptLines() / 2, 0).line, 0};
    const std::shared_ptr<const Story> edited =
        editStory(*opened, {{Range{middle, middle}, "    if x:\n        jump_out start\n"}});
    for (const std::shared_ptr<const Story>& story : {opened, edited}) {
      const StoryMap map = storyMap(*story);
      EXPECT_EQ(describeMap(map), describeMap(storyMapOf(scriptOfEditorText(story->text())))) << path;
      for (const std::shared_ptr<const Piece>& piece : story->pieces) {
        if (!piece->isLabel) continue;
        TextBuffer lua;
        LineMap lines;
        EXPECT_EQ(piece->entries, writeTable(*piece, lua, lines)) << path << ": " << piece->labelName();
      }
    }
  }
}

}  // namespace
}  // namespace brindle::lsp
