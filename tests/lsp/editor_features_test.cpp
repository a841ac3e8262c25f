// The language server's answers on a small story, as functions of a version
// of it and a position, apart from the protocol.
#include "editor_features.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brindle::lsp
